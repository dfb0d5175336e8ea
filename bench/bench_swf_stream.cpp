// Throughput of the SWF stream's bit writer, byte writes and tag framing.

#include <benchmark/benchmark.h>

#include <cstdint>

#include "support/byte_buffer.h"
#include "swf/swf_stream.h"

namespace {

using tessaly::ByteBuffer;
using tessaly::SwfStream;

// One million bit fields of widths 1 to 20, as shape records use them.
void BM_WriteBitsMixed(benchmark::State& state) {
    for (auto _ : state) {
        SwfStream s;
        if (!s.open(32768, 32768, 2.0f)) {
            state.SkipWithError("out of memory");
            break;
        }
        uint32_t v = 12345;
        for (int i = 0; i < 1000000; ++i) {
            v = v * 1103515245u + 12345u;
            s.writeBits(v, unsigned(i % 20) + 1);
        }
        s.flushBits();
        benchmark::DoNotOptimize(s.data());
    }
    state.SetItemsProcessed(state.iterations() * 1000000);
}
BENCHMARK(BM_WriteBitsMixed)->Unit(benchmark::kMillisecond);

// Small writes into a buffer that doubles its increment: u8, u16, u32.
void BM_ByteBufferSmallWrites(benchmark::State& state) {
    for (auto _ : state) {
        ByteBuffer b(32768, 32768, 2.0f);
        if (!b.allocate()) {
            state.SkipWithError("out of memory");
            break;
        }
        for (uint32_t i = 0; i < 1000000; ++i) {
            b.writeU8(uint8_t(i));
            b.writeU16(uint16_t(i));
            b.writeU32(i);
        }
        benchmark::DoNotOptimize(b.data());
    }
    state.SetBytesProcessed(state.iterations() * 7000000);
}
BENCHMARK(BM_ByteBufferSmallWrites)->Unit(benchmark::kMillisecond);

// Growth from empty with a fixed increment (factor 1.0) against doubling.
void BM_ByteBufferGrowth(benchmark::State& state) {
    const float factor = state.range(0) ? 2.0f : 1.0f;
    uint8_t block[256] = {};
    for (auto _ : state) {
        ByteBuffer b(32768, 32768, factor);
        if (!b.allocate()) {
            state.SkipWithError("out of memory");
            break;
        }
        for (int i = 0; i < 64 * 1024; ++i) b.write(block, sizeof block);  // 16 MiB
        benchmark::DoNotOptimize(b.data());
    }
    state.SetBytesProcessed(state.iterations() * 64 * 1024 * 256);
}
BENCHMARK(BM_ByteBufferGrowth)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// Many small framed tags (short headers, body moved back 4 bytes) and some long ones.
void BM_TagFraming(benchmark::State& state) {
    const uint32_t body = uint32_t(state.range(0));
    for (auto _ : state) {
        SwfStream s;
        if (!s.open(32768, 32768, 2.0f)) {
            state.SkipWithError("out of memory");
            break;
        }
        for (int i = 0; i < 100000; ++i) {
            s.beginTag(tessaly::SwfTag::DefineShape);
            for (uint32_t k = 0; k < body; k += 4) s.writeU32(k);
            s.endTag();
        }
        benchmark::DoNotOptimize(s.data());
    }
    state.SetItemsProcessed(state.iterations() * 100000);
}
BENCHMARK(BM_TagFraming)->Arg(8)->Arg(60)->Arg(200)->Unit(benchmark::kMillisecond);

// Placement tags with a matrix, as every frame of a page writes them.
void BM_PlaceObjects(benchmark::State& state) {
    tessaly::SwfMatrix m;
    m.scaleX = 0x18000;
    m.translateX = 1200;
    m.translateY = -340;
    for (auto _ : state) {
        SwfStream s;
        if (!s.open(32768, 32768, 2.0f)) {
            state.SkipWithError("out of memory");
            break;
        }
        for (uint32_t i = 0; i < 100000; ++i) {
            tessaly::PlaceObjectRecord place;
            place.flags = tessaly::place_flag::kHasId | tessaly::place_flag::kHasMatrix;
            place.depth = place.characterId = i % 65000;
            place.matrix = &m;
            s.writePlace(place);
        }
        benchmark::DoNotOptimize(s.data());
    }
    state.SetItemsProcessed(state.iterations() * 100000);
}
BENCHMARK(BM_PlaceObjects)->Unit(benchmark::kMillisecond);

}  // namespace
