#include "platform/spool_devmode.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "platform/registry.h"

namespace tessaly {
namespace {

struct Built {
    PrinterDevMode mode;
    std::string error;
    int result = 0;
};

Built build(const PrintRequest& request, const PrinterDefaults& defaults = {}, const void* block = nullptr) {
    Built b;
    b.result = buildDevMode(defaults, block, request, &b.mode, &b.error);
    return b;
}

TEST(SpoolDevMode, PublicAndPrivatePartsFromTheDefaults) {
    std::vector<uint8_t> block(kDevModeSettingsSize);
    for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<uint8_t>(i * 7 + 1);
    PrinterDefaults defaults;
    defaults.sizeIndex = -6;
    const Built b = build({}, defaults, block.data());
    ASSERT_EQ(b.result, 1) << b.error;
    const DEVMODEW* dm = b.mode.devmode();
    EXPECT_EQ(dm->dmSize, 220);
    EXPECT_EQ(dm->dmDriverExtra, 2660);
    EXPECT_EQ(dm->dmSpecVersion, DM_SPECVERSION);
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(dm->dmDeviceName)), u"Tessaly");
    EXPECT_EQ(dm->dmFields, 0u) << "nothing asked, nothing set";
    EXPECT_EQ(PrinterDevMode::size(), 2880u);

    // The private part directly behind the public one, little-endian.
    const uint8_t* priv = reinterpret_cast<const uint8_t*>(dm) + 220;
    EXPECT_EQ(priv, b.mode.privatePart());
    EXPECT_EQ(priv[0], 0x65);
    EXPECT_EQ(priv[3], 0x12);
    EXPECT_EQ(b.mode.privateDword(0), kDevModeSignature);
    EXPECT_EQ(b.mode.privateDword(8), 215900u);
    EXPECT_EQ(b.mode.privateDword(12), 279400u);
    EXPECT_EQ(static_cast<int32_t>(b.mode.privateDword(16)), -6);
    EXPECT_EQ(b.mode.privateDword(20), 101600u);
    EXPECT_EQ(b.mode.privateDword(24), 152399u);
    EXPECT_EQ(b.mode.privateDword(32), 300u);
    EXPECT_EQ(std::memcmp(priv + 36, block.data(), block.size()), 0);
}

TEST(SpoolDevMode, PaperByNameOrSize) {
    struct Case {
        const char* name;
        short code;
    };
    for (const Case& c : {Case{"A4", 9}, Case{"a4", 9}, Case{"Letter", 1}, Case{"LEGAL", 5}, Case{"tabloid", 3},
                          Case{"A4 210 x 297 mm", 9}, Case{"10 x 14 inch", 16},
                          Case{"Japanese Postcard 100 x 148 mm", 43}}) {
        PrintRequest request;
        request.paperName = c.name;
        const Built b = build(request);
        ASSERT_EQ(b.result, 1) << c.name << ": " << b.error;
        EXPECT_EQ(b.mode.devmode()->dmFields, static_cast<DWORD>(DM_PAPERSIZE)) << c.name;
        EXPECT_EQ(b.mode.devmode()->dmPaperSize, c.code) << c.name;
    }
    // Words that start several rows, or none, name no paper.
    for (const char* name : {"German", "US", "10", "A6", ""}) {
        EXPECT_EQ(paperCodeForName(name), 0) << name;
    }
    PrintRequest unknown;
    unknown.paperName = "A6";
    const Built refused = build(unknown);
    EXPECT_EQ(refused.result, 0);
    EXPECT_NE(refused.error.find("A6"), std::string::npos) << refused.error;

    PrintRequest custom;
    custom.paperWidthTenths = 1000;
    custom.paperLengthTenths = 1500;
    const Built b = build(custom);
    ASSERT_EQ(b.result, 1) << b.error;
    EXPECT_EQ(b.mode.devmode()->dmFields, static_cast<DWORD>(DM_PAPERSIZE | DM_PAPERWIDTH | DM_PAPERLENGTH));
    EXPECT_EQ(b.mode.devmode()->dmPaperSize, 257);
    EXPECT_EQ(b.mode.devmode()->dmPaperWidth, 1000);
    EXPECT_EQ(b.mode.devmode()->dmPaperLength, 1500);

    // A short field cannot hold more than 3276.7 mm; a half-given size is no size.
    for (auto [w, h] : {std::pair{32768, 100}, std::pair{100, 0}, std::pair{-5, 100}}) {
        PrintRequest bad;
        bad.paperWidthTenths = w;
        bad.paperLengthTenths = h;
        EXPECT_EQ(build(bad).result, 0) << w << " x " << h;
    }
}

