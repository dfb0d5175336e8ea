#include "main_window.h"

#include <commdlg.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdlib>

#include "app/customize.h"
#include "app/dropped_files.h"
#include "app/interface_options.h"
#include "app/player_page.h"
#include "app/skin.h"
#include "app/start_up.h"
#include "composer/settings.h"
#include "platform/printer_registry.h"
#include "platform/user_spool.h"
#include "resource.h"
#include "support/directories.h"
#include "support/paths.h"

namespace tessaly::app::win32 {

namespace {

constexpr UINT kPlayerFailedMessage = WM_APP + 2;
constexpr const char* kPlayerDownload = "https://www.adobe.com/products/flashplayer.html";

// The window's own movie commands: the buttons and these menu items.
constexpr int kMovieButtons[] = {IDC_SAVE, IDC_SAVE_HTML, IDC_INTERFACE, IDC_BROWSER};
constexpr int kMovieItems[] = {ID_FILE_SAVE, ID_FILE_SAVE_HTML, ID_INTERFACE_OPTIONS, ID_INTERFACE_ABOUT,
                               ID_FLASH_BROWSER, ID_FLASH_RELOAD};
// Positions of the menus and of the template submenus in them.
constexpr int kFileMenuPosition = 0, kFlashMenuPosition = 2;
constexpr int kSaveWithPosition = 2, kBrowserWithPosition = 1;

std::string toSlashes(std::string path) {
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

std::wstring toBackslashes(std::wstring path) {
    std::replace(path.begin(), path.end(), L'/', L'\\');
    return path;
}

bool sameIgnoringCase(std::string_view a, std::string_view b) {
    const std::wstring wa = wide(a), wb = wide(b);
    return ::CompareStringOrdinal(wa.c_str(), static_cast<int>(wa.size()), wb.c_str(), static_cast<int>(wb.size()),
                                  TRUE) == CSTR_EQUAL;
}

// "description|pattern|..." as the common dialogs take it: pairs of
// zero-terminated strings, ended by an empty one.
std::wstring dialogFilter(std::string_view filter) {
    std::wstring out = wide(filter);
    std::replace(out.begin(), out.end(), L'|', L'\0');
    out.push_back(L'\0');
    out.push_back(L'\0');
    return out;
}

bool openWithShell(const std::string& path) {
    const std::wstring file = toBackslashes(wide(path));
    const HINSTANCE result = ::ShellExecuteW(nullptr, L"open", file.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    return reinterpret_cast<INT_PTR>(result) > 32;
}

RECT childRect(HWND parent, int id) {
    RECT rect{};
    HWND child = ::GetDlgItem(parent, id);
    if (!child) return rect;
    ::GetWindowRect(child, &rect);
    ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

// Other visible Tessaly main windows, neither minimised nor maximised.
struct OtherWindows {
    HWND self;
    std::vector<WindowPoint> corners;
};

BOOL CALLBACK collectTessalyWindow(HWND window, LPARAM data) {
    auto* others = reinterpret_cast<OtherWindows*>(data);
    if (window == others->self || ::IsIconic(window) || ::IsZoomed(window)) return TRUE;
    wchar_t title[16];
    const int n = ::GetWindowTextW(window, title, 16);
    if (n != 7 || ::CompareStringOrdinal(title, n, L"Tessaly", 7, TRUE) != CSTR_EQUAL) return TRUE;
    RECT rect{};
    if (::GetWindowRect(window, &rect)) others->corners.push_back({rect.left, rect.top});
    return TRUE;
}

}  // namespace

std::wstring wide(std::string_view utf8) {
    if (utf8.empty()) return {};
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0) (void)::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
    return out;
}

std::string utf8(std::wstring_view text) {
    if (text.empty()) return {};
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                        nullptr);
    std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
    if (n > 0)
        (void)::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr,
                                    nullptr);
    return out;
}

std::string windowText(HWND window) {
    const int n = ::GetWindowTextLengthW(window);
    std::wstring text(static_cast<size_t>(n) + 1, L'\0');
    const int got = ::GetWindowTextW(window, text.data(), n + 1);
    text.resize(static_cast<size_t>(got > 0 ? got : 0));
    return utf8(text);
}

MessageAnswer showMessageBox(HWND owner, const Message& message) {
    UINT style = MB_SETFOREGROUND;
    switch (message.icon) {
        case MessageIcon::information: style |= MB_ICONINFORMATION; break;
        case MessageIcon::warning: style |= MB_ICONWARNING; break;
        case MessageIcon::error: style |= MB_ICONERROR; break;
        case MessageIcon::question: style |= MB_ICONQUESTION; break;
        case MessageIcon::plain: break;
    }
    switch (message.buttons) {
        case MessageButtons::ok: style |= MB_OK; break;
        case MessageButtons::okCancel: style |= MB_OKCANCEL; break;
        case MessageButtons::yesNo: style |= MB_YESNO; break;
        case MessageButtons::yesNoCancel: style |= MB_YESNOCANCEL; break;
    }
    if (message.topmost) style |= MB_TOPMOST;
    const std::wstring text = wide(message.text), title = wide(message.title);
    switch (::MessageBoxW(message.ownerless ? nullptr : owner, text.c_str(), title.c_str(), style)) {
        case IDOK: return MessageAnswer::ok;
        case IDYES: return MessageAnswer::yes;
        case IDNO: return MessageAnswer::no;
        default: return message.buttons == MessageButtons::yesNo ? MessageAnswer::no : MessageAnswer::cancel;
    }
}

// ---- trace ----

Trace::Trace() {
    if (const char* path = std::getenv("TESSALY_TEST_TRACE"); path && *path)
        file_ = ::_wfopen(wide(path).c_str(), L"ab");
}

Trace::~Trace() {
    if (file_) std::fclose(file_);
}

void Trace::line(const std::string& kind, const std::string& text) {
    if (!file_) return;
    std::string flat = text;
    for (char& c : flat)
        if (c == '\n' || c == '\r') c = ' ';
    std::fprintf(file_, "%s: %s\n", kind.c_str(), flat.c_str());
    std::fflush(file_);
}

// ---- timer ----

void WindowTimer::start(unsigned intervalMs) {
    stop();
    running_ = ::SetTimer(window_, kMonitorTimerId, intervalMs, nullptr) != 0;
}

void WindowTimer::stop() {
    if (running_) ::KillTimer(window_, kMonitorTimerId);
    running_ = false;
}

void WindowTimer::wakeSoon() { (void)::PostMessageW(window_, kWakeMessage, 0, 0); }

// ---- the window ----

MainWindow::MainWindow(const CommandLine& options) : options_(options) {}

MainWindow::~MainWindow() {
    interfaceDialog_.reset();
    if (timer_) timer_->stop();
    // The monitor waits for a conversion still running and lets go of its job.
    monitor_.reset();
    player_.destroy();
    if (window_) ::DestroyWindow(window_);
    if (skin_) ::DeleteObject(skin_);
    if (white_) ::DeleteObject(white_);
    if (bigIcon_) ::DestroyIcon(bigIcon_);
    if (smallIcon_) ::DestroyIcon(smallIcon_);
}

bool MainWindow::start() {
    HINSTANCE instance = ::GetModuleHandleW(nullptr);
    window_ = ::CreateDialogParamW(instance, MAKEINTRESOURCEW(IDD_MAIN), nullptr, &MainWindow::dialogProc,
                                   reinterpret_cast<LPARAM>(this));
    if (!window_) {
        trace_.line("window", "cannot be created (error " + std::to_string(::GetLastError()) + ")");
        exitStatus_ = 1;
        return false;
    }
    trace_.line("window", "Tessaly");
    accelerators_ = ::LoadAcceleratorsW(instance, MAKEINTRESOURCEW(IDR_ACCELERATORS));
    bigIcon_ = static_cast<HICON>(::LoadImageW(instance, MAKEINTRESOURCEW(IDI_TESSALY), IMAGE_ICON,
                                               ::GetSystemMetrics(SM_CXICON), ::GetSystemMetrics(SM_CYICON), 0));
    smallIcon_ = static_cast<HICON>(::LoadImageW(instance, MAKEINTRESOURCEW(IDI_TESSALY), IMAGE_ICON,
                                                 ::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON), 0));
    if (bigIcon_) ::SendMessageW(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon_));
    if (smallIcon_) ::SendMessageW(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_));
    white_ = ::CreateSolidBrush(RGB(255, 255, 255));
    recordLayout();
    enableMovieCommands(false);

    const bool installed = readInstallPaths(&base_, &spool_) == 1;
    store_ = std::make_unique<ValueStore>(ValueStore::configured());
    preferences_ = loadPreferences(*store_);
    savePreferences_ = preferences_.save();
    placeWindow();
    if (!installed) {
        reportStartUpFailure(*this, StartUpFailure::notInstalled);
        exitStatus_ = 1;
        closeWindow();
        return false;
    }
    if (std::string why; checkPrinter(kPrinterName, &why) != 1) {
        trace_.line("printer", why);
        reportStartUpFailure(*this, StartUpFailure::noPrinter);
        exitStatus_ = 1;
        closeWindow();
        return false;
    }
    {
        // The user's own spool directory when each user has one.
        std::string why;
        FindHandle find;
        if (!currentUserSpoolDirectory(&spool_, &why) || !find.begin(pathFromUtf8(spool_))) {
            if (!why.empty()) trace_.line("spool", why);
            reportStartUpFailure(*this, StartUpFailure::noSpoolDirectory);
            exitStatus_ = 1;
            closeWindow();
            return false;
        }
    }
    cascade();
    loadSkin();
    ::DragAcceptFiles(window_, TRUE);

    MonitorConfig config;
    config.baseDirectory = base_;
    config.spoolDirectory = spool_;
    config.attached = options_.attached;
    config.preferences = preferences_.monitor();
    config.saveMovie = [this](JobMonitor& m, bool html) {
        return saveMonitorMovie(m, *this, savePreferences_, html, store_.get()) == 1;
    };
    config.automaticOutput = [this](JobMonitor& m) { return automaticOutput(m, *this, savePreferences_); };
    timer_ = std::make_unique<WindowTimer>(window_);
    monitor_ = std::make_unique<JobMonitor>(*this, *timer_, std::move(config));
    ticking_ = true;
    const int first = monitor_->tick();
    ticking_ = false;
    const MonitorState state = monitor_->state();
    if (first && !playerFailed_ && (options_.attached || monitor_->holdsJob()) && state != MonitorState::Done &&
        state != MonitorState::Failed)
        monitor_->startTimer();
    return !closed_;
}

