#include "export/engine.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "base/fileio.h"
#include "base/paths.h"
#include "catalogue/iconsource.h"
#include "export/naming.h"
#include "i18n/ini.h"
#include "imagefile/bytereader.h"
#include "imagefile/formats/registry.h"
#include "imagefile/ico/reader.h"
#include "imagefile/ico/writer.h"
#include "imagefile/ops/resample.h"

namespace gw {

ExportRequest GatherEntries(const Catalogue& catalogue, bool all) {
    ExportRequest request;
    auto take = [&](int i) {
        const IconEntry& entry = catalogue.Entry(i);
        if (!FileExists(entry.SourcePath)) return;
        request.Files.push_back(entry.SourcePath);
        request.Indexes.push_back(std::to_string(entry.IconNumber > 0 ? entry.IconNumber - 1 : 0));
    };
    if (all) {
        for (int i = 0; i < catalogue.Count(); ++i) take(i);
    } else {
        for (int i : catalogue.Selection()) take(i);
    }
    return request;
}

std::vector<int> ChosenIconSizes(const std::string& size) {
    std::vector<int> sizes;
    for (std::size_t p = 0; p < size.size() && p < IconSizes.size(); ++p)
        if (size[p] == '1') sizes.push_back(IconSizes[p]);
    return sizes;
}

std::string ExportFolder(const std::string& savePath) {
    if (!savePath.empty() && savePath.back() == '/') return savePath;
    return savePath + "/";
}

namespace {

// Ends the progress display however the run ends.
class ProgressRun {
  public:
    ProgressRun(ExportProgress& progress, int total) : progress_(progress) {
        progress_.Begin(total);
    }
    ~ProgressRun() { progress_.End(); }
    ProgressRun(const ProgressRun&) = delete;
    ProgressRun& operator=(const ProgressRun&) = delete;

