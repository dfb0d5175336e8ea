// The window's shell around the player: the browser and the help pages,
// the preferences taken again, placement and cascading at start, the skin
// behind the controls and files dropped on the window.

#include <gtk/gtk.h>
#ifdef TESSALY_HAVE_X11
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <gdk/gdkx.h>
#endif

#include <strings.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/browser_view.h"
#include "app/dropped_files.h"
#include "app/preferences.h"
#include "app/saving.h"
#include "app/skin.h"
#include "main_window.h"

namespace tessaly::app::gtkwin {

namespace {

// Opens a file with the desktop's default application through xdg-open,
// started from an argument vector (no shell) and not waited for; false when
// it cannot be started.
bool openWithDesktop(const std::string& path) {
    std::error_code ec;
    // An absolute path cannot be taken for one of xdg-open's options.
    const std::string target = std::filesystem::absolute(path, ec).string();
    if (ec || target.empty()) return false;
    gchar* argv[] = {const_cast<gchar*>("xdg-open"), const_cast<gchar*>(target.c_str()), nullptr};
    GError* error = nullptr;
    const gboolean started = g_spawn_async(nullptr, argv, nullptr, G_SPAWN_SEARCH_PATH, nullptr, nullptr, nullptr,
                                           &error);
    if (error) g_error_free(error);
    return started == TRUE;
}

// tessaly-print beside this program.
std::string printProgram() {
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ((ec ? std::filesystem::path(".") : self.parent_path()) / "tessaly-print").string();
}

struct Screen {
    int workWidth = 0, workHeight = 0;
    int width = 0, height = 0;
};

Screen screenOf(GtkWidget* window) {
    Screen screen;
    GdkDisplay* display = gtk_widget_get_display(window);
    GdkMonitor* monitor = gdk_display_get_primary_monitor(display);
    if (!monitor && gdk_display_get_n_monitors(display) > 0) monitor = gdk_display_get_monitor(display, 0);
    if (!monitor) return screen;
    GdkRectangle area{};
    gdk_monitor_get_workarea(monitor, &area);
    screen.workWidth = area.width;
    screen.workHeight = area.height;
    gdk_monitor_get_geometry(monitor, &area);
    screen.width = area.width;
    screen.height = area.height;
    return screen;
}

bool minimizedOrMaximized(GtkWidget* window) {
    GdkWindow* gdk = gtk_widget_get_window(window);
    if (!gdk) return false;
    const GdkWindowState state = gdk_window_get_state(gdk);
    return (state & (GDK_WINDOW_STATE_ICONIFIED | GDK_WINDOW_STATE_MAXIMIZED | GDK_WINDOW_STATE_FULLSCREEN)) != 0;
}

#ifdef TESSALY_HAVE_X11
// A window property of 32-bit items (longs in Xlib's interface).
std::vector<unsigned long> longProperty(Display* display, ::Window window, const char* name, Atom type) {
    std::vector<unsigned long> values;
    Atom actualType = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    const Atom property = XInternAtom(display, name, True);
    if (property == None) return values;
    if (XGetWindowProperty(display, window, property, 0, 4096, False, type, &actualType, &format, &count, &after,
                           &data) == Success &&
        data) {
        if (format == 32) {
            const auto* items = reinterpret_cast<const unsigned long*>(data);
            values.assign(items, items + count);
        }
        XFree(data);
    }
    return values;
}

std::string windowTitle(Display* display, ::Window window) {
    std::string title;
    Atom actualType = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    const Atom netName = XInternAtom(display, "_NET_WM_NAME", True);
    const Atom utf8 = XInternAtom(display, "UTF8_STRING", True);
    if (netName != None && utf8 != None &&
        XGetWindowProperty(display, window, netName, 0, 256, False, utf8, &actualType, &format, &count, &after,
                           &data) == Success &&
        data) {
        if (format == 8) title.assign(reinterpret_cast<const char*>(data), count);
        XFree(data);
        if (!title.empty()) return title;
    }
    char* name = nullptr;
    if (XFetchName(display, window, &name) && name) {
        title = name;
        XFree(name);
    }
    return title;
}

// The top-left corners (of their frames) of the other windows titled
// "Tessaly" that are shown neither minimised nor maximised. The window
// manager's client list when there is one, else the root's children (no
// window manager: the top-level windows are those).
std::vector<WindowPoint> otherTessalyWindows(GtkWidget* self) {
    std::vector<WindowPoint> corners;
    GdkDisplay* gdkDisplay = gtk_widget_get_display(self);
    GdkWindow* own = gtk_widget_get_window(self);
    if (!GDK_IS_X11_DISPLAY(gdkDisplay) || !own) return corners;
    Display* display = gdk_x11_display_get_xdisplay(gdkDisplay);
    const ::Window root = DefaultRootWindow(display);
    const ::Window ownId = gdk_x11_window_get_xid(own);
    std::vector<unsigned long> clients = longProperty(display, root, "_NET_CLIENT_LIST", XA_WINDOW);
    if (clients.empty()) {
        ::Window rootReturn = 0, parent = 0;
        ::Window* children = nullptr;
        unsigned int count = 0;
        if (XQueryTree(display, root, &rootReturn, &parent, &children, &count) && children) {
            clients.assign(children, children + count);
            XFree(children);
        }
    }
    const Atom hidden = XInternAtom(display, "_NET_WM_STATE_HIDDEN", True);
    const Atom maxVert = XInternAtom(display, "_NET_WM_STATE_MAXIMIZED_VERT", True);
    const Atom maxHorz = XInternAtom(display, "_NET_WM_STATE_MAXIMIZED_HORZ", True);
    gdk_x11_display_error_trap_push(gdkDisplay);
    for (const unsigned long client : clients) {
        const ::Window window = client;
        if (window == ownId) continue;
        XWindowAttributes attributes{};
        if (!XGetWindowAttributes(display, window, &attributes) || attributes.map_state != IsViewable) continue;
        if (attributes.override_redirect) continue;
        if (strcasecmp(windowTitle(display, window).c_str(), "Tessaly") != 0) continue;
        const std::vector<unsigned long> state = longProperty(display, window, "_NET_WM_STATE", XA_ATOM);
        bool skip = false;
        for (const unsigned long atom : state)
            if ((hidden != None && atom == hidden) || (maxVert != None && atom == maxVert) ||
                (maxHorz != None && atom == maxHorz))
                skip = true;
        if (skip) continue;
        int x = 0, y = 0;
        ::Window child = 0;
        if (!XTranslateCoordinates(display, window, root, 0, 0, &x, &y, &child)) continue;
        // The frame's corner, as this window's own position is given.
        const std::vector<unsigned long> extents = longProperty(display, window, "_NET_FRAME_EXTENTS", XA_CARDINAL);
        if (extents.size() == 4) {
            x -= static_cast<int>(extents[0]);
            y -= static_cast<int>(extents[2]);
        }
        corners.push_back({x, y});
    }
    gdk_x11_display_error_trap_pop_ignored(gdkDisplay);
    return corners;
}
#else
// Without X11 only this instance's own windows can be seen.
std::vector<WindowPoint> otherTessalyWindows(GtkWidget* self) {
    std::vector<WindowPoint> corners;
    GList* windows = gtk_window_list_toplevels();
    for (GList* w = windows; w; w = w->next) {
        GtkWindow* window = GTK_WINDOW(w->data);
        if (GTK_WIDGET(window) == self || !gtk_widget_get_visible(GTK_WIDGET(window))) continue;
        const char* title = gtk_window_get_title(window);
        if (!title || strcasecmp(title, "Tessaly") != 0 || minimizedOrMaximized(GTK_WIDGET(window))) continue;
        int x = 0, y = 0;
        gtk_window_get_position(window, &x, &y);
        corners.push_back({x, y});
    }
    g_list_free(windows);
    return corners;
}
#endif

}  // namespace

// ---- browser and help ----

void MainWindow::viewInBrowser(std::optional<std::string> templateName) {
    if (!monitor_ || closed_) return;
    std::optional<std::string_view> name;
    if (templateName) name = *templateName;
    if (app::viewInBrowser(*monitor_, *this, savePreferences_, name, &openWithDesktop, &browserPage_) == 1)
        trace_.line("browser", browserPage_);
}

void MainWindow::openHelp(HelpTopic topic) {
    // A help page that cannot be opened is not reported.
    const bool opened = app::openHelp(base_, topic, &openWithDesktop);
    trace_.line("help", helpPagePath(base_, topic) + (opened ? "" : " (not opened)"));
}

void MainWindow::saveHtmlWith(const std::string& templateFile) {
    if (!monitor_ || !monitor_->hasMovie()) return;
    SaveContext context{*this, monitor_->config().baseDirectory, monitor_->movie(), savePreferences_};
    if (saveHtml(context, std::string_view(templateFile), store_.get()) == 1) {
        monitor_->setSaved(true);
        trace_.line("saved", "html " + templateFile);
    }
}

void MainWindow::appendTemplateItem(GtkWidget* menu, const std::string& name,
                                    std::function<void(const std::string&)> action) {
    GtkWidget* item = gtk_menu_item_new_with_label(name.c_str());
    auto* f = new std::function<void()>([action = std::move(action), file = name + ".htm"] { action(file); });
    g_signal_connect_data(item, "activate", G_CALLBACK(+[](GtkMenuItem*, gpointer p) {
                              (*static_cast<std::function<void()>*>(p))();
                          }),
                          f, [](gpointer p, GClosure*) { delete static_cast<std::function<void()>*>(p); },
                          GConnectFlags(0));
    gtk_menu_shell_append(GTK_MENU_SHELL(menu), item);
    gtk_widget_show(item);
}

// ---- preferences ----

void MainWindow::preferencesChanged(bool playerChanged) {
    // What saving changed stays; the rest comes from the new preferences.
    preferences_.takeSave(savePreferences_);
    savePreferences_ = preferences_.save();
    if (monitor_) monitor_->preferences() = preferences_.monitor();
    player_->setContextMenu(savePreferences_.showFlashPopup);
    trace_.line("preferences", std::string("popup ") + (savePreferences_.showFlashPopup ? "1" : "0") + " align " +
                                   std::to_string(savePreferences_.flashAlign));
    // The player takes both when it loads: the movie shown is loaded again.
    if (playerChanged && monitor_ && monitor_->state() == MonitorState::Done && monitor_->hasMovie())
        loadMovie(monitor_->movie().moviePath, monitor_->movie().backgroundColor, monitor_->preferences().flashAlign,
                  true);
}

// ---- placement ----

void MainWindow::placeWindow() {
    const Screen screen = screenOf(window_);
    // Without a monitor to fit it onto, the window stays where it opened.
    if (preferences_.window && screen.width > 0 && screen.height > 0) {
        const WindowRect placed = app::placeWindow(*preferences_.window, screen.workWidth, screen.workHeight,
                                                   screen.width, screen.height);
        gtk_window_move(GTK_WINDOW(window_), placed.x, placed.y);
        gtk_window_resize(GTK_WINDOW(window_), placed.width, placed.height);
        placed_ = placed;
        trace_.line("placed", std::to_string(placed.x) + "," + std::to_string(placed.y) + " " +
                                  std::to_string(placed.width) + "x" + std::to_string(placed.height));
    }
    switch (startShow(preferences_, options_.attached)) {
        case StartShow::minimized: gtk_window_iconify(GTK_WINDOW(window_)); break;
        case StartShow::maximized: gtk_window_maximize(GTK_WINDOW(window_)); break;
        case StartShow::asPlaced: break;
    }
}

void MainWindow::cascade() {
    WindowRect current;
    if (placed_) {
        current = *placed_;
    } else {
        gtk_window_get_position(GTK_WINDOW(window_), &current.x, &current.y);
        gtk_window_get_size(GTK_WINDOW(window_), &current.width, &current.height);
    }
    const Screen screen = screenOf(window_);
    const std::vector<WindowPoint> others = otherTessalyWindows(window_);
    const WindowPoint corner = cascadeWindow({current.x, current.y}, others, screen.height);
    if (corner == WindowPoint{current.x, current.y}) return;
    // Moved only where it still fits on the screen; stored either way.
    if (corner.x >= 0 && corner.y >= 0 && corner.x + current.width <= screen.width &&
        corner.y + current.height <= screen.height) {
        gtk_window_move(GTK_WINDOW(window_), corner.x, corner.y);
        current.x = corner.x;
        current.y = corner.y;
        trace_.line("cascaded", std::to_string(corner.x) + "," + std::to_string(corner.y));
    }
    placed_ = current;
    preferences_.window = current;
    preferences_.takeSave(savePreferences_);
    if (store_) storePreferences(*store_, preferences_, WindowShowState{minimizedOrMaximized(window_), false});
}

// ---- skin ----

void MainWindow::loadSkin() {
    // By its bare name: from the directory the program was started in.
    GdkPixbuf* skin = gdk_pixbuf_new_from_file("skin.bmp", nullptr);
    if (!skin) return;
    if (!skinAccepted(gdk_pixbuf_get_width(skin), gdk_pixbuf_get_height(skin))) {
        g_object_unref(skin);
        return;
    }
    skin_ = skin;
    trace_.line("skin", std::to_string(gdk_pixbuf_get_width(skin)) + "x" +
                            std::to_string(gdk_pixbuf_get_height(skin)));
    gtk_widget_queue_draw(window_);
}

gboolean MainWindow::onDrawBody(GtkWidget* body, cairo_t* cr, gpointer self) {
    auto* window = static_cast<MainWindow*>(self);
    GtkAllocation client{};
    gtk_widget_get_allocation(body, &client);
    GtkAllocation bar{};
    gtk_widget_get_allocation(window->bar_, &bar);
    int barX = 0, barY = 0;
    gtk_widget_translate_coordinates(window->bar_, body, 0, 0, &barX, &barY);

    cairo_save(cr);
    // Only the body: the context may reach over the menu bar above it.
    cairo_rectangle(cr, 0, 0, client.width, client.height);
    cairo_clip(cr);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    if (window->skin_) {
        SkinLayout layout{client.width, client.height, barY, bar.height};
        for (const SkinCell& cell : skinCells(gdk_pixbuf_get_width(window->skin_),
                                              gdk_pixbuf_get_height(window->skin_), layout)) {
            GdkPixbuf* part = gdk_pixbuf_new_subpixbuf(window->skin_, cell.source.x, cell.source.y,
                                                       cell.source.width, cell.source.height);
            if (!part) continue;
            cairo_save(cr);
            cairo_rectangle(cr, cell.target.x, cell.target.y, cell.target.width, cell.target.height);
            cairo_clip(cr);
            cairo_translate(cr, cell.target.x, cell.target.y);
            cairo_scale(cr, double(cell.target.width) / cell.source.width,
                        double(cell.target.height) / cell.source.height);
            gdk_cairo_set_source_pixbuf(cr, part, 0, 0);
            cairo_pattern_set_extend(cairo_get_source(cr), CAIRO_EXTEND_PAD);
            cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_GOOD);
            cairo_paint(cr);
            cairo_restore(cr);
            g_object_unref(part);
        }
    }
    // A black frame just outside the button bar.
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_set_line_width(cr, 1);
    cairo_rectangle(cr, barX - 0.5, barY - 0.5, bar.width + 1, bar.height + 1);
    cairo_stroke(cr);
    cairo_restore(cr);
    return FALSE;  // the controls are drawn over it
}

