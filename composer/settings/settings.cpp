// JobSettings: registry defaults, the job's media.settings and page layouts.

#include "composer/settings.h"

#include <climits>
#include <cstring>
#include <filesystem>

#include "composer/mml_reader.h"
#include "platform/registry.h"
#include "support/numbers.h"
#include "support/paths.h"
#include "support/text.h"

namespace tessaly {

namespace {

// Position of needle in haystack from `from` on, ignoring case; npos when absent.
size_t findFold(std::string_view haystack, std::string_view needle, size_t from = 0) {
    if (needle.size() > haystack.size()) return std::string_view::npos;
    for (size_t i = from; i + needle.size() <= haystack.size(); ++i) {
        if (equalNoCase(haystack.substr(i, needle.size()), needle)) return i;
    }
    return std::string_view::npos;
}

int32_t clampToInt32(uint32_t value) {
    return value > uint32_t(INT32_MAX) ? INT32_MAX : int32_t(value);
}

// The digits after `keyword` and one more character ("jpeg(75)" gives 75);
// nullopt when the keyword is absent. A keyword at the very end gives 0.
std::optional<uint32_t> keywordNumber(std::string_view value, std::string_view keyword) {
    const size_t at = findFold(value, keyword);
    if (at == std::string_view::npos) return std::nullopt;
    size_t digits = at + keyword.size();
    if (digits < value.size()) ++digits;
    return leadingDigitsValue(value.substr(digits));
}

void applyEncodeFlags(std::string_view value, int32_t* jpegQuality, int32_t* zlib) {
    const std::optional<uint32_t> quality = keywordNumber(value, "jpeg");
    *jpegQuality = quality ? clampToInt32(*quality) : 0;
    *zlib = findFold(value, "zlib") != std::string_view::npos ? 1 : 0;
}

void applyOutputFlags(std::string_view value, uint32_t* flags) {
    uint32_t f = *flags & ~(kOutputFile | kOutputFlash | kOutputFlashHtml);
    if (findFold(value, "file") != std::string_view::npos) f |= kOutputFile;
    for (size_t at = findFold(value, "flash"); at != std::string_view::npos;
         at = findFold(value, "flash", at + 1)) {
        if (at + 5 >= value.size() || value[at + 5] != '_') {
            f |= kOutputFlash;
            break;
        }
    }
    if (findFold(value, "flash_html") != std::string_view::npos) f |= kOutputFlashHtml;
    *flags = f;
}

void applyPreviewFx(std::string_view value, JobSettingsBlock* block) {
    if (const std::optional<uint32_t> smooth = keywordNumber(value, "smooth")) {
        block->previewSmoothing = *smooth;
    }
    if (findFold(value, "gray") != std::string_view::npos) block->previewMonochrome = -1;
    const size_t at = findFold(value, "blackwhite");
    if (at != std::string_view::npos) {
        const size_t next = at + 10;
        uint32_t threshold = 128;
        if (next < value.size() && value[next] == '(') {
            threshold = leadingDigitsValue(value.substr(next + 1));
        }
        if (threshold != 0) block->previewMonochrome = clampToInt32(threshold);
    }
}

std::u16string_view trimWide(std::u16string_view text) {
    while (!text.empty() && text.front() >= 1 && text.front() <= 32) text.remove_prefix(1);
    while (!text.empty() && text.back() >= 1 && text.back() <= 32) text.remove_suffix(1);
    return text;
}

template <size_t N>
std::string_view fixedText(const char (&field)[N]) {
    return std::string_view(field, strnlen(field, N));
}

template <size_t N>
std::u16string_view fixedText(const char16_t (&field)[N]) {
    size_t n = 0;
    while (n < N && field[n]) ++n;
    return std::u16string_view(field, n);
}

template <size_t N>
void setFixed(char (&field)[N], std::string_view text) {
    const size_t n = std::min(text.size(), N - 1);
    std::memcpy(field, text.data(), n);
    std::memset(field + n, 0, N - n);
}

template <size_t N>
void setFixed(char16_t (&field)[N], std::u16string_view text) {
    const size_t n = std::min(text.size(), N - 1);
    std::copy(text.begin(), text.begin() + n, field);
    std::fill(field + n, field + N, u'\0');
}

bool pathExists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(path, ec);
}

uint32_t registryDword(const char* name, uint32_t fallback) {
    uint32_t value = 0;
    return registryReadDword(name, &value) == kRegistryOk ? value : fallback;
}

void registryText(const char* name, char* dest, size_t size, std::string_view fallback) {
    if (registryReadString(name, dest, size) != kRegistryOk) {
        const size_t n = std::min(fallback.size(), size - 1);
        std::memcpy(dest, fallback.data(), n);
        std::memset(dest + n, 0, size - n);
    }
}

int readInstallPath(const char* name, std::string* out) {
    char16_t buffer[514] = {};  // 1028 bytes
    const bool ok = registryReadWideString(name, buffer, sizeof buffer) == kRegistryOk;
    std::string path = ok ? toNarrow(std::u16string_view(buffer)) : std::string("c:\\");
    backslashesToSlashes(path);
    appendSeparator(path);
    *out = std::move(path);
    return ok ? 1 : 0;
}

}  // namespace

