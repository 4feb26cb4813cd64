// Opening a folder of 100 photos of 12 megapixels into the catalogue, against vipsthumbnail
// making 80-pixel thumbnails of the same files. Peak memory is reported as a counter.
//   GW_PHOTO_DIR=folder   use these photos instead of generated ones

#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "catalogue/opening.h"
#include "imagefile/formats/registry.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

// A photo-like 4000 × 3000 picture: smooth gradients with some texture, so JPEG has work to do.
std::string PhotoFolder() {
    if (const char* dir = std::getenv("GW_PHOTO_DIR")) return dir;
    static const std::string folder = [] {
        const fs::path dir = fs::temp_directory_path() / "gw_bench_photos";
        if (fs::exists(dir / "photo_099.jpg")) return dir.string();
        fs::create_directories(dir);
        gw::ImageHolder h;
        h.Image.Allocate(4000, 3000, gw::PixelFormat::ie24RGB);
        for (int i = 0; i < 100; ++i) {
            for (int y = 0; y < 3000; ++y) {
                std::uint8_t* row = h.Image.Row(y);
                for (int x = 0; x < 4000; ++x) {
                    row[3 * x] = static_cast<std::uint8_t>((x / 16 + i * 7) ^ (y / 16));
                    row[3 * x + 1] = static_cast<std::uint8_t>(y * 255 / 3000);
                    row[3 * x + 2] =
                        static_cast<std::uint8_t>((x * 255 / 4000 + ((x * y + i) & 15)));
                }
            }
            char name[32];
            std::snprintf(name, sizeof name, "photo_%03d.jpg", i);
            if (!gw::SaveImageFile(h, (dir / name).string()).ok()) std::abort();
        }
        return dir.string();
    }();
    return folder;
}

double PeakRssMb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

void BM_OpenFolderOfPhotos(benchmark::State& state) {
    const std::string folder = PhotoFolder();
    std::size_t entries = 0;
    for (auto _ : state) {
        gw::Catalogue catalogue;
        for (const std::string& path : gw::ListSourceFiles(folder))
            gw::AddSourceFile(catalogue, path);
        entries = static_cast<std::size_t>(catalogue.Count());
        benchmark::DoNotOptimize(entries);
    }
    state.counters["entries"] = static_cast<double>(entries);
    state.counters["peak_rss_MB"] = PeakRssMb();
}
BENCHMARK(BM_OpenFolderOfPhotos)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

void BM_VipsThumbnailSameFiles(benchmark::State& state) {
    const std::string folder = PhotoFolder();
    const fs::path out = fs::temp_directory_path() / "gw_bench_vips";
    fs::create_directories(out);
    std::vector<std::string> args{"vipsthumbnail", "--size", "80", "-o", (out / "%s.jpg").string()};
    for (const std::string& path : gw::ListSourceFiles(folder)) args.push_back(path);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    for (auto _ : state) {
        pid_t pid;
        if (posix_spawnp(&pid, "vipsthumbnail", nullptr, nullptr, argv.data(), environ) != 0) {
            state.SkipWithError("vipsthumbnail is not installed (Debian package libvips-tools)");
            return;
        }
        int status = 0;
        waitpid(pid, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError("vipsthumbnail failed");
            return;
        }
    }
    rusage children{};
    getrusage(RUSAGE_CHILDREN, &children);
    state.counters["child_peak_rss_MB"] = static_cast<double>(children.ru_maxrss) / 1024.0;
}
BENCHMARK(BM_VipsThumbnailSameFiles)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
