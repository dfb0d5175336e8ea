#include "dialogs.h"

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "app/player_page.h"
#include "main_window.h"
#include "platform/registry.h"

namespace tessaly::app::gtkwin {

namespace {

std::string text(std::string_view view) {
    return std::string(view);
}

// A label and its tooltip: GTK has no "?" pointer, so each control's help
// text shows when the pointer rests on it (or on its label).
GtkWidget* labelled(GtkGrid* grid, int row, std::string_view caption, GtkWidget* control, std::string_view help,
                    const char* note = nullptr) {
    GtkWidget* label = gtk_label_new(text(caption).c_str());
    gtk_label_set_xalign(GTK_LABEL(label), 0.0f);
    gtk_grid_attach(grid, label, 0, row, 1, 1);
    gtk_grid_attach(grid, control, 1, row, 1, 1);
    gtk_widget_set_hexpand(control, TRUE);
    gtk_widget_set_tooltip_text(control, text(help).c_str());
    gtk_widget_set_tooltip_text(label, text(help).c_str());
    if (note) {
        GtkWidget* small = gtk_label_new(note);
        gtk_label_set_xalign(GTK_LABEL(small), 0.0f);
        gtk_grid_attach(grid, small, 2, row, 1, 1);
    }
    return control;
}

template <size_t N>
GtkWidget* dropDown(const std::array<std::string_view, N>& choices, int active) {
    GtkWidget* combo = gtk_combo_box_text_new();
    for (std::string_view choice : choices)
        gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(combo), text(choice).c_str());
    gtk_combo_box_set_active(GTK_COMBO_BOX(combo), active >= 0 && static_cast<size_t>(active) < N ? active : -1);
    return combo;
}

GtkGrid* group(GtkWidget* box, std::string_view title) {
    GtkWidget* frame = gtk_frame_new(text(title).c_str());
    gtk_box_pack_start(GTK_BOX(box), frame, FALSE, FALSE, 0);
    GtkWidget* grid = gtk_grid_new();
    gtk_grid_set_row_spacing(GTK_GRID(grid), 6);
    gtk_grid_set_column_spacing(GTK_GRID(grid), 8);
    gtk_container_set_border_width(GTK_CONTAINER(grid), 8);
    gtk_container_add(GTK_CONTAINER(frame), grid);
    return GTK_GRID(grid);
}

void addFilter(GtkFileChooser* chooser, const char* name, std::initializer_list<const char*> patterns) {
    GtkFileFilter* filter = gtk_file_filter_new();
    gtk_file_filter_set_name(filter, name);
    for (const char* pattern : patterns) gtk_file_filter_add_pattern(filter, pattern);
    gtk_file_chooser_add_filter(chooser, filter);
}

struct CustomizeControls {
    UserInterface* ui;
    std::string baseDirectory;
    GtkWidget* dialog;
    GtkWidget* templateField;
};

void chooseTemplate(GtkButton*, gpointer data) {
    auto* c = static_cast<CustomizeControls*>(data);
    GtkWidget* chooser = gtk_file_chooser_dialog_new(text(kSelectTemplateTitle).c_str(), GTK_WINDOW(c->dialog),
                                                     GTK_FILE_CHOOSER_ACTION_OPEN, "_Cancel", GTK_RESPONSE_CANCEL,
                                                     "_Open", GTK_RESPONSE_ACCEPT, nullptr);
    GtkFileChooser* files = GTK_FILE_CHOOSER(chooser);
    addFilter(files, "HTML Template Files", {"*.html", "*.htm"});
    addFilter(files, "All Files", {"*"});
    const std::string folder = templateChooserFolder(c->baseDirectory, gtk_entry_get_text(GTK_ENTRY(c->templateField)));
    gtk_file_chooser_set_current_folder(files, folder.c_str());
    const std::optional<std::string> chosen = runFileChooser(chooser);
    if (!chosen) return;
    if (std::optional<std::string> value = acceptChosenTemplate(*c->ui, c->baseDirectory, *chosen))
        gtk_entry_set_text(GTK_ENTRY(c->templateField), value->c_str());
}

// Shows the dialog until it is closed, Return pressing its OK button.
void runWithOkFocused(GtkWidget* dialog) {
    gtk_widget_show_all(dialog);
    if (GtkWidget* ok = gtk_dialog_get_widget_for_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK))
        gtk_widget_grab_focus(ok);
    (void)gtk_dialog_run(GTK_DIALOG(dialog));
    gtk_widget_destroy(dialog);
}

