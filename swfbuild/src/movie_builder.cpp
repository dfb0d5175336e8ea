#include "swfbuild/movie_builder.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>

#include "composer/captured_fonts.h"
#include "swf/interactive_tags.h"
#include "swf/movie_objects.h"
#include "swf/shape_encoder.h"
#include "swf/text_encoder.h"
#include "swfbuild/action_assembler.h"

#include <zlib.h>

namespace tessaly {

struct MovieBuilder::Context {
    std::string file;  // as named to the user
    std::filesystem::path dir;
};

namespace {

constexpr double kPi = 3.14159265358979323846;

bool readFile(const std::filesystem::path& path, size_t limit, std::string& out, std::string& why) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
        why = "is a directory";
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        why = "cannot be opened";
        return false;
    }
    out.clear();
    char chunk[65536];
    while (in.read(chunk, sizeof chunk) || in.gcount() > 0) {
        if (out.size() + size_t(in.gcount()) > limit) {
            why = "is larger than " + std::to_string(limit >> 20) + " MB";
            return false;
        }
        out.append(chunk, size_t(in.gcount()));
    }
    if (in.bad()) {
        why = "cannot be read";
        return false;
    }
    return true;
}

bool parseNumber(std::string_view s, double& v) {
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    if (!s.empty() && s.front() == '+') s.remove_prefix(1);
    if (s.empty()) return false;
    const auto r = std::from_chars(s.data(), s.data() + s.size(), v);
    return r.ec == std::errc() && r.ptr == s.data() + s.size() && std::isfinite(v);
}

// "#RRGGBB" or "#RRGGBBAA" -> 0xAARRGGBB.
bool parseColor(std::string_view s, uint32_t& argb) {
    if ((s.size() != 7 && s.size() != 9) || s[0] != '#') return false;
    uint32_t v = 0;
    const auto r = std::from_chars(s.data() + 1, s.data() + s.size(), v, 16);
    if (r.ec != std::errc() || r.ptr != s.data() + s.size()) return false;
    argb = s.size() == 7 ? (0xFF000000u | v) : ((v & 0xFF) << 24) | (v >> 8);
    return true;
}

std::vector<std::string> words(std::string_view s) {
    std::vector<std::string> out;
    size_t i = 0;
    while (i < s.size()) {
        while (i < s.size() && (s[i] == ' ' || s[i] == ',' || s[i] == '\t' || s[i] == '\n')) ++i;
        size_t j = i;
        while (j < s.size() && s[j] != ' ' && s[j] != ',' && s[j] != '\t' && s[j] != '\n') ++j;
        if (j > i) out.emplace_back(s.substr(i, j - i));
        i = j;
    }
    return out;
}

bool compressBody(std::vector<uint8_t>& movie) {
    const size_t bodySize = movie.size() - 8;
    uLongf packedSize = compressBound(uLong(bodySize));
    std::vector<uint8_t> packed;
    try {
        packed.resize(8 + packedSize);
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (compress2(packed.data() + 8, &packedSize, movie.data() + 8, uLong(bodySize), 9) != Z_OK) return false;
    std::copy(movie.begin(), movie.begin() + 8, packed.begin());
    packed[0] = 'C';
    packed.resize(8 + packedSize);
    movie.swap(packed);
    return true;
}

int32_t twips(double px) {
    const double t = std::round(px * 20.0);
    return int32_t(std::clamp(t, -1.0e9, 1.0e9));
}

// Key names of button and clip key events.
int keyCode(std::string_view name) {
    static const std::pair<const char*, int> keys[] = {
        {"Left", 1},  {"Right", 2},   {"Home", 3},   {"End", 4},       {"Insert", 5},
        {"Delete", 6}, {"Backspace", 8}, {"Enter", 13}, {"Up", 14},    {"Down", 15},
        {"PageUp", 16}, {"PageDown", 17}, {"Tab", 18}, {"Escape", 19}, {"Space", 32},
    };
    for (const auto& [n, code] : keys)
        if (name == n) return code;
    if (name.size() == 1 && name[0] > 32 && name[0] < 127) return name[0];
    return -1;
}

}  // namespace

// --- attributes ----------------------------------------------------------------

