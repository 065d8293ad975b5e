#include "link/link_shared.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

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

}  // namespace zb::link
