#pragma once
// The Shockwave Flash ActiveX control in the main window: created by its
// class identifier, activated in place as a child window, and driven only
// through the members of its dispatch interface that the window uses.

#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <ole2.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace tessaly::app::win32 {

// The control's dispatch ids.
enum FlashDispatchId : long {
    kFlashMovie = 102,
    kFlashStop = 113,
    kFlashAlignMode = 121,
    kFlashBackgroundColor = 123,
    kFlashVersion = 132,
    kFlashMenu = 135,
    kFlashQuality2 = 141,
    kFlashSetVariable = 151,
};

// AlignMode for a vertical alignment (0 centre, 1 top, 2 bottom).
inline long flashAlignMode(int align) { return align == 1 ? 4 : align == 2 ? 8 : 0; }

class FlashSite;

class FlashPlayer {
public:
    FlashPlayer() = default;
    ~FlashPlayer() { destroy(); }
    FlashPlayer(const FlashPlayer&) = delete;
    FlashPlayer& operator=(const FlashPlayer&) = delete;

    // Creates the control as a child of parent at the rectangle; 1, or 0
    // with the reason in *why (nothing is left behind).
    [[nodiscard]] int create(HWND parent, const RECT& rect, std::string* why);
    // Calls Stop and destroys the control.
    void destroy();
    bool exists() const { return object_ != nullptr; }
    HWND window() const { return window_; }
    void move(const RECT& rect);
    void focus();

    // Dispatch calls: 1, or 0 when the control raised an error.
    [[nodiscard]] int putString(long id, std::string_view value);
    [[nodiscard]] int putInteger(long id, long value);
    [[nodiscard]] int putBoolean(long id, bool value);
    [[nodiscard]] int setVariable(std::string_view name, std::string_view value);
    // FlashVersion: major version in the high 16 bits; 0 when it fails.
    uint32_t version();

private:
    [[nodiscard]] int put(long id, VARIANT& value);

    FlashSite* site_ = nullptr;
    IOleObject* object_ = nullptr;
    IOleInPlaceObject* inPlace_ = nullptr;
    IDispatch* dispatch_ = nullptr;
    HWND window_ = nullptr;
};

}  // namespace tessaly::app::win32
