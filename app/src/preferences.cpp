#include "app/preferences.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "platform/registry.h"
#include "support/text.h"

namespace tessaly::app {

namespace {

// A stored number read as a signed 32-bit value.
std::optional<int> readNumber(const ValueStore& store, const char* name) {
    uint32_t value = 0;
    if (store.readDword(name, &value) != kRegistryOk) return std::nullopt;
    return static_cast<int32_t>(value);
}

int readRanged(const ValueStore& store, const char* name, int low, int high, int fallback) {
    const std::optional<int> value = readNumber(store, name);
    return value && *value >= low && *value <= high ? *value : fallback;
}

// The template name is a path of up to 260 characters.
constexpr size_t kMaxPathUnits = 260;

std::optional<std::string> readPath(const ValueStore& store, const char* name) {
    std::u16string text;
    if (store.readString(name, &text) != kRegistryOk || text.empty() || text.size() >= kMaxPathUnits)
        return std::nullopt;
    return toUtf8(text);
}

void writeNumber(ValueStore& store, const char* name, int value) {
    (void)store.writeDword(name, static_cast<uint32_t>(static_cast<int32_t>(value)));
}

}  // namespace

MonitorPreferences Preferences::monitor() const {
    MonitorPreferences p;
    p.startMode = startMode;
    p.closeSave = closeSave;
    p.encodingPriority = encodingPriority;
    p.flashAlign = flashAlign;
    return p;
}

SavePreferences Preferences::save() const {
    SavePreferences p;
    p.htmlTemplate = htmlTemplate;
    p.showFlashPopup = showFlashPopup;
    p.flashAlign = flashAlign;
    p.lastSaveFilename = lastSaveFilename;
    return p;
}

void Preferences::takeSave(const SavePreferences& save) { lastSaveFilename = save.lastSaveFilename; }

Preferences loadPreferences(const ValueStore& store) {
    Preferences p;
    const auto x = readNumber(store, "PrinterLastPosX"), y = readNumber(store, "PrinterLastPosY");
    const auto w = readNumber(store, "PrinterLastWidth"), h = readNumber(store, "PrinterLastHeight");
    if (x && y && w && h && *w > 0 && *h > 0) p.window = WindowRect{*x, *y, *w, *h};
    p.ioPosX = readNumber(store, "PrinterIOLastPosX").value_or(-1);
    p.ioPosY = readNumber(store, "PrinterIOLastPosY").value_or(-1);
    p.startMode = readRanged(store, "PrinterStartMode", 0, 3, p.startMode);
    p.closeSave = readRanged(store, "PrinterCloseSave", 0, 2, p.closeSave);
    p.encodingPriority = readRanged(store, "PrinterEncodingPriority", -2, 0, p.encodingPriority);
    if (auto name = readPath(store, "PrinterHTMLTemplate")) p.htmlTemplate = std::move(*name);
    p.showFlashPopup = readRanged(store, "PrinterShowFlashPopup", 0, 1, 1) == 1;
    p.flashAlign = readRanged(store, "PrinterFlashAlign", 0, 2, p.flashAlign);
    p.lastSaveFilename = readPath(store, "PrinterLastSaveFilename");
    return p;
}

void storePreferences(ValueStore& store, const Preferences& p, const WindowShowState& show) {
    if (p.window && !show.minimizedOrMaximized) {
        writeNumber(store, "PrinterLastPosX", p.window->x);
        writeNumber(store, "PrinterLastPosY", p.window->y);
        writeNumber(store, "PrinterLastWidth", p.window->width);
        writeNumber(store, "PrinterLastHeight", p.window->height);
    }
    if (show.interfaceOptionsOpen) {
        writeNumber(store, "PrinterIOLastPosX", std::max(p.ioPosX, 0));
        writeNumber(store, "PrinterIOLastPosY", std::max(p.ioPosY, 0));
    }
    writeNumber(store, "PrinterStartMode", p.startMode);
    writeNumber(store, "PrinterCloseSave", p.closeSave);
    writeNumber(store, "PrinterEncodingPriority", p.encodingPriority);
    (void)store.writeString("PrinterHTMLTemplate", toWide(p.htmlTemplate));
    writeNumber(store, "PrinterShowFlashPopup", p.showFlashPopup ? 1 : 0);
    writeNumber(store, "PrinterFlashAlign", p.flashAlign);
    if (p.lastSaveFilename) storeLastSaveFilename(store, *p.lastSaveFilename);
}

void storeLastSaveFilename(ValueStore& store, const std::string& path) {
    (void)store.writeString("PrinterLastSaveFilename", toWide(path));
}

WindowRect placeWindow(WindowRect r, int workWidth, int workHeight, int screenWidth, int screenHeight) {
    r.width = std::min(r.width, workWidth);
    r.height = std::min(r.height, workHeight);
    if (r.x + r.width >= screenWidth) r.x = screenWidth - r.width;
    if (r.y + r.height >= screenHeight) r.y = screenHeight - r.height;
    if (r.x < 0) r.x = 1;
    if (r.y < 0) r.y = 1;
    return r;
}

StartShow startShow(const Preferences& preferences, bool attached) {
    if (!attached) return StartShow::asPlaced;
    switch (preferences.startMode) {
        case 0:
        case 1:
            return StartShow::minimized;
        case 3:
            return StartShow::maximized;
        default:
            return StartShow::asPlaced;
    }
}

WindowPoint cascadeWindow(WindowPoint current, const std::vector<WindowPoint>& others, int screenHeight) {
    WindowPoint candidate = current;
    // One window covers at most two corners of the diagonal walk.
    for (size_t step = 0; step <= 2 * others.size(); ++step) {
        const bool covered = std::any_of(others.begin(), others.end(), [&](const WindowPoint& o) {
            return std::abs(o.x - candidate.x) < kCascadeStep && std::abs(o.y - candidate.y) < kCascadeStep;
        });
        if (!covered) return candidate;
        if (candidate.x - kCascadeStep < 0 || candidate.y + kCascadeStep >= screenHeight - kCascadeStep)
            return current;
        candidate.x -= kCascadeStep;
        candidate.y += kCascadeStep;
    }
    return current;
}

}  // namespace tessaly::app