void MainWindow::run() {
    MSG message;
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (!closed_) {
            if (accelerators_ && ::TranslateAcceleratorW(window_, accelerators_, &message)) continue;
            if (interfaceDialog_ && interfaceDialog_->window() && ::IsDialogMessageW(interfaceDialog_->window(), &message))
                continue;
            if (::IsDialogMessageW(window_, &message)) continue;
        }
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
}

INT_PTR CALLBACK MainWindow::dialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* self = reinterpret_cast<MainWindow*>(lParam);
        ::SetWindowLongPtrW(window, GWLP_USERDATA, lParam);
        self->window_ = window;
        return TRUE;
    }
    auto* self = reinterpret_cast<MainWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    return self ? self->handle(message, wParam, lParam) : FALSE;
}

INT_PTR MainWindow::handle(UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_TIMER:
            if (wParam == kMonitorTimerId) tick();
            return TRUE;
        case kWakeMessage:
            if (timer_ && timer_->running()) tick();
            return TRUE;
        case kPlayerFailedMessage:
            if (closed_) return TRUE;
            showMessage(*this,
                        std::string("Could not create an instance of the Flash player - please install the Flash "
                                    "player before using Tessaly.\nThe Flash player can be freely downloaded from ") +
                            kPlayerDownload + ".\n",
                        "Flash Player Not Installed", MessageIcon::warning);
            exitStatus_ = 1;
            closeWindow();
            return TRUE;
        case WM_COMMAND:
            command(LOWORD(wParam));
            return TRUE;
        case WM_CLOSE:
            closeWindow();
            return TRUE;
        case WM_SIZE:
            layoutPlayer();
            ::InvalidateRect(window_, nullptr, FALSE);
            return TRUE;
        case WM_ERASEBKGND:
            // Painting covers the whole client area.
            ::SetWindowLongPtrW(window_, DWLP_MSGRESULT, 1);
            return TRUE;
        case WM_PAINT:
            paint();
            return TRUE;
        case WM_CTLCOLORSTATIC:
            // Static texts over the skin.
            ::SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
            return reinterpret_cast<INT_PTR>(white_);
        case WM_CTLCOLORDLG: return reinterpret_cast<INT_PTR>(white_);
        case WM_LBUTTONDOWN:
            // The body moves the window as its caption would.
            ::ReleaseCapture();
            ::SendMessageW(window_, WM_NCLBUTTONDOWN, HTCAPTION, 0);
            return TRUE;
        case WM_ACTIVATE:
            if (LOWORD(wParam) != WA_INACTIVE && player_.exists()) player_.focus();
            return FALSE;
        case WM_SETFOCUS:
            // Without a player the dialog gives the focus to its controls.
            if (!player_.exists()) return FALSE;
            player_.focus();
            return TRUE;
        case WM_DROPFILES:
            dropFiles(reinterpret_cast<HDROP>(wParam));
            return TRUE;
        case WM_INITMENUPOPUP: {
            HMENU menu = ::GetMenu(window_);
            const HMENU popup = reinterpret_cast<HMENU>(wParam);
            if (movieCommands_ && (popup == ::GetSubMenu(menu, kFileMenuPosition) || popup == ::GetSubMenu(menu, kFlashMenuPosition)))
                rebuildTemplateMenus();
            return FALSE;
        }
        case WM_HELP:
            openHelp(HelpTopic::contents);
            return TRUE;
        case WM_QUERYDRAGICON: return reinterpret_cast<INT_PTR>(bigIcon_);
        case WM_DESTROY:
            if (timer_) timer_->stop();
            if (monitor_) monitor_->releaseJob();
            player_.destroy();
            return FALSE;
        default: return FALSE;
    }
}

