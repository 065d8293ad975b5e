#include "server/command_line.h"

#include <charconv>

namespace zb::server {
namespace {

std::optional<uint16_t> ParsePort(const std::string& text) {
    unsigned value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    // Port 0 lets the system choose (tests and tools read the bound port from the log).
    if (ec != std::errc() || ptr != end || text.empty() || value > 65535) {
        return std::nullopt;
    }
    return static_cast<uint16_t>(value);
}

std::optional<int64_t> ParseWorkUid(const std::string& text) {
    int64_t value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc() || ptr != end || text.empty() || value < 0) {
        return std::nullopt;
    }
    return value;
}

}  // namespace

std::string UsageText() {
    return "Usage: zarnicbox [--dir DIR] [--port PORT] [--headless] [--version] [--help]\n"
           "       zarnicbox [--dir DIR] --export-work UID [--output FILE]\n"
           "  --dir DIR     program directory (default: the executable's directory)\n"
           "  --port PORT   TCP port of the concentrator link (default 1234; 0 = any free)\n"
           "  --headless    run without a window; log lines go to standard output;\n"
           "                SIGINT or SIGTERM shuts down\n"
           "  --version     print the product name and version and exit\n"
           "  --help        print this text and exit\n"
           "  --export-work UID  write the results of the work as CSV (UTF-8) and exit\n"
           "  --output FILE      the CSV file (default: standard output)\n";
}

CommandLineResult ParseCommandLine(const std::vector<std::string>& args) {
    CommandLine options;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool hasValue = i + 1 < args.size();
        if (arg == "--headless") {
            options.headless = true;
        } else if (arg == "--version") {
            options.version = true;
        } else if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--dir") {
            if (!hasValue || args[i + 1].empty()) {
                return {std::nullopt, "zarnicbox: --dir needs a directory"};
            }
            options.programDir = args[++i];
        } else if (arg == "--port") {
            if (!hasValue) {
                return {std::nullopt, "zarnicbox: --port needs a number from 0 to 65535"};
            }
            const auto port = ParsePort(args[++i]);
            if (!port) {
                return {std::nullopt,
                        "zarnicbox: port out of range: " + args[i] + " (a number from 0 to 65535)"};
            }
            options.port = *port;
        } else if (arg == "--export-work") {
            const auto uid = hasValue ? ParseWorkUid(args[++i]) : std::nullopt;
            if (!uid) {
                return {std::nullopt, "zarnicbox: --export-work needs a work UID (a number)"};
            }
            options.exportWork = uid;
        } else if (arg == "--output") {
            if (!hasValue || args[i + 1].empty()) {
                return {std::nullopt, "zarnicbox: --output needs a file name"};
            }
            options.output = args[++i];
        } else {
            return {std::nullopt, "zarnicbox: unknown option " + arg + " (see --help)"};
        }
    }
    if (!options.output.empty() && !options.exportWork) {
        return {std::nullopt, "zarnicbox: --output goes with --export-work"};
    }
    return {options, {}};
}

}  // namespace zb::server
