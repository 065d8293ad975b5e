#pragma once
// zarnicbox [--dir DIR] [--port PORT] [--headless] [--version] [--help]
// zarnicbox [--dir DIR] --export-work UID [--output FILE]
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace zb::server {

struct CommandLine {
    std::filesystem::path programDir;  // empty: the executable's directory
    uint16_t port = 1234;
    bool headless = false;
    bool version = false;
    bool help = false;
    // The results export without a window: the work's UID, and the file (empty: standard output).
    std::optional<int64_t> exportWork;
    std::filesystem::path output;
};

struct CommandLineResult {
    std::optional<CommandLine> options;  // set when the arguments were understood
    std::string error;                   // one line, when they were not
};

CommandLineResult ParseCommandLine(const std::vector<std::string>& args);
std::string UsageText();

}  // namespace zb::server
