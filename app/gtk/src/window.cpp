#include "app/gtk/window.h"

#include "main_window.h"

#include "dialogs.h"

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <strings.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "app/job_monitor.h"
#include "app/player_page.h"
#include "app/preferences.h"
#include "app/saving.h"
#include "app/start_up.h"
#include "app/user_interface.h"
#include "composer/settings.h"
#include "platform/printer_registry.h"
#include "platform/registry.h"
#include "platform/user_spool.h"
#include "support/directories.h"
#include "support/paths.h"

namespace tessaly::app::gtkwin {

namespace {

std::optional<std::string> readWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream data;
    data << in.rdbuf();
    return data.str();
}

const char* mimeType(const std::string& name) {
    auto ends = [&](const char* tail) {
        const size_t n = std::char_traits<char>::length(tail);
        return name.size() >= n && name.compare(name.size() - n, n, tail) == 0;
    };
    if (ends(".js")) return "text/javascript";
    if (ends(".wasm")) return "application/wasm";
    if (ends(".swf")) return "application/x-shockwave-flash";
    if (ends(".html")) return "text/html";
    return "application/octet-stream";
}

// Where Ruffle is: TESSALY_RUFFLE_DIR, else the data directory's "ruffle/"
// (the build and the installation put it there).
std::string ruffleDirectory(const std::string& base) {
    if (const char* dir = std::getenv("TESSALY_RUFFLE_DIR"); dir && *dir) return dir;
    return base + "ruffle";
}

}  // namespace

// ---- player ----

PlayerHost::PlayerHost(MainWindow& owner, std::string ruffleDir) : owner_(owner), ruffleDir_(std::move(ruffleDir)) {
    WebKitWebContext* context = webkit_web_context_new();
    // Ruffle picks its texts by the preferred language and fails without one.
    const char* const languages[] = {"en-US", nullptr};
    webkit_web_context_set_preferred_languages(context, languages);
    webkit_web_context_register_uri_scheme(context, kScheme, &PlayerHost::serve, this, nullptr);
    WebKitSecurityManager* security = webkit_web_context_get_security_manager(context);
    webkit_security_manager_register_uri_scheme_as_secure(security, kScheme);
    webkit_security_manager_register_uri_scheme_as_cors_enabled(security, kScheme);

    WebKitUserContentManager* content = webkit_user_content_manager_new();
    g_signal_connect(content, "script-message-received::tessaly", G_CALLBACK(&PlayerHost::scriptMessage), this);
    webkit_user_content_manager_register_script_message_handler(content, "tessaly");

    view_ = WEBKIT_WEB_VIEW(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", context, "user-content-manager",
                                         content, nullptr));
    g_object_unref(content);
    g_object_unref(context);
    WebKitSettings* settings = webkit_web_view_get_settings(view_);
    webkit_settings_set_enable_developer_extras(settings, FALSE);
    g_signal_connect(view_, "web-process-terminated", G_CALLBACK(&PlayerHost::webProcessGone), this);
}

void PlayerHost::serve(WebKitURISchemeRequest* request, gpointer self) {
    auto* host = static_cast<PlayerHost*>(self);
    const std::string path = webkit_uri_scheme_request_get_path(request);
    std::optional<std::string> body;
    std::string name = path;
    if (path == "/player.html") {
        body = playerPageHtml(std::string(kScheme) + "://app/ruffle/ruffle.js");
    } else if (path.rfind("/ruffle/", 0) == 0) {
        const std::string file = path.substr(8);
        // Only the files of the player's own folder.
        if (!file.empty() && file.find('/') == std::string::npos && file.find("..") == std::string::npos)
            body = readWholeFile(host->ruffleDir_ + "/" + file);
    } else if (path.rfind("/movie/", 0) == 0 && host->hasMovie_) {
        // Only the movie being shown, whatever the rest of the address says.
        body = readWholeFile(host->moviePath_);
        name = ".swf";
    }
    if (!body) {
        GError* error = g_error_new(G_IO_ERROR, G_IO_ERROR_NOT_FOUND, "not found: %s", path.c_str());
        webkit_uri_scheme_request_finish_error(request, error);
        g_error_free(error);
        return;
    }
    auto* data = new std::string(std::move(*body));
    GBytes* bytes = g_bytes_new_with_free_func(data->data(), data->size(),
                                               [](gpointer d) { delete static_cast<std::string*>(d); }, data);
    GInputStream* stream = g_memory_input_stream_new_from_bytes(bytes);
    webkit_uri_scheme_request_finish(request, stream, static_cast<gint64>(g_bytes_get_size(bytes)),
                                     mimeType(name));
    g_object_unref(stream);
    g_bytes_unref(bytes);
}

