#include <dlfcn.h>

#include <cstdio>

#include "platform/spool_host.h"

namespace tessaly {

namespace {

std::string lastErrorText() {
    const ULONG code = EngGetLastError();
    return code ? "last error " + std::to_string(code) : std::string("no last error");
}

std::string loaderText() {
    const char* text = dlerror();
    return text ? text : "unknown loader error";
}

}  // namespace

DriverLibrary::~DriverLibrary() { unload(); }

int DriverLibrary::load(const std::string& path, std::string* error) {
    unload();
    auto refuse = [&](const std::string& step, const std::string& cause) {
        if (error) *error = "driver " + path + ": " + step + ": " + cause;
        unload();
        return 0;
    };
    dlerror();
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_) return refuse("cannot load the library", loaderText());

    // The exports are plain C functions; their addresses come back as data
    // pointers from dlsym.
    void* exports[3] = {};
    const char* const names[3] = {"DrvQueryDriverInfo", "DrvEnableDriver", "DrvDisableDriver"};
    for (int i = 0; i < 3; ++i) {
        exports[i] = dlsym(handle_, names[i]);
        if (!exports[i]) return refuse(std::string("no export ") + names[i], loaderText());
    }
    void* const query = exports[0];
    void* const enable = exports[1];
    void* const disable = exports[2];

    DWORD mode = 0;
    DWORD needed = 0;
    EngSetLastError(0);
    if (!reinterpret_cast<PFN_DrvQueryDriverInfo>(query)(DRVQUERY_USERMODE, &mode, sizeof(mode), &needed)) {
        return refuse("DrvQueryDriverInfo failed", lastErrorText());
    }
    if (mode != 1) return refuse("DrvQueryDriverInfo", "not a user-mode driver");

    EngSetLastError(0);
    DRVENABLEDATA data{};
    if (!reinterpret_cast<PFN_DrvEnableDriver>(enable)(DDI_DRIVER_VERSION_NT5_01, sizeof(data), &data)) {
        return refuse("DrvEnableDriver failed", lastErrorText());
    }
    // From here on the driver is enabled and unload() disables it.
    disable_ = reinterpret_cast<PFN_DrvDisableDriver>(disable);
    if (data.iDriverVersion < DDI_DRIVER_VERSION_NT4) {
        return refuse("DrvEnableDriver", "driver version " + std::to_string(data.iDriverVersion) + " too old");
    }
    if (data.c == 0 || !data.pdrvfn) return refuse("DrvEnableDriver", "no function table");
    enableData_ = data;
    for (ULONG index : {INDEX_DrvEnablePDEV, INDEX_DrvCompletePDEV, INDEX_DrvDisablePDEV, INDEX_DrvEnableSurface,
                        INDEX_DrvDisableSurface}) {
        if (!function(index)) {
            return refuse("DrvEnableDriver", "function table lacks entry " + std::to_string(index));
        }
    }
    return 1;
}

void DriverLibrary::unload() {
    if (disable_) disable_();
    disable_ = nullptr;
    enableData_ = {};
    if (handle_) dlclose(handle_);
    handle_ = nullptr;
}

PFN DriverLibrary::function(ULONG index) const {
    for (ULONG i = 0; i < enableData_.c && enableData_.pdrvfn; ++i) {
        if (enableData_.pdrvfn[i].iFunc == index) return enableData_.pdrvfn[i].pfn;
    }
    return nullptr;
}

}  // namespace tessaly