// ---- dropped files ----

void MainWindow::acceptDrops() {
    static GtkTargetEntry uriList = {const_cast<gchar*>("text/uri-list"), 0, 0};
    gtk_drag_dest_set(window_, GTK_DEST_DEFAULT_ALL, &uriList, 1, GDK_ACTION_COPY);
    // The player would open a dropped file itself: the window takes them all.
    gtk_drag_dest_unset(player_->widget());
    g_signal_connect(window_, "drag-data-received", G_CALLBACK(&MainWindow::onDrop), this);
    std::shared_ptr<std::atomic<bool>> alive = alive_;
    dropPrinter_ = std::make_unique<DroppedFilePrinter>(
        [program = printProgram()](const std::string& path) { return printFileToPrinter(path, program); },
        [this, alive] {
            // From the printing thread: the messages are shown on the window's.
            struct Wake {
                MainWindow* window;
                std::shared_ptr<std::atomic<bool>> alive;
            };
            g_idle_add_full(
                G_PRIORITY_DEFAULT,
                [](gpointer data) -> gboolean {
                    auto* wake = static_cast<Wake*>(data);
                    if (*wake->alive) wake->window->showDropMessages();
                    return G_SOURCE_REMOVE;
                },
                new Wake{this, alive}, [](gpointer data) { delete static_cast<Wake*>(data); });
        });
}

void MainWindow::onDrop(GtkWidget*, GdkDragContext* context, gint, gint, GtkSelectionData* data, guint, guint time,
                        gpointer self) {
    auto* window = static_cast<MainWindow*>(self);
    const guchar* bytes = gtk_selection_data_get_data(data);
    const gint length = gtk_selection_data_get_length(data);
    std::vector<std::string> files;
    if (bytes && length > 0)
        files = filesFromUriList(std::string_view(reinterpret_cast<const char*>(bytes), static_cast<size_t>(length)));
    for (const std::string& file : files) window->trace_.line("dropped", file);
    if (window->dropPrinter_ && !window->closed_) window->dropPrinter_->print(std::move(files));
    // The default drop handling finishes the drag.
    (void)context;
    (void)time;
}

void MainWindow::showDropMessages() {
    if (!dropPrinter_ || closed_) return;
    for (const DroppedFilePrinter::Shown& shown : dropPrinter_->takeMessages()) {
        Message message{shown.text, shown.title, shown.icon, MessageButtons::ok};
        message.topmost = shown.topmost;
        (void)messageBox(message);
    }
}

}  // namespace tessaly::app::gtkwin
