#pragma once
// Frames, waits and a raw client shared by the link tests.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "link/frame.h"

namespace zb::linktest {

using Bytes = std::vector<uint8_t>;

// "b1 00 ff" -> bytes; spaces are ignored.
inline Bytes Hex(std::string text) {
    std::erase(text, ' ');
    Bytes out;
    for (size_t i = 0; i + 1 < text.size(); i += 2) {
        out.push_back(static_cast<uint8_t>(std::stoi(text.substr(i, 2), nullptr, 16)));
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

// A bare TCP client: it sends exactly the bytes a test builds, so it can misbehave in ways the
// simulator never would.
class RawClient {
  public:
    // To 127.0.0.1, from the loopback address given (any when null).
    explicit RawClient(uint16_t port, const char* from = nullptr) {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        if (fd_ >= 0 && from != nullptr) {
            ::inet_pton(AF_INET, from, &address.sin_addr);
            ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        }
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (fd_ < 0 || ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            throw std::runtime_error("cannot connect to port " + std::to_string(port));
        }
        const int one = 1;
        ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        const timeval tenSeconds{10, 0};
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tenSeconds, sizeof tenSeconds);
    }
    ~RawClient() { ::close(fd_); }
    RawClient(const RawClient&) = delete;
    RawClient& operator=(const RawClient&) = delete;

    void Send(const std::vector<uint8_t>& bytes) {
        if (::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) != ssize_t(bytes.size())) {
            throw std::runtime_error("send failed");
        }
    }
    // Exactly n bytes; throws when the connection ends or nothing comes for 10 s.
    std::vector<uint8_t> ReadExact(size_t n) {
        std::vector<uint8_t> out(n);
        if (::recv(fd_, out.data(), n, MSG_WAITALL) != ssize_t(n)) {
            throw std::runtime_error("connection ended or nothing received for 10 s");
        }
        return out;
    }
    // True when the server has closed the connection within the time given; bytes still
    // arriving meanwhile are read and dropped.
    bool WaitClosed(std::chrono::milliseconds timeout) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        uint8_t buffer[65536];
        while (Readable(std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now()))) {
            if (::recv(fd_, buffer, sizeof buffer, 0) <= 0) {
                return true;
            }
        }
        return false;
    }
    // True when nothing arrives and the connection stays open for the time given.
    bool StaysQuiet(std::chrono::milliseconds time) { return !Readable(time); }

  private:
    bool Readable(std::chrono::milliseconds timeout) {
        pollfd p{fd_, POLLIN, 0};
        return timeout.count() > 0 && ::poll(&p, 1, static_cast<int>(timeout.count())) > 0;
    }
    int fd_ = -1;
};

}  // namespace zb::linktest