void MainWindow::command(int id) {
    if (closed_) return;
    if (id >= ID_SAVE_WITH_FIRST && id < ID_SAVE_WITH_FIRST + MAX_TEMPLATE_ITEMS) {
        const size_t i = static_cast<size_t>(id - ID_SAVE_WITH_FIRST);
        if (i < templates_.size()) saveHtmlWith(templates_[i] + ".htm");
        return;
    }
    if (id >= ID_BROWSER_WITH_FIRST && id < ID_BROWSER_WITH_FIRST + MAX_TEMPLATE_ITEMS) {
        const size_t i = static_cast<size_t>(id - ID_BROWSER_WITH_FIRST);
        if (i < templates_.size()) viewInBrowser(templates_[i] + ".htm");
        return;
    }
    switch (id) {
        case IDC_SAVE:
        case ID_FILE_SAVE: save(false); break;
        case IDC_SAVE_HTML:
        case ID_FILE_SAVE_HTML: save(true); break;
        case ID_FILE_CUSTOMIZE: showCustomize(); break;
        case ID_FILE_EXIT: closeWindow(); break;
        case IDC_INTERFACE:
        case ID_INTERFACE_OPTIONS: showInterfaceOptions(); break;
        case ID_INTERFACE_ABOUT: showAboutInterface(); break;
        case IDC_BROWSER:
        case ID_FLASH_BROWSER: viewInBrowser(); break;
        case ID_FLASH_RELOAD: reloadMovie(); break;
        case ID_HELP_CONTENTS: openHelp(HelpTopic::contents); break;
        case ID_HELP_SEARCH: openHelp(HelpTopic::search); break;
        case ID_HELP_PRINTING: openHelp(HelpTopic::printing); break;
        case ID_HELP_SETTINGS: openHelp(HelpTopic::settings); break;
        case ID_HELP_TIPS: openHelp(HelpTopic::tips); break;
        case ID_HELP_ABOUT: showAbout(); break;
        // Enter and Escape do not end the main window.
        case IDOK:
        case IDCANCEL:
        default: break;
    }
}

