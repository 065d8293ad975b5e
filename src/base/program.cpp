#include "base/program.h"

#include <unistd.h>

#include <sstream>
#include <vector>

#include "zb_version.h"

namespace zb::base {
namespace {
ProgramInfo g_program = MakeProgramInfo(std::filesystem::current_path());
}  // namespace

std::string VersionTextOf(const std::string& fileVersion) {
    std::vector<std::string> parts;
    std::stringstream in(fileVersion);
    for (std::string part; std::getline(in, part, '.');) {
        parts.push_back(part);
    }
    parts.resize(4, "0");
    std::string text = parts[0] + "." + parts[1];
    if (parts[2] != "0") {
        text += "." + parts[2];
    }
    // The build number is written behind the minor part again, as ".b.d".
    if (parts[3] != "0") {
        text += "." + parts[1] + "." + parts[3];
    }
    return text;
}

ProgramInfo MakeProgramInfo(const std::filesystem::path& programDir) {
    ProgramInfo info;
    info.productName = ZB_PRODUCT_NAME;
    info.fileVersion = ZB_FILE_VERSION;
    info.versionText = VersionTextOf(info.fileVersion);
    info.windowTitle = info.productName + " Rev." + info.versionText;
    info.programDir = programDir;
    return info;
}

const ProgramInfo& Program() {
    return g_program;
}

void SetProgram(ProgramInfo info) {
    g_program = std::move(info);
}

std::filesystem::path ExecutableDir() {
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::filesystem::current_path() : exe.parent_path();
}

}  // namespace zb::base
