#include "app/html_writer.h"

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#endif

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <random>
#include <span>
#include <system_error>

#include "composer/variable_table.h"
#include "support/atomic_file.h"
#include "support/byte_buffer.h"
#include "support/files.h"
#include "support/memory.h"
#include "support/paths.h"

namespace fs = std::filesystem;

namespace tessaly::app {

namespace {

constexpr std::string_view kTemplateNotFoundText = "The HTML Template File was not found.\n\nUnable to Save with HTML.";
constexpr std::string_view kOverwriteText =
    "A Flash file with the same name as the Flash file used on the HTML page already exists.\n"
    "Are you sure you want to overwrite this Flash file?";
constexpr std::string_view kOverwriteTitle = "Overwrite Existing Flash File?";
constexpr std::string_view kOutOfMemoryText = "Could not allocate enough memory to save HTML file.";
constexpr std::string_view kSaveFlashFailedText =
    "Could not save the Flash movie, please check the permissions of the destination directory and if there is "
    "enough free space to save the Flash movie.";
constexpr std::string_view kSaveHtmlFailedText =
    "Could not save the HTML file, please check the permissions of the destination directory and if there is "
    "enough free space to save the file.";
constexpr std::string_view kErrorTitle = "Tessaly Error";

// Templates are small pages; anything larger is not one.
constexpr uint64_t kMaxTemplateBytes = 16u << 20;

bool equalIgnoringCase(char a, char b) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    return lower(a) == lower(b);
}

// The last occurrence of needle in text, ignoring ASCII case.
size_t findLastIgnoringCase(std::string_view text, std::string_view needle) {
    if (needle.size() > text.size()) return std::string_view::npos;
    for (size_t at = text.size() - needle.size() + 1; at-- > 0;) {
        if (std::equal(needle.begin(), needle.end(), text.begin() + ptrdiff_t(at), equalIgnoringCase)) return at;
    }
    return std::string_view::npos;
}

// Decimal of a size rounded down; what cannot be a size counts as 0.
std::string wholeNumber(double value) {
    if (!(value >= 0)) return "0";
    return std::to_string(static_cast<unsigned long long>(std::floor(std::min(value, 1e18))));
}

// "%f" without the locale's decimal comma.
std::string fixedSix(double value) {
    std::array<char, 400> text{};
    const auto result = std::to_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed, 6);
    return result.ec == std::errc() ? std::string(text.data(), result.ptr) : std::string("0.000000");
}

std::string hexColour(uint32_t colour) {
    char text[16];
    std::snprintf(text, sizeof text, "#%.06x", unsigned(colour & 0xFFFFFF));
    return text;
}

void showOutOfMemory(UserInterface& ui, int row) {
    const std::string title = "Out of Memory(" + std::to_string(row) + ")";
    showMessage(ui, kOutOfMemoryText, title);
}

}  // namespace

HtmlFileNames htmlFileNames(std::string_view chosenPath) {
    HtmlFileNames names;
    const std::string_view fileName = fileNamePart(chosenPath);
    names.htmlPath = std::string(chosenPath);
    // ".htm" and ".html" stay; anything else gets ".htm" after it.
    const size_t htm = findLastIgnoringCase(fileName, ".htm");
    if (htm == std::string_view::npos || fileName.size() - (htm + 4) >= 2) names.htmlPath += ".htm";
    names.baseName = std::string(fileName.substr(0, std::min(fileName.rfind('.'), fileName.size())));
    names.swfPath = directoryPart(chosenPath).value_or(std::string()) + names.baseName + ".swf";
    return names;
}

std::string htmlTemplatePath(std::string_view baseDirectory, std::string_view name) {
    if (isAbsolutePath(name)) return std::string(name);
    std::string path(baseDirectory);
    if (!path.empty()) appendSeparator(path);
    path += kHtmlTemplateFolder;
    path += name;
    return path;
}

