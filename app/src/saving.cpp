#include "app/saving.h"

#include "app/job_monitor.h"
#include "app/preferences.h"
#include "platform/registry.h"
#include "support/paths.h"
#include "support/text.h"

namespace tessaly::app {

namespace {

constexpr std::string_view kSaveFlashFailedText =
    "Could not save the Flash movie, please check the permissions of the destination directory and if there is "
    "enough free space to save the Flash movie.";
constexpr std::string_view kErrorTitle = "Tessaly Error";

bool endsWithIgnoringCase(std::string_view text, std::string_view ending) {
    if (text.size() < ending.size()) return false;
    const std::string_view tail = text.substr(text.size() - ending.size());
    for (size_t i = 0; i < ending.size(); ++i) {
        const char a = tail[i] >= 'A' && tail[i] <= 'Z' ? char(tail[i] - 'A' + 'a') : tail[i];
        if (a != ending[i]) return false;
    }
    return true;
}

void remember(SaveContext& context, ValueStore* store, const std::string& path) {
    context.preferences.lastSaveFilename = path;
    if (store) storeLastSaveFilename(*store, path);
}

}  // namespace

std::string flashFileName(std::string_view chosen) {
    std::string name(chosen);
    if (!endsWithIgnoringCase(name, ".swf")) name += ".swf";
    return name;
}

std::string initialSaveFolder(const SavePreferences& preferences, std::string_view baseDirectory) {
    if (preferences.lastSaveFilename && !preferences.lastSaveFilename->empty()) {
        const std::string& last = *preferences.lastSaveFilename;
        const size_t slash = last.find_last_of('/');
        if (slash != std::string::npos) return last.substr(0, slash + 1);
    }
    return std::string(baseDirectory);
}

int saveFlash(SaveContext& context, ValueStore* store) {
    const std::optional<std::string> chosen = context.ui.saveFileName(
        kSaveFlashTitle, initialSaveFolder(context.preferences, context.baseDirectory), kSaveFlashFilter);
    if (!chosen || chosen->empty()) return 0;
    const std::string path = flashFileName(*chosen);
    remember(context, store, path);
    if (!replaceWithCopy(context.movie.moviePath, path)) {
        showMessage(context.ui, kSaveFlashFailedText, kErrorTitle, MessageIcon::warning);
        return 0;
    }
    return 1;
}

int saveHtml(SaveContext& context, std::optional<std::string_view> templateName, ValueStore* store) {
    const std::optional<std::string> chosen = context.ui.saveFileName(
        kSaveHtmlTitle, initialSaveFolder(context.preferences, context.baseDirectory), kSaveHtmlFilter);
    if (!chosen || chosen->empty()) return 0;
    const std::optional<std::string> before = context.preferences.lastSaveFilename;
    const int written = writeHtml(context, *chosen, std::nullopt, templateName);
    // The writer remembers the page once it got as far as copying the movie.
    if (store && context.preferences.lastSaveFilename && context.preferences.lastSaveFilename != before)
        storeLastSaveFilename(*store, *context.preferences.lastSaveFilename);
    return written;
}

int saveMonitorMovie(JobMonitor& monitor, UserInterface& ui, SavePreferences& preferences, bool html,
                     ValueStore* store) {
    if (!monitor.hasMovie()) return 0;
    SaveContext context{ui, monitor.config().baseDirectory, monitor.movie(), preferences};
    const int saved = html ? saveHtml(context, std::nullopt, store) : saveFlash(context, store);
    if (saved) monitor.setSaved(true);
    return saved;
}

}  // namespace tessaly::app
