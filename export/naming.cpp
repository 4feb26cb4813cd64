#include "export/naming.h"

#include <sys/stat.h>

#include <stdexcept>

#include "i18n/ini.h"

namespace gw {

std::string FileNamePart(const std::string& path) {
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string LowerExtension(const std::string& path) {
    std::string name = FileNamePart(path);
    std::size_t dot = name.rfind('.');
    if (dot == std::string::npos) return "";
    std::string ext = name.substr(dot);
    for (char& c : ext)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return ext;
}

bool FileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

std::string BuildOutputFileName(const std::string& folder, const std::string& sourcePath,
                                const std::string& indexText, const std::string& sourceExtension,
                                const std::string& outputExtension) {
    const std::string name = FileNamePart(sourcePath);
    const std::size_t stemLength =
        name.size() > sourceExtension.size() ? name.size() - sourceExtension.size() : 0;
    const std::string stem = name.substr(0, stemLength);

    auto index = ParseIntegerText(indexText);
    if (!index) throw std::invalid_argument("'" + indexText + "' is not a valid integer value");
    std::string number = std::to_string(static_cast<long long>(*index) + 1);
    if (number.size() < 5) number.insert(0, 5 - number.size(), '0');

    const std::string base = folder + stem + "_" + number;
    std::string candidate = base + outputExtension;
    for (long long k = 1; FileExists(candidate); ++k)
        candidate = base + "_" + std::to_string(k) + outputExtension;
    return candidate;
}

}  // namespace gw
