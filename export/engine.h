#pragma once
// The export engine: one multi-size icon file or one picture per entry, into one folder.

#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "export/options.h"
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

// Writes the files. Errors (an output file that cannot be created) end the run with a FileError;
// files already written stay.
// System colours in GradualColor resolve through the resolver (the default scheme when empty).
void ExportEntries(const ExportRequest& request, const ExportOptions& options,
                   ExportProgress& progress, const SystemColorResolver& resolver = {});

}  // namespace gw
