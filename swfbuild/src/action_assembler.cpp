#include "swfbuild/action_assembler.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>

#include "support/text.h"

namespace tessaly {

namespace {

// --- tokens ---------------------------------------------------------------

struct Token {
    enum Kind { word, string, number, punct } kind = word;
    std::string text;  // word, string (decoded), punctuation character
    double value = 0;  // number
    bool integral = false;
};

struct Line {
    int number = 0;
    std::vector<Token> tokens;
};

bool isWordStart(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == '$';
}
bool isWordChar(char c) { return isWordStart(c) || (c >= '0' && c <= '9') || c == '.'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Splits one line into tokens; comments start with ';' or "//". Returns an
// empty string, or what is wrong.
std::string tokenize(std::string_view text, std::vector<Token>& tokens) {
    size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (c == ' ' || c == '\t' || c == '\r') {
            ++i;
        } else if (c == ';' || (c == '/' && i + 1 < text.size() && text[i + 1] == '/')) {
            break;
        } else if (c == '"') {
            Token t;
            t.kind = Token::string;
            ++i;
            for (;;) {
                if (i >= text.size()) return "unterminated string";
                char d = text[i++];
                if (d == '"') break;
                if (d != '\\') {
                    t.text += d;
                    continue;
                }
                if (i >= text.size()) return "unterminated string";
                d = text[i++];
                switch (d) {
                    case 'n': t.text += '\n'; break;
                    case 'r': t.text += '\r'; break;
                    case 't': t.text += '\t'; break;
                    case '"': t.text += '"'; break;
                    case '\\': t.text += '\\'; break;
                    case 'x':
                    case 'u': {
                        const size_t digits = d == 'x' ? 2 : 4;
                        uint32_t cp = 0;
                        for (size_t k = 0; k < digits; ++k) {
                            const int h = i < text.size() ? hexValue(text[i]) : -1;
                            if (h < 0) return std::string("\\") + d + " needs " +
                                              std::to_string(digits) + " hex digits";
                            cp = cp * 16 + uint32_t(h);
                            ++i;
                        }
                        if (cp == 0) return "a string cannot hold a zero character";
                        appendUtf8(t.text, cp);
                        break;
                    }
                    default: return std::string("unknown escape \\") + d;
                }
            }
            tokens.push_back(std::move(t));
        } else if (isDigit(c) || ((c == '-' || c == '+' || c == '.') && i + 1 < text.size() &&
                                  (isDigit(text[i + 1]) || text[i + 1] == '.'))) {
            size_t end = i + 1;
            while (end < text.size() && (isWordChar(text[end]) || text[end] == '+' || text[end] == '-') &&
                   !((text[end] == '+' || text[end] == '-') && text[end - 1] != 'e' && text[end - 1] != 'E'))
                ++end;
            std::string_view n = text.substr(i, end - i);
            Token t;
            t.kind = Token::number;
            t.text = std::string(n);
            const bool negative = n[0] == '-';
            std::string_view body = (n[0] == '-' || n[0] == '+') ? n.substr(1) : n;
            const bool hex = body.size() > 2 && body[0] == '0' && (body[1] == 'x' || body[1] == 'X');
            if (hex) {
                uint64_t v = 0;
                auto r = std::from_chars(body.data() + 2, body.data() + body.size(), v, 16);
                if (r.ec != std::errc() || r.ptr != body.data() + body.size() || v > 0xFFFFFFFFu)
                    return "bad number '" + t.text + "'";
                t.value = negative ? -double(v) : double(v);
                t.integral = true;
            } else {
                double v = 0;
                auto r = std::from_chars(body.data(), body.data() + body.size(), v);
                if (r.ec != std::errc() || r.ptr != body.data() + body.size())
                    return "bad number '" + t.text + "'";
                t.value = negative ? -v : v;
                t.integral = body.find_first_of(".eE") == std::string_view::npos;
            }
            tokens.push_back(std::move(t));
            i = end;
        } else if (isWordStart(c) || (c == '-' && i + 1 < text.size() && isWordStart(text[i + 1]))) {
            size_t end = i + 1;
            while (end < text.size() && isWordChar(text[end])) ++end;
            tokens.push_back({Token::word, std::string(text.substr(i, end - i)), 0, false});
            i = end;
        } else if (c == ',' || c == ':' || c == '(' || c == ')' || c == '=') {
            tokens.push_back({Token::punct, std::string(1, c), 0, false});
            ++i;
        } else {
            return std::string("unexpected character '") + c + "'";
        }
    }
    return {};
}

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return out;
}

// --- instruction table ----------------------------------------------------

const std::map<std::string, uint8_t>& simpleActions() {
    static const std::map<std::string, uint8_t> table = [] {
        const std::pair<const char*, uint8_t> list[] = {
            {"nextFrame", 0x04}, {"prevFrame", 0x05}, {"play", 0x06}, {"stop", 0x07},
            {"toggleQuality", 0x08}, {"stopSounds", 0x09}, {"add", 0x0A}, {"subtract", 0x0B},
            {"multiply", 0x0C}, {"divide", 0x0D}, {"equals", 0x0E}, {"less", 0x0F}, {"and", 0x10},
            {"or", 0x11}, {"not", 0x12}, {"stringEquals", 0x13}, {"stringLength", 0x14},
            {"stringExtract", 0x15}, {"pop", 0x17}, {"toInteger", 0x18}, {"getVariable", 0x1C},
            {"setVariable", 0x1D}, {"setTarget2", 0x20}, {"stringAdd", 0x21},
            {"getProperty", 0x22}, {"setProperty", 0x23}, {"cloneSprite", 0x24},
            {"removeSprite", 0x25}, {"trace", 0x26}, {"startDrag", 0x27}, {"endDrag", 0x28},
            {"stringLess", 0x29}, {"throw", 0x2A}, {"castOp", 0x2B}, {"implementsOp", 0x2C},
            {"randomNumber", 0x30}, {"mbStringLength", 0x31}, {"charToAscii", 0x32},
            {"asciiToChar", 0x33}, {"getTime", 0x34}, {"mbStringExtract", 0x35},
            {"mbCharToAscii", 0x36}, {"mbAsciiToChar", 0x37}, {"delete", 0x3A}, {"delete2", 0x3B},
            {"defineLocal", 0x3C}, {"callFunction", 0x3D}, {"return", 0x3E}, {"modulo", 0x3F},
            {"newObject", 0x40}, {"defineLocal2", 0x41}, {"initArray", 0x42}, {"initObject", 0x43},
            {"typeOf", 0x44}, {"targetPath", 0x45}, {"enumerate", 0x46}, {"add2", 0x47},
            {"less2", 0x48}, {"equals2", 0x49}, {"toNumber", 0x4A}, {"toString", 0x4B},
            {"pushDuplicate", 0x4C}, {"stackSwap", 0x4D}, {"getMember", 0x4E}, {"setMember", 0x4F},
            {"increment", 0x50}, {"decrement", 0x51}, {"callMethod", 0x52}, {"newMethod", 0x53},
            {"instanceOf", 0x54}, {"enumerate2", 0x55}, {"bitAnd", 0x60}, {"bitOr", 0x61},
            {"bitXor", 0x62}, {"bitLShift", 0x63}, {"bitRShift", 0x64}, {"bitURShift", 0x65},
            {"strictEquals", 0x66}, {"greater", 0x67}, {"stringGreater", 0x68}, {"extends", 0x69},
            {"call", 0x9E},
        };
        std::map<std::string, uint8_t> m;
        for (const auto& [name, code] : list) m[lower(name)] = code;
        return m;
    }();
    return table;
}

// The preload flags of defineFunction2, in the order their registers are given.
struct PreloadFlag {
    const char* name;
    uint16_t bit;       // in the 16-bit field, first byte high
    bool takesRegister;
};
constexpr PreloadFlag kFunctionFlags[] = {
    {"preloadThis", 0x0100, true},        {"preloadArguments", 0x0400, true},
    {"preloadSuper", 0x1000, true},       {"preloadRoot", 0x4000, true},
    {"preloadParent", 0x8000, true},      {"preloadGlobal", 0x0001, true},
    {"suppressThis", 0x0200, false},      {"suppressArguments", 0x0800, false},
    {"suppressSuper", 0x2000, false},
};

// --- assembling -------------------------------------------------------------

class Assembler {
public:
    explicit Assembler(std::vector<Line>& lines) : lines_(lines) {}

