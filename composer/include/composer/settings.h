#pragma once
// The settings of one conversion (JobSettings) and of one viewer interface
// (InterfaceSettings): registry defaults, the job's media.settings, the
// .interface files and the page layouts of the global settings file.
//
// JobSettings starts with JobSettingsBlock, a fixed 2624-byte little-endian
// block that the driver also carries in the printer's private device data;
// its layout must never change. The interface record, the base directory and
// the error text follow it in memory only.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace tessaly {

class MmlReader;

// Mechanics flags: how pages are rendered into the movie.
inline constexpr uint32_t kMechImage = 0x001;             // pages as page images
inline constexpr uint32_t kMechVector = 0x002;            // pages as vector content
inline constexpr uint32_t kMechPreview = 0x004;           // a preview clip per page
inline constexpr uint32_t kMechFrame = 0x008;             // each page on a frame of its own
inline constexpr uint32_t kMechInvisible = 0x010;         // page clips placed with alpha 0
inline constexpr uint32_t kMechLibrary = 0x020;           // page clips exported, not placed
inline constexpr uint32_t kMechPageList = 0x040;          // a page-list clip
inline constexpr uint32_t kMechPreviewList = 0x080;       // a preview-list clip
inline constexpr uint32_t kMechPreviewSupported = 0x100;  // the interface shows previews
inline constexpr uint32_t kMechDebug = 0x200;             // the SWF writer's debug flag
inline constexpr uint32_t kMechNativeSize = 0x400;        // stage keeps the document size
inline constexpr uint32_t kMechAll = 0x7FF;
// The bits the registry value MSEncodeFlags may contribute.
inline constexpr uint32_t kRegistryMechanicsMask = 0x107;

// Output flags (automatic printing).
inline constexpr uint32_t kOutputFile = 0x001;
inline constexpr uint32_t kOutputFlash = 0x100;
inline constexpr uint32_t kOutputFlashHtml = 0x200;

// Interface parameter types.
inline constexpr int kParamString = 1;
inline constexpr int kParamNumber = 2;
inline constexpr int kParamHidden = 0x80;

// Error texts.
inline constexpr const char* kSettingsCorrupted =
    "The settings file is corrupted. Please check for sufficient free disk space and try again";
inline constexpr const char* kInterfaceFileCorrupted =
    "The interface settings file is corrupted. Please check for sufficient free disk space and "
    "try again";
inline constexpr const char* kDefaultInterfaceMissing =
    "The default interface settings file was not found";
inline constexpr const char* kDefaultInterfaceCorrupted =
    "The default interface settings file is corrupted. Please check for sufficient free disk "
    "space and try again";
inline constexpr const char* kInterfaceSourceMissing = "The interface source doesn't exist";
inline constexpr const char* kInterfaceSettingsCorrupted = "The interface settings are corrupted";
inline constexpr const char* kGlobalSettingsCorrupted = "The global settings file is corrupted(2)";

// The named mutex that serialises access to .interface files between the
// application and the driver.
inline constexpr const char* kInterfaceSettingsMutex = "_tessaly_interfacesettingsmutex";

// The fixed settings block (2624 bytes, little-endian, offsets checked below).
struct JobSettingsBlock {
    char name[128];                // narrow, NUL-terminated
    uint32_t mechanics;            // kMech* bits
    char layoutName[128];          // selects a page layout
    int32_t imageSize;             // 1..100: percent of the displayed size, else own size
    int32_t imageZlib;             // 0 or 1
    int32_t imageJpegQuality;      // above 0: JPEG with this quality
    float previewImageSize;        // percent of the page size
    uint32_t previewSmoothing;     // 0 = none
    int32_t previewMonochrome;     // -1 gray, 0 colour, >0 black-and-white threshold
    int32_t previewZlib;           // 0 or 1
    int32_t previewJpegQuality;    // at least 1: JPEG with this quality
    char interfaceName[260];       // narrow
    char16_t source[260];          // UTF-16: the printed document's name
    int32_t sourceId;              // -1 = none
    uint32_t outputFlags;          // kOutput* bits
    char16_t outputLocation[260];  // UTF-16
    uint8_t reserved[1024];
};

