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
struct FixedClock {
    explicit FixedClock(base::LocalDateTime local) { Set(local); }
    ~FixedClock() { base::Clock::SetSource(nullptr); }
    void Set(base::LocalDateTime local) {
        base::Clock::SetSource([t = base::FromLocal(local)] { return t; });
    }
};

base::LocalDateTime At(int hour, int minute, int day = 10, int second = 0) {
    return base::LocalDateTime{2026, 3, day, hour, minute, second, 0};
}

class Connection {
  public:
    explicit Connection(LinkShared& shared)
        : sync(shared, "10.0.0.7",
               [this](const uint8_t* data, size_t size) { sent.emplace_back(data, data + size); }) {
        sync.Connect();
    }
    void Feed(const Bytes& bytes) { sync.Receive(bytes.data(), bytes.size()); }
    void Handshake() {
        Bytes answer;
        BuildHandshakeAnswer(answer, kId);
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

// The data frame the server must send for `offset` of `file`, byte for byte.
Bytes ExpectedBlock(const std::string& file, uint8_t seq, size_t offset) {
    return BlockFrame(seq, static_cast<uint32_t>(offset), static_cast<uint32_t>(file.size()),
                      file.substr(offset, 60000), kId);
}

// 130,001 bytes that differ from block to block: two whole blocks and one of 10,001 bytes.
std::string BigFile() {
    std::string big(130001, '\0');
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<char>(i * 13 + (i >> 9));
    return big;
}

class ProtocolTest : public ::testing::Test {
  protected:
    ProtocolTest() : clock(At(9, 0)), shared(dir.path()) {}
    void SetUp() override { CreateMirrorFolders(dir.path(), "00A1"); }
    fs::path Mirror(const std::string& rel) const { return dir / "CTR/CTR_00A1" / rel; }
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
    testing::LogRecorder log;
    TempDir dir;
    FixedClock clock;
    LinkShared shared;
};

// The clock command is written at the first handshake of each half day, a day being rounded
// half to even: 2026-03-10 is day 46091 (odd), so its noon rounds up to 46092, and noon of the
// 11th (46092, even) rounds down to 46092 again.
TEST_F(ProtocolTest, HandshakeWritesTheClockCommandOncePerHalfDay) {
    const fs::path setUtc = Mirror("ROOT/WORK/INBOX/SetUTC.xml");
    {
        Connection c(shared);
        c.Handshake();
        // The clock command is written and offered on this same connection.
        ASSERT_EQ(c.sent.size(), 2u);
        EXPECT_EQ(PathOf(c.sent[1]), "ROOT\\WORK\\INBOX\\SetUTC.xml");
        EXPECT_EQ(GetU32(c.sent[1].data() + kOffLinkId), kId);
        EXPECT_NE(ReadFile(setUtc).find("<req Var=\"SetUTC\" OpCode=\"W\" Value=\"" +
                                        SetUTCValue(base::Clock::Now()) + "\"/>"),
                  std::string::npos);
        c.AnswerAll();
        EXPECT_FALSE(fs::exists(setUtc));
    }
    const std::vector<std::pair<base::LocalDateTime, bool>> handshakes = {
        {At(11, 59), false},
        {At(12, 0, 10), true},
        {At(11, 59, 11, 59), false},
        {At(12, 0, 11), false},
        {At(12, 0, 11, 1), true}};
    for (const auto& [when, written] : handshakes) {
        fs::remove(setUtc);
        clock.Set(when);
        Connection(shared).Handshake();
        EXPECT_EQ(fs::exists(setUtc), written)
            << when.day << " " << when.hour << ":" << when.minute << ":" << when.second;
    }
}

// After the concentrator's empty name the connection closes on the fifth tick when the server
// has nothing to send, or on the second after the server's last file.
TEST_F(ProtocolTest, EmptyNameClosesAfterFiveTicksOrTwoAfterTheServersLastFile) {
    ClockAlreadySet();
    WriteFile(Mirror("ROOT/WORK/INBOX/w-1.xml"), "<w/>");
    for (const int ticks : {2, 5}) {
        Connection c(shared);
        c.Handshake();  // offers w-1.xml while there is one
        c.Feed(NameFrame(1, ""));
        EXPECT_EQ(c.LastStatus(), kStatusAccepted);
        if (ticks == 2) {
            EXPECT_EQ(c.sync.CloseCountdown(), 0);  // not while the server is sending
            c.Answer(kStatusAccepted, 1);           // the name of w-1.xml, then its one block
            c.Answer();
        }
        for (int tick = 1; tick <= ticks; ++tick) {
            EXPECT_EQ(c.sync.TickCloseCountdown(), tick == ticks) << ticks << " " << tick;
        }
    }
    EXPECT_EQ(
        log.lines(),
        (std::vector<std::string>{
            "CtrID = 00A1 <--> HANDSHAKE OK, IP = 10.0.0.7", "Получен пакет с пустым именем файла.",
            "CtrID = 00A1  <--  \"ROOT\\WORK\\INBOX\\w-1.xml\"",
            "На сервере файлов для передачи больше нет, соединение будет закрыто через 2 сек.",
            "CtrID = 00A1 <--> HANDSHAKE OK, IP = 10.0.0.7", "Получен пакет с пустым именем файла.",
            "Передача файлов не производится, соединение будет закрыто через 5 сек."}));
}

// The concentrator's frames in order, with the status each answer must carry and the state the
// receiving side must be in afterwards. Nothing is written meanwhile (the path rules themselves
// are tested with MapLinkPath) but a file in several blocks, under its name in cp1251.
TEST_F(ProtocolTest, ReceivingSideRefusesWhatBreaksTheRules) {
    Connection c(shared);
    Ready(c);
    const std::string m = "ROOT\\INFO\\METERS\\\xF1\xF7\xB8\xF2.xml";  // "счёт.xml" in cp1251
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
    const std::set<fs::path> before = Snapshot();
    const std::vector<Step> steps = {
        {"data without a name", BlockFrame(1, 0, 3, "abc"), no, 0},
        {"path leaving the mirror", NameFrame(1, "ROOT\\INFO\\..\\..\\x.xml"), no, 0},
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
        {"name", NameFrame(7, m), ok, 1},
        {"first block", BlockFrame(7, 0, 10, "0123"), ok, 1},
        {"next block", BlockFrame(7, 4, 10, "4567"), ok, 1},
        {"last block", BlockFrame(7, 8, 10, "89"), ok, 0},
    };
    for (const Step& step : steps) {
        c.Feed(step.frame);
        EXPECT_EQ(c.LastStatus(), step.status) << step.what;
        EXPECT_EQ(c.sync.ReceivingState(), step.state) << step.what;
    }
    std::set<fs::path> after = before;  // the one file written
    after.insert(Mirror("ROOT/INFO/METERS/счёт.xml"));
    EXPECT_EQ(Snapshot(), after);
    EXPECT_EQ(ReadFile(Mirror("ROOT/INFO/METERS/счёт.xml")), "0123456789");
    EXPECT_EQ(shared.filesIn.load(), 1);
    EXPECT_TRUE(log.Contains(
        "CtrID = 00A1, недопустимый путь \"ROOT\\INFO\\..\\..\\x.xml\", файл отклонён."));
    EXPECT_TRUE(log.Contains("CtrID = 00A1  -->  \"ROOT\\INFO\\METERS\\счёт.xml\""));
}

// Records what it is given, and whether the file lock was held meanwhile; fails on a result.
struct RecordingHandler : ReceivedFileHandler {
    explicit RecordingHandler(LinkShared& shared) : shared(shared) {}
    void HandleReceivedFile(const ReceivedFile& file) override {
        const bool locked = !shared.fileLock.try_lock();
        if (!locked) {
            shared.fileLock.unlock();
        }
        seen.push_back(std::string(locked ? "locked " : "") + file.ctrId + " " + file.fileName +
                       " " + std::to_string(static_cast<int>(file.kind)) + " " +
                       fs::relative(file.mirrorPath, shared.ProgramDir()).string() + " " +
                       std::string(file.bytes));
        if (file.kind == ReceivedKind::Result) {
            throw std::runtime_error("bad result");
        }
    }
    LinkShared& shared;
    std::vector<std::string> seen;
};

TEST_F(ProtocolTest, HandlerRunsUnderTheFileLockAndItsErrorEndsTheConnection) {
    auto handler = std::make_shared<RecordingHandler>(shared);
    shared.SetHandler(handler);
    Connection c(shared);
    Ready(c);
    c.Feed(NameFrame(1, "ROOT\\INFO\\METERS\\m.xml"));
    c.Feed(BlockFrame(1, 0, 4, "<m/>"));
    EXPECT_EQ(handler->seen,
              std::vector<std::string>{"locked 00A1 m.xml " +
                                       std::to_string(static_cast<int>(ReceivedKind::MeterList)) +
                                       " CTR/CTR_00A1/ROOT/INFO/METERS/m.xml <m/>"});
    EXPECT_FALSE(fs::exists(Mirror("ROOT/INFO/METERS/m.xml")));  // the handler decides

    c.Feed(NameFrame(2, "ROOT\\WORK\\OUTBOX\\r.xml"));
    const size_t sentBefore = c.sent.size();
    EXPECT_THROW(c.Feed(BlockFrame(2, 0, 4, "<r/>")), std::runtime_error);
    EXPECT_EQ(c.sent.size(), sentBefore);  // no answer for that frame
    EXPECT_EQ(c.sync.ReceivingState(), 0);
    EXPECT_TRUE(shared.fileLock.try_lock());
    shared.fileLock.unlock();
}

// The inbox is offered in name order; a name the link cannot carry (over 255 bytes, or not in
// cp1251) is skipped and stays; an empty file goes as one block without data; a file written
// while the sending side is idle is offered at the concentrator's next answer.
TEST_F(ProtocolTest, InboxIsOfferedInNameOrderAndUnsendableNamesAreSkipped) {
    ClockAlreadySet();
    const std::string tooLong(240, 'L');  // "ROOT\WORK\INBOX\" + 240 bytes = 256 > 255
    const std::string longest(235, 'K');  // + ".xml": exactly 255
    for (const std::string& name :
         {std::string("b.xml"), std::string("a.XML"), std::string("c.txt"), std::string("日本.xml"),
          tooLong + ".xml", longest + ".xml"}) {
        WriteFile(Mirror("ROOT/WORK/INBOX/" + name), "<" + name.substr(0, 1) + "/>");
    }
    WriteFile(Mirror("ROOT/WORK/INBOX/e.xml"), "");
    fs::create_directory(Mirror("ROOT/WORK/INBOX/dir.xml"));
    Connection c(shared);
    Ready(c);
    std::vector<std::string> offered;
    for (size_t i = 0; i < c.sent.size(); ++i) {
        if (GetU32(c.sent[i].data() + kOffOperation) == kOpFileName) {
            offered.push_back(PathOf(c.sent[i]));
        }
    }
    const std::string inbox = "ROOT\\WORK\\INBOX\\";
    EXPECT_EQ(offered, (std::vector<std::string>{inbox + longest + ".xml", inbox + "a.XML",
                                                 inbox + "b.xml", inbox + "e.xml"}));
    EXPECT_EQ(c.sent.back(), ExpectedBlock("", 1, 0));  // e.xml: 36 bytes, N = 6, length 0
    for (const std::string& left :
         {tooLong + ".xml", std::string("日本.xml"), std::string("c.txt")})
        EXPECT_TRUE(fs::exists(Mirror("ROOT/WORK/INBOX/" + left))) << left;
    EXPECT_TRUE(log.Contains("CtrID = 00A1, файл \"" + inbox + tooLong +
                             ".xml\" пропущен: путь длиннее 255 байт."));
    EXPECT_EQ(c.sync.SendingState(), 0);
    EXPECT_EQ(shared.filesOut.load(), 4);

    WriteFile(Mirror("ROOT/WORK/INBOX/счёт.xml"), "<c/>");
    c.Answer(kStatusAccepted, 0, true);  // an answer while idle: the inbox is looked at again
    EXPECT_EQ(PathOf(c.sent.back()), inbox + "\xF1\xF7\xB8\xF2.xml");
}

// The next block of a file is built ahead while the concentrator checks the last one; a
// transfer parked in the middle (by a refusing answer or one with another sequence byte) must
// never let that block out. Offered again, the file starts from its first block, and every
// block is byte for byte the frame built from the file.
TEST_F(ProtocolTest, ParkedTransferStartsAgainFromTheFirstBlock) {
    ClockAlreadySet();
    const std::string big = BigFile();
    for (const bool misnumbered : {false, true}) {
        WriteFile(Mirror("ROOT/WORK/INBOX/big.xml"), big);
        Connection c(shared);
        c.Handshake();
        ASSERT_EQ(PathOf(c.sent.back()), "ROOT\\WORK\\INBOX\\big.xml");
        c.Answer();  // name accepted
        EXPECT_EQ(c.sent.back(), ExpectedBlock(big, 1, 0));
        c.Answer();
        EXPECT_EQ(c.sent.back(), ExpectedBlock(big, 2, 60000));
        const size_t sent = c.sent.size();
        Bytes spoiled(kAnswerSize);  // block 3 was built already; it must stay unsent
        BuildAnswer(c.sent.back().data(), misnumbered ? kStatusAccepted : kStatusRefused,
                    spoiled.data());
        if (misnumbered) {
            spoiled[kOffSequence] = 9;
            SealPayload(spoiled.data(), 3);
        }
        c.Feed(spoiled);
        EXPECT_EQ(c.sync.SendingState(), 3);
        EXPECT_EQ(c.sent.size(), sent);

        c.Answer();  // any later answer runs the parked side: the file is offered again
        ASSERT_EQ(c.sent.size(), sent + 1);
        EXPECT_EQ(PathOf(c.sent.back()), "ROOT\\WORK\\INBOX\\big.xml");
        EXPECT_EQ(c.sent.back()[kOffSequence], 0);
        for (uint8_t block = 0; block < 3; ++block) {
            c.Answer();
            EXPECT_EQ(c.sent.back(), ExpectedBlock(big, block + 1, block * 60000u)) << int(block);
            EXPECT_TRUE(fs::exists(Mirror("ROOT/WORK/INBOX/big.xml")));  // not before the end
        }
        EXPECT_EQ(c.sent.back().size(), FrameSize(DataWords(10001)));
        c.Answer();
        EXPECT_FALSE(fs::exists(Mirror("ROOT/WORK/INBOX/big.xml")));
    }
    EXPECT_EQ(shared.filesOut.load(), 2);
    EXPECT_TRUE(log.Contains("CtrID = 00A1  <--  \"ROOT\\WORK\\INBOX\\big.xml\""));
}

// A file is read block by block while it is sent. A file written anew meanwhile (by rename, as
// the server writes its commands) never mixes into the one being sent, and stays for the next
// offer; a file cut short in place ends the connection instead of sending a block it no longer
// has.
TEST_F(ProtocolTest, FileChangedWhileSentIsNeverMixed) {
    ClockAlreadySet();
    const std::string big = BigFile();
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

}  // namespace
}  // namespace zb::link
