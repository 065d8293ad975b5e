// Starts the real executable as an operator or a service manager would.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <algorithm>

#include "link_test_util.h"
#include "testing/process.h"
#include "testing/temp_dir.h"

namespace zb::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Starts the program headless on an ephemeral port under `prefix` (a command that runs it) and
// returns the port its start line names.
uint16_t StartHeadless(std::unique_ptr<ChildProcess>& server, const fs::path& dir,
                       std::vector<std::string> prefix = {}) {
    const std::vector<std::string> args = {
        ServerExecutable().string(), "--headless", "--dir", dir.string(), "--port", "0"};
    prefix.insert(prefix.end(), args.begin(), args.end());
    server = std::make_unique<ChildProcess>(
        prefix.front(), std::vector<std::string>(prefix.begin() + 1, prefix.end()));
    const auto start = server->WaitForLine(
        [](const std::string& line) {
            return line.find("ZarnicBox Rev.0.3.24 headless") != std::string::npos;
        },
        60s);
    EXPECT_TRUE(start) << server->output();
    return start ? static_cast<uint16_t>(std::stoi(start->substr(start->rfind("port ") + 5))) : 0;
}

// The program keeps a copy of its executable, replacing a read-only one, and stops cleanly on
// SIGINT as on SIGTERM. (What a first and a later start do to the database is tested in
// tests/storage, and with the program in tests/app/no_display_test.cpp and the package test.)
TEST(Headless, KeepsACopyOfItsExecutableAndStopsOnSigint) {
    TempDir dir;
    const auto copy = dir / "ZarnicBox.Rev.0.3.24";
    WriteFile(copy, "stale");
    chmod(copy.c_str(), 0444);
    std::unique_ptr<ChildProcess> server;
    StartHeadless(server, dir.path());
    server->Signal(SIGINT);
    EXPECT_EQ(server->Wait(), 0);
    EXPECT_EQ(fs::file_size(copy), fs::file_size(ServerExecutable()));
    EXPECT_TRUE(fs::exists(dir / "ZarnicBox.db"));
}

// Started with 64 descriptors of at most 128, the program raises its limit to 128; once they
// are used up too, it says so once and serves again when some connections end.
TEST(Headless, OutOfDescriptorsTheServerSaysSoOnceAndServesAgainWhenSomeEnd) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "without a free descriptor for their pipe the sanitizers fail every call";
#endif
    TempDir dir;
    std::unique_ptr<ChildProcess> server;
    const uint16_t port =
        StartHeadless(server, dir.path(), {"/usr/bin/prlimit", "--nofile=64:128"});
    std::vector<std::unique_ptr<linktest::RawClient>> idle(160);
    for (auto& client : idle) {
        client = std::make_unique<linktest::RawClient>(port);
    }
    const std::string refused = "Соединение не принято: нет свободных дескрипторов файлов";
    auto has = [&](const std::string& line) { return line.find(refused) != std::string::npos; };
    EXPECT_TRUE(server->WaitForLine(has, 20s)) << server->output();
    EXPECT_GT(std::count_if(idle.begin(), idle.end(), [](auto& c) { return !c->StaysQuiet(50ms); }),
              64);
    idle.clear();
    linktest::RawClient served(port);
    EXPECT_EQ(served.ReadExact(24), linktest::kHandshakeRequestBytes);
    server->Signal(SIGTERM);
    EXPECT_EQ(server->Wait(), 0);
    const std::string& out = server->output();  // the link's lines go to standard output
    EXPECT_EQ(out.find(refused), out.rfind(refused)) << "logged once a minute";
}

}  // namespace
}  // namespace zb::testing