void PlayerHost::scriptMessage(WebKitUserContentManager*, WebKitJavascriptResult* result, gpointer self) {
    auto* host = static_cast<PlayerHost*>(self);
    JSCValue* value = webkit_javascript_result_get_js_value(result);
    char* text = jsc_value_to_string(value);
    std::string message = text ? text : "";
    g_free(text);
    // A page that was replaced may still report (a load it no longer needs
    // failing as it is torn down): only the current page counts.
    const size_t bar = message.find('|');
    if (bar == std::string::npos) return;
    const std::string generation = message.substr(0, bar);
    message.erase(0, bar + 1);
    // The page itself: the player's code loaded, or not.
    if (generation == "0" && message == "host") {
        host->hostReady();
        return;
    }
    if (generation == "0" && message.rfind("host-failed:", 0) == 0) {
        host->owner_.playerFailed(message.substr(12));
        return;
    }
    if (generation != std::to_string(host->generation_)) return;
    if (message == "ready") {
        host->owner_.playerReady(host->moviePath_);
    } else if (message.rfind("set:", 0) == 0) {
        // The movie took a variable through its callback.
        host->owner_.trace().line("variable-set", message.substr(4));
    } else if (message.rfind("failed:", 0) == 0) {
        host->owner_.playerFailed(message.substr(7));
    }
}

gboolean PlayerHost::webProcessGone(WebKitWebView*, WebKitWebProcessTerminationReason, gpointer self) {
    static_cast<PlayerHost*>(self)->owner_.playerFailed("the player's process ended");
    return TRUE;
}

int PlayerHost::loadMovie(std::string_view path, uint32_t background, int align, bool force) {
    if (!force && hasMovie_ && moviePath_.size() == path.size() &&
        strncasecmp(moviePath_.c_str(), std::string(path).c_str(), path.size()) == 0)
        return 1;
    std::error_code ec;
    if (!std::filesystem::exists(ruffleDir_ + "/ruffle.js", ec)) {
        owner_.playerFailed("no ruffle.js in " + ruffleDir_);
        return 0;
    }
    moviePath_ = std::string(path);
    hasMovie_ = !path.empty();
    ++generation_;
    PlayerPage page;
    // A new address each time: the player never gets a cached movie.
    if (hasMovie_) page.movieUrl = std::string(kScheme) + "://app/movie/" + std::to_string(generation_) + ".swf";
    page.background = background;
    page.align = align;
    page.contextMenu = contextMenu_;
    page.generation = generation_;
    run(loadMovieScript(page));
    gtk_widget_grab_focus(widget());
    return 1;
}

void PlayerHost::setVariable(std::string_view name, std::string_view value) { run(setVariableScript(name, value)); }

void PlayerHost::run(const std::string& script) {
    if (!hostReady_) {
        // The page loads the player once; what is asked before it can start
        // waits, in order.
        waiting_.push_back(script);
        if (!hostLoading_) {
            hostLoading_ = true;
            const std::string uri = std::string(kScheme) + "://app/player.html";
            webkit_web_view_load_uri(view_, uri.c_str());
        }
        return;
    }
    webkit_web_view_evaluate_javascript(view_, script.c_str(), -1, nullptr, nullptr, nullptr, nullptr, nullptr);
}

