#include "clip_mask.h"

#include <algorithm>

#include "job_writer.h"
#include "markup.h"
#include "shape_markup.h"

namespace tessaly::pagesmith {

namespace {

FixRect toFix(const RECTL& r, FIX xOffset, FIX yOffset) {
    return {int64_t(xOffset) + int64_t(r.left) * 16, int64_t(yOffset) + int64_t(r.top) * 16,
            int64_t(xOffset) + int64_t(r.right) * 16, int64_t(yOffset) + int64_t(r.bottom) * 16};
}

void writeFixRect(std::string& out, const FixRect& r) {
    out += fixText(r.left) + "," + fixText(r.top) + "," + fixText(r.right) + "," + fixText(r.bottom);
}

// One pass of merging: P takes in every later Q that `mergeable` accepts,
// scanning again until a scan merges nothing.
template <class Mergeable, class Unite>
void mergePass(std::vector<FixRect>& rects, Mergeable mergeable, Unite unite) {
    for (size_t p = 0; p < rects.size(); ++p) {
        bool merged = true;
        while (merged) {
            merged = false;
            for (size_t q = p + 1; q < rects.size();) {
                if (mergeable(rects[p], rects[q])) {
                    unite(rects[p], rects[q]);
                    rects.erase(rects.begin() + ptrdiff_t(q));
                    merged = true;
                } else {
                    ++q;
                }
            }
        }
    }
}

}  // namespace

void mergeRectangles(std::vector<FixRect>& rects) {
    mergePass(
        rects,
        [](const FixRect& p, const FixRect& q) {
            return p.top == q.top && p.bottom == q.bottom && p.right >= q.left && q.right >= p.left;
        },
        [](FixRect& p, const FixRect& q) {
            p.left = std::min(p.left, q.left);
            p.right = std::max(p.right, q.right);
        });
    mergePass(
        rects,
        [](const FixRect& p, const FixRect& q) {
            return p.left == q.left && p.right == q.right && p.bottom >= q.top && q.bottom >= p.top;
        },
        [](FixRect& p, const FixRect& q) {
            p.top = std::min(p.top, q.top);
            p.bottom = std::max(p.bottom, q.bottom);
        });
}

void writeRectangleList(std::string& out, CLIPOBJ* clip, FIX xOffset, FIX yOffset) {
    if (!clip) return;
    if (clip->iDComplexity == DC_RECT) {
        writeFixRect(out, toFix(clip->rclBounds, xOffset, yOffset));
        return;
    }
    if (clip->iDComplexity != DC_COMPLEX) return;
    std::vector<FixRect> rects;
    (void)CLIPOBJ_cEnumStart(clip, FALSE, CT_RECTANGLES, CD_RIGHTDOWN, 0);
    struct {
        ULONG c;
        RECTL arcl[1];
    } batch{};
    bool more = true;
    while (more) {
        batch.c = 0;
        more = CLIPOBJ_bEnum(clip, sizeof batch, reinterpret_cast<ULONG*>(&batch)) != FALSE;
        for (ULONG i = 0; i < batch.c && i < 1; ++i) rects.push_back(toFix(batch.arcl[i], xOffset, yOffset));
    }
    mergeRectangles(rects);
    for (const FixRect& r : rects) {
        writeFixRect(out, r);
        out += ';';
    }
}

bool writeClipMask(DriverDevice& device, std::string& out, CLIPOBJ* clip, FIX xOffset, FIX yOffset) {
    if (!clip || (clip->iDComplexity != DC_RECT && clip->iDComplexity != DC_COMPLEX)) return false;
    const std::string id = "mask" + std::to_string(newId(device));
    markup::startTagOpen(out, "Shape");
    markup::textAttribute(out, "id", id);
    markup::textAttribute(out, "flags", "noPlace");
    markup::startTagClose(out, false, true);
    writeFillColour(out, "right", 0x0000FF);
    PATHOBJ* path = clip->iDComplexity == DC_COMPLEX && clip->iMode == TC_PATHOBJ ? CLIPOBJ_ppoGetPath(clip)
                                                                                 : nullptr;
    if (path) {
        // The clip path lies where the shapes' paths lie: on the band's place
        // in the page, without the half-pixel shift of the rectangle edges.
        writePathElements(out, path, 0, bandYOffset(device));
        EngDeletePath(path);
    } else {
        out += "<RectEx pos=\"";
        writeRectangleList(out, clip, xOffset, yOffset);
        out += "\"/>\n";
    }
    markup::endTag(out, "Shape");
    markup::startTagOpen(out, "Mask");
    markup::textAttribute(out, "id", id);
    markup::startTagClose(out, false, true);
    return true;
}

void writeMaskEnd(std::string& out) { markup::endTag(out, "Mask"); }

}  // namespace tessaly::pagesmith
