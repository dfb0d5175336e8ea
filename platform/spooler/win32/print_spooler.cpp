// Printers, drivers and ports through the print spooler (winspool), the
// local port monitor and the registry; driver files through the file calls.

#include <windows.h>
#include <winspool.h>

#include <vector>

#include "platform/print_spooler.h"
#include "wide.h"

namespace tessaly::spooler {

namespace {

constexpr const wchar_t* kPortsKey = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Ports";
constexpr const wchar_t* kLocalPortMonitor = L",XcvMonitor Local Port";
constexpr uint32_t kErrorNoUnicodeTranslation = 1113;

class PrinterHandle {
public:
    PrinterHandle() = default;
    PrinterHandle(const PrinterHandle&) = delete;
    PrinterHandle& operator=(const PrinterHandle&) = delete;
    ~PrinterHandle() {
        if (handle_) ClosePrinter(handle_);
    }
    HANDLE* out() { return &handle_; }
    HANDLE get() const { return handle_; }

private:
    HANDLE handle_ = nullptr;
};

class RegistryKey {
public:
    RegistryKey() = default;
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;
    ~RegistryKey() {
        if (key_) RegCloseKey(key_);
    }
    HKEY* out() { return &key_; }
    HKEY get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

// The port's file lies in the system directory under the port's name, so
// the name must stay one file name there.
bool isPlainFileName(const std::wstring& name) {
    if (name.empty() || name == L"." || name == L"..") return false;
    return name.find_first_of(L"\\/:*?\"<>|") == std::wstring::npos;
}

uint32_t portFilePath(const std::wstring& port, std::wstring* out) {
    if (!isPlainFileName(port)) return kErrorInvalidParameter;
    wchar_t dir[MAX_PATH + 1];
    const UINT n = GetSystemDirectoryW(dir, MAX_PATH + 1);
    if (n == 0 || n > MAX_PATH) return n == 0 ? win32::lastError() : kErrorInvalidParameter;
    *out = std::wstring(dir, n) + L"\\" + port;
    return 0;
}

// The local port monitor answers only while the spooler runs; while it is
// stopped, its port registration is written directly and read when it starts.
bool spoolerRunning() {
    bool running = false;
    if (SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT)) {
        if (SC_HANDLE service = OpenServiceW(manager, L"Spooler", SERVICE_QUERY_STATUS)) {
            SERVICE_STATUS status{};
            running = QueryServiceStatus(service, &status) && status.dwCurrentState == SERVICE_RUNNING;
            CloseServiceHandle(service);
        }
        CloseServiceHandle(manager);
    }
    return running;
}

// Asks the local port monitor to add or delete a port. `reached` is false
// when the monitor could not be reached.
uint32_t askPortMonitor(const wchar_t* command, const std::wstring& port, bool* reached) {
    *reached = false;
    PRINTER_DEFAULTSW defaults{nullptr, nullptr, SERVER_ACCESS_ADMINISTER};
    PrinterHandle monitor;
    if (!OpenPrinterW(const_cast<wchar_t*>(kLocalPortMonitor), monitor.out(), &defaults)) return win32::lastError();
    *reached = true;
    DWORD needed = 0, status = 0;
    const auto* data = reinterpret_cast<const BYTE*>(port.c_str());
    if (!XcvDataW(monitor.get(), command, const_cast<BYTE*>(data),
                  static_cast<DWORD>((port.size() + 1) * sizeof(wchar_t)), nullptr, 0, &needed, &status))
        return win32::lastError();
    return status;
}

class WinSpooler : public PrintSpooler {
public:
    uint32_t driverDirectory(std::string* out) override {
        DWORD needed = 0;
        GetPrinterDriverDirectoryW(nullptr, nullptr, 1, nullptr, 0, &needed);
        if (needed == 0) return win32::lastError();
        std::vector<BYTE> buffer(needed + sizeof(wchar_t));
        if (!GetPrinterDriverDirectoryW(nullptr, nullptr, 1, buffer.data(), needed, &needed))
            return win32::lastError();
        *out = win32::toUtf8(reinterpret_cast<const wchar_t*>(buffer.data()));
        return out->empty() ? kErrorGenFailure : 0;
    }