namespace {

// Reads the attributes of one element, checking names and values; the first
// problem is kept.
class Attrs {
public:
    Attrs(const XmlElement& el, std::initializer_list<const char*> allowed) : el_(el) {
        for (const auto& attribute : el.attributes) {
            const std::string& key = attribute.first;
            if (std::find_if(allowed.begin(), allowed.end(), [&](const char* a) { return key == a; }) ==
                allowed.end()) {
                problem("<" + el.name + "> has no attribute '" + key + "'");
            }
        }
    }
    const std::string* get(const char* key) const { return el_.attribute(key); }
    bool has(const char* key) const { return get(key) != nullptr; }
    std::string str(const char* key, std::string fallback = {}) const {
        const std::string* v = get(key);
        return v ? *v : fallback;
    }
    std::string required(const char* key) {
        const std::string* v = get(key);
        if (!v || v->empty()) {
            problem("<" + el_.name + "> needs '" + key + "'");
            return {};
        }
        return *v;
    }
    double number(const char* key, double fallback, double min = -1e7, double max = 1e7) {
        const std::string* v = get(key);
        if (!v) return fallback;
        double d = 0;
        if (!parseNumber(*v, d) || d < min || d > max) {
            problem("'" + std::string(key) + "' of <" + el_.name + "> must be a number from " +
                    trim(min) + " to " + trim(max) + ", not '" + *v + "'");
            return fallback;
        }
        return d;
    }
    long whole(const char* key, long fallback, long min, long max) {
        const std::string* v = get(key);
        if (!v) return fallback;
        double d = 0;
        if (!parseNumber(*v, d) || d != std::floor(d) || d < double(min) || d > double(max)) {
            problem("'" + std::string(key) + "' of <" + el_.name + "> must be a whole number from " +
                    std::to_string(min) + " to " + std::to_string(max) + ", not '" + *v + "'");
            return fallback;
        }
        return long(d);
    }
    bool flag(const char* key, bool fallback) {
        const std::string* v = get(key);
        if (!v) return fallback;
        if (*v == "true") return true;
        if (*v == "false") return false;
        problem("'" + std::string(key) + "' of <" + el_.name + "> must be true or false");
        return fallback;
    }
    // A colour, or `fallback` (0 = none) when absent.
    uint32_t color(const char* key, uint32_t fallback) {
        const std::string* v = get(key);
        if (!v || *v == "none") return v ? 0 : fallback;
        uint32_t c = 0;
        if (!parseColor(*v, c)) {
            problem("'" + std::string(key) + "' of <" + el_.name + "> must be #RRGGBB or #RRGGBBAA");
            return fallback;
        }
        return c;
    }
    void problem(std::string text) {
        if (error.empty()) error = std::move(text);
    }
    bool ok() const { return error.empty(); }

    std::string error;

private:
    static std::string trim(double v) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%g", v);
        return buf;
    }
    const XmlElement& el_;
};

// The matrix and colour transform of a placement or a button layer.
void readTransform(Attrs& a, SwfMatrix& m, SwfCxform& cx) {
    const double scale = a.number("scale", 1, -1000, 1000);
    const double sx = a.number("scaleX", scale, -1000, 1000);
    const double sy = a.number("scaleY", scale, -1000, 1000);
    const double r = a.number("rotation", 0, -3600, 3600) * kPi / 180.0;
    auto fixed = [](double v) { return int32_t(std::lround(v * 65536.0)); };
    m.scaleX = fixed(std::cos(r) * sx);
    m.skew0 = fixed(std::sin(r) * sx);
    m.skew1 = fixed(-std::sin(r) * sy);
    m.scaleY = fixed(std::cos(r) * sy);
    m.translateX = twips(a.number("x", 0));
    m.translateY = twips(a.number("y", 0));
    if (a.has("alpha")) {
        cx.flags |= SwfCxform::kHasMultiply | SwfCxform::kHasAlpha;
        cx.multiply[3] = int16_t(std::lround(a.number("alpha", 1, 0, 1) * 256));
    }
    if (const std::string* add = a.get("colorAdd")) {
        // "#RRGGBB": added to each channel.
        uint32_t c = 0;
        if (!parseColor(*add, c)) {
            a.problem("'colorAdd' must be #RRGGBB or #RRGGBBAA");
        } else {
            cx.flags |= SwfCxform::kHasAdd | SwfCxform::kHasAlpha;
            cx.add[0] = int16_t((c >> 16) & 0xFF);
            cx.add[1] = int16_t((c >> 8) & 0xFF);
            cx.add[2] = int16_t(c & 0xFF);
            cx.add[3] = add->size() == 9 ? int16_t(c >> 24) : 0;
        }
    }
}

// --- drawing ------------------------------------------------------------------------

struct Pen {
    double area = 0;  // twice the signed area, positive when clockwise on screen
    int32_t startX = 0, startY = 0, x = 0, y = 0;
    std::vector<ShapeCommand> edges;  // recorded first: the fill side depends on the winding

    void move(int32_t nx, int32_t ny) {
        close();
        edges.push_back({kCmdMove, {nx, ny}});
        startX = x = nx;
        startY = y = ny;
    }
    void line(int32_t nx, int32_t ny) {
        area += double(x) * ny - double(nx) * y;
        edges.push_back({kCmdLine, {nx, ny}});
        x = nx;
        y = ny;
    }
    void quad(int32_t cx, int32_t cy, int32_t nx, int32_t ny) {
        area += double(x) * cy - double(cx) * y + double(cx) * ny - double(nx) * cy;
        edges.push_back({kCmdQuadratic, {cx, cy, nx, ny}});
        x = nx;
        y = ny;
    }
    void cubic(int32_t c1x, int32_t c1y, int32_t c2x, int32_t c2y, int32_t nx, int32_t ny) {
        area += double(x) * c1y - double(c1x) * y + double(c1x) * c2y - double(c2x) * c1y +
                double(c2x) * ny - double(nx) * c2y;
        edges.push_back({kCmdCubic, {c1x, c1y, c2x, c2y, nx, ny}});
        x = nx;
        y = ny;
    }
    // Closes the subpath when it is open (fills need closed outlines).
    void close() {
        if (!edges.empty() && (x != startX || y != startY)) line(startX, startY);
    }
};

}  // namespace