void MainWindow::tick() {
    // A message box runs a nested loop: the timer must not step the monitor
    // again while one of its own messages is open.
    if (ticking_ || !monitor_ || closed_ || playerFailed_) return;
    ticking_ = true;
    (void)monitor_->tick();
    ticking_ = false;
}

// ---- the UserInterface ----

MessageAnswer MainWindow::messageBox(const Message& message) {
    trace_.line("message", std::string(message.title) + ": " + std::string(message.text));
    return showMessageBox(closed_ ? nullptr : window_, message);
}

void MainWindow::setStatusText(std::string_view text) {
    const std::string value(text);
    ::SetDlgItemTextW(window_, IDC_STATUS, wide(value).c_str());
    trace_.line("status", value);
}

void MainWindow::enableMovieCommands(bool enable) {
    movieCommands_ = enable;
    for (int id : kMovieButtons) ::EnableWindow(::GetDlgItem(window_, id), enable);
    HMENU menu = ::GetMenu(window_);
    const UINT state = MF_BYCOMMAND | (enable ? MF_ENABLED : MF_GRAYED);
    for (int id : kMovieItems) ::EnableMenuItem(menu, static_cast<UINT>(id), state);
    const UINT byPosition = MF_BYPOSITION | (enable ? MF_ENABLED : MF_GRAYED);
    ::EnableMenuItem(::GetSubMenu(menu, kFileMenuPosition), kSaveWithPosition, byPosition);
    ::EnableMenuItem(::GetSubMenu(menu, kFlashMenuPosition), kBrowserWithPosition, byPosition);
    ::CheckMenuItem(menu, ID_INTERFACE_OPTIONS, MF_BYCOMMAND | MF_UNCHECKED);
    ::DrawMenuBar(window_);
    hideInterfaceOptions();
    trace_.line("commands", enable ? "on" : "off");
}

