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

// Icon `index` of the open source, rendered at width × height, into the holder through the
// one-image icon stream. False, with the holder's image cleared, when it cannot be had.
bool LoadRenderedIcon(IconSource& source, int index, int width, int height,
                      std::vector<std::uint8_t>& stream, ImageHolder& holder) {
    ClearHolderImage(holder);
    SelectImageIndex(holder, 0);
    if (width > kMaxRenderSize || height > kMaxRenderSize) {
        // Larger than an icon stream can describe: rendered straight into the holder, as 32-bit
        // colour with alpha like the stream would give.
        if (!source.ExtractImage(index, width, height, holder.Image)) {
            ClearHolderImage(holder);
            return false;
        }
        holder.Params.ImageWidth = width;
        holder.Params.ImageHeight = height;
        DeclareAlphaDepth(holder);
        return true;
    }
    if (!source.Extract(index, width, height, stream)) return false;
    ByteReader reader(stream);
    if (HoldsImage(holder, LoadImageStream(holder, reader))) return true;
    ClearHolderImage(holder);
    return false;
}

// An image file's first image, made transparent when asked; false when it cannot be decoded.
bool LoadEntryPicture(const std::string& path, const IconSteps& steps, ImageHolder& holder) {
    ClearHolderImage(holder);
    SelectImageIndex(holder, 0);
    if (!HoldsImage(holder, LoadImageFile(holder, path))) {
        ClearHolderImage(holder);
        return false;
    }
    if (steps.Transparent) {
        DeclareAlphaDepth(holder);
        MakeBackgroundTransparent(holder, steps.Fill);
    }
    return true;
}

// The size step of a loaded picture; an image with alpha is declared as 32-bit colour.
void ResizeToIcon(ImageHolder& holder, int size, ResampleFilter filter) {
    ResampleImage(holder, size, size, filter);
    if (HasAlpha(holder)) DeclareAlphaDepth(holder);
}

// Working objects of one run. The holders are reused from entry to entry, so writer settings
// that one write changes stay for the next; their images never outlive their entry.
struct RunObjects {
    std::vector<int> sizes;
    std::vector<ImageHolder> holders;
    std::vector<bool> present;  // holder k holds this entry's image
    std::vector<std::uint8_t> stream;
    IconSteps steps;
};

// Fills holder k with size k of the entry's icon and returns how many sizes could be had.
int PrepareIconEntry(const std::string& path, int index, RunObjects& run) {
    const std::size_t n = run.sizes.size();
    run.present.assign(n, false);
    for (ImageHolder& holder : run.holders) ClearHolderImage(holder);
    if (n == 0) return 0;

    int count = 0;
    if (IsIconSourceFile(path)) {
        IconSource source;
        if (source.Open(path) != IconSourceError::None) return 0;
        for (std::size_t k = 0; k < n; ++k) {
            ImageHolder& holder = run.holders[k];
            if (!LoadRenderedIcon(source, index, run.sizes[k], run.sizes[k], run.stream, holder))
                continue;
            if (HasAlpha(holder)) DeclareAlphaDepth(holder);
            run.present[k] = true;
            ++count;
        }
        return count;
    }

    if (!IsKnownImageFile(path)) return 0;
    ImageHolder& loaded = run.holders[0];
    // Transparency is done once on the loaded image: every copy would get the same result.
    if (!LoadEntryPicture(path, run.steps, loaded)) return 0;
    // Largest first and slot 0 last, so every size is resized from the image as loaded.
    for (std::size_t k = n; k-- > 0;) {
        ImageHolder& holder = run.holders[k];
        if (k > 0) {
            CopyFileParams(holder, loaded);
            Assign(holder, loaded);
        }
        ResizeToIcon(holder, run.sizes[k], run.steps.Filter);
        run.present[k] = true;
    }
    return static_cast<int>(n);
}

// Writes the sizes the entry has; a size that could not be had is left out rather than filled
// with another entry's image.
ImageStatus WriteIconEntry(const std::string& name, RunObjects& run, int count) {
    if (count == static_cast<int>(run.holders.size()))
        return WriteIconFile(name, std::span<ImageHolder>(run.holders), count - 1);
    std::vector<ImageHolder> present;
    for (std::size_t k = 0; k < run.holders.size(); ++k)
        if (run.present[k]) present.push_back(run.holders[k]);
    return WriteIconFile(name, std::span<ImageHolder>(present), count - 1);
}

// Loads the entry's picture at width × height into the run's holder; false when there is none.
bool PreparePictureEntry(const std::string& path, int index, const ExportOptions& options,
                         RunObjects& run) {
    ImageHolder& holder = run.holders[0];
    ClearHolderImage(holder);
    if (IsIconSourceFile(path)) {
        IconSource source;
        if (source.Open(path) != IconSourceError::None) return false;
        return LoadRenderedIcon(source, index, options.Width, options.Height, run.stream, holder);
    }
    if (!IsKnownImageFile(path) || options.Width < 1 || options.Height < 1) return false;
    if (!HoldsImage(holder, LoadImageFile(holder, path))) {
        ClearHolderImage(holder);
        return false;
    }
    ResampleImage(holder, options.Width, options.Height, ResampleFilter::rfHermite);
    return true;
}

}  // namespace

void ClearHolderImage(ImageHolder& holder) {
    holder.Image = RasterImage{};
    holder.Selection.clear();
}

bool PrepareEntryIcon(const std::string& path, int index, int size, const IconSteps& steps,
                      ImageHolder& holder) {
    if (IsIconSourceFile(path)) {
        IconSource source;
        if (source.Open(path) != IconSourceError::None) return false;
        std::vector<std::uint8_t> stream;
        if (!LoadRenderedIcon(source, index, size, size, stream, holder)) return false;
        if (HasAlpha(holder)) DeclareAlphaDepth(holder);
        return true;
    }
    if (!IsKnownImageFile(path) || !LoadEntryPicture(path, steps, holder)) return false;
    ResizeToIcon(holder, size, steps.Filter);
    return true;
}

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
        run.steps.Transparent = options.Transparent;
        if (options.Transparent) run.steps.Fill = ColorToTriple(options.GradualColor, resolver);
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
            const int count = PrepareIconEntry(path, index, run);
            if (count == 0) continue;
            WriteEntry(folder, path, index, outputExtension,
                       [&](const std::string& name) { return WriteIconEntry(name, run, count); });
        } else {
            if (!PreparePictureEntry(path, index, options, run)) continue;
            WriteEntry(folder, path, index, outputExtension, [&](const std::string& name) {
                return SaveImageFile(run.holders[0], name);
            });
        }
    }
}

}  // namespace gw
