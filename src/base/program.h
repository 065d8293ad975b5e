#pragma once
// Process-wide values fixed at start-up: the product name and file version set by the build, the
// version text and window title made from them, and the program directory under which every
// path of the system lies.
#include <filesystem>
#include <string>

namespace zb::base {

// "a.b.c.d" -> "a.b", then ".c" if c is not "0", then ".b." + d if d is not "0".
std::string VersionTextOf(const std::string& fileVersion);

struct ProgramInfo {
    std::string productName;  // "ZarnicBox"
    std::string fileVersion;  // "0.3.24.0"
    std::string versionText;  // "0.3.24"
    std::string windowTitle;  // "ZarnicBox Rev.0.3.24"
    std::filesystem::path programDir;
    std::filesystem::path databasePath() const { return programDir / (productName + ".db"); }
};

// Builds the values for a program directory from the build's product name and version.
ProgramInfo MakeProgramInfo(const std::filesystem::path& programDir);

// The values of this run; set once at start-up, before any other thread starts.
const ProgramInfo& Program();
void SetProgram(ProgramInfo info);

// The directory of the running executable.
std::filesystem::path ExecutableDir();

}  // namespace zb::base
