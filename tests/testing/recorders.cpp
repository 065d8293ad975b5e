#include "testing/recorders.h"

#include <algorithm>

namespace zb::testing {

LogRecorder::LogRecorder() {
    previous_ = base::SetLogSink([this](const std::string& line) {
        // Drop the "<time>: " prefix so tests compare the texts alone.
        const auto colon = line.find(": ");
        lines_.Add(colon == std::string::npos ? line : line.substr(colon + 2));
    });
}

LogRecorder::~LogRecorder() {
    base::SetLogSink(previous_);
}

bool LogRecorder::Contains(const std::string& text) const {
    const std::vector<std::string> all = lines_.All();
    return std::find(all.begin(), all.end(), text) != all.end();
}

}  // namespace zb::testing
