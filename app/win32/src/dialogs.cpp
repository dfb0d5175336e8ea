// The dialogs: Customize, Interface Options, About this Interface and About
// Tessaly, over the toolkit-free models of the application's logic.

#include "main_window.h"

#include <htmlhelp.h>
#include <shellapi.h>

#include <algorithm>

#include "app/customize.h"
#include "app/interface_options.h"
#include "resource.h"

namespace tessaly::app::win32 {

namespace {

void fillCombo(HWND dialog, int id, const auto& choices, int selected) {
    HWND combo = ::GetDlgItem(dialog, id);
    ::SendMessageW(combo, CB_RESETCONTENT, 0, 0);
    for (std::string_view choice : choices)
        ::SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide(choice).c_str()));
    ::SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(selected), 0);
}

int comboSelection(HWND dialog, int id) {
    return static_cast<int>(::SendDlgItemMessageW(dialog, id, CB_GETCURSEL, 0, 0));
}

// hhctrl.ocx, loaded when first needed; its text popups show the Customize
// dialog's help.
using HtmlHelpFunction = HWND(WINAPI*)(HWND, LPCWSTR, UINT, DWORD_PTR);

HtmlHelpFunction htmlHelp() {
    static HtmlHelpFunction function = [] {
        HMODULE library = ::LoadLibraryW(L"hhctrl.ocx");
        return library ? reinterpret_cast<HtmlHelpFunction>(
                             reinterpret_cast<void*>(::GetProcAddress(library, "HtmlHelpW")))
                       : nullptr;
    }();
    return function;
}

// The popup text of a Customize control, below the control's centre.
void showControlHelp(HWND control, std::string_view text) {
    HtmlHelpFunction help = htmlHelp();
    if (!help || !control) return;
    RECT rect{};
    ::GetWindowRect(control, &rect);
    const std::wstring popupText = wide(text);
    HH_POPUP popup{};
    popup.cbStruct = sizeof popup;
    popup.idString = 0;
    // HtmlHelpW reads the text as UTF-16.
    popup.pszText = reinterpret_cast<LPCTSTR>(popupText.c_str());
    popup.pt = POINT{(rect.left + rect.right) / 2, rect.bottom};
    popup.clrForeground = static_cast<COLORREF>(-1);
    popup.clrBackground = static_cast<COLORREF>(-1);
    popup.rcMargins = RECT{-1, -1, -1, -1};
    (void)help(control, nullptr, HH_DISPLAY_TEXT_POPUP, reinterpret_cast<DWORD_PTR>(&popup));
}

std::string_view controlHelp(int id) {
    switch (id) {
        case IDC_TEMPLATE:
        case IDC_TEMPLATE_BROWSE: return kTemplateHelp;
        case IDC_ENCODING_PRIORITY: return kEncodingPriorityHelp;
        case IDC_START_MODE: return kStartModeHelp;
        case IDC_PROMPT_ON_CLOSE: return kPromptOnCloseHelp;
        case IDC_FLASH_POPUP: return kFlashPopupHelp;
        case IDC_FLASH_ALIGN: return kFlashAlignHelp;
        default: return {};
    }
}

struct CustomizeState {
    MainWindow* window;
    std::string base;
    CustomizeChoices choices;
};

}  // namespace

// ---- Customize ----

