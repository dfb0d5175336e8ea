#include "markup.h"

#include <cmath>
#include <cstdint>
#include <cstdio>

namespace tessaly::pagesmith::markup {

namespace {

void attributeHead(std::string& out, std::string_view name) {
    out += ' ';
    out += name;
    out += "=\"";
}

// "%g" of a whole number of sixteenths (every coordinate the driver writes)
// without the C library's general conversion, which dominated the time of
// writing paths. Such a value has an exact decimal form of at most four
// fraction digits; when that form has at most six significant digits and
// the value is below a million, "%g" prints exactly it. False otherwise.
bool sixteenthsText(double value, char* buf) {
    if (!(std::fabs(value) < 1e6)) return false;
    if (value == 0) {
        if (std::signbit(value)) return false;
        buf[0] = '0';
        buf[1] = '\0';
        return true;
    }
    const double scaled = value * 16;
    if (scaled != std::trunc(scaled)) return false;
    const int64_t all = static_cast<int64_t>(std::fabs(scaled));
    const int64_t whole = all / 16;
    int64_t fraction = (all % 16) * 625;  // ten-thousandths
    int fractionDigits = 4;
    while (fractionDigits > 0 && fraction % 10 == 0) {
        fraction /= 10;
        --fractionDigits;
    }
    char digits[24];
    int wholeDigits = 0;
    for (int64_t w = whole; w > 0; w /= 10) digits[wholeDigits++] = char('0' + w % 10);
    int significant = wholeDigits + fractionDigits;
    if (whole == 0) {
        // Leading zeros of the fraction do not count.
        significant = 0;
        for (int64_t f = fraction; f > 0; f /= 10) ++significant;
    }
    if (significant > 6) return false;
    char* p = buf;
    if (value < 0) *p++ = '-';
    if (wholeDigits == 0) *p++ = '0';
    while (wholeDigits > 0) *p++ = digits[--wholeDigits];
    if (fractionDigits > 0) {
        *p++ = '.';
        for (int i = fractionDigits - 1; i >= 0; --i) {
            int64_t f = fraction;
            for (int k = 0; k < i; ++k) f /= 10;
            *p++ = char('0' + f % 10);
        }
    }
    *p = '\0';
    return true;
}

}  // namespace

void startTagOpen(std::string& out, std::string_view name) {
    out += '<';
    out += name;
}

void startTagClose(std::string& out, bool empty, bool lineEnd) {
    out += empty ? "/>" : ">";
    if (lineEnd) out += '\n';
}

void completeStartTag(std::string& out, std::string_view name) {
    startTagOpen(out, name);
    out += ">\n";
}

void endTag(std::string& out, std::string_view name) {
    out += "</";
    out += name;
    out += ">\n";
}

void textAttribute(std::string& out, std::string_view name, std::string_view text) {
    attributeHead(out, name);
    out += text;
    out += '"';
}

void integerAttribute(std::string& out, std::string_view name, uint32_t value) {
    attributeHead(out, name);
    out += std::to_string(value);
    out += '"';
}

std::string realText(double value) {
    char buf[64];
    if (sixteenthsText(value, buf)) return buf;
    std::snprintf(buf, sizeof buf, "%g", value);
    std::string text(buf);
    for (char& c : text) {
        if (c == ',') c = '.';
    }
    return text;
}

void realAttribute(std::string& out, std::string_view name, double value) {
    attributeHead(out, name);
    out += realText(value);
    out += '"';
}

void colourAttribute(std::string& out, std::string_view name, uint32_t colour) {
    char buf[16];
    std::snprintf(buf, sizeof buf, colour < 0x1000000 ? "#%06X" : "#%08X", unsigned(colour));
    attributeHead(out, name);
    out += buf;
    out += '"';
}

char ansiByte(char16_t unit) {
    char byte = '?';
    ULONG written = 0;
    EngUnicodeToMultiByteN(&byte, 1, &written, reinterpret_cast<PWSTR>(&unit), sizeof unit);
    return written == 1 ? byte : '?';
}

void wideTextAttribute(std::string& out, std::string_view name, std::u16string_view text) {
    attributeHead(out, name);
    for (const char16_t unit : text) out += ansiByte(unit);
    out += '"';
}

void coordinateAttribute(std::string& out, std::string_view name, FIX value) {
    realAttribute(out, name, double(value) / 16.0);
}

void escapedText(std::string& out, std::u16string_view text) {
    for (const char16_t unit : text) {
        switch (unit) {
            case u'"': out += "&quot;"; break;
            case u'&': out += "&amp;"; break;
            case u'\'': out += "&apos;"; break;
            case u'<': out += "&lt;"; break;
            case u'>': out += "&gt;"; break;
            default:
                if (unit >= 256) {
                    char buf[16];
                    std::snprintf(buf, sizeof buf, "&#x%x;", unsigned(unit));
                    out += buf;
                } else {
                    out += ansiByte(unit);
                }
        }
    }
}

}  // namespace tessaly::pagesmith::markup
