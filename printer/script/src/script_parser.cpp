#include <algorithm>
#include <charconv>
#include <cmath>
#include <numbers>

#include "script/print_script.h"

namespace tessaly::script {

namespace {

// One word of a line: a bare word or a quoted text (quotes removed).
struct Word {
    std::string text;
    bool quoted = false;
};

// Splits a line into words; false with the reason on a broken quote.
bool splitLine(std::string_view line, std::vector<Word>& words, std::string& why) {
    words.clear();
    size_t i = 0;
    while (i < line.size()) {
        const char c = line[i];
        if (c == ' ' || c == '\t' || c == '\r') {
            ++i;
        } else if (c == '#' && (words.empty() || i + 1 == line.size() || line[i + 1] == ' ' || line[i + 1] == '\t' ||
                                line[i + 1] == '\r')) {
            break;  // a comment (a colour is "#" and its digits)
        } else if (c == '"') {
            Word word;
            word.quoted = true;
            ++i;
            bool closed = false;
            while (i < line.size()) {
                char d = line[i++];
                if (d == '"') {
                    closed = true;
                    break;
                }
                if (d == '\\' && i < line.size() && (line[i] == '"' || line[i] == '\\')) d = line[i++];
                if (word.text.size() >= kMaxTextBytes) {
                    why = "text longer than " + std::to_string(kMaxTextBytes) + " bytes";
                    return false;
                }
                word.text.push_back(d);
            }
            if (!closed) {
                why = "text without its closing quote";
                return false;
            }
            words.push_back(std::move(word));
        } else {
            const size_t start = i;
            while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r' && line[i] != '"') {
                ++i;
            }
            words.push_back({std::string(line.substr(start, i - start)), false});
        }
    }
    return true;
}

// UTF-8 to UTF-16; false on a malformed sequence.
bool utf8ToUtf16(std::string_view text, std::u16string& out) {
    out.clear();
    for (size_t i = 0; i < text.size();) {
        const auto b = static_cast<unsigned char>(text[i]);
        uint32_t code = 0;
        size_t extra = 0;
        if (b < 0x80) {
            code = b;
        } else if ((b & 0xE0) == 0xC0) {
            code = b & 0x1F;
            extra = 1;
        } else if ((b & 0xF0) == 0xE0) {
            code = b & 0x0F;
            extra = 2;
        } else if ((b & 0xF8) == 0xF0) {
            code = b & 0x07;
            extra = 3;
        } else {
            return false;
        }
        if (extra > 0 && i + extra >= text.size()) return false;
        for (size_t k = 1; k <= extra; ++k) {
            const auto n = static_cast<unsigned char>(text[i + k]);
            if ((n & 0xC0) != 0x80) return false;
            code = code << 6 | (n & 0x3F);
        }
        static constexpr uint32_t kSmallest[] = {0, 0x80, 0x800, 0x10000};
        if (code < kSmallest[extra] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
        if (code >= 0x10000) {
            code -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(code));
        }
        i += extra + 1;
    }
    return true;
}

class LineParser {
public:
    LineParser(const std::vector<Word>& words, std::string& why) : words_(words), why_(why) {}

    bool atEnd() const { return next_ >= words_.size(); }
    size_t left() const { return words_.size() - next_; }
    const Word* peek() const { return atEnd() ? nullptr : &words_[next_]; }

    bool fail(std::string text) {
        if (why_.empty()) why_ = std::move(text);
        return false;
    }
    std::string found() const {
        return atEnd() ? std::string("the end of the line") : "'" + words_[next_].text + "'";
    }

    bool word(std::string& out) {
        if (atEnd() || words_[next_].quoted) return fail("expected a word, found " + found());
        out = words_[next_++].text;
        return true;
    }
    bool quoted(std::string& out) {
        if (atEnd() || !words_[next_].quoted) return fail("expected a quoted text, found " + found());
        out = words_[next_++].text;
        return true;
    }
    // The next word when it is one of the choices (its index), else -1 and
    // the word stays.
    int choice(std::initializer_list<std::string_view> choices) {
        if (atEnd() || words_[next_].quoted) return -1;
        int index = 0;
        for (std::string_view c : choices) {
            if (words_[next_].text == c) {
                ++next_;
                return index;
            }
            ++index;
        }
        return -1;
    }
    bool require(std::initializer_list<std::string_view> choices, int& out) {
        out = choice(choices);
        if (out >= 0) return true;
        std::string list;
        for (std::string_view c : choices) list += (list.empty() ? "" : "|") + std::string(c);
        return fail("expected " + list + ", found " + found());
    }