uint32_t applyMechanicsKeywords(std::string_view value, uint32_t flags) {
    const auto has = [&](std::string_view word) {
        return findFold(value, word) != std::string_view::npos;
    };
    if (has("image")) {
        flags = (flags | kMechImage) & ~kMechVector;
    } else {
        flags &= ~kMechImage;
    }
    if (has("vector")) {
        flags = (flags | kMechVector) & ~kMechImage;
    } else {
        flags &= ~kMechVector;
    }
    if (has("library")) {
        flags = (flags | kMechLibrary) & ~(kMechFrame | kMechInvisible);
    } else {
        flags &= ~kMechLibrary;
    }
    if (has("invisible")) {
        flags = (flags | kMechInvisible) & ~(kMechFrame | kMechLibrary);
    } else {
        flags &= ~kMechInvisible;
    }
    if (has("frame")) {
        flags = (flags | kMechFrame) & ~(kMechInvisible | kMechLibrary);
    } else {
        flags &= ~kMechFrame;
    }
    // Only a "preview" standing alone counts: "previewList" alone is no preview.
    flags &= ~kMechPreview;
    if (const size_t at = findFold(value, "preview"); at != std::string_view::npos) {
        const size_t next = at + 7;
        if (next >= value.size() || value[next] == ' ' || value[next] == ',') flags |= kMechPreview;
    }
    static constexpr struct {
        std::string_view word;
        uint32_t bit;
    } kSimple[] = {{"pagelist", kMechPageList},
                   {"previewlist", kMechPreviewList},
                   {"previewsupported", kMechPreviewSupported},
                   {"debug", kMechDebug},
                   {"nativesize", kMechNativeSize}};
    for (const auto& entry : kSimple) {
        if (has(entry.word)) {
            flags |= entry.bit;
        } else {
            flags &= ~entry.bit;
        }
    }
    return flags;
}

uint32_t mergeMechanics(uint32_t settingsFlags, uint32_t interfaceFlags) {
    constexpr uint32_t kContent = kMechImage | kMechVector;
    constexpr uint32_t kPlacing = kMechFrame | kMechInvisible | kMechLibrary;
    uint32_t flags = settingsFlags | interfaceFlags;
    if (interfaceFlags & kContent) flags = (flags & ~kContent) | (interfaceFlags & kContent);
    if (interfaceFlags & kPlacing) flags = (flags & ~kPlacing) | (interfaceFlags & kPlacing);
    if (!(interfaceFlags & kMechPreviewSupported)) flags &= ~kMechPreviewSupported;
    return flags;
}

uint32_t normalizeMechanics(uint32_t flags, bool hasInterfaceSource) {
    constexpr uint32_t kContent = kMechImage | kMechVector;
    constexpr uint32_t kPlacing = kMechFrame | kMechInvisible | kMechLibrary;
    if (!(flags & kMechPreviewSupported)) {
        flags &= ~(kMechPreview | kMechPreviewList);
    } else if (!(flags & kMechPreview)) {
        flags &= ~kMechPreviewList;
    }
    if (!(flags & kContent)) {
        flags |= kMechVector;
    } else if ((flags & kContent) == kContent) {
        flags &= ~kMechImage;
    }
    if (!(flags & kPlacing)) {
        flags |= hasInterfaceSource ? kMechLibrary : kMechFrame;
    } else if ((flags & kPlacing) == kPlacing) {
        flags = (flags & ~kPlacing) | kMechFrame;
    }
    return flags;
}

