#pragma once
// A bare TCP client for the link tests: it sends exactly the bytes a test builds, so it can
// misbehave in ways the simulator never would.
#include <chrono>
#include <cstdint>
#include <vector>

namespace zb::linktest {

using Bytes = std::vector<uint8_t>;

class RawClient {
  public:
    // To 127.0.0.1, from the loopback address given (any when null).
    explicit RawClient(uint16_t port, const char* from = nullptr);
    ~RawClient();
    RawClient(const RawClient&) = delete;
    RawClient& operator=(const RawClient&) = delete;

    void Send(const Bytes& bytes);
    // Exactly n bytes; throws when the connection ends or nothing comes for 10 s.
    Bytes ReadExact(size_t n);
    // One whole frame, by the word count of its header.
    Bytes ReadFrame();
    // True when the server has closed the connection within the time given; bytes still
    // arriving meanwhile are read and dropped.
    bool WaitClosed(std::chrono::milliseconds timeout);
    // True when nothing arrives and the connection stays open for the time given.
    bool StaysQuiet(std::chrono::milliseconds time);

  private:
    int fd_ = -1;
};

}  // namespace zb::linktest
