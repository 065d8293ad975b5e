#include "server/command_line.h"

#include <gtest/gtest.h>

namespace zb::server {
namespace {

// What the arguments become: "dir port" and the flags set, or "refused" with a one-line error.
std::string Parsed(const std::vector<std::string>& args) {
    const auto r = ParseCommandLine(args);
    if (!r.options) {
        return !r.error.empty() && r.error.find('\n') == std::string::npos ? "refused" : r.error;
    }
    const CommandLine& o = *r.options;
    return o.programDir.string() + " " + std::to_string(o.port) + (o.headless ? " headless" : "") +
           (o.version ? " version" : "") + (o.help ? " help" : "");
}

TEST(CommandLine, DefaultsEveryOptionAndTheRefusals) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{}, " 1234"},
        {{"--dir", "/srv/zb", "--port", "4321", "--headless"}, "/srv/zb 4321 headless"},
        {{"--version"}, " 1234 version"},
        {{"--help"}, " 1234 help"},
        {{"--port", "65535"}, " 65535"},
        {{"--port", "0"}, " 0"},
        {{"--port", "65536"}, "refused"},
        {{"--port", "-1"}, "refused"},
        {{"--port", "12ab"}, "refused"},
        {{"--port", ""}, "refused"},
        {{"--port"}, "refused"},
        {{"--dir"}, "refused"},
        {{"--frobnicate"}, "refused"},
        {{"headless"}, "refused"},
    };
    for (const auto& [args, parsed] : cases) {
        EXPECT_EQ(Parsed(args), parsed) << (args.empty() ? "" : args.front());
    }
}

}  // namespace
}  // namespace zb::server
