// pagesmith.dll as the spooler loads it: LoadLibraryW, the exports by name,
// and a PDEV made from device modes. The test plays the graphics engine's
// part for the few engine services these calls need, the way GDI would: it
// points the DLL's gdi32 imports of them at its own small implementations.
// (Wine's gdi32 has no engine services at all, so its loader binds them to
// stubs that raise an exception when called.)

#include <gtest/gtest.h>

#include "../../platform/windows_support.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "pagesmith/printer_devmode.h"
#include "platform/winddi.h"

namespace {

using tessaly::pagesmith::kPrivateDevmodeSize;
using tessaly::pagesmith::kPrivateSignature;
using tessaly::pagesmith::kPublicDevmodeSize;
using tessaly::pagesmith::PrivateDevmode;

// The engine's side: palettes are counted, errors go to the thread's last error.
struct Engine {
    int palettesCreated = 0;
    int palettesDeleted = 0;
    ULONG lastMode = 0;
    bool refusePalettes = false;
};
Engine engine;
int paletteToken = 0;

VOID APIENTRY testSetLastError(ULONG error) { ::SetLastError(error); }
ULONG APIENTRY testGetLastError() { return ::GetLastError(); }
HPALETTE APIENTRY testCreatePalette(ULONG mode, ULONG, ULONG*, FLONG, FLONG, FLONG) {
    engine.lastMode = mode;
    if (engine.refusePalettes) return nullptr;
    ++engine.palettesCreated;
    return reinterpret_cast<HPALETTE>(&paletteToken);
}
BOOL APIENTRY testDeletePalette(HPALETTE palette) {
    if (palette != reinterpret_cast<HPALETTE>(&paletteToken)) return FALSE;
    ++engine.palettesDeleted;
    return TRUE;
}

template <typename F>
void* address(F* function) {
    return reinterpret_cast<void*>(function);
}

const std::map<std::string, void*>& engineServices() {
    static const std::map<std::string, void*> services = {
        {"EngSetLastError", address(&testSetLastError)},
        {"EngGetLastError", address(&testGetLastError)},
        {"EngCreatePalette", address(&testCreatePalette)},
        {"EngDeletePalette", address(&testDeletePalette)},
    };
    return services;
}

// The names a module imports from one DLL, and for the names in `replace`
// its import address table entries pointed at them.
std::vector<std::string> bindImports(HMODULE module, const char* dll, const std::map<std::string, void*>& replace) {
    std::vector<std::string> names;
    auto* base = reinterpret_cast<uint8_t*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (!directory.VirtualAddress) return names;
    for (auto* entry = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress); entry->Name;
         ++entry) {
        if (_stricmp(reinterpret_cast<const char*>(base + entry->Name), dll) != 0) continue;
        const auto* lookup = reinterpret_cast<const IMAGE_THUNK_DATA*>(
            base + (entry->OriginalFirstThunk ? entry->OriginalFirstThunk : entry->FirstThunk));
        auto* bound = reinterpret_cast<IMAGE_THUNK_DATA*>(base + entry->FirstThunk);
        for (; lookup->u1.AddressOfData; ++lookup, ++bound) {
            if (IMAGE_SNAP_BY_ORDINAL(lookup->u1.Ordinal)) continue;
            const auto* byName = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + lookup->u1.AddressOfData);
            const std::string name(reinterpret_cast<const char*>(byName->Name));
            names.push_back(name);
            const auto found = replace.find(name);
            if (found == replace.end()) continue;
            DWORD protection = 0;
            if (!::VirtualProtect(&bound->u1.Function, sizeof bound->u1.Function, PAGE_READWRITE, &protection))
                continue;
            bound->u1.Function = reinterpret_cast<ULONG_PTR>(found->second);
            ::VirtualProtect(&bound->u1.Function, sizeof bound->u1.Function, protection, &protection);
        }
    }
    return names;
}

// A device mode as the spooler hands it over: the public part and ours.
struct DevmodeBytes {
    std::vector<uint8_t> bytes = std::vector<uint8_t>(kPublicDevmodeSize + kPrivateDevmodeSize);

    DevmodeBytes() {
        DEVMODEW& dm = devmode();
        dm.dmSpecVersion = DM_SPECVERSION;
        dm.dmSize = kPublicDevmodeSize;
        dm.dmDriverExtra = kPrivateDevmodeSize;
        PrivateDevmode part{};
        part.signature = kPrivateSignature;
        part.width = 215900;
        part.height = 279400;
        part.sizeIndex = 15;
        part.resolution = 300;
        part.settings.sourceId = -1;
        setPrivate(part);
    }
    DEVMODEW& devmode() { return *reinterpret_cast<DEVMODEW*>(bytes.data()); }
    PrivateDevmode privatePart() const {
        PrivateDevmode part;
        std::memcpy(&part, bytes.data() + kPublicDevmodeSize, sizeof part);
        return part;
    }
    void setPrivate(const PrivateDevmode& part) { std::memcpy(bytes.data() + kPublicDevmodeSize, &part, sizeof part); }
};

