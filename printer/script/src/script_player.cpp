#include <algorithm>
#include <cmath>
#include <numbers>
#include <cstring>

#include "image/image.h"
#include "platform/gdi_fonts.h"
#include "script/print_script.h"
#include "support/files.h"

namespace tessaly::script {

namespace {

// Device-independent boxes: x y w h into a rectangle.
gdi::RectD boxRect(const std::vector<double>& v, size_t at = 0) {
    return {v[at], v[at + 1], v[at] + v[at + 2], v[at + 1] + v[at + 3]};
}

std::vector<gdi::PointD> points(const std::vector<double>& v) {
    std::vector<gdi::PointD> out;
    out.reserve(v.size() / 2);
    for (size_t i = 0; i + 1 < v.size(); i += 2) out.push_back({v[i], v[i + 1]});
    return out;
}

// A picture file as blue-green-red rows for the device context.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> bits;
    int stride() const { return (width * 3 + 3) & ~3; }
};

int loadPicture(const std::string& path, Picture& out, std::string& why) {
    Image image;
    const int result = image.load(path);
    if (result != kImageOk) {
        why = "cannot read " + path + ": " + describeImageFailure(result, image.loadError());
        return 0;
    }
    if (!image.expandToRgb()) {
        why = "cannot read " + path + ": out of memory";
        return 0;
    }
    out.width = static_cast<int>(image.width());
    out.height = static_cast<int>(image.height());
    out.bits.assign(static_cast<size_t>(out.stride()) * static_cast<size_t>(out.height), 0);
    for (int y = 0; y < out.height; ++y) {
        const uint8_t* src = image.rgbRow(static_cast<uint32_t>(y));
        uint8_t* dst = out.bits.data() + static_cast<size_t>(y) * static_cast<size_t>(out.stride());
        for (int x = 0; x < out.width; ++x) {
            dst[3 * x] = src[3 * x + 2];
            dst[3 * x + 1] = src[3 * x + 1];
            dst[3 * x + 2] = src[3 * x];
        }
    }
    return 1;
}

// The fonts a script registered, removed when the document is over.
class PrivateFonts {
public:
    PrivateFonts() = default;
    PrivateFonts(const PrivateFonts&) = delete;
    PrivateFonts& operator=(const PrivateFonts&) = delete;
    ~PrivateFonts() {
        for (HANDLE handle : handles_) (void)fonts::removePrivateFont(handle);
    }

    bool add(const std::string& path, const std::u16string& face, std::string& why) {
        SizedBlock bytes;
        FileReadFailure failure = FileReadFailure::none;
        if (!readWholeFile(path, bytes, kMaxFontFileBytes, &failure)) {
            why = "cannot read " + path + ": " + fileReadFailureText(failure);
            return false;
        }
        HANDLE handle = fonts::addPrivateFont(bytes.data.get(), bytes.length, face.c_str());
        if (!handle) {
            why = path + " holds no font";
            return false;
        }
        handles_.push_back(handle);
        return true;
    }

private:
    std::vector<HANDLE> handles_;
};

class Player {
public:
    Player(gdi::DeviceContext& dc, const Script& script, const PlayOptions& options)
        : dc_(dc), script_(script), options_(options) {}

    int run(std::string* error) {
        for (const Command& c : script_.commands) {
            why_.clear();
            if (!step(c)) {
                if (why_.empty()) why_ = dc_.errorText().empty() ? "drawing failed" : dc_.errorText();
                if (error) *error = "line " + std::to_string(c.line) + ": " + why_;
                dc_.clearError();
                return 0;
            }
        }
        return 1;
    }

private:
    bool startPage() {
        if (!dc_.startPage()) return false;
        inPath_ = false;
        dc_.resetClip();
        // Text is drawn without a background box, as the format has none.
        dc_.setBackgroundMode(gdi::BackgroundMode::Transparent);
        // A text's point is the left end of its baseline (the context's own
        // default is the top).
        dc_.setTextAlign(gdi::TextAlignX::Left, gdi::TextAlignY::Baseline);
        // The page starts with the unit's scale alone.
        const double dpi = std::max(1.0, dpi_);
        const double s = unitScale(script_.unit, dpi);
        gdi::Transform base;
        base.m11 = s;
        base.m22 = s;
        return dc_.setTransform(base, gdi::TransformMode::Set);
    }