    uint32_t deletePrinter(const std::string& name) override {
        std::wstring wide;
        if (!win32::toUtf16(name, &wide)) return kErrorInvalidPrinterName;
        wchar_t raw[] = L"RAW";
        PRINTER_DEFAULTSW defaults{raw, nullptr, PRINTER_ALL_ACCESS};
        PrinterHandle printer;
        if (!OpenPrinterW(wide.data(), printer.out(), &defaults)) return win32::lastError();
        return DeletePrinter(printer.get()) ? 0 : win32::lastError();
    }

    // A spooler that fails to delete a driver it does not have may leave an
    // older call's error behind (Wine does): a driver that is not listed is
    // unknown, whatever the error says.
    uint32_t deletePrinterDriver(const std::string& name) override {
        std::wstring wide;
        if (!win32::toUtf16(name, &wide)) return kErrorUnknownPrinterDriver;
        SetLastError(ERROR_SUCCESS);
        if (DeletePrinterDriverW(nullptr, nullptr, wide.data())) return 0;
        const uint32_t code = win32::lastError();
        return hasDriver(wide) ? code : kErrorUnknownPrinterDriver;
    }

    // The driver for the spooler's own environment: a 64-bit spooler loads
    // only a 64-bit driver library, whatever environment name a caller gives.
    uint32_t addPrinterDriver(const DriverInfo& driver) override {
        std::string dir;
        if (const uint32_t code = driverDirectory(&dir)) return code;
        std::wstring name, driverPath, configPath;
        if (!win32::toUtf16(driver.name, &name) || !win32::toSystemPath(dir + "/" + driver.driverFile, &driverPath) ||
            !win32::toSystemPath(dir + "/" + driver.configFile, &configPath))
            return kErrorNoUnicodeTranslation;
        DRIVER_INFO_2W info{};
        info.cVersion = 3;
        info.pName = name.data();
        info.pEnvironment = nullptr;
        info.pDriverPath = driverPath.data();
        info.pDataFile = configPath.data();
        info.pConfigFile = configPath.data();
        return AddPrinterDriverW(nullptr, 2, reinterpret_cast<BYTE*>(&info)) ? 0 : win32::lastError();
    }

    uint32_t addPrinter(const PrinterInfo& printer) override {
        std::wstring name, port, driver, processor;
        if (!win32::toUtf16(printer.name, &name) || !win32::toUtf16(printer.portName, &port) ||
            !win32::toUtf16(printer.driverName, &driver) || !win32::toUtf16(printer.printProcessor, &processor))
            return kErrorNoUnicodeTranslation;
        wchar_t raw[] = L"RAW";
        PRINTER_INFO_2W info{};
        info.pPrinterName = name.data();
        info.pPortName = port.data();
        info.pDriverName = driver.data();
        info.pPrintProcessor = processor.data();
        info.pDatatype = raw;
        info.Attributes = PRINTER_ATTRIBUTE_LOCAL | (printer.printDirectly ? PRINTER_ATTRIBUTE_DIRECT : 0);
        info.Priority = 1;
        info.DefaultPriority = 1;
        HANDLE added = AddPrinterW(nullptr, 2, reinterpret_cast<BYTE*>(&info));
        if (!added) return win32::lastError();
        ClosePrinter(added);
        return 0;
    }

    // Through the local port monitor while the spooler runs; while it is
    // stopped (or the monitor cannot be reached), the registration it reads
    // when it starts. Then the port's file in the system directory, holding "*".
    uint32_t addPort(const std::string& name) override {
        std::wstring port, file;
        if (!win32::toUtf16(name, &port)) return kErrorNoUnicodeTranslation;
        if (const uint32_t code = portFilePath(port, &file)) return code;
        bool reached = false;
        uint32_t code = spoolerRunning() ? askPortMonitor(L"AddPort", port, &reached) : 0;
        if (code == ERROR_ALREADY_EXISTS) code = 0;
        if (!reached) code = setPortValue(port);
        if (code) return code;
        const HANDLE handle = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                          FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE) return win32::lastError();
        DWORD written = 0;
        const bool ok = WriteFile(handle, "*", 1, &written, nullptr) && written == 1;
        const uint32_t writeError = ok ? 0 : win32::lastError();
        CloseHandle(handle);
        return writeError;
    }