bool MovieBuilder::fail(const Context& c, int line, const std::string& text) {
    if (error_.empty()) error_ = c.file + ":" + std::to_string(line) + ": " + text;
    return false;
}

bool MovieBuilder::defineId(const Context& c, const XmlElement& el, uint32_t& id) {
    const std::string* name = el.attribute("id");
    if (!name || name->empty()) return fail(c, el.line, "<" + el.name + "> needs an 'id'");
    if (ids_.count(*name)) return fail(c, el.line, "'" + *name + "' is defined twice");
    if (nextId_ > SwfStream::kMaxId) return fail(c, el.line, "too many characters");
    id = nextId_++;
    ids_[*name] = id;
    return true;
}

bool MovieBuilder::useId(const Context& c, const XmlElement& el, uint32_t& id) {
    const std::string* name = el.attribute("use");
    if (!name || name->empty()) return fail(c, el.line, "<" + el.name + "> needs 'use'");
    const auto it = ids_.find(*name);
    if (it == ids_.end()) return fail(c, el.line, "'" + *name + "' is not defined before this use");
    id = it->second;
    return true;
}

bool MovieBuilder::actions(const Context& c, const XmlElement& el, std::vector<uint8_t>& code) {
    ActionAssembler assembler;
    if (const std::string* src = el.attribute("src")) {
        if (!el.text.empty() && el.text.find_first_not_of(" \t\r\n") != std::string::npos)
            return fail(c, el.line, "<" + el.name + "> has both 'src' and code");
        const std::filesystem::path path = c.dir / *src;
        std::string text, why;
        if (!readFile(path, kMaxSourceBytes, text, why))
            return fail(c, el.line, "the action file '" + *src + "' " + why);
        if (!assembler.assemble(text, 1, code)) {
            if (error_.empty())
                error_ = path.string() + ":" + std::to_string(assembler.errorLine()) + ": " +
                         assembler.errorMessage();
            return false;
        }
        return true;
    }
    if (!assembler.assemble(el.text, el.textLine ? el.textLine : el.line, code))
        return fail(c, assembler.errorLine(), assembler.errorMessage());
    return true;
}

