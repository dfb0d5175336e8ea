#pragma once
// The output device that poppler draws one page into: each drawing call of
// the page becomes device context calls. Files by concern: page_player.cpp
// (state, transforms, paths, clips), page_images.cpp, page_text.cpp,
// page_raster.cpp (transparency, shadings, patterns).

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
class PDFDoc;
class SplashOutputDev;

namespace tessaly::pdf {

class PagePlayer : public OutputDev {
public:
    // pageToDevice maps poppler's device space (pixels at the job's
    // resolution, y down) onto the device's page; `pageClip`, when given, is
    // the PDF page's rectangle there (a fitted page). `fonts` holds the
    // document's fonts across its pages.
    // `doc` (when given) lets the rasteriser draw text and patterns.
    PagePlayer(gdi::DeviceContext& dc, FontRegistry& fonts, const gdi::Transform& pageToDevice,
               const gdi::RectD* pageClip, PDFDoc* doc = nullptr);
    ~PagePlayer() override;

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

    void beginTextObject(GfxState* state) override;

    // Transparency, shadings and tiling patterns (page_raster.cpp).
    void beginTransparencyGroup(GfxState* state, const double* bbox, GfxColorSpace* blendingColorSpace,
                                bool isolated, bool knockout, bool forSoftMask) override;
    void endTransparencyGroup(GfxState* state) override;
    void paintTransparencyGroup(GfxState* state, const double* bbox) override;
    void setSoftMask(GfxState* state, const double* bbox, bool alpha, Function* transferFunc,
                     GfxColor* backdropColor) override;
    void clearSoftMask(GfxState* state) override;
    // Types 1 to 5 are the rasteriser's; patch meshes (6, 7) are cut into
    // small fills by Gfx, which the rasteriser takes too.
    bool useShadedFills(int type) override { return type >= 1 && type <= 7; }
    bool patchMeshShadedFill(GfxState* state, GfxPatchMeshShading* shading) override;
    // Gfx turns the rasteriser's antialiasing off while it shades.
    bool getVectorAntialias() override { return rasterAntialias_; }
    void setVectorAntialias(bool on) override;
    bool functionShadedFill(GfxState* state, GfxFunctionShading* shading) override;
    bool axialShadedFill(GfxState* state, GfxAxialShading* shading, double tMin, double tMax) override;
    bool radialShadedFill(GfxState* state, GfxRadialShading* shading, double sMin, double sMax) override;
    bool gouraudTriangleShadedFill(GfxState* state, GfxGouraudTriangleShading* shading) override;
    bool useTilingPatternFill() override { return true; }
    bool tilingPatternFill(GfxState* state, Gfx* gfx, Catalog* catalog, GfxTilingPattern* tPat, const double* mat,
                           int x0, int y0, int x1, int y1, double xStep, double yStep) override;

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

    // Where a drawing call goes: the context, the rasteriser (transparency),
    // or nowhere (paint of no opacity).
    enum class Route { Device, Raster, Skip };
    // The route of a paint with this opacity; Device flushes what the
    // rasteriser holds first, Raster brings the rasteriser up to the state.
    Route routeFor(GfxState* state, double opacity);
    // The rasteriser for this page (made on first need); false when the
    // page is too large for it.
    bool ensureRaster();
    // Hands the state's colours, lines, transform, opacity and font to the
    // rasteriser.
    void syncRaster(GfxState* state);
    // What the rasteriser drew since the last flush lies in the state's
    // clip, and in `box` (device pixels, x0 y0 x1 y1) when given.
    void markRaster(GfxState* state, const double* box = nullptr);
    // A shading drawn by the rasteriser: `draw(raster)` paints it.
    template <typename Draw>
    bool shadeInRaster(GfxState* state, Draw&& draw);
    // The device bounds of the state's path, widened by half the line
    // width when stroked; false for an empty path.
    static bool pathBox(GfxState* state, bool stroked, double* box);
    // The device bounds of the CTM's unit square (an image).
    static void unitSquareBox(GfxState* state, double* box);
    void markImage(GfxState* state);
    // The rasteriser's painted pixels go to the context as a picture under
    // the current clip (outside its groups only), and its bitmap is cleared.
    void flushRaster();
    [[nodiscard]] bool softMasked() const { return !levels_.empty() && levels_.back().masked; }

    gdi::DeviceContext& dc_;
    FontRegistry& fonts_;
    PDFDoc* doc_ = nullptr;
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

    // Transparency. What needs it (paint of some opacity, soft masks,
    // groups painted with an opacity or a mask, shadings, fine tiling
    // patterns) is drawn by poppler's own rasteriser into a page-sized
    // bitmap with alpha; its painted part becomes a picture of the page.
    std::unique_ptr<GfxState> pageState_;
    std::unique_ptr<SplashOutputDev> raster_;
    bool rasterRefused_ = false;
    int rasterSaves_ = 0;  // saves the rasteriser holds (it may start deeper)
    bool rasterDirty_ = false;
    double dirty_[4] = {};  // device bounds of what waits for the flush
    // Per save level: a soft mask applies; the opacity and blend of the
    // state that was saved (a group's paint).
    struct Level {
        bool masked = false;
        double fillOpacity = 1;
        bool blendNormal = true;
    };
    std::vector<Level> levels_;
    // Open groups: drawn as their content (Plain), by the rasteriser, or
    // not at all (a mask the rasteriser cannot take).
    enum class Group { Plain, Raster, Discard };
    std::vector<Group> groups_;
    int rasterGroups_ = 0;
    int discarding_ = 0;
    // Gfx cuts a shading into fills until its state is restored: they go
    // to the rasteriser.
    int shadingDepth_ = -1;
    bool rasterAntialias_ = true;
    // The pixels of the rasterised groups' bitmaps, each and together.
    std::vector<double> groupSizes_;
    double groupPixels_ = 0;
    void popGroupSize();
    // The rasteriser moves the CTM to each group's bitmap; text kept as
    // text inside a group is moved back by this much.
    std::vector<std::pair<double, double>> groupShifts_;
    double groupShiftX_ = 0, groupShiftY_ = 0;
};

}  // namespace tessaly::pdf
