// The file-transfer protocol of one connection, driven frame by frame without a socket.
#include <gtest/gtest.h>

#include <filesystem>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "base/clock.h"
#include "link/file_sync.h"
#include "link/frame.h"
#include "link/link_shared.h"
#include "link/mirror.h"
#include "link/service_command.h"
#include "testing/recorders.h"
#include "testing/temp_dir.h"

namespace zb::link {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;
using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

constexpr uint32_t kId = 0x00A1;

// Sets the clock to a local date and time for the life of the object.
class FixedClock {
  public:
    explicit FixedClock(base::LocalDateTime local) { Set(local); }
    ~FixedClock() { base::Clock::SetSource(nullptr); }
    void Set(base::LocalDateTime local) {
        const base::TimePoint t = base::FromLocal(local);
        base::Clock::SetSource([t] { return t; });
    }
};

base::LocalDateTime At(int hour, int minute, int day = 10) {
    return base::LocalDateTime{2026, 3, day, hour, minute, 0, 0};
}

class Connection {
  public:
    Connection(LinkShared& shared, std::string peer = "10.0.0.7")
        : sync(shared, std::move(peer),
               [this](const uint8_t* data, size_t size) { sent.emplace_back(data, data + size); }) {
        sync.Connect();
    }
    void Feed(const Bytes& bytes) { sync.Receive(bytes.data(), bytes.size()); }
    void Handshake(uint32_t id = kId) {
        Bytes answer;
        BuildHandshakeAnswer(answer, id);
        Feed(answer);
    }
    // The concentrator answers the server's last request.
    void AnswerLast(uint8_t status = kStatusAccepted) {
        uint8_t answer[kAnswerSize];
        BuildAnswer(sent.back().data(), status, answer);
        Feed(Bytes(answer, answer + kAnswerSize));
    }
    // Answers every server request until the server sends nothing more.
    void AnswerAll() {
        size_t answered = 0;
        while (sent.size() > answered) {
            answered = sent.size();
            AnswerLast();
        }
    }
    std::vector<Bytes> sent;
    TFileSync sync;
};

Bytes Name(uint8_t seq, const std::string& name) {
    Bytes out;
    BuildFileNameRequest(out, kNoLinkId, seq, name);
    return out;
}

Bytes Block(uint8_t seq, uint32_t offset, uint32_t total, const std::string& data) {
    Bytes out;
    BuildDataRequest(out, kNoLinkId, seq, offset, total,
                     reinterpret_cast<const uint8_t*>(data.data()), data.size());
    return out;
}

std::string PathOf(const Bytes& nameRequest) {
    return std::string(nameRequest.begin() + kOffBody + 1,
                       nameRequest.begin() + kOffBody + 1 + nameRequest[kOffBody]);
}

class ProtocolTest : public ::testing::Test {
  protected:
    ProtocolTest() : clock(At(9, 0)), shared(dir.path()) {}
    void SetUp() override { CreateMirrorFolders(dir.path(), "00A1"); }
    fs::path Mirror(const std::string& rel = "") const {
        return dir / ("CTR/CTR_00A1" + (rel.empty() ? "" : "/" + rel));
    }
    // Sends one whole file as the concentrator; returns the status of each answer.
    std::vector<uint8_t> SendFile(Connection& c, uint8_t seq, const std::string& path,
                                  const std::string& bytes, size_t block = 60000) {
        std::vector<uint8_t> statuses;
        c.Feed(Name(seq, path));
        statuses.push_back(c.sent.back()[kOffStatus]);
        size_t pos = 0;
        do {
            const std::string part = bytes.substr(pos, block);
            c.Feed(
                Block(seq, static_cast<uint32_t>(pos), static_cast<uint32_t>(bytes.size()), part));
            statuses.push_back(c.sent.back()[kOffStatus]);
            pos += part.size();
        } while (pos < bytes.size());
        return statuses;
    }