bool isHtmlTemplate(std::string_view text) {
    return findLastIgnoringCase(text, "{FlashMovie}") != std::string_view::npos;
}

int setHtmlVariables(VariableTable& table, std::string_view flashMovie, const MovieFacts& movie,
                     const SavePreferences& preferences, int* failedRow) {
    const std::string values[] = {
        std::string(flashMovie),
        wholeNumber(movie.docWidth),
        wholeNumber(movie.docHeight),
        fixedSix(movie.docWidth / movie.docHeight),
        fixedSix(movie.docHeight / movie.docWidth),
        hexColour(movie.backgroundColor),
        std::to_string(movie.version),
    };
    const std::string_view names[] = {"FlashMovie",          "DocWidth",        "DocHeight",   "DocWidthHeightRatio",
                                      "DocHeightWidthRatio", "BackgroundColor", "FlashVersion"};
    for (size_t row = 0; row < std::size(values); ++row) {
        if (!table.set(names[row], values[row])) {
            if (failedRow) *failedRow = int(row + 1);
            return 0;
        }
    }
    // The last two are short constants; a failure leaves them undefined.
    (void)table.set("FlashPopup", preferences.showFlashPopup ? "true" : "false");
    const int align = preferences.flashAlign;
    (void)table.set("FlashSAlign", align == kFlashAlignCentre ? "" : align == kFlashAlignBottom ? "B" : "T");
    return 1;
}

int makeHtmlPage(std::string_view templateText, std::string_view flashMovie, const MovieFacts& movie,
                 const SavePreferences& preferences, std::string& page, int* failedRow) {
    VariableTable table;
    if (!setHtmlVariables(table, flashMovie, movie, preferences, failedRow)) return 0;
    ByteBuffer text(uint32_t(std::min<size_t>(templateText.size() + 1024, 1u << 20)), 64 * 1024, 1.5f);
    if (templateText.size() >= UINT32_MAX / 2 || !table.expand(templateText, text, false)) {
        if (failedRow) *failedRow = 8;
        return 0;
    }
    page.assign(reinterpret_cast<const char*>(text.data()), text.position());
    return 1;
}

