#pragma once
// What the device context's files share: the printer device's internals,
// the drawing state, the recorded drawing operations of a page and the
// player that turns one operation into driver calls.

#include <memory>
#include <string>
#include <vector>

#include "ddi_objects.h"
#include "geometry.h"
#include "region.h"

namespace tessaly::gdi {

// A driver function of the table as its own type (through void(*)(), the
// generic function pointer type the cast warning accepts).
template <typename Fn>
Fn functionAs(PFN pfn) {
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(pfn));
}

struct PrinterDevice::Impl {
    std::unique_ptr<Device> engine;  // the engine device behind the HDEV
    HSURF surfaceHandle = nullptr;
    SURFOBJ* surface = nullptr;      // locked while the device is open
    Surface* engineSurface = nullptr;
    bool banding = false;
    FLONG hooks = 0;
    bool surfaceEnabled = false;
    bool pdevEnabled = false;
    // What open() was given, for a reset.
    DRVENABLEDATA driver{};
    std::u16string deviceName;
    HANDLE driverHandle = nullptr;

    [[nodiscard]] bool enableSurface(std::string* why);
    void disableSurface();
    [[nodiscard]] bool reset(DEVMODEW* devmode, std::string* why);
    void close();

    [[nodiscard]] PFN find(ULONG index) const { return engine ? engine->function(index) : nullptr; }
    [[nodiscard]] const GDIINFO& gdiInfo() const {
        static const GDIINFO closed{};
        return engine ? engine->gdiInfo : closed;
    }
    [[nodiscard]] int32_t width() const { return surface ? surface->sizlBitmap.cx : 0; }
    [[nodiscard]] int32_t bandRows() const { return surface ? surface->sizlBitmap.cy : 0; }
    [[nodiscard]] int32_t pageWidth() const { return static_cast<int32_t>(gdiInfo().ulHorzRes); }
    [[nodiscard]] int32_t pageHeight() const { return static_cast<int32_t>(gdiInfo().ulVertRes); }
};

// Pixels copied from a caller: rows of 1, 4 or 8-bit palette indices (the
// palette padded to every index the format can hold), 16-bit 5-5-5 values,
// or 3 or 4 bytes per pixel.
struct Pixels {
    int width = 0;
    int height = 0;
    int bitsPerPixel = 24;
    int stride = 0;
    std::vector<uint8_t> rows;
    std::vector<Color> palette;

    [[nodiscard]] size_t rowBytes() const;
    // The stored value of a pixel: an index, a 5-5-5 word or B,G,R(,A) bytes.
    [[nodiscard]] uint32_t value(int x, int y) const;
    void setValue(int x, int y, uint32_t v);
    // The colour a pixel shows.
    [[nodiscard]] Color color(int x, int y) const;
};

// The 5-5-5 word of a colour and back (each channel's top bits repeated).
uint32_t pack555(Color c);
Color expand555(uint32_t v);

struct ClipPath {
    DevicePath path;  // page coordinates
    bool winding = false;
};

struct DrawOp {
    enum class Kind { Stroke, Fill, StrokeFill, Blit, AlphaBlend, TransparentBlt, Gradient, Text };
    Kind kind = Kind::Fill;

    // Where it may draw, in page pixels; `bounds` holds every pixel it can
    // touch (used to skip bands and to tell a trivial clip).
    Region clip;
    std::shared_ptr<const ClipPath> clipPath;
    DeviceRect bounds;

    // Paths (device coordinates of the page).
    DevicePath path;
    bool winding = false;
    Pen pen;
    Transform world;  // for a geometric pen's width
    Brush brush;
    std::shared_ptr<const Pixels> pattern;
    int mix = R2_COPYPEN;

    // Bitmaps: the destination as the transformed corners of the world
    // rectangle (top-left, top-right, bottom-left).
    std::shared_ptr<const Pixels> source;
    DeviceRect sourceRect;
    PointD corner[3];
    DWORD rop3 = 0xCC;
    uint8_t constantAlpha = 0xFF;
    bool perPixelAlpha = false;
    Color key = 0;

    // Gradients (page pixels).
    std::vector<TRIVERTEX> vertices;
    std::vector<ULONG> mesh;
    ULONG gradientMode = GRADIENT_FILL_RECT_H;