void MainWindow::restoreWindow() {
    ::ShowWindow(window_, SW_RESTORE);
    ::SetForegroundWindow(window_);
}

void MainWindow::closeWindow() {
    if (closing_ || closed_) return;
    closing_ = true;
    const bool close = !monitor_ || monitor_->cleanUpOnClose() == 1;
    closing_ = false;
    if (!close) return;
    if (timer_) timer_->stop();
    if (store_) storeAllPreferences();
    interfaceDialog_.reset();
    closed_ = true;
    player_.destroy();
    // Destroyed with this object: the close may come from inside a monitor
    // step, which must end first.
    ::ShowWindow(window_, SW_HIDE);
    trace_.line("closed", "");
    ::PostQuitMessage(0);
}

void MainWindow::loadMovie(std::string_view path, uint32_t background, int align, bool force) {
    if (closed_ || playerFailed_) return;
    trace_.line("load", std::string(path));
    if (!force && hasPlayerPath_ && sameIgnoringCase(path, playerPath_)) return;
    player_.destroy();
    hasPlayerPath_ = false;
    std::string why;
    if (!player_.create(window_, playerRect(), &why)) {
        playerFailed(why);
        return;
    }
    layoutPlayer();
    const bool set = player_.putBoolean(kFlashMenu, savePreferences_.showFlashPopup) &&
                     player_.putInteger(kFlashAlignMode, flashAlignMode(align)) &&
                     player_.putInteger(kFlashBackgroundColor, static_cast<long>(background & 0xFFFFFF));
    if (!set) {
        playerFailed("the player refused its settings");
        return;
    }
    if (!path.empty()) {
        const std::string file = utf8(toBackslashes(wide(path)));
        if (!player_.putString(kFlashQuality2, "BEST") || !player_.putString(kFlashMovie, file)) {
            playerFailed("the player refused the movie");
            return;
        }
        player_.focus();
    }
    playerPath_ = std::string(path);
    hasPlayerPath_ = true;
}

void MainWindow::playerFailed(const std::string& why) {
    if (closed_ || playerFailed_) return;
    playerFailed_ = true;
    trace_.line("player-failed", why);
    player_.destroy();
    hasPlayerPath_ = false;
    if (timer_) timer_->stop();
    // Said and closed from the message loop: the failure may come from
    // inside a monitor step, which must end before the clean-up runs.
    (void)::PostMessageW(window_, kPlayerFailedMessage, 0, 0);
}

void MainWindow::setPlayerVariable(std::string_view name, std::string_view value) {
    trace_.line("variable", std::string(name) + "=" + std::string(value));
    (void)player_.setVariable(name, value);
}

uint32_t MainWindow::playerVersion() { return player_.version(); }