GtkWidget* okDialog(GtkWindow* parent, const std::string& title) {
    GtkWidget* dialog = gtk_dialog_new_with_buttons(title.c_str(), parent,
                                                    GtkDialogFlags(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT),
                                                    "_OK", GTK_RESPONSE_OK, nullptr);
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK);
    gtk_container_set_border_width(GTK_CONTAINER(dialog), 8);
    return dialog;
}

}  // namespace

bool runCustomizeDialog(GtkWindow* parent, UserInterface& ui, const std::string& baseDirectory,
                        CustomizeChoices& choices) {
    GtkWidget* dialog = gtk_dialog_new_with_buttons(text(kCustomizeTitle).c_str(), parent,
                                                    GtkDialogFlags(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT),
                                                    "_OK", GTK_RESPONSE_OK, "_Cancel", GTK_RESPONSE_CANCEL, nullptr);
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK);
    gtk_container_set_border_width(GTK_CONTAINER(dialog), 8);
    GtkWidget* box = gtk_dialog_get_content_area(GTK_DIALOG(dialog));
    gtk_box_set_spacing(GTK_BOX(box), 8);

    GtkGrid* html = group(box, kHtmlSettingsGroup);
    GtkWidget* templateRow = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 4);
    GtkWidget* field = gtk_entry_new();
    gtk_entry_set_text(GTK_ENTRY(field), choices.htmlTemplate.c_str());
    gtk_entry_set_activates_default(GTK_ENTRY(field), TRUE);
    gtk_entry_set_width_chars(GTK_ENTRY(field), 32);
    gtk_widget_set_hexpand(field, TRUE);
    GtkWidget* browse = gtk_button_new_with_label("...");
    gtk_widget_set_tooltip_text(browse, text(kTemplateHelp).c_str());
    gtk_widget_set_tooltip_text(field, text(kTemplateHelp).c_str());
    gtk_box_pack_start(GTK_BOX(templateRow), field, TRUE, TRUE, 0);
    gtk_box_pack_start(GTK_BOX(templateRow), browse, FALSE, FALSE, 0);
    labelled(html, 0, "HTML Template:", templateRow, kTemplateHelp);
    GtkWidget* popup = labelled(html, 1, "Flash Popup:", dropDown(kFlashPopupChoices, choices.flashPopup),
                                kFlashPopupHelp, "(HTML only)");
    GtkWidget* align = labelled(html, 2, "Flash Align:", dropDown(kFlashAlignChoices, choices.flashAlign),
                                kFlashAlignHelp, "(HTML only)");

    GtkGrid* general = group(box, kGeneralSettingsGroup);
    GtkWidget* start =
        labelled(general, 0, "Start Mode:", dropDown(kStartModeChoices, choices.startMode), kStartModeHelp);
    GtkWidget* priority =
        labelled(general, 1, "Encoding Priority:", dropDown(kEncodingPriorityChoices, choices.encodingPriority),
                 kEncodingPriorityHelp);
    GtkWidget* prompt = labelled(general, 2, "Prompt on Close:", dropDown(kPromptOnCloseChoices, choices.promptOnClose),
                                 kPromptOnCloseHelp);

    auto controls = std::make_unique<CustomizeControls>(CustomizeControls{&ui, baseDirectory, dialog, field});
    g_signal_connect(browse, "clicked", G_CALLBACK(&chooseTemplate), controls.get());
    gtk_widget_show_all(dialog);

    bool confirmed = false;
    // OK closes only with a template that can be used.
    while (gtk_dialog_run(GTK_DIALOG(dialog)) == GTK_RESPONSE_OK) {
        CustomizeChoices read;
        read.htmlTemplate = gtk_entry_get_text(GTK_ENTRY(field));
        read.flashPopup = gtk_combo_box_get_active(GTK_COMBO_BOX(popup));
        read.flashAlign = gtk_combo_box_get_active(GTK_COMBO_BOX(align));
        read.startMode = gtk_combo_box_get_active(GTK_COMBO_BOX(start));
        read.encodingPriority = gtk_combo_box_get_active(GTK_COMBO_BOX(priority));
        read.promptOnClose = gtk_combo_box_get_active(GTK_COMBO_BOX(prompt));
        if (confirmHtmlTemplate(ui, baseDirectory, read.htmlTemplate) == 1) {
            choices = std::move(read);
            confirmed = true;
            break;
        }
    }
    gtk_widget_destroy(dialog);
    return confirmed;
}

