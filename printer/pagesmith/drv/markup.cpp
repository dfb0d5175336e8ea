#include "markup.h"

#include <cstdio>

namespace tessaly::pagesmith::markup {

namespace {

void attributeHead(std::string& out, std::string_view name) {
    out += ' ';
    out += name;
    out += "=\"";
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
