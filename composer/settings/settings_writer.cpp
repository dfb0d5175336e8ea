// The settings markup that the driver writes as each job's media.settings.

#include <cstdio>

#include "composer/settings.h"
#include "support/paths.h"
#include "support/text.h"

namespace tessaly {

namespace {

void escapeByte(unsigned char c, std::string& out) {
    switch (c) {
        case '"': out += "&quot;"; break;
        case '&': out += "&amp;"; break;
        case '\'': out += "&apos;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        default:
            if (c < 32) {
                out += formatNarrow("&#x%02x;", unsigned(c));
            } else {
                out += char(c);
            }
    }
}

std::string escape(std::string_view text) {
    std::string out;
    for (const char c : text) escapeByte(static_cast<unsigned char>(c), out);
    return out;
}

std::string escape(std::u16string_view text) {
    std::string out;
    for (const char16_t c : text) {
        if (c >= 256) {
            out += formatNarrow("&#x%04x;", unsigned(c));
        } else {
            escapeByte(static_cast<unsigned char>(c), out);
        }
    }
    return out;
}

void param(std::string& out, std::string_view name, std::string_view escapedValue) {
    out += "  <Param name=\"";
    out += name;
    out += "\" value=\"";
    out += escapedValue;
    out += "\"/>\n";
}

std::string mechanicsText(uint32_t flags) {
    static constexpr struct {
        uint32_t bit;
        const char* word;
    } kWords[] = {{kMechVector, "vector,"},
                  {kMechImage, "image,"},
                  {kMechPreview, "preview,"},
                  {kMechPageList, "pageList,"},
                  {kMechPreviewList, "previewList,"},
                  {kMechFrame, "frame,"},
                  {kMechInvisible, "invisible,"},
                  {kMechLibrary, "library,"},
                  {kMechPreviewSupported, "previewSupported,"},
                  {kMechNativeSize, "nativeSize,"},
                  {kMechDebug, "debug"}};
    std::string text;
    for (const auto& entry : kWords) {
        if (flags & entry.bit) text += entry.word;
    }
    return text;
}

std::string encodeFlagsText(int32_t zlib, int32_t jpegQuality) {
    std::string text;
    if (zlib) text += "zlib,";
    if (jpegQuality >= 0) text += formatNarrow("jpeg(%i)", int(jpegQuality));
    return text;
}

void writeInterface(std::string& out, const InterfaceSettings& settings) {
    out += "  <Interface src=\"";
    out += escape(fileNamePart(settings.source));
    out += "\" name=\"";
    out += escape(settings.name);
    out += "\" description=\"";
    out += escape(settings.description);
    out += "\">\n";
    param(out, "_mechanics", mechanicsText(settings.mechanics));
    for (const InterfaceParam& p : settings.params) {
        out += "  <Param name=\"" + escape(p.name) + "\"";
        out += " varName=\"" + escape(p.varName) + "\"";
        if (p.value) out += " value=\"" + escape(*p.value) + "\"";
        out += " type=\"";
        if (p.isHidden()) out += "hidden,";
        out += p.isNumber() ? "number" : "string";
        out += "\"";
        if (p.options) out += " options=\"" + escape(*p.options) + "\"";
        if (p.description) out += " description=\"" + escape(*p.description) + "\"";
        out += "/>\n";
    }
    out += "  </Interface>\n";
}

}  // namespace

std::string writeSettings(const JobSettings& settings) {
    std::string out = "<Settings>\n";
    param(out, "_mechanics", mechanicsText(settings.mechanics));
    if (!settings.sourceText().empty()) param(out, "_source", escape(settings.sourceText()));
    if (settings.sourceId >= 0) param(out, "_sourceId", formatNarrow("%i", int(settings.sourceId)));
    if (settings.outputFlags != 0) {
        // Each bit is written on its own so that the flags read back exactly.
        std::string flags;
        if (settings.outputFlags & kOutputFile) flags += "file,";
        if (settings.outputFlags & kOutputFlash) flags += "flash,";
        if (settings.outputFlags & kOutputFlashHtml) flags += "flash_html";
        param(out, "_outputFlags", flags);
    }
    if (!settings.outputLocationText().empty()) {
        param(out, "_outputLocation", escape(settings.outputLocationText()));
    }
    param(out, "Layout", escape(settings.layoutNameText()));
    if (settings.imageSize > 0) param(out, "ImageSize", formatNarrow("%i", int(settings.imageSize)));
    param(out, "ImageEncodeFlags", encodeFlagsText(settings.imageZlib, settings.imageJpegQuality));
    param(out, "PreviewImageEncodeFlags",
          encodeFlagsText(settings.previewZlib, settings.previewJpegQuality));
    std::string size = formatNarrow("%g", double(settings.previewImageSize));
    replaceChar(size.data(), ',', '.');
    param(out, "PreviewImageSize", size);
    std::string fx;
    if (settings.previewSmoothing != 0) fx += formatNarrow("smooth(%u),", unsigned(settings.previewSmoothing));
    if (settings.previewMonochrome < 0) {
        fx += "gray";
    } else if (settings.previewMonochrome > 0) {
        fx += formatNarrow("blackWhite(%i),", int(settings.previewMonochrome));
    }
    param(out, "PreviewImageFx", fx);
    if (settings.interfaceSettings.hasSource()) writeInterface(out, settings.interfaceSettings);
    out += "</Settings>\n";
    return out;
}

}  // namespace tessaly
