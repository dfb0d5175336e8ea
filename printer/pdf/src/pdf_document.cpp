// Opening a PDF, its pages and their sizes, and playing a page.
#include "pdf/pdf_document.h"

#include <Error.h>
#include <ErrorCodes.h>
#include <GlobalParams.h>
#include <Page.h>
#include <PDFDoc.h>
#include <Stream.h>
#include <UTF.h>

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <mutex>
#include <new>

#include "page_player.h"
#include "support/text.h"

namespace tessaly::pdf {

namespace {

// poppler reports problems through one process-wide callback. The first
// message since the collector was made is kept for the caller's error line;
// nothing goes to stderr.
thread_local std::string* gCollector = nullptr;

void collectError(ErrorCategory category, Goffset /*pos*/, const char* message) {
    if (!gCollector || !gCollector->empty() || !message) return;
    if (category == errInternal || category == errSyntaxWarning) return;
    *gCollector = message;
}

void initPoppler() {
    static std::once_flag once;
    std::call_once(once, [] {
        if (!globalParams) globalParams = std::make_unique<GlobalParams>();
        setErrorCallback(collectError);
    });
}

class ErrorScope {
public:
    ErrorScope() : previous_(gCollector) { gCollector = &first_; }
    ~ErrorScope() { gCollector = previous_; }
    ErrorScope(const ErrorScope&) = delete;
    ErrorScope& operator=(const ErrorScope&) = delete;
    const std::string& first() const { return first_; }

private:
    std::string first_;
    std::string* previous_;
};

int report(std::string* error, PdfError* kind, PdfError what, const std::string& line) {
    if (error) *error = line;
    if (kind) *kind = what;
    return 0;
}

double clampSide(double pt) { return std::isfinite(pt) ? std::clamp(pt, 1.0, kMaxPageSidePt) : 1.0; }

// poppler's interpreter asks whether to stop after about this many
// operators of the page's own content.
constexpr uint64_t kOperatorsPerCheck = 11;

// The operations cap of one page. The player counts what reaches it (paths
// painted and clipped, glyphs, images, saves, forms invoked), and poppler's
// abort check the page's own operators (those that draw nothing too); once
// either count is spent, nothing more is drawn, forms are no longer entered,
// and the abort check stops the page's own content. (poppler's abort check
// alone misses forms: each form's content restarts its count.)
class BudgetedPlayer final : public PagePlayer {
public:
    BudgetedPlayer(gdi::DeviceContext& dc, FontRegistry& fonts, const gdi::Transform& pageToDevice,
                   const gdi::RectD* pageClip, PDFDoc* doc, uint64_t maxOperations)
        : PagePlayer(dc, fonts, pageToDevice, pageClip, doc),
          left_(maxOperations),
          checksLeft_(maxOperations / kOperatorsPerCheck + 1),
          limited_(maxOperations > 0) {}

    [[nodiscard]] bool spent() const { return spent_; }
    static bool abortCheck(void* data) {
        auto* player = static_cast<BudgetedPlayer*>(data);
        if (player->limited_ && !player->spent_ && player->checksLeft_-- == 0) player->spent_ = true;
        return player->spent_;
    }

    // A form is entered while the budget lasts; after that, forms go to
    // drawForm, which draws nothing.
    bool useDrawForm() override { return !spend(); }
    void drawForm(Ref /*id*/) override {}

