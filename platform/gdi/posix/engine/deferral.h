#pragma once
// Deferred drawing on a surface. Rendering every call into a page surface is
// most of what printing costs, and most pages are never read back: the
// driver reads its surface only for a capture, a page raster or a preview.
// While a surface defers, the engine's drawing calls that target it are
// kept instead of rendered, and everything kept is rendered, in order, the
// first time the surface's pixels are needed: when the surface is locked
// (EngLockSurface, how a driver gets at its bits), when it is the source or
// the mask of an engine call, when a drawing call comes outside a piece (see
// below), or when deferral stops. The pixels are then exactly those that
// immediate rendering gives.
//
// What is kept:
//  - pieces the caller owns (the device context's drawing operations, which
//    it renders again without the driver: the engine's calls of the
//    driver's rendering, the driver's answers kept);
//  - the engine calls made while a piece is being drawn, whose arguments
//    belong to the caller and live only until the piece ends. When the
//    piece ends they are dropped (the caller keeps the piece whole instead).
//    When pixels are needed before then, they are rendered at once and the
//    rest of the piece is rendered as it comes.
// An erase of the whole surface makes everything kept before it moot.
// Kept calls report success; only a failure to render (memory) can tell
// them apart from immediate ones. While kept drawing is rendered the engine
// does not call the driver's hooks back: the rendering is the engine's own,
// as the driver's hooks render through the same engine functions.

#include <functional>
#include <memory>
#include <vector>

#include "engine_objects.h"

namespace tessaly::gdi {

// A piece of drawing kept whole by its owner.
class DeferredPiece {
public:
    virtual ~DeferredPiece() = default;
    virtual void render() = 0;
};

struct Surface::Deferral {
    bool rendering = false;  // kept drawing is being rendered now
    bool inPiece = false;
    bool pieceRendered = false;  // the current piece's calls were rendered
    std::vector<std::unique_ptr<DeferredPiece>> kept;
    std::vector<std::function<WINBOOL()>> calls;  // of the current piece
};

// Starts deferring the surface's drawing (nothing when it already does).
void startDeferring(SURFOBJ* pso);
// Renders what is kept and draws at once from then on.
void stopDeferring(SURFOBJ* pso);
[[nodiscard]] bool deferring(const SURFOBJ* pso);
// Renders everything kept now (the pixels are needed).
void renderDeferred(const SURFOBJ* pso);

// A piece: its engine calls are kept until it ends. endDeferredPiece is
// true when they were rendered meanwhile (the piece is drawn: the caller
// keeps nothing), false when they were dropped (the caller keeps the piece
// with keepDeferred, or it is lost).
void beginDeferredPiece(SURFOBJ* pso);
[[nodiscard]] bool endDeferredPiece(SURFOBJ* pso);
void keepDeferred(SURFOBJ* pso, std::unique_ptr<DeferredPiece> piece);

// The engine's side: a drawing call on `target` is kept (true) or must be
// rendered now (false; kept drawing is rendered first when needed).
[[nodiscard]] bool deferCall(SURFOBJ* target, std::function<WINBOOL()> call);
// An erase of `area` with `color`: kept (true) or to be done now (false).
[[nodiscard]] bool deferErase(SURFOBJ* target, const RECTL& area, ULONG color);
// Whether the driver's hooks may be called back for `pso` now.
[[nodiscard]] bool hooksCallable(const SURFOBJ* pso);

}  // namespace tessaly::gdi
