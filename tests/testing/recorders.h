#pragma once
// Test doubles for the core's outward interfaces: they record what the server would have shown
// or logged, and answer questions as the test says.
#include <mutex>
#include <string>
#include <vector>

#include "base/log.h"
#include "base/operator_messages.h"

namespace zb::testing {

// Records operator messages; Confirm answers with `answer`.
class MessageRecorder : public base::OperatorMessages {
  public:
    void Warning(const std::string& text) override;
    void Error(const std::string& text) override;
    bool Confirm(const std::string& text) override;

    std::vector<std::string> warnings() const;
    std::vector<std::string> errors() const;
    std::vector<std::string> questions() const;
    bool answer = true;

  private:
    mutable std::mutex mutex_;
    std::vector<std::string> warnings_, errors_, questions_;
};

// Installs itself as the log sink for its lifetime and keeps the texts (without the time prefix).
class LogRecorder {
  public:
    LogRecorder();
    ~LogRecorder();
    std::vector<std::string> lines() const;
    bool Contains(const std::string& text) const;

  private:
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
    base::LogSink previous_;
};

}  // namespace zb::testing
