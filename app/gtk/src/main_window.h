#pragma once
// The window's classes, shared by its source files: the main window, the
// player host and the timer that drives the monitor. Internal to the window.

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/automatic_printing.h"
#include "app/browser_view.h"
#include "app/dropped_files.h"
#include "app/job_monitor.h"
#include "app/preferences.h"
#include "app/saving.h"
#include "app/user_interface.h"
#include "platform/registry.h"

namespace tessaly::app::gtkwin {

inline constexpr const char* kScheme = "tessaly";

// A press of the first button on a window's body moves the window as its
// title bar would: TRUE when it did.
gboolean moveByBody(GtkWindow* window, const GdkEventButton* event);

// Runs a file chooser dialog and destroys it: the file chosen, or nothing.
std::optional<std::string> runFileChooser(GtkWidget* dialog);

// A line per event for tests ("TESSALY_TEST_TRACE" names the file).
class Trace {
public:
    Trace() {
        if (const char* path = std::getenv("TESSALY_TEST_TRACE"); path && *path) file_ = std::fopen(path, "a");
    }
    ~Trace() {
        if (file_) std::fclose(file_);
    }
    Trace(const Trace&) = delete;
    Trace& operator=(const Trace&) = delete;
    bool on() const { return file_ != nullptr; }
    void line(const std::string& kind, const std::string& text) {
        if (!file_) return;
        std::string flat = text;
        for (char& c : flat)
            if (c == '\n') c = ' ';
        std::fprintf(file_, "%s: %s\n", kind.c_str(), flat.c_str());
        std::fflush(file_);
    }

private:
    std::FILE* file_ = nullptr;
};

// The monitor's 500 ms timer on the GLib main loop.
class GlibTimer : public MonitorTimer {
public:
    explicit GlibTimer(std::function<void()> onTick) : onTick_(std::move(onTick)) {}
    ~GlibTimer() override {
        stop();
        *alive_ = false;
    }
    GlibTimer(const GlibTimer&) = delete;
    GlibTimer& operator=(const GlibTimer&) = delete;

    void start(unsigned intervalMs) override {
        stop();
        source_ = g_timeout_add(intervalMs, &GlibTimer::expired, this);
    }
    void stop() override {
        if (source_) g_source_remove(source_);
        source_ = 0;
    }
    bool running() const override { return source_ != 0; }
    // From the worker thread: one extra tick on the main loop, if still running.
    void wakeSoon() override {
        struct Wake {
            GlibTimer* timer;
            std::shared_ptr<std::atomic<bool>> alive;
        };
        g_idle_add_full(
            G_PRIORITY_DEFAULT,
            [](gpointer data) -> gboolean {
                auto* wake = static_cast<Wake*>(data);
                if (*wake->alive && wake->timer->running()) wake->timer->onTick_();
                return G_SOURCE_REMOVE;
            },
            new Wake{this, alive_}, [](gpointer data) { delete static_cast<Wake*>(data); });
    }

private:
    static gboolean expired(gpointer self) {
        static_cast<GlibTimer*>(self)->onTick_();
        return G_SOURCE_CONTINUE;
    }
    std::function<void()> onTick_;
    guint source_ = 0;
    std::shared_ptr<std::atomic<bool>> alive_ = std::make_shared<std::atomic<bool>>(true);
};

class MainWindow;
class InterfaceOptionsDialog;

// The movie player: Ruffle in a web view, its files served through the
// "tessaly" URI scheme (file:// cannot load Ruffle's WebAssembly).
class PlayerHost {
public:
    PlayerHost(MainWindow& owner, std::string ruffleDir);
    GtkWidget* widget() const { return GTK_WIDGET(view_); }

    // 1, or 0 when the player cannot start (the owner is told).
    int loadMovie(std::string_view path, uint32_t background, int align, bool force);
    void setVariable(std::string_view name, std::string_view value);
    void setContextMenu(bool on) { contextMenu_ = on; }
    const std::string& moviePath() const { return moviePath_; }

private:
    static void serve(WebKitURISchemeRequest* request, gpointer self);
    static void scriptMessage(WebKitUserContentManager*, WebKitJavascriptResult* result, gpointer self);
    static gboolean webProcessGone(WebKitWebView*, WebKitWebProcessTerminationReason, gpointer self);
    // Runs a script in the player's page, once the page has the player.
    void run(const std::string& script);
    void hostReady();