TEST(SpoolDevMode, OrientationResolutionAndCaptureMode) {
    std::vector<uint8_t> block(kDevModeSettingsSize, 0);
    block[kSettingsMechanicsOffset] = 0x0E;  // vector, preview, frame
    block[kSettingsMechanicsOffset + 1] = 0x01;

    PrintRequest request;
    request.orientation = DMORIENT_LANDSCAPE;
    request.dpi = 600;
    request.imagePages = true;
    const Built b = build(request, {}, block.data());
    ASSERT_EQ(b.result, 1) << b.error;
    const DEVMODEW* dm = b.mode.devmode();
    EXPECT_EQ(dm->dmFields, static_cast<DWORD>(DM_ORIENTATION | DM_PRINTQUALITY | DM_YRESOLUTION));
    EXPECT_EQ(dm->dmOrientation, DMORIENT_LANDSCAPE);
    EXPECT_EQ(dm->dmPrintQuality, 600);
    EXPECT_EQ(dm->dmYResolution, 600);
    // Image replaces vector; the other bits stay.
    EXPECT_EQ(b.mode.privateDword(kDevModeSettingsOffset + kSettingsMechanicsOffset), 0x10Du);

    request.imagePages = false;
    const Built v = build(request, {}, block.data());
    EXPECT_EQ(v.mode.privateDword(kDevModeSettingsOffset + kSettingsMechanicsOffset), 0x10Eu);

    // Page rasters beside vector pages: the preview bits join the others.
    std::vector<uint8_t> plain(kDevModeSettingsSize, 0);
    plain[kSettingsMechanicsOffset] = 0x0A;  // vector, frame
    PrintRequest rasters;
    rasters.imagePages = false;
    rasters.pageRasters = true;
    const Built r = build(rasters, {}, plain.data());
    ASSERT_EQ(r.result, 1) << r.error;
    EXPECT_EQ(r.mode.privateDword(kDevModeSettingsOffset + kSettingsMechanicsOffset), 0x10Eu);

    for (int dpi : {-1, 32768, 100000}) {
        PrintRequest bad;
        bad.dpi = dpi;
        EXPECT_EQ(build(bad).result, 0) << dpi;
    }
    PrintRequest badOrientation;
    badOrientation.orientation = 3;
    EXPECT_EQ(build(badOrientation).result, 0);
}

TEST(SpoolDevMode, PrinterDefaultsFromTheValueStore) {
    const std::filesystem::path root =
        std::filesystem::temp_directory_path() / ("tessaly-spool-defaults-" + std::to_string(::getpid()));
    std::filesystem::remove_all(root);
    ValueStore store(root.string());
    const PrinterDefaults missing = readPrinterDefaults(store);
    EXPECT_EQ(missing.dpi, 300u);
    EXPECT_EQ(missing.widthMM1000, 215900u);
    EXPECT_EQ(missing.heightMM1000, 279400u);
    EXPECT_EQ(missing.sizeIndex, 0);
    EXPECT_EQ(missing.customWidthMM1000, 101600u);
    EXPECT_EQ(missing.customHeightMM1000, 152399u);

    ASSERT_EQ(store.writeDword("DPI", 150), kRegistryOk);
    ASSERT_EQ(store.writeDword("WidthMM1000", 210000), kRegistryOk);
    ASSERT_EQ(store.writeDword("SizeIndex", 0xFFFFFFFA), kRegistryOk);
    ASSERT_EQ(store.writeString("HeightMM1000", u"297000"), kRegistryOk);  // wrong type: default
    const PrinterDefaults stored = readPrinterDefaults(store);
    EXPECT_EQ(stored.dpi, 150u);
    EXPECT_EQ(stored.widthMM1000, 210000u);
    EXPECT_EQ(stored.heightMM1000, 279400u);
    EXPECT_EQ(stored.sizeIndex, -6);
    std::filesystem::remove_all(root);
}

}  // namespace
}  // namespace tessaly