    void saveState(GfxState* state) override {
        (void)spend();
        PagePlayer::saveState(state);  // saves and restores stay paired
    }
    void stroke(GfxState* state) override {
        if (spend()) PagePlayer::stroke(state);
    }
    void fill(GfxState* state) override {
        if (spend()) PagePlayer::fill(state);
    }
    void eoFill(GfxState* state) override {
        if (spend()) PagePlayer::eoFill(state);
    }
    void clip(GfxState* state) override {
        if (spend()) PagePlayer::clip(state);
    }
    void eoClip(GfxState* state) override {
        if (spend()) PagePlayer::eoClip(state);
    }
    void clipToStrokePath(GfxState* state) override {
        if (spend()) PagePlayer::clipToStrokePath(state);
    }
    void drawChar(GfxState* state, double x, double y, double dx, double dy, double originX, double originY,
                  CharCode code, int nBytes, const Unicode* u, int uLen) override {
        if (spend()) PagePlayer::drawChar(state, x, y, dx, dy, originX, originY, code, nBytes, u, uLen);
    }
    void drawImageMask(GfxState* state, Object* ref, Stream* str, int width, int height, bool invert,
                       bool interpolate, bool inlineImg) override {
        if (spend()) PagePlayer::drawImageMask(state, ref, str, width, height, invert, interpolate, inlineImg);
    }
    void drawImage(GfxState* state, Object* ref, Stream* str, int width, int height, GfxImageColorMap* colorMap,
                   bool interpolate, const int* maskColors, bool inlineImg) override {
        if (spend())
            PagePlayer::drawImage(state, ref, str, width, height, colorMap, interpolate, maskColors, inlineImg);
    }
    void drawMaskedImage(GfxState* state, Object* ref, Stream* str, int width, int height,
                         GfxImageColorMap* colorMap, bool interpolate, Stream* maskStr, int maskWidth,
                         int maskHeight, bool maskInvert, bool maskInterpolate) override {
        if (spend())
            PagePlayer::drawMaskedImage(state, ref, str, width, height, colorMap, interpolate, maskStr, maskWidth,
                                        maskHeight, maskInvert, maskInterpolate);
    }
    void drawSoftMaskedImage(GfxState* state, Object* ref, Stream* str, int width, int height,
                             GfxImageColorMap* colorMap, bool interpolate, Stream* maskStr, int maskWidth,
                             int maskHeight, GfxImageColorMap* maskColorMap, bool maskInterpolate) override {
        if (spend())
            PagePlayer::drawSoftMaskedImage(state, ref, str, width, height, colorMap, interpolate, maskStr,
                                            maskWidth, maskHeight, maskColorMap, maskInterpolate);
    }

private:
    // One operation: true while the budget lasts.
    bool spend() {
        if (!limited_) return true;
        if (left_ == 0) {
            spent_ = true;
            return false;
        }
        --left_;
        return true;
    }