INT_PTR CALLBACK customizeProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* state = reinterpret_cast<CustomizeState*>(::GetWindowLongPtrW(dialog, GWLP_USERDATA));
    switch (message) {
        case WM_INITDIALOG: {
            state = reinterpret_cast<CustomizeState*>(lParam);
            ::SetWindowLongPtrW(dialog, GWLP_USERDATA, lParam);
            ::SetDlgItemTextW(dialog, IDC_TEMPLATE, wide(state->choices.htmlTemplate).c_str());
            fillCombo(dialog, IDC_FLASH_POPUP, kFlashPopupChoices, state->choices.flashPopup);
            fillCombo(dialog, IDC_FLASH_ALIGN, kFlashAlignChoices, state->choices.flashAlign);
            fillCombo(dialog, IDC_START_MODE, kStartModeChoices, state->choices.startMode);
            fillCombo(dialog, IDC_ENCODING_PRIORITY, kEncodingPriorityChoices, state->choices.encodingPriority);
            fillCombo(dialog, IDC_PROMPT_ON_CLOSE, kPromptOnCloseChoices, state->choices.promptOnClose);
            state->window->trace().line("dialog", std::string(kCustomizeTitle));
            return TRUE;
        }
        case WM_HELP: {
            const auto* info = reinterpret_cast<const HELPINFO*>(lParam);
            if (info && info->iContextType == HELPINFO_WINDOW) {
                const std::string_view text = controlHelp(info->iCtrlId);
                if (!text.empty()) showControlHelp(static_cast<HWND>(info->hItemHandle), text);
            }
            return TRUE;
        }
        case WM_COMMAND:
            if (!state) return FALSE;
            switch (LOWORD(wParam)) {
                case IDC_TEMPLATE_BROWSE: {
                    const std::string current = windowText(::GetDlgItem(dialog, IDC_TEMPLATE));
                    const std::optional<std::string> chosen = state->window->openFileName(
                        dialog, kSelectTemplateTitle, templateChooserFolder(state->base, current),
                        kSelectTemplateFilter);
                    if (!chosen) return TRUE;
                    if (const std::optional<std::string> value =
                            acceptChosenTemplate(*state->window, state->base, *chosen))
                        ::SetDlgItemTextW(dialog, IDC_TEMPLATE, wide(*value).c_str());
                    return TRUE;
                }
                case IDOK: {
                    const std::string value = windowText(::GetDlgItem(dialog, IDC_TEMPLATE));
                    if (!confirmHtmlTemplate(*state->window, state->base, value)) return TRUE;
                    state->choices.htmlTemplate = value;
                    state->choices.flashPopup = comboSelection(dialog, IDC_FLASH_POPUP);
                    state->choices.flashAlign = comboSelection(dialog, IDC_FLASH_ALIGN);
                    state->choices.startMode = comboSelection(dialog, IDC_START_MODE);
                    state->choices.encodingPriority = comboSelection(dialog, IDC_ENCODING_PRIORITY);
                    state->choices.promptOnClose = comboSelection(dialog, IDC_PROMPT_ON_CLOSE);
                    ::EndDialog(dialog, IDOK);
                    return TRUE;
                }
                case IDCANCEL: ::EndDialog(dialog, IDCANCEL); return TRUE;
                default: return FALSE;
            }
        default: return FALSE;
    }
}

void MainWindow::showCustomize() {
    preferences_.takeSave(savePreferences_);
    CustomizeState state{this, base_, customizeChoices(preferences_)};
    if (::DialogBoxParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_CUSTOMIZE), window_, &customizeProc,
                          reinterpret_cast<LPARAM>(&state)) != IDOK)
        return;
    applyCustomizeChoices(state.choices, preferences_);
    trace_.line("customized", preferences_.htmlTemplate);
    preferencesChanged();
    storeAllPreferences();
}

void MainWindow::preferencesChanged() {
    savePreferences_ = preferences_.save();
    if (monitor_) monitor_->preferences() = preferences_.monitor();
    trace_.line("preferences", std::string("popup ") + (savePreferences_.showFlashPopup ? "1" : "0") + " align " +
                                   std::to_string(savePreferences_.flashAlign));
    // The current control takes the popup setting at once, and the
    // alignment while a converted movie is shown.
    if (player_.exists()) {
        (void)player_.putBoolean(kFlashMenu, savePreferences_.showFlashPopup);
        if (monitor_ && monitor_->state() == MonitorState::Done)
            (void)player_.putInteger(kFlashAlignMode, flashAlignMode(savePreferences_.flashAlign));
    }
}

// ---- About Tessaly ----