    // Text: the realized font, the characters and their device origins on
    // the baseline (the first origin and the distances to the next).
    std::shared_ptr<FontObject> font;
    std::u16string text;
    PointD origin;
    std::vector<double> advances;
    // Distances across the baseline (towards the descent) to the next
    // character; empty: all on one baseline.
    std::vector<double> across;
    Color textColor = 0;
    bool glyphIndices = false;  // `text` holds glyph indices
    bool invisible = false;     // handed over with R2_NOP, never painted
    // Underline and strike-out rectangles in page pixels (the driver gets
    // them with a zero rectangle after the last).
    std::vector<DeviceRect> extra;
    // ETO_CLIPPED: the text's own clip rectangle, page pixels.
    bool clipped = false;
    DeviceRect clipRect;
    bool opaque = false;
    DeviceRect opaqueRect;
    Color background = 0xFFFFFF;  // also the gaps of a hatch brush
    bool transparentBackground = false;
};

class Player {
public:
    explicit Player(PrinterDevice::Impl& device) : device_(device) {}
    // Draws one operation on the band whose top-left page pixel is `origin`
    // (the whole page when not banding: origin 0, 0).
    [[nodiscard]] bool play(const DrawOp& op, POINTL origin, std::string* error);

    // The same, noting whether the driver took each call it was offered.
    [[nodiscard]] bool record(const DrawOp& op, std::vector<bool>* answers, std::string* error);
    // Renders an operation recorded on the whole page again without the
    // driver: each call the driver took is rendered with the engine function
    // the driver renders it with (the same arguments), each call it declined
    // is declined again, and the rest goes as it went. The pixels are those
    // that the driver's rendering gave.
    bool replay(const DrawOp& op, const std::vector<bool>& answers, std::string* error);

private:
    struct Band;
    bool fill(const DrawOp& op, const Band& band, const DevicePath& path, bool winding, BrushObject& brush,
              std::string* error);
    bool paintRegion(const DrawOp& op, const Band& band, const Region& region, BrushObject& brush,
                     std::string* error);
    bool stroke(const DrawOp& op, const Band& band, const DevicePath& path, std::string* error);
    bool strokeAndFill(const DrawOp& op, const Band& band, std::string* error);
    bool strokeAsFill(const DrawOp& op, const Band& band, const DevicePath& path, std::string* error);
    bool blit(const DrawOp& op, const Band& band, std::string* error);
    bool blend(const DrawOp& op, const Band& band, std::string* error);
    bool gradient(const DrawOp& op, const Band& band, std::string* error);
    bool text(const DrawOp& op, const Band& band, std::string* error);
    bool textAsFill(const DrawOp& op, const Band& band, StringObject& text, std::string* error);

    // A hook call: offered to the driver, noted when recording, or answered
    // from the notes when replaying (the engine renders what was taken).
    template <typename Hook, typename Engine, typename... Args>
    WINBOOL ask(Hook hook, Engine engine, Args... args) {
        switch (mode_) {
            case Mode::Live:
                break;
            case Mode::Record: {
                const WINBOOL taken = hook(args...);
                recorded_->push_back(taken != FALSE);
                return taken;
            }
            case Mode::Replay: {
                const bool taken = next_ < replayed_->size() && (*replayed_)[next_];
                ++next_;
                if (taken) (void)engine(args...);
                return taken ? TRUE : FALSE;
            }
        }
        return hook(args...);
    }

    [[nodiscard]] bool hooked(FLONG hook) const { return (device_.hooks & hook) != 0; }
    template <typename Fn>
    [[nodiscard]] Fn driver(ULONG index) const {
        return functionAs<Fn>(device_.find(index));
    }

    PrinterDevice::Impl& device_;
    enum class Mode { Live, Record, Replay };
    Mode mode_ = Mode::Live;
    std::vector<bool>* recorded_ = nullptr;
    const std::vector<bool>* replayed_ = nullptr;
    size_t next_ = 0;
};

// Helpers shared by the files of the context.
int rop3FromMix(int mix);
// The pixels a device-space rectangle given by doubles covers (pixel centres
// inside), clamped to +-2^30.
DeviceRect pixelBounds(const RectD& r);
DeviceRect intersect(const DeviceRect& a, const DeviceRect& b);
bool emptyRect(const DeviceRect& r);
// The outline of a path's stroke with a pen under a world transform (dashes
// included) as closed figures that a winding fill covers.
DevicePath strokeOutline(const DevicePath& path, const Pen& pen, const Transform& world, const GDIINFO& gi);

}  // namespace tessaly::gdi
