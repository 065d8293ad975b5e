#include "server/installed_layout.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace zb::server {

namespace fs = std::filesystem;

namespace {

constexpr const char* kCatalogueFolders[] = {"XML.ZARNIC", "XML.ZarnicMaster"};
constexpr const char* kPluginFolder = "DLL";

std::string ReadStamp(const fs::path& file) {
    std::ifstream in(file);
    std::string version;
    std::getline(in, version);
    return version;
}

}  // namespace

std::optional<ShippedLayout> FindShippedLayout(const fs::path& executableDir) {
    if (executableDir.filename() != "bin") {
        return std::nullopt;
    }
    const fs::path prefix = executableDir.parent_path();
    ShippedLayout layout{prefix / "share" / "zarnicbox", prefix / "lib" / "zarnicbox"};
    std::error_code ec;
    if (!fs::is_directory(layout.share / kCatalogueFolders[0], ec) ||
        !fs::is_directory(layout.lib / kPluginFolder, ec)) {
        return std::nullopt;
    }
    return layout;
}

fs::path DefaultInstalledProgramDir() {
    const char* data = std::getenv("XDG_DATA_HOME");
    if (data != nullptr && *data == '/') {
        return fs::path(data) / "zarnicbox";
    }
    const char* home = std::getenv("HOME");
    return fs::path(home != nullptr && *home != '\0' ? home : "/tmp") / ".local" / "share" /
           "zarnicbox";
}

bool SeedProgramDir(const fs::path& programDir, const ShippedLayout& shipped,
                    const std::string& version) {
    const fs::path stamp = programDir / kShippedStampName;
    if (fs::exists(stamp) && ReadStamp(stamp) == version) {
        return false;
    }
    fs::create_directories(programDir);
    const auto options = fs::copy_options::recursive | fs::copy_options::overwrite_existing;
    for (const char* folder : kCatalogueFolders) {
        if (fs::is_directory(shipped.share / folder)) {
            fs::copy(shipped.share / folder, programDir / folder, options);
        }
    }
    fs::copy(shipped.lib / kPluginFolder, programDir / kPluginFolder, options);
    // The stamp last: a copy cut short is done again at the next start.
    std::ofstream(stamp, std::ios::trunc) << version << '\n';
    return true;
}

}  // namespace zb::server
