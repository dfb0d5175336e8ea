#include "blit_ops.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <new>

#include "bitmap_table.h"
#include "clip_mask.h"
#include "image_element.h"
#include "markup.h"
#include "pixel_rows.h"
#include "shape_markup.h"

namespace tessaly::pagesmith {

namespace {

constexpr uint32_t kBlack = 0x000000;
constexpr uint32_t kWhite = 0xFFFFFF;

void flatRectangle(const DriverDevice& device, const RECTL& target, const ClipView* clip, uint32_t colour,
                   std::string& out) {
    if (clip && clip->complexity == DC_COMPLEX && clip->rectangleList) {
        writeShapeStart(out);
        writeFillColour(out, "right", colour);
        out += "<Rectex pos=\"";
        clip->rectangleList(out, 0, FIX(device.bandY) * 16);
        out += "\"/>\n";
        writeShapeEnd(out);
        return;
    }
    RECTL r = target;
    if (clip && clip->complexity == DC_RECT) {
        r.left = std::max(r.left, clip->bounds.left);
        r.top = std::max(r.top, clip->bounds.top);
        r.right = std::min(r.right, clip->bounds.right);
        r.bottom = std::min(r.bottom, clip->bounds.bottom);
    }
    // A rectangle the clip leaves nothing of would be a shape of negative
    // size; it draws nothing, so nothing is written.
    if (r.right <= r.left || r.bottom <= r.top) return;
    writeShapeStart(out);
    writeFillColour(out, "right", colour);
    const auto onPage = [&](LONG y) { return LONG(std::clamp<int64_t>(int64_t(y) + device.bandY, INT32_MIN, INT32_MAX)); };
    writeRect(out, r.left, onPage(r.top), r.right, onPage(r.bottom));
    writeShapeEnd(out);
}

FIX toFix(int64_t pixels) { return FIX(std::clamp<int64_t>(pixels * 16, INT32_MIN, INT32_MAX)); }

void writeImage(DriverDevice& device, const PixelRows& rows, const ImageElementOptions& options, FIX x, FIX y,
                FIX width, FIX height, const ClipView* clip, std::string_view matrix, uint32_t alpha,
                std::string& out) {
    const std::string name = imageForRows(device, rows);
    ImageElement image;
    image.options = options;
    image.name = name;
    image.x = x;
    image.y = y;
    image.width = width;
    image.height = height;
    image.clip = clip;
    image.matrix = matrix;
    image.alphaColour = alpha;
    writeImageElement(out, image, device.bandY);
}

std::optional<std::span<const uint32_t>> tableOf(const std::optional<std::vector<uint32_t>>& colours) {
    if (!colours) return std::nullopt;
    return std::span<const uint32_t>(*colours);
}

// Mirrors the rows in place, left to right and/or top to bottom.
void mirror(PixelRows& rows, bool horizontal, bool vertical) {
    if (horizontal) {
        for (int32_t y = 0; y < rows.height; ++y) {
            uint8_t* row = rows.bytes.data() + size_t(y) * rows.stride;
            for (int32_t a = 0, b = rows.width - 1; a < b; ++a, --b) {
                std::swap_ranges(row + size_t(a) * 3, row + size_t(a) * 3 + 3, row + size_t(b) * 3);
            }
        }
    }
    if (vertical) {
        for (int32_t a = 0, b = rows.height - 1; a < b; ++a, --b) {
            std::swap_ranges(rows.bytes.begin() + ptrdiff_t(size_t(a) * rows.stride),
                             rows.bytes.begin() + ptrdiff_t(size_t(a + 1) * rows.stride),
                             rows.bytes.begin() + ptrdiff_t(size_t(b) * rows.stride));
        }
    }
}

}  // namespace

ClipView clipViewOf(CLIPOBJ* clip) {
    ClipView view;
    if (!clip) return view;
    view.complexity = clip->iDComplexity;
    view.bounds = clip->rclBounds;
    if (view.complexity == DC_COMPLEX) {
        view.rectangleList = [clip](std::string& out, FIX dx, FIX dy) {
            writeRectangleList(out, clip, dx, dy);
        };
    }
    return view;
}

bool writeBitmapImage(DriverDevice& device, const SURFOBJ* source,
                      const std::optional<std::vector<uint32_t>>& colours, POINTL sourcePoint, const RECTL& target,
                      const ClipView* clip, std::string& out) {
    const int64_t w = int64_t(target.right) - target.left, h = int64_t(target.bottom) - target.top;
    if (w <= 0 || h <= 0 || w > INT32_MAX || h > INT32_MAX) return false;
    const auto rows = readRows(source, tableOf(colours), sourcePoint.x, sourcePoint.y, int32_t(w), int32_t(h));
    if (!rows) return false;
    writeImage(device, *rows, {true, true, false}, toFix(target.left), toFix(target.top), toFix(w), toFix(h), clip,
               {}, 0, out);
    return true;
}

BlitResult translateBitBlt(DriverDevice& device, const BitBltCall& call, std::string& out) {
    if (call.hasMask || !call.brushColour) return BlitResult::kFallBack;
    const uint32_t brush = *call.brushColour;
    bool flat = false;
    uint32_t colour = 0;
    switch (call.rop) {
        case 0x00: flat = true; colour = kBlack; break;
        case 0xFF: flat = true; colour = kWhite; break;
        case 0xF0: flat = true; colour = brush; break;
        case 0x0F: flat = true; colour = brush ^ kWhite; break;
        case 0xAA: return BlitResult::kTranslated;
        case 0x88:
        case 0xB8:
        case 0xCC: break;
        default: return BlitResult::kFallBack;
    }
    if (flat) {
        if (!call.target) return BlitResult::kFallBack;
        flatRectangle(device, *call.target, call.clip, colour, out);
        return BlitResult::kTranslated;
    }

    // A monochrome source of black and white drawn with 0x88 or 0xB8 is a
    // mask: its black pixels take the brush colour, the rest is transparent.
    std::vector<uint32_t> maskTable;
    bool transparent = false;
    uint32_t key = 0;
    if (call.rop != 0xCC) {
        const std::vector<uint32_t>* table = call.colours ? &*call.colours : nullptr;
        const bool mono = call.source && call.source->iBitmapFormat == BMF_1BPP && table && table->size() == 2 &&
                          std::all_of(table->begin(), table->end(),
                                      [](uint32_t c) { return c == kBlack || c == kWhite; });
        if (!mono) return BlitResult::kFallBack;
        transparent = true;
        key = brush == kWhite ? kBlack : kWhite;
        const size_t blackAt = (*table)[0] == kBlack ? 0 : (*table)[1] == kBlack ? 1 : 2;
        for (size_t i = 0; i < 2; ++i) maskTable.push_back(i == blackAt ? brush : key);
    }
    const std::optional<std::span<const uint32_t>> colours =
        transparent ? std::optional<std::span<const uint32_t>>(maskTable) : tableOf(call.colours);
    if (!call.source) {
        if (!call.target) return BlitResult::kFallBack;
        flatRectangle(device, *call.target, call.clip, brush, out);
        return BlitResult::kTranslated;
    }
    if (!call.target) return BlitResult::kFallBack;
    const RECTL& t = *call.target;
    const int64_t w = int64_t(t.right) - t.left, h = int64_t(t.bottom) - t.top;
    if (w <= 0 || h <= 0 || w > INT32_MAX || h > INT32_MAX) return BlitResult::kFallBack;
    const auto rows =
        readRows(call.source, colours, call.sourcePoint.x, call.sourcePoint.y, int32_t(w), int32_t(h));
    if (!rows) return BlitResult::kFallBack;
    writeImage(device, *rows, {true, true, transparent}, toFix(t.left), toFix(t.top), toFix(w), toFix(h), call.clip,
               {}, transparent ? key : 0, out);
    return BlitResult::kTranslated;
}

BlitResult translateStretchBlt(DriverDevice& device, const StretchBltCall& call, std::string& out) {
    if (call.hasMask || !call.source) return BlitResult::kFallBack;
    const RECTL& s = call.sourceRect;
    const int64_t sw = int64_t(s.right) - s.left, sh = int64_t(s.bottom) - s.top;
    if (sw == 0 || sh == 0 || sw > INT32_MAX || sh > INT32_MAX || sw < -INT32_MAX || sh < -INT32_MAX) {
        return BlitResult::kFallBack;
    }
    auto rows = readRows(call.source, tableOf(call.colours), std::min(s.left, s.right), std::min(s.top, s.bottom),
                         int32_t(std::abs(sw)), int32_t(std::abs(sh)));
    if (!rows) return BlitResult::kFallBack;
    // A mirrored rectangle on either side flips the picture; the image is
    // placed on the area the engine paints, its rows flipped to match.
    const RECTL& t = call.target;
    const int64_t tw = int64_t(t.right) - t.left, th = int64_t(t.bottom) - t.top;
    mirror(*rows, (tw < 0) != (sw < 0), (th < 0) != (sh < 0));
    writeImage(device, *rows, {true, true, false}, toFix(std::min(t.left, t.right)), toFix(std::min(t.top, t.bottom)),
               toFix(std::abs(tw)), toFix(std::abs(th)), call.clip, {}, 0, out);
    return BlitResult::kTranslated;
}

RECTL plgBounds(const POINTFIX points[3]) {
    const auto round = [](int64_t v) {
        const int64_t p = v >= -8 ? (v + 8) / 16 : -((-(v + 8) + 15) / 16);  // floor((v + 8) / 16)
        return LONG(std::clamp<int64_t>(p, -999999, 999999));
    };
    const POINTFIX &a = points[0], &b = points[1], &c = points[2];
    const int64_t xs[4] = {a.x, b.x, c.x, int64_t(b.x) + c.x - a.x};
    const int64_t ys[4] = {a.y, b.y, c.y, int64_t(b.y) + c.y - a.y};
    RECTL r{round(xs[0]), round(ys[0]), round(xs[0]), round(ys[0])};
    for (int i = 1; i < 4; ++i) {
        r.left = std::min(r.left, round(xs[i]));
        r.right = std::max(r.right, round(xs[i]));
        r.top = std::min(r.top, round(ys[i]));
        r.bottom = std::max(r.bottom, round(ys[i]));
    }
    return r;
}

bool plgTurnsOrScales(const PlgBltCall& call) {
    if (!call.sourceRect) return false;
    const RECTL& s = *call.sourceRect;
    const int64_t w = (int64_t(s.right) - s.left) * 16, h = (int64_t(s.bottom) - s.top) * 16;
    const POINTFIX &pa = call.points[0], &pb = call.points[1], &pc = call.points[2];
    return !(int64_t(pb.x) - pa.x == w && pb.y == pa.y && pc.x == pa.x && int64_t(pc.y) - pa.y == h);
}

BlitResult translatePlgBlt(DriverDevice& device, const PlgBltCall& call, std::string& out) {
    if (call.hasMask || !call.source || !call.sourceRect) return BlitResult::kFallBack;
    const RECTL& s = *call.sourceRect;
    const int64_t w = int64_t(s.right) - s.left, h = int64_t(s.bottom) - s.top;
    if (w <= 0 || h <= 0 || w > INT32_MAX || h > INT32_MAX) return BlitResult::kFallBack;
    const auto rows = readRows(call.source, tableOf(call.colours), s.left, s.top, int32_t(w), int32_t(h));
    if (!rows) return BlitResult::kFallBack;
    const POINTFIX &pa = call.points[0], &pb = call.points[1], &pc = call.points[2];
    const double a = (double(pb.x) - pa.x) / 16 / double(w), b = (double(pb.y) - pa.y) / 16 / double(w);
    const double c = (double(pc.x) - pa.x) / 16 / double(h), d = (double(pc.y) - pa.y) / 16 / double(h);
    std::string matrix;
    if (!(a == 1 && d == 1 && b == 0 && c == 0)) {
        matrix = markup::realText(a) + "," + markup::realText(b) + "," + markup::realText(c) + "," +
                 markup::realText(d);
    }
    writeImage(device, *rows, {false, false, false}, pa.x, pa.y, 0, 0, call.clip, matrix, 0, out);
    return BlitResult::kTranslated;
}

}  // namespace tessaly::pagesmith
