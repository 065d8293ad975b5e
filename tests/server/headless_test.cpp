// Starts the real executable as an operator or a service manager would.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "server/runtime.h"
#include "storage/schema.h"
#include "storage/sqlite_database.h"
#include "testing/process.h"
#include "testing/temp_dir.h"

namespace zb::testing {
namespace {

using namespace std::chrono_literals;

bool IsStartLine(const std::string& line) {
    return line.find("ZarnicBox Rev.0.3.24 headless") != std::string::npos;
}

int RunUntilStartedThenStop(const std::filesystem::path& dir, int signal = SIGTERM) {
    ChildProcess server(ServerExecutable(), {"--headless", "--dir", dir.string(), "--port", "0"});
    EXPECT_TRUE(server.WaitForLine(IsStartLine, 60s)) << server.output();
    server.Signal(signal);
    return server.Wait();
}

std::string SchemaOf(const std::filesystem::path& db) {
    storage::TSQLiteDatabase conn(db.string());
    auto t = conn.QueryTable("SELECT type,name,sql from sqlite_master ORDER BY rowid");
    std::string all;
    for (; !t->AtEnd(); t->Next()) {
        all += t->FieldText(0) + "|" + t->FieldText(1) + "|" + t->FieldText(2) + "\n";
    }
    return all;
}

TEST(Headless, FirstStartCreatesTheDatabaseAndASecondChangesNothing) {
    TempDir dir;
    EXPECT_EQ(RunUntilStartedThenStop(dir.path()), 0);
    const auto dbPath = dir / "ZarnicBox.db";
    ASSERT_TRUE(std::filesystem::exists(dbPath));
    {
        storage::TSQLiteDatabase db(dbPath.string());
        // The tables' statements are compared in tests/storage.
        EXPECT_GE(db.QueryTable("SELECT name from sqlite_master WHERE type='table'")->RowCount(),
                  13u);
        EXPECT_EQ(db.QueryTable("SELECT UID from Operator")->RowCount(), 1u);
    }
    const std::string before = SchemaOf(dbPath);
    EXPECT_EQ(RunUntilStartedThenStop(dir.path(), SIGINT), 0);
    EXPECT_EQ(SchemaOf(dbPath), before);
    storage::TSQLiteDatabase db(dbPath.string());
    EXPECT_EQ(db.QueryTable("SELECT UID from Operator")->RowCount(), 1u);
}

// The link as an operator runs it: a mirror made by hand, the simulator exchanging a file each
// way, and the link's lines on standard output. (The exchange itself is tested in tests/link.)
TEST(Headless, ServesAConcentratorAndLogsToStandardOutput) {
    TempDir dir;
    std::filesystem::create_directories(dir / "CTR/CTR_00A1/ROOT/WORK/INBOX");
    WriteFile(dir / "CTR/CTR_00A1/ROOT/WORK/INBOX/w-1.xml", "<work/>");
    ChildProcess server(ServerExecutable(),
                        {"--headless", "--dir", dir.path().string(), "--port", "0"});
    ASSERT_TRUE(server.WaitForLine(IsStartLine, 60s)) << server.output();
    const std::string out = server.output();
    const std::string port = out.substr(out.find(", port ") + 7, 5);
    TempDir ctr;
    ChildProcess sim(ZB_CTR_SIM_PATH, {"--port", std::to_string(std::stoi(port)), "--id", "00A1",
                                       "--root", ctr.path().string()});
    EXPECT_EQ(sim.Wait(30s), 0) << sim.output();
    server.Signal(SIGTERM);
    EXPECT_EQ(server.Wait(), 0);
    EXPECT_NE(server.output().find(": CtrID = 00A1 <--> HANDSHAKE OK, IP = 127.0.0.1\n"),
              std::string::npos)
        << server.output();
    EXPECT_EQ(ReadFile(ctr / "ROOT/WORK/INBOX/w-1.xml"), "<work/>");
}

TEST(Headless, KeepsACopyOfItsExecutableReplacingAReadOnlyOne) {
    TempDir dir;
    const auto copy = dir / "ZarnicBox.Rev.0.3.24";
    WriteFile(copy, "stale");
    chmod(copy.c_str(), 0444);
    EXPECT_EQ(RunUntilStartedThenStop(dir.path()), 0);
    EXPECT_EQ(std::filesystem::file_size(copy), std::filesystem::file_size(ServerExecutable()));
}

TEST(Headless, ADatabaseThatCannotBeOpenedStopsTheStartWithTheMessage) {
    TempDir dir;
    std::filesystem::create_directory(dir / "ZarnicBox.db");
    ChildProcess server(ServerExecutable(), {"--headless", "--dir", dir.path().string()});
    EXPECT_NE(server.Wait(60s), 0);
    EXPECT_NE(server.output().find("Failed to open database \"" + (dir / "ZarnicBox.db").string() +
                                   "\" : unable to open database file"),
              std::string::npos)
        << server.output();
}

TEST(Headless, BadOptionsExitWithTwo) {
    ChildProcess badPort(ServerExecutable(), {"--port", "70000"});
    EXPECT_EQ(badPort.Wait(), 2);
    EXPECT_NE(badPort.output().find("port out of range"), std::string::npos);
    ChildProcess unknown(ServerExecutable(), {"--bogus"});
    EXPECT_EQ(unknown.Wait(), 2);
    ChildProcess version(ServerExecutable(), {"--version"});
    EXPECT_EQ(version.Wait(), 0);
    EXPECT_NE(version.output().find("ZarnicBox Rev.0.3.24"), std::string::npos);
}

}  // namespace
}  // namespace zb::testing