bool MovieBuilder::shape(const Context& c, const XmlElement& el) {
    uint32_t id = 0;
    Attrs top(el, {"id"});
    if (!top.ok()) return fail(c, el.line, top.error);
    if (!defineId(c, el, id)) return false;
    ShapeObject shape;
    for (const XmlElement& d : el.children) {
        Attrs a(d, {"x", "y", "width", "height", "radius", "cx", "cy", "r", "d", "points", "fill",
                    "line", "lineWidth"});
        const uint32_t fill = a.color("fill", 0);
        const uint32_t line = a.color("line", 0);
        const double lineWidth = a.number("lineWidth", 1, 0, 255);
        Pen pen;
        if (d.name == "rect") {
            const double x = a.number("x", 0), y = a.number("y", 0);
            const double w = a.number("width", 0, 0), h = a.number("height", 0, 0);
            const double r = std::min({a.number("radius", 0, 0), w / 2, h / 2});
            if (r <= 0) {
                pen.move(twips(x), twips(y));
                pen.line(twips(x + w), twips(y));
                pen.line(twips(x + w), twips(y + h));
                pen.line(twips(x), twips(y + h));
                pen.close();
            } else {
                // Quarter circles as one quadratic curve each: a close match at
                // the sizes of buttons and icons.
                pen.move(twips(x + r), twips(y));
                pen.line(twips(x + w - r), twips(y));
                pen.quad(twips(x + w), twips(y), twips(x + w), twips(y + r));
                pen.line(twips(x + w), twips(y + h - r));
                pen.quad(twips(x + w), twips(y + h), twips(x + w - r), twips(y + h));
                pen.line(twips(x + r), twips(y + h));
                pen.quad(twips(x), twips(y + h), twips(x), twips(y + h - r));
                pen.line(twips(x), twips(y + r));
                pen.quad(twips(x), twips(y), twips(x + r), twips(y));
            }
        } else if (d.name == "circle") {
            const double cx = a.number("cx", 0), cy = a.number("cy", 0), r = a.number("r", 0, 0);
            const double k = r / std::cos(kPi / 8);
            pen.move(twips(cx + r), twips(cy));
            for (int i = 1; i <= 8; ++i) {
                const double mid = (i - 0.5) * kPi / 4, end = i * kPi / 4;
                pen.quad(twips(cx + k * std::cos(mid)), twips(cy + k * std::sin(mid)),
                         twips(cx + r * std::cos(end)), twips(cy + r * std::sin(end)));
            }
        } else if (d.name == "polygon") {
            std::vector<double> v;
            for (const std::string& w : words(a.str("points"))) {
                double n = 0;
                if (!parseNumber(w, n)) {
                    a.problem("'points' holds '" + w + "', not a number");
                    break;
                }
                v.push_back(n);
            }
            if (a.ok() && (v.size() < 6 || v.size() % 2))
                a.problem("'points' needs at least three x,y pairs");
            if (a.ok()) {
                pen.move(twips(v[0]), twips(v[1]));
                for (size_t i = 2; i + 1 < v.size(); i += 2) pen.line(twips(v[i]), twips(v[i + 1]));
                pen.close();
            }
        } else if (d.name == "path") {
            // Absolute and relative M, L, H, V, Q, C and Z.
            const std::string data = a.required("d");
            size_t i = 0;
            char command = 0;
            double px = 0, py = 0;
            auto next = [&](double& out) {
                while (i < data.size() && (data[i] == ' ' || data[i] == ',' || data[i] == '\n' ||
                                           data[i] == '\t' || data[i] == '\r'))
                    ++i;
                size_t j = i;
                while (j < data.size() && (std::isdigit((unsigned char)data[j]) || data[j] == '.' ||
                                           data[j] == 'e' || data[j] == '-' || data[j] == '+') &&
                       !(j > i && (data[j] == '-' || data[j] == '+') && data[j - 1] != 'e'))
                    ++j;
                if (j == i || !parseNumber(std::string_view(data).substr(i, j - i), out)) {
                    a.problem("'d' of <path>: a number is missing at character " + std::to_string(i + 1));
                    return false;
                }
                i = j;
                return true;
            };
            bool started = false;
            while (a.ok()) {
                while (i < data.size() && (data[i] == ' ' || data[i] == ',' || data[i] == '\n' ||
                                           data[i] == '\t' || data[i] == '\r'))
                    ++i;
                if (i >= data.size()) break;
                if (std::isalpha((unsigned char)data[i])) command = data[i++];
                if (!started && command != 'M' && command != 'm') {
                    a.problem("'d' of <path> must start with M");
                    break;
                }
                const bool rel = command >= 'a';
                const double ox = rel ? px : 0, oy = rel ? py : 0;
                double v[6];
                switch (command) {
                    case 'M': case 'm':
                        if (!next(v[0]) || !next(v[1])) break;
                        px = ox + v[0];
                        py = oy + v[1];
                        pen.move(twips(px), twips(py));
                        started = true;
                        command = rel ? 'l' : 'L';  // further pairs are lines
                        break;
                    case 'L': case 'l':
                        if (!next(v[0]) || !next(v[1])) break;
                        px = ox + v[0];
                        py = oy + v[1];
                        pen.line(twips(px), twips(py));
                        break;
                    case 'H': case 'h':
                        if (!next(v[0])) break;
                        px = ox + v[0];
                        pen.line(twips(px), twips(py));
                        break;
                    case 'V': case 'v':
                        if (!next(v[0])) break;
                        py = oy + v[0];
                        pen.line(twips(px), twips(py));
                        break;
                    case 'Q': case 'q':
                        if (!next(v[0]) || !next(v[1]) || !next(v[2]) || !next(v[3])) break;
                        pen.quad(twips(ox + v[0]), twips(oy + v[1]), twips(ox + v[2]), twips(oy + v[3]));
                        px = ox + v[2];
                        py = oy + v[3];
                        break;
                    case 'C': case 'c':
                        for (double& n : v)
                            if (!next(n)) break;
                        if (!a.ok()) break;
                        pen.cubic(twips(ox + v[0]), twips(oy + v[1]), twips(ox + v[2]), twips(oy + v[3]),
                                  twips(ox + v[4]), twips(oy + v[5]));
                        px = ox + v[4];
                        py = oy + v[5];
                        break;
                    case 'Z': case 'z':
                        pen.close();
                        px = pen.startX / 20.0;
                        py = pen.startY / 20.0;
                        command = 0;
                        break;
                    default:
                        a.problem(std::string("'d' of <path>: unknown command '") +
                                  (command ? std::string(1, command) : data.substr(i, 1)) + "'");
                }
            }
            if (fill) pen.close();
        } else {
            return fail(c, d.line, "<shape> cannot hold <" + d.name + "> (rect, circle, polygon, path)");
        }
        if (!a.ok()) return fail(c, d.line, a.error);
        if (!fill && !line) return fail(c, d.line, "<" + d.name + "> has neither 'fill' nor 'line'");

        // Styles first, then the outline; the fill lies inside whichever way it turns.
        shape.clearFill(kSideLeft);
        shape.clearFill(kSideRight);
        const int side = pen.area >= 0 ? kSideRight : kSideLeft;
        if (fill) shape.solidFill(fill, side, (fill >> 24) != 0xFF);
        if (line) shape.lineStyle(line, uint16_t(twips(lineWidth)), (line >> 24) != 0xFF);
        else shape.clearLineStyle();
        for (const ShapeCommand& e : pen.edges) {
            const int32_t* v = e.args;
            if (e.code == kCmdMove) shape.moveToAlways(v[0], v[1]);
            else if (e.code == kCmdLine) shape.lineTo(v[0], v[1]);
            else if (e.code == kCmdQuadratic) shape.quadraticTo(v[0], v[1], v[2], v[3]);
            else shape.cubicTo(v[0], v[1], v[2], v[3], v[4], v[5]);
        }
    }
    if (shape.incomplete()) return fail(c, el.line, "out of memory");
    if (shape.commands().empty() || shape.isEmpty()) return fail(c, el.line, "<shape> draws nothing");
    if (!defineShape(stream_, id, shape)) return fail(c, el.line, "<shape> draws nothing");
    return true;
}

