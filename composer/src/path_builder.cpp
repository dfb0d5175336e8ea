#include "composer/path_builder.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "composer/mml_values.h"
#include "support/numbers.h"
#include "support/text.h"

namespace tessaly {

int32_t PathBuilder::toTwips(double v) const { return roundToInt32(v * scale_); }

bool counterOrder(MmlReader& reader) {
    const char* order = reader.attribute("order");
    return order && (hasKeyword(order, "counter") || hasKeyword(order, "left"));
}

bool PathBuilder::move(ShapeObject& shape, int32_t x, int32_t y) const {
    if (forceMove_) {
        forceMove_ = false;
        return shape.moveToAlways(x, y) != 0;
    }
    return shape.moveTo(x, y) != 0;
}

bool PathBuilder::build(MmlReader& reader, ShapeObject& shape, const char* endTag,
                        bool keepFirstMove) const {
    forceMove_ = keepFirstMove;
    bool ok = true;
    int drawCount = 0;
    while (reader.nextElement()) {
        const char* name = reader.currentName();
        if (equalNoCase(name, endTag)) break;
        if (ok && !element(reader, name, shape, &drawCount)) ok = false;
    }
    return ok;
}

bool PathBuilder::element(MmlReader& reader, const char* name, ShapeObject& shape,
                          int* drawCount) const {
    auto points = [&](const char* attr, std::vector<MmlPoint>* out) {
        const char* text = reader.attribute(attr);
        if (!text) return false;
        *out = parsePointList(text);
        return true;
    };

    if (equalNoCase(name, "MoveTo")) {
        double x = 0, y = 0;
        const int r = reader.attributePair("pos", &x, &y);
        if (r == 0) return false;
        return move(shape, toTwips(x), toTwips(y));
    }
    if (equalNoCase(name, "LinexTo") || equalNoCase(name, "Linex")) {
        std::vector<MmlPoint> pts;
        if (!points("path", &pts)) return false;
        size_t i = 0;
        if (equalNoCase(name, "Linex") && !pts.empty()) {
            if (!move(shape, toTwips(pts[0].x), toTwips(pts[0].y))) return false;
            i = 1;
        }
        for (; i < pts.size(); ++i) {
            if (!shape.lineTo(toTwips(pts[i].x), toTwips(pts[i].y))) return false;
            ++*drawCount;
        }
        return true;
    }
    if (equalNoCase(name, "CurvexTo") || equalNoCase(name, "Curvex")) {
        if (counterOrder(reader)) return false;
        const char* type = reader.attributeTrimmed("type");
        const bool cubic = type && *type && std::strlen(type) <= 7 && startsWithNoCase("bezier3", type);
        std::vector<MmlPoint> pts;
        if (!points("path", &pts)) return false;
        size_t i = 0;
        if (equalNoCase(name, "Curvex") && !pts.empty()) {
            if (!move(shape, toTwips(pts[0].x), toTwips(pts[0].y))) return false;
            i = 1;
        }
        const size_t group = cubic ? 3 : 2;
        for (; i + group <= pts.size(); i += group) {
            const MmlPoint* p = &pts[i];
            const int ok = cubic ? shape.cubicTo(toTwips(p[0].x), toTwips(p[0].y), toTwips(p[1].x),
                                                 toTwips(p[1].y), toTwips(p[2].x), toTwips(p[2].y))
                                 : shape.quadraticTo(toTwips(p[0].x), toTwips(p[0].y),
                                                     toTwips(p[1].x), toTwips(p[1].y));
            if (!ok) return false;
            ++*drawCount;
        }
        return true;
    }
    if (equalNoCase(name, "Rect")) {
        double x = 0, y = 0, w = 0, h = 0;
        if (reader.attributePair("pos", &x, &y) != 3) return false;
        double x2 = 0, y2 = 0;
        if (reader.attributePair("size", &w, &h) == 3) {
            x2 = x + w;
            y2 = y + h;
        } else if (reader.attributePair("pos1", &x2, &y2) == 3) {
            w = x2 - x;
            h = y2 - y;
        } else {
            return false;
        }
        if (w == 0 || h == 0) return false;
        const int winding = counterOrder(reader) ? 0 : 1;
        if (!shape.rectangle(toTwips(x), toTwips(y), toTwips(x2), toTwips(y2), winding)) return false;
        *drawCount += 4;
        return true;
    }
    if (equalNoCase(name, "Rectex")) {
        const char* text = reader.attribute("pos");
        if (!text) return false;
        const std::vector<MmlRect> rects = parseRectList(text);
        const int winding = counterOrder(reader) ? 0 : 1;
        for (const MmlRect& r : rects) {
            const int32_t x1 = toTwips(r.x1), y1 = toTwips(r.y1), x2 = toTwips(r.x2), y2 = toTwips(r.y2);
            if (x1 == x2 || y1 == y2) continue;
            if (!shape.rectangle(x1, y1, x2, y2, winding)) return false;
            *drawCount += 4;
        }
        return *drawCount >= 2;
    }
    if (equalNoCase(name, "LineStyle")) {
        MmlColor color;
        if (reader.attributeColor("color", &color) != 1) return shape.clearLineStyle() != 0;
        double width = 0;
        int32_t twips = 1;
        if (reader.attributeReal("width", &width) == 1) twips = std::clamp(toTwips(width), 0, 65535);
        return shape.lineStyle(color.argb(), uint16_t(twips), color.hasAlpha) >= 0;
    }
    if (equalNoCase(name, "FillColor")) {
        const char* side = reader.attribute("side");
        const bool left = side && hasKeyword(side, "left");
        const bool right = side && hasKeyword(side, "right");
        if (!left && !right) return true;
        MmlColor color;
        const bool valid = reader.attributeColor("color", &color) == 1;
        for (int s : {kSideLeft, kSideRight}) {
            if ((s == kSideLeft && !left) || (s == kSideRight && !right)) continue;
            const int r = valid ? shape.solidFill(color.argb(), s, color.hasAlpha) : shape.clearFill(s);
            if (r < 0 || (!valid && r == 0)) return false;
        }
        return true;
    }
    return true;  // unknown children are skipped
}

}  // namespace tessaly