namespace zb::testing {
namespace {

int ConnectTo(uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    return fd;
}

TEST(Headless, OutOfDescriptorsTheServerSaysSoOnceAndServesAgainWhenSomeEnd) {
#if defined(__SANITIZE_ADDRESS__)
    // The sanitizers test memory through a pipe of their own; without a free descriptor they
    // report every virtual call as invalid.
    GTEST_SKIP() << "needs a build without sanitizers";
#endif
    TempDir dir;
    std::filesystem::create_directories(dir / "CTR/CTR_00A1/ROOT/WORK/INBOX");
    std::filesystem::create_directories(dir / "CTR/CTR_00A1/ROOT/INFO/METERS");
    // 64 descriptors, soft and hard: the start cannot raise them.
    ChildProcess server("/usr/bin/prlimit",
                        {"--nofile=64:64", ServerExecutable().string(), "--headless", "--dir",
                         dir.path().string(), "--port", "0"});
    const auto start = server.WaitForLine(IsStartLine, 60s);
    ASSERT_TRUE(start) << server.output();
    const auto port = static_cast<uint16_t>(std::stoi(start->substr(start->rfind("port ") + 5)));
    std::vector<int> idle;
    for (int i = 0; i < 100; ++i) {
        idle.push_back(ConnectTo(port));
    }
    const std::string refused = "Соединение не принято: нет свободных дескрипторов файлов";
    auto has = [&](const std::string& line) { return line.find(refused) != std::string::npos; };
    EXPECT_TRUE(server.WaitForLine(has, 20s)) << server.output();
    for (const int fd : idle) {
        ::close(fd);
    }
    TempDir ctr;
    WriteFile(ctr / "ROOT/INFO/METERS/m.xml", "<m/>");
    ChildProcess sim(ZB_CTR_SIM_PATH, {"--port", std::to_string(port), "--id", "00A1", "--root",
                                       ctr.path().string(), "--timeout", "60", "--quiet"});
    ASSERT_EQ(sim.Wait(60s), 0) << sim.output() << server.output();
    EXPECT_EQ(ReadFile(dir / "CTR/CTR_00A1/ROOT/INFO/METERS/m.xml"), "<m/>");
    server.Signal(SIGTERM);
    EXPECT_EQ(server.Wait(), 0);
    size_t count = 0;
    for (size_t at = 0; (at = server.output().find(refused, at)) != std::string::npos; ++at) {
        ++count;
    }
    EXPECT_EQ(count, 1u) << "logged once a minute";
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
