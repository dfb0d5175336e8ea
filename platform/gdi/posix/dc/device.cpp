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

namespace {

// DrvEnablePDEV and DrvCompletePDEV on an engine device.
bool enablePdev(Device& engine, DEVMODEW* devmode, std::u16string name, HANDLE driverHandle, std::string* why) {
    const auto enable = functionAs<PFN_DrvEnablePDEV>(engine.function(INDEX_DrvEnablePDEV));
    GDIINFO gdiInfo{};
    DEVINFO devInfo{};
    EngSetLastError(0);
    const DHPDEV pdev = enable(devmode, nullptr, 0, nullptr, sizeof gdiInfo, &gdiInfo, sizeof devInfo, &devInfo,
                               engine.handle(), name.data(), driverHandle);
    if (!pdev) {
        *why = failure("DrvEnablePDEV");
        return false;
    }
    engine.dhpdev = pdev;
    engine.gdiInfo = gdiInfo;
    engine.devInfo = devInfo;
    if (gdiInfo.ulHorzRes == 0 || gdiInfo.ulVertRes == 0 || gdiInfo.ulHorzRes > 1000000 ||
        gdiInfo.ulVertRes > 1000000) {
        *why = "DrvEnablePDEV reported a page of " + std::to_string(gdiInfo.ulHorzRes) + " x " +
               std::to_string(gdiInfo.ulVertRes) + " pixels";
        return false;
    }
    if (const auto complete = functionAs<PFN_DrvCompletePDEV>(engine.function(INDEX_DrvCompletePDEV)))
        complete(pdev, engine.handle());
    return true;
}

void disablePdev(Device& engine) {
    if (const auto disable = functionAs<PFN_DrvDisablePDEV>(engine.function(INDEX_DrvDisablePDEV)))
        disable(engine.dhpdev);
    engine.dhpdev = nullptr;
}

}  // namespace

// DrvEnableSurface on the engine device's PDEV, and the surface locked.
bool PrinterDevice::Impl::enableSurface(std::string* why) {
    const auto enable = functionAs<PFN_DrvEnableSurface>(engine->function(INDEX_DrvEnableSurface));
    EngSetLastError(0);
    const HSURF handle = enable(engine->dhpdev);
    if (!handle) {
        *why = failure("DrvEnableSurface");
        return false;
    }
    engine->surface = handle;
    surfaceEnabled = true;
    surfaceHandle = handle;
    surface = EngLockSurface(handle);
    if (!surface) {
        *why = "the driver's surface cannot be locked";
        return false;
    }
    engineSurface = Surface::fromSurfobj(surface);
    if (!engineSurface) {
        *why = "the driver's surface is not an engine surface";
        return false;
    }
    hooks = engineSurface->hooks;
    banding = engineSurface->banding;
    if (surface->sizlBitmap.cx <= 0 || surface->sizlBitmap.cy <= 0) {
        *why = "the driver's surface has no pixels";
        return false;
    }
    return true;
}

void PrinterDevice::Impl::disableSurface() {
    if (surface) EngUnlockSurface(surface);
    surface = nullptr;
    engineSurface = nullptr;
    if (surfaceEnabled && engine)
        if (const auto disable = functionAs<PFN_DrvDisableSurface>(engine->function(INDEX_DrvDisableSurface)))
            disable(engine->dhpdev);
    surfaceEnabled = false;
    surfaceHandle = nullptr;
}

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
    impl->driver = driver;
    impl->deviceName = std::u16string(deviceName);
    impl->driverHandle = driverHandle;
    // From here on the device's destructor takes down what was enabled.
    std::unique_ptr<PrinterDevice> device(new PrinterDevice(std::move(impl)));
    Impl& d = *device->impl_;
    Device& engine = *d.engine;

    if (!engine.function(INDEX_DrvEnablePDEV) || !engine.function(INDEX_DrvEnableSurface) ||
        !engine.function(INDEX_DrvDisablePDEV) || !engine.function(INDEX_DrvDisableSurface))
        return report("the driver lacks DrvEnablePDEV, DrvEnableSurface or their Disable functions");

    std::string why;
    const bool enabled = enablePdev(engine, devmode, d.deviceName, driverHandle, &why);
    d.pdevEnabled = engine.dhpdev != nullptr;
    if (!enabled) return report(why);
    if (!d.enableSurface(&why)) return report(why);
    return device;
}

bool PrinterDevice::reset(DEVMODEW* devmode, std::string* error) { return impl_->reset(devmode, error); }

bool PrinterDevice::Impl::reset(DEVMODEW* devmode, std::string* error) {
    auto report = [&](const std::string& why) {
        if (error) *error = why;
        return false;
    };
    if (!engine || !pdevEnabled) return report("the printer device is closed");
    auto next = std::make_unique<Device>(driver);
    std::string why;
    if (!enablePdev(*next, devmode, deviceName, driverHandle, &why)) {
        if (next->dhpdev) disablePdev(*next);
        return report(why);
    }
    if (const auto handOver = functionAs<PFN_DrvResetPDEV>(engine->function(INDEX_DrvResetPDEV))) {
        EngSetLastError(0);
        if (!handOver(engine->dhpdev, next->dhpdev)) {
            disablePdev(*next);
            return report(failure("DrvResetPDEV"));
        }
    }
    // The old device goes; the new one takes its place.
    disableSurface();
    disablePdev(*engine);
    engine = std::move(next);
    if (!enableSurface(&why)) {
        close();
        return report(why);
    }
    return true;
}

void PrinterDevice::close() { impl_->close(); }

void PrinterDevice::Impl::close() {
    if (!engine) return;
    disableSurface();
    if (pdevEnabled) disablePdev(*engine);
    pdevEnabled = false;
    engine.reset();
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
