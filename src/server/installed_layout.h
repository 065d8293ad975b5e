#pragma once
// The program as a package installs it: the executable in <prefix>/bin, the shipped catalogue in
// <prefix>/share/zarnicbox (XML.ZARNIC/, XML.ZarnicMaster/) and the plug-ins in
// <prefix>/lib/zarnicbox/DLL/. Such a program keeps its data elsewhere (the service in
// /var/lib/zarnicbox, an operator's window in the home directory), and prepares that program
// directory with the shipped files on its first start, and again when a newer package brought
// newer ones. The database and the mirrors (CTR/) are never touched.
#include <filesystem>
#include <optional>
#include <string>

namespace zb::server {

struct ShippedLayout {
    std::filesystem::path share;  // holds XML.ZARNIC/ and XML.ZarnicMaster/
    std::filesystem::path lib;    // holds DLL/
};

// The installed layout around an executable directory, when it is one.
std::optional<ShippedLayout> FindShippedLayout(const std::filesystem::path& executableDir);

// The program directory of an installed program started without --dir:
// $XDG_DATA_HOME/zarnicbox, else $HOME/.local/share/zarnicbox.
std::filesystem::path DefaultInstalledProgramDir();

// The file in a program directory that names the version whose shipped files it holds.
inline constexpr const char* kShippedStampName = ".zarnicbox-shipped";

// Copies the shipped folders into the program directory (creating it) unless its stamp already
// names `version`; files of the same name are replaced, other files stay. Returns whether it
// copied. Throws std::filesystem::filesystem_error when the directory cannot be written.
bool SeedProgramDir(const std::filesystem::path& programDir, const ShippedLayout& shipped,
                    const std::string& version);

}  // namespace zb::server