  private:
    ExportProgress& progress_;
};

bool HoldsImage(const ImageHolder& holder, ImageStatus status) {
    return status.ok() && !holder.Image.Empty();
}

// Writes one entry's file. A file that cannot be created ends the export with its message; a
// picture the format cannot hold is skipped.
void WriteEntry(const std::string& folder, const std::string& path, int index,
                const std::string& outputExtension, const WriteToName& write) {
    std::string name;
    const ImageStatus status =
        WriteUnderFreeName(folder, path, index, outputExtension, write, name);
    if (IsRaisedError(status)) throw FileError(ImageStatusText(status, name));
}

void DeclareAlphaDepth(ImageHolder& holder) {
    holder.Params.BitsPerChannel = 8;
    holder.Params.ChannelCount = 4;
}

// Icon `index` of the open source, rendered at width × height, into a fresh holder through the
// one-image icon stream. False, with the holder emptied again, when it cannot be had.
bool LoadRenderedIcon(IconSource& source, int index, int width, int height,
                      std::vector<std::uint8_t>& stream, ImageHolder& holder) {
    if (width > kMaxRenderSize || height > kMaxRenderSize) {
        // Larger than an icon stream can describe: rendered straight into the holder, as 32-bit
        // colour with alpha like the stream would give.
        SelectImageIndex(holder, 0);
        if (!source.ExtractImage(index, width, height, holder.Image)) {
            holder = ImageHolder{};
            return false;
        }
        holder.Params.ImageWidth = width;
        holder.Params.ImageHeight = height;
        DeclareAlphaDepth(holder);
        return true;
    }
    if (!source.Extract(index, width, height, stream)) return false;
    ByteReader reader(stream);
    SelectImageIndex(holder, 0);
    if (HoldsImage(holder, LoadImageStream(holder, reader))) return true;
    holder = ImageHolder{};
    return false;
}

// Working objects of one run, reused from entry to entry.
struct RunObjects {
    std::vector<int> sizes;
    std::vector<ImageHolder> holders;
    std::vector<std::uint8_t> stream;
    Rgb fill;
};

// Fills holders[0 .. count-1] with the entry's images, smallest size first, and returns count.
// Sizes that cannot be had are left out rather than written with another entry's image.
int PrepareIconEntry(const std::string& path, int index, const ExportOptions& options,
                     RunObjects& run) {
    for (ImageHolder& holder : run.holders) holder = ImageHolder{};
    const int n = static_cast<int>(run.sizes.size());
    if (n == 0) return 0;

    if (IsIconSourceFile(path)) {
        IconSource source;
        if (source.Open(path) != IconSourceError::None) return 0;
        int count = 0;
        for (int s : run.sizes) {
            ImageHolder& holder = run.holders[static_cast<std::size_t>(count)];
            if (!LoadRenderedIcon(source, index, s, s, run.stream, holder)) continue;
            if (HasAlpha(holder)) DeclareAlphaDepth(holder);
            ++count;
        }
        return count;
    }

    if (!IsKnownImageFile(path)) return 0;
    ImageHolder& loaded = run.holders[0];
    SelectImageIndex(loaded, 0);
    if (!HoldsImage(loaded, LoadImageFile(loaded, path))) return 0;
    // Done once on the loaded image: every copy would get exactly the same result.
    if (options.Transparent) {
        DeclareAlphaDepth(loaded);
        MakeBackgroundTransparent(loaded, run.fill);
    }
    // Largest first and slot 0 last, so every size is resized from the image as loaded.
    for (int k = n - 1; k >= 0; --k) {
        ImageHolder& holder = run.holders[static_cast<std::size_t>(k)];
        if (k > 0) {
            CopyFileParams(holder, loaded);
            Assign(holder, loaded);
        }
        const int s = run.sizes[static_cast<std::size_t>(k)];
        ResampleImage(holder, s, s, ResampleFilter::rfHermite);
        if (HasAlpha(holder)) DeclareAlphaDepth(holder);
    }
    return n;
}

// Loads the entry's picture at width × height into a fresh holder; false when there is none.
bool PreparePictureEntry(const std::string& path, int index, const ExportOptions& options,
                         RunObjects& run) {
    ImageHolder& holder = run.holders[0];
    holder = ImageHolder{};
    if (IsIconSourceFile(path)) {
        IconSource source;
        if (source.Open(path) != IconSourceError::None) return false;
        return LoadRenderedIcon(source, index, options.Width, options.Height, run.stream, holder);
    }
    if (!IsKnownImageFile(path) || options.Width < 1 || options.Height < 1) return false;
    if (!HoldsImage(holder, LoadImageFile(holder, path))) return false;
    ResampleImage(holder, options.Width, options.Height, ResampleFilter::rfHermite);
    return true;
}

}  // namespace

void ExportEntries(const ExportRequest& request, const ExportOptions& options,
                   ExportProgress& progress, const SystemColorResolver& resolver) {
    const std::string outputExtension = ExportExtension(options.Format);
    // Without an output format there is nothing to name the files by.
    if (outputExtension.empty()) return;

    const std::string folder = ExportFolder(options.SavePath);
    const bool iconPath = options.Format == kExportIco;

    RunObjects run;
    if (iconPath) {
        run.sizes = ChosenIconSizes(options.Size);
        run.holders.resize(run.sizes.size());
        if (options.Transparent) run.fill = ColorToTriple(options.GradualColor, resolver);
    } else {
        run.holders.resize(1);
    }

    const std::size_t total = request.Files.size();
    ProgressRun shown(progress, static_cast<int>(total));
    progress.Pump();
    progress.Wait(500);

    for (std::size_t i = 0; i < total; ++i) {
        progress.Step();
        progress.Pump();

        const std::string& path = request.Files[i];
        const std::string indexText = i < request.Indexes.size() ? request.Indexes[i] : "0";
        const int index = ParseIntegerText(indexText).value_or(0);

        if (iconPath) {
            const int count = PrepareIconEntry(path, index, options, run);
            if (count == 0) continue;
            WriteEntry(folder, path, index, outputExtension, [&](const std::string& name) {
                return WriteIconFile(name, std::span<ImageHolder>(run.holders), count - 1);
            });
        } else {
            if (!PreparePictureEntry(path, index, options, run)) continue;
            WriteEntry(folder, path, index, outputExtension, [&](const std::string& name) {
                return SaveImageFile(run.holders[0], name);
            });
        }
    }
}

}  // namespace gw
