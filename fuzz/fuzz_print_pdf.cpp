// PDF bytes on the whole printing road: the PDF front end opens them (with
// and without a password), plays the first pages into the real printer
// driver loaded by the spool host, each page on paper of its own size, at a
// low resolution so that an input runs fast; the job it writes is converted
// into a movie.
//
// Nothing may crash; a document that opens must print (a page may end early
// when the device refuses a drawing call, but the job must still end with
// every page it started) and its job must convert into a movie.
//
// The input is the PDF itself; its last byte also picks the knobs (a
// password, page images, the resolution, a small surface that makes the
// driver print in bands), so that the corpus stays a set of real PDFs.

#include <sanitizer/lsan_interface.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "pdf/pdf_document.h"
#include "platform/device_context.h"
#include "platform/gdi_engine_control.h"
#include "platform/spool_host.h"
#include "print_road.h"

using namespace tessaly;
using print_road::stop;

namespace {

// Pages played per input, and drawing operations per page: enough for the
// seeds' pages, small enough that every input stays fast.
constexpr int kPagesPlayed = 3;
constexpr uint64_t kOperationsPerPage = 20000;

// A paper side is at least one pixel at the resolution (a PDF page may be a
// point wide), as tessaly-print makes it.
int minimumTenths = 1;
int tenthsOfPoints(double pt) { return std::clamp(static_cast<int>(std::lround(pt / 72 * 254)), minimumTenths, 32767); }

void printPdf(const uint8_t* data, size_t size) {
    if (size == 0) return;
    const uint8_t knobs = data[size - 1];
    const std::span<const uint8_t> bytes(data, size);

    std::string error;
    pdf::PdfError kind = pdf::PdfError::None;
    std::optional<std::string> password;
    if (knobs & 1) password = (knobs & 2) ? "owner" : "secret";
    auto document = pdf::Document::openBytes(bytes, "fuzz.pdf", password, &error, &kind);
    if (!document && kind == pdf::PdfError::Encrypted && !password)
        document = pdf::Document::openBytes(bytes, "fuzz.pdf", std::string("secret"), &error, &kind);
    if (!document) {
        if (error.empty() || kind == pdf::PdfError::None) stop("a document that did not open has no error");
        return;
    }
    const int count = document->pageCount();
    if (count < 1) stop("an open document without pages");

    print_road::Scratch scratch;
    pdf::PageSize first = document->pageSize(1);
    if (first.widthPt <= 0) first = {612, 792};  // a first page that cannot be read
    SpoolOptions options;
    options.driverPath = print_road::driverPath();
    options.request.imagePages = (knobs & 0x0C) == 0x0C;
    static const int kDpi[] = {12, 18, 24, 36};
    options.request.dpi = kDpi[(knobs >> 4) & 3];
    minimumTenths = (254 + options.request.dpi - 1) / options.request.dpi;
    options.request.paperWidthTenths = std::min(tenthsOfPoints(first.widthPt), tenthsOfPoints(first.heightPt));
    options.request.paperLengthTenths = std::max(tenthsOfPoints(first.widthPt), tenthsOfPoints(first.heightPt));
    options.request.orientation = first.widthPt > first.heightPt ? DMORIENT_LANDSCAPE : DMORIENT_PORTRAIT;
    // Sometimes a surface of a few rows, so that the pages are played in bands.
    gdi::setSurfaceByteLimit((knobs & 0xC0) == 0xC0 ? 65536 : 0);

    int pages = 0;
    {
        SpoolHost host;
        if (!host.open(options, &error)) stop("the spool host failed: " + error);
        gdi::DeviceContext& dc = host.context();
        if (!dc.startDoc(u"fuzz.pdf", 1)) stop(dc.errorText());
        int paperWidth = tenthsOfPoints(first.widthPt), paperLength = tenthsOfPoints(first.heightPt);
        pdf::PlayOptions play;
        play.maxOperations = kOperationsPerPage;
        for (int page = 1; page <= std::min(count, kPagesPlayed); ++page) {
            const pdf::PageSize pageSize = document->pageSize(page);
            const int width = tenthsOfPoints(pageSize.widthPt), length = tenthsOfPoints(pageSize.heightPt);
            // A page that cannot be read has no size: it is played blank on
            // the paper there is.
            const bool sized = pageSize.widthPt > 0 && pageSize.heightPt > 0;
            if (sized && (std::abs(width - paperWidth) > 5 || std::abs(length - paperLength) > 5)) {
                if (!host.resetPaper(width, length, &error)) stop("the paper reset failed: " + error);
                paperWidth = width;
                paperLength = length;
            }
            if (!document->playPage(page, host.device(), dc, &error, play, &kind) &&
                kind != pdf::PdfError::Drawing)
                stop("page " + std::to_string(page) + " failed: " + error);
            ++pages;
        }
        if (!dc.endDoc()) stop("endDoc failed: " + dc.errorText());
        host.close();
    }
    gdi::setSurfaceByteLimit(0);
    document.reset();
    scratch.checkJob(pages);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    printPdf(data, size);
    return 0;
}

// A page of text printed before the run, out of the leak checker's sight:
// fontconfig and poppler's global parameters keep memory of their
// configuration once per process, which is no leak of an input.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    static const char kWarmUp[] =
        "%PDF-1.4\n"
        "1 0 obj << /Type /Catalog /Pages 2 0 R >> endobj\n"
        "2 0 obj << /Type /Pages /Kids [3 0 R] /Count 1 >> endobj\n"
        "3 0 obj << /Type /Page /Parent 2 0 R /MediaBox [0 0 100 50] /Contents 4 0 R\n"
        "/Resources << /Font << /F1 << /Type /Font /Subtype /Type1 /BaseFont /Helvetica >> >> >> >> endobj\n"
        "4 0 obj << /Length 40 >> stream\n"
        "BT /F1 12 Tf 10 20 Td (Warm up) Tj ET\n"
        "endstream endobj\n"
        "trailer << /Root 1 0 R >>\n"
        "%%EOF\n";
    __lsan::ScopedDisabler unchecked;
    printPdf(reinterpret_cast<const uint8_t*>(kWarmUp), sizeof kWarmUp - 1);
    return 0;
}
