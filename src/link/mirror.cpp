#include "link/mirror.h"

#include <cstdio>
#include <system_error>

#include "base/text.h"

namespace zb::link {
namespace fs = std::filesystem;

std::string CtrIdText(uint32_t id) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04X", id);
    return buf;
}

std::string NormalizeCtrIdText(std::string_view typed) {
    return base::AsciiUpper(base::Trim(typed));
}

fs::path MirrorDir(const fs::path& programDir, std::string_view ctrId) {
    return programDir / "CTR" / ("CTR_" + std::string(ctrId));
}

fs::path MirrorInbox(const fs::path& programDir, std::string_view ctrId) {
    return MirrorDir(programDir, ctrId) / "ROOT" / "WORK" / "INBOX";
}

std::optional<fs::path> MapLinkPath(const fs::path& mirrorDir, std::string_view linkPath) {
    if (linkPath.empty()) {
        return std::nullopt;
    }
    for (const char c : linkPath) {
        if (c == '\0' || c == '/' || c == ':') {
            return std::nullopt;
        }
    }
    fs::path result = mirrorDir;
    size_t pos = 0;
    while (true) {
        const size_t next = linkPath.find('\\', pos);
        const std::string_view part = linkPath.substr(pos, next - pos);
        if (part.empty() || part == "." || part == "..") {
            return std::nullopt;  // also catches a leading, doubled or trailing backslash
        }
        result /= std::string(part);
        if (next == std::string_view::npos) {
            break;
        }
        pos = next + 1;
    }
    return result;
}

bool CreateMirrorFolders(const fs::path& programDir, std::string_view ctrId) {
    const fs::path root = MirrorDir(programDir, ctrId) / "ROOT";
    static const char* const kFolders[][2] = {{"WORK", "INBOX"},
                                              {"WORK", "OUTBOX"},
                                              {"WORK", "PERIODIC"},
                                              {"INFO", "METERS"},
                                              {"INFO", "PROFILES"}};
    bool all = true;
    for (const auto& folder : kFolders) {
        std::error_code ec;
        fs::create_directories(root / folder[0] / folder[1], ec);
        if (ec) {
            all = false;
        }
    }
    return all;
}

namespace {

void MakeWritable(const fs::path& p) {
    std::error_code ec;
    fs::permissions(p, fs::perms::owner_write, fs::perm_options::add | fs::perm_options::nofollow,
                    ec);
}

}  // namespace

bool DeleteMirrorTree(const fs::path& dir) {
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(dir, ec);
    if (ec || !fs::exists(status)) {
        return !fs::exists(status);
    }
    if (fs::is_directory(status)) {
        MakeWritable(dir);
        fs::directory_iterator it(dir, ec);
        if (ec) {
            return false;
        }
        for (const fs::directory_iterator end; it != end; it.increment(ec)) {
            if (ec) {
                return false;
            }
            const fs::path entry = it->path();
            const fs::file_status entryStatus = fs::symlink_status(entry, ec);
            if (ec) {
                return false;
            }
            if (fs::is_directory(entryStatus)) {
                if (!DeleteMirrorTree(entry)) {
                    return false;
                }
            } else {
                if (!fs::is_symlink(entryStatus)) {
                    MakeWritable(entry);
                }
                if (!fs::remove(entry, ec) || ec) {
                    return false;
                }
            }
        }
        if (ec) {
            return false;
        }
    }
    return fs::remove(dir, ec) && !ec;
}

}  // namespace zb::link
