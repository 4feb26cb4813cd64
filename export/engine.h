#pragma once
// The export engine: one multi-size icon file or one picture per entry, into one folder.

#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "export/options.h"
#include "imagefile/ops/imageops.h"

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