namespace {

INT_PTR CALLBACK aboutProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            ::SetDlgItemTextW(dialog, IDC_ABOUT_TEXT, wide(aboutText()).c_str());
            ::SetDlgItemTextW(dialog, IDC_ABOUT_LINK, wide(kMakerAddress).c_str());
            return TRUE;
        case WM_CTLCOLORSTATIC:
            if (reinterpret_cast<HWND>(lParam) == ::GetDlgItem(dialog, IDC_ABOUT_LINK)) {
                ::SetTextColor(reinterpret_cast<HDC>(wParam), RGB(0, 0, 238));
                ::SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
                return reinterpret_cast<INT_PTR>(::GetSysColorBrush(COLOR_BTNFACE));
            }
            return FALSE;
        case WM_SETCURSOR:
            if (reinterpret_cast<HWND>(wParam) == ::GetDlgItem(dialog, IDC_ABOUT_LINK)) {
                ::SetCursor(::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_HAND)));
                ::SetWindowLongPtrW(dialog, DWLP_MSGRESULT, TRUE);
                return TRUE;
            }
            return FALSE;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDC_ABOUT_LINK && HIWORD(wParam) == STN_CLICKED) {
                (void)::ShellExecuteW(dialog, L"open", wide(kMakerAddress).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
                return TRUE;
            }
            if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
                ::EndDialog(dialog, IDOK);
                return TRUE;
            }
            return FALSE;
        default: return FALSE;
    }
}

struct AboutInterfaceState {
    std::string title, description;
};

INT_PTR CALLBACK aboutInterfaceProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG: {
            const auto* state = reinterpret_cast<const AboutInterfaceState*>(lParam);
            ::SetWindowTextW(dialog, wide(state->title).c_str());
            std::string text;
            // The edit control breaks lines at CR LF only.
            for (char c : state->description) {
                if (c == '\n') text += '\r';
                text += c;
            }
            ::SetDlgItemTextW(dialog, IDC_INTERFACE_DESCRIPTION, wide(text).c_str());
            return TRUE;
        }
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
                ::EndDialog(dialog, IDOK);
                return TRUE;
            }
            return FALSE;
        default: return FALSE;
    }
}

}  // namespace

void MainWindow::showAbout() {
    trace_.line("dialog", std::string(kAboutTitle));
    (void)::DialogBoxParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_ABOUT), window_, &aboutProc, 0);
}

void MainWindow::showAboutInterface() {
    if (!movieCommands_ || !monitor_ || !monitor_->hasMovie()) return;
    const InterfaceSettings& shown = monitor_->jobSettings().interfaceSettings;
    // Without an interface there is nothing to tell.
    if (!shown.hasSource()) return;
    AboutInterfaceState state{aboutInterfaceTitle(shown.name), shown.description};
    trace_.line("dialog", state.title);
    (void)::DialogBoxParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_ABOUT_INTERFACE), window_,
                            &aboutInterfaceProc, reinterpret_cast<LPARAM>(&state));
}

// ---- Interface Options ----

class InterfaceOptionsDialog::State {
public:
    State(UserInterface& ui, JobSettings& settings, std::function<int()> rebuild)
        : options(ui, settings, std::move(rebuild)) {}
    InterfaceOptions options;
};

InterfaceOptionsDialog::InterfaceOptionsDialog(MainWindow& owner, JobSettings& settings) : owner_(owner) {
    state_ = std::make_unique<State>(owner, settings, [&owner] {
        return owner.monitor_ ? owner.monitor_->refinishMovie() : 0;
    });
    window_ = ::CreateDialogParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_INTERFACE_OPTIONS),
                                   owner.window(), &InterfaceOptionsDialog::dialogProc, reinterpret_cast<LPARAM>(this));
}

InterfaceOptionsDialog::~InterfaceOptionsDialog() {
    if (window_) ::DestroyWindow(window_);
}

void InterfaceOptionsDialog::show() {
    if (!window_) return;
    ::ShowWindow(window_, SW_SHOW);
    ::SetForegroundWindow(window_);
    ::SetFocus(::GetDlgItem(window_, IDC_OPTIONS_LIST));
}

void InterfaceOptionsDialog::hide() {
    if (window_) ::ShowWindow(window_, SW_HIDE);
    ::CheckMenuItem(::GetMenu(owner_.window()), ID_INTERFACE_OPTIONS, MF_BYCOMMAND | MF_UNCHECKED);
}

