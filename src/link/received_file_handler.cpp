#include "link/received_file_handler.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "base/events.h"
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

bool IsNameError(const std::error_code& error) {
    if (error.category() != std::generic_category() && error.category() != std::system_category()) {
        return false;
    }
    switch (error.value()) {
        case ENAMETOOLONG:
        case ENOENT:
        case ENOTDIR:
        case EISDIR:
        case EILSEQ:
        case EINVAL:
            return true;
        default:
            return false;
    }
}

void SyncFile(int fd, const fs::path& shownPath) {
    if (::fsync(fd) != 0) {
        throw fs::filesystem_error("cannot flush the file", shownPath,
                                   std::error_code(errno, std::generic_category()));
    }
}

void SyncFolder(const fs::path& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        throw fs::filesystem_error("cannot open the folder", folder,
                                   std::error_code(errno, std::generic_category()));
    }
    const int rc = ::fsync(fd);
    const int error = errno;
    ::close(fd);
    if (rc != 0) {
        throw fs::filesystem_error("cannot flush the folder", folder,
                                   std::error_code(error, std::generic_category()));
    }
}

namespace {

[[noreturn]] void StoreFailed(const char* what, const fs::path& path, std::error_code error) {
    if (IsNameError(error)) {
        throw EReceivedFileRejected("имя не может быть сохранено: " + error.message());
    }
    throw fs::filesystem_error(what, path, error);
}

// Writes the bytes to a new file at `temp` and flushes them.
void WriteAndSync(const fs::path& temp, std::string_view bytes) {
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        StoreFailed("cannot write the received file", temp,
                    std::error_code(errno, std::generic_category()));
    }
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            const std::error_code error(errno, std::generic_category());
            ::close(fd);
            std::error_code ignored;
            fs::remove(temp, ignored);
            throw fs::filesystem_error("cannot write the received file", temp, error);
        }
        done += static_cast<size_t>(n);
    }
    try {
        SyncFile(fd, temp);
    } catch (...) {
        ::close(fd);
        std::error_code ignored;
        fs::remove(temp, ignored);
        throw;
    }
    ::close(fd);
}

}  // namespace

void WriteReceivedFile(const ReceivedFile& file) {
    const fs::path target = file.mirrorPath;
    std::error_code ec;
    if (!file.spoolPath.empty() && fs::exists(file.spoolPath, ec)) {
        // The link flushed the spool file; only its new name needs flushing.
        fs::rename(file.spoolPath, target, ec);
        if (ec) {
            StoreFailed("cannot store the received file", target, ec);
        }
    } else {
        // The temporary name never ends in ".xml", so no listing of the folder picks it up.
        const fs::path temp = target.parent_path() / (".~" + target.filename().string() + ".part");
        WriteAndSync(temp, file.bytes);
        fs::rename(temp, target, ec);
        if (ec) {
            std::error_code ignored;
            fs::remove(temp, ignored);
            StoreFailed("cannot store the received file", target, ec);
        }
    }
    SyncFolder(target.parent_path());
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
            WriteReceivedFile(file);
            break;
        case ReceivedKind::Profile: {
            WriteReceivedFile(file);
            std::string projectId, profileId;
            if (ParseProfileName(file.fileName, projectId, profileId)) {
                base::Events().ProfileReceived(file.ctrId, projectId, profileId);
            }
            break;
        }
        case ReceivedKind::Result:
        case ReceivedKind::Other:
            break;
    }
}

}  // namespace zb::link