    // A finite number, saturated to [low, high].
    bool number(double low, double high, double& out) {
        if (atEnd() || words_[next_].quoted) return fail("expected a number, found " + found());
        const std::string& t = words_[next_].text;
        const char* first = t.data();
        const char* last = t.data() + t.size();
        if (first != last && *first == '+') ++first;
        double value = 0;
        const auto [end, ec] = std::from_chars(first, last, value);
        if (first == last || end != last || (ec != std::errc() && ec != std::errc::result_out_of_range)) {
            return fail("expected a number, found " + found());
        }
        if (ec == std::errc::result_out_of_range) {
            // Too large or too small for a double: saturate by sign and size.
            value = (t.find_first_of("eE") != std::string::npos && t.find("e-") == std::string::npos &&
                     t.find("E-") == std::string::npos)
                        ? (t[0] == '-' ? -HUGE_VAL : HUGE_VAL)
                        : 0.0;
        }
        if (std::isnan(value)) return fail("expected a number, found " + found());
        out = std::clamp(value, low, high);
        ++next_;
        return true;
    }
    bool coordinates(size_t count, std::vector<double>& out) {
        for (size_t i = 0; i < count; ++i) {
            double v = 0;
            if (!number(-kMaxCoordinate, kMaxCoordinate, v)) return false;
            out.push_back(v);
        }
        return true;
    }
    // x y w h with the sizes not negative.
    bool box(std::vector<double>& out) {
        double v = 0;
        for (int i = 0; i < 4; ++i) {
            if (!number(i < 2 ? -kMaxCoordinate : 0, kMaxCoordinate, v)) return false;
            out.push_back(v);
        }
        return true;
    }
    bool colour(gdi::Color& out) {
        if (atEnd() || words_[next_].quoted) return fail("expected a colour, found " + found());
        const std::string& t = words_[next_].text;
        uint32_t value = 0;
        if (t.size() != 7 || t[0] != '#') return fail("expected a colour, found " + found());
        const auto [end, ec] = std::from_chars(t.data() + 1, t.data() + t.size(), value, 16);
        if (ec != std::errc() || end != t.data() + t.size()) return fail("expected a colour, found " + found());
        out = value;
        ++next_;
        return true;
    }
    // The word just taken.
    std::string previous() const { return next_ > 0 ? words_[next_ - 1].text : std::string(); }
    bool finish() {
        if (!atEnd()) return fail("unexpected " + found());
        return true;
    }

private:
    const std::vector<Word>& words_;
    std::string& why_;
    size_t next_ = 1;  // the command word is taken already
};

bool parsePen(LineParser& p, Command& c) {
    c.pen = gdi::Pen{};
    if (p.choice({"none"}) == 0) {
        c.pen.style = gdi::PenStyle::Null;
        return p.finish();
    }
    if (!p.colour(c.pen.color)) return false;
    const Word* next = p.peek();
    if (next && !next->quoted && !next->text.empty() &&
        (std::isdigit(static_cast<unsigned char>(next->text[0])) || next->text[0] == '.' || next->text[0] == '+' ||
         next->text[0] == '-')) {
        double width = 0;
        if (!p.number(0, kMaxSize, width)) return false;
        c.pen.width = width;
        c.pen.geometric = width > 0;
        if (width == 0) c.pen.width = 1;
    }
    while (!p.atEnd()) {
        const int style = p.choice({"solid", "dash", "dot", "dashdot", "dashdotdot"});
        if (style >= 0) {
            static constexpr gdi::PenStyle kStyles[] = {gdi::PenStyle::Solid, gdi::PenStyle::Dash, gdi::PenStyle::Dot,
                                                        gdi::PenStyle::DashDot, gdi::PenStyle::DashDotDot};
            c.pen.style = kStyles[style];
            continue;
        }
        int which = 0;
        if (!p.require({"cap", "join", "dashes"}, which)) return false;
        int value = 0;
        if (which == 0) {
            if (!p.require({"round", "square", "flat"}, value)) return false;
            static constexpr gdi::LineCap kCaps[] = {gdi::LineCap::Round, gdi::LineCap::Square, gdi::LineCap::Flat};
            c.pen.cap = kCaps[value];
        } else if (which == 1) {
            if (!p.require({"round", "bevel", "miter"}, value)) return false;
            static constexpr gdi::LineJoin kJoins[] = {gdi::LineJoin::Round, gdi::LineJoin::Bevel,
                                                       gdi::LineJoin::Miter};
            c.pen.join = kJoins[value];
        } else {
            c.pen.style = gdi::PenStyle::User;
            c.pen.dashes.clear();
            auto isKeyword = [](const Word* w) {
                for (std::string_view k : {"cap", "join", "solid", "dash", "dot", "dashdot", "dashdotdot"}) {
                    if (w->text == k) return true;
                }
                return false;
            };
            while (!p.atEnd() && !isKeyword(p.peek())) {
                if (c.pen.dashes.size() >= kMaxDashes) {
                    return p.fail("more than " + std::to_string(kMaxDashes) + " dash lengths");
                }
                double length = 0;
                if (!p.number(0, kMaxSize, length)) return false;
                c.pen.dashes.push_back(length);
            }
            if (c.pen.dashes.size() < 2) return p.fail("dashes need at least two lengths");
        }
    }
    return true;
}

// A ternary raster operation: a number 0..255 (decimal or 0x hex) or a name.
bool parseRop(LineParser& p, uint32_t& out) {
    static constexpr struct {
        std::string_view name;
        uint32_t rop;
    } kNames[] = {{"srccopy", 0xCC},   {"srcpaint", 0xEE},   {"srcand", 0x88},    {"srcinvert", 0x66},
                  {"srcerase", 0x44},  {"notsrccopy", 0x33}, {"notsrcerase", 0x11}, {"mergecopy", 0xC0},
                  {"mergepaint", 0xBB}, {"patcopy", 0xF0},   {"patpaint", 0xFB},  {"patinvert", 0x5A},
                  {"dstinvert", 0x55}, {"blackness", 0x00},  {"whiteness", 0xFF}};
    std::string word;
    if (!p.word(word)) return false;
    for (const auto& n : kNames) {
        if (word == n.name) {
            out = n.rop;
            return true;
        }
    }
    const bool hex = word.size() > 2 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X');
    const char* first = word.data() + (hex ? 2 : 0);
    const char* last = word.data() + word.size();
    uint32_t value = 0;
    const auto [end, ec] = std::from_chars(first, last, value, hex ? 16 : 10);
    if (first == last || end != last || ec != std::errc() || value > 0xFF) {
        return p.fail("expected a raster operation (0..255, 0x00..0xFF or a name), found '" + word + "'");
    }
    out = value;
    return true;
}

// "bits N" with N a pixel format the given list allows.
bool parseBits(LineParser& p, std::initializer_list<int> allowed, int& out) {
    double bits = 0;
    if (!p.number(0, 64, bits)) return false;
    for (int b : allowed) {
        if (bits == b) {
            out = b;
            return true;
        }
    }
    std::string list;
    for (int b : allowed) list += (list.empty() ? "" : "|") + std::to_string(b);
    return p.fail("expected bits " + list);
}

}  // namespace

