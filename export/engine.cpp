#include "export/engine.h"

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <tuple>
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

void DeclareAlphaDepth(ImageHolder& holder) {
    holder.Params.BitsPerChannel = 8;
    holder.Params.ChannelCount = 4;
}

// Icon `index` of the open source, rendered at width × height, into the holder through the
// one-image icon stream. False, with the holder's image cleared, when it cannot be had.
bool LoadRenderedIcon(IconSource& source, int index, int width, int height,
                      std::vector<std::uint8_t>& stream, ImageHolder& holder,
                      IconSourceError& error) {
    if (width > kMaxRenderSize || height > kMaxRenderSize) {
        // Larger than an icon stream can describe: rendered straight into the holder, as 32-bit
        // colour with alpha like the stream would give.
        SelectImageIndex(holder, 0);
        if (!source.ExtractImage(index, width, height, holder.Image, &error)) {
            holder = ImageHolder{};
            return false;
        }
        holder.Params.ImageWidth = width;
        holder.Params.ImageHeight = height;
        DeclareAlphaDepth(holder);
        return true;
    }
    if (!source.Extract(index, width, height, stream, &error)) return false;
    ByteReader reader(stream);
    if (HoldsImage(holder, LoadImageStream(holder, reader))) return true;
    error = IconSourceError::IconUnreadable;
    holder = ImageHolder{};
    return false;
}

// Assign followed by ResampleImage, without copying the whole picture first: the size is made
// straight from the source's image.
void AssignResized(ImageHolder& target, const ImageHolder& source, int size) {
    RasterImage resized = ResampleRaster(source.Image, size, size, ResampleFilter::rfHermite);
    // A size the resampler refuses leaves the image as it was assigned.
    if (resized.Empty()) resized = source.Image;
    target.Image = std::move(resized);
    target.Background = source.Background;
    target.Params.HorizontalDpi = source.Params.HorizontalDpi;
    target.Params.VerticalDpi = source.Params.VerticalDpi;
    ClearSelection(target);
}

EncodedEntry FailWith(ImageStatus status, std::string failure) {
    EncodedEntry e;
    e.Status = status;
    e.Failure = std::move(failure);
    return e;
}

EncodedEntry Failed(IconSourceError error) {
    return FailWith({}, IconSourceErrorText(error));
}

EncodedEntry FailedRead(ImageStatus status, const std::string& path) {
    return FailWith(status, status.Code == ImageError::None ? std::string("the picture is empty")
                                                            : ImageStatusText(status, path));
}

EncodedEntry FailedEncode(ImageStatus status, const std::string& path) {
    EncodedEntry e = FailedRead(status, path);
    e.EncoderFailed = true;
    return e;
}

// The writer settings that carry over; everything else describes one entry's image.
void CopyCarried(const FileParams& from, FileParams& to) {
    to.JPEG_Quality = from.JPEG_Quality;
    to.JPEG_ColorSpace = from.JPEG_ColorSpace;
    to.JPEG_ChromaH = from.JPEG_ChromaH;
    to.JPEG_ChromaV = from.JPEG_ChromaV;
    to.JPEG_DCTMethod = from.JPEG_DCTMethod;
    to.JPEG_OptimalHuffman = from.JPEG_OptimalHuffman;
    to.JPEG_Smooth = from.JPEG_Smooth;
    to.JPEG_Progressive = from.JPEG_Progressive;
    to.PNG_Interlaced = from.PNG_Interlaced;
    to.PNG_Filter = from.PNG_Filter;
    to.PNG_Compression = from.PNG_Compression;
    to.PNG_Background = from.PNG_Background;
    to.TIFF_Compression = from.TIFF_Compression;
    to.TIFF_Photometric = from.TIFF_Photometric;
    to.BMP_HeaderSize = from.BMP_HeaderSize;
    to.BMP_Compression = from.BMP_Compression;
    to.BMP_StoreAlpha = from.BMP_StoreAlpha;
    to.GIF_Version = from.GIF_Version;
    to.GIF_Interlaced = from.GIF_Interlaced;
    to.GIF_Disposal = from.GIF_Disposal;
    to.GIF_Delay = from.GIF_Delay;
    to.TGA_Compressed = from.TGA_Compressed;
    to.PCX_Version = from.PCX_Version;
    to.PCX_RLE = from.PCX_RLE;
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

}  // namespace

bool SameCarriedSettings(const CarriedSettings& a, const CarriedSettings& b) {
    FileParams x, y;
    CopyCarried(a.Params, x);
    CopyCarried(b.Params, y);
    auto fields = [](const FileParams& p) {
        return std::tie(p.JPEG_Quality, p.JPEG_ColorSpace, p.JPEG_ChromaH, p.JPEG_ChromaV,
                        p.JPEG_DCTMethod, p.JPEG_OptimalHuffman, p.JPEG_Smooth, p.JPEG_Progressive,
                        p.PNG_Interlaced, p.PNG_Filter, p.PNG_Compression, p.PNG_Background,
                        p.TIFF_Compression, p.TIFF_Photometric, p.BMP_HeaderSize, p.BMP_Compression,
                        p.BMP_StoreAlpha, p.GIF_Version, p.GIF_Interlaced, p.GIF_Disposal,
                        p.GIF_Delay, p.TGA_Compressed, p.PCX_Version, p.PCX_RLE);
    };
    return fields(x) == fields(y);
}

