#pragma once
// The spool host: what the print spooler does for one print job on Windows.
// It loads the printer driver library by path, checks that it is a user-mode
// driver, enables it, builds the printer's device mode (stored defaults,
// movie settings, the job's requests), enables the device and its surface and
// hands out the device context that a program prints into. Closing tears it
// all down again in the reverse order: surface, device, driver, library.
//
// Every failure is one line naming the step and its cause (the loader's
// message or the driver's last error).

#include <cstdint>
#include <memory>
#include <string>

#include "platform/device_context.h"
#include "platform/spool_devmode.h"
#include "platform/winddi.h"

namespace tessaly {

// A loaded and enabled driver library.
class DriverLibrary {
public:
    DriverLibrary() = default;
    ~DriverLibrary();
    DriverLibrary(const DriverLibrary&) = delete;
    DriverLibrary& operator=(const DriverLibrary&) = delete;

    // dlopen (RTLD_NOW | RTLD_LOCAL), DrvQueryDriverInfo(DRVQUERY_USERMODE)
    // and DrvEnableDriver. 1, or 0 with one line in *error.
    [[nodiscard]] int load(const std::string& path, std::string* error);
    // DrvDisableDriver and dlclose; also done by the destructor.
    void unload();

    bool loaded() const { return handle_ != nullptr; }
    const DRVENABLEDATA& enableData() const { return enableData_; }
    // The driver's function with a DDI index, or null.
    PFN function(ULONG index) const;

private:
    void* handle_ = nullptr;
    PFN_DrvDisableDriver disable_ = nullptr;
    DRVENABLEDATA enableData_{};
};

struct SpoolOptions {
    std::string driverPath;
    PrintRequest request;
};

class SpoolHost {
public:
    SpoolHost() = default;
    ~SpoolHost();
    SpoolHost(const SpoolHost&) = delete;
    SpoolHost& operator=(const SpoolHost&) = delete;

    // Loads the driver, builds the device mode from the value store's
    // printer defaults and movie settings, and enables the device. 1, or 0
    // with one line in *error.
    [[nodiscard]] int open(const SpoolOptions& options, std::string* error);
    void close();

    // Changes the paper between pages, as an application's ResetDC does: a
    // device mode that asks for a page widthTenths wide and lengthTenths
    // tall (tenths of a millimetre, 1..32767; landscape when it is wider than
    // tall) and the same resolution and settings;
    // the job goes on with the next page. 1, or 0 with one line in *error
    // (the device keeps its paper when the driver refuses the new one).
    [[nodiscard]] int resetPaper(int widthTenths, int lengthTenths, std::string* error);

    gdi::DeviceContext& context() { return *context_; }
    gdi::PrinterDevice& device() { return *device_; }
    const PrinterDevMode& devMode() const { return devMode_; }

private:
    DriverLibrary library_;
    PrinterDevMode devMode_;
    std::unique_ptr<gdi::PrinterDevice> device_;
    std::unique_ptr<gdi::DeviceContext> context_;
};

}  // namespace tessaly