    // Assembles lines from `index` until the end of the source (top level)
    // or until the "end" that closes a function body. maxRegister receives
    // the highest register the block names directly.
    bool block(size_t& index, bool nested, int openLine, std::vector<uint8_t>& out, int& maxRegister);

    std::string error;
    int errorLine = 0;

private:
    struct Fixup {
        size_t field;  // offset of the 16-bit branch offset
        std::string label;
        int line;
    };

    bool fail(int line, std::string text) {
        if (error.empty()) {
            error = std::move(text);
            errorLine = line;
        }
        return false;
    }
    bool instruction(size_t& index, std::vector<uint8_t>& out, std::vector<Fixup>& fixups,
                     int& maxRegister);
    bool push(const Line& line, size_t pos, std::vector<uint8_t>& out, int& maxRegister);
    bool function(size_t& index, bool second, std::vector<uint8_t>& out);

    std::vector<Line>& lines_;
    int depth_ = 0;
};

void putU16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(uint8_t(v & 0xFF));
    out.push_back(uint8_t((v >> 8) & 0xFF));
}
void putU32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i)));
}
void putString(std::vector<uint8_t>& out, const std::string& s) {
    out.insert(out.end(), s.begin(), s.end());
    out.push_back(0);
}

// An action with data: code, 16-bit length, data.
bool putRecord(std::vector<uint8_t>& out, uint8_t code, const std::vector<uint8_t>& data) {
    if (data.size() > 0xFFFF) return false;
    out.push_back(code);
    putU16(out, uint32_t(data.size()));
    out.insert(out.end(), data.begin(), data.end());
    return true;
}

