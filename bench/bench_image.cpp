// The image pipeline beside the libraries it is measured against: PNG
// decoding (ours vs libpng, same 2000 x 2000 RGB file) and JPEG encoding
// (our tables + abbreviated stream path vs one plain libjpeg compression).

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <jpeglib.h>
#ifdef TESSALY_BENCH_LIBPNG
#include <png.h>
#endif

#include "image/image.h"

namespace {

using tessaly::ByteBuffer;
using tessaly::Image;

constexpr uint32_t kSide = 2000;

// A photo-like picture: smooth gradients with some noise, so that the
// encoder picks a mix of row filters.
const std::vector<uint8_t>& picture() {
    static const std::vector<uint8_t> pixels = [] {
        std::vector<uint8_t> p(size_t(kSide) * kSide * 3);
        uint32_t seed = 12345;
        for (uint32_t y = 0; y < kSide; ++y) {
            for (uint32_t x = 0; x < kSide; ++x) {
                seed = seed * 1103515245u + 12345u;
                const uint32_t noise = (seed >> 16) & 7;
                uint8_t* q = &p[(size_t(y) * kSide + x) * 3];
                q[0] = uint8_t((x / 8 + y / 16 + noise) & 0xFF);
                q[1] = uint8_t(((x * y) >> 12) + noise);
                q[2] = uint8_t(128 + ((x - y) >> 4) + noise);
            }
        }
        return p;
    }();
    return pixels;
}

#ifdef TESSALY_BENCH_LIBPNG
// The test file, written once by libpng with every filter allowed.
const std::string& pngFile() {
    static const std::string path = [] {
        std::string p = "/tmp/tessaly_bench_image_" + std::to_string(::getpid()) + ".png";
        FILE* f = std::fopen(p.c_str(), "wb");
        png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
        png_infop info = png_create_info_struct(png);
        png_init_io(png, f);
        png_set_IHDR(png, info, kSide, kSide, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_set_filter(png, 0, PNG_ALL_FILTERS);
        png_write_info(png, info);
        for (uint32_t y = 0; y < kSide; ++y) {
            png_write_row(png, picture().data() + size_t(y) * kSide * 3);
        }
        png_write_end(png, info);
        png_destroy_write_struct(&png, &info);
        std::fclose(f);
        std::atexit([] { std::remove(pngFile().c_str()); });
        return p;
    }();
    return path;
}

void BM_PngDecodeOurs(benchmark::State& state) {
    const std::string& path = pngFile();
    for (auto _ : state) {
        Image image;
        if (image.load(path) != tessaly::kImageOk) state.SkipWithError("load failed");
        benchmark::DoNotOptimize(image.rgb());
    }
}
BENCHMARK(BM_PngDecodeOurs)->Unit(benchmark::kMillisecond);

void BM_PngDecodeLibpng(benchmark::State& state) {
    const std::string& path = pngFile();
    std::vector<uint8_t> rows(size_t(Image::rgbStrideFor(kSide)) * kSide);
    for (auto _ : state) {
        FILE* f = std::fopen(path.c_str(), "rb");
        png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
        png_infop info = png_create_info_struct(png);
        png_init_io(png, f);
        png_read_info(png, info);
        const uint32_t h = png_get_image_height(png, info);
        for (uint32_t y = 0; y < h; ++y) {
            png_read_row(png, rows.data() + size_t(y) * size_t(Image::rgbStrideFor(kSide)), nullptr);
        }
        png_read_end(png, nullptr);
        png_destroy_read_struct(&png, &info, nullptr);
        std::fclose(f);
        benchmark::DoNotOptimize(rows.data());
    }
}
BENCHMARK(BM_PngDecodeLibpng)->Unit(benchmark::kMillisecond);
#endif

Image& jpegSource() {
    static Image image = [] {
        Image i;
        if (!i.createRgb(kSide, kSide)) {
            std::fprintf(stderr, "benchmark set-up: cannot create a picture\n");
            std::exit(1);
        }
        for (uint32_t y = 0; y < kSide; ++y) {
            std::copy_n(picture().data() + size_t(y) * kSide * 3, kSide * 3, i.rgbRow(y));
        }
        return i;
    }();
    return image;
}

void BM_JpegEncodeOurs(benchmark::State& state) {
    Image& image = jpegSource();
    ByteBuffer tables, stream;
    for (auto _ : state) {
        if (!image.encodeJpeg(&tables, stream, 85)) state.SkipWithError("encode failed");
        benchmark::DoNotOptimize(stream.data());
    }
    state.counters["bytes"] = double(tables.size() + stream.size());
}
BENCHMARK(BM_JpegEncodeOurs)->Unit(benchmark::kMillisecond);

void BM_JpegEncodeLibjpeg(benchmark::State& state) {
    Image& image = jpegSource();
    unsigned long size = 0;
    for (auto _ : state) {
        jpeg_compress_struct cinfo{};
        jpeg_error_mgr err{};
        cinfo.err = jpeg_std_error(&err);
        jpeg_create_compress(&cinfo);
        unsigned char* out = nullptr;
        size = 0;
        jpeg_mem_dest(&cinfo, &out, &size);
        cinfo.image_width = kSide;
        cinfo.image_height = kSide;
        cinfo.input_components = 3;
        cinfo.in_color_space = JCS_RGB;
        jpeg_set_defaults(&cinfo);
        jpeg_set_quality(&cinfo, 85, TRUE);
        jpeg_start_compress(&cinfo, TRUE);
        for (uint32_t y = 0; y < kSide; ++y) {
            JSAMPROW row = image.rgbRow(y);
            jpeg_write_scanlines(&cinfo, &row, 1);
        }
        jpeg_finish_compress(&cinfo);
        jpeg_destroy_compress(&cinfo);
        benchmark::DoNotOptimize(out);
        std::free(out);
    }
    state.counters["bytes"] = double(size);
}
BENCHMARK(BM_JpegEncodeLibjpeg)->Unit(benchmark::kMillisecond);

}  // namespace
