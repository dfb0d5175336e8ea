// The spooler service through the service control manager.

#include <windows.h>

#include <vector>

#include "platform/print_spooler.h"
#include "wide.h"

namespace tessaly::spooler {

namespace {

class ServiceHandle {
public:
    ServiceHandle() = default;
    explicit ServiceHandle(SC_HANDLE handle) : handle_(handle) {}
    ServiceHandle(const ServiceHandle&) = delete;
    ServiceHandle& operator=(const ServiceHandle&) = delete;
    ~ServiceHandle() {
        if (handle_) CloseServiceHandle(handle_);
    }
    SC_HANDLE get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }

private:
    SC_HANDLE handle_ = nullptr;
};

ServiceState stateOf(DWORD current) {
    switch (current) {
        case SERVICE_STOPPED: return ServiceState::Stopped;
        case SERVICE_START_PENDING: return ServiceState::StartPending;
        case SERVICE_STOP_PENDING: return ServiceState::StopPending;
        // Running, paused, or on the way between them: it is not stopped.
        default: return ServiceState::Running;
    }
}

class ScmService : public SpoolerService {
public:
    uint32_t start() override {
        return withService(kSpooler, SERVICE_START | SERVICE_QUERY_STATUS, [](SC_HANDLE service) -> uint32_t {
            return StartServiceW(service, 0, nullptr) ? 0 : win32::lastError();
        });
    }
    uint32_t state(ServiceState* out) override { return queryState(kSpooler, out); }
    uint32_t sendStop() override { return stop(kSpooler); }
    std::vector<std::string> activeDependents() override {
        std::vector<std::string> names;
        withService(kSpooler, SERVICE_ENUMERATE_DEPENDENTS, [&](SC_HANDLE service) -> uint32_t {
            DWORD needed = 0, count = 0;
            if (EnumDependentServicesW(service, SERVICE_ACTIVE, nullptr, 0, &needed, &count)) return 0;
            if (GetLastError() != ERROR_MORE_DATA || needed == 0) return win32::lastError();
            // ENUM_SERVICE_STATUSW holds pointers: the buffer keeps their alignment.
            std::vector<ENUM_SERVICE_STATUSW> buffer(needed / sizeof(ENUM_SERVICE_STATUSW) + 1);
            if (!EnumDependentServicesW(service, SERVICE_ACTIVE, buffer.data(),
                                        static_cast<DWORD>(buffer.size() * sizeof(ENUM_SERVICE_STATUSW)), &needed,
                                        &count))
                return win32::lastError();
            for (DWORD i = 0; i < count; ++i) names.push_back(win32::toUtf8(buffer[i].lpServiceName));
            return 0;
        });
        return names;
    }
    uint32_t dependentState(const std::string& name, ServiceState* out) override {
        std::wstring wide;
        if (!win32::toUtf16(name, &wide)) return kErrorInvalidParameter;
        return queryState(wide, out);
    }
    uint32_t stopDependent(const std::string& name) override {
        std::wstring wide;
        if (!win32::toUtf16(name, &wide)) return kErrorInvalidParameter;
        return stop(wide);
    }

private:
    static inline const std::wstring kSpooler = L"Spooler";

    template <typename Call>
    static uint32_t withService(const std::wstring& name, DWORD access, Call call) {
        const ServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
        if (!manager) return win32::lastError();
        const ServiceHandle service(OpenServiceW(manager.get(), name.c_str(), access));
        if (!service) return win32::lastError();
        return call(service.get());
    }
    static uint32_t queryState(const std::wstring& name, ServiceState* out) {
        return withService(name, SERVICE_QUERY_STATUS, [&](SC_HANDLE service) -> uint32_t {
            SERVICE_STATUS status{};
            if (!QueryServiceStatus(service, &status)) return win32::lastError();
            *out = stateOf(status.dwCurrentState);
            return 0;
        });
    }
    // A service that stopped between the caller's query and the control has
    // done what was asked: the caller's next query sees it stopped.
    static uint32_t stop(const std::wstring& name) {
        return withService(name, SERVICE_STOP | SERVICE_QUERY_STATUS, [](SC_HANDLE service) -> uint32_t {
            SERVICE_STATUS status{};
            if (ControlService(service, SERVICE_CONTROL_STOP, &status)) return 0;
            const uint32_t code = win32::lastError();
            return code == ERROR_SERVICE_NOT_ACTIVE ? 0 : code;
        });
    }
};

}  // namespace

std::unique_ptr<SpoolerService> win32Service() { return std::make_unique<ScmService>(); }

}  // namespace tessaly::spooler