ExportRun::ExportRun(const ExportOptions& options, const SystemColorResolver& resolver,
                     IconWriteOptions icon)
    : options_(options),
      icon_(std::move(icon)),
      extension_(ExportExtension(options.Format)),
      folder_(ExportFolder(options.SavePath)) {
    if (options.Format == kExportIco) {
        sizes_ = ChosenIconSizes(options.Size);
        if (options.Transparent) fill_ = ColorToTriple(options.GradualColor, resolver);
    }
}

EncodedEntry ExportRun::Encode(const std::string& path, int index, CarriedSettings& carried) const {
    EncodedEntry out;
    std::vector<std::uint8_t> stream;
    IconSourceError sourceError = IconSourceError::None;
    if (options_.Format == kExportIco) {
        if (sizes_.empty()) return FailWith({}, "no icon size is chosen");
        std::vector<ImageHolder> holders(sizes_.size());
        std::size_t count = 0;
        if (IsIconSourceFile(path)) {
            IconSource source;
            if (const IconSourceError e = source.Open(path); e != IconSourceError::None)
                return Failed(e);
            // Sizes that cannot be had are left out rather than written with another image.
            for (int s : sizes_) {
                ImageHolder& holder = holders[count];
                if (!LoadRenderedIcon(source, index, s, s, stream, holder, sourceError)) continue;
                if (HasAlpha(holder)) DeclareAlphaDepth(holder);
                ++count;
            }
            if (count == 0) return Failed(sourceError);
        } else {
            if (!IsKnownImageFile(path)) return FailedRead(ImageError::NoReader, path);
            ImageHolder& loaded = holders[0];
            SelectImageIndex(loaded, 0);
            if (const ImageStatus read = LoadImageFile(loaded, path); !HoldsImage(loaded, read))
                return FailedRead(read, path);
            // Done once on the loaded image: every copy would get exactly the same result.
            if (options_.Transparent) {
                DeclareAlphaDepth(loaded);
                MakeBackgroundTransparent(loaded, fill_);
            }
            // Largest first and slot 0 last, so every size is resized from the image as loaded.
            for (std::size_t k = sizes_.size(); k-- > 0;) {
                ImageHolder& holder = holders[k];
                if (k > 0) {
                    CopyFileParams(holder, loaded);
                    AssignResized(holder, loaded, sizes_[k]);
                } else {
                    ResampleImage(holder, sizes_[k], sizes_[k], ResampleFilter::rfHermite);
                }
                if (HasAlpha(holder)) DeclareAlphaDepth(holder);
            }
            count = sizes_.size();
        }
        const ImageError encoded = EncodeIconFile(std::span<ImageHolder>(holders),
                                                  static_cast<int>(count) - 1, out.Bytes, icon_);
        if (encoded != ImageError::None) return FailedEncode(encoded, path);
        out.Produced = true;
        return out;
    }

    // The picture path: one holder that starts from the settings the entry before left.
    ImageHolder holder;
    CopyCarried(carried.Params, holder.Params);
    auto leave = [&](EncodedEntry e) {
        CopyCarried(holder.Params, carried.Params);
        return e;
    };
    if (IsIconSourceFile(path)) {
        IconSource source;
        if (const IconSourceError e = source.Open(path); e != IconSourceError::None)
            return leave(Failed(e));
        if (!LoadRenderedIcon(source, index, options_.Width, options_.Height, stream, holder,
                              sourceError))
            return leave(Failed(sourceError));
    } else {
        if (!IsKnownImageFile(path)) return leave(FailedRead(ImageError::NoReader, path));
        if (options_.Width < 1 || options_.Height < 1)
            return leave(FailWith({}, "the picture size is below 1"));
        SelectImageIndex(holder, 0);
        if (const ImageStatus read = LoadImageFile(holder, path); !HoldsImage(holder, read))
            return leave(FailedRead(read, path));
        ResampleImage(holder, options_.Width, options_.Height, ResampleFilter::rfHermite);
    }
    // The writer is the one the output extension names.
    const ImageStatus encoded = EncodeImageFile(holder, "picture" + extension_, out.Bytes);
    if (!encoded.ok()) return leave(FailedEncode(encoded, path));
    out.Produced = true;
    return leave(std::move(out));
}

ImageStatus ExportRun::Write(const std::string& path, int index,
                             std::span<const std::uint8_t> bytes, std::string& name) const {
    return WriteUnderFreeName(
        folder_, path, index, extension_,
        [&](const std::string& candidate) -> ImageStatus {
            if (auto written = WriteFileAtomic(candidate, bytes, WriteMode::NoReplace); !written)
                return FromIoFailure(written.error());
            return {};
        },
        name);
}