std::optional<std::string> MainWindow::saveFileName(std::string_view title, std::string_view initialPath,
                                                    std::string_view filter) {
    trace_.line("file-dialog", std::string(title));
    std::wstring initial = toBackslashes(wide(initialPath));
    std::wstring folder, name;
    if (const size_t slash = initial.find_last_of(L'\\'); slash != std::wstring::npos) {
        folder = initial.substr(0, slash + 1);
        name = initial.substr(slash + 1);
    } else {
        name = initial;
    }
    std::vector<wchar_t> buffer(MAX_PATH + 1, L'\0');
    std::copy_n(name.begin(), std::min(name.size(), static_cast<size_t>(MAX_PATH)), buffer.begin());
    const std::wstring filters = dialogFilter(filter);
    const std::wstring caption = wide(title);
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = window_;
    dialog.lpstrFilter = filters.c_str();
    dialog.lpstrFile = buffer.data();
    dialog.nMaxFile = MAX_PATH;
    dialog.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
    dialog.lpstrTitle = caption.c_str();
    dialog.Flags = OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_EXPLORER;
    if (!::GetSaveFileNameW(&dialog)) return std::nullopt;
    return toSlashes(utf8(buffer.data()));
}

std::optional<std::string> MainWindow::openFileName(HWND owner, std::string_view title,
                                                    std::string_view initialFolder, std::string_view filter) {
    trace_.line("file-dialog", std::string(title));
    std::vector<wchar_t> buffer(MAX_PATH + 1, L'\0');
    const std::wstring filters = dialogFilter(filter);
    const std::wstring caption = wide(title);
    const std::wstring folder = toBackslashes(wide(initialFolder));
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = filters.c_str();
    dialog.lpstrFile = buffer.data();
    dialog.nMaxFile = MAX_PATH;
    dialog.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
    dialog.lpstrTitle = caption.c_str();
    dialog.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_EXPLORER;
    if (!::GetOpenFileNameW(&dialog)) return std::nullopt;
    return toSlashes(utf8(buffer.data()));
}

// ---- commands ----

void MainWindow::save(bool html) {
    if (!movieCommands_ || !monitor_ || !monitor_->hasMovie()) return;
    if (saveMonitorMovie(*monitor_, *this, savePreferences_, html, store_.get()) == 1) {
        monitor_->setSaved(true);
        trace_.line("saved", html ? "html" : "swf");
    }
}

void MainWindow::saveHtmlWith(const std::string& templateFile) {
    if (!movieCommands_ || !monitor_ || !monitor_->hasMovie()) return;
    SaveContext context{*this, monitor_->config().baseDirectory, monitor_->movie(), savePreferences_};
    if (saveHtml(context, std::string_view(templateFile), store_.get()) == 1) {
        monitor_->setSaved(true);
        trace_.line("saved", "html " + templateFile);
    }
}

void MainWindow::viewInBrowser(std::optional<std::string> templateFile) {
    if (!movieCommands_ || !monitor_) return;
    std::optional<std::string_view> name;
    if (templateFile) name = *templateFile;
    if (app::viewInBrowser(*monitor_, *this, savePreferences_, name, &openWithShell, &browserPage_) == 1)
        trace_.line("browser", browserPage_);
}

void MainWindow::reloadMovie() {
    if (!movieCommands_ || !monitor_ || !monitor_->hasMovie()) return;
    loadMovie(monitor_->movie().moviePath, monitor_->movie().backgroundColor, savePreferences_.flashAlign, true);
}

void MainWindow::rebuildTemplateMenus() {
    HMENU menu = ::GetMenu(window_);
    HMENU saveWith = ::GetSubMenu(::GetSubMenu(menu, kFileMenuPosition), kSaveWithPosition);
    HMENU browserWith = ::GetSubMenu(::GetSubMenu(menu, kFlashMenuPosition), kBrowserWithPosition);
    for (HMENU submenu : {saveWith, browserWith}) {
        while (::GetMenuItemCount(submenu) > 0) ::DeleteMenu(submenu, 0, MF_BYPOSITION);
    }
    templates_ = templateNames(base_ + std::string(kHtmlTemplateFolder));
    std::string list;
    for (size_t i = 0; i < templates_.size() && i < MAX_TEMPLATE_ITEMS; ++i) {
        const std::wstring name = wide(templates_[i]);
        ::AppendMenuW(saveWith, MF_STRING, ID_SAVE_WITH_FIRST + i, name.c_str());
        ::AppendMenuW(browserWith, MF_STRING, ID_BROWSER_WITH_FIRST + i, name.c_str());
        list += (i ? "|" : "") + templates_[i];
    }
    if (templates_.empty()) {
        ::AppendMenuW(saveWith, MF_STRING | MF_GRAYED, ID_SAVE_WITH_FIRST, L"(none)");
        ::AppendMenuW(browserWith, MF_STRING | MF_GRAYED, ID_BROWSER_WITH_FIRST, L"(none)");
    }
    trace_.line("templates", list);
}

