// Starts the real executable as an operator or a service manager would.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>

#include "raw_client.h"
#include "server/runtime.h"
#include "storage/sqlite_database.h"
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

int RunConcentrator(uint16_t port, const fs::path& root) {
    ChildProcess sim(ZB_CTR_SIM_PATH, {"--port", std::to_string(port), "--id", "00A1", "--root",
                                       root.string(), "--timeout", "60", "--quiet"});
    const int code = sim.Wait(60s);
    EXPECT_EQ(code, 0) << sim.output();
    return code;
}

// The schema and the operators of a database file, as text.
std::string DatabaseOf(const fs::path& db) {
    storage::TSQLiteDatabase conn(db.string());
    std::string all;
    for (auto t = conn.QueryTable("SELECT type,name,sql from sqlite_master UNION ALL "
                                  "SELECT 'operator',UID,Name from Operator");
         !t->AtEnd(); t->Next()) {
        all += t->FieldText(0) + "|" + t->FieldText(1) + "|" + t->FieldText(2) + "\n";
    }
    return all;
}

// A first start creates the database with its one administrator, replaces a read-only copy of
// the executable, serves a concentrator with the link's lines on standard output, and stops on
// SIGTERM; a second start, stopped by SIGINT, changes nothing in the database.
TEST(Headless, FirstStartCreatesTheDatabaseAndServesASecondChangesNothing) {
    TempDir dir;
    const auto copy = dir / "ZarnicBox.Rev.0.3.24";
    WriteFile(copy, "stale");
    chmod(copy.c_str(), 0444);
    WriteFile(dir / "CTR/CTR_00A1/ROOT/WORK/INBOX/w-1.xml", "<work/>");
    std::unique_ptr<ChildProcess> server;
    TempDir ctr;
    RunConcentrator(StartHeadless(server, dir.path()), ctr.path());
    server->Signal(SIGTERM);
    EXPECT_EQ(server->Wait(), 0);
    EXPECT_NE(server->output().find(": CtrID = 00A1 <--> HANDSHAKE OK, IP = 127.0.0.1\n"),
              std::string::npos)
        << server->output();
    EXPECT_EQ(ReadFile(ctr / "ROOT/WORK/INBOX/w-1.xml"), "<work/>");
    EXPECT_EQ(fs::file_size(copy), fs::file_size(ServerExecutable()));

    // The tables' statements are compared in tests/storage.
    const std::string before = DatabaseOf(dir / "ZarnicBox.db");
    EXPECT_EQ(before.find("operator|"), before.rfind("operator|")) << before;
    EXPECT_NE(before.find("operator|1|"), std::string::npos) << before;
    StartHeadless(server, dir.path());
    server->Signal(SIGINT);
    EXPECT_EQ(server->Wait(), 0);
    EXPECT_EQ(DatabaseOf(dir / "ZarnicBox.db"), before);
}

TEST(Headless, ADatabaseThatCannotBeOpenedStopsTheStartWithTheMessage) {
    TempDir dir;
    fs::create_directory(dir / "ZarnicBox.db");
    ChildProcess server(ServerExecutable(), {"--headless", "--dir", dir.path().string()});
    EXPECT_EQ(server.Wait(60s), 1);
    EXPECT_NE(server.output().find("Failed to open database \"" + (dir / "ZarnicBox.db").string() +
                                   "\" : unable to open database file"),
              std::string::npos)
        << server.output();
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
    ASSERT_EQ(RunConcentrator(port, ctr.path()), 0) << server->output();
    EXPECT_EQ(ReadFile(dir / "CTR/CTR_00A1/ROOT/INFO/METERS/m.xml"), "<m/>");
    server->Signal(SIGTERM);
    EXPECT_EQ(server->Wait(), 0);
    const std::string& out = server->output();
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
