// Text of the device context: laying out a run with the selected font, and
// the glyph outlines GDI fills when a driver declines the text.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

#include "context_state.h"

namespace tessaly::gdi {

namespace {

LONG roundL(double v) { return static_cast<LONG>(std::clamp(std::lround(v), -1073741824L, 1073741824L)); }

}  // namespace

std::shared_ptr<FontObject> DeviceContext::Impl::realize(const FontRequest& request) {
    auto same = [&](const FontRequest& r) {
        return std::memcmp(&r.logFont, &request.logFont, sizeof r.logFont) == 0 && r.m11 == request.m11 &&
               r.m12 == request.m12 && r.m21 == request.m21 && r.m22 == request.m22 && r.dpiX == request.dpiX &&
               r.dpiY == request.dpiY;
    };
    for (auto it = fonts.begin(); it != fonts.end(); ++it)
        if (same(it->first)) {
            auto hit = *it;
            fonts.erase(it);
            fonts.push_back(hit);
            return hit.second;
        }
    std::shared_ptr<FontObject> font(FontObject::create(request));
    if (!font) return nullptr;
    if (fonts.size() >= 8) fonts.erase(fonts.begin());
    fonts.emplace_back(request, font);
    return font;
}

bool DeviceContext::textOut(PointD at, std::u16string_view text, std::span<const double> advances,
                            const RectD* opaque) {
    Impl& d = *impl_;
    if (!d.inPage) return d.fail("drawing outside a page");
    if (!std::isfinite(at.x) || !std::isfinite(at.y)) return d.fail("textOut: bad point");
    if (!advances.empty() && advances.size() < text.size())
        return d.fail("textOut: fewer advances than characters");
    for (double a : advances)
        if (!std::isfinite(a) || std::fabs(a) > 1e7) return d.fail("textOut: bad advance");
    const DcState& s = d.state;
    const Transform& t = s.world;

    // The baseline in the device: the escapement turns it counter-clockwise
    // on the page (y down), then the world transform maps it.
    const double angle = s.font.lfEscapement / 10.0 * std::numbers::pi / 180.0;
    const PointD dir{std::cos(angle), -std::sin(angle)};
    const PointD mapped{dir.x * t.m11 + dir.y * t.m21, dir.x * t.m12 + dir.y * t.m22};
    const double stretch = std::hypot(mapped.x, mapped.y);
    if (!(stretch > 0)) return d.fail("textOut: the transform flattens the baseline");
    const PointD u{mapped.x / stretch, mapped.y / stretch};
    const PointD up{u.y, -u.x};
    const double scale = std::sqrt(std::fabs(t.m11 * t.m22 - t.m12 * t.m21));

    FontRequest request;
    request.logFont = s.font;
    LONG height = roundL(s.font.lfHeight * scale);
    if (height == 0) height = s.font.lfHeight < 0 ? -1 : 1;
    request.logFont.lfHeight = height;
    request.logFont.lfWidth = 0;
    LONG tenths = roundL(std::atan2(-u.y, u.x) * 1800.0 / std::numbers::pi);
    if (tenths < 0) tenths += 3600;
    request.logFont.lfEscapement = tenths;
    request.logFont.lfOrientation = tenths;
    request.dpiX = static_cast<LONG>(d.device.gdiInfo().ulLogPixelsX);
    request.dpiY = static_cast<LONG>(d.device.gdiInfo().ulLogPixelsY);
    std::shared_ptr<FontObject> font = d.realize(request);
    if (!font) return d.fail("textOut: the font cannot be realized");

    DrawOp op;
    op.kind = DrawOp::Kind::Text;
    op.text.assign(text.begin(), text.end());
    double width = 0;
    if (!advances.empty()) {
        for (size_t i = 0; i < text.size(); ++i) op.advances.push_back(advances[i] * stretch);
    } else {
        for (char16_t c : text) {
            double dx = 0, dy = 0;
            if (font->advance(font->glyph(c), &dx, &dy)) op.advances.push_back(std::hypot(dx, dy));
            else op.advances.push_back(0);
        }
    }
    for (double a : op.advances) width += a;
    if (advances.empty()) op.advances.clear();  // the font places its own glyphs

    const double ascent = font->ascent(), descent = font->descent();
    double shiftX = 0, shiftUp = 0;
    if (s.alignX == TextAlignX::Center) shiftX = -width / 2;
    if (s.alignX == TextAlignX::Right) shiftX = -width;
    if (s.alignY == TextAlignY::Top) shiftUp = -ascent;
    if (s.alignY == TextAlignY::Bottom) shiftUp = descent;
    const PointD p0 = t.apply(at);
    op.origin = {p0.x + u.x * shiftX + up.x * shiftUp, p0.y + u.y * shiftX + up.y * shiftUp};

    RectD box{INFINITY, INFINITY, -INFINITY, -INFINITY};
    for (double along : {0.0, width})
        for (double across : {ascent, -descent}) {
            const PointD p{op.origin.x + u.x * along + up.x * across, op.origin.y + u.y * along + up.y * across};
            box = {std::min(box.left, p.x), std::min(box.top, p.y), std::max(box.right, p.x),
                   std::max(box.bottom, p.y)};
        }
    RectD back = box;
    if (opaque) {
        DevicePath r;
        addRectangle(r, *opaque, t);
        if (!r.bounds(&back)) return d.fail("textOut: bad opaque rectangle");
        op.opaque = true;
    } else {
        op.opaque = s.backgroundMode == BackgroundMode::Opaque && !text.empty();
    }
    op.opaqueRect = pixelBounds(back);
    if (text.empty() && !op.opaque) return true;
    op.font = std::move(font);
    op.textColor = s.textColor;
    op.background = s.background;
    op.transparentBackground = s.backgroundMode == BackgroundMode::Transparent;
    // Glyphs may reach past their advance box (italics, overhangs).
    const double grow = std::fabs(static_cast<double>(height)) + 2;
    const DeviceRect ink = pixelBounds({box.left - grow, box.top - grow, box.right + grow, box.bottom + grow});
    op.bounds = {std::min(ink.left, op.opaqueRect.left), std::min(ink.top, op.opaqueRect.top),
                 std::max(ink.right, op.opaqueRect.right), std::max(ink.bottom, op.opaqueRect.bottom)};
    return d.submit(std::move(op));
}

}  // namespace tessaly::gdi
