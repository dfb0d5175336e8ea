#pragma once
// The window's classes, shared by its source files: the trace for tests, the
// monitor's timer and the main window. Internal to the window.

#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/automatic_printing.h"
#include "app/browser_view.h"
#include "app/job_monitor.h"
#include "app/preferences.h"
#include "app/saving.h"
#include "app/user_interface.h"
#include "flash_player.h"
#include "platform/registry.h"

namespace tessaly::app::win32 {

// Posted by the worker thread when a conversion ended.
inline constexpr UINT kWakeMessage = WM_APP + 1;

// UTF-8 and the system's UTF-16.
std::wstring wide(std::string_view utf8);
std::string utf8(std::wstring_view text);
// A control's or window's text in UTF-8.
std::string windowText(HWND window);

// Shows a message box owned by owner (none: no owner): the answer.
MessageAnswer showMessageBox(HWND owner, const Message& message);

// A line per event for tests ("TESSALY_TEST_TRACE" names the file).
class Trace {
public:
    Trace();
    ~Trace();
    Trace(const Trace&) = delete;
    Trace& operator=(const Trace&) = delete;
    bool on() const { return file_ != nullptr; }
    void line(const std::string& kind, const std::string& text);

private:
    std::FILE* file_ = nullptr;
};

// The monitor's 500 ms timer on the window.
class WindowTimer : public MonitorTimer {
public:
    explicit WindowTimer(HWND window) : window_(window) {}
    ~WindowTimer() override { stop(); }
    WindowTimer(const WindowTimer&) = delete;
    WindowTimer& operator=(const WindowTimer&) = delete;
    void start(unsigned intervalMs) override;
    void stop() override;
    bool running() const override { return running_; }
    void wakeSoon() override;

private:
    HWND window_;
    bool running_ = false;
};

class InterfaceOptionsDialog;

class MainWindow : public UserInterface {
public:
    explicit MainWindow(const CommandLine& options);
    ~MainWindow() override;
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    // Creates the window, runs the start-up checks and the monitor; false
    // when start-up failed (the window is gone then).
    bool start();
    // The message loop, until the window closes.
    void run();
    int exitStatus() const { return exitStatus_; }

    MessageAnswer messageBox(const Message& message) override;
    void setStatusText(std::string_view text) override;
    void enableMovieCommands(bool enable) override;
    void restoreWindow() override;
    void closeWindow() override;
    void loadMovie(std::string_view path, uint32_t background, int align, bool force) override;
    void setPlayerVariable(std::string_view name, std::string_view value) override;
    uint32_t playerVersion() override;
    std::optional<std::string> saveFileName(std::string_view title, std::string_view initialPath,
                                            std::string_view filter) override;
    // A file-open dialog: the file chosen, or nothing.
    std::optional<std::string> openFileName(HWND owner, std::string_view title, std::string_view initialFolder,
                                            std::string_view filter);

    Trace& trace() { return trace_; }
    HWND window() const { return window_; }

private:
    static INT_PTR CALLBACK dialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR handle(UINT message, WPARAM wParam, LPARAM lParam);
    void command(int id);
    void tick();
    void save(bool html);
    void saveHtmlWith(const std::string& templateFile);
    void viewInBrowser(std::optional<std::string> templateFile = std::nullopt);
    void openHelp(HelpTopic topic);
    void reloadMovie();
    void rebuildTemplateMenus();
    void dropFiles(HDROP drop);
    void playerFailed(const std::string& why);

    // Layout and painting.
    void recordLayout();
    RECT playerRect() const;
    void layoutPlayer();
    void paint();
    void loadSkin();

    // Start-up: the stored placement and the start mode, cascading over
    // other Tessaly windows.
    void placeWindow();
    void cascade();
    bool minimizedOrMaximized() const;
    void storeAllPreferences();

    // The dialogs (dialogs.cpp).
    void showCustomize();
    void showInterfaceOptions();
    void hideInterfaceOptions();
    void showAboutInterface();
    void showAbout();
    void preferencesChanged();

    friend class InterfaceOptionsDialog;
    friend INT_PTR CALLBACK customizeProc(HWND, UINT, WPARAM, LPARAM);

    CommandLine options_;
    Trace trace_;
    HWND window_ = nullptr;
    HACCEL accelerators_ = nullptr;
    HBRUSH white_ = nullptr;
    HICON bigIcon_ = nullptr, smallIcon_ = nullptr;
    HBITMAP skin_ = nullptr;
    int skinWidth_ = 0, skinHeight_ = 0;
    int margin_ = 0, barHeight_ = 0;
    RECT bar_{};
    FlashPlayer player_;
    std::string playerPath_;
    bool hasPlayerPath_ = false;
    std::unique_ptr<WindowTimer> timer_;
    std::unique_ptr<ValueStore> store_;
    Preferences preferences_;
    SavePreferences savePreferences_;
    std::unique_ptr<JobMonitor> monitor_;
    std::unique_ptr<InterfaceOptionsDialog> interfaceDialog_;
    std::vector<std::string> templates_;
    std::string browserPage_;
    std::string base_, spool_;
    bool movieCommands_ = false;
    bool ticking_ = false;
    bool closing_ = false;
    bool closed_ = false;
    bool playerFailed_ = false;
    int exitStatus_ = 0;
};

}  // namespace tessaly::app::win32

namespace tessaly::app::win32 {

// The modeless Interface Options dialog over the job's interface settings.
class InterfaceOptionsDialog {
public:
    InterfaceOptionsDialog(MainWindow& owner, JobSettings& settings);
    ~InterfaceOptionsDialog();
    InterfaceOptionsDialog(const InterfaceOptionsDialog&) = delete;
    InterfaceOptionsDialog& operator=(const InterfaceOptionsDialog&) = delete;
    HWND window() const { return window_; }
    // Shows and focuses it.
    void show();
    bool visible() const { return window_ && ::IsWindowVisible(window_); }
    void hide();

private:
    static INT_PTR CALLBACK dialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR handle(UINT message, WPARAM wParam, LPARAM lParam);
    void fill();
    void showValue();

    MainWindow& owner_;
    class State;
    std::unique_ptr<State> state_;
    HWND window_ = nullptr;
    bool filling_ = false;
};

}  // namespace tessaly::app::win32
