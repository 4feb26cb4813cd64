#include "catalogue/opening.h"

#include <dirent.h>

#include <memory>

#include "base/paths.h"
#include "catalogue/iconsource.h"
#include "imagefile/bytereader.h"
#include "imagefile/formats/registry.h"

namespace gw {
namespace {

// Pictures are kept as copies no larger than a grid cell.
constexpr int kDisplaySide = 80;

std::shared_ptr<const Picture> PictureOf(const ImageHolder& holder, ImageStatus status) {
    if (!status.ok() || holder.Image.Empty())
        return std::make_shared<Picture>(Picture::Undecodable());
    const int w = holder.Params.ImageWidth > 0 ? holder.Params.ImageWidth : holder.Image.Width();
    const int h = holder.Params.ImageHeight > 0 ? holder.Params.ImageHeight : holder.Image.Height();
    return std::make_shared<Picture>(Picture::FromImage(holder.Image, kDisplaySide, w, h));
}

}  // namespace

bool IsSourceFile(const std::string& fileName) {
    return IsIconSourceFile(fileName) || IsKnownImageFile(fileName);
}

std::vector<std::string> ListSourceFiles(const std::string& folder) {
    std::vector<std::string> list;
    if (folder.empty()) return list;
    const std::string base = folder.back() == '/' ? folder : folder + "/";
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(base.c_str()), ::closedir);
    if (!dir) return list;
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        if (IsSourceFile(name)) list.push_back(base + name);
    }
    return list;
}

std::string AddOutcomeText(const AddOutcome& outcome, const std::string& path) {
    switch (outcome.Error) {
        case OpenError::None:
            return "no error";
        case OpenError::Missing:
            return "no such file";
        case OpenError::NotASource:
            return "neither an icon source nor a picture format this program reads";
        case OpenError::IconSource:
            return IconSourceErrorText(outcome.Source);
        case OpenError::IconsFailed:
            return std::to_string(outcome.IconsFailed) + " of its icons cannot be extracted";
        case OpenError::Picture:
            return outcome.Picture.Code == ImageError::None
                       ? "the picture is empty"
                       : ImageStatusText(outcome.Picture, path);
    }
    return "unknown error";
}

AddOutcome AddSourceFile(Catalogue& catalogue, const std::string& path) {
    AddOutcome outcome;
    if (!FileExists(path)) {
        outcome.Error = OpenError::Missing;
        return outcome;
    }
    const std::string name = FileNamePart(path);
    if (IsIconSourceFile(path)) {
        IconSource source;
        outcome.Source = source.Open(path);
        if (outcome.Source == IconSourceError::None) {
            const int n = source.Count();
            std::vector<std::uint8_t> stream;  // one stream serves every icon of the file
            for (int i = 0; i < n; ++i) {
                if (!source.Extract(i, 32, 32, stream)) {
                    ++outcome.IconsFailed;
                    continue;
                }
                ImageHolder holder;
                const ImageError read = LoadPictureFromStream(holder, ByteReader(stream));
                catalogue.Append(
                    IconEntry{path, name, n == 1 ? 0 : i + 1, PictureOf(holder, read)});
                ++outcome.Added;
            }
            if (outcome.IconsFailed > 0) outcome.Error = OpenError::IconsFailed;
        } else {
            outcome.Error = OpenError::IconSource;
        }
    } else if (IsKnownImageFile(path)) {
        ImageHolder holder;
        // A picture that cannot be read still gets its entry, with the grid's fallback picture.
        outcome.Picture = LoadPictureFromFile(holder, path, ReadOptions{kDisplaySide});
        if (!outcome.Picture.ok() || holder.Image.Empty()) outcome.Error = OpenError::Picture;
        catalogue.Append(IconEntry{path, name, 0, PictureOf(holder, outcome.Picture)});
        outcome.Added = 1;
    } else {
        outcome.Error = OpenError::NotASource;
    }
    catalogue.ClearSelection();
    return outcome;
}

}  // namespace gw