// "r3" -> 3; -1 when the word is not a register name.
int registerName(const Token& t) {
    if (t.kind != Token::word || t.text.size() < 2 || (t.text[0] != 'r' && t.text[0] != 'R'))
        return -1;
    int v = 0;
    for (size_t i = 1; i < t.text.size(); ++i) {
        if (!isDigit(t.text[i])) return -1;
        v = v * 10 + (t.text[i] - '0');
        if (v > 255) return 256;
    }
    return v;
}

// "c12" -> 12; -1 when the word is not a constant reference.
long constantName(const Token& t) {
    if (t.kind != Token::word || t.text.size() < 2 || (t.text[0] != 'c' && t.text[0] != 'C'))
        return -1;
    long v = 0;
    for (size_t i = 1; i < t.text.size(); ++i) {
        if (!isDigit(t.text[i])) return -1;
        v = v * 10 + (t.text[i] - '0');
        if (v > 65535) return 65536;
    }
    return v;
}

void putDouble(std::vector<uint8_t>& out, double v) {
    // Doubles are stored as two little-endian halves, the high half first.
    const uint64_t bits = std::bit_cast<uint64_t>(v);
    putU32(out, uint32_t(bits >> 32));
    putU32(out, uint32_t(bits));
}

bool Assembler::push(const Line& line, size_t pos, std::vector<uint8_t>& out, int& maxRegister) {
    const auto& tk = line.tokens;
    std::vector<uint8_t> data;
    bool any = false;
    while (pos < tk.size()) {
        const Token& t = tk[pos];
        if (t.kind == Token::punct && t.text == ",") {
            ++pos;
            continue;
        }
        any = true;
        if (t.kind == Token::string) {
            data.push_back(0);
            putString(data, t.text);
            ++pos;
            continue;
        }
        if (t.kind == Token::number) {
            if (t.integral && t.value >= -2147483648.0 && t.value <= 2147483647.0) {
                data.push_back(7);
                putU32(data, uint32_t(int32_t(t.value)));
            } else {
                data.push_back(6);
                putDouble(data, t.value);
            }
            ++pos;
            continue;
        }
        if (t.kind != Token::word) return fail(line.number, "push: unexpected '" + t.text + "'");
        const std::string w = lower(t.text);
        // Typed forms: float:1.5, double:2, int:7.
        if ((w == "float" || w == "double" || w == "int") && pos + 2 < tk.size() &&
            tk[pos + 1].kind == Token::punct && tk[pos + 1].text == ":" &&
            tk[pos + 2].kind == Token::number) {
            const double v = tk[pos + 2].value;
            if (w == "float") {
                data.push_back(1);
                putU32(data, std::bit_cast<uint32_t>(float(v)));
            } else if (w == "double") {
                data.push_back(6);
                putDouble(data, v);
            } else {
                if (!tk[pos + 2].integral || v < -2147483648.0 || v > 2147483647.0)
                    return fail(line.number, "push: " + tk[pos + 2].text + " is not a 32-bit integer");
                data.push_back(7);
                putU32(data, uint32_t(int32_t(v)));
            }
            pos += 3;
            continue;
        }
        if (w == "true" || w == "false") {
            data.push_back(5);
            data.push_back(w == "true" ? 1 : 0);
        } else if (w == "null") {
            data.push_back(2);
        } else if (w == "undefined") {
            data.push_back(3);
        } else if (w == "nan" || w == "infinity" || w == "-infinity") {
            data.push_back(6);
            putDouble(data, w == "nan"        ? std::numeric_limits<double>::quiet_NaN()
                            : w == "infinity" ? std::numeric_limits<double>::infinity()
                                              : -std::numeric_limits<double>::infinity());
        } else if (const int r = registerName(t); r >= 0) {
            if (r > 255) return fail(line.number, "push: register " + t.text + " is above r255");
            data.push_back(4);
            data.push_back(uint8_t(r));
            maxRegister = std::max(maxRegister, r);
        } else if (const long c = constantName(t); c >= 0) {
            if (c > 65535) return fail(line.number, "push: constant " + t.text + " is above c65535");
            if (c < 256) {
                data.push_back(8);
                data.push_back(uint8_t(c));
            } else {
                data.push_back(9);
                putU16(data, uint32_t(c));
            }
        } else {
            return fail(line.number, "push: unknown operand '" + t.text +
                                         "' (strings are quoted; registers are r0..r255, "
                                         "constants c0..c65535)");
        }
        ++pos;
    }
    if (!any) return fail(line.number, "push needs at least one operand");
    if (!putRecord(out, 0x96, data)) return fail(line.number, "push: the operands exceed 65535 bytes");
    return true;
}