bool MovieBuilder::place(const Context& c, const XmlElement& el) {
    Attrs a(el, {"use", "depth", "name", "x", "y", "scale", "scaleX", "scaleY", "rotation", "alpha",
                 "colorAdd", "move"});
    PlaceObjectRecord p;
    p.depth = uint32_t(a.whole("depth", 0, 1, 16000));
    if (!a.has("depth")) a.problem("<place> needs 'depth'");
    const bool move = a.flag("move", false);
    SwfMatrix m;
    SwfCxform cx;
    readTransform(a, m, cx);
    const std::string name = a.str("name");
    if (!a.ok()) return fail(c, el.line, a.error);
    p.flags = place_flag::kHasMatrix | place_flag::kHasCxform;
    if (move) p.flags |= place_flag::kMove;
    if (!move || a.has("use")) {
        if (!useId(c, el, p.characterId)) return false;
        p.flags |= place_flag::kHasId;
    }
    if (!name.empty()) p.flags |= place_flag::kHasName;
    p.matrix = &m;
    p.cxform = &cx;
    p.name = name;

    std::vector<ClipAction> clipActions;
    for (const XmlElement& on : el.children) {
        if (on.name != "on") return fail(c, on.line, "<place> can hold only <on> clip events");
        Attrs oa(on, {"events", "src"});
        ClipAction action;
        static const std::pair<const char*, uint32_t> events[] = {
            {"load", clip_event::kLoad}, {"enterFrame", clip_event::kEnterFrame},
            {"unload", clip_event::kUnload}, {"mouseMove", clip_event::kMouseMove},
            {"mouseDown", clip_event::kMouseDown}, {"mouseUp", clip_event::kMouseUp},
            {"keyDown", clip_event::kKeyDown}, {"keyUp", clip_event::kKeyUp},
            {"data", clip_event::kData}, {"initialize", clip_event::kInitialize},
            {"construct", clip_event::kConstruct}, {"press", clip_event::kPress},
            {"release", clip_event::kRelease}, {"releaseOutside", clip_event::kReleaseOutside},
            {"rollOver", clip_event::kRollOver}, {"rollOut", clip_event::kRollOut},
            {"dragOver", clip_event::kDragOver}, {"dragOut", clip_event::kDragOut},
        };
        for (const std::string& w : words(oa.required("events"))) {
            if (w.rfind("keyPress:", 0) == 0) {
                const int key = keyCode(std::string_view(w).substr(9));
                if (key < 0) oa.problem("unknown key in '" + w + "'");
                action.events |= clip_event::kKeyPress;
                action.keyCode = uint8_t(key);
                continue;
            }
            const auto it = std::find_if(std::begin(events), std::end(events),
                                         [&](const auto& e) { return w == e.first; });
            if (it == std::end(events)) oa.problem("unknown clip event '" + w + "'");
            else action.events |= it->second;
        }
        if (!oa.ok()) return fail(c, on.line, oa.error);
        if (!actions(c, on, action.code)) return false;
        clipActions.push_back(std::move(action));
    }
    if (clipActions.empty()) {
        stream_.writePlace(p);
    } else {
        if (version_ < 6) return fail(c, el.line, "clip events need a movie of version 6 or later");
        writePlaceWithClipActions(stream_, p, clipActions);
    }
    return true;
}

bool MovieBuilder::frame(const Context& c, const XmlElement& el, bool root) {
    Attrs a(el, {"label"});
    if (!a.ok()) return fail(c, el.line, a.error);
    if (const std::string* label = el.attribute("label")) stream_.writeFrameLabel(*label);
    for (const XmlElement& item : el.children) {
        if (item.name == "place") {
            if (!place(c, item)) return false;
        } else if (item.name == "remove") {
            Attrs r(item, {"depth"});
            const long depth = r.whole("depth", 0, 1, 16000);
            if (!r.has("depth")) r.problem("<remove> needs 'depth'");
            if (!r.ok()) return fail(c, item.line, r.error);
            stream_.writeRemoveObject2(uint32_t(depth));
        } else if (item.name == "action") {
            Attrs r(item, {"src"});
            if (!r.ok()) return fail(c, item.line, r.error);
            std::vector<uint8_t> code;
            if (!actions(c, item, code)) return false;
            writeDoAction(stream_, code);
        } else if (item.name == "initAction" && root) {
            Attrs r(item, {"use", "src"});
            if (!r.ok()) return fail(c, item.line, r.error);
            uint32_t id = 0;
            if (!useId(c, item, id)) return false;
            if (!sprites_.count(id)) return fail(c, item.line, "<initAction> needs a sprite in 'use'");
            std::vector<uint8_t> code;
            if (!actions(c, item, code)) return false;
            writeDoInitAction(stream_, id, code);
        } else {
            return fail(c, item.line, "<frame> cannot hold <" + item.name + ">");
        }
    }
    stream_.writeShowFrame();
    return true;
}

