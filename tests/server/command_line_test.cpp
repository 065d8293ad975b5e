#include "server/command_line.h"

#include <gtest/gtest.h>

namespace zb::server {
namespace {

TEST(CommandLine, DefaultsAndEveryOption) {
    auto r = ParseCommandLine({});
    ASSERT_TRUE(r.options);
    EXPECT_EQ(r.options->port, 1234);
    EXPECT_FALSE(r.options->headless);
    EXPECT_TRUE(r.options->programDir.empty());

    r = ParseCommandLine({"--dir", "/srv/zb", "--port", "4321", "--headless"});
    ASSERT_TRUE(r.options);
    EXPECT_EQ(r.options->programDir, "/srv/zb");
    EXPECT_EQ(r.options->port, 4321);
    EXPECT_TRUE(r.options->headless);
    EXPECT_TRUE(ParseCommandLine({"--version"}).options->version);
    EXPECT_TRUE(ParseCommandLine({"--help"}).options->help);
    EXPECT_EQ(ParseCommandLine({"--port", "65535"}).options->port, 65535);
    EXPECT_EQ(ParseCommandLine({"--port", "0"}).options->port, 0);
}

TEST(CommandLine, RefusesWithOneLine) {
    for (const auto& args : std::vector<std::vector<std::string>>{{"--port", "65536"},
                                                                  {"--port", "-1"},
                                                                  {"--port", "12ab"},
                                                                  {"--port", ""},
                                                                  {"--port"},
                                                                  {"--dir"},
                                                                  {"--frobnicate"},
                                                                  {"headless"}}) {
        const auto r = ParseCommandLine(args);
        EXPECT_FALSE(r.options) << args.front();
        EXPECT_FALSE(r.error.empty());
        EXPECT_EQ(r.error.find('\n'), std::string::npos);
    }
}

}  // namespace
}  // namespace zb::server