int readInstallPaths(std::string* basePath, std::string* spoolPath) {
    const int base = readInstallPath("BasePath", basePath);
    const int spool = readInstallPath("SpoolPath", spoolPath);
    return base && spool ? 1 : 0;
}

int userSpoolDirectory(std::string_view spoolPath, std::string_view userName, std::string* out) {
    out->clear();
    if (userName.empty() || userName == "." || userName == ".." || userName.size() > kMaxSpoolUserName) return 0;
    for (const char c : userName) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F || c == '/' || c == '\\') return 0;
    }
    std::string directory(spoolPath);
    backslashesToSlashes(directory);
    appendSeparator(directory);
    directory.append(userName);
    directory.push_back('/');
    *out = std::move(directory);
    return 1;
}

int readSpoolDirectory(std::string_view userName, std::string* spool, bool* perUser) {
    std::string root;
    const int read = readInstallPath("SpoolPath", &root);
    uint32_t mode = 0;
    const bool own = registryReadDword("SpoolPerUser", &mode) == kRegistryOk && mode == 1;
    if (perUser) *perUser = own;
    if (!own) {
        *spool = std::move(root);
        return read;
    }
    return userSpoolDirectory(root, userName, spool) && read ? 1 : 0;
}

JobSettings::JobSettings() : JobSettingsBlock{} { sourceId = -1; }

void JobSettings::setBaseDirectory(std::string_view dir) {
    baseDirectory_ = dir;
    backslashesToSlashes(baseDirectory_);
    if (!baseDirectory_.empty()) appendSeparator(baseDirectory_);
    interfaceSettings.directory = baseDirectory_ + "interface/";
}

int JobSettings::reset() {
    errorText.clear();
    setSource(u"");
    outputFlags = 0;
    setOutputLocation(u"");
    sourceId = -1;

    mechanics = registryDword("MSEncodeFlags", 262) & kRegistryMechanicsMask;
    imageSize = int32_t(registryDword("MSImageSize", uint32_t(-50)));
    imageZlib = int32_t(registryDword("MSImageEncodeZLIB", 1));
    imageJpegQuality = int32_t(registryDword("MSImageEncodeJPEGQuality", 75));
    previewSmoothing = registryDword("MSPreviewImageSmooth", 25);
    previewMonochrome = int32_t(registryDword("MSPreviewImageMonochrome", 0));
    previewZlib = int32_t(registryDword("MSPreviewImageEncodeZLIB", 1));
    previewJpegQuality = int32_t(registryDword("MSPreviewImageEncodeJPEGQuality", 80));
    registryText("MSName", name, sizeof name, "");
    registryText("MSLayoutName", layoutName, sizeof layoutName, "Medium border");
    registryText("MSInterfaceName", interfaceName, sizeof interfaceName, "");
    char previewSize[64] = {};
    float size = 16.0f;
    if (registryReadString("MSPreviewImageSize", previewSize, sizeof previewSize) == kRegistryOk) {
        replaceChar(previewSize, ',', '.');
        if (!parseFloat(previewSize, &size)) size = 16.0f;
    }
    previewImageSize = size;

    interfaceSettings.clear();
    if (interfaceName[0] && !interfaceSettings.load(interfaceNameText())) {
        errorText = interfaceSettings.errorText;
        return 0;
    }
    return 1;
}

int JobSettings::loadSettings(std::string_view path) {
    (void)reset();  // always succeeds
    // An interface named by the registry that fails to load leaves none; the
    // job's own settings decide what the conversion uses.
    errorText.clear();
    std::string full(path);
    backslashesToSlashes(full);
    if (!isAbsolutePath(full)) full = baseDirectory_ + full;
    if (!pathExists(full)) return 1;
    MmlReader reader;
    if (!reader.loadFile(full.c_str())) {
        errorText = kSettingsCorrupted;
        return 0;
    }
    return readSettingsText(std::string_view(reader.document(), reader.length()));
}

int JobSettings::readSettingsText(std::string_view text) {
    MmlReader reader;
    if (!reader.loadText(text)) {
        errorText = kSettingsCorrupted;
        return 0;
    }
    while (reader.nextElement()) {
        const char* tag = reader.currentName();
        if (equalNoCase(tag, "Param")) {
            applyParam(reader);
        } else if (equalNoCase(tag, "Interface")) {
            interfaceSettings.clear();
            if (!interfaceSettings.readElement(reader)) {
                errorText = kSettingsCorrupted;
                return 0;
            }
        }
    }
    return 1;
}