bool MovieBuilder::sprite(const Context& c, const XmlElement& el) {
    Attrs a(el, {"id", "export"});
    if (!a.ok()) return fail(c, el.line, a.error);
    uint32_t id = 0;
    if (!defineId(c, el, id)) return false;
    if (!stream_.beginSprite(id)) return fail(c, el.line, "a sprite cannot hold another sprite");
    for (const XmlElement& f : el.children) {
        if (f.name != "frame") return fail(c, f.line, "<sprite> can hold only <frame>");
        if (!frame(c, f, false)) return false;
    }
    if (!stream_.endSprite()) return fail(c, el.line, "the sprite could not be closed");
    sprites_.insert(id);
    if (const std::string* name = el.attribute("export")) stream_.writeExportAssets(id, *name);
    return true;
}

bool MovieBuilder::button(const Context& c, const XmlElement& el) {
    Attrs a(el, {"id", "trackAsMenu"});
    ButtonRecord b;
    b.trackAsMenu = a.flag("trackAsMenu", false);
    if (!a.ok()) return fail(c, el.line, a.error);
    if (!defineId(c, el, b.id)) return false;
    static const std::pair<const char*, uint16_t> events[] = {
        {"press", button_condition::kOverUpToOverDown},
        {"release", button_condition::kOverDownToOverUp},
        {"releaseOutside", button_condition::kOutDownToIdle},
        {"rollOver", button_condition::kIdleToOverUp},
        {"rollOut", button_condition::kOverUpToIdle},
        {"dragOver", button_condition::kOutDownToOverDown},
        {"dragOut", button_condition::kOverDownToOutDown},
    };
    for (const XmlElement& item : el.children) {
        if (item.name == "layer") {
            Attrs la(item, {"use", "states", "depth", "x", "y", "scale", "scaleX", "scaleY", "rotation",
                            "alpha", "colorAdd"});
            ButtonLayer layer;
            for (const std::string& w : words(la.required("states"))) {
                if (w == "up") layer.states |= button_state::kUp;
                else if (w == "over") layer.states |= button_state::kOver;
                else if (w == "down") layer.states |= button_state::kDown;
                else if (w == "hit") layer.states |= button_state::kHit;
                else la.problem("unknown button state '" + w + "' (up, over, down, hit)");
            }
            layer.depth = uint32_t(la.whole("depth", long(b.layers.size() + 1), 1, 16000));
            readTransform(la, layer.matrix, layer.cxform);
            if (!la.ok()) return fail(c, item.line, la.error);
            if (!useId(c, item, layer.characterId)) return false;
            b.layers.push_back(layer);
        } else if (item.name == "on") {
            Attrs oa(item, {"events", "src"});
            ButtonAction action;
            for (const std::string& w : words(oa.required("events"))) {
                if (w.rfind("keyPress:", 0) == 0) {
                    const int key = keyCode(std::string_view(w).substr(9));
                    if (key < 0 || key > 127) oa.problem("unknown key in '" + w + "'");
                    if (action.conditions & button_condition::keyPress(0x7F))
                        oa.problem("one <on> can hold one key");
                    action.conditions |= button_condition::keyPress(uint8_t(key));
                    continue;
                }
                const auto it = std::find_if(std::begin(events), std::end(events),
                                             [&](const auto& e) { return w == e.first; });
                if (it == std::end(events)) oa.problem("unknown button event '" + w + "'");
                else action.conditions |= it->second;
            }
            if (!oa.ok()) return fail(c, item.line, oa.error);
            if (!actions(c, item, action.code)) return false;
            b.actions.push_back(std::move(action));
        } else {
            return fail(c, item.line, "<button> can hold only <layer> and <on>");
        }
    }
    const bool hit = std::any_of(b.layers.begin(), b.layers.end(),
                                 [](const ButtonLayer& l) { return l.states & button_state::kHit; });
    if (!hit) return fail(c, el.line, "<button> has no layer for the 'hit' state: it could not be clicked");
    if (!writeDefineButton2(stream_, b)) return fail(c, el.line, "a button action is too long");
    return true;
}

