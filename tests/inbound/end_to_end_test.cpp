// The importers behind the real link server on an ephemeral loopback port, fed by the
// concentrator simulator: what a concentrator sends changes the database.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <map>
#include <regex>
#include <thread>

#include "inbound/received_file_processor.h"
#include "inbound_fixture.h"
#include "link/link_server.h"
#include "link/mirror.h"
#include "storage/stored_text.h"
#include "storage/time_stamp.h"
#include "testing/process.h"
#include "testing/recorders.h"
#include "work/dispatch.h"
#include "work/work_library.h"

namespace zb::inbound::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using ::testing::ElementsAre;
using zb::testing::ReadFile;
using zb::testing::WriteFile;

class EndToEndTest : public InboundTest {
  protected:
    void SetUp() override {
        InboundTest::SetUp();
        server_ = std::make_unique<link::LinkServer>(programDir(), 0);
        server_->SetReceivedFileHandler(std::make_shared<ReceivedFileProcessor>(programDir()));
        server_->Start();
    }
    void TearDown() override {
        server_->Stop();
        server_.reset();
        InboundTest::TearDown();
    }

    // Runs one simulated concentrator with the given root until it ends, ticking the server's
    // close countdowns meanwhile. Returns the simulator's exit code.
    int RunConcentrator(const std::string& id, const fs::path& root) {
        zb::testing::ChildProcess sim(
            ZB_CTR_SIM_PATH, {"--port", std::to_string(server_->Port()), "--id", id, "--root",
                              root.string(), "--timeout", "60", "--quiet"});
        std::atomic<bool> done{false};
        std::thread ticker([&] {
            while (!done) {
                std::this_thread::sleep_for(20ms);
                server_->Tick();
            }
        });
        const int code = sim.Wait(60s);
        done = true;
        ticker.join();
        lastOutput_ = sim.output();
        return code;
    }

    zb::testing::LogRecorder log_;
    std::unique_ptr<link::LinkServer> server_;
    zb::testing::TempDir ctr_;
    std::string lastOutput_;
};

constexpr const char* kHeader = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n";

TEST_F(EndToEndTest, AFileThatCanNeverBeProcessedIsKeptAsideAndTheFilesBehindItArrive) {
    // r-1 has a line over 4,096 bytes, r-2 an answer time that is not a date: each is rejected
    // whole (the command before the bad answer of r-2 is rolled back). r-3 applies; a NUL in
    // its profile text is stored as U+FFFD.
    const std::string tooLong = "<r>" + std::string(5000, 'x') + "</r>";
    const std::string badTime = ResultXml(
        "21", CommandXml("GetParams", "", CommandAnsXml("DONE", "1", "a")) +
                  TaskXml("11", "M-200", "Var=\"V\"", AnsXml("0000000A", "DONE", "1", "0")));
    WriteFile(ctr_ / "ROOT/WORK/OUTBOX/r-1.xml", tooLong);
    WriteFile(ctr_ / "ROOT/WORK/OUTBOX/r-2.xml", badTime);
    WriteFile(ctr_ / "ROOT/WORK/OUTBOX/r-3.xml",
              ResultXml("21", CommandXml("GetProfile", "",
                                         CommandAnsXml("DONE", std::string("a=1\0b", 5)))));
    ASSERT_EQ(RunConcentrator("00A1", ctr_.path()), 0) << lastOutput_;

    std::map<std::string, std::string> kept;  // name without its time stamp -> bytes
    for (const auto& entry : fs::directory_iterator(mirror("00A1") / "REJECTED")) {
        const std::string name = entry.path().filename().string();
        ASSERT_EQ(name.size(), 20 + 7) << name;  // "2026-12-05-14-03-09_" + "r-N.xml"
        kept[name.substr(20)] = ReadFile(entry.path());
    }
    EXPECT_EQ(kept,
              (std::map<std::string, std::string>{{"r-1.xml", tooLong}, {"r-2.xml", badTime}}));
    int rejectedLines = 0;
    for (const std::string& line : log_.lines()) {
        rejectedLines += line.rfind("CtrID = 00A1, файл r-1.xml отклонён: ", 0) == 0 ||
                         line.rfind("CtrID = 00A1, файл r-2.xml отклонён: ", 0) == 0;
    }
    EXPECT_EQ(rejectedLines, 2) << ::testing::PrintToString(log_.lines());
    EXPECT_EQ(Text("SELECT InfoBasic from CTR WHERE UID=" + std::to_string(ctrA1_)), "");
    EXPECT_EQ(CountRows("BigData"), 0);
    EXPECT_EQ(Text("SELECT Profile from CTR WHERE UID=" + std::to_string(ctrA1_)),
              std::string("a=1\xEF\xBF\xBD") + "b\r\nДанные получены=" + kNowText);
    EXPECT_TRUE(fs::is_empty(mirror("00A1") / "ROOT/WORK/OUTBOX"));
}

