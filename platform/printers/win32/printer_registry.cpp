#include "platform/printer_registry.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <winspool.h>

#include <cwctype>
#include <memory>
#include <string>
#include <vector>

#include "support/text.h"

namespace tessaly {

namespace {

std::wstring wide(std::string_view utf8) {
    if (utf8.empty()) return {};
    const int n = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()),
                                        nullptr, 0);
    if (n <= 0) return {};
    std::wstring out(static_cast<size_t>(n), L'\0');
    (void)::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()),
                                out.data(), n);
    return out;
}

bool equalIgnoringCase(const wchar_t* a, const std::wstring& b) {
    return ::CompareStringOrdinal(a, -1, b.c_str(), static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

}  // namespace

std::string embeddedDriverPath() {
    // The driver is installed beside the programs.
    wchar_t self[MAX_PATH];
    const DWORD n = ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring dir = n > 0 && n < MAX_PATH ? std::wstring(self, n) : std::wstring(L".\\");
    dir.erase(dir.find_last_of(L"\\/") + 1);
    const std::wstring path = dir + L"pagesmith.dll";
    return toUtf8(std::u16string(path.begin(), path.end()));
}

int cupsQueueExists(std::string_view name, std::string* error) {
    // The spooler's own list of local printers stands where the print
    // server's queues are elsewhere.
    const std::wstring wanted = wide(name);
    DWORD needed = 0, count = 0;
    (void)::EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 4, nullptr, 0, &needed, &count);
    std::vector<BYTE> buffer(needed ? needed : 1);
    if (!::EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 4, buffer.data(), needed, &needed, &count)) {
        if (error) *error = "the spooler does not list its printers";
        return 0;
    }
    const auto* printers = reinterpret_cast<const PRINTER_INFO_4W*>(buffer.data());
    for (DWORD i = 0; i < count; ++i) {
        if (printers[i].pPrinterName && equalIgnoringCase(printers[i].pPrinterName, wanted)) return 1;
    }
    if (error) *error = "the spooler has no printer named " + std::string(name);
    return 0;
}

int checkPrinter(std::string_view name, std::string* error) {
    std::wstring printer = wide(name);
    if (printer.empty()) {
        if (error) *error = "no printer named " + std::string(name);
        return 0;
    }
    HANDLE handle = nullptr;
    if (!::OpenPrinterW(printer.data(), &handle, nullptr)) {
        if (error) *error = "the spooler cannot open the printer " + std::string(name);
        return 0;
    }
    ::ClosePrinter(handle);
    return 1;
}

}  // namespace tessaly