using QueryDriverInfo = BOOL(APIENTRY*)(DWORD, PVOID, DWORD, PDWORD);
using EnableDriver = BOOL(APIENTRY*)(ULONG, ULONG, DRVENABLEDATA*);
using DisableDriver = VOID(APIENTRY*)();
using EnablePdev = DHPDEV(APIENTRY*)(DEVMODEW*, LPWSTR, ULONG, HSURF*, ULONG, ULONG*, ULONG, DEVINFO*, HDEV, LPWSTR,
                                     HANDLE);
using DisablePdev = VOID(APIENTRY*)(DHPDEV);

// The DLL, loaded once for the program (the engine's services bound), with
// the settings it reads kept in a scratch key.
class DriverDll : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        key_ = new tessaly::testing_support::ScratchKey;
        setenv("TESSALY_REGISTRY_ROOT", ("HKEY_CURRENT_USER\\" + key_->path()).c_str(), 1);
        const std::string bin = TESSALY_BIN_DIR;
        const std::wstring path = std::wstring(bin.begin(), bin.end()) + L"/pagesmith.dll";
        module_ = ::LoadLibraryW(path.c_str());
        if (module_) imports_ = bindImports(module_, "gdi32.dll", engineServices());
    }
    static void TearDownTestSuite() {
        if (module_) ::FreeLibrary(module_);
        module_ = nullptr;
        unsetenv("TESSALY_REGISTRY_ROOT");
        delete key_;
        key_ = nullptr;
    }
    void SetUp() override {
        ASSERT_NE(module_, nullptr) << "LoadLibraryW failed: " << ::GetLastError();
        engine = Engine{};
    }
    template <typename F>
    static F entry(const char* name) {
        return reinterpret_cast<F>(reinterpret_cast<void*>(::GetProcAddress(module_, name)));
    }
    // DrvEnablePDEV with the table's own entry, as GDI calls it.
    DHPDEV enablePdev(DEVMODEW* dm, ULONG gdiBytes, ULONG devBytes) {
        DRVENABLEDATA data{};
        if (!entry<EnableDriver>("DrvEnableDriver")(DDI_DRIVER_VERSION_NT5, sizeof data, &data)) return nullptr;
        enablePdev_ = reinterpret_cast<EnablePdev>(reinterpret_cast<void*>(data.pdrvfn[0].pfn));
        disablePdev_ = reinterpret_cast<DisablePdev>(reinterpret_cast<void*>(data.pdrvfn[3].pfn));
        return enablePdev_(dm, nullptr, 0, nullptr, gdiBytes, reinterpret_cast<ULONG*>(gdiInfo_.data()), devBytes,
                           reinterpret_cast<DEVINFO*>(devInfo_.data()), nullptr, nullptr, nullptr);
    }
    const GDIINFO& gdiInfo() const { return *reinterpret_cast<const GDIINFO*>(gdiInfo_.data()); }

    static inline tessaly::testing_support::ScratchKey* key_ = nullptr;
    static inline HMODULE module_ = nullptr;
    static inline std::vector<std::string> imports_;
    std::vector<uint8_t> gdiInfo_ = std::vector<uint8_t>(512);
    std::vector<uint8_t> devInfo_ = std::vector<uint8_t>(512);
    EnablePdev enablePdev_ = nullptr;
    DisablePdev disablePdev_ = nullptr;
};