void runAboutInterfaceDialog(GtkWindow* parent, const InterfaceSettings& interface) {
    if (!interface.hasSource()) return;
    GtkWidget* dialog = okDialog(parent, aboutInterfaceTitle(interface.name));
    GtkWidget* scroll = gtk_scrolled_window_new(nullptr, nullptr);
    gtk_widget_set_size_request(scroll, 380, 160);
    gtk_scrolled_window_set_shadow_type(GTK_SCROLLED_WINDOW(scroll), GTK_SHADOW_IN);
    GtkWidget* view = gtk_text_view_new();
    gtk_text_view_set_editable(GTK_TEXT_VIEW(view), FALSE);
    gtk_text_view_set_wrap_mode(GTK_TEXT_VIEW(view), GTK_WRAP_WORD);
    gtk_text_view_set_left_margin(GTK_TEXT_VIEW(view), 4);
    gtk_text_view_set_right_margin(GTK_TEXT_VIEW(view), 4);
    gtk_text_buffer_set_text(gtk_text_view_get_buffer(GTK_TEXT_VIEW(view)), interface.description.c_str(), -1);
    gtk_container_add(GTK_CONTAINER(scroll), view);
    gtk_box_pack_start(GTK_BOX(gtk_dialog_get_content_area(GTK_DIALOG(dialog))), scroll, TRUE, TRUE, 0);
    runWithOkFocused(dialog);
}

void runAboutDialog(GtkWindow* parent) {
    GtkWidget* dialog = okDialog(parent, text(kAboutTitle));
    GtkWidget* box = gtk_dialog_get_content_area(GTK_DIALOG(dialog));
    gtk_box_set_spacing(GTK_BOX(box), 8);
    GtkWidget* label = gtk_label_new(aboutText().c_str());
    gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
    gtk_label_set_max_width_chars(GTK_LABEL(label), 48);
    gtk_box_pack_start(GTK_BOX(box), label, FALSE, FALSE, 0);
    const std::string address = text(kMakerAddress);
    GtkWidget* link = gtk_link_button_new_with_label(address.c_str(), address.c_str());
    // The desktop's handler for web addresses opens it; no shell is involved.
    g_signal_connect(
        link, "activate-link", G_CALLBACK(+[](GtkLinkButton* button, gpointer window) -> gboolean {
            GError* error = nullptr;
            if (!gtk_show_uri_on_window(GTK_WINDOW(window), gtk_link_button_get_uri(button), GDK_CURRENT_TIME, &error))
                g_clear_error(&error);
            return TRUE;
        }),
        dialog);
    gtk_box_pack_start(GTK_BOX(box), link, FALSE, FALSE, 0);
    runWithOkFocused(dialog);
}

// ---- Interface Options ----

