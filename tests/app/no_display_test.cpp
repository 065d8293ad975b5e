// Without a display the program says so and serves headless.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>

#include "testing/process.h"
#include "testing/temp_dir.h"

namespace zb::apptest {
namespace {

TEST(NoDisplay, ProgramSaysSoAndRunsHeadless) {
    for (const char* display : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        unsetenv(display);
    }
    testing::TempDir dir;
    testing::ChildProcess server(testing::ServerExecutable(),
                                 {"--dir", dir.path().string(), "--port", "0"});
    for (const char* text : {"no display", "headless"}) {
        const auto line = server.WaitForLine(
            [text](const std::string& line) { return line.find(text) != std::string::npos; },
            std::chrono::seconds(20));
        EXPECT_TRUE(line.has_value()) << text << "\n" << server.output();
    }
    server.Signal(SIGTERM);
    EXPECT_EQ(server.Wait(), 0) << server.output();
    EXPECT_TRUE(std::filesystem::exists(dir.path() / "ZarnicBox.db"));
}

}  // namespace
}  // namespace zb::apptest
