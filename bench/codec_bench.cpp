// Decoding and encoding a 4000 × 3000 picture with the library-backed codecs and BMP.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "imagefile/formats/codec.h"
#include "imagefile/raster.h"

namespace gw {
namespace {

constexpr int kWidth = 4000;
constexpr int kHeight = 3000;

// A photograph-like picture: smooth gradients with a little deterministic noise.
const ImageHolder& Source() {
    static const ImageHolder holder = [] {
        ImageHolder h;
        h.Image.Allocate(kWidth, kHeight, PixelFormat::ie24RGB);
        std::uint32_t seed = 12345;
        for (int y = 0; y < kHeight; ++y) {
            std::uint8_t* row = h.Image.Row(y);
            for (int x = 0; x < kWidth; ++x) {
                seed = seed * 1664525u + 1013904223u;
                const int noise = static_cast<int>(seed >> 29) - 4;
                auto clamp = [](int v) {
                    return static_cast<std::uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
                };
                row[3 * x + 0] = clamp(x * 255 / kWidth + noise);
                row[3 * x + 1] = clamp(y * 255 / kHeight + noise);
                row[3 * x + 2] = clamp(((x + y) / 31) % 256 + noise);
            }
        }
        return h;
    }();
    return holder;
}

const FormatCodec* CodecFor(int index) {
    switch (index) {
        case 0:
            return &kPngCodec;
        case 1:
            return &kJpegCodec;
        case 2:
            return &kBmpCodec;
        default:
            return &kTiffCodec;
    }
}

const char* NameFor(int index) {
    static const char* const kNames[] = {"PNG", "JPEG", "BMP", "TIFF"};
    return kNames[index];
}

const std::vector<std::uint8_t>& Encoded(int index) {
    static std::vector<std::uint8_t> files[4];
    if (files[index].empty()) {
        ImageHolder h = Source();
        CodecFor(index)->Write(h, files[index]);
    }
    return files[index];
}

void BM_Encode(benchmark::State& state) {
    const int index = static_cast<int>(state.range(0));
    const FormatCodec* codec = CodecFor(index);
    state.SetLabel(NameFor(index));
    if (!codec->Write) {
        state.SkipWithError("no writer");
        return;
    }
    ImageHolder h = Source();
    std::size_t bytes = 0;
    for (auto _ : state) {
        std::vector<std::uint8_t> out;
        if (codec->Write(h, out) != ImageError::None) state.SkipWithError("write failed");
        bytes = out.size();
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["file_MB"] = static_cast<double>(bytes) / 1e6;
}

void BM_Decode(benchmark::State& state) {
    const int index = static_cast<int>(state.range(0));
    const FormatCodec* codec = CodecFor(index);
    state.SetLabel(NameFor(index));
    if (!codec->Read || !codec->Write) {
        state.SkipWithError("no codec");
        return;
    }
    const std::vector<std::uint8_t>& file = Encoded(index);
    ReadOptions options;
    options.DisplaySizeHint = static_cast<int>(state.range(1));
    for (auto _ : state) {
        ImageHolder h;
        if (codec->Read(h, file, options) != ImageError::None) state.SkipWithError("read failed");
        benchmark::DoNotOptimize(h.Image.Pixels().data());
    }
}

BENCHMARK(BM_Encode)->DenseRange(0, 3)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_Decode)
    ->ArgsProduct({{0, 1, 2, 3}, {0}})
    ->Args({1, 80})  // a grid thumbnail: JPEG decodes at 1/8 scale
    ->Unit(benchmark::kMillisecond)
    ->MinTime(1.0);

}  // namespace
}  // namespace gw

BENCHMARK_MAIN();
