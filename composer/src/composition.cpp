#include "composer/composition.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "composer/mml_reader.h"
#include "composer/variable_table.h"
#include "support/byte_buffer.h"
#include "support/numbers.h"
#include "support/text.h"

namespace tessaly {

const char kBuiltInPageLayout[] =
    "<Shape><FillColor side=\"right\" color=\"#FFFFFF\"/><Rect pos=\"0,0\" "
    "size=\"{pageWidth},{pageHeight}\"/></Shape><Shape depth=15999><LineStyle "
    "width=\"{=pageHeight/400}\" color=\"#000000\"/><Rect pos=\"0,0\" "
    "size=\"{=pageWidth-1},{=pageHeight-1}\"/></Shape>";

namespace {

constexpr uint32_t kInterfaceDepthOffset = 15000;

uint32_t pixels(double twips, double scale) {
    return std::max<uint32_t>(1, clampToUint32(std::floor(twips * scale * 0.05)));
}

// 1, or 0 when the value could not be stored.
int setNumber(VariableTable& vars, const char* name, double value) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.0f", value);
    return vars.set(name, std::string_view(buf));
}

class Composer {
public:
    Composer(const CompositionInput& in, std::string* out) : in_(in), out_(*out) {}

    void setPageVariables(size_t index) {
        const PageRecord& p = in_.pages[index];
        setNumber("pageNum", double(index + 1));
        setNumber("pageWidth", p.width);
        setNumber("pageHeight", p.height);
        setText("pageImageFilename", p.imageFile);
        auto previewSide = [&](uint32_t side) {
            const double v = std::floor(side * double(in_.previewImageSize) * 0.01);
            return v < 1 ? 1.0 : v;
        };
        setNumber("previewWidth", previewSide(p.width));
        setNumber("previewHeight", previewSide(p.height));
        std::string encoding = in_.previewJpegQuality >= 1 ? "jpeg" : "";
        if (in_.previewZlib) encoding += ",zlib";
        setText("previewEncoding", encoding);
        setNumber("previewEncodingQuality", std::abs(double(in_.previewJpegQuality)));
        std::string fx;
        char buf[48];
        if (in_.previewSmoothing != 0) {
            std::snprintf(buf, sizeof buf, "smooth(%u)", unsigned(in_.previewSmoothing));
            fx = buf;
        }
        if (in_.previewMonochrome < 0) {
            fx += ",gray";
        } else if (in_.previewMonochrome > 0) {
            std::snprintf(buf, sizeof buf, ",blackWhite(%i)", int(in_.previewMonochrome));
            fx += buf;
        }
        setText("previewFx", fx);
    }

    // A variable that cannot be stored, or an expansion that cannot be held,
    // would leave a page with placeholders in it: the composition fails instead.
    void setNumber(const char* name, double value) {
        if (!tessaly::setNumber(vars_, name, value)) ok_ = false;
    }
    void setText(const char* name, std::string_view value) {
        if (!vars_.set(name, value)) ok_ = false;
    }

    // Expands a template with the current variables, keeping unknown placeholders.
    void emit(std::string_view templ) {
        scratch_.truncate(0);
        if (!vars_.expand(templ, scratch_, false)) ok_ = false;
        out_.append(reinterpret_cast<const char*>(scratch_.data()), scratch_.position());
    }

    void prefix() {
        const uint32_t flags = in_.mechanics;
        std::string t = "<Frame><Remove/>";
        if (flags & kMechPreview) {
            t += "<MovieClip id=\"_preview{pageNum}\" instance=\"preview\" flags=\"noPlace\"><Image "
                 "src=\"{pageImageFilename}\" size=\"{pageWidth},{pageHeight}\" "
                 "resize=\"{previewWidth},{previewHeight}\" encoding=\"{previewEncoding}\" "
                 "encodingQuality=\"{previewEncodingQuality}\" fx=\"{previewFx}\"></MovieClip>\n";
        }
        if (flags & kMechVector) {
            t += "<MovieClip id=\"_page{pageNum}\" instance=\"page\" flags=\"noPlace\">";
        } else {
            t += "<MovieClip id=\"_page{pageNum}\" instance=\"page\" flags=\"noPlace\"><Image "
                 "src=\"{pageImageFilename}\" size=\"{pageWidth},{pageHeight}\"><Null>";
        }
        emit(t);
    }

    void suffix(bool lastPage) {
        const uint32_t flags = in_.mechanics;
        std::string t;
        if (!(flags & kMechVector)) t += "</Null>\n";
        t += "</MovieClip>\n";
        if (flags & kMechLibrary) {
            t += "<MovieClip flags=\"noPlace\" export=\"page{pageNum}\">";
        } else if (flags & kMechFrame) {
            t += "<MovieClip instance=\"page{pageNum}\">";
        } else {
            t += "<MovieClip instance=\"page{pageNum}\" alpha=\"0\">";
        }
        t += in_.layoutMarkup ? *in_.layoutMarkup : std::string(kBuiltInPageLayout);
        if (flags & kMechPreview) t += "<Place id=\"_preview{pageNum}\" instance=\"preview\"/>";
        t += "<Place id=\"_page{pageNum}\" instance=\"page\"/>";
        t += "</MovieClip>\n";
        if (lastPage && (flags & kMechPageList)) t += lists();
        t += "</Frame>";
        emit(t);
    }

