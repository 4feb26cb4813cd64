// Resampling speed on a photo-sized picture: the filters the program uses, one thread and two.
// Compare with bench/pillow_resize.py (Pillow's BILINEAR resize, same support and tap count).

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "imagefile/ops/resample.h"
#include "imagefile/raster.h"

namespace {

gw::RasterImage MakeSource(bool alpha) {
    gw::RasterImage img;
    img.Allocate(4000, 3000, gw::PixelFormat::ie24RGB);
    std::mt19937 rng(1);
    for (auto& b : img.Pixels()) b = static_cast<std::uint8_t>(rng());
    if (alpha) {
        img.AddAlpha();
        for (auto& a : img.Alpha()) a = static_cast<std::uint8_t>(rng());
    }
    return img;
}

const gw::RasterImage& Source(bool alpha) {
    static const gw::RasterImage opaque = MakeSource(false);
    static const gw::RasterImage translucent = MakeSource(true);
    return alpha ? translucent : opaque;
}

void Resample(benchmark::State& state, gw::ResampleFilter filter, bool alpha) {
    const gw::RasterImage& src = Source(alpha);
    const int w = static_cast<int>(state.range(0));
    const int h = static_cast<int>(state.range(1));
    gw::ResampleOptions options;
    options.Threads = static_cast<int>(state.range(2));
    for (auto _ : state) {
        gw::RasterImage out = gw::ResampleRaster(src, w, h, filter, options);
        benchmark::DoNotOptimize(out.Pixels().data());
    }
    state.SetItemsProcessed(state.iterations() * std::int64_t{src.Width()} * src.Height());
}

void Args(benchmark::internal::Benchmark* b) {
    b->ArgNames({"w", "h", "threads"});
    for (int threads : {1, 2}) {
        b->Args({1000, 750, threads});
        b->Args({256, 256, threads});
    }
    b->Unit(benchmark::kMillisecond)->UseRealTime();
    // The machine may be shared: the fastest run shows the code, the median the usual case.
    b->ComputeStatistics(
        "min", [](const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); });
}

void BM_Hermite(benchmark::State& state) {
    Resample(state, gw::ResampleFilter::rfHermite, false);
}
void BM_HermiteAlpha(benchmark::State& state) {
    Resample(state, gw::ResampleFilter::rfHermite, true);
}
void BM_FastLinear(benchmark::State& state) {
    Resample(state, gw::ResampleFilter::rfFastLinear, false);
}

BENCHMARK(BM_Hermite)->Apply(Args);
BENCHMARK(BM_HermiteAlpha)->Apply(Args);
BENCHMARK(BM_FastLinear)->Args({1000, 750, 1})->Args({256, 256, 1})->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
