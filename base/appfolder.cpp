#include "base/appfolder.h"

#include "base/paths.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace gw {
namespace {

std::string& Argv0() {
    static std::string argv0;
    return argv0;
}

bool IsDirectory(const std::string& path) {
    std::error_code ec;
    return std::filesystem::is_directory(path, ec);
}

}  // namespace

void SetProgramArgv0(const char* argv0) {
    Argv0() = argv0 ? argv0 : "";
}

std::string GetAppFolder() {
    std::error_code ec;
    std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec && !exe.empty()) return FolderOfPath(exe.string());
    const std::string& argv0 = Argv0();
    if (argv0.find('/') == std::string::npos)
        return FolderOfPath(std::filesystem::current_path(ec).string() + "/");
    std::filesystem::path abs = std::filesystem::absolute(argv0, ec);
    return FolderOfPath(ec ? argv0 : abs.string());
}

bool IsInstalledLayout(const std::string& appFolder) {
    constexpr std::string_view kBin = "/bin/";
    return appFolder.size() >= kBin.size() && appFolder.ends_with(kBin) &&
           IsDirectory(appFolder + "../share/glyphwright");
}

std::string OptionsIniPath(const std::string& appFolder) {
    const std::string beside = appFolder + "Options.ini";
    // A portable copy keeps its settings with it; an installed one never writes into bin/, even
    // when root could.
    if (!IsInstalledLayout(appFolder) && access(appFolder.c_str(), W_OK) == 0) return beside;
    std::string base;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/') {
        base = xdg;
    } else if (const char* home = std::getenv("HOME"); home && *home) {
        base = std::string(home) + "/.config";
    } else if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir && *pw->pw_dir == '/') {
        base = std::string(pw->pw_dir) + "/.config";
    } else {
        return beside;
    }
    std::string folder = base + "/glyphwright/";
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    return folder + "Options.ini";
}

std::string LanguagesFolder(const std::string& appFolder) {
    const std::string beside = appFolder + "Languages/";
    if (IsDirectory(beside)) return beside;
    // Installed: bin/ beside share/glyphwright/, wherever the prefix went.
    const std::string relocated = appFolder + "../share/glyphwright/Languages/";
    if (IsDirectory(relocated)) return relocated;
#ifdef GW_DATADIR
    const std::string installed = std::string(GW_DATADIR) + "/Languages/";
    if (IsDirectory(installed)) return installed;
#endif
    return beside;
}

}  // namespace gw