void PlayerHost::hostReady() {
    hostReady_ = true;
    std::vector<std::string> waiting;
    waiting.swap(waiting_);
    for (const std::string& script : waiting) run(script);
}

// ---- window ----

MainWindow::MainWindow(const CommandLine& options) : options_(options) {
    window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(window_), "Tessaly");
    gtk_window_set_default_size(GTK_WINDOW(window_), 652, 552);
    accel_ = gtk_accel_group_new();
    gtk_window_add_accel_group(GTK_WINDOW(window_), accel_);

    GtkWidget* outer = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
    gtk_container_add(GTK_CONTAINER(window_), outer);
    buildMenus(outer);

    GtkWidget* body = gtk_event_box_new();
    body_ = body;
    // The body paints its skin (or white) itself, behind the controls.
    gtk_widget_set_app_paintable(body, TRUE);
    g_signal_connect(body, "draw", G_CALLBACK(&MainWindow::onDrawBody), this);
    gtk_box_pack_start(GTK_BOX(outer), body, TRUE, TRUE, 0);
    // The player lies one margin below the bar, as the bar one below the top.
    GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 12);
    gtk_container_set_border_width(GTK_CONTAINER(box), 12);
    gtk_container_add(GTK_CONTAINER(body), box);
    g_signal_connect(body, "button-press-event", G_CALLBACK(&MainWindow::onPress), this);

    GtkWidget* bar = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
    bar_ = bar;
    gtk_widget_set_halign(bar, GTK_ALIGN_START);
    gtk_box_pack_start(GTK_BOX(box), bar, FALSE, FALSE, 0);
    GtkWidget* buttons = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 0);
    gtk_box_pack_start(GTK_BOX(bar), buttons, FALSE, FALSE, 0);
    struct Button {
        const char* label;
        std::function<void()> action;
    };
    const Button list[] = {{"Save", [this] { save(false); }},
                           {"Save HTML", [this] { save(true); }},
                           {"Interface", [this] { showInterfaceOptions(); }},
                           {"Browser", [this] { viewInBrowser(); }}};
    for (const Button& b : list) {
        GtkWidget* button = gtk_button_new_with_label(b.label);
        gtk_widget_set_size_request(button, 104, -1);
        auto* action = new std::function<void()>(b.action);
        g_signal_connect_data(button, "clicked", G_CALLBACK(+[](GtkButton*, gpointer f) {
                                  (*static_cast<std::function<void()>*>(f))();
                              }),
                              action, [](gpointer f, GClosure*) { delete static_cast<std::function<void()>*>(f); },
                              GConnectFlags(0));
        gtk_box_pack_start(GTK_BOX(buttons), button, FALSE, FALSE, 0);
        movieCommands_.push_back(button);
    }
    GtkWidget* frame = gtk_frame_new(nullptr);
    gtk_frame_set_shadow_type(GTK_FRAME(frame), GTK_SHADOW_IN);
    gtk_widget_set_size_request(frame, 416, -1);
    gtk_widget_set_halign(frame, GTK_ALIGN_START);
    status_ = gtk_label_new("");
    gtk_label_set_xalign(GTK_LABEL(status_), 0.0f);
    gtk_label_set_ellipsize(GTK_LABEL(status_), PANGO_ELLIPSIZE_END);
    gtk_widget_set_margin_start(status_, 4);
    gtk_widget_set_margin_top(status_, 4);
    gtk_widget_set_margin_bottom(status_, 4);
    gtk_container_add(GTK_CONTAINER(frame), status_);
    gtk_box_pack_start(GTK_BOX(bar), frame, FALSE, FALSE, 0);

    base_.clear();
    const bool installed = readInstallPaths(&base_, &spool_) == 1;
    player_ = std::make_unique<PlayerHost>(*this, ruffleDirectory(installed ? base_ : std::string()));
    gtk_box_pack_start(GTK_BOX(box), player_->widget(), TRUE, TRUE, 0);

    g_signal_connect(window_, "delete-event", G_CALLBACK(&MainWindow::onDelete), this);
    enableMovieCommands(false);
}