namespace {

#ifdef _WIN32
std::wstring systemPath(const std::string& path) {
    const std::u16string wide = pathFromUtf8(path);
    return std::wstring(wide.begin(), wide.end());
}
#endif

// Creates a file that did not exist, for writing.
FileHandle createNewFile(const std::string& path) {
#ifdef _WIN32
    // The run-time's fopen has no "x": the exclusive creation is asked of open.
    const int fd = ::_wopen(systemPath(path).c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                            _S_IREAD | _S_IWRITE);
    if (fd < 0) return nullptr;
    FileHandle file(::_fdopen(fd, "wb"));
    if (!file) ::_close(fd);
    return file;
#else
    return openFile(path, "wbx");
#endif
}

// Renames the file over the target, replacing it.
bool renameOver(const std::string& from, const std::string& to) {
#ifdef _WIN32
    // The library's rename refuses an existing target there.
    return ::MoveFileExW(systemPath(from).c_str(), systemPath(to).c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
#else
    std::error_code ec;
    fs::rename(from, to, ec);
    return !ec;
#endif
}

// Whether both name one existing file.
bool sameFile(const std::string& a, const std::string& b) {
#ifdef _WIN32
    // The run-time has no file numbers: the volume and the file index say it.
    auto identity = [](const std::string& path, BY_HANDLE_FILE_INFORMATION* info) {
        HANDLE file = ::CreateFileW(systemPath(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (file == INVALID_HANDLE_VALUE) return false;
        const bool got = ::GetFileInformationByHandle(file, info) != 0;
        ::CloseHandle(file);
        return got;
    };
    BY_HANDLE_FILE_INFORMATION first{}, second{};
    return identity(a, &first) && identity(b, &second) &&
           first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
           first.nFileIndexHigh == second.nFileIndexHigh && first.nFileIndexLow == second.nFileIndexLow;
#else
    std::error_code ec;
    return fs::equivalent(a, b, ec) && !ec;
#endif
}

}  // namespace

int replaceWithCopy(const std::string& from, const std::string& to) {
    std::error_code ec;
    if (sameFile(from, to)) return 1;
    FileHandle source = openFile(from, "rb");
    if (!source) return 0;
    // A fresh file beside the target, renamed over it once complete.
    std::random_device random;
    std::string temporary;
    FileHandle target;
    for (int attempt = 0; attempt < 16 && !target; ++attempt) {
        char suffix[32];
        std::snprintf(suffix, sizeof suffix, ".%08x.part", unsigned(random()));
        temporary = to + suffix;
        target = createNewFile(temporary);
    }
    if (!target) return 0;
    std::array<char, 1 << 16> chunk{};
    bool ok = true;
    for (;;) {
        const int64_t got = readUpTo(source.get(), chunk.data(), chunk.size());
        if (got < 0) ok = false;
        if (got <= 0) break;
        if (writeAll(target.get(), chunk.data(), size_t(got)) != got) {
            ok = false;
            break;
        }
    }
    if (!closeFile(std::move(target))) ok = false;
    if (ok) ok = renameOver(temporary, to);
    if (!ok) fs::remove(temporary, ec);
    return ok ? 1 : 0;
}

int writeHtml(SaveContext& context, std::string_view htmlPath, std::optional<std::string_view> viewMoviePath,
              std::optional<std::string_view> templateName) {
    UserInterface& ui = context.ui;
    const bool saving = !viewMoviePath;

    // The template: it must be there, and be one.
    const std::string templatePath =
        htmlTemplatePath(context.baseDirectory, templateName ? *templateName : context.preferences.htmlTemplate);
    SizedBlock templateFile;
    FileReadFailure why = FileReadFailure::none;
    if (!readWholeFile(templatePath, templateFile, kMaxTemplateBytes, &why)) {
        if (why == FileReadFailure::tooLarge) {
            showMessage(ui, kInvalidTemplateText, kInvalidTemplateTitle, MessageIcon::warning);
        } else {
            showMessage(ui, kTemplateNotFoundText, kTemplateNotFoundTitle);
        }
        return 0;
    }
    const std::string_view templateText(reinterpret_cast<const char*>(templateFile.data.get()), templateFile.length);
    if (!isHtmlTemplate(templateText)) {
        showMessage(ui, kInvalidTemplateText, kInvalidTemplateTitle, MessageIcon::warning);
        return 0;
    }

    // The page and the movie it plays.
    const HtmlFileNames names = htmlFileNames(htmlPath);
    const std::string swfPath = saving ? names.swfPath : std::string(*viewMoviePath);
    const std::string flashMovie(fileNamePart(swfPath));
    // A new page beside an SWF of its name would replace that SWF: ask first.
    // (Over an existing page the file dialog has asked already.)
    if (saving && !context.automatic && fileExists(swfPath) && !fileExists(names.htmlPath)) {
        if (!askYesNo(ui, kOverwriteText, kOverwriteTitle)) return 0;
    }

    std::string page;
    int failedRow = 0;
    if (!makeHtmlPage(templateText, flashMovie, context.movie, context.preferences, page, &failedRow)) {
        showOutOfMemory(ui, failedRow);
        return 0;
    }

    if (saving) {
        context.preferences.lastSaveFilename = names.htmlPath;
        if (!replaceWithCopy(context.movie.moviePath, swfPath)) {
            showMessage(ui, kSaveFlashFailedText, kErrorTitle, MessageIcon::warning);
            return 0;
        }
    }
    // The page without the terminating zero; a page that could not be
    // written is a failed save.
    const std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(page.data()), page.size());
    if (!writeFileAtomically(names.htmlPath, {bytes})) {
        showMessage(ui, kSaveHtmlFailedText, kErrorTitle, MessageIcon::warning);
        return 0;
    }
    return 1;
}

}  // namespace tessaly::app