    bool endPath() {
        if (!inPath_) return true;
        inPath_ = false;
        return dc_.endPath();
    }

    bool step(const Command& c) {
        const std::vector<double>& v = c.values;
        switch (c.op) {
            case Op::Page: return startPage();
            case Op::EndPage:
                if (inPath_) {
                    dc_.abortPath();
                    inPath_ = false;
                }
                return dc_.endPage();
            case Op::Pen: {
                gdi::Pen pen = c.pen;
                return dc_.setPen(pen);
            }
            case Op::Brush: {
                if (c.brush.style != gdi::BrushStyle::Pattern) return dc_.setBrush(c.brush);
                // The context copies the tile when the brush is set.
                FormattedPicture tile;
                formattedPicture(static_cast<int>(v[0]), static_cast<int>(v[1]), c.bits, false, tile);
                gdi::Brush brush = c.brush;
                brush.pattern = tile.view;
                return dc_.setBrush(brush);
            }
            case Op::Mix: dc_.setMix(c.mix); return true;
            case Op::FillMode: dc_.setFillMode(c.fillMode); return true;
            case Op::Font: {
                LOGFONTW font{};
                font.lfHeight = -static_cast<LONG>(std::lround(std::max(1.0, v[0])));
                font.lfWeight = c.bold ? 700 : 400;
                font.lfItalic = c.italic ? 1 : 0;
                font.lfUnderline = c.underline ? 1 : 0;
                font.lfStrikeOut = c.strikeOut ? 1 : 0;
                font.lfCharSet = static_cast<BYTE>(c.charset);
                for (size_t i = 0; i < c.wide.size() && i + 1 < LF_FACESIZE; ++i) {
                    font.lfFaceName[i] = static_cast<WCHAR>(c.wide[i]);
                }
                return dc_.setFont(font);
            }
            case Op::TextColor: dc_.setTextColor(c.color); return true;
            case Op::Transform: {
                const gdi::Transform t{v[0], v[1], v[2], v[3], v[4], v[5]};
                if (!t.invertible()) {
                    why_ = "transform cannot be inverted";
                    return false;
                }
                return dc_.setTransform(t, gdi::TransformMode::LeftMultiply);
            }
            case Op::Save: dc_.save(); return true;
            case Op::Restore: return dc_.restore(-1);
            case Op::ClipRect: return dc_.clipRect(boxRect(v));
            case Op::ClipPath: return endPath() && dc_.clipPath();
            case Op::ClipReset: dc_.resetClip(); return true;
            case Op::ClipRegion: {
                // Page rectangles: the unit's scale alone, as a region is in
                // device pixels.
                const double scale = unitScale(script_.unit, std::max(1.0, dpi_));
                auto pixel = [&](double value) {
                    return static_cast<int32_t>(std::clamp(std::lround(value * scale), -(1L << 30), 1L << 30));
                };
                std::vector<gdi::DeviceRect> rects;
                for (size_t i = 0; i + 3 < v.size(); i += 4) {
                    rects.push_back({pixel(v[i]), pixel(v[i + 1]), pixel(v[i] + v[i + 2]), pixel(v[i + 1] + v[i + 3])});
                }
                return dc_.clipRegion(rects, gdi::ClipCombine::And);
            }
            case Op::Move:
                if (!inPath_) {
                    if (!dc_.beginPath()) return false;
                    inPath_ = true;
                }
                return dc_.moveTo({v[0], v[1]});
            case Op::Line: return dc_.lineTo({v[0], v[1]});
            case Op::Curve: return dc_.bezierTo({v[0], v[1]}, {v[2], v[3]}, {v[4], v[5]});
            case Op::Close: return dc_.closeFigure();
            case Op::Fill: return endPath() && dc_.fillPath();
            case Op::Stroke: return endPath() && dc_.strokePath();
            case Op::FillStroke: return endPath() && dc_.strokeAndFillPath();
            case Op::Rect: return dc_.rectangle(boxRect(v));
            case Op::Ellipse: return dc_.ellipse(boxRect(v));
            case Op::RoundRect: return dc_.roundRect(boxRect(v), v[4], v[5]);
            case Op::Polygon: {
                const auto p = points(v);
                return dc_.polygon(p);
            }
            case Op::Polyline: {
                const auto p = points(v);
                return dc_.polyline(p);
            }
            case Op::Text: {
                std::vector<double> advances;
                gdi::TextOptions options;
                if (c.spacing >= 0) {
                    advances.assign(c.wide.size(), c.spacing);
                    options.advances = advances;
                }
                if (!c.opaque) return dc_.textOut({v[0], v[1]}, c.wide, options);
                // The box behind this text alone: the page goes back to
                // transparent text afterwards.
                dc_.setBackgroundColor(c.color);
                dc_.setBackgroundMode(gdi::BackgroundMode::Opaque);
                const bool ok = dc_.textOut({v[0], v[1]}, c.wide, options);
                dc_.setBackgroundMode(gdi::BackgroundMode::Transparent);
                return ok;
            }
            case Op::Glyphs: {
                gdi::TextOptions options;
                options.glyphIndices = true;
                return dc_.textOut({v[0], v[1]}, c.wide, options);
            }
            case Op::Image: {
                Picture picture;
                if (!loadPicture(scriptFile(c.text), picture, why_)) return false;
                return drawPicture(boxRect(v), picture);
            }
            case Op::FontFile: return fonts_.add(scriptFile(c.text), c.wide, why_);
            case Op::BuiltinImage: {
                const gdi::BitmapView& view = picture(c.bits, false);
                return dc_.stretchBlt(boxRect(v), view, {0, 0, view.width, view.height}, c.rop);
            }
            case Op::PatBlt: return dc_.patBlt(boxRect(v), c.rop);
            case Op::AlphaBlend: {
                const gdi::BitmapView& view = picture(c.perPixel ? 32 : 24, c.perPixel);
                return dc_.alphaBlend(boxRect(v), view, {0, 0, view.width, view.height},
                                      static_cast<uint8_t>(c.alpha), c.perPixel);
            }
            case Op::TransparentBlt: {
                const gdi::BitmapView& view = picture(24, false);
                return dc_.transparentBlt(boxRect(v), view, {0, 0, view.width, view.height}, c.color);
            }
            case Op::Gradient: return dc_.gradientRect(boxRect(v), c.color, c.color2, c.vertical);
            case Op::GradientTriangles: {
                std::vector<gdi::GradientVertex> vertices;
                std::vector<gdi::GradientTriangle> triangles;
                for (size_t i = 0; i + 1 < v.size() && i / 2 < c.colors.size(); i += 2) {
                    vertices.push_back({v[i], v[i + 1], c.colors[i / 2], 0xFF});
                }
                for (uint32_t t = 0; t + 2 < vertices.size(); t += 3) triangles.push_back({t, t + 1, t + 2});
                return dc_.gradientTriangles(vertices, triangles);
            }
        }
        return false;
    }

