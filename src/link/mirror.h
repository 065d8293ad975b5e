#pragma once
// Mirror directories: for every registered concentrator the server keeps a copy of the
// concentrator's file tree at <program dir>/CTR/CTR_<ID>/ROOT/... A concentrator counts as
// registered exactly when its mirror directory exists.
//
// Paths on the link are relative to the concentrator's root and use backslashes
// ("ROOT\\WORK\\INBOX\\x.xml"). MapLinkPath is the one place where such a path becomes a local
// path, and it refuses anything that could leave the mirror.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace zb::link {

// The five folders under the mirror root, in the order the registration creates them.
inline constexpr std::string_view kInboxLinkDir = "ROOT\\WORK\\INBOX\\";
inline constexpr std::string_view kOutboxLinkDir = "ROOT\\WORK\\OUTBOX\\";
inline constexpr std::string_view kPeriodicLinkDir = "ROOT\\WORK\\PERIODIC\\";
inline constexpr std::string_view kMetersLinkDir = "ROOT\\INFO\\METERS\\";
inline constexpr std::string_view kProfilesLinkDir = "ROOT\\INFO\\PROFILES\\";

// "%0.4X": upper-case hexadecimal, at least four digits.
std::string CtrIdText(uint32_t id);
// An ID as an operator typed it, made fit to name a directory: blanks trimmed, upper case.
std::string NormalizeCtrIdText(std::string_view typed);

// <program dir>/CTR/CTR_<ID>
std::filesystem::path MirrorDir(const std::filesystem::path& programDir, std::string_view ctrId);
// <mirror>/ROOT/WORK/INBOX
std::filesystem::path MirrorInbox(const std::filesystem::path& programDir, std::string_view ctrId);

// Maps a link path into the mirror directory. Refused (nullopt): an empty path, an absolute
// path (leading backslash), a drive letter or any other colon, a forward slash, a NUL byte, an
// empty component (doubled or trailing backslash), "." and "..".
std::optional<std::filesystem::path> MapLinkPath(const std::filesystem::path& mirrorDir,
                                                 std::string_view linkPath);

// Creates, with missing parents, WORK/INBOX, WORK/OUTBOX, WORK/PERIODIC, INFO/METERS and
// INFO/PROFILES under the mirror root of the ID, in that order. A folder that cannot be created
// is skipped; returns false when any was.
bool CreateMirrorFolders(const std::filesystem::path& programDir, std::string_view ctrId);

// Deletes a directory tree: makes every entry writable before deleting it, recurses into
// subdirectories (a symbolic link is removed, never followed), stops at the first entry that
// cannot be deleted and removes the directory itself last. True when the whole tree is gone.
bool DeleteMirrorTree(const std::filesystem::path& dir);

}  // namespace zb::link
