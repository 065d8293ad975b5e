#pragma once
// State shared by all connections of the link: the program directory, the two name=value
// tables, the link lock and the file lock, the files in/out counters and the handler of
// received files.
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "link/received_file_handler.h"

namespace zb::link {

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

    std::atomic<int32_t> filesIn{0};
    std::atomic<int32_t> filesOut{0};

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