INT_PTR CALLBACK InterfaceOptionsDialog::dialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* self = reinterpret_cast<InterfaceOptionsDialog*>(lParam);
        ::SetWindowLongPtrW(window, GWLP_USERDATA, lParam);
        self->window_ = window;
        self->fill();
        return TRUE;
    }
    auto* self = reinterpret_cast<InterfaceOptionsDialog*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    return self ? self->handle(message, wParam, lParam) : FALSE;
}

void InterfaceOptionsDialog::fill() {
    filling_ = true;
    InterfaceOptions& options = state_->options;
    ::SetWindowTextW(window_, wide(options.title()).c_str());
    HWND list = ::GetDlgItem(window_, IDC_OPTIONS_LIST);
    ::SendMessageW(list, LB_RESETCONTENT, 0, 0);
    for (const std::string& entry : options.listEntries())
        ::SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide(entry).c_str()));
    ::SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(options.selection()), 0);
    const bool any = options.hasOptions();
    for (int id : {IDC_OPTIONS_LIST, IDC_VALUE_EDIT, IDC_VALUE_COMBO, IDC_DESCRIPTION})
        ::EnableWindow(::GetDlgItem(window_, id), any);
    ::EnableWindow(::GetDlgItem(window_, IDC_FACTORY_DEFAULTS), options.factoryDefaultsEnabled());
    filling_ = false;
    showValue();
}

void InterfaceOptionsDialog::showValue() {
    filling_ = true;
    const InterfaceOptions& options = state_->options;
    HWND edit = ::GetDlgItem(window_, IDC_VALUE_EDIT);
    HWND combo = ::GetDlgItem(window_, IDC_VALUE_COMBO);
    if (!options.hasOptions()) {
        ::SetWindowTextW(edit, L"");
        ::SetDlgItemTextW(window_, IDC_DESCRIPTION, L"");
        ::ShowWindow(combo, SW_HIDE);
        ::ShowWindow(edit, SW_SHOW);
        filling_ = false;
        return;
    }
    const InterfaceOptions::ValueView view = options.valueView();
    if (view.dropDown) {
        ::SendMessageW(combo, CB_RESETCONTENT, 0, 0);
        for (const std::string& entry : view.entries)
            ::SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide(entry).c_str()));
        ::SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(view.current), 0);
    } else {
        ::SetWindowTextW(edit, wide(view.text).c_str());
    }
    ::ShowWindow(combo, view.dropDown ? SW_SHOW : SW_HIDE);
    ::ShowWindow(edit, view.dropDown ? SW_HIDE : SW_SHOW);
    std::string description;
    for (char c : view.description) {
        if (c == '\n') description += '\r';
        description += c;
    }
    ::SetDlgItemTextW(window_, IDC_DESCRIPTION, wide(description).c_str());
    filling_ = false;
}

INT_PTR InterfaceOptionsDialog::handle(UINT message, WPARAM wParam, LPARAM) {
    InterfaceOptions& options = state_->options;
    switch (message) {
        case WM_LBUTTONDOWN:
            // The body moves the dialog as its caption would.
            ::ReleaseCapture();
            ::SendMessageW(window_, WM_NCLBUTTONDOWN, HTCAPTION, 0);
            return TRUE;
        case WM_CLOSE:
            hide();
            return TRUE;
        case WM_COMMAND: {
            const int id = LOWORD(wParam), code = HIWORD(wParam);
            if (filling_) return FALSE;
            switch (id) {
                case IDCANCEL: hide(); return TRUE;
                case IDOK:
                case IDC_APPLY: {
                    const InterfaceOptions::Outcome outcome = options.apply();
                    if (outcome == InterfaceOptions::Outcome::invalidNumber)
                        ::SetFocus(::GetDlgItem(window_, IDC_VALUE_EDIT));
                    owner_.trace().line("applied", outcome == InterfaceOptions::Outcome::ok ? "ok" : "refused");
                    return TRUE;
                }
                case IDC_FACTORY_DEFAULTS:
                    if (options.restoreFactoryDefaults()) fill();
                    return TRUE;
                case IDC_OPTIONS_LIST:
                    if (code == LBN_SELCHANGE) {
                        const int row = static_cast<int>(::SendDlgItemMessageW(window_, id, LB_GETCURSEL, 0, 0));
                        if (options.select(row) == InterfaceOptions::Outcome::invalidNumber) {
                            ::SendDlgItemMessageW(window_, id, LB_SETCURSEL, static_cast<WPARAM>(options.selection()),
                                                  0);
                            ::SetFocus(::GetDlgItem(window_, IDC_VALUE_EDIT));
                            return TRUE;
                        }
                        showValue();
                    }
                    return TRUE;
                case IDC_VALUE_EDIT:
                    if (code == EN_CHANGE) options.editText(windowText(::GetDlgItem(window_, id)));
                    return TRUE;
                case IDC_VALUE_COMBO:
                    if (code == CBN_SELCHANGE)
                        options.chooseEntry(static_cast<int>(::SendDlgItemMessageW(window_, id, CB_GETCURSEL, 0, 0)));
                    return TRUE;
                default: return FALSE;
            }
        }
        default: return FALSE;
    }
}

