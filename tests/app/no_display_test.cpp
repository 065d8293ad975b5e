// Without a display the program says so and serves headless.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>

#include <algorithm>

#include "app/run_window.h"
#include "testing/process.h"
#include "testing/temp_dir.h"

namespace zb::apptest {
namespace {

const char* const kDisplayVariables[] = {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"};

void ClearDisplay() {
    std::for_each(std::begin(kDisplayVariables), std::end(kDisplayVariables), unsetenv);
}

TEST(NoDisplay, AnyOfTheThreeVariablesIsADisplay) {
    ClearDisplay();
    EXPECT_FALSE(app::HasDisplay());
    setenv("WAYLAND_DISPLAY", "", 1);
    EXPECT_FALSE(app::HasDisplay());
    for (const char* name : kDisplayVariables) {
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
