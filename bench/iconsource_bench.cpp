// Counting and extracting the icons of a large icon library.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <string>
#include <vector>

#include "catalogue/iconsource.h"
#include "support/pebuilder.h"

namespace {

using gw::pefix::IconImage;
using gw::pefix::Rgba;

constexpr int kGroups = 400;

// A library of kGroups icon groups, each with 16, 24, 32, 48 and 64 pixel bitmaps and a 256
// pixel PNG; every fourth group lacks its 32 pixel image, so that one is scaled from 48.
class LibraryFile {
  public:
    LibraryFile() {
        dir_ = std::filesystem::temp_directory_path() / "gw-iconbench-XXXXXX";
        if (!mkdtemp(dir_.data())) std::abort();
        gw::pefix::ResourceBuilder b;
        for (int g = 0; g < kGroups; ++g) {
            // Soft bands and a round shape with a transparent outside, as icons tend to be.
            auto pixel = [g](int size) {
                return [g, size](int x, int y) {
                    const int u = x * 256 / size, v = y * 256 / size;
                    const bool inside = (u - 128) * (u - 128) + (v - 128) * (v - 128) < 120 * 120;
                    return Rgba{static_cast<std::uint8_t>(g * 7 + u / 16),
                                static_cast<std::uint8_t>(v / 16 * 16),
                                static_cast<std::uint8_t>(g),
                                static_cast<std::uint8_t>(inside ? 255 : 0)};
                };
            };
            std::vector<IconImage> images;
            for (int size : {16, 24, 32, 48, 64})
                if (size != 32 || g % 4 != 0)
                    images.push_back(gw::pefix::MakeDibIcon(size, size, 32, pixel(size)));
            images.push_back(gw::pefix::MakePngIcon(256, 256, pixel(256)));
            b.AddIconGroup(static_cast<std::uint32_t>(g + 1), images);
        }
        path_ = dir_ + "/library.dll";
        gw::pefix::WriteBytes(path_, b.BuildPe());
    }
    ~LibraryFile() { std::filesystem::remove_all(dir_); }
    const std::string& Path() const { return path_; }

  private:
    std::string dir_, path_;
};

const std::string& Library() {
    static const LibraryFile file;
    return file.Path();
}

void BM_CountIcons(benchmark::State& state) {
    const std::string& path = Library();
    for (auto _ : state) benchmark::DoNotOptimize(gw::CountIcons(path));
    state.counters["bytes"] = static_cast<double>(std::filesystem::file_size(path));
    state.counters["icons"] = gw::CountIcons(path);
}
BENCHMARK(BM_CountIcons)->Unit(benchmark::kMicrosecond);

// What the catalogue does with a file: open it once, every icon at 32 × 32 into one stream.
void BM_ExtractAllAt(benchmark::State& state) {
    const std::string& path = Library();
    const int size = static_cast<int>(state.range(0));
    std::vector<std::uint8_t> stream;
    for (auto _ : state) {
        gw::IconSource source;
        source.Open(path);
        int delivered = 0;
        for (int i = 0; i < source.Count(); ++i) delivered += source.Extract(i, size, size, stream);
        if (delivered != kGroups) state.SkipWithError("an icon was not delivered");
    }
    state.SetItemsProcessed(state.iterations() * kGroups);
}
BENCHMARK(BM_ExtractAllAt)->Arg(32)->Arg(16)->Arg(256)->Unit(benchmark::kMillisecond);

// What export does per icon and size: open the file again for every extraction.
void BM_ExtractIconImageReopening(benchmark::State& state) {
    const std::string& path = Library();
    std::vector<std::uint8_t> stream;
    int i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(gw::ExtractIconImage(path, i, 32, 32, stream));
        i = (i + 1) % kGroups;
    }
}
BENCHMARK(BM_ExtractIconImageReopening)->Unit(benchmark::kMicrosecond);

// What an icon export asks of one source: each icon at all nine sizes, five of them scaled from
// the 256 pixel PNG (and 72 from 64 where the group has it).
void BM_ExportSizesOfEachIcon(benchmark::State& state) {
    const std::string& path = Library();
    gw::RasterImage image;
    for (auto _ : state) {
        gw::IconSource source;
        source.Open(path);
        for (int i = 0; i < source.Count(); ++i)
            for (int size : {16, 24, 32, 48, 64, 72, 96, 128, 256})
                if (!source.ExtractImage(i, size, size, image))
                    state.SkipWithError("an icon was not delivered");
    }
    state.SetItemsProcessed(state.iterations() * kGroups);
}
BENCHMARK(BM_ExportSizesOfEachIcon)->Unit(benchmark::kMillisecond);

// The one-image icon stream of a 256 × 256 icon with alpha, written and read back.
void BM_IconStream256(benchmark::State& state) {
    gw::IconSource source;
    source.Open(Library());
    gw::RasterImage image;
    source.ExtractImage(1, 256, 256, image);
    std::vector<std::uint8_t> stream;
    for (auto _ : state) {
        benchmark::DoNotOptimize(gw::WriteIconStream(image, stream));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(stream.size()));
}
BENCHMARK(BM_IconStream256)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
