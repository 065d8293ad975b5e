// Without a display the program says so and serves headless.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>

#include "app/run_window.h"
#include "testing/process.h"
#include "testing/temp_dir.h"

namespace zb::apptest {
namespace {

void ClearDisplay() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        unsetenv(name);
    }
}

TEST(NoDisplay, AnyOfTheThreeVariablesIsADisplay) {
    ClearDisplay();
    EXPECT_FALSE(app::HasDisplay());
    setenv("WAYLAND_DISPLAY", "", 1);
    EXPECT_FALSE(app::HasDisplay());
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        setenv(name, "x", 1);
        EXPECT_TRUE(app::HasDisplay()) << name;
        unsetenv(name);
    }
}

TEST(NoDisplay, ProgramSaysSoAndRunsHeadless) {
    ClearDisplay();
    testing::TempDir dir;
    testing::ChildProcess server(testing::ServerExecutable(),
                                 {"--dir", dir.path().string(), "--port", "0"});
    EXPECT_TRUE(server
                    .WaitForLine(
                        [](const std::string& line) {
                            return line.find("no display") != std::string::npos;
                        },
                        std::chrono::seconds(20))
                    .has_value())
        << server.output();
    EXPECT_TRUE(
        server
            .WaitForLine(
                [](const std::string& line) { return line.find("headless") != std::string::npos; },
                std::chrono::seconds(20))
            .has_value())
        << server.output();
    server.Signal(SIGTERM);
    EXPECT_EQ(server.Wait(), 0) << server.output();
    EXPECT_TRUE(std::filesystem::exists(dir.path() / "ZarnicBox.db"));
}

}  // namespace
}  // namespace zb::apptest