    testing::LogRecorder log;
    TempDir dir;
    FixedClock clock;
    LinkShared shared;
};

TEST_F(ProtocolTest, UnregisteredConcentratorGetsTwoLogLinesAndOneTick) {
    Connection c(shared, "192.168.1.5");
    Bytes block;
    BuildHandshakeAnswer(block, 0x0B0B);
    const Bytes behind = Name(1, "ROOT\\WORK\\OUTBOX\\r.xml");
    block.insert(block.end(), behind.begin(), behind.end());
    c.Feed(block);
    EXPECT_EQ(log.lines(),
              (std::vector<std::string>{"CtrID = 0B0B, UNKNOWN, IP = 192.168.1.5",
                                        "Попытка подключения незарегистрированного концентратора, "
                                        "соединение будет закрыто через 1 сек."}));
    EXPECT_EQ(c.sync.LinkId(), kNoLinkId);
    EXPECT_EQ(c.sync.CloseCountdown(), 1);
    EXPECT_EQ(c.sent.size(), 1u);  // the handshake request only; the frame behind is discarded
    EXPECT_EQ(c.sync.Accumulator().Fill(), 0u);
    EXPECT_TRUE(c.sync.TickCloseCountdown());
    EXPECT_FALSE(c.sync.TickCloseCountdown());
    EXPECT_FALSE(shared.LastAddress("0B0B").has_value());
}

TEST_F(ProtocolTest, FramesBeforeTheHandshakeAreDropped) {
    Connection c(shared);
    c.Feed(Name(1, "ROOT\\WORK\\OUTBOX\\r.xml"));
    Bytes wrongCount;
    BuildHandshakeAnswer(wrongCount, kId);
    wrongCount.insert(wrongCount.end(), 4, 0);  // N = 5 is no handshake answer
    PutU32(wrongCount.data() + kOffHeaderWords, 5);
    PutU32(wrongCount.data() + kOffPayloadWords, 5);
    SealHeader(wrongCount.data());
    SealPayload(wrongCount.data(), 5);
    c.Feed(wrongCount);
    EXPECT_EQ(c.sent.size(), 1u);
    EXPECT_EQ(c.sync.LinkId(), kNoLinkId);
    EXPECT_TRUE(log.lines().empty());
}

TEST_F(ProtocolTest, HandshakeWritesTheClockCommandOncePerHalfDay) {
    {
        Connection c(shared, "10.0.0.7");
        c.Handshake();
        EXPECT_EQ(log.lines().at(0), "CtrID = 00A1 <--> HANDSHAKE OK, IP = 10.0.0.7");
        EXPECT_EQ(shared.LastAddress("00A1"), "10.0.0.7");
        // The clock command is written and offered on this same connection.
        ASSERT_EQ(c.sent.size(), 2u);
        EXPECT_EQ(PathOf(c.sent[1]), "ROOT\\WORK\\INBOX\\SetUTC.xml");
        EXPECT_EQ(GetU32(c.sent[1].data() + kOffLinkId), kId);
        const std::string command = ReadFile(Mirror("ROOT/WORK/INBOX/SetUTC.xml"));
        const std::string utc = SetUTCValue(base::Clock::Now());
        EXPECT_NE(command.find("<req Var=\"SetUTC\" OpCode=\"W\" Value=\"" + utc + "\"/>"),
                  std::string::npos);
        c.AnswerAll();
        EXPECT_FALSE(fs::exists(Mirror("ROOT/WORK/INBOX/SetUTC.xml")));
    }
    clock.Set(At(11, 59));
    {
        Connection c(shared, "10.0.0.8");
        c.Handshake();
        EXPECT_EQ(c.sent.size(), 1u);  // same half day: no clock command
        EXPECT_FALSE(fs::exists(Mirror("ROOT/WORK/INBOX/SetUTC.xml")));
        EXPECT_EQ(shared.LastAddress("00A1"), "10.0.0.8");
    }
    clock.Set(At(12, 1));
    {
        Connection c(shared);
        c.Handshake();
        EXPECT_TRUE(fs::exists(Mirror("ROOT/WORK/INBOX/SetUTC.xml")));
    }
    {
        std::lock_guard lock(shared.linkLock);
        EXPECT_EQ(shared.clockKey.Size(), 1u);
        EXPECT_EQ(shared.clockKey.Value("00A1"),
                  std::to_string(base::RoundHalfEven(base::ToDateTime(At(12, 1)))));
    }
}

TEST_F(ProtocolTest, ClockKeyAtNoonExactlyRoundsToEven) {
    // 2026-03-10 is day 46091 (odd): noon is 46091.5 and rounds to 46092; on the 11th (46092,
    // even) noon rounds down to 46092 again, so no clock command at noon of the 11th.
    clock.Set(base::LocalDateTime{2026, 3, 10, 12, 0, 0, 0});
    { Connection(shared).Handshake(); }
    fs::remove(Mirror("ROOT/WORK/INBOX/SetUTC.xml"));
    clock.Set(base::LocalDateTime{2026, 3, 11, 11, 59, 59, 0});
    { Connection(shared).Handshake(); }
    EXPECT_FALSE(fs::exists(Mirror("ROOT/WORK/INBOX/SetUTC.xml")));
    clock.Set(base::LocalDateTime{2026, 3, 11, 12, 0, 0, 0});
    { Connection(shared).Handshake(); }
    EXPECT_FALSE(fs::exists(Mirror("ROOT/WORK/INBOX/SetUTC.xml")));
    clock.Set(base::LocalDateTime{2026, 3, 11, 12, 0, 1, 0});
    { Connection(shared).Handshake(); }
    EXPECT_TRUE(fs::exists(Mirror("ROOT/WORK/INBOX/SetUTC.xml")));
}

TEST_F(ProtocolTest, ReceivedFilesLandInTheirMirrorFolders) {
    Connection c(shared);
    c.Handshake();
    c.AnswerAll();
    const std::string meters(150000, 'm');
    EXPECT_EQ(SendFile(c, 7, "ROOT\\INFO\\METERS\\meters.xml", meters),
              (std::vector<uint8_t>{0x80, 0x80, 0x80, 0x80}));
    EXPECT_EQ(ReadFile(Mirror("ROOT/INFO/METERS/meters.xml")), meters);
    SendFile(c, 8, "ROOT\\WORK\\PERIODIC\\w-1.xml", "<periodic/>");
    SendFile(c, 9, "ROOT\\INFO\\PROFILES\\profile-1-2.xml", "<profile/>");
    SendFile(c, 10, "ROOT\\WORK\\OUTBOX\\result.xml", "<result/>");
    SendFile(c, 11, "ROOT\\elsewhere.xml", "<x/>");
    EXPECT_EQ(ReadFile(Mirror("ROOT/WORK/PERIODIC/w-1.xml")), "<periodic/>");
    EXPECT_EQ(ReadFile(Mirror("ROOT/INFO/PROFILES/profile-1-2.xml")), "<profile/>");
    EXPECT_TRUE(fs::is_empty(Mirror("ROOT/WORK/OUTBOX")));
    EXPECT_FALSE(fs::exists(Mirror("ROOT/elsewhere.xml")));
    EXPECT_EQ(shared.filesIn.load(), 5);
    EXPECT_TRUE(log.Contains("CtrID = 00A1  -->  \"ROOT\\WORK\\OUTBOX\\result.xml\""));
    // The answer echoes the request's sequence byte and carries the 0xFFFFFFFF link ID.
    EXPECT_EQ(c.sent.back()[kOffSequence], 11);
    EXPECT_EQ(GetU32(c.sent.back().data() + kOffLinkId), kNoLinkId);
    EXPECT_EQ(c.sync.ReceivingState(), 0);
}

TEST_F(ProtocolTest, FileNamesTravelAsCp1251) {
    Connection c(shared);
    c.Handshake();
    c.AnswerAll();
    // "счёт.xml" in cp1251.
    const std::string name = "ROOT\\INFO\\METERS\\\xF1\xF7\xB8\xF2.xml";
    SendFile(c, 1, name, "<m/>");
    EXPECT_EQ(ReadFile(Mirror("ROOT/INFO/METERS/счёт.xml")), "<m/>");
    EXPECT_TRUE(log.Contains("CtrID = 00A1  -->  \"ROOT\\INFO\\METERS\\счёт.xml\""));

    WriteFile(Mirror("ROOT/WORK/INBOX/счёт.xml"), "<c/>");
    c.Feed([&] {  // an answer while idle makes the sending side look at the inbox again
        Bytes a(kAnswerSize);
        BuildAnswer(c.sent[0].data(), kStatusAccepted, a.data());
        PutU32(a.data() + kOffLinkId, kId);
        SealHeader(a.data());
        return a;
    }());
    EXPECT_EQ(PathOf(c.sent.back()), "ROOT\\WORK\\INBOX\\\xF1\xF7\xB8\xF2.xml");
}

TEST_F(ProtocolTest, WrongOffsetIsRefusedAndAFreshNameAccepted) {
    Connection c(shared);
    c.Handshake();
    c.AnswerAll();
    c.Feed(Name(3, "ROOT\\INFO\\METERS\\m.xml"));
    c.Feed(Block(3, 0, 10, "abcde"));
    EXPECT_EQ(c.sent.back()[kOffStatus], kStatusAccepted);
    c.Feed(Block(3, 4, 10, "fghij"));  // 5 bytes received, offset 4
    EXPECT_EQ(c.sent.back()[kOffStatus], kStatusRefused);
    EXPECT_EQ(c.sync.ReceivingState(), 0);
    c.Feed(Block(3, 5, 10, "fghij"));  // the partial file is gone: state 0 refuses data
    EXPECT_EQ(c.sent.back()[kOffStatus], kStatusRefused);
    EXPECT_EQ(SendFile(c, 4, "ROOT\\INFO\\METERS\\m.xml", "0123456789", 4),
              (std::vector<uint8_t>{0x80, 0x80, 0x80, 0x80}));
    EXPECT_EQ(ReadFile(Mirror("ROOT/INFO/METERS/m.xml")), "0123456789");
}

TEST_F(ProtocolTest, ReceivingSideRefusesWhatBreaksTheRules) {
    Connection c(shared);
    c.Handshake();
    c.AnswerAll();
    auto status = [&] { return c.sent.back()[kOffStatus]; };

    c.Feed(Block(1, 0, 3, "abc"));  // data without a name
    EXPECT_EQ(status(), kStatusRefused);

    Bytes refusedName = Name(1, "ROOT\\INFO\\METERS\\m.xml");
    refusedName[kOffStatus] = kStatusRefused;
    SealPayload(refusedName.data(), GetU32(refusedName.data() + kOffHeaderWords));
    c.Feed(refusedName);
    EXPECT_EQ(status(), kStatusRefused);

    // A length byte that reaches beyond the frame (4N - 13 = 3 bytes available at N = 4).
    Bytes longName = Name(1, "abc");
    longName[kOffBody] = 4;
    SealPayload(longName.data(), 4);
    c.Feed(longName);
    EXPECT_EQ(status(), kStatusRefused);
    EXPECT_EQ(c.sync.ReceivingState(), 0);

    // A block whose length exceeds the data the frame carries.
    c.Feed(Name(2, "ROOT\\INFO\\METERS\\m.xml"));
    Bytes overlong = Block(2, 0, 100, "abcd");
    PutU32(overlong.data() + kOffBlockLength, 5);
    SealPayload(overlong.data(), GetU32(overlong.data() + kOffHeaderWords));
    c.Feed(overlong);
    EXPECT_EQ(status(), kStatusRefused);
    EXPECT_EQ(c.sync.ReceivingState(), 0);

    // A block with another sequence byte, and a name request in the middle of a file.
    c.Feed(Name(3, "ROOT\\INFO\\METERS\\m.xml"));
    c.Feed(Block(4, 0, 100, "abcd"));
    EXPECT_EQ(status(), kStatusRefused);
    EXPECT_EQ(c.sync.ReceivingState(), 0);
    c.Feed(Name(3, "ROOT\\INFO\\METERS\\m.xml"));
    c.Feed(Name(3, "ROOT\\INFO\\METERS\\m.xml"));
    EXPECT_EQ(status(), kStatusRefused);

    // A total below what arrived: refused, the side stays in state 1.
    c.Feed(Name(5, "ROOT\\INFO\\METERS\\m.xml"));
    c.Feed(Block(5, 0, 3, "abcd"));
    EXPECT_EQ(status(), kStatusRefused);
    EXPECT_EQ(c.sync.ReceivingState(), 1);
    EXPECT_FALSE(fs::exists(Mirror("ROOT/INFO/METERS/m.xml")));
    EXPECT_EQ(shared.filesIn.load(), 0);
}

TEST_F(ProtocolTest, EscapingPathsAreRefusedAndNothingIsWritten) {
    Connection c(shared);
    c.Handshake();
    c.AnswerAll();
    const std::set<fs::path> before = [&] {
        std::set<fs::path> all;
        for (const auto& e : fs::recursive_directory_iterator(dir.path()))
            all.insert(e.path());
        return all;
    }();
    for (const std::string& bad : std::vector<std::string>{
             "ROOT\\INFO\\PROFILES\\..\\..\\..\\x.xml", "\\tmp\\x.xml", "C:\\x.xml",
             "ROOT\\INFO\\METERS\\a/../../x.xml", std::string("ROOT\\INFO\\METERS\\a\0.xml", 23)}) {
        c.Feed(Name(6, bad));
        EXPECT_EQ(c.sent.back()[kOffStatus], kStatusRefused) << bad;
        c.Feed(Block(6, 0, 4, "evil"));
        EXPECT_EQ(c.sent.back()[kOffStatus], kStatusRefused) << bad;
    }
    EXPECT_TRUE(log.Contains(
        "CtrID = 00A1, недопустимый путь \"ROOT\\INFO\\PROFILES\\..\\..\\..\\x.xml\", файл "
        "отклонён."));
    std::set<fs::path> after;
    for (const auto& e : fs::recursive_directory_iterator(dir.path()))
        after.insert(e.path());
    EXPECT_EQ(after, before);
    EXPECT_FALSE(fs::exists(dir.path().parent_path() / "x.xml"));
    EXPECT_EQ(shared.filesIn.load(), 0);
    // The connection goes on.
    SendFile(c, 7, "ROOT\\INFO\\METERS\\ok.xml", "<ok/>");
    EXPECT_EQ(ReadFile(Mirror("ROOT/INFO/METERS/ok.xml")), "<ok/>");
}

struct ThrowingHandler : ReceivedFileHandler {
    LinkShared* shared = nullptr;
    bool lockHeld = false;
    std::vector<ReceivedFile> seen;
    std::vector<std::string> bytes;
    void HandleReceivedFile(const ReceivedFile& file) override {
        lockHeld = !shared->fileLock.try_lock();
        if (!lockHeld) {
            shared->fileLock.unlock();
        }
        seen.push_back(file);
        bytes.emplace_back(file.bytes);
        if (file.kind == ReceivedKind::Result) {
            throw std::runtime_error("bad result");
        }
    }
};

TEST_F(ProtocolTest, HandlerRunsUnderTheFileLockAndItsErrorEndsTheConnection) {
    auto handler = std::make_shared<ThrowingHandler>();
    handler->shared = &shared;
    shared.SetHandler(handler);
    Connection c(shared);
    c.Handshake();
    c.AnswerAll();
    SendFile(c, 1, "ROOT\\INFO\\METERS\\m.xml", "<m/>");
    ASSERT_EQ(handler->seen.size(), 1u);
    const ReceivedFile& file = handler->seen[0];
    EXPECT_TRUE(handler->lockHeld);
    EXPECT_EQ(file.ctrId, "00A1");
    EXPECT_EQ(file.linkPath, "ROOT\\INFO\\METERS\\m.xml");
    EXPECT_EQ(file.fileName, "m.xml");
    EXPECT_EQ(file.kind, ReceivedKind::MeterList);
    EXPECT_EQ(file.mirrorDir, Mirror());
    EXPECT_EQ(file.mirrorPath, Mirror("ROOT/INFO/METERS/m.xml"));
    EXPECT_EQ(handler->bytes[0], "<m/>");
    EXPECT_FALSE(fs::exists(Mirror("ROOT/INFO/METERS/m.xml")));  // the handler decides

    c.Feed(Name(2, "ROOT\\WORK\\OUTBOX\\r.xml"));
    const size_t sentBefore = c.sent.size();
    EXPECT_THROW(c.Feed(Block(2, 0, 4, "<r/>")), std::runtime_error);
    EXPECT_EQ(c.sent.size(), sentBefore);  // no answer for that frame
    EXPECT_EQ(c.sync.ReceivingState(), 0);
    EXPECT_TRUE(shared.fileLock.try_lock());
    shared.fileLock.unlock();
    EXPECT_EQ(shared.filesIn.load(), 2);
}

TEST_F(ProtocolTest, SendingSideSplitsA150000ByteFile) {
    Connection c(shared);
    c.Handshake();
    c.AnswerAll();  // SetUTC.xml
    std::string big(150000, '\0');
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<char>(i * 7);
    WriteFile(Mirror("ROOT/WORK/INBOX/big.xml"), big);
    c.Feed(Name(1, ""));  // the concentrator has nothing; the server is idle
    c.Feed([&] {
        Bytes a(kAnswerSize);
        BuildAnswer(c.sent.back().data(), kStatusAccepted, a.data());
        PutU32(a.data() + kOffLinkId, kId);  // an answer with the concentrator's ID
        SealHeader(a.data());
        return a;
    }());
    const size_t first = c.sent.size() - 1;
    ASSERT_EQ(PathOf(c.sent[first]), "ROOT\\WORK\\INBOX\\big.xml");
    EXPECT_EQ(c.sent[first][kOffSequence], 0);
    std::string received;
    for (int block = 0; block < 3; ++block) {
        c.AnswerLast();
        const Bytes& f = c.sent.back();
        EXPECT_EQ(f[kOffSequence], block + 1);
        EXPECT_EQ(GetU32(f.data() + kOffBlockOffset), block * 60000u);
        EXPECT_EQ(GetU32(f.data() + kOffBlockLength), block < 2 ? 60000u : 30000u);
        EXPECT_EQ(GetU32(f.data() + kOffBlockTotal), 150000u);
        EXPECT_EQ(GetU32(f.data() + kOffHeaderWords), DataWords(block < 2 ? 60000 : 30000));
        EXPECT_EQ(f.size(), block < 2 ? 60036u : 30036u);
        received.append(f.begin() + kOffBlockData,
                        f.begin() + kOffBlockData + GetU32(f.data() + kOffBlockLength));
        EXPECT_TRUE(fs::exists(Mirror("ROOT/WORK/INBOX/big.xml")));  // not before the last answer
    }
    EXPECT_EQ(received, big);
    const int outBefore = shared.filesOut.load();
    c.AnswerLast();
    EXPECT_FALSE(fs::exists(Mirror("ROOT/WORK/INBOX/big.xml")));
    EXPECT_EQ(shared.filesOut.load(), outBefore + 1);
    EXPECT_TRUE(log.Contains("CtrID = 00A1  <--  \"ROOT\\WORK\\INBOX\\big.xml\""));
    // The concentrator had finished: 2 ticks once the inbox is empty.
    EXPECT_TRUE(log.Contains(
        "На сервере файлов для передачи больше нет, соединение будет закрыто через 2 сек."));
    EXPECT_EQ(c.sync.CloseCountdown(), 2);
    EXPECT_FALSE(c.sync.TickCloseCountdown());
    EXPECT_TRUE(c.sync.TickCloseCountdown());
}

TEST_F(ProtocolTest, InboxIsOfferedInNameOrderAndUnsendableNamesAreSkipped) {
    clock.Set(At(9, 0));
    {
        std::lock_guard lock(shared.linkLock);
        shared.clockKey.Set("00A1", std::to_string(base::RoundHalfEven(
                                        base::ToDateTime(At(9, 0)))));  // no SetUTC this time
    }
    const std::string tooLong(240, 'L');  // "ROOT\WORK\INBOX\" + 240 bytes = 256 > 255
    const std::string longest(239, 'K');  // exactly 255
    for (const std::string& name : std::vector<std::string>{
             "b.xml", std::string("a.XML"), std::string("c.txt"), std::string("日本.xml"),
             tooLong + ".xml", longest.substr(4) + ".xml"}) {
        WriteFile(Mirror("ROOT/WORK/INBOX/" + name), "<" + name.substr(0, 1) + "/>");
    }
    fs::create_directory(Mirror("ROOT/WORK/INBOX/dir.xml"));
    Connection c(shared);
    c.Handshake();
    std::vector<std::string> offered;
    size_t answered = 0;
    while (c.sent.size() > answered) {
        const Bytes& f = c.sent.back();
        if (GetU32(f.data() + kOffOperation) == kOpFileName)
            offered.push_back(PathOf(f));
        answered = c.sent.size();
        c.AnswerLast();
    }
    EXPECT_EQ(offered,
              (std::vector<std::string>{"ROOT\\WORK\\INBOX\\" + longest.substr(4) + ".xml",
                                        "ROOT\\WORK\\INBOX\\a.XML", "ROOT\\WORK\\INBOX\\b.xml"}));
    EXPECT_TRUE(fs::exists(Mirror("ROOT/WORK/INBOX/" + tooLong + ".xml")));
    EXPECT_TRUE(fs::exists(Mirror("ROOT/WORK/INBOX/日本.xml")));
    EXPECT_TRUE(fs::exists(Mirror("ROOT/WORK/INBOX/c.txt")));
    EXPECT_TRUE(log.Contains("CtrID = 00A1, файл \"ROOT\\WORK\\INBOX\\" + tooLong +
                             ".xml\" пропущен: путь длиннее 255 байт."));
    EXPECT_EQ(c.sync.SendingState(), 0);
}

TEST_F(ProtocolTest, RefusedAnswerParksTheSendingSide) {
    Connection c(shared);
    c.Handshake();  // offers SetUTC.xml
    ASSERT_EQ(c.sent.size(), 2u);
    c.AnswerLast(kStatusRefused);
    EXPECT_EQ(c.sync.SendingState(), 3);
    EXPECT_EQ(c.sent.size(), 2u);
    EXPECT_TRUE(fs::exists(Mirror("ROOT/WORK/INBOX/SetUTC.xml")));

    // An answer with the wrong sequence byte in state 2 parks it as well.
    Connection d(shared);
    d.Handshake();
    d.AnswerLast();  // name accepted: the data block goes out
    Bytes wrong(kAnswerSize);
    BuildAnswer(d.sent.back().data(), kStatusAccepted, wrong.data());
    wrong[kOffSequence] = 9;
    SealPayload(wrong.data(), 3);
    const size_t sent = d.sent.size();
    d.Feed(wrong);
    EXPECT_EQ(d.sync.SendingState(), 3);
    EXPECT_EQ(d.sent.size(), sent);
    EXPECT_TRUE(fs::exists(Mirror("ROOT/WORK/INBOX/SetUTC.xml")));
}

// The next block of a file is built ahead while the concentrator checks the last one; a
// transfer parked in the middle must never let that block out. Offered again, the file starts
// from its first block, and every block is byte for byte the frame built from the file.
TEST_F(ProtocolTest, ParkedTransferStartsAgainFromTheFirstBlock) {
    {
        std::lock_guard lock(shared.linkLock);
        shared.clockKey.Set(
            "00A1", std::to_string(base::RoundHalfEven(base::ToDateTime(At(9, 0)))));  // no SetUTC
    }
    std::string big(130001, '\0');
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<char>(i * 13 + (i >> 9));
    WriteFile(Mirror("ROOT/WORK/INBOX/big.xml"), big);
    auto expected = [&](uint8_t seq, size_t offset) {
        Bytes f;
        const size_t length = std::min<size_t>(big.size() - offset, 60000);
        BuildDataRequest(f, kId, seq, static_cast<uint32_t>(offset),
                         static_cast<uint32_t>(big.size()),
                         reinterpret_cast<const uint8_t*>(big.data()) + offset, length);
        return f;
    };
    Connection c(shared);
    c.Handshake();
    ASSERT_EQ(PathOf(c.sent.back()), "ROOT\\WORK\\INBOX\\big.xml");
    c.AnswerLast();  // name accepted
    EXPECT_EQ(c.sent.back(), expected(1, 0));
    c.AnswerLast();
    EXPECT_EQ(c.sent.back(), expected(2, 60000));
    const size_t sent = c.sent.size();
    c.AnswerLast(kStatusRefused);  // block 3 was built already; it must stay unsent
    EXPECT_EQ(c.sync.SendingState(), 3);
    EXPECT_EQ(c.sent.size(), sent);

    c.AnswerLast();  // any later answer runs the parked side: the file is offered again
    ASSERT_EQ(c.sent.size(), sent + 1);
    EXPECT_EQ(PathOf(c.sent.back()), "ROOT\\WORK\\INBOX\\big.xml");
    EXPECT_EQ(c.sent.back()[kOffSequence], 0);
    c.AnswerLast();
    EXPECT_EQ(c.sent.back(), expected(1, 0));
    c.AnswerLast();
    EXPECT_EQ(c.sent.back(), expected(2, 60000));
    c.AnswerLast();
    EXPECT_EQ(c.sent.back(), expected(3, 120000));
    EXPECT_EQ(c.sent.back().size(), FrameSize(DataWords(10001)));
    c.AnswerLast();
    EXPECT_FALSE(fs::exists(Mirror("ROOT/WORK/INBOX/big.xml")));
    EXPECT_EQ(shared.filesOut.load(), 1);
}

TEST_F(ProtocolTest, EmptyNameWhileIdleClosesAfterFiveTicks) {
    Connection c(shared);
    c.Handshake();
    c.AnswerAll();
    c.Feed(Name(1, ""));
    EXPECT_EQ(c.sent.back()[kOffStatus], kStatusAccepted);
    EXPECT_TRUE(c.sync.ConcentratorFinished());
    EXPECT_TRUE(log.Contains("Получен пакет с пустым именем файла."));
    EXPECT_TRUE(
        log.Contains("Передача файлов не производится, соединение будет закрыто через 5 сек."));
    for (int tick = 1; tick <= 5; ++tick) {
        EXPECT_EQ(c.sync.TickCloseCountdown(), tick == 5) << tick;
    }
    EXPECT_FALSE(c.sync.TickCloseCountdown());
}

TEST_F(ProtocolTest, BothDirectionsInterleaveAndEmptyFilesGoAsOneBlock) {
    WriteFile(Mirror("ROOT/WORK/INBOX/empty.xml"), "");
    Connection c(shared);
    c.Handshake();
    ASSERT_EQ(c.sent.size(), 2u);
    ASSERT_EQ(PathOf(c.sent[1]), "ROOT\\WORK\\INBOX\\SetUTC.xml");  // "S" sorts before "e"
    c.Feed(Name(1, "ROOT\\INFO\\METERS\\m.xml"));  // the concentrator starts its own file
    ASSERT_EQ(c.sent.size(), 3u);
    EXPECT_EQ(c.sent[2][kOffStatus], kStatusAccepted);
    auto answer = [&](size_t index) {
        Bytes a(kAnswerSize);
        BuildAnswer(c.sent[index].data(), kStatusAccepted, a.data());
        c.Feed(a);
    };
    answer(1);  // name of SetUTC.xml accepted: its data block goes out
    ASSERT_EQ(c.sent.size(), 4u);
    EXPECT_EQ(GetU32(c.sent[3].data() + kOffOperation), kOpFileData);
    c.Feed(Block(1, 0, 4, "<m/>"));  // the concentrator's file completes meanwhile
    ASSERT_EQ(c.sent.size(), 5u);
    EXPECT_EQ(c.sent[4][kOffStatus], kStatusAccepted);
    EXPECT_EQ(ReadFile(Mirror("ROOT/INFO/METERS/m.xml")), "<m/>");
    answer(3);  // SetUTC.xml done: empty.xml is offered
    ASSERT_EQ(c.sent.size(), 6u);
    EXPECT_FALSE(fs::exists(Mirror("ROOT/WORK/INBOX/SetUTC.xml")));
    EXPECT_EQ(PathOf(c.sent[5]), "ROOT\\WORK\\INBOX\\empty.xml");
    answer(5);
    ASSERT_EQ(c.sent.size(), 7u);
    EXPECT_EQ(GetU32(c.sent[6].data() + kOffBlockLength), 0u);
    EXPECT_EQ(GetU32(c.sent[6].data() + kOffHeaderWords), 6u);
    EXPECT_EQ(c.sent[6].size(), 36u);
    answer(6);
    EXPECT_FALSE(fs::exists(Mirror("ROOT/WORK/INBOX/empty.xml")));
    EXPECT_EQ(c.sync.SendingState(), 0);
    EXPECT_EQ(shared.filesOut.load(), 2);
    EXPECT_EQ(shared.filesIn.load(), 1);
}

}  // namespace
}  // namespace zb::link