MainWindow::~MainWindow() {
    interfaceDialog_.reset();
    *alive_ = false;
    dropPrinter_.reset();
    monitor_.reset();
    timer_.reset();
    if (skin_) g_object_unref(skin_);
    if (window_) gtk_widget_destroy(window_);
}

GtkWidget* MainWindow::addMenu(GtkWidget* bar, const char* text) {
    const MenuText label = menuText(text);
    GtkWidget* item = gtk_menu_item_new_with_mnemonic(label.label.c_str());
    GtkWidget* menu = gtk_menu_new();
    gtk_menu_set_accel_group(GTK_MENU(menu), accel_);
    gtk_menu_item_set_submenu(GTK_MENU_ITEM(item), menu);
    gtk_menu_shell_append(GTK_MENU_SHELL(bar), item);
    return menu;
}

GtkWidget* MainWindow::addItem(GtkWidget* menu, const char* text, std::function<void()> action, bool movieCommand,
                               bool checkItem) {
    const MenuText label = menuText(text);
    GtkWidget* item = checkItem ? gtk_check_menu_item_new_with_mnemonic(label.label.c_str())
                                : gtk_menu_item_new_with_mnemonic(label.label.c_str());
    if (!label.accelerator.empty()) {
        std::string accelerator = label.accelerator;
        if (accelerator.rfind("Ctrl+", 0) == 0) accelerator = "<Control>" + accelerator.substr(5);
        guint key = 0;
        GdkModifierType mods{};
        gtk_accelerator_parse(accelerator.c_str(), &key, &mods);
        if (key) gtk_widget_add_accelerator(item, "activate", accel_, gdk_keyval_to_lower(key), mods, GTK_ACCEL_VISIBLE);
    }
    if (action) {
        auto* f = new std::function<void()>(std::move(action));
        g_signal_connect_data(item, "activate", G_CALLBACK(+[](GtkMenuItem*, gpointer p) {
                                  (*static_cast<std::function<void()>*>(p))();
                              }),
                              f, [](gpointer p, GClosure*) { delete static_cast<std::function<void()>*>(p); },
                              GConnectFlags(0));
    }
    gtk_menu_shell_append(GTK_MENU_SHELL(menu), item);
    if (movieCommand) movieCommands_.push_back(item);
    return item;
}

void MainWindow::buildMenus(GtkWidget* box) {
    GtkWidget* bar = gtk_menu_bar_new();
    gtk_box_pack_start(GTK_BOX(box), bar, FALSE, FALSE, 0);

    GtkWidget* file = addMenu(bar, "&File");
    addItem(file, "&Save...\tCtrl+S", [this] { save(false); }, true);
    addItem(file, "Save &HTML...\tCtrl+H", [this] { save(true); }, true);
    GtkWidget* saveWith = addItem(file, "Save HTML &with", nullptr, true);
    saveWithMenu_ = gtk_menu_new();
    gtk_menu_item_set_submenu(GTK_MENU_ITEM(saveWith), saveWithMenu_);
    gtk_menu_shell_append(GTK_MENU_SHELL(file), gtk_separator_menu_item_new());
    addItem(file, "&Customize...\tCtrl+U", [this] { showCustomize(); });
    gtk_menu_shell_append(GTK_MENU_SHELL(file), gtk_separator_menu_item_new());
    addItem(file, "E&xit", [this] { closeWindow(); });

    GtkWidget* iface = addMenu(bar, "&Interface");
    interfaceOptions_ = addItem(iface, "Interface &Options...\tCtrl+I", [this] { interfaceOptionsCommand(); }, true,
                                 true);
    addItem(iface, "&About this Interface", [this] { showAboutInterface(); }, true);

    GtkWidget* flash = addMenu(bar, "F&lash");
    addItem(flash, "View in &Browser\tCtrl+B", [this] { viewInBrowser(); }, true);
    GtkWidget* browserWith = addItem(flash, "View in Browser &with", nullptr, true);
    browserWithMenu_ = gtk_menu_new();
    gtk_menu_item_set_submenu(GTK_MENU_ITEM(browserWith), browserWithMenu_);
    addItem(flash, "&Reload Movie\tCtrl+R", [this] {
        if (monitor_ && monitor_->hasMovie())
            loadMovie(monitor_->movie().moviePath, monitor_->movie().backgroundColor,
                      monitor_->preferences().flashAlign, true);
    }, true);

    GtkWidget* help = addMenu(bar, "&Help");
    addItem(help, "&Contents\tF1", [this] { openHelp(HelpTopic::contents); });
    addItem(help, "&Search", [this] { openHelp(HelpTopic::search); });
    addItem(help, "&Printing with Tessaly", [this] { openHelp(HelpTopic::printing); });
    addItem(help, "&Tessaly Settings", [this] { openHelp(HelpTopic::settings); });
    addItem(help, "Tessaly Printing &Tips", [this] { openHelp(HelpTopic::tips); });
    gtk_menu_shell_append(GTK_MENU_SHELL(help), gtk_separator_menu_item_new());
    addItem(help, "&About Tessaly...", [this] { showAbout(); });

    // The template lists follow the folder each time a menu opens.
    for (GtkWidget* menu : {file, flash})
        g_signal_connect_swapped(menu, "show", G_CALLBACK(+[](gpointer self) {
                                     static_cast<MainWindow*>(self)->rebuildTemplateMenus();
                                 }),
                                 this);
}

