#include "app/customize.h"

#include <filesystem>
#include <system_error>

#include "app/html_writer.h"
#include "support/files.h"
#include "support/paths.h"

#ifndef TESSALY_VERSION_TEXT
#define TESSALY_VERSION_TEXT "0.1"
#endif

namespace tessaly::app {

namespace {

constexpr std::string_view kTemplateNotFoundText = "The HTML Template File was not found";
// A template is a page: anything larger is no template.
constexpr uint64_t kMaxTemplateBytes = 16u << 20;

bool inRange(int index, size_t count) {
    return index >= 0 && static_cast<size_t>(index) < count;
}

// Slashes one way, letters in lower case, no doubled separators.
std::string foldedFolder(std::string_view path) {
    std::string folded(path);
    normaliseSeparators(folded);
    for (char& c : folded)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return folded;
}

std::string templateFolder(std::string_view baseDirectory) {
    std::string folder(baseDirectory);
    if (!folder.empty()) appendSeparator(folder);
    folder += kHtmlTemplateFolder;
    return folder;
}

}  // namespace

CustomizeChoices customizeChoices(const Preferences& preferences) {
    CustomizeChoices c;
    c.htmlTemplate = preferences.htmlTemplate;
    c.flashPopup = preferences.showFlashPopup ? 1 : 0;
    c.flashAlign = preferences.flashAlign;
    c.startMode = 3 - preferences.startMode;
    c.encodingPriority = -preferences.encodingPriority;
    c.promptOnClose = preferences.closeSave;
    return c;
}

void applyCustomizeChoices(const CustomizeChoices& c, Preferences& preferences) {
    preferences.htmlTemplate = c.htmlTemplate;
    if (inRange(c.flashPopup, kFlashPopupChoices.size())) preferences.showFlashPopup = c.flashPopup == 1;
    if (inRange(c.flashAlign, kFlashAlignChoices.size())) preferences.flashAlign = c.flashAlign;
    if (inRange(c.startMode, kStartModeChoices.size())) preferences.startMode = 3 - c.startMode;
    if (inRange(c.encodingPriority, kEncodingPriorityChoices.size()))
        preferences.encodingPriority = -c.encodingPriority;
    if (inRange(c.promptOnClose, kPromptOnCloseChoices.size())) preferences.closeSave = c.promptOnClose;
}

std::string templateValueForFile(std::string_view baseDirectory, std::string_view chosenPath) {
    const std::optional<std::string> folder = directoryPart(chosenPath);
    const std::string name(fileNamePart(chosenPath));
    if (!folder || name.empty()) return std::string(chosenPath);
    const std::string wanted = templateFolder(baseDirectory);
    std::string chosenFolder = *folder, wantedFolder = wanted;
    normaliseSeparators(chosenFolder);
    normaliseSeparators(wantedFolder);
    if (chosenFolder == wantedFolder) return name;
    if (foldedFolder(chosenFolder) != foldedFolder(wantedFolder)) return std::string(chosenPath);
    // The names differ in case only: on a file system that tells cases apart
    // that may be another folder, and the bare name would find another file
    // (or none) later.
    std::error_code ec;
    if (std::filesystem::equivalent(std::filesystem::path(wanted + name), std::filesystem::path(chosenPath), ec) && !ec)
        return name;
    return std::string(chosenPath);
}

std::string templateChooserFolder(std::string_view baseDirectory, std::string_view currentValue) {
    if (!currentValue.empty())
        if (std::optional<std::string> folder = directoryPart(htmlTemplatePath(baseDirectory, currentValue)))
            return *folder;
    return templateFolder(baseDirectory);
}

TemplateCheck checkHtmlTemplate(std::string_view baseDirectory, std::string_view value) {
    if (value.empty()) return TemplateCheck::notFound;
    const std::string path = htmlTemplatePath(baseDirectory, value);
    std::error_code ec;
    if (!std::filesystem::is_regular_file(std::filesystem::path(path), ec)) return TemplateCheck::notFound;
    SizedBlock text;
    FileReadFailure why = FileReadFailure::none;
    if (!readWholeFile(path, text, kMaxTemplateBytes, &why))
        return why == FileReadFailure::cannotOpen ? TemplateCheck::notFound : TemplateCheck::invalid;
    const std::string_view body(reinterpret_cast<const char*>(text.data.get()), text.length);
    return isHtmlTemplate(body) ? TemplateCheck::ok : TemplateCheck::invalid;
}

std::optional<std::string> acceptChosenTemplate(UserInterface& ui, std::string_view baseDirectory,
                                                std::string_view chosenPath) {
    // The chooser hands over a full path: it is checked as it is.
    if (checkHtmlTemplate({}, chosenPath) != TemplateCheck::ok) {
        showMessage(ui, kInvalidTemplateText, kInvalidTemplateTitle, MessageIcon::warning);
        return std::nullopt;
    }
    return templateValueForFile(baseDirectory, chosenPath);
}

int confirmHtmlTemplate(UserInterface& ui, std::string_view baseDirectory, std::string_view value) {
    switch (checkHtmlTemplate(baseDirectory, value)) {
        case TemplateCheck::ok:
            return 1;
        case TemplateCheck::notFound:
            showMessage(ui, kTemplateNotFoundText, kTemplateNotFoundTitle);
            return 0;
        case TemplateCheck::invalid:
            showMessage(ui, kInvalidTemplateText, kInvalidTemplateTitle, MessageIcon::warning);
            return 0;
    }
    return 0;
}

std::string aboutText() {
    return std::string("Tessaly ") + TESSALY_VERSION_TEXT +
           "\n\nA virtual printer: whatever is printed to it becomes a Flash movie, shown here, saved as an SWF "
           "file or as a web page.";
}

}  // namespace tessaly::app
