#include "export/naming.h"

#include <cerrno>

#include "base/paths.h"
#include "i18n/ini.h"

namespace gw {

std::string NamingErrorText(NamingError error, const std::string& indexText) {
    if (error == NamingError::IndexNotANumber)
        return "'" + indexText + "' is not a valid integer value";
    return "no error";
}

Result<std::string, NamingError> BuildOutputFileName(const std::string& folder,
                                                     const std::string& sourcePath,
                                                     const std::string& indexText,
                                                     const std::string& sourceExtension,
                                                     const std::string& outputExtension) {
    const std::string name = FileNamePart(sourcePath);
    const std::size_t stemLength =
        name.size() > sourceExtension.size() ? name.size() - sourceExtension.size() : 0;
    const std::string stem = name.substr(0, stemLength);

    auto index = ParseIntegerText(indexText);
    if (!index) return Fail(NamingError::IndexNotANumber);
    std::string number = std::to_string(static_cast<long long>(*index) + 1);
    if (number.size() < 5) number.insert(0, 5 - number.size(), '0');

    const std::string base = folder + stem + "_" + number;
    std::string candidate = base + outputExtension;
    for (long long k = 1; FileExists(candidate); ++k)
        candidate = base + "_" + std::to_string(k) + outputExtension;
    return candidate;
}

ImageStatus WriteUnderFreeName(const std::string& folder, const std::string& sourcePath, int index,
                               const std::string& outputExtension, const WriteToName& write,
                               std::string& written) {
    const std::string ext = LowerExtension(sourcePath);
    const std::string indexText = std::to_string(index);
    written.clear();
    for (;;) {
        // The index comes as a number, so the name is always built.
        const std::string name =
            *BuildOutputFileName(folder, sourcePath, indexText, ext, outputExtension);
        const ImageStatus status = write(name);
        const bool taken = status.Code == ImageError::CannotCreateFile && status.Errno == EEXIST;
        // The same name twice: something that is not a file holds it; give up on it.
        if (status.ok() || !taken || name == written) {
            written = name;
            return status;
        }
        written = name;
    }
}

}  // namespace gw
