// JPEG encoding through libjpeg: a tables-only stream and an abbreviated
// image stream that relies on it, as the SWF JPEG bitmap tags carry them.

#include <csetjmp>
#include <cstdio>

// jpeglib.h needs size_t and FILE declared before it.
#include <jerror.h>
#include <jpeglib.h>

#include <algorithm>

#include "image/image.h"

namespace tessaly {

namespace {

constexpr size_t kBlockSize = 4096;

// Errors jump back to the encoder instead of ending the process.
struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

[[noreturn]] void errorExit(j_common_ptr cinfo) {
    std::longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1);
}

void outputMessage(j_common_ptr) {}

// Collects output in a 4096-byte block from libjpeg's pool and appends each
// full block, and the used part at the end, to the current sink (or drops
// it when there is none).
struct Destination {
    jpeg_destination_mgr pub;
    ByteBuffer* sink;
    JOCTET* block;
};

void flush(j_compress_ptr cinfo, size_t n) {
    auto* dest = reinterpret_cast<Destination*>(cinfo->dest);
    if (dest->sink && n && !dest->sink->write(dest->block, uint32_t(n))) {
        ERREXIT(cinfo, JERR_FILE_WRITE);
    }
}

void initDestination(j_compress_ptr cinfo) {
    auto* dest = reinterpret_cast<Destination*>(cinfo->dest);
    if (!dest->block) {
        dest->block = static_cast<JOCTET*>(
            (*cinfo->mem->alloc_small)(j_common_ptr(cinfo), JPOOL_PERMANENT, kBlockSize));
    }
    dest->pub.next_output_byte = dest->block;
    dest->pub.free_in_buffer = kBlockSize;
}

boolean emptyOutputBuffer(j_compress_ptr cinfo) {
    auto* dest = reinterpret_cast<Destination*>(cinfo->dest);
    flush(cinfo, kBlockSize);
    dest->pub.next_output_byte = dest->block;
    dest->pub.free_in_buffer = kBlockSize;
    return TRUE;
}

void termDestination(j_compress_ptr cinfo) {
    auto* dest = reinterpret_cast<Destination*>(cinfo->dest);
    flush(cinfo, kBlockSize - dest->pub.free_in_buffer);
}

struct Job {
    const uint8_t* first;  // the region's first pixel
    size_t stride;
    uint32_t width, height;
    int quality;
    ByteBuffer* tables;
    ByteBuffer* image;
};

// Everything between setjmp and the last libjpeg call lives here, with only
// plain C objects in scope, so a longjmp skips no destructor.
bool compress(jpeg_compress_struct& cinfo, ErrorManager& err, Destination& dest, const Job& job) {
    if (setjmp(err.jump)) return false;
    jpeg_create_compress(&cinfo);
    cinfo.dest = &dest.pub;
    cinfo.image_width = job.width;
    cinfo.image_height = job.height;
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    cinfo.smoothing_factor = 0;
    jpeg_set_quality(&cinfo, job.quality, TRUE);

    dest.sink = job.tables;
    jpeg_write_tables(&cinfo);  // marks every table as sent

    dest.sink = job.image;
    jpeg_start_compress(&cinfo, FALSE);
    for (uint32_t y = 0; y < job.height; ++y) {
        JSAMPROW row = const_cast<JSAMPROW>(job.first + size_t(y) * job.stride);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    return true;
}

bool runJob(const Job& job) {
    jpeg_compress_struct cinfo{};
    ErrorManager err{};
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = errorExit;
    err.pub.output_message = outputMessage;
    Destination dest{};
    dest.pub.init_destination = initDestination;
    dest.pub.empty_output_buffer = emptyOutputBuffer;
    dest.pub.term_destination = termDestination;
    const bool ok = compress(cinfo, err, dest, job);
    jpeg_destroy_compress(&cinfo);
    return ok;
}

}  // namespace

bool Image::encodeJpeg(ByteBuffer* tables, ByteBuffer& image, const ImageRect& rect, int quality) {
    if (tables) tables->truncate(0);
    image.truncate(0);
    ImageRegion r;
    if (empty() || !expandToRgb() || !clipRect(rect, r)) return false;
    Job job{rgbRow(r.y) + size_t(r.x) * 3, size_t(rgbStride()), r.w, r.h,
            std::clamp(quality, 0, 100), tables, &image};
    return runJob(job);
}

bool Image::encodeJpeg(ByteBuffer* tables, ByteBuffer& image, int quality) {
    return encodeJpeg(tables, image, {0, 0, width_, height_}, quality);
}

bool Image::encodeJpegTables(ByteBuffer& tables, int quality) {
    tables.truncate(0);
    static const uint8_t kBlank[8 * 8 * 3] = {};
    Job job{kBlank, 8 * 3, 8, 8, std::clamp(quality, 0, 100), &tables, nullptr};
    return runJob(job);
}

}  // namespace tessaly
