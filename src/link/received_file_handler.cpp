#include "link/received_file_handler.h"

#include <fstream>
#include <system_error>

#include "link/mirror.h"

namespace zb::link {
namespace fs = std::filesystem;

namespace {
bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}
}  // namespace

ReceivedKind ClassifyLinkPath(std::string_view linkPath) {
    if (StartsWith(linkPath, kOutboxLinkDir)) {
        return ReceivedKind::Result;
    }
    if (StartsWith(linkPath, kMetersLinkDir)) {
        const size_t slash = linkPath.rfind('\\');
        return linkPath.substr(slash + 1) == "noise.xml" ? ReceivedKind::Noise
                                                         : ReceivedKind::MeterList;
    }
    if (StartsWith(linkPath, kProfilesLinkDir)) {
        return ReceivedKind::Profile;
    }
    if (StartsWith(linkPath, kPeriodicLinkDir)) {
        return ReceivedKind::Periodic;
    }
    return ReceivedKind::Other;
}

void WriteReceivedFile(const ReceivedFile& file) {
    const fs::path target = file.mirrorPath;
    // The temporary name never ends in ".xml", so no listing of the folder picks it up.
    const fs::path temp = target.parent_path() / (".~" + target.filename().string() + ".part");
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out) {
            throw fs::filesystem_error("cannot write the received file", temp,
                                       std::make_error_code(std::errc::io_error));
        }
        out.write(file.bytes.data(), static_cast<std::streamsize>(file.bytes.size()));
        out.close();
        if (!out) {
            std::error_code ignored;
            fs::remove(temp, ignored);
            throw fs::filesystem_error("cannot write the received file", temp,
                                       std::make_error_code(std::errc::io_error));
        }
    }
    std::error_code ec;
    fs::rename(temp, target, ec);
    if (ec) {
        std::error_code ignored;
        fs::remove(temp, ignored);
        throw fs::filesystem_error("cannot store the received file", target, ec);
    }
}

bool ParseProfileName(std::string_view fileName, std::string& projectId, std::string& profileId) {
    const size_t first = fileName.find('-');
    if (first == std::string_view::npos) {
        return false;
    }
    const std::string_view rest = fileName.substr(first + 1);
    const size_t second = rest.find('-');
    if (second == std::string_view::npos) {
        return false;
    }
    projectId = std::string(rest.substr(0, 8));
    profileId = std::string(rest.substr(second + 1, 8));
    return true;
}

void StoreReceivedFilesHandler::HandleReceivedFile(const ReceivedFile& file) {
    switch (file.kind) {
        case ReceivedKind::MeterList:
        case ReceivedKind::Noise:
        case ReceivedKind::Periodic:
        case ReceivedKind::Profile:
            WriteReceivedFile(file);
            break;
        case ReceivedKind::Result:
        case ReceivedKind::Other:
            break;
    }
}

}  // namespace zb::link