TEST_F(EndToEndTest, AResultFileIsAppliedWholeAndOnce) {
    // Records older than 30 days are dropped when a file is recorded; younger ones stay.
    const int64_t now = storage::LocalTimeStampOf(kNow);
    for (const int64_t age : {31, 29}) {
        db().ExecuteSql(
            "INSERT into ProcessedResultFile (CtrID,FileName,Size,Hash,LocalTimeStamp)"
            " values('00A1','old-" +
            std::to_string(age) + "',1,'0'," + std::to_string(now - age * 86400) + ")");
    }
    AddPoint(ctrA1_, "0000000A");
    const auto task = [](const std::string& uid, const std::string& value) {
        return TaskXml(uid, "M-230", "Var=\"Energy\"", AnsXml("0000000A", "DONE", value));
    };
    const std::string file =
        ResultXml("21", CommandXml("GetParams", "", CommandAnsXml("DONE", "1.2", "Version")) +
                            task("11", "0A000000") + task("13", "0B000000"));
    WriteFile(ctr_ / "ROOT/WORK/OUTBOX/r-1.xml", file);

    // A fault of the server half-way through the file: nothing of it stays and it is not
    // answered, so the concentrator sends it again at its next session.
    db().ExecuteSql(
        "CREATE TRIGGER refuse BEFORE INSERT ON BigData WHEN NEW.TaskUID = 13 "
        "BEGIN SELECT RAISE(ABORT, 'disk full'); END");
    RunConcentrator("00A1", ctr_.path());
    bool logged = false;
    for (const std::string& line : log_.lines()) {
        logged = logged || (line.rfind("CtrID = 00A1, ОШИБКА: ", 0) == 0 &&
                            line.find("disk full") != std::string::npos);
    }
    EXPECT_TRUE(logged) << ::testing::PrintToString(log_.lines());
    EXPECT_EQ(CountRows("BigData"), 0);
    EXPECT_EQ(Text("SELECT InfoBasic from CTR WHERE UID=" + std::to_string(ctrA1_)), "");
    EXPECT_TRUE(events_->events().empty());
    db().ExecuteSql("DROP TRIGGER refuse");

    // Applied; then the concentrator did not hear the answer and sends the same file again.
    ASSERT_EQ(RunConcentrator("00A1", ctr_.path()), 0) << lastOutput_;
    ASSERT_EQ(RunConcentrator("00A1", ctr_.path()), 0) << lastOutput_;
    EXPECT_EQ(CountRows("BigData"), 2);
    EXPECT_EQ(Text("SELECT InfoBasic from CTR WHERE UID=" + std::to_string(ctrA1_)),
              std::string("Version=1.2\r\nДанные получены=") + kNowText + "\r\n");
    EXPECT_TRUE(
        log_.Contains("CtrID = 00A1, файл r-1.xml уже обработан, повторно не применяется."));
    // Another file of the same name and size but other bytes is a new file.
    std::string other = file;
    other.replace(other.find("0A000000"), 8, "0C000000");
    WriteFile(ctr_ / "ROOT/WORK/OUTBOX/r-1.xml", other);
    ASSERT_EQ(RunConcentrator("00A1", ctr_.path()), 0) << lastOutput_;
    EXPECT_EQ(CountRows("BigData"), 4);
    EXPECT_EQ(CountRows("ProcessedResultFile"), 3);  // two of r-1.xml, old-29
    EXPECT_EQ(CountRows("ProcessedResultFile", "FileName='old-31'"), 0);
}