InterfaceOptionsDialog::InterfaceOptionsDialog(GtkWindow* parent, UserInterface& ui, JobSettings& settings,
                                               std::function<int()> rebuild, std::optional<WindowPoint> position,
                                               std::function<void()> onHidden)
    : options_(ui, settings, std::move(rebuild)), onHidden_(std::move(onHidden)) {
    dialog_ = gtk_dialog_new();
    gtk_window_set_transient_for(GTK_WINDOW(dialog_), parent);
    gtk_window_set_title(GTK_WINDOW(dialog_), options_.title().c_str());
    gtk_window_set_default_size(GTK_WINDOW(dialog_), 420, 420);
    gtk_container_set_border_width(GTK_CONTAINER(dialog_), 8);
    GtkWidget* box = gtk_dialog_get_content_area(GTK_DIALOG(dialog_));
    gtk_box_set_spacing(GTK_BOX(box), 4);

    GtkWidget* optionsLabel = gtk_label_new_with_mnemonic(menuText(kOptionsLabel).label.c_str());
    gtk_label_set_xalign(GTK_LABEL(optionsLabel), 0.0f);
    gtk_box_pack_start(GTK_BOX(box), optionsLabel, FALSE, FALSE, 0);
    store_ = gtk_list_store_new(1, G_TYPE_STRING);
    list_ = gtk_tree_view_new_with_model(GTK_TREE_MODEL(store_));
    gtk_tree_view_set_headers_visible(GTK_TREE_VIEW(list_), FALSE);
    gtk_tree_view_append_column(GTK_TREE_VIEW(list_), gtk_tree_view_column_new_with_attributes(
                                                          "", gtk_cell_renderer_text_new(), "text", 0, nullptr));
    gtk_label_set_mnemonic_widget(GTK_LABEL(optionsLabel), list_);
    GtkWidget* scroll = gtk_scrolled_window_new(nullptr, nullptr);
    gtk_scrolled_window_set_shadow_type(GTK_SCROLLED_WINDOW(scroll), GTK_SHADOW_IN);
    gtk_container_add(GTK_CONTAINER(scroll), list_);
    gtk_box_pack_start(GTK_BOX(box), scroll, TRUE, TRUE, 0);

    GtkWidget* valueLabel = gtk_label_new_with_mnemonic(menuText(kValueLabel).label.c_str());
    gtk_label_set_xalign(GTK_LABEL(valueLabel), 0.0f);
    gtk_box_pack_start(GTK_BOX(box), valueLabel, FALSE, FALSE, 0);
    entry_ = gtk_entry_new();
    gtk_entry_set_activates_default(GTK_ENTRY(entry_), TRUE);
    combo_ = gtk_combo_box_text_new();
    gtk_box_pack_start(GTK_BOX(box), entry_, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(box), combo_, FALSE, FALSE, 0);
    gtk_label_set_mnemonic_widget(GTK_LABEL(valueLabel), entry_);
    description_ = gtk_label_new("");
    gtk_label_set_xalign(GTK_LABEL(description_), 0.0f);
    gtk_label_set_yalign(GTK_LABEL(description_), 0.0f);
    gtk_label_set_line_wrap(GTK_LABEL(description_), TRUE);
    gtk_label_set_max_width_chars(GTK_LABEL(description_), 50);
    gtk_widget_set_size_request(description_, -1, 48);
    gtk_box_pack_start(GTK_BOX(box), description_, FALSE, FALSE, 4);

    defaults_ = gtk_dialog_add_button(GTK_DIALOG(dialog_), menuText(kFactoryDefaultsLabel).label.c_str(), 2);
    apply_ = gtk_dialog_add_button(GTK_DIALOG(dialog_), text(kApplyLabel).c_str(), 1);
    gtk_dialog_set_default_response(GTK_DIALOG(dialog_), 1);
    gtk_widget_set_can_default(apply_, TRUE);
    gtk_widget_grab_default(apply_);

    g_signal_connect(
        gtk_tree_view_get_selection(GTK_TREE_VIEW(list_)), "changed",
        G_CALLBACK(+[](GtkTreeSelection*, gpointer self) { static_cast<InterfaceOptionsDialog*>(self)->rowChanged(); }),
        this);
    g_signal_connect(entry_, "changed", G_CALLBACK(+[](GtkEditable* e, gpointer self) {
                         auto* d = static_cast<InterfaceOptionsDialog*>(self);
                         if (!d->updating_) d->options_.editText(gtk_entry_get_text(GTK_ENTRY(e)));
                     }),
                     this);
    g_signal_connect(combo_, "changed", G_CALLBACK(+[](GtkComboBox* c, gpointer self) {
                         auto* d = static_cast<InterfaceOptionsDialog*>(self);
                         if (!d->updating_) d->options_.chooseEntry(gtk_combo_box_get_active(c));
                     }),
                     this);
    g_signal_connect(dialog_, "response", G_CALLBACK(+[](GtkDialog*, gint response, gpointer self) {
                         auto* d = static_cast<InterfaceOptionsDialog*>(self);
                         if (response == 1) d->applied();
                         if (response == 2) d->restoreDefaults();
                         // Escape: closing only hides it.
                         if (response == GTK_RESPONSE_DELETE_EVENT) d->hide();
                     }),
                     this);
    g_signal_connect(dialog_, "delete-event", G_CALLBACK(&InterfaceOptionsDialog::onDelete), this);
    gtk_widget_add_events(dialog_, GDK_BUTTON_PRESS_MASK);
    g_signal_connect(dialog_, "button-press-event", G_CALLBACK(&InterfaceOptionsDialog::onPress), this);

    if (position && position->x >= 0 && position->y >= 0) {
        gtk_window_move(GTK_WINDOW(dialog_), position->x, position->y);
        lastPosition_ = *position;
    }
    gtk_widget_show_all(box);
    fillList();
}