    // A file named by the script: relative names are found beside it.
    std::string scriptFile(const std::string& name) const {
        if (!name.empty() && name[0] != '/' && !options_.baseDirectory.empty()) {
            return options_.baseDirectory + "/" + name;
        }
        return name;
    }

    // The generated picture in a format, made once per script: a document
    // may show it on every page.
    const gdi::BitmapView& picture(int bits, bool alphaRamp) {
        FormattedPicture& p = pictures_[pictureSlot(bits, alphaRamp)];
        if (p.storage.empty()) formattedPicture(256, 192, bits, alphaRamp, p);
        return p.view;
    }
    static size_t pictureSlot(int bits, bool alphaRamp) {
        switch (bits) {
            case 1: return 0;
            case 4: return 1;
            case 8: return 2;
            case 16: return 3;
            case 32: return alphaRamp ? 6 : 5;
            default: return 4;
        }
    }

    bool drawPicture(const gdi::RectD& dest, const Picture& picture) {
        gdi::BitmapView view;
        view.width = picture.width;
        view.height = picture.height;
        view.bitsPerPixel = 24;
        view.stride = picture.stride();
        view.bits = picture.bits.data();
        return dc_.stretchBlt(dest, view, {0, 0, picture.width, picture.height});
    }

public:
    double dpi_ = 300;

private:
    gdi::DeviceContext& dc_;
    const Script& script_;
    const PlayOptions& options_;
    std::string why_;
    bool inPath_ = false;
    FormattedPicture pictures_[7];
    PrivateFonts fonts_;
};

}  // namespace

