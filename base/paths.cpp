#include "base/paths.h"

#include <filesystem>
#include <system_error>

namespace gw {
namespace fs = std::filesystem;

std::string FileNamePart(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string FolderPart(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? std::string() : std::string(path.substr(0, slash + 1));
}

std::string FolderOfPath(std::string_view path) {
    std::string folder = FolderPart(path);
    if (folder.empty() || folder.back() != '/') folder += '/';
    while (folder.size() > 1 && folder[folder.size() - 2] == '/') folder.pop_back();
    return folder;
}

std::string LowerExtension(std::string_view path) {
    const std::string name = FileNamePart(path);
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos) return {};
    std::string ext = name.substr(dot);
    for (char& c : ext)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return ext;
}

std::string FileExtension(std::string_view path) {
    std::string ext = LowerExtension(path);
    return ext.empty() ? ext : ext.substr(1);
}

bool FileExists(const std::string& path) {
    std::error_code ec;
    const fs::file_status st = fs::status(path, ec);
    return !ec && fs::exists(st) && !fs::is_directory(st);
}

bool FolderExists(const std::string& path) {
    std::error_code ec;
    return fs::is_directory(path, ec);
}

}  // namespace gw
