#pragma once
// Test doubles for the core's outward interfaces: they record what the server would have shown
// or logged, and answer questions as the test says.
#include <mutex>
#include <string>
#include <vector>

#include "base/log.h"
#include "base/operator_messages.h"

namespace zb::testing {

// A list of texts that several threads add to and read.
class Texts {
  public:
    void Add(const std::string& text) {
        std::lock_guard lock(mutex_);
        texts_.push_back(text);
    }
    std::vector<std::string> All() const {
        std::lock_guard lock(mutex_);
        return texts_;
    }
    void Clear() {
        std::lock_guard lock(mutex_);
        texts_.clear();
    }

  private:
    mutable std::mutex mutex_;
    std::vector<std::string> texts_;
};

// Records operator messages; Confirm answers with `answer`.
class MessageRecorder : public base::OperatorMessages {
  public:
    void Warning(const std::string& text) override { warnings_.Add(text); }
    void Error(const std::string& text) override { errors_.Add(text); }
    bool Confirm(const std::string& text) override {
        questions_.Add(text);
        return answer;
    }
    std::vector<std::string> warnings() const { return warnings_.All(); }
    std::vector<std::string> errors() const { return errors_.All(); }
    std::vector<std::string> questions() const { return questions_.All(); }
    bool answer = true;

  private:
    Texts warnings_, errors_, questions_;
};

// Installs itself as the log sink for its lifetime and keeps the texts (without the time prefix).
class LogRecorder {
  public:
    LogRecorder();
    ~LogRecorder();
    std::vector<std::string> lines() const { return lines_.All(); }
    bool Contains(const std::string& text) const;

  private:
    Texts lines_;
    base::LogSink previous_;
};

}  // namespace zb::testing