bool MovieBuilder::text(const Context& c, const XmlElement& el) {
    Attrs a(el, {"id", "x", "y", "width", "height", "var", "font", "bold", "italic", "size", "color",
                 "align", "border", "input", "selectable", "multiline", "wordWrap", "html", "password",
                 "maxLength", "text", "autoSize", "leftMargin", "rightMargin", "indent", "leading"});
    EditTextRecord f;
    const double x = a.number("x", 0), y = a.number("y", 0);
    const double w = a.number("width", 100, 1), h = a.number("height", 20, 1);
    f.bounds = {twips(x), twips(x + w), twips(y), twips(y + h)};
    f.variableName = a.str("var");
    f.fontHeight = uint16_t(twips(a.number("size", 12, 1, 1000)));
    f.hasColor = true;
    f.color = a.color("color", 0xFF000000);
    const std::string align = a.str("align", "left");
    if (align == "left") f.align = TextAlign::left;
    else if (align == "right") f.align = TextAlign::right;
    else if (align == "center") f.align = TextAlign::center;
    else if (align == "justify") f.align = TextAlign::justify;
    else a.problem("'align' must be left, right, center or justify");
    f.leftMargin = uint16_t(twips(a.number("leftMargin", 0, 0, 1000)));
    f.rightMargin = uint16_t(twips(a.number("rightMargin", 0, 0, 1000)));
    f.indent = uint16_t(twips(a.number("indent", 0, 0, 1000)));
    f.leading = int16_t(twips(a.number("leading", 0, -1000, 1000)));
    f.hasLayout = true;
    f.border = a.flag("border", false);
    f.readOnly = !a.flag("input", false);
    f.noSelect = !a.flag("selectable", !f.readOnly);
    f.multiline = a.flag("multiline", false);
    f.wordWrap = a.flag("wordWrap", f.multiline);
    f.html = a.flag("html", false);
    f.password = a.flag("password", false);
    f.autoSize = a.flag("autoSize", false);
    f.maxLength = uint16_t(a.whole("maxLength", 0, 0, 65535));
    f.hasText = a.has("text");
    f.initialText = a.str("text");
    const std::string font = a.str("font", "_sans");
    const bool bold = a.flag("bold", false), italic = a.flag("italic", false);
    if (!a.ok()) return fail(c, el.line, a.error);
    if (font.empty() || font[0] != '_') {
        // A <font> of the movie: the field draws with its glyphs.
        const auto embedded = ids_.find(font);
        if (embedded == ids_.end() || !fonts_.count(embedded->second))
            return fail(c, el.line, "'font' must name a device font (_sans, _serif or _typewriter) or a <font> defined before");
        if (a.has("bold") || a.has("italic"))
            return fail(c, el.line, "the style of an embedded font is its <font>'s");
        f.fontId = embedded->second;
        f.useOutlines = true;
        if (!defineId(c, el, f.id)) return false;
        writeDefineEditText(stream_, f);
        return true;
    }
    const std::string key = font + (bold ? "/b" : "") + (italic ? "/i" : "");
    auto it = deviceFonts_.find(key);
    if (it == deviceFonts_.end()) {
        if (nextId_ > SwfStream::kMaxId) return fail(c, el.line, "too many characters");
        it = deviceFonts_.emplace(key, nextId_++).first;
        writeDeviceFont(stream_, it->second, font, bold, italic);
    }
    f.fontId = it->second;
    if (!defineId(c, el, f.id)) return false;
    writeDefineEditText(stream_, f);
    return true;
}

bool MovieBuilder::font(const Context& c, const XmlElement& el) {
    Attrs a(el, {"id", "family", "bold", "italic", "chars"});
    const std::string family = a.required("family");
    const std::string chars = a.required("chars");
    const bool bold = a.flag("bold", false), italic = a.flag("italic", false);
    if (!a.ok()) return fail(c, el.line, a.error);
    // The characters as UTF-16 code units of the basic plane.
    std::vector<uint16_t> codes;
    for (size_t i = 0; i < chars.size();) {
        const unsigned char b = (unsigned char)chars[i];
        uint32_t cp = b;
        size_t n = 1;
        if (b >= 0xE0 && b < 0xF0 && i + 2 < chars.size()) {
            cp = (b & 0x0F) << 12 | (chars[i + 1] & 0x3F) << 6 | (chars[i + 2] & 0x3F);
            n = 3;
        } else if (b >= 0xC0 && b < 0xE0 && i + 1 < chars.size()) {
            cp = (b & 0x1F) << 6 | (chars[i + 1] & 0x3F);
            n = 2;
        } else if (b >= 0x80) {
            return fail(c, el.line, "'chars' of <font> holds a character beyond the basic plane or bad UTF-8");
        }
        codes.push_back(uint16_t(cp));
        i += n;
    }
    CapturedSystemFonts fonts;
    std::unique_ptr<FontObject> face = fonts.makeFont(family, (bold ? kStyleBold : 0) | (italic ? kStyleItalic : 0), -1);
    if (!face) return fail(c, el.line, "there is no system font '" + family + "'");
    for (const uint16_t code : codes) {
        if (face->glyphIndex(code, false) < 0) {
            char shown[16];
            std::snprintf(shown, sizeof shown, "U+%04X", code);
            return fail(c, el.line, "the font '" + family + "' has no glyph for " + shown);
        }
    }
    face->wideCodes = std::any_of(codes.begin(), codes.end(), [](uint16_t code) { return code > 0xFF; });
    uint32_t id = 0;
    if (!defineId(c, el, id)) return false;
    if (face->incomplete() || face->glyphShape().incomplete()) return fail(c, el.line, "out of memory");
    if (!defineFont(stream_, id, *face)) return fail(c, el.line, "<font> has no glyphs");
    fonts_.insert(id);
    return true;
}

bool MovieBuilder::exportAsset(const Context& c, const XmlElement& el) {
    Attrs a(el, {"use", "as"});
    const std::string name = a.required("as");
    if (!a.ok()) return fail(c, el.line, a.error);
    uint32_t id = 0;
    if (!useId(c, el, id)) return false;
    stream_.writeExportAssets(id, name);
    return true;
}

