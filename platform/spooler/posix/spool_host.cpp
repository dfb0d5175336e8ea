#include "platform/spool_host.h"

#include <algorithm>

#include "composer/settings.h"
#include "platform/registry.h"

namespace tessaly {

SpoolHost::~SpoolHost() { close(); }

int SpoolHost::open(const SpoolOptions& options, std::string* error) {
    close();
    if (!library_.load(options.driverPath, error)) return 0;

    // The movie settings as the registry holds them; an interface that fails
    // to load leaves the rest of the block with its values, and the driver
    // reads the interface again when it writes the job's settings.
    JobSettings settings;
    std::string basePath, spoolPath;
    (void)readInstallPaths(&basePath, &spoolPath);
    settings.setBaseDirectory(basePath);
    (void)settings.reset();
    const PrinterDefaults defaults = readPrinterDefaults(ValueStore());
    std::string reason;
    if (!buildDevMode(defaults, &settings.block(), options.request, &devMode_, &reason)) {
        if (error) *error = "device mode: " + reason;
        close();
        return 0;
    }
    device_ = gdi::PrinterDevice::open(library_.enableData(), devMode_.devmode(), u"Tessaly", error);
    if (!device_) {
        close();
        return 0;
    }
    context_ = std::make_unique<gdi::DeviceContext>(*device_);
    return 1;
}

int SpoolHost::resetPaper(int widthTenths, int lengthTenths, std::string* error) {
    if (!context_) {
        if (error) *error = "reset: the printer is not open";
        return 0;
    }
    if (widthTenths < 1 || widthTenths > 32767 || lengthTenths < 1 || lengthTenths > 32767) {
        if (error) *error = "reset: a paper of " + std::to_string(widthTenths) + " x " + std::to_string(lengthTenths) +
                            " tenths of a millimetre is out of range";
        return 0;
    }
    PrinterDevMode next = devMode_;
    DEVMODEW* dm = next.devmode();
    dm->dmFields |= DM_PAPERSIZE | DM_PAPERWIDTH | DM_PAPERLENGTH | DM_ORIENTATION;
    // A paper is its narrow side by its long one, turned by the orientation.
    dm->dmPaperSize = kPaperCodeCustom;
    dm->dmPaperWidth = static_cast<short>(std::min(widthTenths, lengthTenths));
    dm->dmPaperLength = static_cast<short>(std::max(widthTenths, lengthTenths));
    dm->dmOrientation = widthTenths > lengthTenths ? DMORIENT_LANDSCAPE : DMORIENT_PORTRAIT;
    if (!context_->resetDevice(dm)) {
        if (error) *error = context_->errorText();
        context_->clearError();
        return 0;
    }
    devMode_ = next;
    return 1;
}

void SpoolHost::close() {
    context_.reset();
    if (device_) device_->close();
    device_.reset();
    library_.unload();
}

}  // namespace tessaly