InterfaceOptionsDialog::~InterfaceOptionsDialog() {
    if (dialog_) gtk_widget_destroy(dialog_);
    if (store_) g_object_unref(store_);
}

void InterfaceOptionsDialog::present() {
    gtk_window_present(GTK_WINDOW(dialog_));
    gtk_widget_grab_focus(list_);
}

void InterfaceOptionsDialog::hide() {
    if (!gtk_widget_get_visible(dialog_)) return;
    lastPosition_ = position();
    gtk_widget_hide(dialog_);
    if (onHidden_) onHidden_();
}

bool InterfaceOptionsDialog::visible() const {
    return gtk_widget_get_visible(dialog_);
}

WindowPoint InterfaceOptionsDialog::position() const {
    if (!gtk_widget_get_visible(dialog_)) return lastPosition_;
    WindowPoint p;
    gtk_window_get_position(GTK_WINDOW(dialog_), &p.x, &p.y);
    return p;
}

void InterfaceOptionsDialog::reload() {
    options_.reload();
    gtk_window_set_title(GTK_WINDOW(dialog_), options_.title().c_str());
    fillList();
}

void InterfaceOptionsDialog::fillList() {
    updating_ = true;
    gtk_list_store_clear(store_);
    for (const std::string& name : options_.listEntries()) {
        GtkTreeIter row;
        gtk_list_store_append(store_, &row);
        gtk_list_store_set(store_, &row, 0, name.c_str(), -1);
    }
    const bool any = options_.hasOptions();
    gtk_widget_set_sensitive(list_, any);
    gtk_widget_set_sensitive(entry_, any);
    gtk_widget_set_sensitive(combo_, any);
    gtk_widget_set_sensitive(apply_, any);
    gtk_widget_set_sensitive(defaults_, options_.factoryDefaultsEnabled());
    GtkTreeSelection* selection = gtk_tree_view_get_selection(GTK_TREE_VIEW(list_));
    gtk_tree_selection_unselect_all(selection);
    if (options_.selection() >= 0) {
        GtkTreePath* path = gtk_tree_path_new_from_indices(options_.selection(), -1);
        gtk_tree_selection_select_path(selection, path);
        gtk_tree_path_free(path);
    }
    updating_ = false;
    showValue();
}

