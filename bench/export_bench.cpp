// Whole export runs: executables to multi-size icon files, large pictures to icons and to PNG.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "export/engine.h"
#include "imagefile/formats/registry.h"
#include "support/pebuilder.h"

namespace {

namespace fs = std::filesystem;
using gw::pefix::IconImage;
using gw::pefix::Rgba;

constexpr int kExecutables = 50;
constexpr int kPictures = 20;

// The pause and the window are not what is measured.
class SilentProgress : public gw::ExportProgress {
  public:
    void Begin(int) override {}
    void Step() override {}
    void Pump() override {}
    void Wait(int) override {}
    void End() override {}
};

// kExecutables executables, each with one icon group of all nine sizes (256 as PNG), and
// kPictures JPEG photos of 2000 × 1500.
class Sources {
  public:
    Sources() {
        root_ = fs::temp_directory_path() / "gw-exportbench-XXXXXX";
        if (!mkdtemp(root_.data())) std::abort();
        for (int e = 0; e < kExecutables; ++e) {
            auto pixel = [e](int size) {
                return [e, size](int x, int y) {
                    const int u = x * 256 / size, v = y * 256 / size;
                    const bool inside = (u - 128) * (u - 128) + (v - 128) * (v - 128) < 120 * 120;
                    return Rgba{static_cast<std::uint8_t>(e * 5 + u / 16),
                                static_cast<std::uint8_t>(v / 16 * 16),
                                static_cast<std::uint8_t>(e),
                                static_cast<std::uint8_t>(inside ? 255 : 0)};
                };
            };
            std::vector<IconImage> images;
            for (int size : gw::IconSizes)
                images.push_back(size == 256 ? gw::pefix::MakePngIcon(size, size, pixel(size))
                                             : gw::pefix::MakeDibIcon(size, size, 32, pixel(size)));
            gw::pefix::ResourceBuilder b;
            b.AddIconGroup(1, images);
            const std::string path = root_ + "/tool" + std::to_string(e) + ".exe";
            gw::pefix::WriteBytes(path, b.BuildPe());
            executables_.Files.push_back(path);
            executables_.Indexes.push_back("0");
        }
        for (int p = 0; p < kPictures; ++p) {
            gw::ImageHolder holder;
            holder.Image.Allocate(2000, 1500, gw::PixelFormat::ie24RGB);
            for (int y = 0; y < 1500; ++y)
                for (int x = 0; x < 2000; ++x) {
                    const bool shape = (x - 1000) * (x - 1000) + (y - 750) * (y - 750) < 600 * 600;
                    holder.Image.SetPixelRgb(x, y,
                                             shape ? gw::Rgb{static_cast<std::uint8_t>(x / 8),
                                                             static_cast<std::uint8_t>(y / 6),
                                                             static_cast<std::uint8_t>(p * 12)}
                                                   : gw::Rgb{255, 255, 255});
                }
            const std::string path = root_ + "/photo" + std::to_string(p) + ".jpg";
            if (!gw::SaveImageFile(holder, path).ok()) std::abort();
            pictures_.Files.push_back(path);
            pictures_.Indexes.push_back("0");
        }
    }
    ~Sources() { fs::remove_all(root_); }

    const gw::ExportRequest& Executables() const { return executables_; }
    const gw::ExportRequest& Pictures() const { return pictures_; }
    // An empty output folder.
    std::string FreshOutput() const {
        const std::string out = root_ + "/out";
        fs::remove_all(out);
        fs::create_directories(out);
        return out;
    }

  private:
    std::string root_;
    gw::ExportRequest executables_, pictures_;
};

const Sources& Fixture() {
    static const Sources sources;
    return sources;
}

void Run(benchmark::State& state, const gw::ExportRequest& request, gw::ExportOptions options) {
    SilentProgress progress;
    for (auto _ : state) {
        state.PauseTiming();
        options.SavePath = Fixture().FreshOutput();
        state.ResumeTiming();
        gw::ExportEntries(request, options, progress);
    }
    state.counters["entries/s"] = benchmark::Counter(static_cast<double>(request.Files.size()),
                                                     benchmark::Counter::kIsIterationInvariantRate);
}

void BM_ExecutablesToIcoAllSizes(benchmark::State& state) {
    gw::ExportOptions options;
    options.Format = gw::kExportIco;
    options.Size = "111111111";
    Run(state, Fixture().Executables(), options);
}
BENCHMARK(BM_ExecutablesToIcoAllSizes)->Unit(benchmark::kMillisecond);

void BM_PicturesToIco(benchmark::State& state) {
    gw::ExportOptions options;
    options.Format = gw::kExportIco;
    options.Size = "101100001";  // 16, 32, 48, 256
    options.Transparent = state.range(0) != 0;
    Run(state, Fixture().Pictures(), options);
}
BENCHMARK(BM_PicturesToIco)->ArgName("transparent")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_PicturesToPng256(benchmark::State& state) {
    gw::ExportOptions options;
    options.Format = gw::kExportPng;
    options.Width = 256;
    options.Height = 256;
    Run(state, Fixture().Pictures(), options);
}
BENCHMARK(BM_PicturesToPng256)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
