#pragma once
// The frame every drawing hook runs in. A call the driver makes itself
// (nesting depth above 0) or any call while vector capture is off is only
// rendered. Otherwise the hook's translator decides: write markup and render,
// defer to GDI (nothing written, nothing rendered, FALSE so GDI breaks the
// call down), or fall back (render, then capture the affected rectangle as an
// image). Every engine call runs with the nesting depth raised, so what the
// engine calls back into the driver is known as the driver's own.

#include <new>
#include <string>
#include <utility>

#include "capture.h"
#include "device.h"
#include "job_writer.h"
#include "platform/winddi.h"

namespace tessaly::pagesmith {

// What a translator decided about its call.
struct HookDecision {
    enum class Kind { Translate, Defer, Fallback };
    Kind kind = Kind::Translate;
    RECTL bounds{};           // the surface rectangle a fallback captures
    CLIPOBJ* clip = nullptr;  // and the clip that limits it

    static HookDecision translate() { return {}; }
    static HookDecision defer() { return {Kind::Defer, {}, nullptr}; }
    static HookDecision fallback(const RECTL& bounds, CLIPOBJ* clip) { return {Kind::Fallback, bounds, clip}; }
};

// Runs an engine renderer with the nesting depth raised around it.
template <class Render>
WINBOOL renderNested(DriverDevice* device, Render&& render) {
    NestingFrame frame(device);
    return std::forward<Render>(render)();
}

// The frame. `translate(std::string& markup)` returns a HookDecision and
// appends the markup of a translated call; `render()` calls the engine.
// `alwaysTrue` is for the hooks that report success whatever the engine did.
template <class Translate, class Render>
WINBOOL runHook(DriverDevice* device, Translate&& translate, Render&& render, bool alwaysTrue = false) {
    if (!device || !device->translating()) {
        const WINBOOL rendered = renderNested(device, render);
        return alwaysTrue ? TRUE : rendered;
    }
    std::string markup;
    HookDecision decision;
    try {
        decision = std::forward<Translate>(translate)(markup);
    } catch (const std::bad_alloc&) {
        // Without memory for the markup the call goes back to GDI whole.
        return FALSE;
    }
    switch (decision.kind) {
    case HookDecision::Kind::Defer:
        return FALSE;
    case HookDecision::Kind::Fallback: {
        if (!renderNested(device, render)) return FALSE;
        return captureFallback(*device, decision.bounds, decision.clip) ? TRUE : FALSE;
    }
    case HookDecision::Kind::Translate:
        break;
    }
    // A markup write that fails leaves the stream failed; the page's end
    // reports it.
    if (!markup.empty()) (void)writeMarkup(*device, markup);
    const WINBOOL rendered = renderNested(device, render);
    return alwaysTrue ? TRUE : rendered;
}

}  // namespace tessaly::pagesmith