void MainWindow::dropFiles(HDROP drop) {
    if (timer_) timer_->stop();
    const UINT count = ::DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    std::vector<std::string> files;
    for (UINT i = 0; i < count; ++i) {
        wchar_t name[MAX_PATH];
        const UINT n = ::DragQueryFileW(drop, i, name, MAX_PATH);
        if (n > 0 && n < MAX_PATH) files.push_back(toSlashes(utf8(std::wstring_view(name, n))));
    }
    ::DragFinish(drop);
    for (const std::string& file : files) {
        trace_.line("dropped", file);
        if (printFileThroughShell(file) == PrintResult::printed) continue;
        const std::string text = "Automatic printing is not defined for this file type:\n" + file +
                                 "\n\nTo print this file, open it on the respective application and print into "
                                 "Tessaly.";
        Message message{text, "Automatic Printing Error", MessageIcon::warning};
        message.topmost = true;
        (void)messageBox(message);
    }
    if (!monitor_ || closed_) return;
    switch (afterDroppedFiles(monitor_->state())) {
        case AfterDrop::closeWindow: closeWindow(); break;
        case AfterDrop::restartTimer: monitor_->startTimer(); break;
        case AfterDrop::leave: break;
    }
}

// ---- layout and painting ----

void MainWindow::recordLayout() {
    const RECT save = childRect(window_, IDC_SAVE);
    const RECT status = childRect(window_, IDC_STATUS);
    margin_ = save.top;
    barHeight_ = status.bottom - save.top;
    bar_ = RECT{save.left, save.top, status.right, status.bottom};
}

RECT MainWindow::playerRect() const {
    RECT client{};
    ::GetClientRect(window_, &client);
    const int top = barHeight_ + 2 * margin_;
    RECT rect{margin_, top, client.right - margin_, client.bottom - margin_};
    if (rect.right < rect.left) rect.right = rect.left;
    if (rect.bottom < rect.top) rect.bottom = rect.top;
    return rect;
}

void MainWindow::layoutPlayer() {
    if (!player_.exists()) return;
    const RECT rect = playerRect();
    player_.move(rect);
    if (HWND control = player_.window())
        ::MoveWindow(control, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, TRUE);
}

void MainWindow::paint() {
    PAINTSTRUCT ps;
    HDC dc = ::BeginPaint(window_, &ps);
    RECT client{};
    ::GetClientRect(window_, &client);
    ::FillRect(dc, &client, white_);
    if (skin_) {
        HDC source = ::CreateCompatibleDC(dc);
        HGDIOBJ old = ::SelectObject(source, skin_);
        ::SetStretchBltMode(dc, HALFTONE);
        ::SetBrushOrgEx(dc, 0, 0, nullptr);
        const SkinLayout layout{client.right, client.bottom, margin_, barHeight_};
        for (const SkinCell& cell : skinCells(skinWidth_, skinHeight_, layout)) {
            ::StretchBlt(dc, cell.target.x, cell.target.y, cell.target.width, cell.target.height, source,
                         cell.source.x, cell.source.y, cell.source.width, cell.source.height, SRCCOPY);
        }
        ::SelectObject(source, old);
        ::DeleteDC(source);
    }
    // A black frame just outside the button bar.
    RECT frame = bar_;
    ::InflateRect(&frame, 1, 1);
    ::FrameRect(dc, &frame, static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH)));
    ::EndPaint(window_, &ps);
}

void MainWindow::loadSkin() {
    // By its bare name: from the directory the program was started in.
    HBITMAP skin = static_cast<HBITMAP>(
        ::LoadImageW(nullptr, L"skin.bmp", IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE | LR_CREATEDIBSECTION));
    if (!skin) return;
    BITMAP info{};
    if (!::GetObjectW(skin, sizeof info, &info) || !skinAccepted(info.bmWidth, std::abs(info.bmHeight))) {
        ::DeleteObject(skin);
        return;
    }
    skin_ = skin;
    skinWidth_ = info.bmWidth;
    skinHeight_ = std::abs(info.bmHeight);
    trace_.line("skin", std::to_string(skinWidth_) + "x" + std::to_string(skinHeight_));
    ::InvalidateRect(window_, nullptr, FALSE);
}