void InterfaceOptionsDialog::showValue() {
    updating_ = true;
    const InterfaceOptions::ValueView view = options_.valueView();
    gtk_widget_set_visible(combo_, view.dropDown);
    gtk_widget_set_visible(entry_, !view.dropDown);
    gtk_combo_box_text_remove_all(GTK_COMBO_BOX_TEXT(combo_));
    if (view.dropDown) {
        for (const std::string& entry : view.entries)
            gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(combo_), entry.c_str());
        gtk_combo_box_set_active(GTK_COMBO_BOX(combo_), view.current);
        gtk_entry_set_text(GTK_ENTRY(entry_), "");
    } else {
        gtk_entry_set_text(GTK_ENTRY(entry_), view.text.c_str());
    }
    gtk_label_set_text(GTK_LABEL(description_), view.description.c_str());
    updating_ = false;
}

void InterfaceOptionsDialog::rowChanged() {
    if (updating_) return;
    GtkTreeModel* model = nullptr;
    GtkTreeIter iter;
    int row = -1;
    if (gtk_tree_selection_get_selected(gtk_tree_view_get_selection(GTK_TREE_VIEW(list_)), &model, &iter)) {
        GtkTreePath* path = gtk_tree_model_get_path(model, &iter);
        row = gtk_tree_path_get_indices(path)[0];
        gtk_tree_path_free(path);
    }
    if (row < 0 || row == options_.selection()) return;
    if (options_.select(row) == InterfaceOptions::Outcome::invalidNumber) {
        // Back to the parameter being edited, its text ready to be put right.
        updating_ = true;
        GtkTreePath* path = gtk_tree_path_new_from_indices(options_.selection(), -1);
        gtk_tree_view_set_cursor(GTK_TREE_VIEW(list_), path, nullptr, FALSE);
        gtk_tree_path_free(path);
        updating_ = false;
        gtk_widget_grab_focus(entry_);
        return;
    }
    showValue();
}

void InterfaceOptionsDialog::applied() {
    const InterfaceOptions::Outcome outcome = options_.apply();
    if (outcome == InterfaceOptions::Outcome::invalidNumber)
        gtk_widget_grab_focus(entry_);
    else
        showValue();
}

void InterfaceOptionsDialog::restoreDefaults() {
    if (options_.restoreFactoryDefaults() == 1) fillList();
}

void InterfaceOptionsDialog::selectRow(int row) {
    GtkTreePath* path = gtk_tree_path_new_from_indices(row, -1);
    gtk_tree_selection_select_path(gtk_tree_view_get_selection(GTK_TREE_VIEW(list_)), path);
    gtk_tree_path_free(path);
}

bool InterfaceOptionsDialog::chooseEntry(const std::string& wanted) {
    const InterfaceOptions::ValueView view = options_.valueView();
    const int index = matchingOption(view.entries, wanted);
    if (!view.dropDown || index < 0) return false;
    gtk_combo_box_set_active(GTK_COMBO_BOX(combo_), index);
    return true;
}

void InterfaceOptionsDialog::pressApply() {
    gtk_button_clicked(GTK_BUTTON(apply_));
}

int InterfaceOptionsDialog::rowOf(const std::string& name) const {
    if (!options_.hasOptions()) return -1;
    const std::vector<std::string> names = options_.listEntries();
    for (size_t i = 0; i < names.size(); ++i)
        if (names[i] == name) return static_cast<int>(i);
    return -1;
}

gboolean InterfaceOptionsDialog::onDelete(GtkWidget*, GdkEvent*, gpointer self) {
    static_cast<InterfaceOptionsDialog*>(self)->hide();
    return TRUE;
}

gboolean InterfaceOptionsDialog::onPress(GtkWidget* widget, GdkEventButton* event, gpointer) {
    return moveByBody(GTK_WINDOW(widget), event);
}

// ---- the main window's side ----

void MainWindow::showCustomize() {
    CustomizeChoices choices = customizeChoices(preferences_);
    if (!runCustomizeDialog(GTK_WINDOW(window_), *this, base_, choices)) return;
    const bool playerChanged =
        preferences_.showFlashPopup != (choices.flashPopup == 1) || preferences_.flashAlign != choices.flashAlign;
    preferences_.takeSave(savePreferences_);
    applyCustomizeChoices(choices, preferences_);
    trace_.line("customized", preferences_.htmlTemplate);
    preferencesChanged(playerChanged);
    storeAllPreferences();
}

