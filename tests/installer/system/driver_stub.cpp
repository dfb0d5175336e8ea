// A library that stands in for the driver and its user-interface library
// when the installer registers them with the spooler. Adding a printer asks
// the user-interface library for the default device mode, so it answers
// that (a plain DEVMODEW without private part) and nothing else.

#include <windows.h>

#include <cwchar>

namespace {

// The header the spooler passes when it asks for a device mode without
// showing property sheets.
struct DocumentPropertyHeader {
    WORD cbSize;
    WORD reserved;
    HANDLE printer;
    LPWSTR printerName;
    DEVMODEW* in;
    DEVMODEW* out;
    DWORD cbOut;
    DWORD mode;
};

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }

// Without property sheets (no sheet information): the size of the device
// mode, or the default one.
__declspec(dllexport) LONG WINAPI DrvDocumentPropertySheets(void* sheetInfo, LPARAM param) {
    auto* header = reinterpret_cast<DocumentPropertyHeader*>(param);
    if (sheetInfo || !header) return -1;
    if (header->mode == 0 || !header->out) {
        header->cbOut = sizeof(DEVMODEW);
        return static_cast<LONG>(header->cbOut);
    }
    DEVMODEW* mode = header->out;
    ZeroMemory(mode, sizeof(*mode));
    if (header->printerName) wcsncpy(mode->dmDeviceName, header->printerName, CCHDEVICENAME - 1);
    mode->dmSpecVersion = DM_SPECVERSION;
    mode->dmSize = sizeof(DEVMODEW);
    mode->dmFields = DM_ORIENTATION | DM_PAPERSIZE;
    mode->dmOrientation = DMORIENT_PORTRAIT;
    mode->dmPaperSize = DMPAPER_A4;
    return 1;  // IDOK
}

// No capabilities to tell.
__declspec(dllexport) DWORD WINAPI DrvDeviceCapabilities(HANDLE, LPWSTR, WORD, void*, DEVMODEW*) { return 0; }

}  // extern "C"
