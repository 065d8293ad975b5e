// The link server on an ephemeral loopback port, driven by raw clients and by the concentrator
// simulator.
#include <gtest/gtest.h>
#include <sys/mount.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "base/clock.h"
#include "link/file_sync.h"
#include "link/frame.h"
#include "link/link_server.h"
#include "link/mirror.h"
#include "link_test_util.h"
#include "testing/process.h"
#include "testing/recorders.h"
#include "testing/temp_dir.h"

namespace zb::link {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using zb::testing::ChildProcess;
using zb::testing::ReadFile;
using zb::testing::TempDir;
using zb::testing::WriteFile;
using RawClient = linktest::RawClient;
using linktest::BlockFrame;
using linktest::Bytes;
using linktest::NameFrame;
using linktest::WaitFor;

// Sends a request and returns the status byte of its answer.
uint8_t Status(RawClient& client, const Bytes& frame) {
    client.Send(frame);
    return client.ReadExact(kAnswerSize)[kOffStatus];
}

// The one spool file of a mirror (the file being received), or an empty path.
fs::path SpoolFileIn(const fs::path& mirror) {
    for (const auto& entry : fs::directory_iterator(mirror)) {
        if (entry.path().filename().string().rfind(".~rx-", 0) == 0) {
            return entry.path();
        }
    }
    return {};
}

class ServerTest : public ::testing::Test {
  protected:
    ServerTest() : server(dir.path(), 0) {}
    void SetUp() override { server.Start(); }
    void TearDown() override { server.Stop(); }