TEST_F(DriverDll, EntryPointsAnswerAsTheSpoolerExpects) {
    const auto query = entry<QueryDriverInfo>("DrvQueryDriverInfo");
    const auto enable = entry<EnableDriver>("DrvEnableDriver");
    ASSERT_NE(query, nullptr);
    ASSERT_NE(enable, nullptr);
    ASSERT_NE(entry<DisableDriver>("DrvDisableDriver"), nullptr);
    // Only the three entry points are exported; the hooks are reached through the table.
    EXPECT_EQ(::GetProcAddress(module_, "DrvEnablePDEV"), nullptr);
    EXPECT_EQ(::GetProcAddress(module_, "DrvTextOut"), nullptr);

    DWORD needed = 0, mode = 0;
    EXPECT_TRUE(query(DRVQUERY_USERMODE, &mode, sizeof mode, &needed));
    EXPECT_EQ(needed, 4u);
    EXPECT_EQ(mode, 1u);
    EXPECT_FALSE(query(DRVQUERY_USERMODE, &mode, 3, &needed));
    EXPECT_EQ(::GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_FALSE(query(2, &mode, sizeof mode, &needed));
    EXPECT_EQ(::GetLastError(), DWORD(ERROR_INVALID_PARAMETER));

    DRVENABLEDATA data{};
    EXPECT_FALSE(enable(0x1FFFF, sizeof data, &data));
    EXPECT_EQ(::GetLastError(), DWORD(ERROR_BAD_DRIVER_LEVEL));
    EXPECT_FALSE(enable(DDI_DRIVER_VERSION_NT4, 11, &data));
    EXPECT_EQ(::GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    ASSERT_TRUE(enable(DDI_DRIVER_VERSION_NT5, sizeof data, &data));
    EXPECT_EQ(data.iDriverVersion, ULONG(DDI_DRIVER_VERSION_NT4));
    ASSERT_EQ(data.c, 24u);
    const ULONG order[] = {INDEX_DrvEnablePDEV,  INDEX_DrvCompletePDEV, INDEX_DrvResetPDEV,
                           INDEX_DrvDisablePDEV, INDEX_DrvEnableSurface, INDEX_DrvDisableSurface,
                           INDEX_DrvStartDoc,    INDEX_DrvEndDoc,        INDEX_DrvStartPage,
                           INDEX_DrvSendPage,    INDEX_DrvStartBanding,  INDEX_DrvNextBand,
                           INDEX_DrvBitBlt,      INDEX_DrvStretchBlt,    INDEX_DrvPlgBlt,
                           INDEX_DrvCopyBits,    INDEX_DrvPaint,         INDEX_DrvAlphaBlend,
                           INDEX_DrvGradientFill, INDEX_DrvTransparentBlt, INDEX_DrvStrokePath,
                           INDEX_DrvFillPath,    INDEX_DrvStrokeAndFillPath, INDEX_DrvTextOut};
    MEMORY_BASIC_INFORMATION image{};
    ASSERT_TRUE(::VirtualQuery(module_, &image, sizeof image));
    for (ULONG i = 0; i < 24; ++i) {
        EXPECT_EQ(data.pdrvfn[i].iFunc, order[i]) << i;
        // Every hook lies in the DLL's own image.
        MEMORY_BASIC_INFORMATION where{};
        ASSERT_TRUE(::VirtualQuery(reinterpret_cast<void*>(data.pdrvfn[i].pfn), &where, sizeof where)) << i;
        EXPECT_EQ(where.AllocationBase, image.AllocationBase) << i;
    }
}

TEST_F(DriverDll, EnablePdevRefusesForeignDevmodes) {
    DevmodeBytes devmode;
    ::SetLastError(0);
    EXPECT_EQ(enablePdev(&devmode.devmode(), 303, 512), nullptr);
    EXPECT_EQ(::GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(enablePdev(nullptr, 512, 512), nullptr);
    DevmodeBytes extra;
    extra.devmode().dmDriverExtra = 2600;
    EXPECT_EQ(enablePdev(&extra.devmode(), 512, 512), nullptr);
    DevmodeBytes foreign;
    PrivateDevmode part = foreign.privatePart();
    part.signature = 0x12873466;
    foreign.setPrivate(part);
    ::SetLastError(0);
    EXPECT_EQ(enablePdev(&foreign.devmode(), 512, 512), nullptr);
    EXPECT_EQ(::GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    // Refused before any engine object was made.
    EXPECT_EQ(engine.palettesCreated, 0);

    // Without a palette from the engine there is no device, and nothing leaks.
    engine.refusePalettes = true;
    ::SetLastError(0);
    EXPECT_EQ(enablePdev(&devmode.devmode(), 512, 512), nullptr);
    EXPECT_EQ(::GetLastError(), DWORD(ERROR_OUTOFMEMORY));
}

TEST_F(DriverDll, A4At300DpiIs2480By3507) {
    DevmodeBytes devmode;
    devmode.devmode().dmFields = DM_PAPERSIZE | DM_ORIENTATION;
    devmode.devmode().dmPaperSize = DMPAPER_A4;
    devmode.devmode().dmOrientation = DMORIENT_PORTRAIT;
    DHPDEV pdev = enablePdev(&devmode.devmode(), 512, 512);
    ASSERT_NE(pdev, nullptr) << ::GetLastError();
    EXPECT_EQ(engine.palettesCreated, 1);
    EXPECT_EQ(engine.lastMode, ULONG(PAL_BGR));
    EXPECT_EQ(gdiInfo().ulHorzRes, 2480u);
    EXPECT_EQ(gdiInfo().ulVertRes, 3507u);
    EXPECT_EQ(gdiInfo().ulHorzSize, 210u);
    EXPECT_EQ(gdiInfo().ulVertSize, 297u);
    EXPECT_EQ(gdiInfo().ulLogPixelsX, 300u);
    EXPECT_EQ(gdiInfo().cBitsPixel, 24u);
    EXPECT_EQ(gdiInfo().ulTechnology, ULONG(DT_RASPRINTER));
    EXPECT_EQ(devmode.privatePart().sizeIndex, 5);
    EXPECT_EQ(devmode.privatePart().width, 210000u);
    EXPECT_EQ(devmode.privatePart().height, 297000u);
    disablePdev_(pdev);
    EXPECT_EQ(engine.palettesDeleted, 1);

    // Landscape swaps the sides, and the resolution follows the device mode.
    devmode = DevmodeBytes{};
    devmode.devmode().dmFields = DM_PAPERSIZE | DM_ORIENTATION | DM_PRINTQUALITY;
    devmode.devmode().dmPaperSize = DMPAPER_A4;
    devmode.devmode().dmOrientation = DMORIENT_LANDSCAPE;
    devmode.devmode().dmPrintQuality = 600;
    pdev = enablePdev(&devmode.devmode(), 512, 512);
    ASSERT_NE(pdev, nullptr);
    EXPECT_EQ(gdiInfo().ulHorzRes, 7015u);
    EXPECT_EQ(gdiInfo().ulVertRes, 4960u);
    disablePdev_(pdev);
}

// A custom size takes the printer's stored size index, read through the
// DLL's own registry layer from the configured key.
TEST_F(DriverDll, CustomSizeTakesTheStoredSizeIndex) {
    HKEY key = nullptr;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, tessaly::testing_support::wideKey(key_->path()).c_str(), 0,
                                nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const DWORD stored = 3;
    ASSERT_EQ(::RegSetValueExW(key, L"SizeIndex", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&stored),
                               sizeof stored),
              ERROR_SUCCESS);
    ::RegCloseKey(key);
    DevmodeBytes devmode;
    devmode.devmode().dmFields = DM_PAPERSIZE | DM_PAPERWIDTH | DM_PAPERLENGTH;
    devmode.devmode().dmPaperSize = 257;
    devmode.devmode().dmPaperWidth = 1000;
    devmode.devmode().dmPaperLength = 1500;
    DHPDEV pdev = enablePdev(&devmode.devmode(), 512, 512);
    ASSERT_NE(pdev, nullptr);
    EXPECT_EQ(devmode.privatePart().sizeIndex, -4);
    EXPECT_EQ(devmode.privatePart().width, 100000u);
    EXPECT_EQ(devmode.privatePart().height, 150000u);
    EXPECT_EQ(gdiInfo().ulHorzRes, 1181u);
    EXPECT_EQ(gdiInfo().ulVertRes, 1771u);
    disablePdev_(pdev);
}

// Which of the engine services the DLL imports the system under test lacks:
// those calls can only be shown on a real Windows machine. Listed in the log.
TEST_F(DriverDll, ImportsOnlyFromSystemLibraries) {
    ASSERT_FALSE(imports_.empty());
    HMODULE gdi32 = ::GetModuleHandleW(L"gdi32.dll");
    ASSERT_NE(gdi32, nullptr);
    std::string missing;
    for (const std::string& name : imports_)
        if (!::GetProcAddress(gdi32, name.c_str())) missing += (missing.empty() ? "" : " ") + name;
    std::printf("gdi32 imports this system does not provide: %s\n", missing.empty() ? "(none)" : missing.c_str());
    // The DLL links the C and C++ run-time in: it needs no run-time DLL of
    // the compiler beside it.
    auto* base = reinterpret_cast<uint8_t*>(module_);
    const auto* nt =
        reinterpret_cast<const IMAGE_NT_HEADERS*>(base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (auto* entry = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
         entry->Name; ++entry) {
        std::string dll(reinterpret_cast<const char*>(base + entry->Name));
        for (char& c : dll) c = char(std::tolower(static_cast<unsigned char>(c)));
        EXPECT_TRUE(dll.find("libstdc++") == std::string::npos && dll.find("libgcc") == std::string::npos &&
                    dll.find("libwinpthread") == std::string::npos && dll.find("zlib") == std::string::npos)
            << dll;
    }
}

}  // namespace
