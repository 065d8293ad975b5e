#include "base/log.h"

#include <mutex>

#include "base/clock.h"

namespace zb::base {
namespace {
std::mutex g_logMutex;
LogSink g_sink;
}  // namespace

std::string FormatLogLine(const std::string& text) {
    return FormatLongTime(LocalNow()) + ": " + text;
}

void LogLine(const std::string& text, int /*level*/) {
    // The time is taken under the lock, so lines keep both call order and time order.
    std::lock_guard lock(g_logMutex);
    if (g_sink) {
        g_sink(FormatLogLine(text));
    }
}

LogSink SetLogSink(LogSink sink) {
    std::lock_guard lock(g_logMutex);
    std::swap(g_sink, sink);
    return sink;
}

}  // namespace zb::base
