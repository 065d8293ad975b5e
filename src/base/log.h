#pragma once
// The log of protocol and catalogue events. Any thread may call LogLine; each call becomes one
// whole line "<local long time>: <text>" delivered to the sink in call order. The window shows the
// lines on its log page; headless, they go to standard output.
#include <functional>
#include <string>

namespace zb::base {

using LogSink = std::function<void(const std::string& line)>;

// Callers pass a level of 1 or 2; it does not change the line.
void LogLine(const std::string& text, int level = 1);

// Installs the receiver of log lines; an empty sink drops them. Returns the previous sink.
LogSink SetLogSink(LogSink sink);

// Builds the line LogLine delivers for a text at the current time.
std::string FormatLogLine(const std::string& text);

}  // namespace zb::base
