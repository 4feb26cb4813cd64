#pragma once
// Turning files and folders into catalogue entries.

#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "catalogue/iconsource.h"
#include "imagefile/error.h"

namespace gw {

// The name's extension (lower-cased) is an icon source's or one the picture readers know.
// Only the name is examined.
bool IsSourceFile(const std::string& fileName);

// Full paths of the supported files directly inside the folder, hidden ones included, in the
// order the file system lists them; subfolders are not entered. Empty for an empty folder name
// or a folder that cannot be read.
std::vector<std::string> ListSourceFiles(const std::string& folder);

enum class OpenError {
    None,
    Missing,      // no file at the path (or a folder)
    NotASource,   // the extension is neither an icon source's nor a picture format's
    IconSource,   // the icon source cannot be opened: see Source
    IconsFailed,  // some icons of the source could not be extracted: see IconsFailed
    Picture,      // the picture cannot be read (its entry shows as failed): see Picture
};

// What adding one file did. The window skips failures silently; the command line reports them.
struct AddOutcome {
    int Added = 0;
    OpenError Error = OpenError::None;
    IconSourceError Source = IconSourceError::None;
    int IconsFailed = 0;
    ImageStatus Picture;
};

// The reason in words, for a report line: "the data ends before the picture does".
std::string AddOutcomeText(const AddOutcome& outcome, const std::string& path);

// Appends the entries of one file: every icon of an icon source at 32 × 32, or the picture of an
// image file. A missing file or a folder adds nothing and leaves the selection alone; otherwise
// the selection is cleared afterwards.
AddOutcome AddSourceFile(Catalogue& catalogue, const std::string& path);

}  // namespace gw