void MainWindow::showInterfaceOptions() {
    if (!movieCommands_ || !monitor_ || !monitor_->hasMovie()) return;
    if (!interfaceDialog_) {
        interfaceDialog_ = std::make_unique<InterfaceOptionsDialog>(*this, monitor_->jobSettings());
        if (!interfaceDialog_->window()) {
            interfaceDialog_.reset();
            return;
        }
        if (preferences_.ioPosX >= 0 && preferences_.ioPosY >= 0)
            ::SetWindowPos(interfaceDialog_->window(), nullptr, preferences_.ioPosX, preferences_.ioPosY, 0, 0,
                           SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    interfaceDialog_->show();
    ::CheckMenuItem(::GetMenu(window_), ID_INTERFACE_OPTIONS, MF_BYCOMMAND | MF_CHECKED);
    trace_.line("dialog", windowText(interfaceDialog_->window()));
}

void MainWindow::hideInterfaceOptions() {
    if (!interfaceDialog_) return;
    // Its position is kept for the next start, then it goes with the movie
    // it worked on.
    RECT rect{};
    if (::GetWindowRect(interfaceDialog_->window(), &rect)) {
        preferences_.ioPosX = rect.left;
        preferences_.ioPosY = rect.top;
    }
    interfaceDialog_.reset();
}

// ---- help ----

void MainWindow::openHelp(HelpTopic topic) {
    // The compiled help file when HTML Help is there; else the help pages.
    const std::string chm = base_ + "Help/Tessaly.chm";
    bool opened = false;
    if (HtmlHelpFunction help = htmlHelp(); help && ::GetFileAttributesW(wide(chm).c_str()) != INVALID_FILE_ATTRIBUTES) {
        std::wstring file = wide(chm);
        std::replace(file.begin(), file.end(), L'/', L'\\');
        HWND desktop = ::GetDesktopWindow();
        switch (topic) {
            case HelpTopic::contents: opened = help(desktop, file.c_str(), HH_DISPLAY_TOPIC, 0) != nullptr; break;
            case HelpTopic::search: {
                HH_FTS_QUERY query{};
                query.cbStruct = sizeof query;
                opened = help(desktop, file.c_str(), HH_DISPLAY_SEARCH, reinterpret_cast<DWORD_PTR>(&query)) != nullptr;
                break;
            }
            default: {
                const std::wstring page = file + L"::/" + wide(helpPageName(topic));
                opened = help(desktop, page.c_str(), HH_DISPLAY_TOPIC, 0) != nullptr;
                break;
            }
        }
        trace_.line("help", chm + " " + std::string(helpPageName(topic)) + (opened ? "" : " (not opened)"));
        if (opened) return;
    }
    // A help page that cannot be opened is not reported.
    opened = app::openHelp(base_, topic, [](const std::string& path) {
        const std::wstring file = wide(path);
        return reinterpret_cast<INT_PTR>(
                   ::ShellExecuteW(nullptr, L"open", file.c_str(), nullptr, nullptr, SW_SHOWNORMAL)) > 32;
    });
    trace_.line("help", helpPagePath(base_, topic) + (opened ? "" : " (not opened)"));
}

}  // namespace tessaly::app::win32
