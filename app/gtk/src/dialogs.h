#pragma once
// The window's dialogs: Customize, Interface Options (modeless), About
// Interface and About Tessaly. Their logic lives in app/customize.h and
// app/interface_options.h; these only draw it and forward the user's actions.

#include <gtk/gtk.h>

#include <functional>
#include <optional>
#include <string>

#include "app/customize.h"
#include "app/interface_options.h"
#include "app/preferences.h"

namespace tessaly::app::gtkwin {

// The Customize dialog, modal over the parent: true when confirmed with OK
// (the template checked), with the controls' state in choices.
bool runCustomizeDialog(GtkWindow* parent, UserInterface& ui, const std::string& baseDirectory,
                        CustomizeChoices& choices);

// The About Interface dialog; nothing when no interface is loaded.
void runAboutInterfaceDialog(GtkWindow* parent, const InterfaceSettings& interface);

// The About Tessaly dialog.
void runAboutDialog(GtkWindow* parent);

// The Interface Options dialog: created once, then shown and hidden.
class InterfaceOptionsDialog {
public:
    // onHidden runs when the user closes it (it is then only hidden).
    InterfaceOptionsDialog(GtkWindow* parent, UserInterface& ui, JobSettings& settings, std::function<int()> rebuild,
                           std::optional<WindowPoint> position, std::function<void()> onHidden);
    ~InterfaceOptionsDialog();
    InterfaceOptionsDialog(const InterfaceOptionsDialog&) = delete;
    InterfaceOptionsDialog& operator=(const InterfaceOptionsDialog&) = delete;

    void present();
    void hide();
    bool visible() const;
    // Shows the settings' parameters afresh.
    void reload();
    // Where it is (or was when last shown).
    WindowPoint position() const;
    GtkWindow* window() const { return GTK_WINDOW(dialog_); }

    // The user's actions, as the controls perform them: select a list row,
    // choose a drop-down entry by its text, press Apply.
    void selectRow(int row);
    bool chooseEntry(const std::string& text);
    void pressApply();
    // The list row of a parameter's name; -1 when not listed.
    int rowOf(const std::string& name) const;

private:
    void fillList();
    void showValue();
    void rowChanged();
    void applied();
    void restoreDefaults();

    static gboolean onDelete(GtkWidget*, GdkEvent*, gpointer self);
    static gboolean onPress(GtkWidget*, GdkEventButton* event, gpointer self);

    InterfaceOptions options_;
    std::function<void()> onHidden_;
    GtkWidget* dialog_ = nullptr;
    GtkListStore* store_ = nullptr;
    GtkWidget* list_ = nullptr;
    GtkWidget* entry_ = nullptr;
    GtkWidget* combo_ = nullptr;
    GtkWidget* description_ = nullptr;
    GtkWidget* apply_ = nullptr;
    GtkWidget* defaults_ = nullptr;
    bool updating_ = false;
    WindowPoint lastPosition_{-1, -1};
};

}  // namespace tessaly::app::gtkwin