    fs::path Mirror(const std::string& id, const std::string& rel = "") const {
        return dir / ("CTR/CTR_" + id + (rel.empty() ? "" : "/" + rel));
    }
    // A raw client from `from` that has read the handshake request and named itself.
    std::unique_ptr<RawClient> Named(uint32_t id, const char* from = nullptr) {
        auto client = std::make_unique<RawClient>(server.Port(), from);
        client->ReadExact(24);
        Bytes answer;
        BuildHandshakeAnswer(answer, id);
        client->Send(answer);
        return client;
    }
    // Registers `id`, its clock set at this half day (no SetUTC.xml), and connects it; returns
    // once the handshake is logged.
    std::unique_ptr<RawClient> Connected(uint32_t id) {
        const std::string text = CtrIdText(id);
        CreateMirrorFolders(dir.path(), text);
        server.SetClockKey(text,
                           std::to_string(base::RoundHalfEven(base::ToDateTime(base::LocalNow()))));
        auto client = Named(id);
        EXPECT_TRUE(WaitFor([&] {
            return log.Contains("CtrID = " + text + " <--> HANDSHAKE OK, IP = 127.0.0.1");
        }));
        return client;
    }
    ::zb::testing::LogRecorder log;
    TempDir dir;
    LinkServer server;
};

TEST_F(ServerTest, ConnectionsOpenWithTheHandshakeRequestUntilStopEndsThem) {
    RawClient a(server.Port());
    RawClient b(server.Port());
    EXPECT_EQ(a.ReadExact(24), linktest::kHandshakeRequestBytes);
    EXPECT_EQ(b.ReadExact(24), linktest::kHandshakeRequestBytes);
    ASSERT_TRUE(WaitFor([&] { return server.ConnectionCount() == 2; }));
    LinkServer busy(dir.path(), server.Port());
    EXPECT_THROW(busy.Start(), std::system_error);

    server.Stop();
    EXPECT_EQ(server.ConnectionCount(), 0u);
    EXPECT_TRUE(a.WaitClosed(5s));
    EXPECT_TRUE(b.WaitClosed(5s));
    server.Start();  // the same object serves again
    RawClient c(server.Port());
    EXPECT_EQ(c.ReadExact(24), linktest::kHandshakeRequestBytes);
}

// Eight simulated concentrators at once, each taking its own work file and sending a file of
// two blocks; the ticker closes every connection meanwhile.
TEST_F(ServerTest, ManyConcentratorsAtOnce) {
    constexpr int kCount = 8;
    for (int i = 0; i < kCount; ++i) {
        const std::string id = CtrIdText(0x0100 + i);
        CreateMirrorFolders(dir.path(), id);
        WriteFile(Mirror(id, "ROOT/WORK/INBOX/w.xml"), "<work id=\"" + id + "\"/>");
    }
    TempDir shared, roots;
    WriteFile(shared / "ROOT/INFO/METERS/meters.xml", std::string(70000, 'm'));
    std::atomic<bool> ticking{true};
    std::thread ticker([&] {
        for (; ticking; std::this_thread::sleep_for(20ms))
            server.Tick();
    });
    ChildProcess sim(ZB_CTR_SIM_PATH,
                     {"--port", std::to_string(server.Port()), "--root", roots.path().string(),
                      "--timeout", "60", "--id", "0100", "--count", std::to_string(kCount),
                      "--send-from", shared.path().string(), "--quiet"});
    const int code = sim.Wait(60s);
    ticking = false;
    ticker.join();
    EXPECT_EQ(code, 0) << sim.output();
    EXPECT_NE(sim.output().find("summary: concentrators 8, connections 8, handshakes 8, "
                                "closed by server 8, unfinished 0"),
              std::string::npos)
        << sim.output();
    for (int i = 0; i < kCount; ++i) {
        const std::string id = CtrIdText(0x0100 + i);
        EXPECT_EQ(ReadFile(roots / (id + "/ROOT/WORK/INBOX/w.xml")), "<work id=\"" + id + "\"/>");
        EXPECT_EQ(ReadFile(Mirror(id, "ROOT/INFO/METERS/meters.xml")).size(), 70000u);
    }
    EXPECT_EQ(server.FilesOut(), 2 * kCount);  // each work file and SetUTC.xml
}

TEST_F(ServerTest, AReceivedFileIsSpooledOutsideRootAndOnDiskBeforeItsAnswer) {
    auto client = Connected(0x00A6);
    // A name with a line break: the log shows it escaped, on one line.
    EXPECT_EQ(Status(*client, NameFrame(1, "ROOT\\INFO\\METERS\\a\nb.xml")), kStatusAccepted);
    EXPECT_EQ(Status(*client, BlockFrame(1, 0, 8, "abcd")), kStatusAccepted);
    EXPECT_EQ(ReadFile(SpoolFileIn(Mirror("00A6"))), "abcd");
    EXPECT_EQ(Status(*client, BlockFrame(1, 4, 8, "efgh")), kStatusAccepted);
    EXPECT_EQ(ReadFile(Mirror("00A6", "ROOT/INFO/METERS/a\nb.xml")), "abcdefgh");
    EXPECT_TRUE(log.Contains("CtrID = 00A6  -->  \"ROOT\\INFO\\METERS\\a\\x0Ab.xml\""));

    // "a" and 200 Cyrillic letters, a UTF-8 name too long to store: the file is kept aside and
    // answered, after the time stamp its name cut on a letter's boundary to 200 bytes at most.
    EXPECT_EQ(Status(*client, NameFrame(3, "ROOT\\INFO\\PROFILES\\a" + std::string(200, '\xC6'))),
              kStatusAccepted);
    EXPECT_EQ(Status(*client, BlockFrame(3, 0, 4, "<p/>")), kStatusAccepted);
    const std::string kept = fs::directory_iterator(Mirror("00A6", "REJECTED"))->path().filename();
    EXPECT_EQ(kept.substr(20, 3), "aЖ");
    EXPECT_EQ(kept.size(), 20u + 199) << kept;

    // A file announced over the limit is refused at its first block; at the limit it is taken.
    for (const int64_t total : {kMaxReceivedFileSize + 1, kMaxReceivedFileSize}) {
        EXPECT_EQ(Status(*client, NameFrame(2, "ROOT\\INFO\\METERS\\big.xml")), kStatusAccepted);
        EXPECT_EQ(Status(*client, BlockFrame(2, 0, static_cast<uint32_t>(total), "x")),
                  total > kMaxReceivedFileSize ? kStatusRefused : kStatusAccepted);
    }
    // A connection that ends mid-file leaves no spool behind (its thread removes the spool as it
    // ends, just after it leaves the count).
    client.reset();
    EXPECT_TRUE(WaitFor(
        [&] { return server.ConnectionCount() == 0 && SpoolFileIn(Mirror("00A6")).empty(); }));
    // One left by a run that was killed goes at the next start.
    WriteFile(Mirror("00A6", ".~rx-1-1.part"), "half");
    server.Stop();
    server.Start();
    EXPECT_TRUE(SpoolFileIn(Mirror("00A6")).empty());
}

TEST_F(ServerTest, AFullDiskRefusesTheFileAndSaysSo) {
    // The mirror on a file system of 32 KB (needs the right to mount; skipped without it).
    const fs::path mirror = Mirror("00A7");
    fs::create_directories(mirror);
    if (::mount("tmpfs", mirror.c_str(), "tmpfs", 0, "size=32k") != 0) {
        GTEST_SKIP() << "cannot mount a small file system here";
    }
    const std::shared_ptr<void> unmount(nullptr,
                                        [&](void*) { ::umount2(mirror.c_str(), MNT_DETACH); });
    auto client = Connected(0x00A7);
    EXPECT_EQ(Status(*client, NameFrame(1, "ROOT\\INFO\\METERS\\m.xml")), kStatusAccepted);
    EXPECT_EQ(Status(*client, BlockFrame(1, 0, 100000, std::string(40000, 'z'))), kStatusRefused);
    EXPECT_TRUE(log.Contains(
        "CtrID = 00A7, файл \"ROOT\\INFO\\METERS\\m.xml\" не принят: нет места на диске"));
    EXPECT_TRUE(SpoolFileIn(mirror).empty());
}

// A peer that never names a concentrator is closed after 30 s, whatever it sends meanwhile and
// without a word; a concentrator silent for the idle limit is closed then.
TEST_F(ServerTest, ConnectionsThatCannotGoOnAreClosed) {
    auto silent = Connected(0x00A8);
    RawClient nameless(server.Port());
    nameless.ReadExact(24);  // sent once the connection is counted
    // Before the handshake every frame is dropped and keeps nothing open: a request, and a
    // handshake answer for 00A9 of the wrong size (N = 5: a zero word added, both sums sealed).
    const Bytes wrongSize =
        linktest::Hex("9d000080 ffffffff 05000000 54000000 00000080 05000000 a9000000 00000000");
    for (int tick = 1; tick < kHandshakeLimitSeconds; ++tick) {
        nameless.Send(tick % 2 == 0 ? NameFrame(1, "ROOT\\WORK\\OUTBOX\\r.xml") : wrongSize);
        server.Tick();
    }
    EXPECT_TRUE(nameless.StaysQuiet(50ms));
    server.Tick();
    EXPECT_TRUE(nameless.WaitClosed(5s));
    for (int tick = kHandshakeLimitSeconds + 1; tick < kIdleLimitSeconds; ++tick) {
        server.Tick();
    }
    EXPECT_TRUE(silent->StaysQuiet(50ms));
    server.Tick();
    EXPECT_TRUE(silent->WaitClosed(5s));
    EXPECT_TRUE(
        log.Contains("CtrID = 00A8, IP = 127.0.0.1, нет данных 600 сек., соединение закрыто."));
}

TEST_F(ServerTest, ASecondSessionWaitsForTheFirstToFallSilent) {
    auto first = Connected(0x00B1);
    // The first session is alive: an impostor from another address is refused.
    auto impostor = Named(0x00B1, "127.0.0.2");
    ASSERT_TRUE(WaitFor(
        [&] { return log.Contains("CtrID = 00B1, второе соединение с 127.0.0.2 отклонено"); }));
    server.Tick();
    EXPECT_TRUE(impostor->WaitClosed(5s));

    // Silent for 30 ticks (a connection that died half-open): the next one takes over at once,
    // and the change of address is logged.
    for (int tick = 0; tick < kSessionQuietSeconds; ++tick)
        server.Tick();
    auto next = Named(0x00B1, "127.0.0.3");
    ASSERT_TRUE(WaitFor([&] {
        return log.Contains("CtrID = 00B1, адрес сменился: был 127.0.0.1, теперь 127.0.0.3");
    }));
    EXPECT_TRUE(log.Contains("CtrID = 00B1, прежнее соединение с 127.0.0.1 молчит, закрыто"));
    EXPECT_TRUE(first->WaitClosed(5s));
}

TEST_F(ServerTest, AnAddressGuessingIdsIsNotAnsweredForTenMinutes) {
    // An unknown ID is logged and closed on the next tick.
    auto guess = [&](uint32_t id) {
        auto client = Named(id, "127.0.0.4");
        EXPECT_TRUE(WaitFor([&] {
            return log.Contains("CtrID = " + CtrIdText(id) + ", UNKNOWN, IP = 127.0.0.4");
        }));
        EXPECT_TRUE(
            log.Contains("Попытка подключения незарегистрированного концентратора, "
                         "соединение будет закрыто через 1 сек."));
        server.Tick();
        EXPECT_TRUE(client->WaitClosed(5s));
    };
    for (uint32_t id = 0x0C00; id < 0x0C00 + kUnknownIdLimit; ++id)
        guess(id);
    const std::string blocked =
        "IP = 127.0.0.4: больше 10 неизвестных CtrID за минуту, адрес не обслуживается 10 мин.";
    EXPECT_FALSE(log.Contains(blocked));
    guess(0x0D00);
    EXPECT_TRUE(log.Contains(blocked));
    // No connection from there is answered now; other addresses are served.
    RawClient shut(server.Port(), "127.0.0.4");
    EXPECT_TRUE(shut.WaitClosed(5s));
    RawClient other(server.Port(), "127.0.0.5");
    EXPECT_EQ(other.ReadExact(24), linktest::kHandshakeRequestBytes);
    // Ten minutes later the address is served again.
    const auto later = base::Clock::Now() + std::chrono::minutes(kUnknownIdBlockMinutes) + 1s;
    base::Clock::SetSource([later] { return later; });
    const std::shared_ptr<void> restore(nullptr, [](void*) { base::Clock::SetSource(nullptr); });
    RawClient again(server.Port(), "127.0.0.4");
    EXPECT_EQ(again.ReadExact(24), linktest::kHandshakeRequestBytes);
}

}  // namespace
}  // namespace zb::link
