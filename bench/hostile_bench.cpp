// Time spent on small hostile files: each through detection and loading, and listing a library
// whose icon groups all name one damaged image (what `list` does: every group at 32 pixels).
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "catalogue/iconsource.h"
#include "imagefile/bytereader.h"
#include "imagefile/formats/registry.h"
#include "support/hostile_files.h"
#include "support/pebuilder.h"

namespace {

void BM_HostileFile(benchmark::State& state, const gw::test::HostileFile& file) {
    for (auto _ : state) {
        gw::ImageHolder holder;
        benchmark::DoNotOptimize(gw::LoadPictureFromStream(holder, gw::ByteReader(file.Bytes)));
    }
    state.counters["bytes"] = static_cast<double>(file.Bytes.size());
}

void BM_ListLibraryOfOneDamagedPng(benchmark::State& state) {
    std::string dir = (std::filesystem::temp_directory_path() / "gw-hostile-XXXXXX").string();
    if (!mkdtemp(dir.data())) std::abort();
    const std::string path = dir + "/damaged.dll";
    const auto bytes = gw::test::LibraryOfOneDamagedPng();
    gw::pefix::WriteBytes(path, bytes);
    for (auto _ : state) {
        gw::IconSource source;
        if (source.Open(path) != gw::IconSourceError::None) std::abort();
        for (int i = 0; i < source.Count(); ++i) {
            gw::RasterImage image;
            benchmark::DoNotOptimize(source.ExtractImage(i, 32, 32, image));
        }
    }
    state.counters["bytes"] = static_cast<double>(bytes.size());
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_ListLibraryOfOneDamagedPng)->Unit(benchmark::kMillisecond)->Iterations(1);

[[maybe_unused]] const int kRegistered = [] {
    static const auto files = gw::test::HostileFiles();
    for (const auto& f : files)
        benchmark::RegisterBenchmark(("BM_HostileFile/" + f.Name).c_str(), BM_HostileFile, f)
            ->Unit(benchmark::kMillisecond);
    return 0;
}();

}  // namespace

BENCHMARK_MAIN();
