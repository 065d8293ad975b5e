#include "link/link_shared.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "base/clock.h"
#include "link/mirror.h"

namespace zb::link {

std::string PeerText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out;
}

std::string SystemErrorText(int error) {
    if (error == ENOSPC || error == EDQUOT) {
        return "нет места на диске";
    }
    return std::strerror(error);
}

std::string Utf8Prefix(std::string_view text, size_t maxBytes) {
    if (text.size() <= maxBytes) {
        return std::string(text);
    }
    size_t end = maxBytes;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) {
        --end;  // never cut inside a character
    }
    return std::string(text.substr(0, end));
}

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

bool AddressGuard::NoteUnknownId(const std::string& address) {
    const auto now = base::Clock::Now();
    std::lock_guard lock(mutex_);
    // Forget addresses that have been quiet for long, so the table cannot grow without end.
    if (records_.size() > 4096) {
        std::erase_if(records_, [&](const auto& entry) {
            return entry.second.blockedUntil < now &&
                   (entry.second.unknownIds.empty() ||
                    entry.second.unknownIds.back() < now - std::chrono::minutes(1));
        });
    }
    Record& record = records_[address];
    std::erase_if(record.unknownIds,
                  [&](const auto& t) { return t < now - std::chrono::minutes(1); });
    record.unknownIds.push_back(now);
    if (static_cast<int>(record.unknownIds.size()) > kUnknownIdLimit && record.blockedUntil < now) {
        record.blockedUntil = now + std::chrono::minutes(kUnknownIdBlockMinutes);
        record.unknownIds.clear();
        return true;
    }
    return false;
}

bool AddressGuard::Blocked(const std::string& address) {
    std::lock_guard lock(mutex_);
    const auto it = records_.find(address);
    return it != records_.end() && base::Clock::Now() < it->second.blockedUntil;
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
