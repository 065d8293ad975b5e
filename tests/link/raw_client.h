#pragma once
// A bare TCP client for the link tests: it sends exactly the bytes a test builds, so it can
// misbehave in ways the simulator never would.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace zb::linktest {

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
        for (size_t done = 0; done < n;) {
            if (!Readable(std::chrono::seconds(10))) {
                throw std::runtime_error("nothing received for 10 s");
            }
            const ssize_t got = ::recv(fd_, out.data() + done, n - done, 0);
            if (got <= 0) {
                throw std::runtime_error("connection ended");
            }
            done += static_cast<size_t>(got);
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