static_assert(std::endian::native == std::endian::little, "the settings block is little-endian");
static_assert(std::is_standard_layout_v<JobSettingsBlock>);
static_assert(std::is_trivially_copyable_v<JobSettingsBlock>);
static_assert(sizeof(JobSettingsBlock) == 2624);
static_assert(offsetof(JobSettingsBlock, name) == 0);
static_assert(offsetof(JobSettingsBlock, mechanics) == 128);
static_assert(offsetof(JobSettingsBlock, layoutName) == 132);
static_assert(offsetof(JobSettingsBlock, imageSize) == 260);
static_assert(offsetof(JobSettingsBlock, imageZlib) == 264);
static_assert(offsetof(JobSettingsBlock, imageJpegQuality) == 268);
static_assert(offsetof(JobSettingsBlock, previewImageSize) == 272);
static_assert(offsetof(JobSettingsBlock, previewSmoothing) == 276);
static_assert(offsetof(JobSettingsBlock, previewMonochrome) == 280);
static_assert(offsetof(JobSettingsBlock, previewZlib) == 284);
static_assert(offsetof(JobSettingsBlock, previewJpegQuality) == 288);
static_assert(offsetof(JobSettingsBlock, interfaceName) == 292);
static_assert(offsetof(JobSettingsBlock, source) == 552);
static_assert(offsetof(JobSettingsBlock, sourceId) == 1072);
static_assert(offsetof(JobSettingsBlock, outputFlags) == 1076);
static_assert(offsetof(JobSettingsBlock, outputLocation) == 1080);
static_assert(offsetof(JobSettingsBlock, reserved) == 1600);

struct InterfaceParam {
    std::string name;
    std::string varName;  // the variable the movie receives (the name when not given)
    std::optional<std::string> value;
    int type = kParamString;  // kParamString or kParamNumber, plus kParamHidden
    std::optional<std::string> options;  // "a|b=text|c"
    std::optional<std::string> description;

    bool isNumber() const { return (type & 0x7F) == kParamNumber; }
    bool isHidden() const { return (type & kParamHidden) != 0; }
};

// The value of a parameter as the movie receives it: its value mapped through
// its options. 1 with the text in out; 0 when it cannot be determined.
[[nodiscard]] int effectiveParamValue(const InterfaceParam& param, std::string& out);
// Replaces the value when the text is acceptable (listed in the options, or a
// strict real for a number without options); 1 when it was, else 0. A
// parameter without a value keeps none.
[[nodiscard]] int setParamValue(InterfaceParam& param, std::string_view text);

struct InterfaceSettings {
    static constexpr size_t kMaxParams = 64;  // later parameters are ignored

    std::string directory;  // the base directory + "interface/"
    uint32_t mechanics = 0;
    std::vector<InterfaceParam> params;
    std::string name;
    std::string description;
    std::string source;  // path of the interface movie; empty = no interface
    std::string errorText;

    bool hasSource() const { return !source.empty(); }
    // Empties everything but the directory.
    void clear();

    // name + ".interface" in the directory, read under the interface settings
    // mutex. Empties the interface first; a missing file leaves it empty and
    // is no error. 1, or 0 with the error text.
    [[nodiscard]] int load(std::string_view interfaceName);
    // name + ".interface" in the "default/" subdirectory (no mutex). The
    // interface is replaced only when the file could be read.
    [[nodiscard]] int loadDefault(std::string_view interfaceName);
    bool hasDefault(std::string_view interfaceName) const;
    // Reads an Interface element from the reader's cursor (the current element
    // when it is one, else the next) and the Param elements after it up to an
    // /InterfaceSettings end tag or the end of the document. fileName, when
    // not empty, names the file read, whose base name stands in for a missing
    // name. 1, or 0 with the error text.
    [[nodiscard]] int readElement(MmlReader& reader, std::string_view fileName = {});

    [[nodiscard]] int setParamValue(size_t index, std::string_view text);
    int effectiveParamValue(size_t index, std::string& out) const;
};

