// The printer device: enabling a driver's PDEV and surface, and taking them
// down again.
#include <algorithm>
#include <string>

#include "context_internal.h"

namespace tessaly::gdi {

namespace {

std::string failure(const char* step) {
    return std::string(step) + " failed (last error " + std::to_string(EngGetLastError()) + ")";
}

}  // namespace

PrinterDevice::PrinterDevice(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

PrinterDevice::~PrinterDevice() { close(); }

std::unique_ptr<PrinterDevice> PrinterDevice::open(const DRVENABLEDATA& driver, DEVMODEW* devmode,
                                                   std::u16string_view deviceName, std::string* error,
                                                   HANDLE driverHandle) {
    auto report = [&](const std::string& why) -> std::unique_ptr<PrinterDevice> {
        if (error) *error = why;
        return nullptr;
    };
    if (!driver.pdrvfn || driver.c == 0) return report("the driver's function table is empty");
    auto impl = std::make_unique<Impl>();
    impl->engine = std::make_unique<Device>(driver);
    // From here on the device's destructor takes down what was enabled.
    std::unique_ptr<PrinterDevice> device(new PrinterDevice(std::move(impl)));
    Impl& d = *device->impl_;
    Device& engine = *d.engine;

    const auto enablePdev = functionAs<PFN_DrvEnablePDEV>(engine.function(INDEX_DrvEnablePDEV));
    const auto enableSurface = functionAs<PFN_DrvEnableSurface>(engine.function(INDEX_DrvEnableSurface));
    if (!enablePdev || !enableSurface || !engine.function(INDEX_DrvDisablePDEV) ||
        !engine.function(INDEX_DrvDisableSurface))
        return report("the driver lacks DrvEnablePDEV, DrvEnableSurface or their Disable functions");

    GDIINFO gdiInfo{};
    DEVINFO devInfo{};
    std::u16string name(deviceName);
    EngSetLastError(0);
    const DHPDEV pdev = enablePdev(devmode, nullptr, 0, nullptr, sizeof gdiInfo, &gdiInfo, sizeof devInfo, &devInfo,
                                   engine.handle(), name.data(), driverHandle);
    if (!pdev) return report(failure("DrvEnablePDEV"));
    engine.dhpdev = pdev;
    engine.gdiInfo = gdiInfo;
    engine.devInfo = devInfo;
    d.pdevEnabled = true;
    if (gdiInfo.ulHorzRes == 0 || gdiInfo.ulVertRes == 0 || gdiInfo.ulHorzRes > 1000000 ||
        gdiInfo.ulVertRes > 1000000)
        return report("DrvEnablePDEV reported a page of " + std::to_string(gdiInfo.ulHorzRes) + " x " +
                      std::to_string(gdiInfo.ulVertRes) + " pixels");
    if (const auto complete = functionAs<PFN_DrvCompletePDEV>(engine.function(INDEX_DrvCompletePDEV)))
        complete(pdev, engine.handle());

    EngSetLastError(0);
    const HSURF surface = enableSurface(pdev);
    if (!surface) return report(failure("DrvEnableSurface"));
    engine.surface = surface;
    d.surfaceEnabled = true;
    d.surfaceHandle = surface;
    d.surface = EngLockSurface(surface);
    if (!d.surface) return report("the driver's surface cannot be locked");
    d.engineSurface = Surface::fromSurfobj(d.surface);
    if (!d.engineSurface) return report("the driver's surface is not an engine surface");
    d.hooks = d.engineSurface->hooks;
    d.banding = d.engineSurface->banding;
    if (d.surface->sizlBitmap.cx <= 0 || d.surface->sizlBitmap.cy <= 0)
        return report("the driver's surface has no pixels");
    return device;
}

void PrinterDevice::close() {
    Impl& d = *impl_;
    if (!d.engine) return;
    if (d.surface) EngUnlockSurface(d.surface);
    d.surface = nullptr;
    d.engineSurface = nullptr;
    if (d.surfaceEnabled)
        if (const auto disable = functionAs<PFN_DrvDisableSurface>(d.engine->function(INDEX_DrvDisableSurface)))
            disable(d.engine->dhpdev);
    d.surfaceEnabled = false;
    if (d.pdevEnabled)
        if (const auto disable = functionAs<PFN_DrvDisablePDEV>(d.engine->function(INDEX_DrvDisablePDEV)))
            disable(d.engine->dhpdev);
    d.pdevEnabled = false;
    d.engine.reset();
}

int32_t PrinterDevice::pageWidth() const { return impl_->engine ? impl_->pageWidth() : 0; }
int32_t PrinterDevice::pageHeight() const { return impl_->engine ? impl_->pageHeight() : 0; }
int32_t PrinterDevice::dpiX() const {
    return impl_->engine ? static_cast<int32_t>(impl_->engine->gdiInfo.ulLogPixelsX) : 0;
}
int32_t PrinterDevice::dpiY() const {
    return impl_->engine ? static_cast<int32_t>(impl_->engine->gdiInfo.ulLogPixelsY) : 0;
}
bool PrinterDevice::banding() const { return impl_->banding; }
int32_t PrinterDevice::bandHeight() const { return impl_->bandRows(); }
FLONG PrinterDevice::hooks() const { return impl_->hooks; }
const GDIINFO& PrinterDevice::gdiInfo() const {
    static const GDIINFO none{};
    return impl_->engine ? impl_->engine->gdiInfo : none;
}
const DEVINFO& PrinterDevice::devInfo() const {
    static const DEVINFO none{};
    return impl_->engine ? impl_->engine->devInfo : none;
}
SURFOBJ* PrinterDevice::surface() const { return impl_->surface; }
DHPDEV PrinterDevice::pdev() const { return impl_->engine ? impl_->engine->dhpdev : nullptr; }
HDEV PrinterDevice::engineDevice() const { return impl_->engine ? impl_->engine->handle() : nullptr; }
PFN PrinterDevice::function(ULONG index) const { return impl_->find(index); }

}  // namespace tessaly::gdi