    // The monitor's port (when it answers), the registration, and the file;
    // what is absent counts as removed.
    uint32_t deletePort(const std::string& name) override {
        std::wstring port, file;
        if (!win32::toUtf16(name, &port)) return kErrorNoUnicodeTranslation;
        if (const uint32_t code = portFilePath(port, &file)) return code;
        bool reached = false;
        const uint32_t monitor = spoolerRunning() ? askPortMonitor(L"DeletePort", port, &reached) : 0;
        if (reached && monitor != 0 && !isAbsent(monitor)) return monitor;
        if (const uint32_t code = deletePortValue(port)) return code;
        if (!DeleteFileW(file.c_str()) && !isAbsent(GetLastError())) return win32::lastError();
        return 0;
    }

    void broadcastPrinterChange(const std::string& name) override {
        std::wstring wide;
        if (!win32::toUtf16(name, &wide)) return;
        DWORD_PTR result = 0;
        SendMessageTimeoutW(HWND_BROADCAST, WM_DEVMODECHANGE, 0, reinterpret_cast<LPARAM>(wide.c_str()),
                            SMTO_NORMAL, 1000, &result);
    }

    uint32_t copyFile(const std::string& from, const std::string& to) override {
        std::wstring source, target;
        if (!win32::toSystemPath(from, &source) || !win32::toSystemPath(to, &target)) return kErrorNoUnicodeTranslation;
        return CopyFileW(source.c_str(), target.c_str(), FALSE) ? 0 : win32::lastError();
    }

    uint32_t deleteFile(const std::string& path) override {
        std::wstring wide;
        if (!win32::toSystemPath(path, &wide)) return kErrorNoUnicodeTranslation;
        return DeleteFileW(wide.c_str()) ? 0 : win32::lastError();
    }

private:
    static bool hasDriver(const std::wstring& name) {
        DWORD needed = 0, count = 0;
        EnumPrinterDriversW(nullptr, nullptr, 1, nullptr, 0, &needed, &count);
        if (needed == 0) return false;
        // DRIVER_INFO_1W holds pointers: the buffer keeps their alignment.
        std::vector<DRIVER_INFO_1W> buffer(needed / sizeof(DRIVER_INFO_1W) + 1);
        if (!EnumPrinterDriversW(nullptr, nullptr, 1, reinterpret_cast<BYTE*>(buffer.data()),
                                 static_cast<DWORD>(buffer.size() * sizeof(DRIVER_INFO_1W)), &needed, &count))
            return true;  // cannot tell: the delete's own error stands
        for (DWORD i = 0; i < count; ++i)
            if (buffer[i].pName && name == buffer[i].pName) return true;
        return false;
    }
    static bool isAbsent(DWORD code) {
        return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND || code == kErrorUnknownPort;
    }
    static uint32_t setPortValue(const std::wstring& port) {
        RegistryKey key;
        LSTATUS status = RegCreateKeyExW(HKEY_LOCAL_MACHINE, kPortsKey, 0, nullptr, 0,
                                         KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr, key.out(), nullptr);
        if (status != ERROR_SUCCESS) return static_cast<uint32_t>(status);
        const wchar_t empty[] = L"";
        status = RegSetValueExW(key.get(), port.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(empty),
                                sizeof(empty));
        return static_cast<uint32_t>(status);
    }
    static uint32_t deletePortValue(const std::wstring& port) {
        RegistryKey key;
        LSTATUS status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, kPortsKey, 0, KEY_SET_VALUE | KEY_WOW64_64KEY, key.out());
        if (status == ERROR_SUCCESS) status = RegDeleteValueW(key.get(), port.c_str());
        return isAbsent(static_cast<DWORD>(status)) ? 0 : static_cast<uint32_t>(status);
    }
};

}  // namespace

std::unique_ptr<PrintSpooler> win32Spooler() { return std::make_unique<WinSpooler>(); }

}  // namespace tessaly::spooler