// Keyword list of mechanics ("vector,frame,preview"): sets or clears each of
// the 11 bits in flags; other bits are kept.
uint32_t applyMechanicsKeywords(std::string_view value, uint32_t flags);
// The interface's flags merged into the settings' flags.
uint32_t mergeMechanics(uint32_t settingsFlags, uint32_t interfaceFlags);
// The flags made consistent (exactly one of image/vector, one of
// frame/invisible/library, previews only when supported).
uint32_t normalizeMechanics(uint32_t flags, bool hasInterfaceSource);

// BasePath and SpoolPath from the registry, with '/' separators and a
// trailing '/'; "c:/" for a missing value. 1 when both were read.
[[nodiscard]] int readInstallPaths(std::string* basePath, std::string* spoolPath);

// The longest user name that gets a spool directory of its own.
inline constexpr size_t kMaxSpoolUserName = 64;

// A user's own spool directory under the spool root: spoolPath (ending in
// '/') followed by the user name and '/'. 0, with *out emptied, for a name
// that is not one plain directory name: empty, "." or "..", longer than
// kMaxSpoolUserName, or holding a slash, a backslash or a control character.
[[nodiscard]] int userSpoolDirectory(std::string_view spoolPath, std::string_view userName, std::string* out);

// The spool directory the user's jobs go to: SpoolPath, or the user's own
// directory under it when the DWORD SpoolPerUser is 1 (*perUser tells which).
// 1 when SpoolPath was read and, for a directory per user, the name is
// usable; 0 otherwise, with *spool emptied when the user's directory cannot be
// named (the shared root is never a stand-in for it).
[[nodiscard]] int readSpoolDirectory(std::string_view userName, std::string* spool, bool* perUser = nullptr);

class JobSettings : public JobSettingsBlock {
public:
    // Every field zero but the source id (-1, none); reset() applies the defaults.
    JobSettings();

    JobSettingsBlock& block() { return *this; }
    const JobSettingsBlock& block() const { return *this; }

    // Stores the base directory (a '/' is added when missing) and derives the
    // interface directory.
    void setBaseDirectory(std::string_view dir);
    const std::string& baseDirectory() const { return baseDirectory_; }

    // Registry values and defaults; then the interface named there. Clears
    // the error text; 0 (with the error text) only when that interface
    // failed to load.
    [[nodiscard]] int reset();
    // reset(), then the settings file (relative paths are taken from the base
    // directory). A missing file is no error. 1, or 0 with the error text.
    [[nodiscard]] int loadSettings(std::string_view path);
    // Reads settings markup held in memory (after reset() by the caller).
    [[nodiscard]] int readSettingsText(std::string_view text);

    [[nodiscard]] int loadInterface(std::string_view name);
    [[nodiscard]] int loadDefaultInterface(std::string_view name);
    bool hasDefaultInterface(std::string_view name) const;

    void mergeInterfaceMechanics();
    void normalizeMechanics();

    // The inner markup of the named PageLayout of "Tessaly.settings" in the
    // base directory (names compared exactly). 1, or 0 with the error text.
    [[nodiscard]] int pageLayout(std::string_view layoutName, std::string& out);

    [[nodiscard]] int setParamValue(size_t index, std::string_view text) {
        return interfaceSettings.setParamValue(index, text);
    }
    int effectiveParamValue(size_t index, std::string& out) const {
        return interfaceSettings.effectiveParamValue(index, out);
    }

    // Text helpers for the fixed fields.
    std::string_view nameText() const;
    std::string_view layoutNameText() const;
    std::string_view interfaceNameText() const;
    std::u16string_view sourceText() const;
    std::u16string_view outputLocationText() const;
    void setName(std::string_view text);
    void setLayoutName(std::string_view text);
    void setInterfaceName(std::string_view text);
    void setSource(std::u16string_view text);
    void setOutputLocation(std::u16string_view text);

    InterfaceSettings interfaceSettings;
    std::string errorText;

private:
    // Applies one settings-level Param element.
    void applyParam(MmlReader& reader);

    std::string baseDirectory_;
};

// The settings markup as the driver writes it for media.settings.
std::string writeSettings(const JobSettings& settings);

}  // namespace tessaly
