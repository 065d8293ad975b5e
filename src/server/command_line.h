#pragma once
// zarnicbox [--dir DIR] [--port PORT] [--headless] [--version] [--help]
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
};

struct CommandLineResult {
    std::optional<CommandLine> options;  // set when the arguments were understood
    std::string error;                   // one line, when they were not
};

CommandLineResult ParseCommandLine(const std::vector<std::string>& args);
std::string UsageText();

}  // namespace zb::server