bool Assembler::function(size_t& index, bool second, std::vector<uint8_t>& out) {
    const Line& line = lines_[index];
    const auto& tk = line.tokens;
    const char* what = second ? "defineFunction2" : "defineFunction";
    size_t pos = 1;
    std::string name;
    if (pos < tk.size() && (tk[pos].kind == Token::string || tk[pos].kind == Token::word)) {
        name = tk[pos].text;
        ++pos;
    }
    if (pos >= tk.size() || tk[pos].text != "(" || tk[pos].kind != Token::punct)
        return fail(line.number, std::string(what) + " needs a parameter list in parentheses");
    ++pos;
    struct Param {
        std::string name;
        int reg = 0;
    };
    std::vector<Param> params;
    bool closed = false;
    while (pos < tk.size()) {
        const Token& t = tk[pos];
        if (t.kind == Token::punct && t.text == ")") {
            closed = true;
            ++pos;
            break;
        }
        if (t.kind == Token::punct && t.text == ",") {
            ++pos;
            continue;
        }
        if (t.kind != Token::word && t.kind != Token::string)
            return fail(line.number, std::string(what) + ": bad parameter '" + t.text + "'");
        Param p{t.text, 0};
        ++pos;
        if (pos < tk.size() && tk[pos].kind == Token::punct && tk[pos].text == ":") {
            if (!second) return fail(line.number, "defineFunction parameters cannot be in registers");
            const int r = pos + 1 < tk.size() ? registerName(tk[pos + 1]) : -1;
            if (r < 1 || r > 255)
                return fail(line.number, "parameter '" + p.name + "' needs a register r1..r255");
            p.reg = r;
            pos += 2;
        }
        params.push_back(std::move(p));
    }
    if (!closed) return fail(line.number, std::string(what) + ": the parameter list is not closed");
    if (params.size() > 0xFFFF) return fail(line.number, "too many parameters");

    uint16_t flags = 0;
    int explicitRegisters = -1;
    while (pos < tk.size()) {
        const Token& t = tk[pos];
        if (t.kind == Token::punct && t.text == ",") {
            ++pos;
            continue;
        }
        if (!second) return fail(line.number, "defineFunction takes no flags");
        const std::string w = lower(t.text);
        if (t.kind == Token::word && w == "registers") {
            if (pos + 2 >= tk.size() || tk[pos + 1].text != "=" || tk[pos + 2].kind != Token::number ||
                !tk[pos + 2].integral || tk[pos + 2].value < 0 || tk[pos + 2].value > 255)
                return fail(line.number, "registers= needs a count from 0 to 255");
            explicitRegisters = int(tk[pos + 2].value);
            pos += 3;
            continue;
        }
        const auto flag = std::find_if(std::begin(kFunctionFlags), std::end(kFunctionFlags),
                                       [&](const PreloadFlag& f) { return lower(f.name) == w; });
        if (t.kind != Token::word || flag == std::end(kFunctionFlags))
            return fail(line.number, "defineFunction2: unknown flag '" + t.text + "'");
        flags |= flag->bit;
        ++pos;
    }

    // Preloaded values take registers 1, 2, ... in a fixed order.
    int preloaded = 0;
    for (const PreloadFlag& f : kFunctionFlags)
        if (f.takesRegister && (flags & f.bit)) ++preloaded;
    int maxUsed = preloaded;
    for (size_t i = 0; i < params.size(); ++i) {
        if (params[i].reg == 0) continue;
        if (params[i].reg <= preloaded)
            return fail(line.number, "parameter '" + params[i].name + "': register r" +
                                         std::to_string(params[i].reg) + " holds a preloaded value");
        for (size_t j = 0; j < i; ++j)
            if (params[j].reg == params[i].reg)
                return fail(line.number, "parameters '" + params[j].name + "' and '" + params[i].name +
                                             "' share register r" + std::to_string(params[i].reg));
        maxUsed = std::max(maxUsed, params[i].reg);
    }

    if (++depth_ > 32) return fail(line.number, "functions are nested too deeply");
    std::vector<uint8_t> body;
    int bodyRegisters = -1;
    ++index;
    if (!block(index, true, line.number, body, bodyRegisters)) return false;
    --depth_;
    if (body.size() > 0xFFFF)
        return fail(line.number, std::string(what) + ": the body exceeds 65535 bytes");
    maxUsed = std::max(maxUsed, bodyRegisters);
    if (second && explicitRegisters >= 0 && explicitRegisters <= maxUsed)
        return fail(line.number, "registers=" + std::to_string(explicitRegisters) +
                                     " is too few: the function uses r" + std::to_string(maxUsed));
    const int registerCount = explicitRegisters >= 0 ? explicitRegisters : maxUsed + 1;
    if (registerCount > 255) return fail(line.number, "a function has at most 255 registers");

    std::vector<uint8_t> data;
    putString(data, name);
    putU16(data, uint32_t(params.size()));
    if (second) {
        data.push_back(uint8_t(registerCount));
        data.push_back(uint8_t(flags >> 8));
        data.push_back(uint8_t(flags & 0xFF));
        for (const Param& p : params) {
            data.push_back(uint8_t(p.reg));
            putString(data, p.name);
        }
    } else {
        for (const Param& p : params) putString(data, p.name);
    }
    putU16(data, uint32_t(body.size()));
    if (!putRecord(out, second ? 0x8E : 0x9B, data))
        return fail(line.number, std::string(what) + ": the header exceeds 65535 bytes");
    out.insert(out.end(), body.begin(), body.end());
    return true;
}

