#pragma once
// What the benchmarks that drive the link server in this process share: the ticks, a clock
// command already sent, and stamps taken from the server's log lines.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <optional>
#include <string>
#include <thread>

#include "base/clock.h"
#include "base/log.h"
#include "link/link_server.h"

namespace zb::bench {

// Ticks the server every `ms` milliseconds (the close countdowns) until destroyed, keeping the
// peak connection count.
class Ticker {
  public:
    explicit Ticker(link::LinkServer& server, int ms = 10)
        : thread_([this, &server, ms] {
              while (running_) {
                  server.Tick();
                  peak_ = std::max(peak_.load(), server.ConnectionCount());
                  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
              }
          }) {}
    ~Ticker() {
        running_ = false;
        thread_.join();
    }
    size_t Peak() const { return peak_; }

  private:
    std::atomic<bool> running_{true};
    std::atomic<size_t> peak_{0};
    std::thread thread_;
};

// The concentrator's clock counts as set for this half day: nothing waits to be sent to it.
inline void ClockAlreadySet(link::LinkServer& server, const std::string& id) {
    server.SetClockKey(id, std::to_string(base::RoundHalfEven(base::ToDateTime(base::LocalNow()))));
}

// While it lives, the times of the handshake line and of the last log line holding `marker`.
// Read them after Stop(). The log calls its sink under its own lock, one line at a time.
class LogStamps {
  public:
    using Clock = std::chrono::steady_clock;
    explicit LogStamps(std::string marker) : marker_(std::move(marker)) {
        base::SetLogSink([this](const std::string& line) {
            const auto now = Clock::now();
            if (line.find("HANDSHAKE OK") != std::string::npos) {
                handshake = now;
            }
            if (line.find(marker_) != std::string::npos) {
                marked = now;
            }
        });
    }
    ~LogStamps() { Stop(); }
    void Stop() { base::SetLogSink(nullptr); }

    std::optional<Clock::time_point> handshake;
    std::optional<Clock::time_point> marked;

  private:
    std::string marker_;
};

}  // namespace zb::bench
