#include "app/browser_view.h"

#include <cstdio>

#include "app/job_monitor.h"

namespace tessaly::app {

std::string browserPagePath(std::string_view temporaryOutputPath) {
    if (temporaryOutputPath.empty()) return {};
    return std::string(temporaryOutputPath) + ".htm";
}

int viewInBrowser(JobMonitor& monitor, UserInterface& ui, SavePreferences& preferences,
                  std::optional<std::string_view> templateName, const Launcher& open, std::string* shownPage) {
    if (monitor.state() != MonitorState::Done || !monitor.hasMovie()) return 0;
    if (!shownPage->empty()) {
        (void)std::remove(shownPage->c_str());
        shownPage->clear();
    }
    const std::string page = browserPagePath(monitor.temporaryOutputPath());
    if (page.empty()) return 0;

    SaveContext context{ui, monitor.config().baseDirectory, monitor.movie(), preferences};
    const std::string& movie = monitor.movie().moviePath;
    if (!writeHtml(context, page, std::string_view(movie), templateName)) {
        showMessage(ui, kBrowserPageFailedText, kBrowserPageFailedTitle, MessageIcon::warning);
        (void)std::remove(page.c_str());
        return 0;
    }
    if (!open || !open(page)) {
        showMessage(ui, kBrowserOpenFailedText, kBrowserOpenFailedTitle, MessageIcon::warning);
        (void)std::remove(page.c_str());
        return 0;
    }
    *shownPage = page;
    return 1;
}

std::string_view helpPageName(HelpTopic topic) {
    switch (topic) {
        case HelpTopic::contents: return "index.htm";
        case HelpTopic::search: return "search.htm";
        case HelpTopic::printing: return "using-using.htm";
        case HelpTopic::settings: return "settings-where.htm";
        case HelpTopic::tips: return "tips.htm";
    }
    return "index.htm";
}

std::string helpPagePath(std::string_view baseDirectory, HelpTopic topic) {
    std::string path(baseDirectory);
    if (!path.empty() && path.back() != '/') path += '/';
    path += "Help/";
    path += helpPageName(topic);
    return path;
}

bool openHelp(std::string_view baseDirectory, HelpTopic topic, const Launcher& open) {
    return open && open(helpPagePath(baseDirectory, topic));
}

}  // namespace tessaly::app