void MainWindow::showInterfaceOptions() {
    if (!monitor_ || !monitor_->hasMovie() || monitor_->state() != MonitorState::Done) {
        checkInterfaceOptions(false);
        return;
    }
    if (!interfaceDialog_) {
        std::optional<WindowPoint> at;
        if (preferences_.ioPosX >= 0 && preferences_.ioPosY >= 0)
            at = WindowPoint{preferences_.ioPosX, preferences_.ioPosY};
        interfaceDialog_ = std::make_unique<InterfaceOptionsDialog>(
            GTK_WINDOW(window_), *this, monitor_->jobSettings(), [this] { return monitor_->refinishMovie(); }, at,
            [this] { checkInterfaceOptions(false); });
        interfaceStale_ = false;
    } else if (interfaceStale_) {
        interfaceDialog_->reload();
        interfaceStale_ = false;
    }
    interfaceDialog_->present();
    checkInterfaceOptions(true);
    trace_.line("dialog", gtk_window_get_title(interfaceDialog_->window()));
    // Tests change one parameter the way the controls do: "name=entry".
    if (const char* change = std::getenv("TESSALY_TEST_INTERFACE_OPTION"); change && *change && trace_.on()) {
        const std::string wanted = change;
        const size_t equals = wanted.rfind('=');
        const int row = interfaceDialog_->rowOf(wanted.substr(0, equals));
        if (equals != std::string::npos && row >= 0) {
            interfaceDialog_->selectRow(row);
            if (interfaceDialog_->chooseEntry(wanted.substr(equals + 1))) interfaceDialog_->pressApply();
        }
    }
}

void MainWindow::checkInterfaceOptions(bool on) {
    if (!interfaceOptions_ || !GTK_IS_CHECK_MENU_ITEM(interfaceOptions_)) return;
    syncingCheck_ = true;
    gtk_check_menu_item_set_active(GTK_CHECK_MENU_ITEM(interfaceOptions_), on);
    syncingCheck_ = false;
}

void MainWindow::interfaceOptionsCommand() {
    if (syncingCheck_) return;
    showInterfaceOptions();
}

void MainWindow::hideInterfaceOptions() {
    checkInterfaceOptions(false);
    if (!interfaceDialog_) return;
    interfaceDialog_->hide();
    // A later movie brings its own interface settings.
    interfaceStale_ = true;
}

void MainWindow::showAboutInterface() {
    if (!monitor_ || !monitor_->hasMovie()) return;
    const InterfaceSettings& interface = monitor_->jobSettings().interfaceSettings;
    if (interface.hasSource()) trace_.line("dialog", aboutInterfaceTitle(interface.name));
    runAboutInterfaceDialog(GTK_WINDOW(window_), interface);
}

void MainWindow::showAbout() {
    trace_.line("dialog", std::string(kAboutTitle));
    runAboutDialog(GTK_WINDOW(window_));
}

void MainWindow::storeAllPreferences() {
    if (!store_) return;
    preferences_.takeSave(savePreferences_);
    WindowShowState show;
    if (GdkWindow* w = gtk_widget_get_window(window_)) {
        const GdkWindowState state = gdk_window_get_state(w);
        show.minimizedOrMaximized = (state & (GDK_WINDOW_STATE_ICONIFIED | GDK_WINDOW_STATE_MAXIMIZED)) != 0;
    }
    if (!show.minimizedOrMaximized && gtk_widget_get_visible(window_)) {
        WindowRect rect;
        gtk_window_get_position(GTK_WINDOW(window_), &rect.x, &rect.y);
        gtk_window_get_size(GTK_WINDOW(window_), &rect.width, &rect.height);
        preferences_.window = rect;
    }
    if (interfaceDialog_) {
        show.interfaceOptionsOpen = true;
        const WindowPoint at = interfaceDialog_->position();
        preferences_.ioPosX = at.x;
        preferences_.ioPosY = at.y;
    }
    storePreferences(*store_, preferences_, show);
}

}  // namespace tessaly::app::gtkwin
