// Reading and writing a nine-size 32-bit icon, and the palette entries' colour reduction.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <filesystem>
#include <vector>

#include "imagefile/ico/reader.h"
#include "imagefile/ico/writer.h"

namespace gw {
namespace {

constexpr int kSizes[] = {16, 24, 32, 48, 64, 72, 96, 128, 256};

ImageHolder Picture(int s, int channels, int bits) {
    ImageHolder h;
    h.Image.Allocate(s, s, PixelFormat::ie24RGB);
    h.Image.AddAlpha(255);
    for (int y = 0; y < s; ++y)
        for (int x = 0; x < s; ++x) {
            h.Image.SetPixelRgb(
                x, y,
                {static_cast<std::uint8_t>(x * 255 / s), static_cast<std::uint8_t>(y * 255 / s),
                 static_cast<std::uint8_t>((x ^ y) & 255)});
            int dx = 2 * x - s, dy = 2 * y - s;
            h.Image.AlphaRow(y)[x] = dx * dx + dy * dy < s * s ? 255 : 0;
        }
    h.Params.ChannelCount = channels;
    h.Params.BitsPerChannel = bits;
    return h;
}

std::vector<ImageHolder> NineSizes(int channels, int bits) {
    std::vector<ImageHolder> holders;
    for (int s : kSizes) holders.push_back(Picture(s, channels, bits));
    return holders;
}

void BM_EncodeNineSizes32(benchmark::State& state) {
    std::vector<ImageHolder> holders = NineSizes(4, 8);
    std::size_t bytes = 0;
    for (auto _ : state) {
        std::vector<std::uint8_t> out;
        EncodeIconFile(holders, 8, out);
        bytes = out.size();
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
}
BENCHMARK(BM_EncodeNineSizes32)->Unit(benchmark::kMicrosecond);

void BM_WriteIconFileNineSizes32(benchmark::State& state) {
    std::vector<ImageHolder> holders = NineSizes(4, 8);
    const std::string path = (std::filesystem::temp_directory_path() / "gw_ico_bench.ico").string();
    for (auto _ : state) {
        std::filesystem::remove(path);
        if (!WriteIconFile(path, holders, 8).ok()) state.SkipWithError("write failed");
    }
    std::filesystem::remove(path);
}
BENCHMARK(BM_WriteIconFileNineSizes32)->Unit(benchmark::kMicrosecond);

void BM_ReadNineSizes32(benchmark::State& state) {
    std::vector<ImageHolder> holders = NineSizes(4, 8);
    std::vector<std::uint8_t> file;
    EncodeIconFile(holders, 8, file);
    for (auto _ : state) {
        for (int k = 0; k < 9; ++k) {
            ImageHolder h;
            h.Params.ICO_ImageIndex = k;
            ByteReader stream(file);
            LoadImageStream(h, stream);
            benchmark::DoNotOptimize(h.Image.Pixels().data());
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * file.size()));
}
BENCHMARK(BM_ReadNineSizes32)->Unit(benchmark::kMicrosecond);

// Palette entries: every size reduced to 256 (NeuQuant) or 16 (median cut) colours.
void BM_EncodeNineSizesPalette(benchmark::State& state) {
    const int bits = static_cast<int>(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        std::vector<ImageHolder> holders = NineSizes(1, bits);
        state.ResumeTiming();
        std::vector<std::uint8_t> out;
        EncodeIconFile(holders, 8, out);
        benchmark::DoNotOptimize(out.data());
    }
}
BENCHMARK(BM_EncodeNineSizesPalette)->Arg(8)->Arg(4)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace gw

BENCHMARK_MAIN();