    std::string lists() const {
        const uint32_t flags = in_.mechanics;
        const size_t pages = in_.pages.size();
        const char* blankPage =
            "<Shape><FillColor side=\"right\" color=\"#FFFFFF\"/><Rect pos=\"0,0\" "
            "size=\"{docWidth},{docHeight}\"/></Shape>";
        std::string t = flags & kMechFrame
                            ? "<MovieClip pos=\"0,{=docHeight*5}\" instance=\"pageList\">"
                            : "<MovieClip flags=\"noPlace\" export=\"pageList\">";
        for (size_t u = 1; u <= pages; ++u) {
            t += "<Frame>";
            if (u == 1) t += "<Meta type=\"flash:stop\"/>";
            t += "<Remove/><Label name=\"#p\"/>";
            t += blankPage;
            t += "<Place id=\"_page" + std::to_string(u) + "\"/></Frame>\n";
        }
        t += "<Frame><Remove/><Label name=\"#b\"/>";
        t += blankPage;
        t += "</Frame>\n</MovieClip>";
        if (flags & kMechPreviewList) {
            t += flags & kMechFrame
                     ? "<MovieClip pos=\"0,{=docHeight*5}\" instance=\"previewList\">"
                     : "<MovieClip flags=\"noPlace\" export=\"previewList\">";
            for (size_t u = 1; u <= pages; ++u) {
                t += "<Frame>";
                if (u == 1) t += "<Meta type=\"flash:stop\"/>";
                t += "<Remove/>";
                t += blankPage;
                t += "<Place id=\"_preview" + std::to_string(u) + "\"/></Frame>\n";
            }
            t += "</MovieClip>";
        }
        return t;
    }

    int run() {
        setNumber("docWidth", in_.docWidth);
        setNumber("docHeight", in_.docHeight);
        if (!scratch_.allocate(384, 384, 2.0f)) return 0;
        MmlReader reader;
        if (!reader.loadText(in_.jobIndex)) return 0;
        const char* doc = reader.document();
        size_t copied = 0;
        size_t page = 0;
        out_.reserve(size_t(double(in_.jobIndex.size()) * 1.2) + 1024);
        while (reader.nextElement()) {
            const ElementRecord& e = *reader.current();
            const char* name = e.name;
            if (equalNoCase(name, "Frame") && page < in_.pages.size()) {
                // The Frame tag as written, and the text before it, give way to the prefix.
                setPageVariables(page);
                prefix();
                copied = e.tagEnd();
            } else if (equalNoCase(name, "/Frame") && page < in_.pages.size()) {
                out_.append(doc + copied, e.tagOffset - copied);
                setPageVariables(page);
                suffix(page + 1 == in_.pages.size());
                copied = e.tagEnd();
                ++page;
            }
            // Everything else, Media included, is copied as it stands.
        }
        out_.append(doc + copied, reader.length() - copied);
        return ok_ ? 1 : 0;
    }

private:
    const CompositionInput& in_;
    std::string& out_;
    VariableTable vars_;
    ByteBuffer scratch_;
    bool ok_ = true;
};

}  // namespace

int composeMovie(const CompositionInput& in, SwfMovieWriter& writer, CharacterDictionary& dictionary,
                 std::string* markup, CompositionResult* result, std::string* error) {
    result->docPixelWidth = pixels(in.docWidth, in.scale);
    result->docPixelHeight = pixels(in.docHeight, in.scale);
    result->interfaceIncluded = false;

    if (!in.interfacePath.empty()) {
        // Variables that describe the document open the movie, ahead of the interface.
        SwfStream& s = writer.stream();
        s.writeSetVariable("totalPages", float(in.pages.size()));
        s.writeSetVariable("docWidth", float(result->docPixelWidth));
        s.writeSetVariable("docHeight", float(result->docPixelHeight));
        char name[32];
        for (size_t n = 0; n < in.pages.size(); ++n) {
            const uint32_t w = pixels(in.pages[n].width, in.scale), h = pixels(in.pages[n].height, in.scale);
            if (w != result->docPixelWidth) {
                std::snprintf(name, sizeof name, "page%uWidth", unsigned(n + 1));
                s.writeSetVariable(name, float(w));
            }
            if (h != result->docPixelHeight) {
                std::snprintf(name, sizeof name, "page%uHeight", unsigned(n + 1));
                s.writeSetVariable(name, float(h));
            }
        }
        uint32_t firstFreeId = 0;
        if (!writer.useTemplate(in.interfacePath, kInterfaceDepthOffset, &firstFreeId)) {
            *error = "Error including Interface\n";
            return 0;
        }
        dictionary.setNextId(firstFreeId + 1);
        result->interfaceIncluded = true;
    }

    markup->clear();
    Composer composer(in, markup);
    if (!composer.run()) {
        *error = "Out of memory";
        return 0;
    }
    return 1;
}

}  // namespace tessaly