void MainWindow::rebuildTemplateMenus() {
    if (!monitor_ || monitor_->state() != MonitorState::Done) return;
    const std::vector<std::string> names = templateNames(base_ + "HTML Template/");
    if (trace_.on()) {
        std::string list;
        for (const std::string& name : names) list += (list.empty() ? "" : "|") + name;
        trace_.line("templates", list);
    }
    for (GtkWidget* menu : {saveWithMenu_, browserWithMenu_}) {
        GList* children = gtk_container_get_children(GTK_CONTAINER(menu));
        for (GList* c = children; c; c = c->next) gtk_widget_destroy(GTK_WIDGET(c->data));
        g_list_free(children);
        const bool browser = menu == browserWithMenu_;
        for (const std::string& name : names)
            appendTemplateItem(menu, name, [this, browser](const std::string& file) {
                if (browser) {
                    viewInBrowser(file);
                } else {
                    saveHtmlWith(file);
                }
            });
    }
}

bool MainWindow::start() {
    gtk_widget_show_all(window_);
    if (readInstallPaths(&base_, &spool_) != 1) {
        reportStartUpFailure(*this, StartUpFailure::notInstalled);
        exitStatus_ = 1;
        return false;
    }
    if (std::string why; checkPrinter(kPrinterName, &why) != 1) {
        trace_.line("printer", why);
        reportStartUpFailure(*this, StartUpFailure::noPrinter);
        exitStatus_ = 1;
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
            return false;
        }
    }
    store_ = std::make_unique<ValueStore>(ValueStore::configured());
    preferences_ = loadPreferences(*store_);
    savePreferences_ = preferences_.save();
    player_->setContextMenu(savePreferences_.showFlashPopup);
    placeWindow();
    cascade();
    loadSkin();
    acceptDrops();

    MonitorConfig config;
    config.baseDirectory = base_;
    config.spoolDirectory = spool_;
    config.attached = options_.attached;
    config.preferences = preferences_.monitor();
    config.saveMovie = [this](JobMonitor& m, bool html) {
        return saveMonitorMovie(m, *this, savePreferences_, html, store_.get()) == 1;
    };
    timer_ = std::make_unique<GlibTimer>([this] { tick(); });
    monitor_ = std::make_unique<JobMonitor>(*this, *timer_, std::move(config));
    const int first = monitor_->tick();
    const MonitorState state = monitor_->state();
    if (first && (options_.attached || monitor_->holdsJob()) &&
        state != MonitorState::Done && state != MonitorState::Failed)
        monitor_->startTimer();
    return !closed_;
}