// Values that spell column names ("MeterADDR", "MeterSN") are texts, never the columns: a
// concentrator cannot reach other measuring points by sending them.
TEST_F(EndToEndTest, ValuesThatSpellColumnNamesTouchOnlyTheirOwnRows) {
    const int64_t unassigned = AddPoint(0, "0000000C");
    const int64_t ownPoint = AddPoint(ctrA1_, "0000000A");
    const int64_t otherCtr = AddPoint(ctrB2_, "0000000B");
    db().ExecuteSql("UPDATE MeasuringPoint set Noise='1.5', MeterSN='SN'");
    const std::string list =
        std::string(kHeader) + "<meters>\r\n  <meter address=\"MeterADDR\"/>\r\n</meters>\r\n";
    WriteFile(ctr_ / "ROOT/INFO/METERS/meters-1.xml", list);
    WriteFile(
        ctr_ / "ROOT/INFO/METERS/noise.xml",
        std::string(kHeader) +
            "<noise>\r\n  <channel>\r\n    <node address=\"MeterADDR\" nrms=\"MeterSN\"/>\r\n"
            "    <node address=\"MeterADDR\" nrms=\"66.6\"/>\r\n  </channel>\r\n</noise>\r\n");
    ASSERT_EQ(RunConcentrator("00A1", ctr_.path()), 0) << lastOutput_;

    EXPECT_EQ(ReadFile(mirror("00A1") / "ROOT/INFO/METERS/meters-1.xml"), list);
    const int64_t created = Int("SELECT UID from MeasuringPoint WHERE MeterADDR='MeterADDR'");
    EXPECT_NE(created, unassigned);
    EXPECT_EQ(CountRows("MeasuringPoint"), 4);
    EXPECT_EQ(CountRows("MeasuringPoint", "CtrUID=0"), 1);
    EXPECT_EQ(CountRows("MeasuringPoint", "Noise='1.5' AND MeterSN='SN'"), 3);
    EXPECT_EQ(Text("SELECT Noise from MeasuringPoint WHERE UID=" + std::to_string(created)),
              "66.6");

    fs::remove_all(ctr_ / "ROOT/INFO/METERS");
    WriteFile(ctr_ / "ROOT/WORK/OUTBOX/r-1.xml",
              ResultXml("21", TaskXml("14", "M-230", "Var=\"Energy\"",
                                      AnsXml("MeterADDR", "DONE", "0A000000")) +
                                  CommandXml("DeleteMeter", "MeterADDR", CommandAnsXml("DONE"))));
    ASSERT_EQ(RunConcentrator("00A1", ctr_.path()), 0) << lastOutput_;
    EXPECT_EQ(Text("SELECT MeterADDR from BigData"), "MeterADDR");
    EXPECT_EQ(Int("SELECT DataVendorUID from BigData"), created);
    EXPECT_EQ(CountRows("MeasuringPoint", "MeterADDR='MeterADDR'"), 0);
    for (const int64_t uid : {unassigned, ownPoint, otherCtr}) {
        EXPECT_EQ(CountRows("MeasuringPoint", "UID=" + std::to_string(uid)), 1) << uid;
    }
}

// A dispatched work travels for real: written into the mirror of 00A1 by the upload, sent to
// the simulator, and answered by a result file that lands in BigData under the dispatch's Work
// UID and the requests' Task UIDs.
// What the concentrator writes after running the work: every request answered DONE by the meter.
std::string AnswerWorkFile(const std::string& work, const std::string& meter) {
    const std::regex workUid("<workUID Value=\"(\\d+)\"/>");
    const std::regex task("<task taskUID=\"(\\d+)\" Syntax=\"([^\"]+)\">\r\n\\s*<req ([^/]*)/>");
    std::smatch match;
    EXPECT_TRUE(std::regex_search(work, match, workUid));
    const std::string uid = match[1];
    std::string body;
    for (auto it = std::sregex_iterator(work.begin(), work.end(), task);
         it != std::sregex_iterator(); ++it) {
        body += TaskXml((*it)[1], (*it)[2], (*it)[3], AnsXml(meter, "DONE", "0A000000"));
    }
    return ResultXml(uid, body);
}

TEST_F(EndToEndTest, TheAnswersOfADispatchedWorkLandUnderItsWorkAndTasks) {
    const int64_t point = AddPoint(ctrA1_, "0000000A");
    db().ExecuteSql("UPDATE MeasuringPoint set Syntax=" + storage::SqlText("ZARNIC"));
    const int64_t work = work::InsertWork(db(), work::WorkRow({"E2E"}));
    const int64_t read = work::InsertTask(db(), work, work::TaskRow({.var = "0000.Energy"}));
    const int64_t plain = work::InsertTask(
        db(), work, work::TaskRow({.syntax = "M-230", .var = "P1", .value = "0811"}));
    const work::UploadOutcome upload = work::UploadWork(db(), programDir(), 1,
                                                        {.workLibUid = work,
                                                         .concentrators = {ctrA1_},
                                                         .meterItems = 2,
                                                         .meters = {{point, "0000000A"}}});
    ASSERT_EQ(upload.filesWritten, 1);

    ASSERT_EQ(RunConcentrator("00A1", ctr_.path()), 0) << lastOutput_;
    const fs::path received = ctr_ / "ROOT/WORK/INBOX" / upload.fileName;
    ASSERT_TRUE(fs::exists(received));
    EXPECT_TRUE(fs::is_empty(link::MirrorInbox(programDir(), "00A1")));
    const std::string workFile = zb::testing::ReadFile(received);
    EXPECT_NE(workFile.find("<workTarget Meter=\"0000000A\"/>"), std::string::npos);

    zb::testing::WriteFile(ctr_ / "ROOT/WORK/OUTBOX/r-1.xml", AnswerWorkFile(workFile, "0000000A"));
    fs::remove(received);
    ASSERT_EQ(RunConcentrator("00A1", ctr_.path()), 0) << lastOutput_;

    const std::string w = std::to_string(upload.workUid), mp = std::to_string(point);
    EXPECT_THAT(
        TableRows("BigData", {"WorkUID", "TaskUID", "DataVendorUID", "VarName", "Result", "Value"}),
        ElementsAre(ElementsAre(w, std::to_string(read), mp, "0000.Energy", "DONE", "10"),
                    ElementsAre(w, std::to_string(plain), mp, "P1", "DONE", "0A000000")));
}

}  // namespace
}  // namespace zb::inbound::testing