    MainWindow& owner_;
    std::string ruffleDir_;
    WebKitWebView* view_ = nullptr;
    bool hostLoading_ = false;
    bool hostReady_ = false;
    std::vector<std::string> waiting_;
    std::string moviePath_;
    bool hasMovie_ = false;
    bool contextMenu_ = true;
    unsigned generation_ = 0;
};

class MainWindow : public UserInterface {
public:
    explicit MainWindow(const CommandLine& options);
    ~MainWindow() override;
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    // Runs the start-up checks and the monitor; false when start-up failed.
    bool start();
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

    // After the preferences changed (Customize): the player's popup menu
    // again and, with a converted movie shown, its alignment: when those
    // changed, the movie is loaded again, as the player takes them on loading.
    void preferencesChanged(bool playerChanged);
    // View in Browser with the template named, else the preferred one.
    void viewInBrowser(std::optional<std::string> templateName = std::nullopt);
    void openHelp(HelpTopic topic);

    // The player could not start: says so and closes.
    void playerFailed(const std::string& why);
    void playerReady(const std::string& path);
    void reportPlayerFailure();
    Trace& trace() { return trace_; }

private:
    GtkWidget* addItem(GtkWidget* menu, const char* text, std::function<void()> action, bool movieCommand = false,
                       bool checkItem = false);
    GtkWidget* addMenu(GtkWidget* bar, const char* text);
    void buildMenus(GtkWidget* box);
    void rebuildTemplateMenus();
    void tick();
    void save(bool html);
    // Save HTML with the template file named (a name in the template folder).
    void saveHtmlWith(const std::string& templateFile);
    // A template's item (shown without ".htm") whose action gets the file name.
    void appendTemplateItem(GtkWidget* menu, const std::string& name,
                            std::function<void(const std::string&)> action);
    void notYet(const char* what);
    void snapshot(const std::string& path);

    // The dialogs (dialogs.cpp).
    void showCustomize();
    void showInterfaceOptions();
    void interfaceOptionsCommand();
    void checkInterfaceOptions(bool on);
    void hideInterfaceOptions();
    void showAboutInterface();
    void showAbout();
    // Writes the preferences with the window's (and the Interface Options
    // dialog's) place as they are now.
    void storeAllPreferences();

    // Start-up: the stored placement and the start mode, cascading over
    // other Tessaly windows, the skin, dropped files.
    void placeWindow();
    void cascade();
    void loadSkin();
    void acceptDrops();
    void showDropMessages();

    static gboolean onDelete(GtkWidget*, GdkEvent*, gpointer self);
    static gboolean onDrawBody(GtkWidget*, cairo_t* cr, gpointer self);
    static void onDrop(GtkWidget*, GdkDragContext* context, gint, gint, GtkSelectionData* data, guint, guint time,
                       gpointer self);
    static gboolean onPress(GtkWidget*, GdkEventButton* event, gpointer self);

    CommandLine options_;
    Trace trace_;
    GtkWidget* window_ = nullptr;
    GtkWidget* status_ = nullptr;
    GtkAccelGroup* accel_ = nullptr;
    std::vector<GtkWidget*> movieCommands_;
    GtkWidget* interfaceOptions_ = nullptr;
    GtkWidget* saveWithMenu_ = nullptr;
    GtkWidget* browserWithMenu_ = nullptr;
    GtkWidget* body_ = nullptr;
    GtkWidget* bar_ = nullptr;
    GdkPixbuf* skin_ = nullptr;
    std::string browserPage_;
    // Where the window was put at start (known before the display has it).
    std::optional<WindowRect> placed_;
    std::unique_ptr<DroppedFilePrinter> dropPrinter_;
    std::shared_ptr<std::atomic<bool>> alive_ = std::make_shared<std::atomic<bool>>(true);
    std::unique_ptr<PlayerHost> player_;
    std::unique_ptr<GlibTimer> timer_;
    std::unique_ptr<ValueStore> store_;
    Preferences preferences_;
    SavePreferences savePreferences_;
    std::unique_ptr<JobMonitor> monitor_;
    std::unique_ptr<InterfaceOptionsDialog> interfaceDialog_;
    bool interfaceStale_ = false;
    bool syncingCheck_ = false;
    std::string base_, spool_;
    bool ticking_ = false;
    bool closing_ = false;
    bool closed_ = false;
    bool playerFailed_ = false;
    int exitStatus_ = 0;
    int snapshots_ = 0;
};

}  // namespace tessaly::app::gtkwin