void MainWindow::tick() {
    // A message box runs a nested loop: the timer must not step the monitor
    // again while one of its own messages is open.
    if (ticking_ || !monitor_) return;
    ticking_ = true;
    (void)monitor_->tick();
    ticking_ = false;
}

void MainWindow::save(bool html) {
    if (!monitor_ || !monitor_->hasMovie()) return;
    if (saveMonitorMovie(*monitor_, *this, savePreferences_, html, store_.get()) == 1) {
        monitor_->setSaved(true);
        trace_.line("saved", html ? "html" : "swf");
    }
}

void MainWindow::notYet(const char* what) {
    showMessage(*this, std::string(what) + " is not available yet.", "Tessaly", MessageIcon::information);
}

MessageAnswer MainWindow::messageBox(const Message& message) {
    trace_.line("message", std::string(message.title) + ": " + std::string(message.text));
    GtkMessageType type = GTK_MESSAGE_OTHER;
    switch (message.icon) {
    case MessageIcon::information: type = GTK_MESSAGE_INFO; break;
    case MessageIcon::warning: type = GTK_MESSAGE_WARNING; break;
    case MessageIcon::error: type = GTK_MESSAGE_ERROR; break;
    case MessageIcon::question: type = GTK_MESSAGE_QUESTION; break;
    case MessageIcon::plain: break;
    }
    GtkWindow* parent = message.ownerless || !window_ ? nullptr : GTK_WINDOW(window_);
    const std::string text(message.text);
    GtkWidget* dialog = gtk_message_dialog_new(parent, GTK_DIALOG_MODAL, type, GTK_BUTTONS_NONE, "%s", text.c_str());
    gtk_window_set_title(GTK_WINDOW(dialog), std::string(message.title).c_str());
    if (message.topmost) gtk_window_set_keep_above(GTK_WINDOW(dialog), TRUE);
    MessageAnswer closed = MessageAnswer::cancel;
    switch (message.buttons) {
    case MessageButtons::ok:
        gtk_dialog_add_button(GTK_DIALOG(dialog), "_OK", GTK_RESPONSE_OK);
        closed = MessageAnswer::ok;
        break;
    case MessageButtons::okCancel:
        gtk_dialog_add_buttons(GTK_DIALOG(dialog), "_OK", GTK_RESPONSE_OK, "_Cancel", GTK_RESPONSE_CANCEL, nullptr);
        break;
    case MessageButtons::yesNo:
        gtk_dialog_add_buttons(GTK_DIALOG(dialog), "_Yes", GTK_RESPONSE_YES, "_No", GTK_RESPONSE_NO, nullptr);
        closed = MessageAnswer::no;
        break;
    case MessageButtons::yesNoCancel:
        gtk_dialog_add_buttons(GTK_DIALOG(dialog), "_Yes", GTK_RESPONSE_YES, "_No", GTK_RESPONSE_NO, "_Cancel",
                               GTK_RESPONSE_CANCEL, nullptr);
        break;
    }
    const int response = gtk_dialog_run(GTK_DIALOG(dialog));
    gtk_widget_destroy(dialog);
    switch (response) {
    case GTK_RESPONSE_OK: return MessageAnswer::ok;
    case GTK_RESPONSE_YES: return MessageAnswer::yes;
    case GTK_RESPONSE_NO: return MessageAnswer::no;
    case GTK_RESPONSE_CANCEL: return MessageAnswer::cancel;
    default: return closed;
    }
}

void MainWindow::setStatusText(std::string_view text) {
    const std::string value(text);
    gtk_label_set_text(GTK_LABEL(status_), value.c_str());
    trace_.line("status", value);
}

void MainWindow::enableMovieCommands(bool enable) {
    for (GtkWidget* w : movieCommands_) gtk_widget_set_sensitive(w, enable);
    hideInterfaceOptions();
    trace_.line("commands", enable ? "on" : "off");
}

