// Transparency, shadings and tiling patterns. The context draws opaque
// paint only, so what needs more is drawn by poppler's own rasteriser
// (Splash) into a bitmap of the page with an alpha channel: paint of some
// opacity, everything under a soft mask, groups painted with an opacity or
// a mask (and their masks), smooth shadings and finely tiled patterns. The
// painted part of that bitmap goes to the context as one picture, with
// per-pixel alpha, before anything else is drawn or the clip changes; so
// every pixel of the picture was drawn under the context's current clip,
// which clips the picture. The rest of the page stays vector.
#include <GfxState.h>
#include <PDFDoc.h>
#include <SplashOutputDev.h>
#include <splash/Splash.h>
#include <splash/SplashBitmap.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "page_player.h"

namespace tessaly::pdf {

namespace {

// The largest page the rasteriser takes (pixels at the job's resolution,
// about 130 MB with alpha); larger pages draw transparency opaque.
constexpr double kMaxRasterPixels = double(1 << 25);
// A tiling pattern with more cells than this is rasterised; fewer cells
// are repeated as vector drawings.
constexpr int kMaxVectorCells = 64;
// Groups nest in the rasteriser while their bitmaps (each of the group's
// bounds on the page) hold no more pixels than this together; deeper ones
// are drawn as their content.
constexpr double kMaxGroupPixels = double(1 << 24);

// The device bounds (x0 y0 x1 y1) of a user-space box under the state's CTM.
void deviceBox(GfxState* state, const double* user, double* box) {
    const double corners[4][2] = {{user[0], user[1]}, {user[2], user[1]}, {user[0], user[3]}, {user[2], user[3]}};
    for (int i = 0; i < 4; ++i) {
        double x, y;
        state->transform(corners[i][0], corners[i][1], &x, &y);
        if (i == 0) box[0] = box[2] = x, box[1] = box[3] = y;
        box[0] = std::min(box[0], x), box[1] = std::min(box[1], y);
        box[2] = std::max(box[2], x), box[3] = std::max(box[3], y);
    }
}

}  // namespace

PagePlayer::~PagePlayer() = default;

void PagePlayer::popGroupSize() {
    if (groupSizes_.empty()) return;
    groupPixels_ -= groupSizes_.back();
    groupSizes_.pop_back();
}

bool PagePlayer::ensureRaster() {
    if (raster_) return true;
    if (rasterRefused_ || !pageState_) return false;
    const double w = pageState_->getPageWidth(), h = pageState_->getPageHeight();
    if (!(w >= 1 && h >= 1 && w * h <= kMaxRasterPixels)) {
        rasterRefused_ = true;
        return false;
    }
    SplashColor paper;
    paper[0] = paper[1] = paper[2] = 0xFF;
    auto raster = std::make_unique<SplashOutputDev>(splashModeRGB8, 4, false, paper, true);
    // Made antialiasing (it keeps the buffers for it), then switched as Gfx
    // has it now.
    raster->setVectorAntialias(true);
    raster->setFontAntialias(true);
    if (doc_) raster->startDoc(doc_);
    raster->startPage(0, pageState_.get(), xref_);
    raster->setVectorAntialias(rasterAntialias_);
    if (!raster->getBitmap() || raster->getBitmap()->getWidth() < int(w) || !raster->getBitmap()->getAlphaPtr()) {
        rasterRefused_ = true;
        return false;
    }
    raster_ = std::move(raster);
    rasterSaves_ = 0;
    rasterDirty_ = false;
    return true;
}

void PagePlayer::syncRaster(GfxState* state) {
    raster_->updateAll(state);
    raster_->updateCTM(state, 1, 0, 0, 1, 0, 0);
    raster_->updateFillOpacity(state);
    raster_->updateStrokeOpacity(state);
    raster_->updateBlendMode(state);
}

bool PagePlayer::pathBox(GfxState* state, bool stroked, double* box) {
    const GfxPath* path = state->getPath();
    if (!path) return false;
    bool any = false;
    for (int s = 0; s < path->getNumSubpaths(); ++s) {
        const GfxSubpath* sub = path->getSubpath(s);
        for (int i = 0; i < sub->getNumPoints(); ++i) {
            double x, y;
            state->transform(sub->getX(i), sub->getY(i), &x, &y);
            if (!std::isfinite(x) || !std::isfinite(y)) return false;
            if (!any) {
                box[0] = box[2] = x;
                box[1] = box[3] = y;
                any = true;
            }
            box[0] = std::min(box[0], x), box[1] = std::min(box[1], y);
            box[2] = std::max(box[2], x), box[3] = std::max(box[3], y);
        }
    }
    if (!any) return false;
    // Mitred joins reach further than half the width: the miter limit's
    // worth, and a pixel of antialiasing.
    double reach = 2;
    if (stroked) {
        const double half = std::max(state->getTransformedLineWidth(), 1.0) / 2;
        reach += half * std::clamp(state->getMiterLimit(), 1.0, 10.0);
    }
    box[0] -= reach, box[1] -= reach, box[2] += reach, box[3] += reach;
    return true;
}

void PagePlayer::unitSquareBox(GfxState* state, double* box) {
    const double unit[4] = {0, 0, 1, 1};
    deviceBox(state, unit, box);
    box[0] -= 2, box[1] -= 2, box[2] += 2, box[3] += 2;
}

void PagePlayer::markRaster(GfxState* state, const double* box) {
    if (rasterGroups_ > 0) return;  // the group's bitmap; the paint marks
    double x0, y0, x1, y1;
    state->getClipBBox(&x0, &y0, &x1, &y1);
    if (box && std::isfinite(box[0]) && std::isfinite(box[1]) && std::isfinite(box[2]) && std::isfinite(box[3])) {
        x0 = std::max(x0, box[0]), y0 = std::max(y0, box[1]);
        x1 = std::min(x1, box[2]), y1 = std::min(y1, box[3]);
        if (x0 >= x1 || y0 >= y1) return;
    }
    if (!rasterDirty_) {
        dirty_[0] = x0, dirty_[1] = y0, dirty_[2] = x1, dirty_[3] = y1;
        rasterDirty_ = true;
        return;
    }
    dirty_[0] = std::min(dirty_[0], x0);
    dirty_[1] = std::min(dirty_[1], y0);
    dirty_[2] = std::max(dirty_[2], x1);
    dirty_[3] = std::max(dirty_[3], y1);
}

PagePlayer::Route PagePlayer::routeFor(GfxState* state, double opacity) {
    if (discarding_ > 0) return Route::Skip;
    const bool transparent = rasterGroups_ > 0 || softMasked() || shadingDepth_ >= 0;
    if (!transparent && !(opacity > 0)) return Route::Skip;
    if ((transparent || opacity < 1) && ensureRaster()) {
        syncRaster(state);
        return Route::Raster;
    }
    flushRaster();
    return Route::Device;
}

void PagePlayer::flushRaster() {
    if (!raster_ || !rasterDirty_ || rasterGroups_ > 0) return;
    rasterDirty_ = false;
    SplashBitmap* bitmap = raster_->getBitmap();
    const int width = bitmap->getWidth(), height = bitmap->getHeight();
    auto clampTo = [](double v, int hi) {
        return !(v > 0) ? 0 : v >= hi ? hi : int(v);
    };
    const int x0 = clampTo(std::floor(dirty_[0]) - 1, width), y0 = clampTo(std::floor(dirty_[1]) - 1, height);
    const int x1 = clampTo(std::ceil(dirty_[2]) + 1, width), y1 = clampTo(std::ceil(dirty_[3]) + 1, height);
    if (x0 >= x1 || y0 >= y1) return;
    unsigned char* alpha = bitmap->getAlphaPtr();
    unsigned char* data = bitmap->getDataPtr();
    const size_t rowSize = size_t(bitmap->getRowSize());
    // The painted part, and whether it is opaque throughout.
    int left = x1, right = x0, top = y1, bottom = y0;
    for (int y = y0; y < y1; ++y) {
        const unsigned char* a = alpha + size_t(y) * size_t(width);
        for (int x = x0; x < x1; ++x) {
            if (!a[x]) continue;
            left = std::min(left, x);
            right = std::max(right, x + 1);
            top = std::min(top, y);
            bottom = y + 1;
        }
    }
    if (left < right) {
        bool opaque = true;
        for (int y = top; y < bottom && opaque; ++y) {
            const unsigned char* a = alpha + size_t(y) * size_t(width);
            for (int x = left; x < right && opaque; ++x) opaque = a[x] == 0xFF;
        }
        const int w = right - left, h = bottom - top;
        const int stride = opaque ? (w * 3 + 3) & ~3 : w * 4;
        std::vector<uint8_t> bits(size_t(stride) * size_t(h));
        for (int y = 0; y < h; ++y) {
            const unsigned char* src = data + size_t(top + y) * rowSize + size_t(left) * 3;
            const unsigned char* a = alpha + size_t(top + y) * size_t(width) + size_t(left);
            uint8_t* dst = &bits[size_t(y) * size_t(stride)];
            for (int x = 0; x < w; ++x) {
                if (opaque) {
                    dst[3 * x] = src[3 * x + 2];
                    dst[3 * x + 1] = src[3 * x + 1];
                    dst[3 * x + 2] = src[3 * x];
                } else {
                    const unsigned v = a[x];
                    dst[4 * x] = uint8_t((src[3 * x + 2] * v + 127) / 255);
                    dst[4 * x + 1] = uint8_t((src[3 * x + 1] * v + 127) / 255);
                    dst[4 * x + 2] = uint8_t((src[3 * x] * v + 127) / 255);
                    dst[4 * x + 3] = uint8_t(v);
                }
            }
        }
        gdi::BitmapView view;
        view.width = w;
        view.height = h;
        view.bitsPerPixel = opaque ? 24 : 32;
        view.stride = stride;
        view.bits = bits.data();
        check(dc_.setTransform(pageToDevice_, gdi::TransformMode::Set));
        const gdi::RectD dest{double(left), double(top), double(right), double(bottom)};
        const gdi::DeviceRect all{0, 0, w, h};
        check(opaque ? dc_.stretchBlt(dest, view, all) : dc_.alphaBlend(dest, view, all, 0xFF, true));
    }
    // Back to paper of no opacity for what comes next.
    for (int y = y0; y < y1; ++y) {
        std::memset(data + size_t(y) * rowSize + size_t(x0) * 3, 0xFF, size_t(x1 - x0) * 3);
        std::memset(alpha + size_t(y) * size_t(width) + size_t(x0), 0, size_t(x1 - x0));
    }
}

void PagePlayer::beginTransparencyGroup(GfxState* state, const double* bbox, GfxColorSpace* blendingColorSpace,
                                        bool isolated, bool knockout, bool forSoftMask) {
    flushText();
    // A group painted opaque, unmasked and in the normal blend looks as its
    // content drawn straight onto the page: it stays vector. The state the
    // form saved last holds the group's paint; the level below it, the
    // mask (the form's level has cleared its own).
    const Level saved = levels_.empty() ? Level{} : levels_.back();
    const bool outerMasked = levels_.size() >= 2 && levels_[levels_.size() - 2].masked;
    const bool plain = !forSoftMask && rasterGroups_ == 0 && !outerMasked && !(saved.fillOpacity < 1) &&
                       saved.blendNormal;
    // The pixels of the group's bitmap: its box on the page.
    double pixels = 0;
    if (!plain && pageState_) {
        double box[4] = {};
        deviceBox(state, bbox, box);
        const double w = std::min(box[2], pageState_->getPageWidth()) - std::max(box[0], 0.0);
        const double h = std::min(box[3], pageState_->getPageHeight()) - std::max(box[1], 0.0);
        // A box off the number line is left to the group's content.
        pixels = std::isfinite(w) && std::isfinite(h) && std::isfinite(box[0]) && std::isfinite(box[1])
                     ? (std::max(w, 0.0) + 2) * (std::max(h, 0.0) + 2)
                     : kMaxGroupPixels + 1;
    }
    if (discarding_ > 0 || plain || groupPixels_ + pixels > kMaxGroupPixels || !ensureRaster()) {
        // A mask that cannot be made is not drawn either; the paint it
        // would mask shows whole.
        const bool discard = discarding_ > 0 || (!plain && forSoftMask);
        groups_.push_back(discard ? Group::Discard : Group::Plain);
        if (discard) ++discarding_;
        return;
    }
    groups_.push_back(Group::Raster);
    groupSizes_.push_back(pixels);
    groupPixels_ += pixels;
    flushRaster();
    syncRaster(state);
    const double* before = state->getCTM();
    const double bx = before[4], by = before[5];
    raster_->beginTransparencyGroup(state, bbox, blendingColorSpace, isolated, knockout, forSoftMask);
    // The rasteriser moved the CTM onto the group's bitmap.
    const double sx = bx - state->getCTM()[4], sy = by - state->getCTM()[5];
    groupShifts_.emplace_back(sx, sy);
    groupShiftX_ += sx;
    groupShiftY_ += sy;
    ++rasterGroups_;
}

void PagePlayer::endTransparencyGroup(GfxState* state) {
    flushText();
    if (groups_.empty() || groups_.back() != Group::Raster) return;
    raster_->endTransparencyGroup(state);
    if (!groupShifts_.empty()) {
        groupShiftX_ -= groupShifts_.back().first;
        groupShiftY_ -= groupShifts_.back().second;
        groupShifts_.pop_back();
    }
}

void PagePlayer::paintTransparencyGroup(GfxState* state, const double* bbox) {
    if (groups_.empty()) return;
    const Group kind = groups_.back();
    groups_.pop_back();
    if (kind == Group::Discard) --discarding_;
    if (kind != Group::Raster) return;
    syncRaster(state);
    raster_->paintTransparencyGroup(state, bbox);
    --rasterGroups_;
    popGroupSize();
    markRaster(state);
}

void PagePlayer::setSoftMask(GfxState* state, const double* bbox, bool alpha, Function* transferFunc,
                             GfxColor* backdropColor) {
    if (groups_.empty()) return;
    const Group kind = groups_.back();
    groups_.pop_back();
    if (kind == Group::Discard) --discarding_;
    // Without the rasteriser the mask is left out (the paint shows whole).
    if (kind != Group::Raster) return;
    syncRaster(state);
    raster_->setSoftMask(state, bbox, alpha, transferFunc, backdropColor);
    --rasterGroups_;
    popGroupSize();
    if (!levels_.empty()) levels_.back().masked = true;
}

void PagePlayer::clearSoftMask(GfxState* state) {
    if (raster_) raster_->clearSoftMask(state);
    if (!levels_.empty()) levels_.back().masked = false;
}

template <typename Draw>
bool PagePlayer::shadeInRaster(GfxState* state, Draw&& draw) {
    flushText();
    if (discarding_ > 0) return true;
    if (!ensureRaster()) return false;
    syncRaster(state);
    if (!draw(*raster_)) return false;
    markRaster(state);
    return true;
}

bool PagePlayer::functionShadedFill(GfxState* state, GfxFunctionShading* shading) {
    return shadeInRaster(state, [&](SplashOutputDev& r) { return r.functionShadedFill(state, shading); });
}

bool PagePlayer::axialShadedFill(GfxState* state, GfxAxialShading* shading, double tMin, double tMax) {
    return shadeInRaster(state, [&](SplashOutputDev& r) { return r.axialShadedFill(state, shading, tMin, tMax); });
}

bool PagePlayer::radialShadedFill(GfxState* state, GfxRadialShading* shading, double sMin, double sMax) {
    return shadeInRaster(state, [&](SplashOutputDev& r) { return r.radialShadedFill(state, shading, sMin, sMax); });
}

bool PagePlayer::gouraudTriangleShadedFill(GfxState* state, GfxGouraudTriangleShading* shading) {
    return shadeInRaster(state, [&](SplashOutputDev& r) { return r.gouraudTriangleShadedFill(state, shading); });
}

void PagePlayer::setVectorAntialias(bool on) {
    rasterAntialias_ = on;
    if (raster_) raster_->setVectorAntialias(on);
}

bool PagePlayer::patchMeshShadedFill(GfxState* /*state*/, GfxPatchMeshShading* /*shading*/) {
    flushText();
    if (discarding_ > 0) return true;
    // Gfx draws the patches as fills, inside the state it saved for the
    // shading.
    if (shadingDepth_ < 0) shadingDepth_ = depth_;
    return false;
}

bool PagePlayer::tilingPatternFill(GfxState* state, Gfx* gfx, Catalog* catalog, GfxTilingPattern* tPat,
                                   const double* mat, int x0, int y0, int x1, int y1, double xStep, double yStep) {
    flushText();
    if (discarding_ > 0) return true;
    // A few cells are repeated as drawings; many become one picture.
    const double cells = (double(x1) - x0) * (double(y1) - y0);
    if (!(cells > kMaxVectorCells) || !doc_ || !ensureRaster()) return false;
    syncRaster(state);
    if (!raster_->tilingPatternFill(state, gfx, catalog, tPat, mat, x0, y0, x1, y1, xStep, yStep)) return false;
    markRaster(state);
    return true;
}

}  // namespace tessaly::pdf