int playScript(const Script& script, gdi::DeviceContext& dc, const PlayOptions& options, std::string* error) {
    Player player(dc, script, options);
    player.dpi_ = options.dpi;
    return player.run(error);
}

std::vector<uint8_t> builtinPicture(int width, int height) {
    width = std::clamp(width, 1, 4096);
    height = std::clamp(height, 1, 4096);
    const int stride = (width * 3 + 3) & ~3;
    std::vector<uint8_t> bits(static_cast<size_t>(stride) * static_cast<size_t>(height), 0);
    // A colour wheel of hues around the centre over a checkerboard, with a
    // white ring: edges in every direction and smooth colour between them.
    const double cx = width / 2.0, cy = height / 2.0;
    const double radius = std::min(width, height) * 0.45;
    for (int y = 0; y < height; ++y) {
        uint8_t* row = bits.data() + static_cast<size_t>(y) * static_cast<size_t>(stride);
        for (int x = 0; x < width; ++x) {
            const double dx = x + 0.5 - cx, dy = y + 0.5 - cy;
            const double d = std::sqrt(dx * dx + dy * dy);
            uint8_t r, g, b;
            if (d < radius) {
                const double hue = (std::atan2(dy, dx) + std::numbers::pi) / (2 * std::numbers::pi) * 6.0;
                const double f = hue - std::floor(hue);
                const double light = 1.0 - d / radius * 0.5;
                double rr = 0, gg = 0, bb = 0;
                switch (static_cast<int>(hue) % 6) {
                    case 0: rr = 1; gg = f; break;
                    case 1: rr = 1 - f; gg = 1; break;
                    case 2: gg = 1; bb = f; break;
                    case 3: gg = 1 - f; bb = 1; break;
                    case 4: rr = f; bb = 1; break;
                    default: rr = 1; bb = 1 - f; break;
                }
                r = static_cast<uint8_t>(rr * 255 * light);
                g = static_cast<uint8_t>(gg * 255 * light);
                b = static_cast<uint8_t>(bb * 255 * light);
                if (std::fabs(d - radius * 0.6) < 3) r = g = b = 255;
            } else {
                const bool dark = ((x / 16) + (y / 16)) % 2 == 0;
                r = g = b = dark ? 0x40 : 0xC0;
            }
            row[3 * x] = b;
            row[3 * x + 1] = g;
            row[3 * x + 2] = r;
        }
    }
    return bits;
}