void MainWindow::restoreWindow() {
    gtk_window_deiconify(GTK_WINDOW(window_));
    gtk_window_present(GTK_WINDOW(window_));
}

void MainWindow::closeWindow() {
    if (closing_ || closed_) return;
    closing_ = true;
    const bool close = !monitor_ || monitor_->cleanUpOnClose() == 1;
    closing_ = false;
    if (!close) return;
    if (timer_) timer_->stop();
    storeAllPreferences();
    interfaceDialog_.reset();
    closed_ = true;
    gtk_widget_hide(window_);
    trace_.line("closed", "");
    if (gtk_main_level() > 0) gtk_main_quit();
}

gboolean MainWindow::onDelete(GtkWidget*, GdkEvent*, gpointer self) {
    static_cast<MainWindow*>(self)->closeWindow();
    return TRUE;  // closeWindow hides and quits when the clean-up allows it
}

gboolean moveByBody(GtkWindow* window, const GdkEventButton* event) {
    if (event->button != 1 || event->type != GDK_BUTTON_PRESS) return FALSE;
    gtk_window_begin_move_drag(window, static_cast<gint>(event->button), static_cast<gint>(event->x_root),
                               static_cast<gint>(event->y_root), event->time);
    return TRUE;
}

std::optional<std::string> runFileChooser(GtkWidget* dialog) {
    std::optional<std::string> chosen;
    if (gtk_dialog_run(GTK_DIALOG(dialog)) == GTK_RESPONSE_ACCEPT) {
        if (char* name = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(dialog))) {
            chosen = std::string(name);
            g_free(name);
        }
    }
    gtk_widget_destroy(dialog);
    return chosen;
}

gboolean MainWindow::onPress(GtkWidget*, GdkEventButton* event, gpointer self) {
    return moveByBody(GTK_WINDOW(static_cast<MainWindow*>(self)->window_), event);
}

void MainWindow::loadMovie(std::string_view path, uint32_t background, int align, bool force) {
    if (closed_) return;
    trace_.line("load", std::string(path));
    (void)player_->loadMovie(path, background, align, force);
}

void MainWindow::setPlayerVariable(std::string_view name, std::string_view value) {
    trace_.line("variable", std::string(name) + "=" + std::string(value));
    player_->setVariable(name, value);
}

// Ruffle stands for Flash Player 32.
uint32_t MainWindow::playerVersion() { return 32u << 16; }

void MainWindow::playerReady(const std::string& path) {
    trace_.line("ready", path);
    if (!trace_.on()) return;
    // Tests look at what the player drew once it has had time to draw.
    const std::string dir = std::getenv("TESSALY_TEST_SNAPSHOTS") ? std::getenv("TESSALY_TEST_SNAPSHOTS") : "";
    if (dir.empty()) return;
    const std::string file = dir + "/snapshot" + std::to_string(++snapshots_) + ".png";
    struct Pending {
        MainWindow* window;
        std::string file;
    };
    const char* delay = std::getenv("TESSALY_TEST_SNAPSHOT_DELAY_MS");
    g_timeout_add_full(
        G_PRIORITY_DEFAULT, delay && *delay ? static_cast<guint>(std::strtoul(delay, nullptr, 10)) : 1500u,
        [](gpointer data) -> gboolean {
            auto* p = static_cast<Pending*>(data);
            if (!p->window->closed_) p->window->snapshot(p->file);
            return G_SOURCE_REMOVE;
        },
        new Pending{this, file}, [](gpointer data) { delete static_cast<Pending*>(data); });
}

