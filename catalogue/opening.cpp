#include "catalogue/opening.h"

#include <dirent.h>

#include <memory>

#include "catalogue/iconsource.h"
#include "export/naming.h"
#include "imagefile/bytereader.h"
#include "imagefile/formats.h"

namespace gw {
namespace {

// Pictures are kept as copies no larger than a grid cell.
constexpr int kDisplaySide = 80;

std::shared_ptr<const Picture> PictureOf(const ImageHolder& holder) {
    if (holder.Failed || holder.Image.Empty())
        return std::make_shared<Picture>(Picture::Undecodable());
    const int w = holder.Params.ImageWidth > 0 ? holder.Params.ImageWidth : holder.Image.Width();
    const int h = holder.Params.ImageHeight > 0 ? holder.Params.ImageHeight : holder.Image.Height();
    return std::make_shared<Picture>(Picture::FromImage(holder.Image, kDisplaySide, w, h));
}

}  // namespace

bool IsSourceFile(const std::string& fileName) {
    return IsIconSourceFile(fileName) || IsKnownImageFile(fileName);
}

std::string FolderPart(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
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

void AddSourceFile(Catalogue& catalogue, const std::string& path) {
    if (!FileExists(path)) return;
    const std::string name = FileNamePart(path);
    if (IsIconSourceFile(path)) {
        IconSource source;
        if (source.Open(path) == IconSourceError::None) {
            const int n = source.Count();
            std::vector<std::uint8_t> stream;  // one stream serves every icon of the file
            for (int i = 0; i < n; ++i) {
                if (!source.Extract(i, 32, 32, stream)) continue;
                ImageHolder holder;
                LoadPictureFromStream(holder, ByteReader(stream));
                catalogue.Append(IconEntry{path, name, n == 1 ? 0 : i + 1, PictureOf(holder)});
            }
        }
    } else if (IsKnownImageFile(path)) {
        ImageHolder holder;
        try {
            LoadPictureFromFile(holder, path, ReadOptions{kDisplaySide});
        } catch (const std::exception&) {
            holder.Failed = true;  // the entry stays, with the grid's fallback picture
        }
        catalogue.Append(IconEntry{path, name, 0, PictureOf(holder)});
    }
    catalogue.ClearSelection();
}

}  // namespace gw