double unitScale(Unit unit, double dpi) {
    switch (unit) {
        case Unit::Point: return dpi / 72.0;
        case Unit::Millimetre: return dpi / 25.4;
        case Unit::Inch: return dpi;
        case Unit::Pixel: return 1.0;
    }
    return 1.0;
}

int parseScript(std::string_view text, Script* out, std::string* error) {
    Script script;
    std::vector<Word> words;
    std::string why;
    bool inPage = false;
    bool inPath = false;
    size_t fontFiles = 0;
    int lineNumber = 0;
    size_t pos = 0;
    auto refuse = [&]() {
        if (error) *error = "line " + std::to_string(lineNumber) + ": " + why;
        return 0;
    };
    while (pos < text.size()) {
        const size_t end = std::min(text.find('\n', pos), text.size());
        const std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        ++lineNumber;
        if (line.find('\0') != std::string_view::npos) {
            why = "a zero byte";
            return refuse();
        }
        if (!splitLine(line, words, why)) return refuse();
        if (words.empty()) continue;
        if (words[0].quoted) {
            why = "expected a command, found \"" + words[0].text + "\"";
            return refuse();
        }
        if (script.commands.size() >= kMaxCommands) {
            why = "more than " + std::to_string(kMaxCommands) + " commands";
            return refuse();
        }
        const std::string& name = words[0].text;
        LineParser p(words, why);
        Command c;
        c.line = lineNumber;

        // Header commands.
        if (name == "units" || name == "paper" || name == "orientation") {
            if (script.pageCount > 0) {
                why = name + " belongs before the first page";
                return refuse();
            }
            if (name == "units") {
                int unit = 0;
                if (!p.require({"pt", "mm", "in", "px"}, unit) || !p.finish()) return refuse();
                script.unit = static_cast<Unit>(unit);
            } else if (name == "paper") {
                if (!p.word(script.paper) || !p.finish()) return refuse();
            } else {
                int o = 0;
                if (!p.require({"portrait", "landscape"}, o) || !p.finish()) return refuse();
                script.landscape = o == 1;
            }
            continue;
        }
        if (name == "fontfile") {
            std::string face;
            c.op = Op::FontFile;
            bool ok = p.quoted(c.text) && p.quoted(face) && p.finish();
            if (ok && ++fontFiles > kMaxFontFiles)
                ok = p.fail("more than " + std::to_string(kMaxFontFiles) + " font files");
            if (ok && c.text.empty()) ok = p.fail("font file name is empty");
            if (ok && (face.empty() || face.size() >= LF_FACESIZE)) ok = p.fail("face name of 1 to 31 bytes expected");
            if (ok && !utf8ToUtf16(face, c.wide)) ok = p.fail("face name is not UTF-8");
            if (!ok) return refuse();
            script.commands.push_back(std::move(c));
            continue;
        }
        if (name == "page") {
            if (inPage) {
                why = "page inside a page";
                return refuse();
            }
            if (script.pageCount >= kMaxPages) {
                why = "more than " + std::to_string(kMaxPages) + " pages";
                return refuse();
            }
            if (!p.finish()) return refuse();
            inPage = true;
            inPath = false;
            ++script.pageCount;
            c.op = Op::Page;
            script.commands.push_back(std::move(c));
            continue;
        }
        if (!inPage) {
            why = "'" + name + "' outside a page";
            return refuse();
        }

        bool ok = true;
        if (name == "endpage") {
            c.op = Op::EndPage;
            ok = p.finish();
            inPage = false;
        } else if (name == "pen") {
            c.op = Op::Pen;
            ok = parsePen(p, c);
        } else if (name == "brush") {
            c.op = Op::Brush;
            if (p.choice({"none"}) == 0) {
                c.brush.style = gdi::BrushStyle::Null;
            } else if (p.choice({"hatch"}) == 0) {
                int hatch = 0;
                c.brush.style = gdi::BrushStyle::Hatch;
                ok = p.colour(c.brush.color) &&
                     p.require({"horizontal", "vertical", "fdiagonal", "bdiagonal", "cross", "diagcross"}, hatch);
                c.brush.hatch = static_cast<gdi::HatchStyle>(hatch);
            } else if (p.choice({"pattern"}) == 0) {
                double w = 0, h = 0;
                c.brush.style = gdi::BrushStyle::Pattern;
                ok = p.number(1, kMaxPatternSide, w) && p.number(1, kMaxPatternSide, h);
                c.values = {std::floor(w), std::floor(h)};
                if (ok && p.choice({"bits"}) == 0) ok = parseBits(p, {8, 24, 32}, c.bits);
            } else {
                c.brush.style = gdi::BrushStyle::Solid;
                ok = p.colour(c.brush.color);
            }
            ok = ok && p.finish();
        } else if (name == "mix") {
            c.op = Op::Mix;
            const int named = p.choice({"black", "notmergepen", "masknotpen", "notcopypen", "maskpennot", "not",
                                        "xorpen", "notmaskpen", "maskpen", "notxorpen", "nop", "mergenotpen",
                                        "copypen", "mergepennot", "mergepen", "white"});
            if (named >= 0) {
                c.mix = named + 1;
            } else {
                double code = 0;
                ok = p.number(-kMaxCoordinate, kMaxCoordinate, code);
                if (ok && (code < 1 || code > 16 || code != std::floor(code))) {
                    ok = p.fail("expected a mix 1..16 or its name");
                }
                c.mix = static_cast<int>(code);
            }
            ok = ok && p.finish();
        } else if (name == "patblt") {
            c.op = Op::PatBlt;
            ok = p.box(c.values) && parseRop(p, c.rop) && p.finish();
        } else if (name == "alphablend") {
            double alpha = 0;
            c.op = Op::AlphaBlend;
            ok = p.box(c.values) && p.number(0, 255, alpha);
            c.alpha = static_cast<int>(alpha);
            if (ok && p.choice({"perpixel"}) == 0) c.perPixel = true;
            ok = ok && p.finish();
        } else if (name == "transparentblt") {
            c.op = Op::TransparentBlt;
            ok = p.box(c.values) && p.colour(c.color) && p.finish();
        } else if (name == "fillmode") {
            int mode = 0;
            c.op = Op::FillMode;
            ok = p.require({"alternate", "winding"}, mode) && p.finish();
            c.fillMode = mode == 1 ? gdi::FillMode::Winding : gdi::FillMode::Alternate;
        } else if (name == "font") {
            double size = 0;
            c.op = Op::Font;
            ok = p.quoted(c.text) && p.number(0, kMaxSize, size);
            c.values.push_back(size);
            while (ok && !p.atEnd()) {
                int style = 0;
                ok = p.require({"bold", "italic", "underline", "strikeout", "charset"}, style);
                if (!ok) break;
                if (style == 0) c.bold = true;
                if (style == 1) c.italic = true;
                if (style == 2) c.underline = true;
                if (style == 3) c.strikeOut = true;
                if (style == 4) {
                    double code = 0;
                    ok = p.number(-1e300, 1e300, code);
                    if (ok && (code < 0 || code > 255 || code != std::floor(code)))
                        ok = p.fail("expected a character set 0..255, found '" + p.previous() + "'");
                    c.charset = static_cast<int>(code);
                }
            }
            if (ok && c.text.size() >= LF_FACESIZE) ok = p.fail("font family longer than 31 bytes");
            if (ok && !utf8ToUtf16(c.text, c.wide)) ok = p.fail("font family is not UTF-8");
        } else if (name == "textcolor") {
            c.op = Op::TextColor;
            ok = p.colour(c.color) && p.finish();
        } else if (name == "transform") {
            c.op = Op::Transform;
            ok = p.coordinates(6, c.values) && p.finish();
        } else if (name == "translate") {
            c.op = Op::Transform;
            ok = p.coordinates(2, c.values) && p.finish();
            if (ok) c.values = {1, 0, 0, 1, c.values[0], c.values[1]};
        } else if (name == "scale") {
            c.op = Op::Transform;
            ok = p.coordinates(2, c.values) && p.finish();
            if (ok) c.values = {c.values[0], 0, 0, c.values[1], 0, 0};
        } else if (name == "rotate") {
            double degrees = 0;
            c.op = Op::Transform;
            ok = p.number(-kMaxCoordinate, kMaxCoordinate, degrees) && p.finish();
            const double r = std::fmod(degrees, 360.0) * std::numbers::pi / 180.0;
            // Counter-clockwise on the page, whose y axis points down.
            c.values = {std::cos(r), -std::sin(r), std::sin(r), std::cos(r), 0, 0};
        } else if (name == "save" || name == "restore") {
            c.op = name == "save" ? Op::Save : Op::Restore;
            ok = p.finish();
        } else if (name == "clip") {
            int which = 0;
            ok = p.require({"rect", "path", "reset", "region"}, which);
            if (ok && which == 0) {
                c.op = Op::ClipRect;
                ok = p.box(c.values);
            } else if (ok && which == 3) {
                c.op = Op::ClipRegion;
                if (p.left() == 0 || p.left() % 4 != 0) ok = p.fail("a region is rectangles of X Y W H");
                else if (p.left() / 4 > kMaxRegionRects)
                    ok = p.fail("more than " + std::to_string(kMaxRegionRects) + " rectangles");
                while (ok && !p.atEnd()) ok = p.box(c.values);
            } else if (ok && which == 1) {
                c.op = Op::ClipPath;
                if (!inPath) ok = p.fail("clip path without a path");
                inPath = false;
            } else {
                c.op = Op::ClipReset;
            }
            ok = ok && p.finish();
        } else if (name == "move" || name == "line") {
            c.op = name == "move" ? Op::Move : Op::Line;
            ok = p.coordinates(2, c.values) && p.finish();
            if (c.op == Op::Line && !inPath) ok = p.fail("line without a path (start it with move)");
            inPath = true;
        } else if (name == "curve") {
            c.op = Op::Curve;
            ok = p.coordinates(6, c.values) && p.finish();
            if (!inPath) ok = p.fail("curve without a path (start it with move)");
        } else if (name == "close") {
            c.op = Op::Close;
            ok = p.finish();
            if (!inPath) ok = p.fail("close without a path");
        } else if (name == "fill" || name == "stroke" || name == "fillstroke") {
            c.op = name == "fill" ? Op::Fill : name == "stroke" ? Op::Stroke : Op::FillStroke;
            ok = p.finish();
            if (!inPath) ok = p.fail(name + " without a path");
            inPath = false;
        } else if (name == "rect" || name == "ellipse") {
            c.op = name == "rect" ? Op::Rect : Op::Ellipse;
            ok = p.box(c.values) && p.finish();
        } else if (name == "roundrect") {
            c.op = Op::RoundRect;
            ok = p.box(c.values) && p.coordinates(2, c.values) && p.finish();
        } else if (name == "polygon" || name == "polyline") {
            c.op = name == "polygon" ? Op::Polygon : Op::Polyline;
            if (p.left() % 2 != 0) ok = p.fail("odd number of coordinates");
            else if (p.left() < 4) ok = p.fail("fewer than two points");
            else if (p.left() / 2 > kMaxPoints) ok = p.fail("more than " + std::to_string(kMaxPoints) + " points");
            else ok = p.coordinates(p.left(), c.values);
        } else if (name == "text") {
            c.op = Op::Text;
            std::string utf8;
            ok = p.coordinates(2, c.values) && p.quoted(utf8);
            while (ok && !p.atEnd()) {
                int option = 0;
                ok = p.require({"spacing", "opaque"}, option);
                if (!ok) break;
                if (option == 0) {
                    ok = p.number(-kMaxSize, kMaxSize, c.spacing);
                    if (ok && c.spacing < 0) ok = p.fail("expected a spacing 0..10000, found '" + p.previous() + "'");
                } else {
                    c.opaque = true;
                    c.color = 0xFFFFFF;
                    const Word* next = p.peek();
                    if (next && !next->quoted && !next->text.empty() && next->text[0] == '#') ok = p.colour(c.color);
                }
            }
            if (ok && !utf8ToUtf16(utf8, c.wide)) ok = p.fail("text is not UTF-8");
        } else if (name == "glyphs") {
            c.op = Op::Glyphs;
            ok = p.coordinates(2, c.values);
            if (ok && p.atEnd()) ok = p.fail("expected a glyph index, found the end of the line");
            if (ok && p.left() > kMaxGlyphs) ok = p.fail("more than " + std::to_string(kMaxGlyphs) + " glyphs");
            while (ok && !p.atEnd()) {
                double index = 0;
                ok = p.number(-1e300, 1e300, index);
                if (ok && (index < 0 || index > 65535 || index != std::floor(index)))
                    ok = p.fail("expected a glyph index 0..65535, found '" + p.previous() + "'");
                if (ok) c.wide.push_back(static_cast<char16_t>(index));
            }
        } else if (name == "image") {
            // A negative width or height mirrors the picture.
            c.op = Op::Image;
            ok = p.coordinates(4, c.values);
            if (ok && p.choice({"builtin"}) == 0) {
                c.op = Op::BuiltinImage;
                while (ok && !p.atEnd()) {
                    int option = 0;
                    ok = p.require({"bits", "rop"}, option) &&
                         (option == 0 ? parseBits(p, {1, 4, 8, 16, 24, 32}, c.bits) : parseRop(p, c.rop));
                }
            } else {
                ok = ok && p.quoted(c.text);
            }
            ok = ok && p.finish();
        } else if (name == "gradient" && p.choice({"triangle"}) == 0) {
            c.op = Op::GradientTriangles;
            if (p.left() == 0 || p.left() % 9 != 0) ok = p.fail("triangles are three vertices of X Y COLOR");
            else if (p.left() / 9 > kMaxTriangles)
                ok = p.fail("more than " + std::to_string(kMaxTriangles) + " triangles");
            while (ok && !p.atEnd()) {
                gdi::Color colour = 0;
                ok = p.coordinates(2, c.values) && p.colour(colour);
                c.colors.push_back(colour);
            }
        } else if (name == "gradient") {
            int direction = 0;
            c.op = Op::Gradient;
            ok = p.box(c.values) && p.colour(c.color) && p.colour(c.color2);
            if (ok && !p.atEnd()) ok = p.require({"horizontal", "vertical"}, direction);
            c.vertical = direction == 1;
            ok = ok && p.finish();
        } else {
            why = "unknown command '" + name + "'";
            return refuse();
        }
        if (!ok) return refuse();
        script.commands.push_back(std::move(c));
    }
    if (inPage) {
        Command c;
        c.op = Op::EndPage;
        c.line = lineNumber;
        script.commands.push_back(std::move(c));
    }
    *out = std::move(script);
    return 1;
}

}  // namespace tessaly::script
