#pragma once
// State shared by all connections of the link: the program directory, the two name=value
// tables, the link lock and the file lock, the files in/out counters and the handler of
// received files.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "link/received_file_handler.h"
#include "link/session_registry.h"

namespace zb::link {

// Spool files of files being received are named so in the mirror directory (outside ROOT).
inline constexpr std::string_view kSpoolPrefix = ".~rx-";

// Text that came from a peer (names, IDs, error texts) as it may be logged: every control
// character shown as \xNN, so it can never start a log line of its own.
std::string PeerText(std::string_view text);

// The text of an operating-system error for the log; a full disk says so in plain words.
std::string SystemErrorText(int error);

// The longest prefix of a UTF-8 text that has at most `maxBytes` bytes and ends on a character.
std::string Utf8Prefix(std::string_view text, size_t maxBytes);

// A list of name=value lines, the name being a concentrator ID text. Not locked itself.
class NameValueTable {
  public:
    std::optional<std::string> Value(std::string_view name) const;
    // Replaces the value of the line with that name, or appends a line. Returns the previous
    // value, nullopt when the line is new.
    std::optional<std::string> Set(std::string_view name, std::string value);
    size_t Size() const { return lines_.size(); }

  private:
    std::vector<std::pair<std::string, std::string>> lines_;
};

class TFileSync;

// Addresses that keep guessing concentrator IDs: more than kUnknownIdLimit unknown IDs from one
// address within a minute and the address is not answered for kUnknownIdBlockMinutes.
inline constexpr int kUnknownIdLimit = 10;
inline constexpr int kUnknownIdBlockMinutes = 10;

class AddressGuard {
  public:
    // Notes an unknown ID from the address; true exactly when this one blocks the address.
    bool NoteUnknownId(const std::string& address);
    bool Blocked(const std::string& address);

  private:
    struct Record {
        std::vector<std::chrono::system_clock::time_point> unknownIds;  // within the last minute
        std::chrono::system_clock::time_point blockedUntil{};
    };
    std::mutex mutex_;
    std::unordered_map<std::string, Record> records_;
};

// A concentrator's session is kept while it has received a frame within this many timeout
// ticks (seconds): a second connection with its ID is refused meanwhile.
inline constexpr int kSessionQuietSeconds = 30;

class LinkShared {
  public:
    explicit LinkShared(std::filesystem::path programDir);

    const std::filesystem::path& ProgramDir() const { return programDir_; }

    // Guards lastAddress and clockKey.
    std::mutex linkLock;
    // Held while a completed received file is handled, and while a mirror directory is deleted.
    std::mutex fileLock;
    // ID text -> peer address of the last successful handshake.
    NameValueTable lastAddress;
    // ID text -> clock key of the last handshake.
    NameValueTable clockKey;

    // The sync object holding the session of each concentrator ID; guarded by sessionsMutex.
    std::mutex sessionsMutex;
    std::unordered_map<uint32_t, TFileSync*> sessions;
    AddressGuard addressGuard;

    std::atomic<int32_t> filesIn{0};
    std::atomic<int32_t> filesOut{0};

    // The figures of every concentrator's last session (the network state).
    SessionRegistry sessionFigures;

    // The handler of completed received files; StoreReceivedFilesHandler until another is set.
    std::shared_ptr<ReceivedFileHandler> Handler() const;
    void SetHandler(std::shared_ptr<ReceivedFileHandler> handler);

    // The last address of a concentrator, read under the link lock.
    std::optional<std::string> LastAddress(std::string_view ctrId);
    // Records the clock key of a concentrator under the link lock.
    void SetClockKey(std::string_view ctrId, std::string key);
    // Deletes a concentrator's mirror directory while holding the file lock, so that no
    // received file is being handled in it meanwhile.
    void DeleteMirror(std::string_view ctrId);

  private:
    std::filesystem::path programDir_;
    mutable std::mutex handlerMutex_;
    std::shared_ptr<ReceivedFileHandler> handler_;
};

}  // namespace zb::link
