#pragma once
// The export engine: one multi-size icon file or one picture per entry, into one folder.

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "export/options.h"
#include "imagefile/ico/writer.h"
#include "imagefile/ops/imageops.h"
#include "imagefile/ops/resample.h"

namespace gw {

// The entries to export: paths and zero-based icon indexes (as decimal text), position by position.
struct ExportRequest {
    std::vector<std::string> Files;
    std::vector<std::string> Indexes;
    bool Empty() const { return Files.empty(); }
};

// Every entry in grid order (all), or the selection in its order; entries whose file is gone
// are skipped.
ExportRequest GatherEntries(const Catalogue& catalogue, bool all);

// The edge lengths a size string chooses: IconSizes[p] when character p is "1"; ascending.
std::vector<int> ChosenIconSizes(const std::string& size);

// The output folder with its trailing "/".
std::string ExportFolder(const std::string& savePath);

// The steps that make one icon size of a picture: transparency of the bottom-left colour (its
// pixels take colour Fill), then the resize.
struct IconSteps {
    bool Transparent = false;
    Rgb Fill{255, 255, 255};
    ResampleFilter Filter = ResampleFilter::rfHermite;
};

// One size of an entry's icon, made the way the export makes it: icon `index` of an icon source
// rendered at size × size, or an image file's first image with the steps applied. The holder
// keeps its file parameters. False, with the holder's image cleared, when there is none (also
// when an image file cannot be read).
bool PrepareEntryIcon(const std::string& path, int index, int size, const IconSteps& steps,
                      ImageHolder& holder);

// Drops the holder's image, selection and failure flag; its file parameters stay.
void ClearHolderImage(ImageHolder& holder);

// How the engine shows its progress; the window supplies the busy panel.
class ExportProgress {
  public:
    virtual ~ExportProgress() = default;
    // The run starts: show the panel with its label and a bar of `total` parts.
    virtual void Begin(int total) = 0;
    // Before each entry: one more part complete.
    virtual void Step() = 0;
    // Let pending window messages run.
    virtual void Pump() = 0;
    // The pause after the panel is shown.
    virtual void Wait(int milliseconds) = 0;
    // The run ended, however it ended.
    virtual void End() = 0;
};

// What one entry gives: the bytes of its file, or why it gives none.
struct EncodedEntry {
    bool Produced = false;
    std::vector<std::uint8_t> Bytes;
    // Why nothing was produced: the picture's status (an encoder's failure included) ...
    ImageStatus Status;
    // ... and the reason in words ("The file has no icon with that number").
    std::string Failure;
    // The picture was had but its format's writer failed.
    bool EncoderFailed = false;
};

// The writer settings a holder keeps from entry to entry (the quality of the last JPEG read,
// whether Targa output is compressed, ...): each entry starts from what the one before left.
struct CarriedSettings {
    FileParams Params;
};
bool SameCarriedSettings(const CarriedSettings& a, const CarriedSettings& b);

// The working rules of one export run, entry by entry. Encoding an entry touches nothing but
// its arguments, so entries may be encoded on several threads at once.
class ExportRun {
  public:
    // System colours in GradualColor resolve through the resolver (the default scheme when
    // empty); `icon` adds what the window does not offer (PNG images, depth variants).
    ExportRun(const ExportOptions& options, const SystemColorResolver& resolver = {},
              IconWriteOptions icon = {});

    // False when the format has no output extension: nothing can be named or written.
    bool Valid() const { return !extension_.empty(); }
    const std::string& Folder() const { return folder_; }

    // The file content of entry (path, icon index); `carried` holds the settings the entry
    // before left and receives the ones this entry leaves.
    EncodedEntry Encode(const std::string& path, int index, CarriedSettings& carried) const;

    // Writes the bytes under the entry's free name, never over an existing file; `name` gets
    // the name written (or the one that failed).
    ImageStatus Write(const std::string& path, int index, std::span<const std::uint8_t> bytes,
                      std::string& name) const;

  private:
    ExportOptions options_;
    IconWriteOptions icon_;
    std::string extension_;
    std::string folder_;
    std::vector<int> sizes_;
    Rgb fill_;
};

// The icon index of an entry's index text (0 when it is not a number).
int EntryIndex(const ExportRequest& request, std::size_t i);

// What became of one entry in a parallel export.
struct EntryResult {
    EncodedEntry Encoded;  // Bytes already released
    ImageStatus Written;   // the write's status when something was produced
    std::string Name;      // the file written (or the name that failed)
};

// Exports the entries with `jobs` threads (at least 1): entries are encoded in parallel, with at
// most a few per thread in flight, and named and written one by one in entry order on the
// calling thread, so files, names and bytes are the same for every number of jobs. `done` is
// called on the calling thread for every entry, in entry order.
void ExportEntriesInParallel(const ExportRequest& request, const ExportRun& run, int jobs,
                             const std::function<void(std::size_t, const EntryResult&)>& done);

// Writes the files. Errors (an output file that cannot be created) end the run with a FileError;
// files already written stay.
// System colours in GradualColor resolve through the resolver (the default scheme when empty).
void ExportEntries(const ExportRequest& request, const ExportOptions& options,
                   ExportProgress& progress, const SystemColorResolver& resolver = {});

}  // namespace gw
