#include "testing/recorders.h"

#include <algorithm>

namespace zb::testing {

void MessageRecorder::Warning(const std::string& text) {
    std::lock_guard lock(mutex_);
    warnings_.push_back(text);
}
void MessageRecorder::Error(const std::string& text) {
    std::lock_guard lock(mutex_);
    errors_.push_back(text);
}
bool MessageRecorder::Confirm(const std::string& text) {
    std::lock_guard lock(mutex_);
    questions_.push_back(text);
    return answer;
}
std::vector<std::string> MessageRecorder::warnings() const {
    std::lock_guard lock(mutex_);
    return warnings_;
}
std::vector<std::string> MessageRecorder::errors() const {
    std::lock_guard lock(mutex_);
    return errors_;
}
std::vector<std::string> MessageRecorder::questions() const {
    std::lock_guard lock(mutex_);
    return questions_;
}

LogRecorder::LogRecorder() {
    previous_ = base::SetLogSink([this](const std::string& line) {
        // Drop the "<time>: " prefix so tests compare the texts alone.
        const auto colon = line.find(": ");
        std::lock_guard lock(mutex_);
        lines_.push_back(colon == std::string::npos ? line : line.substr(colon + 2));
    });
}

LogRecorder::~LogRecorder() {
    base::SetLogSink(previous_);
}

std::vector<std::string> LogRecorder::lines() const {
    std::lock_guard lock(mutex_);
    return lines_;
}

bool LogRecorder::Contains(const std::string& text) const {
    std::lock_guard lock(mutex_);
    return std::find(lines_.begin(), lines_.end(), text) != lines_.end();
}

}  // namespace zb::testing
