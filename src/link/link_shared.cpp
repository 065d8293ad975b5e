#include "link/link_shared.h"

#include "link/mirror.h"

namespace zb::link {

std::optional<std::string> NameValueTable::Value(std::string_view name) const {
    for (const auto& [n, v] : lines_) {
        if (n == name) {
            return v;
        }
    }
    return std::nullopt;
}

std::optional<std::string> NameValueTable::Set(std::string_view name, std::string value) {
    for (auto& [n, v] : lines_) {
        if (n == name) {
            std::string previous = std::move(v);
            v = std::move(value);
            return previous;
        }
    }
    lines_.emplace_back(std::string(name), std::move(value));
    return std::nullopt;
}

LinkShared::LinkShared(std::filesystem::path programDir)
    : programDir_(std::move(programDir)), handler_(std::make_shared<StoreReceivedFilesHandler>()) {}

std::shared_ptr<ReceivedFileHandler> LinkShared::Handler() const {
    std::lock_guard lock(handlerMutex_);
    return handler_;
}

void LinkShared::SetHandler(std::shared_ptr<ReceivedFileHandler> handler) {
    std::lock_guard lock(handlerMutex_);
    handler_ = handler ? std::move(handler) : std::make_shared<StoreReceivedFilesHandler>();
}

std::optional<std::string> LinkShared::LastAddress(std::string_view ctrId) {
    std::lock_guard lock(linkLock);
    return lastAddress.Value(ctrId);
}

void LinkShared::SetClockKey(std::string_view ctrId, std::string key) {
    std::lock_guard lock(linkLock);
    clockKey.Set(ctrId, std::move(key));
}

void LinkShared::DeleteMirror(std::string_view ctrId) {
    std::lock_guard lock(fileLock);
    DeleteMirrorTree(MirrorDir(programDir_, ctrId));
}

}  // namespace zb::link