int EntryIndex(const ExportRequest& request, std::size_t i) {
    const std::string indexText = i < request.Indexes.size() ? request.Indexes[i] : "0";
    return ParseIntegerText(indexText).value_or(0);
}

void ExportEntriesInParallel(const ExportRequest& request, const ExportRun& run, int jobs,
                             const std::function<void(std::size_t, const EntryResult&)>& done) {
    const std::size_t total = request.Files.size();
    CarriedSettings carried;
    auto commit = [&](std::size_t i, EncodedEntry encoded) {
        EntryResult result;
        if (encoded.Produced) {
            result.Written =
                run.Write(request.Files[i], EntryIndex(request, i), encoded.Bytes, result.Name);
            encoded.Bytes = {};
        }
        result.Encoded = std::move(encoded);
        done(i, result);
    };
    if (jobs <= 1 || total <= 1) {
        for (std::size_t i = 0; i < total; ++i)
            commit(i, run.Encode(request.Files[i], EntryIndex(request, i), carried));
        return;
    }

    // Each entry is encoded from the settings the last written entry left, a guess that holds
    // unless an entry changed them; a wrong guess is encoded again once the entry before is done.
    struct Slot {
        bool Ready = false;
        CarriedSettings Guess;
        CarriedSettings Left;
        EncodedEntry Encoded;
    };
    // Entries in flight, each with its own slot until it is written.
    const std::size_t window = static_cast<std::size_t>(jobs) * 2;
    std::vector<Slot> slots(window);
    std::mutex mutex;
    std::condition_variable changed;
    std::size_t next = 0, committed = 0;
    bool stopping = false;
    CarriedSettings latest;

    auto work = [&] {
        std::unique_lock lock(mutex);
        for (;;) {
            changed.wait(lock,
                         [&] { return stopping || next >= total || next < committed + window; });
            if (stopping || next >= total) return;
            const std::size_t i = next++;
            CarriedSettings guess = latest;
            lock.unlock();
            CarriedSettings left = guess;
            EncodedEntry encoded = run.Encode(request.Files[i], EntryIndex(request, i), left);
            lock.lock();
            slots[i % window] = {true, std::move(guess), std::move(left), std::move(encoded)};
            changed.notify_all();
        }
    };
    // The workers stop and are joined however this function is left.
    struct Workers {
        std::vector<std::thread> threads;
        std::function<void()> stop;
        ~Workers() {
            stop();
            for (std::thread& t : threads) t.join();
        }
    } workers;
    workers.stop = [&] {
        std::lock_guard lock(mutex);
        stopping = true;
        changed.notify_all();
    };
    for (int t = 0; t < jobs; ++t) workers.threads.emplace_back(work);

    for (std::size_t i = 0; i < total; ++i) {
        Slot slot;
        {
            std::unique_lock lock(mutex);
            changed.wait(lock, [&] { return slots[i % window].Ready; });
            slot = std::move(slots[i % window]);
            slots[i % window] = Slot{};
        }
        if (SameCarriedSettings(slot.Guess, carried)) {
            carried = std::move(slot.Left);
        } else {
            slot.Encoded = run.Encode(request.Files[i], EntryIndex(request, i), carried);
        }
        commit(i, std::move(slot.Encoded));
        std::lock_guard lock(mutex);
        committed = i + 1;
        latest = carried;
        changed.notify_all();
    }
}

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
        IconSourceError error = IconSourceError::None;
        if (!LoadRenderedIcon(source, index, size, size, stream, holder, error)) return false;
        if (HasAlpha(holder)) DeclareAlphaDepth(holder);
        return true;
    }
    if (!IsKnownImageFile(path) || !LoadEntryPicture(path, steps, holder)) return false;
    ResizeToIcon(holder, size, steps.Filter);
    return true;
}

void ExportEntries(const ExportRequest& request, const ExportOptions& options,
                   ExportProgress& progress, const SystemColorResolver& resolver) {
    const ExportRun run(options, resolver);
    // Without an output format there is nothing to name the files by.
    if (!run.Valid()) return;

    const std::size_t total = request.Files.size();
    ProgressRun shown(progress, static_cast<int>(total));
    progress.Pump();
    progress.Wait(500);

    CarriedSettings carried;
    for (std::size_t i = 0; i < total; ++i) {
        progress.Step();
        progress.Pump();
        const std::string& path = request.Files[i];
        const int index = EntryIndex(request, i);
        const EncodedEntry encoded = run.Encode(path, index, carried);
        // A file that cannot be created ends the export with its message; a picture the format
        // cannot hold is skipped.
        if (!encoded.Produced) {
            if (encoded.EncoderFailed && IsRaisedError(encoded.Status))
                throw FileError(encoded.Failure);
            continue;
        }
        std::string name;
        const ImageStatus status = run.Write(path, index, encoded.Bytes, name);
        if (IsRaisedError(status)) throw FileError(ImageStatusText(status, name));
    }
}

}  // namespace gw
