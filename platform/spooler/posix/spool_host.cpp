#include "platform/spool_host.h"

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

void SpoolHost::close() {
    context_.reset();
    if (device_) device_->close();
    device_.reset();
    library_.unload();
}

}  // namespace tessaly