void MainWindow::snapshot(const std::string& path) {
    struct Shot {
        MainWindow* window;
        std::string path;
    };
    webkit_web_view_get_snapshot(
        WEBKIT_WEB_VIEW(player_->widget()), WEBKIT_SNAPSHOT_REGION_VISIBLE, WEBKIT_SNAPSHOT_OPTIONS_NONE, nullptr,
        +[](GObject* source, GAsyncResult* result, gpointer data) {
            std::unique_ptr<Shot> shot(static_cast<Shot*>(data));
            cairo_surface_t* surface = webkit_web_view_get_snapshot_finish(WEBKIT_WEB_VIEW(source), result, nullptr);
            if (!surface) return;
            if (cairo_surface_write_to_png(surface, shot->path.c_str()) == CAIRO_STATUS_SUCCESS)
                shot->window->trace().line("snapshot", shot->path + " " + shot->window->player_->moviePath());
            cairo_surface_destroy(surface);
        },
        new Shot{this, path});
}

void MainWindow::playerFailed(const std::string& why) {
    if (closed_ || playerFailed_) return;
    playerFailed_ = true;
    trace_.line("player-failed", why);
    if (timer_) timer_->stop();
    // Said and closed from the main loop: the failure may come from inside a
    // monitor step, which must end before the clean-up runs.
    g_idle_add(
        [](gpointer self) -> gboolean {
            static_cast<MainWindow*>(self)->reportPlayerFailure();
            return G_SOURCE_REMOVE;
        },
        this);
}

void MainWindow::reportPlayerFailure() {
    if (closed_) return;
    showMessage(*this,
                "Could not create an instance of the Flash player - please install the Flash player before using "
                "Tessaly.\nThe Flash player can be freely downloaded from https://ruffle.rs/.\n",
                "Flash Player Not Installed", MessageIcon::warning);
    exitStatus_ = 1;
    closeWindow();
}

std::optional<std::string> MainWindow::saveFileName(std::string_view title, std::string_view initialPath,
                                                     std::string_view filter) {
    GtkWidget* dialog = gtk_file_chooser_dialog_new(std::string(title).c_str(), GTK_WINDOW(window_),
                                                    GTK_FILE_CHOOSER_ACTION_SAVE, "_Cancel", GTK_RESPONSE_CANCEL,
                                                    "_Save", GTK_RESPONSE_ACCEPT, nullptr);
    GtkFileChooser* chooser = GTK_FILE_CHOOSER(dialog);
    gtk_file_chooser_set_do_overwrite_confirmation(chooser, TRUE);
    const std::filesystem::path initial{std::string(initialPath)};
    if (initial.has_parent_path()) gtk_file_chooser_set_current_folder(chooser, initial.parent_path().c_str());
    if (initial.has_filename()) gtk_file_chooser_set_current_name(chooser, initial.filename().c_str());
    // "description|pattern|description|pattern"
    std::vector<std::string> parts;
    for (size_t at = 0; at <= filter.size();) {
        const size_t bar = filter.find('|', at);
        const size_t end = bar == std::string_view::npos ? filter.size() : bar;
        parts.emplace_back(filter.substr(at, end - at));
        at = end + 1;
    }
    for (size_t i = 0; i + 1 < parts.size(); i += 2) {
        if (parts[i].empty()) continue;
        GtkFileFilter* f = gtk_file_filter_new();
        gtk_file_filter_set_name(f, parts[i].c_str());
        for (size_t at = 0; at <= parts[i + 1].size();) {
            const size_t semi = parts[i + 1].find(';', at);
            const size_t end = semi == std::string::npos ? parts[i + 1].size() : semi;
            const std::string pattern = parts[i + 1].substr(at, end - at);
            if (!pattern.empty()) gtk_file_filter_add_pattern(f, pattern.c_str());
            at = end + 1;
        }
        gtk_file_chooser_add_filter(chooser, f);
    }
    return runFileChooser(dialog);
}

}  // namespace tessaly::app::gtkwin

namespace tessaly::app {

bool openDisplay(int* argc, char*** argv) { return gtk_init_check(argc, argv) == TRUE; }

int runWindow(const CommandLine& options) {
    gtkwin::MainWindow window(options);
    if (!window.start()) return window.exitStatus();
    gtk_main();
    return window.exitStatus();
}

}  // namespace tessaly::app
