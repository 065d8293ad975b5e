// The file-transfer protocol of one connection, driven frame by frame without a socket.
#include <gtest/gtest.h>

#include <filesystem>
#include <mutex>
#include <set>
#include <string>
#include <system_error>
#include <vector>

#include "base/clock.h"
#include "link/file_sync.h"
#include "link/frame.h"
#include "link/link_shared.h"
#include "link/mirror.h"
#include "link/service_command.h"
#include "link_test_util.h"
#include "testing/recorders.h"
#include "testing/temp_dir.h"

namespace zb::link {
namespace {

namespace fs = std::filesystem;
using linktest::BlockFrame;
using linktest::Bytes;
using linktest::NameFrame;
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

base::LocalDateTime At(int hour, int minute, int day = 10, int second = 0) {
    return base::LocalDateTime{2026, 3, day, hour, minute, second, 0};
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
    // The concentrator answers request `index` (the last by default); `withId` puts its own
    // ID in the answer instead of all ones.
    void Answer(uint8_t status = kStatusAccepted, size_t index = SIZE_MAX, bool withId = false) {
        Bytes a(kAnswerSize);
        BuildAnswer(sent.at(index == SIZE_MAX ? sent.size() - 1 : index).data(), status, a.data());
        if (withId) {
            PutU32(a.data() + kOffLinkId, kId);
            SealHeader(a.data());
        }
        Feed(a);
    }
    // Answers every server request until the server sends nothing more.
    void AnswerAll() {
        for (size_t answered = 0; sent.size() > answered;) {
            answered = sent.size();
            Answer();
        }
    }
    uint8_t LastStatus() const { return sent.back()[kOffStatus]; }
    std::vector<Bytes> sent;
    TFileSync sync;
};

std::string PathOf(const Bytes& nameRequest) {
    return std::string(nameRequest.begin() + kOffBody + 1,
                       nameRequest.begin() + kOffBody + 1 + nameRequest[kOffBody]);
}

std::string Pattern(size_t size, int mul) {
    std::string s(size, '\0');
    for (size_t i = 0; i < size; ++i)
        s[i] = static_cast<char>(i * mul + (i >> 9));
    return s;
}

// The data frame the server must send for `offset` of `file`, byte for byte.
Bytes ExpectedBlock(const std::string& file, uint8_t seq, size_t offset) {
    return BlockFrame(seq, static_cast<uint32_t>(offset), static_cast<uint32_t>(file.size()),
                      file.substr(offset, 60000), kId);
}

class ProtocolTest : public ::testing::Test {
  protected:
    ProtocolTest() : clock(At(9, 0)), shared(dir.path()) {}
    void SetUp() override { CreateMirrorFolders(dir.path(), "00A1"); }
    fs::path Mirror(const std::string& rel = "") const {
        return dir / ("CTR/CTR_00A1" + (rel.empty() ? "" : "/" + rel));
    }
    // Handshake done and the clock command (if any) taken.
    void Ready(Connection& c) {
        c.Handshake();
        c.AnswerAll();
    }
    // The clock was set at this half day: the handshake writes no SetUTC.xml.
    void ClockAlreadySet() {
        std::lock_guard lock(shared.linkLock);
        shared.clockKey.Set(
            "00A1", std::to_string(base::RoundHalfEven(base::ToDateTime(base::LocalNow()))));
    }
    std::set<fs::path> Snapshot() const {
        std::set<fs::path> all;
        for (const auto& e : fs::recursive_directory_iterator(dir.path()))
            all.insert(e.path());
        return all;
    }
    // Sends one whole file as the concentrator; returns the status of each answer.
    std::vector<uint8_t> SendFile(Connection& c, uint8_t seq, const std::string& path,
                                  const std::string& bytes, size_t block = 60000) {
        c.Feed(NameFrame(seq, path));
        std::vector<uint8_t> statuses{c.LastStatus()};
        size_t pos = 0;
        do {
            const std::string part = bytes.substr(pos, block);
            c.Feed(BlockFrame(seq, static_cast<uint32_t>(pos), static_cast<uint32_t>(bytes.size()),
                              part));
            statuses.push_back(c.LastStatus());
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
    Bytes answer;
    BuildHandshakeAnswer(answer, 0x0B0B);
    c.Feed(linktest::Cat({answer, NameFrame(1, "ROOT\\WORK\\OUTBOX\\r.xml")}));
    EXPECT_EQ(log.lines(),
              (std::vector<std::string>{"CtrID = 0B0B, UNKNOWN, IP = 192.168.1.5",
                                        "Попытка подключения незарегистрированного концентратора, "
                                        "соединение будет закрыто через 1 сек."}));
    EXPECT_EQ(c.sync.LinkId(), kNoLinkId);
    EXPECT_EQ(c.sent.size(), 1u);  // the handshake request only; the frame behind is discarded
    EXPECT_EQ(c.sync.Accumulator().Fill(), 0u);
    EXPECT_EQ(c.sync.CloseCountdown(), 1);
    EXPECT_TRUE(c.sync.TickCloseCountdown());
    EXPECT_FALSE(c.sync.TickCloseCountdown());
    EXPECT_FALSE(shared.LastAddress("0B0B").has_value());
}

TEST_F(ProtocolTest, FramesBeforeTheHandshakeAreDropped) {
    Connection c(shared);
    c.Feed(NameFrame(1, "ROOT\\WORK\\OUTBOX\\r.xml"));
    Bytes wrongCount;  // N = 5 is no handshake answer
    BuildHandshakeAnswer(wrongCount, kId);
    wrongCount.insert(wrongCount.end(), 4, 0);
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
        EXPECT_NE(ReadFile(Mirror("ROOT/WORK/INBOX/SetUTC.xml"))
                      .find("<req Var=\"SetUTC\" OpCode=\"W\" Value=\"" +
                            SetUTCValue(base::Clock::Now()) + "\"/>"),
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
    Connection(shared).Handshake();
    EXPECT_TRUE(fs::exists(Mirror("ROOT/WORK/INBOX/SetUTC.xml")));
    std::lock_guard lock(shared.linkLock);
    EXPECT_EQ(shared.clockKey.Size(), 1u);
    EXPECT_EQ(shared.clockKey.Value("00A1"),
              std::to_string(base::RoundHalfEven(base::ToDateTime(At(12, 1)))));
}

TEST_F(ProtocolTest, ClockKeyAtNoonExactlyRoundsToEven) {
    // 2026-03-10 is day 46091 (odd): noon is 46091.5 and rounds to 46092; on the 11th (46092,
    // even) noon rounds down to 46092 again, so no clock command at noon of the 11th.
    const std::vector<std::pair<base::LocalDateTime, bool>> handshakes = {
        {At(12, 0, 10), true},
        {At(11, 59, 11, 59), false},
        {At(12, 0, 11), false},
        {At(12, 0, 11, 1), true}};
    for (const auto& [when, written] : handshakes) {
        fs::remove(Mirror("ROOT/WORK/INBOX/SetUTC.xml"));
        clock.Set(when);
        Connection(shared).Handshake();
        EXPECT_EQ(fs::exists(Mirror("ROOT/WORK/INBOX/SetUTC.xml")), written)
            << when.day << " " << when.hour << ":" << when.minute << ":" << when.second;
    }
}

TEST_F(ProtocolTest, ReceivedFilesLandInTheirMirrorFolders) {
    Connection c(shared);
    Ready(c);
    const std::string meters(150000, 'm');
    EXPECT_EQ(SendFile(c, 7, "ROOT\\INFO\\METERS\\meters.xml", meters),
              (std::vector<uint8_t>{0x80, 0x80, 0x80, 0x80}));
    EXPECT_EQ(ReadFile(Mirror("ROOT/INFO/METERS/meters.xml")), meters);
    struct Row {
        const char* linkPath;
        const char* mirrorPath;  // nullptr: not stored
    };
    uint8_t seq = 8;
    for (const Row& row : std::vector<Row>{
             {"ROOT\\WORK\\PERIODIC\\w-1.xml", "ROOT/WORK/PERIODIC/w-1.xml"},
             {"ROOT\\INFO\\PROFILES\\profile-1-2.xml", "ROOT/INFO/PROFILES/profile-1-2.xml"},
             {"ROOT\\WORK\\OUTBOX\\result.xml", nullptr},
             {"ROOT\\elsewhere.xml", nullptr}}) {
        SendFile(c, seq++, row.linkPath, std::string("<") + row.linkPath + "/>");
        if (row.mirrorPath) {
            EXPECT_EQ(ReadFile(Mirror(row.mirrorPath)), std::string("<") + row.linkPath + "/>");
        }
    }
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
    Ready(c);
    SendFile(c, 1, "ROOT\\INFO\\METERS\\\xF1\xF7\xB8\xF2.xml", "<m/>");  // "счёт.xml" in cp1251
    EXPECT_EQ(ReadFile(Mirror("ROOT/INFO/METERS/счёт.xml")), "<m/>");
    EXPECT_TRUE(log.Contains("CtrID = 00A1  -->  \"ROOT\\INFO\\METERS\\счёт.xml\""));

    WriteFile(Mirror("ROOT/WORK/INBOX/счёт.xml"), "<c/>");
    c.Answer(kStatusAccepted, 0, true);  // an answer while idle: the inbox is looked at again
    EXPECT_EQ(PathOf(c.sent.back()), "ROOT\\WORK\\INBOX\\\xF1\xF7\xB8\xF2.xml");
}

// The concentrator's frames in order, with the status each answer must carry and the state the
// receiving side must be in afterwards.
TEST_F(ProtocolTest, ReceivingSideRefusesWhatBreaksTheRules) {
    Connection c(shared);
    Ready(c);
    const std::string m = "ROOT\\INFO\\METERS\\m.xml";
    Bytes refusedName = NameFrame(1, m);
    refusedName[kOffStatus] = kStatusRefused;
    SealPayload(refusedName.data(), GetU32(refusedName.data() + kOffHeaderWords));
    Bytes longName = NameFrame(1, "abc");  // 4N - 13 = 3 bytes available at N = 4
    longName[kOffBody] = 4;
    SealPayload(longName.data(), 4);
    Bytes overlong = BlockFrame(2, 0, 100, "abcd");  // length beyond the frame's data
    PutU32(overlong.data() + kOffBlockLength, 5);
    SealPayload(overlong.data(), GetU32(overlong.data() + kOffHeaderWords));
    struct Step {
        const char* what;
        Bytes frame;
        uint8_t status;
        int state;
    };
    const uint8_t ok = kStatusAccepted, no = kStatusRefused;
    const std::vector<Step> steps = {
        {"data without a name", BlockFrame(1, 0, 3, "abc"), no, 0},
        {"name request with a refusing status", refusedName, no, 0},
        {"length byte beyond the frame", longName, no, 0},
        {"name", NameFrame(2, m), ok, 1},
        {"block length beyond the frame", overlong, no, 0},
        {"name", NameFrame(3, m), ok, 1},
        {"block with another sequence byte", BlockFrame(4, 0, 100, "abcd"), no, 0},
        {"name", NameFrame(5, m), ok, 1},
        {"total below what arrived stays in state 1", BlockFrame(5, 0, 3, "abcd"), no, 1},
        {"name in the middle of a file", NameFrame(5, m), no, 0},
        {"name", NameFrame(6, m), ok, 1},
        {"first block", BlockFrame(6, 0, 10, "abcde"), ok, 1},
        {"wrong offset (5 received, offset 4)", BlockFrame(6, 4, 10, "fghij"), no, 0},
        {"partial file gone: state 0 refuses data", BlockFrame(6, 5, 10, "fghij"), no, 0},
    };
    for (const Step& step : steps) {
        c.Feed(step.frame);
        EXPECT_EQ(c.LastStatus(), step.status) << step.what;
        EXPECT_EQ(c.sync.ReceivingState(), step.state) << step.what;
    }
    EXPECT_FALSE(fs::exists(Mirror("ROOT/INFO/METERS/m.xml")));
    EXPECT_EQ(shared.filesIn.load(), 0);
    // A fresh name is accepted after all that, and a file in several blocks assembles.
    EXPECT_EQ(SendFile(c, 7, m, "0123456789", 4), (std::vector<uint8_t>{ok, ok, ok, ok}));
    EXPECT_EQ(ReadFile(Mirror("ROOT/INFO/METERS/m.xml")), "0123456789");
}

TEST_F(ProtocolTest, EscapingPathsAreRefusedAndNothingIsWritten) {
    Connection c(shared);
    Ready(c);
    const std::set<fs::path> before = Snapshot();
    for (const std::string& bad : std::vector<std::string>{
             "ROOT\\INFO\\PROFILES\\..\\..\\..\\x.xml", "\\tmp\\x.xml", "C:\\x.xml",
             "ROOT\\INFO\\METERS\\a/../../x.xml", std::string("ROOT\\INFO\\METERS\\a\0.xml", 23)}) {
        EXPECT_EQ(SendFile(c, 6, bad, "evil"),
                  (std::vector<uint8_t>{kStatusRefused, kStatusRefused}))
            << bad;
    }
    EXPECT_TRUE(log.Contains(
        "CtrID = 00A1, недопустимый путь \"ROOT\\INFO\\PROFILES\\..\\..\\..\\x.xml\", файл "
        "отклонён."));
    EXPECT_EQ(Snapshot(), before);
    EXPECT_FALSE(fs::exists(dir.path().parent_path() / "x.xml"));
    EXPECT_EQ(shared.filesIn.load(), 0);
    SendFile(c, 7, "ROOT\\INFO\\METERS\\ok.xml", "<ok/>");  // the connection goes on
    EXPECT_EQ(ReadFile(Mirror("ROOT/INFO/METERS/ok.xml")), "<ok/>");
}

struct ThrowingHandler : ReceivedFileHandler {
    LinkShared* shared = nullptr;
    bool lockHeld = false;
    std::vector<ReceivedFile> seen;
    std::vector<std::string> bytes;  // the view in ReceivedFile lives only during the call
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
    Ready(c);
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

    c.Feed(NameFrame(2, "ROOT\\WORK\\OUTBOX\\r.xml"));
    const size_t sentBefore = c.sent.size();
    EXPECT_THROW(c.Feed(BlockFrame(2, 0, 4, "<r/>")), std::runtime_error);
    EXPECT_EQ(c.sent.size(), sentBefore);  // no answer for that frame
    EXPECT_EQ(c.sync.ReceivingState(), 0);
    EXPECT_TRUE(shared.fileLock.try_lock());
    shared.fileLock.unlock();
    EXPECT_EQ(shared.filesIn.load(), 2);
}

TEST_F(ProtocolTest, InboxIsOfferedInNameOrderAndUnsendableNamesAreSkipped) {
    ClockAlreadySet();
    const std::string tooLong(240, 'L');  // "ROOT\WORK\INBOX\" + 240 bytes = 256 > 255
    const std::string longest(235, 'K');  // + ".xml": exactly 255
    for (const std::string& name :
         {std::string("b.xml"), std::string("a.XML"), std::string("c.txt"), std::string("日本.xml"),
          tooLong + ".xml", longest + ".xml"}) {
        WriteFile(Mirror("ROOT/WORK/INBOX/" + name), "<" + name.substr(0, 1) + "/>");
    }
    fs::create_directory(Mirror("ROOT/WORK/INBOX/dir.xml"));
    Connection c(shared);
    c.Handshake();
    std::vector<std::string> offered;
    for (size_t answered = 0; c.sent.size() > answered;) {
        if (GetU32(c.sent.back().data() + kOffOperation) == kOpFileName)
            offered.push_back(PathOf(c.sent.back()));
        answered = c.sent.size();
        c.Answer();
    }
    EXPECT_EQ(offered,
              (std::vector<std::string>{"ROOT\\WORK\\INBOX\\" + longest + ".xml",
                                        "ROOT\\WORK\\INBOX\\a.XML", "ROOT\\WORK\\INBOX\\b.xml"}));
    for (const std::string& left :
         {tooLong + ".xml", std::string("日本.xml"), std::string("c.txt")})
        EXPECT_TRUE(fs::exists(Mirror("ROOT/WORK/INBOX/" + left))) << left;
    EXPECT_TRUE(log.Contains("CtrID = 00A1, файл \"ROOT\\WORK\\INBOX\\" + tooLong +
                             ".xml\" пропущен: путь длиннее 255 байт."));
    EXPECT_EQ(c.sync.SendingState(), 0);
}

TEST_F(ProtocolTest, RefusedOrMisnumberedAnswerParksTheSendingSide) {
    {
        Connection c(shared);
        c.Handshake();  // offers SetUTC.xml
        ASSERT_EQ(c.sent.size(), 2u);
        c.Answer(kStatusRefused);
        EXPECT_EQ(c.sync.SendingState(), 3);
        EXPECT_EQ(c.sent.size(), 2u);
    }  // ended: the concentrator's next connection is its only session

    Connection d(shared);
    d.Handshake();
    d.Answer();  // name accepted: the data block goes out
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
    ClockAlreadySet();
    const std::string big = Pattern(130001, 13);
    WriteFile(Mirror("ROOT/WORK/INBOX/big.xml"), big);
    Connection c(shared);
    c.Handshake();
    ASSERT_EQ(PathOf(c.sent.back()), "ROOT\\WORK\\INBOX\\big.xml");
    c.Answer();  // name accepted
    EXPECT_EQ(c.sent.back(), ExpectedBlock(big, 1, 0));
    c.Answer();
    EXPECT_EQ(c.sent.back(), ExpectedBlock(big, 2, 60000));
    const size_t sent = c.sent.size();
    c.Answer(kStatusRefused);  // block 3 was built already; it must stay unsent
    EXPECT_EQ(c.sync.SendingState(), 3);
    EXPECT_EQ(c.sent.size(), sent);

    c.Answer();  // any later answer runs the parked side: the file is offered again
    ASSERT_EQ(c.sent.size(), sent + 1);
    EXPECT_EQ(PathOf(c.sent.back()), "ROOT\\WORK\\INBOX\\big.xml");
    EXPECT_EQ(c.sent.back()[kOffSequence], 0);
    for (uint8_t block = 0; block < 3; ++block) {
        c.Answer();
        EXPECT_EQ(c.sent.back(), ExpectedBlock(big, block + 1, block * 60000u)) << int(block);
        EXPECT_TRUE(fs::exists(Mirror("ROOT/WORK/INBOX/big.xml")));  // not before the last answer
    }
    EXPECT_EQ(c.sent.back().size(), FrameSize(DataWords(10001)));
    c.Answer();
    EXPECT_FALSE(fs::exists(Mirror("ROOT/WORK/INBOX/big.xml")));
    EXPECT_EQ(shared.filesOut.load(), 1);
    EXPECT_TRUE(log.Contains("CtrID = 00A1  <--  \"ROOT\\WORK\\INBOX\\big.xml\""));
}

// A file is read block by block while it is sent. A file written anew meanwhile (by rename, as
// the server writes its commands) never mixes into the one being sent, and stays for the next
// offer; a file cut short in place ends the connection instead of sending a block it no longer
// has.
TEST_F(ProtocolTest, FileChangedWhileSentIsNeverMixed) {
    ClockAlreadySet();
    const std::string big = Pattern(130001, 13);
    const fs::path inbox = Mirror("ROOT/WORK/INBOX");
    WriteFile(inbox / "big.xml", big);
    {
        Connection c(shared);
        c.Handshake();
        c.Answer();  // name accepted: block 1 out, block 2 read ahead
        c.Answer();
        WriteFile(inbox / "new.tmp", "<new/>");
        fs::rename(inbox / "new.tmp", inbox / "big.xml");
        c.Answer();
        c.Answer();
        ASSERT_EQ(c.sent.size(), 6u);
        for (uint8_t block = 0; block < 3; ++block)
            EXPECT_EQ(c.sent[2 + block], ExpectedBlock(big, block + 1, block * 60000u));
        EXPECT_EQ(ReadFile(inbox / "big.xml"), "<new/>");            // not the file that was sent
        EXPECT_EQ(PathOf(c.sent[5]), "ROOT\\WORK\\INBOX\\big.xml");  // offered next
        EXPECT_EQ(shared.filesOut.load(), 1);
    }
    WriteFile(inbox / "big.xml", big);
    Connection c(shared);
    c.Handshake();
    c.Answer();  // block 1 out, block 2 read ahead
    fs::resize_file(inbox / "big.xml", 100000);
    // Block 2 goes out as it was read; block 3, read ahead, lies past the new end.
    EXPECT_THROW(c.Answer(), std::system_error);
    EXPECT_EQ(c.sent.back(), ExpectedBlock(big, 2, 60000));
    EXPECT_TRUE(fs::exists(inbox / "big.xml"));
    EXPECT_EQ(shared.filesOut.load(), 1);
}

TEST_F(ProtocolTest, BothDirectionsInterleaveAndEmptyFilesGoAsOneBlock) {
    WriteFile(Mirror("ROOT/WORK/INBOX/empty.xml"), "");
    Connection c(shared);
    c.Handshake();
    ASSERT_EQ(c.sent.size(), 2u);
    ASSERT_EQ(PathOf(c.sent[1]), "ROOT\\WORK\\INBOX\\SetUTC.xml");  // "S" sorts before "e"
    c.Feed(NameFrame(1, "ROOT\\INFO\\METERS\\m.xml"));              // the concentrator's own
    ASSERT_EQ(c.sent.size(), 3u);
    EXPECT_EQ(c.sent[2][kOffStatus], kStatusAccepted);
    c.Answer(kStatusAccepted, 1);  // name of SetUTC.xml accepted: its data block goes out
    ASSERT_EQ(c.sent.size(), 4u);
    EXPECT_EQ(GetU32(c.sent[3].data() + kOffOperation), kOpFileData);
    c.Feed(BlockFrame(1, 0, 4, "<m/>"));  // the concentrator's file completes meanwhile
    ASSERT_EQ(c.sent.size(), 5u);
    EXPECT_EQ(c.sent[4][kOffStatus], kStatusAccepted);
    EXPECT_EQ(ReadFile(Mirror("ROOT/INFO/METERS/m.xml")), "<m/>");
    c.Answer(kStatusAccepted, 3);  // SetUTC.xml done: empty.xml is offered
    ASSERT_EQ(c.sent.size(), 6u);
    EXPECT_FALSE(fs::exists(Mirror("ROOT/WORK/INBOX/SetUTC.xml")));
    EXPECT_EQ(PathOf(c.sent[5]), "ROOT\\WORK\\INBOX\\empty.xml");
    c.Answer(kStatusAccepted, 5);
    ASSERT_EQ(c.sent.size(), 7u);
    EXPECT_EQ(c.sent[6], ExpectedBlock("", 1, 0));  // 36 bytes, N = 6, length 0
    c.Answer(kStatusAccepted, 6);
    EXPECT_FALSE(fs::exists(Mirror("ROOT/WORK/INBOX/empty.xml")));
    EXPECT_EQ(c.sync.SendingState(), 0);
    EXPECT_EQ(shared.filesOut.load(), 2);
    EXPECT_EQ(shared.filesIn.load(), 1);
}

}  // namespace
}  // namespace zb::link
