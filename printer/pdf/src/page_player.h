#pragma once
// The output device that poppler draws one page into: each drawing call of
// the page becomes device context calls. Files by concern: page_player.cpp
// (state, transforms, paths, clips), page_images.cpp, page_text.cpp.

#include <OutputDev.h>

#include <memory>
#include <span>
#include <string_view>
#include <string>
#include <vector>

#include "embedded_fonts.h"
#include "platform/device_context.h"

class GfxState;
class GfxPath;

namespace tessaly::pdf {

class PagePlayer : public OutputDev {
public:
    // pageToDevice maps poppler's device space (pixels at the job's
    // resolution, y down) onto the device's page; `pageClip`, when given, is
    // the PDF page's rectangle there (a fitted page). `fonts` holds the
    // document's fonts across its pages.
    PagePlayer(gdi::DeviceContext& dc, FontRegistry& fonts, const gdi::Transform& pageToDevice,
               const gdi::RectD* pageClip);

    // The first drawing call the context refused ("" when none).
    [[nodiscard]] const std::string& failure() const { return failure_; }

    bool upsideDown() override { return true; }
    bool useDrawChar() override { return true; }
    bool interpretType3Chars() override { return true; }
    bool needClipToCropBox() override { return true; }

    void startPage(int pageNum, GfxState* state, XRef* xref) override;
    void endPage() override;

    void saveState(GfxState* state) override;
    void restoreState(GfxState* state) override;

    void stroke(GfxState* state) override;
    void fill(GfxState* state) override;
    void eoFill(GfxState* state) override;
    void clip(GfxState* state) override;
    void eoClip(GfxState* state) override;
    void clipToStrokePath(GfxState* state) override;

    void beginString(GfxState* state, const GooString* s) override;
    void endString(GfxState* state) override;
    void drawChar(GfxState* state, double x, double y, double dx, double dy, double originX, double originY,
                  CharCode code, int nBytes, const Unicode* u, int uLen) override;
    void endTextObject(GfxState* state) override;
    bool beginType3Char(GfxState* state, double x, double y, double dx, double dy, CharCode code, const Unicode* u,
                        int uLen) override;

    void drawImageMask(GfxState* state, Object* ref, Stream* str, int width, int height, bool invert,
                       bool interpolate, bool inlineImg) override;
    void drawImage(GfxState* state, Object* ref, Stream* str, int width, int height, GfxImageColorMap* colorMap,
                   bool interpolate, const int* maskColors, bool inlineImg) override;
    void drawMaskedImage(GfxState* state, Object* ref, Stream* str, int width, int height,
                         GfxImageColorMap* colorMap, bool interpolate, Stream* maskStr, int maskWidth,
                         int maskHeight, bool maskInvert, bool maskInterpolate) override;
    void drawSoftMaskedImage(GfxState* state, Object* ref, Stream* str, int width, int height,
                             GfxImageColorMap* colorMap, bool interpolate, Stream* maskStr, int maskWidth,
                             int maskHeight, GfxImageColorMap* maskColorMap, bool maskInterpolate) override;

private:
    // A glyph of the text run being collected.
    struct RunGlyph {
        double x = 0, y = 0;    // origin, user space
        double dx = 0, dy = 0;  // advance, user space
        std::u16string text;
    };

    // Notes the first refusal of the context (and clears its error).
    void check(bool ok);
    // The context's world transform set to poppler's CTM followed by the
    // page mapping. False when that transform cannot be inverted: the
    // context is then at the identity and points go through map().
    bool useCtm(const double* ctm);
    [[nodiscard]] gdi::PointD map(double x, double y) const;
    // The state's path as the context's current path (closed by endPath).
    bool buildPath(GfxState* state);
    void fillWith(GfxState* state, gdi::FillMode mode);
    void clipWith(GfxState* state, gdi::FillMode mode);
    // The pen of the state's line attributes, in user units.
    [[nodiscard]] gdi::Pen strokePen(GfxState* state, bool worldIsCtm) const;
    // The same for user space that the page maps with this scale (0: the
    // CTM is singular).
    [[nodiscard]] gdi::Pen strokePen(GfxState* state, double scale) const;
    // Draws an image of 24-bit (alpha false) or premultiplied 32-bit rows
    // into the unit square of the current CTM.
    void blitImage(GfxState* state, int width, int height, const std::vector<uint8_t>& bits, int stride, bool alpha);
    // The look of a text run: glyphs join a run while it stays the same.
    struct RunStyle {
        std::shared_ptr<GfxFont> font;
        double size = 0, horizScaling = 1;
        double textMat[4] = {};
        double ctm[6] = {};
        int render = 0;  // the paint of the mode (0-3)
        bool clip = false;  // modes 4-7: the glyphs clip too
        bool invisible = false;
        gdi::Color color = 0;
        // Render modes 1 and 2 stroke the glyph outlines with this pen
        // (user units).
        gdi::Pen pen;
        bool operator==(const RunStyle& other) const;
    };
    [[nodiscard]] RunStyle styleOf(GfxState* state) const;
    // Draws the collected run (text calls, one per baseline).
    void flushText();
    void flushRun(std::vector<RunGlyph>& run, const RunStyle& style);
    // Strokes the outlines of a text call's glyphs (render modes 1 and 2)
    // under the text's world transform (the em); `userPerEm` is the user
    // length of one em unit.
    void strokeOutlines(const LOGFONTW& lf, std::u16string_view text, std::span<const double> advances, gdi::Pen pen,
                        double userPerEm);

    gdi::DeviceContext& dc_;
    FontRegistry& fonts_;
    XRef* xref_ = nullptr;
    gdi::Transform pageToDevice_;
    bool hasPageClip_ = false;
    gdi::RectD pageClip_;
    gdi::Transform pointMap_;  // used by map() when the CTM is singular
    bool singular_ = false;
    int depthAtStart_ = 0;
    int depth_ = 0;
    std::string failure_;
    std::vector<RunGlyph> run_;
    RunStyle runStyle_;
    // Invisible text of Type 3 glyphs (their procedures draw the ink); it
    // goes out when the text object ends.
    std::vector<RunGlyph> type3Run_;
    RunStyle type3Style_;
    double stringCtm_[6] = {1, 0, 0, 1, 0, 0};  // the CTM when the string began
    // A text call's glyphs that clip, kept until the text object ends.
    struct TextClipPiece {
        LOGFONTW font;
        std::u16string text;
        std::vector<double> advances;  // one per character
        gdi::Transform world;          // em units to device pixels
    };
    std::vector<TextClipPiece> textClip_;
    bool textClipping_ = false;
};

}  // namespace tessaly::pdf