void formattedPicture(int width, int height, int bits, bool alphaRamp, FormattedPicture& out) {
    width = std::clamp(width, 1, 4096);
    height = std::clamp(height, 1, 4096);
    const std::vector<uint8_t> rgb = builtinPicture(width, height);
    const size_t rgbStride = static_cast<size_t>((width * 3 + 3) & ~3);
    out.palette.clear();
    out.view = {};
    out.view.width = width;
    out.view.height = height;
    auto pixel = [&](int x, int y) {
        const uint8_t* p = &rgb[static_cast<size_t>(y) * rgbStride + static_cast<size_t>(x) * 3];
        return gdi::Color(p[2]) << 16 | gdi::Color(p[1]) << 8 | p[0];
    };
    if (bits == 1 || bits == 4 || bits == 8) {
        // Palette pictures, their indices packed as the format has them
        // (the leftmost pixel in a byte's high bits).
        if (bits == 1) {
            out.palette = {0x000000, 0xFFFFFF};
        } else if (bits == 4) {
            out.palette = {0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0xC0C0C0,
                           0x808080, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};
        } else {
            for (gdi::Color r = 0; r < 6; ++r)
                for (gdi::Color g = 0; g < 6; ++g)
                    for (gdi::Color b = 0; b < 6; ++b) out.palette.push_back(r * 51 << 16 | g * 51 << 8 | b * 51);
        }
        const size_t stride = (static_cast<size_t>(width) * static_cast<size_t>(bits) + 31) / 32 * 4;
        out.storage.assign(stride * static_cast<size_t>(height), 0);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                const gdi::Color c = pixel(x, y);
                const int r = int(c >> 16), g = int(c >> 8 & 0xFF), b = int(c & 0xFF);
                uint8_t index = 0;
                if (bits == 1) {
                    index = 299 * r + 587 * g + 114 * b >= 128000 ? 1 : 0;
                } else if (bits == 8) {
                    index = static_cast<uint8_t>((r + 25) / 51 * 36 + (g + 25) / 51 * 6 + (b + 25) / 51);
                } else {
                    int best = INT32_MAX;
                    for (size_t i = 0; i < out.palette.size(); ++i) {
                        const gdi::Color q = out.palette[i];
                        const int dr = r - int(q >> 16), dg = g - int(q >> 8 & 0xFF), db = b - int(q & 0xFF);
                        const int d = dr * dr + dg * dg + db * db;
                        if (d < best) {
                            best = d;
                            index = static_cast<uint8_t>(i);
                        }
                    }
                }
                const size_t bit = static_cast<size_t>(x) * static_cast<size_t>(bits);
                uint8_t& byte = out.storage[static_cast<size_t>(y) * stride + bit / 8];
                byte = static_cast<uint8_t>(byte | index << (8 - bits - static_cast<int>(bit % 8)));
            }
        }
        out.view.bitsPerPixel = bits;
        out.view.stride = static_cast<int>(stride);
        out.view.palette = out.palette;
    } else if (bits == 32) {
        const size_t stride = static_cast<size_t>(width) * 4;
        out.storage.assign(stride * static_cast<size_t>(height), 0);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                const gdi::Color c = pixel(x, y);
                const unsigned a = alphaRamp ? 255u - static_cast<unsigned>(x * 255 / std::max(1, width - 1)) : 255u;
                uint8_t* d = &out.storage[static_cast<size_t>(y) * stride + static_cast<size_t>(x) * 4];
                d[0] = static_cast<uint8_t>((c & 0xFF) * a / 255);
                d[1] = static_cast<uint8_t>((c >> 8 & 0xFF) * a / 255);
                d[2] = static_cast<uint8_t>((c >> 16) * a / 255);
                d[3] = static_cast<uint8_t>(a);
            }
        }
        out.view.bitsPerPixel = 32;
        out.view.stride = static_cast<int>(stride);
    } else if (bits == 16) {
        // Five bits a channel in little-endian words: 0RRRRRGGGGGBBBBB.
        const size_t stride = (static_cast<size_t>(width) * 2 + 3) & ~size_t{3};
        out.storage.assign(stride * static_cast<size_t>(height), 0);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                const gdi::Color c = pixel(x, y);
                const unsigned word = (c >> 19 & 0x1F) << 10 | (c >> 11 & 0x1F) << 5 | (c >> 3 & 0x1F);
                uint8_t* d = &out.storage[static_cast<size_t>(y) * stride + static_cast<size_t>(x) * 2];
                d[0] = static_cast<uint8_t>(word);
                d[1] = static_cast<uint8_t>(word >> 8);
            }
        }
        out.view.bitsPerPixel = 16;
        out.view.stride = static_cast<int>(stride);
    } else {
        out.storage = rgb;
        out.view.bitsPerPixel = 24;
        out.view.stride = static_cast<int>(rgbStride);
    }
    out.view.bits = out.storage.data();
}

}  // namespace tessaly::script