bool Assembler::instruction(size_t& index, std::vector<uint8_t>& out, std::vector<Fixup>& fixups,
                            int& maxRegister) {
    const Line& line = lines_[index];
    const auto& tk = line.tokens;
    const std::string& mnemonic = tk[0].text;
    const std::string m = lower(mnemonic);
    const size_t operands = tk.size() - 1;
    auto needs = [&](const char* form) {
        return fail(line.number, "'" + mnemonic + "' takes " + form);
    };
    auto stringAt = [&](size_t i) -> const Token* {
        return i < tk.size() && tk[i].kind == Token::string ? &tk[i] : nullptr;
    };
    auto unsignedAt = [&](size_t i, double max) -> long {
        if (i >= tk.size() || tk[i].kind != Token::number || !tk[i].integral || tk[i].value < 0 ||
            tk[i].value > max)
            return -1;
        return long(tk[i].value);
    };

    if (tk[0].kind != Token::word) return fail(line.number, "expected an instruction, found '" + mnemonic + "'");

    if (const auto it = simpleActions().find(m); it != simpleActions().end()) {
        if (operands) return needs("no operands");
        out.push_back(it->second);
        if (it->second >= 0x80) putU16(out, 0);
        ++index;
        return true;
    }
    if (m == "push") {
        if (!push(line, 1, out, maxRegister)) return false;
        ++index;
        return true;
    }
    if (m == "definefunction" || m == "definefunction2") return function(index, m == "definefunction2", out);
    if (m == "end") return fail(line.number, "'end' without a function to close");

    std::vector<uint8_t> data;
    uint8_t code = 0;
    if (m == "jump" || m == "if") {
        if (operands != 1 || tk[1].kind != Token::word) return needs("one label");
        out.push_back(m == "jump" ? 0x99 : 0x9D);
        putU16(out, 2);
        fixups.push_back({out.size(), tk[1].text, line.number});
        putU16(out, 0);
        ++index;
        return true;
    } else if (m == "gotoframe") {
        const long frame = unsignedAt(1, 65535);
        if (operands != 1 || frame < 0) return needs("a frame index from 0 to 65535");
        code = 0x81;
        putU16(data, uint32_t(frame));
    } else if (m == "geturl") {
        const Token* url = stringAt(1);
        const size_t t = operands == 3 && tk[2].text == "," ? 3 : 2;
        const Token* target = stringAt(t);
        if (!url || !target || tk.size() != t + 1) return needs("a quoted URL and a quoted target");
        code = 0x83;
        putString(data, url->text);
        putString(data, target->text);
    } else if (m == "storeregister") {
        int r = operands == 1 ? registerName(tk[1]) : -1;
        if (r < 0 && operands == 1) r = int(unsignedAt(1, 255));
        if (r < 0 || r > 255) return needs("a register r0..r255");
        code = 0x87;
        data.push_back(uint8_t(r));
        maxRegister = std::max(maxRegister, r);
    } else if (m == "constants" || m == "constantpool") {
        uint32_t count = 0;
        for (size_t i = 1; i < tk.size(); ++i) {
            if (tk[i].kind == Token::punct && tk[i].text == ",") continue;
            if (tk[i].kind != Token::string) return needs("quoted strings");
            ++count;
        }
        if (count > 0xFFFF) return fail(line.number, "a constant pool holds at most 65535 strings");
        code = 0x88;
        putU16(data, count);
        for (size_t i = 1; i < tk.size(); ++i)
            if (tk[i].kind == Token::string) putString(data, tk[i].text);
    } else if (m == "waitforframe") {
        const size_t s = operands == 3 && tk[2].text == "," ? 3 : 2;
        const long frame = unsignedAt(1, 65535), skip = unsignedAt(s, 255);
        if (frame < 0 || skip < 0 || tk.size() != s + 1) return needs("a frame index and a skip count");
        code = 0x8A;
        putU16(data, uint32_t(frame));
        data.push_back(uint8_t(skip));
    } else if (m == "settarget" || m == "gotolabel") {
        const Token* text = stringAt(1);
        if (!text || operands != 1) return needs("one quoted string");
        code = m == "settarget" ? 0x8B : 0x8C;
        putString(data, text->text);
    } else if (m == "waitforframe2") {
        const long skip = unsignedAt(1, 255);
        if (operands != 1 || skip < 0) return needs("a skip count");
        code = 0x8D;
        data.push_back(uint8_t(skip));
    } else if (m == "geturl2") {
        uint8_t flags = 0;
        for (size_t i = 1; i < tk.size(); ++i) {
            const std::string w = lower(tk[i].text);
            if (w == ",") continue;
            if (w == "get") flags = uint8_t((flags & 0x3F) | 0x40);
            else if (w == "post") flags = uint8_t((flags & 0x3F) | 0x80);
            else if (w == "target") flags |= 0x02;
            else if (w == "variables") flags |= 0x01;
            else return needs("words from: get, post, target, variables");
        }
        code = 0x9A;
        data.push_back(flags);
    } else if (m == "gotoframe2") {
        uint8_t flags = 0;
        long bias = -1;
        for (size_t i = 1; i < tk.size(); ++i) {
            const std::string w = lower(tk[i].text);
            if (w == ",") continue;
            if (w == "play") {
                flags |= 0x01;
            } else if (w == "stop") {
                flags &= 0xFE;
            } else if (w == "bias" && i + 2 < tk.size() && tk[i + 1].text == "=") {
                bias = unsignedAt(i + 2, 65535);
                if (bias < 0) return needs("bias=N with N from 0 to 65535");
                i += 2;
            } else {
                return needs("play or stop and an optional bias=N");
            }
        }
        code = 0x9F;
        if (bias >= 0) flags |= 0x02;
        data.push_back(flags);
        if (bias >= 0) putU16(data, uint32_t(bias));
    } else {
        return fail(line.number, "unknown instruction '" + mnemonic + "'");
    }
    if (!putRecord(out, code, data)) return fail(line.number, "'" + mnemonic + "': operands exceed 65535 bytes");
    ++index;
    return true;
}

