#pragma once
// Frames and waits shared by the link tests.
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "link/frame.h"

namespace zb::linktest {

using Bytes = std::vector<uint8_t>;

// "b1 00 ff" -> bytes; spaces are ignored.
inline Bytes Hex(const std::string& text) {
    Bytes out;
    for (size_t i = 0; i + 1 < text.size();) {
        if (text[i] == ' ') {
            ++i;
            continue;
        }
        out.push_back(static_cast<uint8_t>(std::stoi(text.substr(i, 2), nullptr, 16)));
        i += 2;
    }
    return out;
}

// The server's opening frame, byte for byte.
inline const Bytes kHandshakeRequestBytes =
    Hex("b1 00 00 00 ff ff ff ff 03 00 00 00 b0 00 00 00 00 00 00 80 03 00 00 00");

inline Bytes NameFrame(uint8_t seq, const std::string& name, uint32_t linkId = link::kNoLinkId) {
    Bytes out;
    link::BuildFileNameRequest(out, linkId, seq, name);
    return out;
}

inline Bytes BlockFrame(uint8_t seq, uint32_t offset, uint32_t total, const std::string& data,
                        uint32_t linkId = link::kNoLinkId) {
    Bytes out;
    link::BuildDataRequest(out, linkId, seq, offset, total,
                           reinterpret_cast<const uint8_t*>(data.data()), data.size());
    return out;
}

inline Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& part : parts) {
        out.insert(out.end(), part.begin(), part.end());
    }
    return out;
}

inline bool WaitFor(const std::function<bool()>& condition,
                    std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

}  // namespace zb::linktest