// ---- placement and preferences ----

bool MainWindow::minimizedOrMaximized() const { return ::IsIconic(window_) || ::IsZoomed(window_); }

void MainWindow::placeWindow() {
    RECT work{};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const int screenWidth = ::GetSystemMetrics(SM_CXSCREEN), screenHeight = ::GetSystemMetrics(SM_CYSCREEN);
    if (preferences_.window && screenWidth > 0 && screenHeight > 0) {
        const WindowRect placed = app::placeWindow(*preferences_.window, work.right - work.left,
                                                   work.bottom - work.top, screenWidth, screenHeight);
        ::SetWindowPos(window_, nullptr, placed.x, placed.y, placed.width, placed.height,
                       SWP_NOZORDER | SWP_NOACTIVATE);
        trace_.line("placed", std::to_string(placed.x) + "," + std::to_string(placed.y) + " " +
                                  std::to_string(placed.width) + "x" + std::to_string(placed.height));
    }
    switch (startShow(preferences_, options_.attached)) {
        case StartShow::minimized: ::ShowWindow(window_, SW_MINIMIZE); break;
        case StartShow::maximized: ::ShowWindow(window_, SW_MAXIMIZE); break;
        case StartShow::asPlaced: break;
    }
}

void MainWindow::cascade() {
    RECT rect{};
    ::GetWindowRect(window_, &rect);
    OtherWindows others{window_, {}};
    ::EnumWindows(&collectTessalyWindow, reinterpret_cast<LPARAM>(&others));
    const int screenWidth = ::GetSystemMetrics(SM_CXSCREEN), screenHeight = ::GetSystemMetrics(SM_CYSCREEN);
    const WindowPoint corner = cascadeWindow({rect.left, rect.top}, others.corners, screenHeight);
    if (corner == WindowPoint{rect.left, rect.top}) return;
    const int width = rect.right - rect.left, height = rect.bottom - rect.top;
    // Moved only where it still fits on the screen; stored either way.
    if (corner.x >= 0 && corner.y >= 0 && corner.x + width <= screenWidth && corner.y + height <= screenHeight) {
        ::SetWindowPos(window_, nullptr, corner.x, corner.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        trace_.line("cascaded", std::to_string(corner.x) + "," + std::to_string(corner.y));
    }
    storeAllPreferences();
}

void MainWindow::storeAllPreferences() {
    if (!store_) return;
    const bool minMax = minimizedOrMaximized();
    if (!minMax) {
        RECT rect{};
        ::GetWindowRect(window_, &rect);
        preferences_.window = WindowRect{rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top};
    }
    bool ioOpen = false;
    if (interfaceDialog_ && interfaceDialog_->window()) {
        RECT rect{};
        ::GetWindowRect(interfaceDialog_->window(), &rect);
        preferences_.ioPosX = rect.left;
        preferences_.ioPosY = rect.top;
        ioOpen = true;
    }
    preferences_.takeSave(savePreferences_);
    storePreferences(*store_, preferences_, WindowShowState{minMax, ioOpen});
}

}  // namespace tessaly::app::win32

namespace tessaly::app {

namespace {

class DesktopMessages : public UserInterface {
public:
    MessageAnswer messageBox(const Message& message) override {
        trace_.line("message", std::string(message.title) + ": " + std::string(message.text));
        return win32::showMessageBox(nullptr, message);
    }

private:
    win32::Trace trace_;
};

}  // namespace

bool openDisplay(int*, char***) { return true; }

int runWindow(const CommandLine& options) {
    // The player is an ActiveX control: the thread is a single-threaded
    // apartment with OLE's services.
    const bool ole = SUCCEEDED(::OleInitialize(nullptr));
    int status = 0;
    {
        win32::MainWindow window(options);
        if (window.start()) window.run();
        status = window.exitStatus();
    }
    if (ole) ::OleUninitialize();
    return status;
}

std::unique_ptr<UserInterface> makeDesktopMessages() { return std::make_unique<DesktopMessages>(); }

}  // namespace tessaly::app
