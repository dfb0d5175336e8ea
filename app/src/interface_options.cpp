#include "app/interface_options.h"

#include <utility>

namespace tessaly::app {

namespace {

constexpr std::string_view kInvalidNumberText = "Please enter a valid number on the Interface Option value field.";
constexpr std::string_view kInvalidNumberTitle = "Invalid Interface Option Value";
constexpr std::string_view kRestoreQuestion =
    "Are you sure you want to restore the original factory options for this interface?";
constexpr std::string_view kRestoreTitle = "Restore Factory Default Options";
constexpr std::string_view kRestoreFailedText =
    "Could not restore the original factory options for this interface.\nThe default options file is corrupt";
constexpr std::string_view kRestoreFailedTitle = "Error Restoring Default Factory Options";
constexpr std::string_view kRebuildFailedText =
    "Could not rebuild the Flash movie with the changed interface options.\n"
    "Please check for sufficient free disk space and try again.";
constexpr std::string_view kRebuildFailedTitle = "Tessaly Error";

bool equalIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

}  // namespace

std::string interfaceOptionsTitle(std::string_view interfaceName) {
    return "Interface Options: " + std::string(interfaceName);
}

std::string aboutInterfaceTitle(std::string_view interfaceName) {
    return "About Interface " + std::string(interfaceName);
}

std::vector<std::string> shownOptions(std::string_view options) {
    std::vector<std::string> shown;
    for (size_t at = 0; at <= options.size();) {
        const size_t bar = options.find('|', at);
        const size_t end = bar == std::string_view::npos ? options.size() : bar;
        const std::string_view entry = options.substr(at, end - at);
        shown.emplace_back(entry.substr(0, entry.find('=')));
        at = end + 1;
    }
    return shown;
}

int matchingOption(const std::vector<std::string>& shown, std::string_view value) {
    for (size_t i = 0; i < shown.size(); ++i)
        if (equalIgnoringCase(shown[i], value)) return static_cast<int>(i);
    return -1;
}

InterfaceOptions::InterfaceOptions(UserInterface& ui, JobSettings& settings, std::function<int()> rebuild)
    : ui_(ui), settings_(settings), rebuild_(std::move(rebuild)) {
    reload();
}

void InterfaceOptions::reload() {
    visible_.clear();
    const std::vector<InterfaceParam>& params = settings_.interfaceSettings.params;
    for (size_t i = 0; i < params.size(); ++i)
        if (!params[i].isHidden()) visible_.push_back(i);
    selection_ = visible_.empty() ? -1 : 0;
    changed_ = false;
    editedText_.clear();
    editedEntry_ = -1;
}

std::vector<std::string> InterfaceOptions::listEntries() const {
    if (visible_.empty()) return {std::string(kNoInterfaceOptions)};
    std::vector<std::string> names;
    for (size_t index : visible_) names.push_back(settings_.interfaceSettings.params[index].name);
    return names;
}

const InterfaceParam* InterfaceOptions::selectedParam() const {
    if (selection_ < 0 || static_cast<size_t>(selection_) >= visible_.size()) return nullptr;
    const size_t index = visible_[static_cast<size_t>(selection_)];
    const std::vector<InterfaceParam>& params = settings_.interfaceSettings.params;
    return index < params.size() ? &params[index] : nullptr;
}

InterfaceOptions::ValueView InterfaceOptions::valueView() const {
    ValueView view;
    const InterfaceParam* param = selectedParam();
    if (!param) return view;
    view.description = param->description.value_or(std::string());
    const std::string value = changed_ ? editedText_ : param->value.value_or(std::string());
    if (param->options) {
        view.dropDown = true;
        view.entries = shownOptions(*param->options);
        view.current = changed_ && editedEntry_ >= 0 ? editedEntry_ : matchingOption(view.entries, value);
        if (view.current >= 0) view.text = view.entries[static_cast<size_t>(view.current)];
    } else {
        view.text = value;
    }
    return view;
}

void InterfaceOptions::editText(std::string_view text) {
    if (!selectedParam()) return;
    editedText_ = std::string(text);
    editedEntry_ = -1;
    changed_ = true;
}

void InterfaceOptions::chooseEntry(int entry) {
    const InterfaceParam* param = selectedParam();
    if (!param || !param->options) return;
    const std::vector<std::string> entries = shownOptions(*param->options);
    if (entry < 0 || static_cast<size_t>(entry) >= entries.size()) return;
    editedText_ = entries[static_cast<size_t>(entry)];
    editedEntry_ = entry;
    changed_ = true;
}

InterfaceOptions::Outcome InterfaceOptions::commit() {
    const InterfaceParam* param = selectedParam();
    if (!changed_ || !param) {
        changed_ = false;
        return Outcome::ok;
    }
    const size_t index = visible_[static_cast<size_t>(selection_)];
    if (settings_.setParamValue(index, editedText_)) {
        changed_ = false;
        return Outcome::ok;
    }
    if (param->isNumber()) {
        // The edit is kept so that it can be put right.
        showMessage(ui_, kInvalidNumberText, kInvalidNumberTitle, MessageIcon::warning);
        return Outcome::invalidNumber;
    }
    // A text the parameter does not take is dropped: the value stays.
    changed_ = false;
    return Outcome::ok;
}

InterfaceOptions::Outcome InterfaceOptions::select(int row) {
    if (row == selection_) return Outcome::ok;
    if (row < 0 || static_cast<size_t>(row) >= visible_.size()) return Outcome::ok;
    const Outcome committed = commit();
    if (committed != Outcome::ok) return committed;
    selection_ = row;
    changed_ = false;
    editedText_.clear();
    editedEntry_ = -1;
    return Outcome::ok;
}

InterfaceOptions::Outcome InterfaceOptions::apply() {
    const Outcome committed = commit();
    if (committed != Outcome::ok) return committed;
    if (!rebuild_ || rebuild_() != 1) {
        showMessage(ui_, kRebuildFailedText, kRebuildFailedTitle, MessageIcon::warning);
        return Outcome::failed;
    }
    return Outcome::ok;
}

bool InterfaceOptions::factoryDefaultsEnabled() const {
    const std::string& name = settings_.interfaceSettings.name;
    // The name comes with the job: one that is not a plain file name finds
    // no factory options (it could lead out of their folder).
    if (name.empty() || name.find_first_of("/\\") != std::string::npos || name == "." || name == "..") return false;
    return settings_.hasDefaultInterface(name);
}

int InterfaceOptions::restoreFactoryDefaults() {
    if (!factoryDefaultsEnabled()) return 0;
    if (!askYesNo(ui_, kRestoreQuestion, kRestoreTitle, MessageIcon::question)) return 0;
    const std::string name = settings_.interfaceSettings.name;
    if (!settings_.loadDefaultInterface(name)) {
        showMessage(ui_, kRestoreFailedText, kRestoreFailedTitle, MessageIcon::warning);
        return 0;
    }
    reload();
    return 1;
}

}  // namespace tessaly::app
