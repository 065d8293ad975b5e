// Starts the real executable as an operator or a service manager would.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>

#include "link_test_util.h"
#include "server/runtime.h"
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

TEST(Headless, OutOfDescriptorsTheServerSaysSoOnceAndServesAgainWhenSomeEnd) {
#if defined(__SANITIZE_ADDRESS__)
    // The sanitizers test memory through a pipe of their own; without a free descriptor they
    // report every virtual call as invalid.
    GTEST_SKIP() << "needs a build without sanitizers";
#endif
    TempDir dir;
    fs::create_directories(dir / "CTR/CTR_00A1/ROOT/WORK/INBOX");
    fs::create_directories(dir / "CTR/CTR_00A1/ROOT/INFO/METERS");
    // 64 descriptors, soft and hard: the start cannot raise them.
    std::unique_ptr<ChildProcess> server;
    const uint16_t port = StartHeadless(server, dir.path(), {"/usr/bin/prlimit", "--nofile=64:64"});
    std::vector<std::unique_ptr<linktest::RawClient>> idle;
    for (int i = 0; i < 100; ++i) {
        idle.push_back(std::make_unique<linktest::RawClient>(port));
    }
    const std::string refused = "Соединение не принято: нет свободных дескрипторов файлов";
    auto has = [&](const std::string& line) { return line.find(refused) != std::string::npos; };
    EXPECT_TRUE(server->WaitForLine(has, 20s)) << server->output();
    idle.clear();
    TempDir ctr;
    WriteFile(ctr / "ROOT/INFO/METERS/m.xml", "<m/>");
    ChildProcess sim(ZB_CTR_SIM_PATH, {"--port", std::to_string(port), "--id", "00A1", "--root",
                                       ctr.path().string(), "--timeout", "60", "--quiet"});
    ASSERT_EQ(sim.Wait(60s), 0) << sim.output() << server->output();
    EXPECT_EQ(ReadFile(dir / "CTR/CTR_00A1/ROOT/INFO/METERS/m.xml"), "<m/>");
    server->Signal(SIGTERM);
    EXPECT_EQ(server->Wait(), 0);
    const std::string& out = server->output();  // the link's lines go to standard output
    EXPECT_NE(out.find(": CtrID = 00A1 <--> HANDSHAKE OK, IP = 127.0.0.1\n"), std::string::npos);
    EXPECT_EQ(out.find(refused), out.rfind(refused)) << "logged once a minute";
}

TEST(Runtime, TheOpenFileLimitIsRaisedToTheHardLimit) {
    rlimit limit{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &limit), 0);
    rlimit lowered = limit;
    lowered.rlim_cur = std::min<rlim_t>(limit.rlim_max, 256);
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &lowered), 0);
    EXPECT_EQ(server::RaiseOpenFileLimit(), limit.rlim_max);
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &lowered), 0);
    EXPECT_EQ(lowered.rlim_cur, limit.rlim_max);
}

}  // namespace
}  // namespace zb::testing