void JobSettings::applyParam(MmlReader& reader) {
    const char* rawName = reader.attributeTrimmed("name");
    if (!rawName) return;
    const std::string paramName(rawName, strnlen(rawName, 127));
    const char* rawValue = reader.attributeTrimmed("value");
    const std::string value = rawValue ? rawValue : "";
    const auto is = [&](const char* candidate) { return equalNoCase(paramName.c_str(), candidate); };
    const auto wideValue = [&]() -> std::u16string {
        const char16_t* wide = reader.attributeWide("value");
        return wide ? std::u16string(trimWide(wide)) : std::u16string();
    };

    if (is("_mechanics")) {
        mechanics = applyMechanicsKeywords(value, mechanics);
    } else if (is("_source")) {
        setSource(wideValue());
    } else if (is("_sourceId")) {
        int32_t id = 0;
        if (parseInt(value, &id)) sourceId = id;
    } else if (is("_outputFlags")) {
        applyOutputFlags(value, &outputFlags);
    } else if (is("_outputLocation")) {
        setOutputLocation(wideValue());
    } else if (is("layout")) {
        setLayoutName(value);
    } else if (is("imagesize")) {
        int32_t size = 0;
        if (parseInt(value, &size)) imageSize = size;
    } else if (is("imageencodeflags")) {
        applyEncodeFlags(value, &imageJpegQuality, &imageZlib);
    } else if (is("previewimagesize")) {
        float size = 0;
        if (parseFloat(value, &size)) previewImageSize = size;
    } else if (is("previewimageencodeflags")) {
        applyEncodeFlags(value, &previewJpegQuality, &previewZlib);
    } else if (is("previewimagefx")) {
        applyPreviewFx(value, this);
    }
}

int JobSettings::loadInterface(std::string_view wanted) {
    const int result = interfaceSettings.load(wanted);
    if (!result) errorText = interfaceSettings.errorText;
    return result;
}

int JobSettings::loadDefaultInterface(std::string_view wanted) {
    const int result = interfaceSettings.loadDefault(wanted);
    if (!result) errorText = interfaceSettings.errorText;
    return result;
}

bool JobSettings::hasDefaultInterface(std::string_view wanted) const {
    return interfaceSettings.hasDefault(wanted);
}

void JobSettings::mergeInterfaceMechanics() {
    mechanics = mergeMechanics(mechanics, interfaceSettings.mechanics);
    setInterfaceName(interfaceSettings.name);
}

void JobSettings::normalizeMechanics() {
    mechanics = tessaly::normalizeMechanics(mechanics, interfaceSettings.hasSource());
}

int JobSettings::pageLayout(std::string_view layout, std::string& out) {
    out.clear();
    MmlReader reader;
    const std::string path = baseDirectory_ + "Tessaly.settings";
    const std::string wanted(layout);
    const char* inner = nullptr;
    if (wanted.find('\0') == std::string::npos && reader.loadFile(path.c_str()) &&
        reader.nextElement("PageLayout", "name", wanted.c_str(), false)) {
        inner = reader.innerText();
    }
    if (!inner) {
        errorText = kGlobalSettingsCorrupted;
        return 0;
    }
    out = inner;
    return 1;
}

std::string_view JobSettings::nameText() const { return fixedText(name); }
std::string_view JobSettings::layoutNameText() const { return fixedText(layoutName); }
std::string_view JobSettings::interfaceNameText() const { return fixedText(interfaceName); }
std::u16string_view JobSettings::sourceText() const { return fixedText(source); }
std::u16string_view JobSettings::outputLocationText() const { return fixedText(outputLocation); }
void JobSettings::setName(std::string_view text) { setFixed(name, text); }
void JobSettings::setLayoutName(std::string_view text) { setFixed(layoutName, text); }
void JobSettings::setInterfaceName(std::string_view text) { setFixed(interfaceName, text); }
void JobSettings::setSource(std::u16string_view text) { setFixed(source, text); }
void JobSettings::setOutputLocation(std::u16string_view text) { setFixed(outputLocation, text); }

}  // namespace tessaly