bool MovieBuilder::include(const Context& c, const XmlElement& el) {
    Attrs a(el, {"src"});
    const std::string src = a.required("src");
    if (!a.ok()) return fail(c, el.line, a.error);
    if (includeDepth_ >= kMaxIncludeDepth)
        return fail(c, el.line, "includes are nested too deeply (does a file include itself?)");
    const std::filesystem::path path = c.dir / src;
    std::string text, why;
    if (!readFile(path, kMaxSourceBytes, text, why))
        return fail(c, el.line, "the included file '" + src + "' " + why);
    Context inner{path.string(), path.parent_path()};
    XmlReader reader;
    XmlElement root;
    if (!reader.parse(text, root)) {
        if (error_.empty()) error_ = inner.file + ": " + reader.errorText();
        // "line N: ..." becomes "file:N: ..."
        const std::string& e = reader.errorText();
        if (e.rfind("line ", 0) == 0) error_ = inner.file + ":" + e.substr(5);
        return false;
    }
    if (root.name != "library")
        return fail(inner, root.line, "the root element of an included file is <" + root.name + ">, not <library>");
    ++includeDepth_;
    const bool ok = body(inner, root, true);
    --includeDepth_;
    return ok;
}

bool MovieBuilder::body(const Context& c, const XmlElement& parent, bool library) {
    for (const XmlElement& el : parent.children) {
        bool ok;
        if (el.name == "include") ok = include(c, el);
        else if (el.name == "shape") ok = shape(c, el);
        else if (el.name == "sprite") ok = sprite(c, el);
        else if (el.name == "button") ok = button(c, el);
        else if (el.name == "text") ok = text(c, el);
        else if (el.name == "font") ok = font(c, el);
        else if (el.name == "export") ok = exportAsset(c, el);
        else if (el.name == "frame" && !library) ok = frame(c, el, true);
        else ok = fail(c, el.line, "<" + parent.name + "> cannot hold <" + el.name + ">");
        if (!ok) return false;
        if (stream_.failed()) return fail(c, el.line, "out of memory");
    }
    return true;
}

int MovieBuilder::buildFile(const std::string& path, std::vector<uint8_t>& movie) {
    std::string text, why;
    if (!readFile(path, kMaxSourceBytes, text, why)) {
        error_ = path + ": the file " + why;
        return 0;
    }
    return build(text, path, movie);
}

int MovieBuilder::build(std::string_view source, const std::string& fileName, std::vector<uint8_t>& movie) {
    error_.clear();
    ids_.clear();
    deviceFonts_.clear();
    sprites_.clear();
    fonts_.clear();
    nextId_ = 1;
    includeDepth_ = 0;
    const Context c{fileName, std::filesystem::path(fileName).parent_path()};

    XmlReader reader;
    XmlElement root;
    if (!reader.parse(source, root)) {
        const std::string& e = reader.errorText();
        error_ = fileName + ":" + (e.rfind("line ", 0) == 0 ? e.substr(5) : " " + e);
        return 0;
    }
    auto failed = [&](const std::string& text) {
        fail(c, root.line, text);
        return 0;
    };
    if (root.name != "movie") return failed("the root element is <" + root.name + ">, not <movie>");
    Attrs a(root, {"width", "height", "frameRate", "background", "version", "compressed"});
    const double width = a.number("width", 0, 1, 8191), height = a.number("height", 0, 1, 8191);
    if (!a.has("width") || !a.has("height")) a.problem("<movie> needs 'width' and 'height'");
    const double rate = a.number("frameRate", 24, 0.01, 120);
    const uint32_t background = a.color("background", 0xFFFFFFFF);
    version_ = uint8_t(a.whole("version", 8, 6, 10));
    const bool compressed = a.flag("compressed", false);
    if (!a.ok()) return failed(a.error);

    if (!stream_.open(32768, 32768, 2.0f)) return failed("out of memory");
    if (background) stream_.writeSetBackgroundColor(background & 0xFFFFFF);
    if (!body(c, root, false)) return 0;
    if (stream_.frameCount() == 0) return failed("the movie has no <frame>");
    stream_.writeEnd();

    SwfStream header;
    if (!header.open(64, 64, 2.0f)) return failed("out of memory");
    header.writeBytes("FWS", 3);
    header.writeU8(version_);
    header.writeU32(0);
    header.writeRect(0, twips(width), 0, twips(height));
    header.writeU16(uint16_t(std::lround(rate * 256)));
    header.writeU16(stream_.frameCount());
    if (stream_.failed() || header.failed()) return failed("out of memory");
    try {
        movie.assign(header.data(), header.data() + header.position());
        movie.insert(movie.end(), stream_.data(), stream_.data() + stream_.position());
    } catch (const std::bad_alloc&) {
        return failed("out of memory");
    }
    const uint32_t total = uint32_t(movie.size());
    for (int i = 0; i < 4; ++i) movie[4 + size_t(i)] = uint8_t(total >> (8 * i));
    // A compressed movie ("CWS") deflates everything after the first 8 bytes;
    // the length field keeps the uncompressed length.
    if (compressed && !compressBody(movie)) return failed("the movie could not be compressed");
    return 1;
}

}  // namespace tessaly