    uint64_t left_;
    uint64_t checksLeft_;
    bool limited_;
    bool spent_ = false;
};

}  // namespace

struct Document::Impl {
    std::string name;
    std::vector<char> bytes;  // the PDF in memory (openBytes), kept for the stream
    std::unique_ptr<PDFDoc> doc;
    // The embedded fonts, registered while the document is open.
    FontRegistry fonts;
};

Document::Document(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Document::~Document() = default;

namespace {

std::unique_ptr<Document::Impl> checkOpened(std::unique_ptr<Document::Impl> impl, const std::string& detail,
                                            bool withPassword, std::string* error, PdfError* kind) {
    PDFDoc& doc = *impl->doc;
    if (doc.isOk() && doc.getNumPages() > 0) return impl;
    const std::string& name = impl->name;
    if (doc.isOk()) {
        report(error, kind, PdfError::Damaged,
               name + " is damaged: it has no pages" + (detail.empty() ? std::string() : " (" + detail + ")"));
        return nullptr;
    }
    switch (doc.getErrorCode()) {
        case errOpenFile:
            report(error, kind, PdfError::CannotOpen,
                   "cannot open " + name + ": " + std::strerror(doc.getFopenErrno() ? doc.getFopenErrno() : EIO));
            break;
        case errEncrypted:
            report(error, kind, PdfError::Encrypted,
                   withPassword ? name + " is encrypted and the password is wrong"
                                : name + " is encrypted: it needs a password");
            break;
        default:
            report(error, kind, PdfError::Damaged,
                   name + " is damaged or not a PDF" + (detail.empty() ? std::string() : " (" + detail + ")"));
            break;
    }
    return nullptr;
}

std::optional<GooString> passwordOf(const std::optional<std::string>& password) {
    if (!password) return std::nullopt;
    return GooString(password->c_str());
}

}  // namespace

std::unique_ptr<Document> Document::open(const std::string& path, const std::optional<std::string>& password,
                                         std::string* error, PdfError* kind) {
    initPoppler();
    if (kind) *kind = PdfError::None;
    struct stat st{};
    if (::stat(path.c_str(), &st) != 0) {
        report(error, kind, PdfError::CannotOpen, "cannot open " + path + ": " + std::strerror(errno));
        return nullptr;
    }
    if (!S_ISREG(st.st_mode)) {
        report(error, kind, PdfError::CannotOpen, "cannot open " + path + ": not a file");
        return nullptr;
    }
    ErrorScope scope;
    auto impl = std::make_unique<Impl>();
    impl->name = path;
    const auto pw = passwordOf(password);
    try {
        impl->doc = std::make_unique<PDFDoc>(std::make_unique<GooString>(path.c_str()), pw, pw);
    } catch (const std::bad_alloc&) {
        report(error, kind, PdfError::Damaged, "cannot open " + path + ": out of memory");
        return nullptr;
    }
    impl = checkOpened(std::move(impl), scope.first(), password.has_value(), error, kind);
    if (!impl) return nullptr;
    return std::unique_ptr<Document>(new Document(std::move(impl)));
}

std::unique_ptr<Document> Document::openBytes(std::span<const uint8_t> bytes, std::string_view name,
                                              const std::optional<std::string>& password, std::string* error,
                                              PdfError* kind) {
    initPoppler();
    if (kind) *kind = PdfError::None;
    ErrorScope scope;
    auto impl = std::make_unique<Impl>();
    impl->name = std::string(name);
    try {
        impl->bytes.assign(bytes.begin(), bytes.end());
    } catch (const std::bad_alloc&) {
        report(error, kind, PdfError::Damaged, impl->name + ": out of memory");
        return nullptr;
    }
    if (impl->bytes.empty()) {
        report(error, kind, PdfError::Damaged, impl->name + " is damaged or not a PDF (it is empty)");
        return nullptr;
    }
    // The document owns the stream; the bytes stay with the document.
    const auto pw = passwordOf(password);
    try {
        auto* stream =
            new MemStream(impl->bytes.data(), 0, static_cast<Goffset>(impl->bytes.size()), Object(objNull));
        impl->doc = std::make_unique<PDFDoc>(stream, pw, pw);
    } catch (const std::bad_alloc&) {
        report(error, kind, PdfError::Damaged, impl->name + ": out of memory");
        return nullptr;
    }
    impl = checkOpened(std::move(impl), scope.first(), password.has_value(), error, kind);
    if (!impl) return nullptr;
    return std::unique_ptr<Document>(new Document(std::move(impl)));
}

int Document::pageCount() const { return impl_->doc->getNumPages(); }

namespace {

// The page's own rotation and the extra turn together, as poppler draws it.
bool quarterTurned(const Page* page, int turn) { return (page->getRotate() + turn) % 180 == 90; }

int validTurn(int turn) { return turn == 90 || turn == 180 || turn == 270 ? turn : 0; }

}  // namespace

PageSize Document::pageSize(int page, int turn) const {
    if (page < 1 || page > pageCount()) return {};
    ErrorScope scope;
    Page* p = impl_->doc->getPage(page);
    if (!p) return {};
    double w = clampSide(p->getCropWidth()), h = clampSide(p->getCropHeight());
    if (quarterTurned(p, validTurn(turn))) std::swap(w, h);
    return {w, h};
}

std::string Document::title() const {
    ErrorScope scope;
    const std::unique_ptr<GooString> title = impl_->doc->getDocInfoTitle();
    if (!title) return {};
    const std::string raw = title->toStr();
    std::string out;
    // UTF-16 with a byte order mark, else PDFDocEncoding (taken as Latin-1).
    if (raw.size() >= 2 && static_cast<uint8_t>(raw[0]) == 0xFE && static_cast<uint8_t>(raw[1]) == 0xFF) {
        std::u16string wide;
        for (size_t i = 2; i + 1 < raw.size(); i += 2)
            wide.push_back(static_cast<char16_t>(static_cast<uint8_t>(raw[i]) << 8 | static_cast<uint8_t>(raw[i + 1])));
        // Control characters would break the one-line name the title becomes.
        std::erase_if(wide, [](char16_t c) { return c < 0x20; });
        out = toUtf8(wide);
    } else {
        std::string narrow(raw);
        std::erase_if(narrow, [](char c) { return static_cast<unsigned char>(c) < 0x20; });
        out = latin1ToUtf8(narrow);
    }
    return out;
}

int Document::playPage(int page, gdi::PrinterDevice& device, gdi::DeviceContext& dc, std::string* error,
                       const PlayOptions& options, PdfError* kind) {
    if (kind) *kind = PdfError::None;
    if (page < 1 || page > pageCount())
        return report(error, kind, PdfError::BadPage,
                      "page " + std::to_string(page) + " is not in " + impl_->name + " (" +
                          std::to_string(pageCount()) + " pages)");
    const double dpiX = std::max(1, device.dpiX()), dpiY = std::max(1, device.dpiY());
    const int turn = validTurn(options.turn);
    const PageSize size = pageSize(page, turn);
    if (options.note) options.note->clear();
    if (size.widthPt <= 0 || size.heightPt <= 0) {
        // A page the document counts but whose object cannot be read (a page
        // tree shorter than its count, a damaged page): a blank page keeps
        // the numbering.
        if (!dc.startPage() || !dc.endPage()) {
            const std::string why = dc.errorText();
            dc.clearError();
            return report(error, kind, PdfError::Drawing, "page " + std::to_string(page) + ": " + why);
        }
        if (options.note) *options.note = "page " + std::to_string(page) + " cannot be read; it is left blank";
        return 1;
    }
    // The PDF page in device pixels, and how it sits on the device's page.
    // The PDF page as poppler draws it: its own box, which may be larger
    // than the clamped size (then it is scaled down to fit the paper).
    PageSize drawn = size;
    {
        ErrorScope scope;
        if (Page* p = impl_->doc->getPage(page)) {
            double rw = p->getCropWidth(), rh = p->getCropHeight();
            if (quarterTurned(p, turn)) std::swap(rw, rh);
            if (std::isfinite(rw) && std::isfinite(rh) && rw > 0 && rh > 0) drawn = {rw, rh};
        }
    }
    const double w = drawn.widthPt * dpiX / 72, h = drawn.heightPt * dpiY / 72;
    const double deviceW = device.pageWidth(), deviceH = device.pageHeight();
    gdi::Transform toDevice;
    gdi::RectD clip{0, 0, w, h};
    const bool differs = std::fabs(w - deviceW) > 1 || std::fabs(h - deviceH) > 1;
    if (differs && options.fit) {
        const double s = std::min(deviceW / w, deviceH / h);
        toDevice.m11 = toDevice.m22 = s;
        toDevice.dx = (deviceW - w * s) / 2;
        toDevice.dy = (deviceH - h * s) / 2;
        clip = {toDevice.dx, toDevice.dy, toDevice.dx + w * s, toDevice.dy + h * s};
    }

    if (!dc.startPage()) {
        const std::string why = dc.errorText();
        dc.clearError();
        return report(error, kind, PdfError::Drawing, "page " + std::to_string(page) + ": " + why);
    }
    std::string failure;
    {
        ErrorScope scope;
        BudgetedPlayer player(dc, impl_->fonts, toDevice, differs ? &clip : nullptr, impl_->doc.get(),
                              options.maxOperations);
        bool outOfMemory = false;
        try {
            // poppler adds the page's own rotation; the crop box is the page.
            impl_->doc->displayPage(&player, page, dpiX, dpiY, turn, false, true, true, &BudgetedPlayer::abortCheck,
                                    &player);
        } catch (const std::bad_alloc&) {
            outOfMemory = true;
        }
        if (player.spent() && options.note)
            *options.note = "page " + std::to_string(page) + " was cut short after " +
                            std::to_string(options.maxOperations) + " operations";
        player.endPage();
        failure = outOfMemory ? "out of memory" : player.failure();
    }
    if (!dc.endPage() && failure.empty()) failure = dc.errorText().empty() ? "the page failed" : dc.errorText();
    dc.clearError();
    if (!failure.empty())
        return report(error, kind, PdfError::Drawing, "page " + std::to_string(page) + ": " + failure);
    return 1;
}

int parsePageRange(std::string_view text, int pageCount, std::vector<int>* pages, std::string* error) {
    std::string t;
    for (char c : text)
        if (c != ' ' && c != '\t') t.push_back(c);
    std::vector<int> out;
    auto bad = [&](const std::string& why) {
        if (error) *error = "bad page range '" + std::string(text) + "': " + why;
        return 0;
    };
    if (t.empty()) return bad("it is empty");
    auto number = [](std::string_view s, int* v) {
        if (s.empty()) return false;
        const auto r = std::from_chars(s.data(), s.data() + s.size(), *v);
        return r.ec == std::errc() && r.ptr == s.data() + s.size();
    };
    size_t at = 0;
    while (at <= t.size()) {
        const size_t comma = std::min(t.find(',', at), t.size());
        const std::string_view part(t.data() + at, comma - at);
        if (part.empty()) return bad("an empty part");
        int from = 0, to = 0;
        const size_t dash = part.find('-');
        if (dash == std::string_view::npos) {
            if (!number(part, &from)) return bad("'" + std::string(part) + "' is not a page number");
            to = from;
        } else {
            const std::string_view a = part.substr(0, dash), b = part.substr(dash + 1);
            from = 1;
            to = pageCount;
            if ((!a.empty() && !number(a, &from)) || (!b.empty() && !number(b, &to)) || (a.empty() && b.empty()))
                return bad("'" + std::string(part) + "' is not a range");
        }
        if (from > to) return bad("'" + std::string(part) + "' runs backwards");
        if (from < 1 || to > pageCount) {
            if (error)
                *error = "page range '" + std::string(text) + "' goes outside the document's " +
                         std::to_string(pageCount) + " pages";
            return 0;
        }
        if (to - from + out.size() > 1000000) return bad("too many pages");
        for (int p = from; p <= to; ++p) out.push_back(p);
        at = comma + 1;
    }
    *pages = std::move(out);
    return 1;
}

}  // namespace tessaly::pdf