bool Assembler::block(size_t& index, bool nested, int openLine, std::vector<uint8_t>& out,
                      int& maxRegister) {
    std::map<std::string, size_t> labels;
    std::vector<Fixup> fixups;
    while (index < lines_.size()) {
        Line& line = lines_[index];
        auto& tk = line.tokens;
        // Labels: "name:" at the start of a line, an instruction may follow.
        while (tk.size() >= 2 && tk[0].kind == Token::word && tk[1].kind == Token::punct &&
               tk[1].text == ":") {
            if (!labels.emplace(tk[0].text, out.size()).second)
                return fail(line.number, "label '" + tk[0].text + "' is defined twice");
            tk.erase(tk.begin(), tk.begin() + 2);
        }
        if (tk.empty()) {
            ++index;
            continue;
        }
        if (nested && tk[0].kind == Token::word && lower(tk[0].text) == "end") {
            if (tk.size() > 1) return fail(line.number, "'end' takes no operands");
            ++index;
            nested = false;  // closed
            break;
        }
        if (!instruction(index, out, fixups, maxRegister)) return false;
    }
    if (nested) return fail(openLine, "the function is not closed with 'end'");
    for (const Fixup& f : fixups) {
        const auto it = labels.find(f.label);
        if (it == labels.end()) return fail(f.line, "unknown label '" + f.label + "'");
        const long offset = long(it->second) - long(f.field + 2);
        if (offset < -32768 || offset > 32767)
            return fail(f.line, "label '" + f.label + "' is too far away for a branch");
        out[f.field] = uint8_t(offset & 0xFF);
        out[f.field + 1] = uint8_t((offset >> 8) & 0xFF);
    }
    return true;
}

}  // namespace

int ActionAssembler::assemble(std::string_view source, int firstLine, std::vector<uint8_t>& out) {
    error_.clear();
    message_.clear();
    errorLine_ = 0;
    std::vector<Line> lines;
    int number = firstLine;
    size_t start = 0;
    while (start <= source.size()) {
        size_t end = source.find('\n', start);
        if (end == std::string_view::npos) end = source.size();
        Line line;
        line.number = number;
        const std::string problem = tokenize(source.substr(start, end - start), line.tokens);
        if (!problem.empty()) {
            errorLine_ = number;
            message_ = problem;
            error_ = "line " + std::to_string(number) + ": " + problem;
            return 0;
        }
        if (!line.tokens.empty()) lines.push_back(std::move(line));
        ++number;
        start = end + 1;
    }
    Assembler assembler(lines);
    std::vector<uint8_t> code;
    size_t index = 0;
    int maxRegister = -1;
    if (!assembler.block(index, false, firstLine, code, maxRegister)) {
        errorLine_ = assembler.errorLine;
        message_ = assembler.error;
        error_ = "line " + std::to_string(assembler.errorLine) + ": " + assembler.error;
        return 0;
    }
    out.insert(out.end(), code.begin(), code.end());
    return 1;
}

}  // namespace tessaly
