#include "deferral.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "platform/gdi_engine_control.h"

namespace tessaly::gdi {

namespace {

std::atomic<int> deferredSetting{-1};  // -1: not read yet

}  // namespace

void setDeferredDrawing(bool on) { deferredSetting.store(on ? 1 : 0); }

bool deferredDrawing() {
    int value = deferredSetting.load();
    if (value < 0) {
        const char* text = std::getenv("TESSALY_GDI_IMMEDIATE");
        value = text && std::strcmp(text, "1") == 0 ? 0 : 1;
        int expected = -1;
        if (!deferredSetting.compare_exchange_strong(expected, value)) value = expected;
    }
    return value == 1;
}

namespace {

Surface::Deferral* deferralOf(const SURFOBJ* pso) {
    Surface* surface = pso ? Surface::fromSurfobj(pso) : nullptr;
    return surface ? surface->deferral.get() : nullptr;
}

class ErasePiece : public DeferredPiece {
public:
    ErasePiece(SURFOBJ* target, const RECTL& area, ULONG color) : target_(target), area_(area), color_(color) {}
    void render() override {
        RECTL area = area_;
        (void)EngEraseSurface(target_, &area, color_);
    }

private:
    SURFOBJ* target_;
    RECTL area_;
    ULONG color_;
};

}  // namespace

void startDeferring(SURFOBJ* pso) {
    Surface* surface = pso ? Surface::fromSurfobj(pso) : nullptr;
    if (!surface || surface->deferral) return;
    surface->deferral = std::make_unique<Surface::Deferral>();
}

void stopDeferring(SURFOBJ* pso) {
    Surface* surface = pso ? Surface::fromSurfobj(pso) : nullptr;
    if (!surface || !surface->deferral || surface->deferral->rendering) return;
    renderDeferred(pso);
    surface->deferral.reset();
}

bool deferring(const SURFOBJ* pso) { return deferralOf(pso) != nullptr; }

void renderDeferred(const SURFOBJ* pso) {
    Surface::Deferral* d = deferralOf(pso);
    if (!d || d->rendering || (d->kept.empty() && d->calls.empty())) return;
    d->rendering = true;
    // Pieces may not add to the list while it is rendered: the calls they
    // make draw at once.
    std::vector<std::unique_ptr<DeferredPiece>> kept = std::move(d->kept);
    d->kept.clear();
    for (auto& piece : kept) piece->render();
    kept.clear();
    std::vector<std::function<WINBOOL()>> calls = std::move(d->calls);
    d->calls.clear();
    for (auto& call : calls) (void)call();
    d->rendering = false;
    if (d->inPiece) d->pieceRendered = true;
}

void beginDeferredPiece(SURFOBJ* pso) {
    Surface::Deferral* d = deferralOf(pso);
    if (!d) return;
    d->inPiece = true;
    d->pieceRendered = false;
    d->calls.clear();
}

bool endDeferredPiece(SURFOBJ* pso) {
    Surface::Deferral* d = deferralOf(pso);
    if (!d) return true;
    const bool rendered = d->pieceRendered;
    d->inPiece = false;
    d->pieceRendered = false;
    d->calls.clear();
    return rendered;
}

void keepDeferred(SURFOBJ* pso, std::unique_ptr<DeferredPiece> piece) {
    Surface::Deferral* d = deferralOf(pso);
    if (!d) {
        // Not deferring (any more): drawn now.
        piece->render();
        return;
    }
    d->kept.push_back(std::move(piece));
}

bool deferCall(SURFOBJ* target, std::function<WINBOOL()> call) {
    Surface::Deferral* d = deferralOf(target);
    if (!d || d->rendering) return false;
    if (!d->inPiece) {
        // A call outside a piece has no owner to render it later.
        renderDeferred(target);
        return false;
    }
    if (d->pieceRendered) return false;
    d->calls.push_back(std::move(call));
    return true;
}

bool deferErase(SURFOBJ* target, const RECTL& area, ULONG color) {
    Surface::Deferral* d = deferralOf(target);
    if (!d || d->rendering) return false;
    if (d->inPiece) {
        return deferCall(target, [target, area, color] {
            RECTL copy = area;
            return EngEraseSurface(target, &copy, color);
        });
    }
    // The whole surface painted over: nothing kept before shows any more.
    if (area.left <= 0 && area.top <= 0 && area.right >= target->sizlBitmap.cx &&
        area.bottom >= target->sizlBitmap.cy) {
        d->kept.clear();
    }
    d->kept.push_back(std::make_unique<ErasePiece>(target, area, color));
    return true;
}

bool hooksCallable(const SURFOBJ* pso) {
    const Surface::Deferral* d = deferralOf(pso);
    return !d || !d->rendering;
}

}  // namespace tessaly::gdi
