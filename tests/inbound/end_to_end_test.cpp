// The importers behind the real link server on an ephemeral loopback port, fed by the
// concentrator simulator: what a concentrator sends changes the database.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <map>
#include <thread>

#include "inbound/received_file_processor.h"
#include "inbound_fixture.h"
#include "link/link_server.h"
#include "storage/time_stamp.h"
#include "testing/process.h"
#include "testing/recorders.h"
#include "work/dispatch.h"
#include "work/work_library.h"

namespace zb::inbound::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using ::testing::AllOf;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;
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
    // r-1 has an answer time that is not a date: it is rejected whole (the command before the
    // bad answer is rolled back). r-2 applies; a NUL in its profile text is stored as U+FFFD.
    const std::string badTime = ResultXml(
        "21", CommandXml("GetParams", "", CommandAnsXml("DONE", "1", "a")) +
                  TaskXml("11", "M-200", "Var=\"V\"", AnsXml("0000000A", "DONE", "1", "0")));
    WriteFile(ctr_ / "ROOT/WORK/OUTBOX/r-1.xml", badTime);
    WriteFile(ctr_ / "ROOT/WORK/OUTBOX/r-2.xml",
              ResultXml("21", CommandXml("GetProfile", "",
                                         CommandAnsXml("DONE", std::string("a=1\0b", 5)))));
    ASSERT_EQ(RunConcentrator("00A1", ctr_.path()), 0) << lastOutput_;

    EXPECT_EQ(ReadFile(mirror("00A1") / "REJECTED/2026-12-05-14-03-09_r-1.xml"), badTime);
    EXPECT_THAT(log_.lines(), Contains(StartsWith("CtrID = 00A1, файл r-1.xml отклонён: ")));
    EXPECT_EQ(CountRows("BigData") + CountRows("CTR", "InfoBasic IS NOT NULL"), 0);
    EXPECT_EQ(Text("SELECT Profile from CTR WHERE UID=" + std::to_string(ctrA1_)),
              std::string("a=1\xEF\xBF\xBD") + "b\r\nДанные получены=" + kNowText);
}

TEST_F(EndToEndTest, AResultFileIsAppliedWholeAndOnce) {
    // Records older than 30 days are dropped when a file is recorded; younger ones stay.
    const int64_t now = storage::LocalTimeStampOf(kNow);
    db().ExecuteSql(
        "INSERT into ProcessedResultFile (CtrID,FileName,Size,Hash,LocalTimeStamp) values"
        "('00A1','old-31',1,'0'," +
        std::to_string(now - 31 * 86400) + "),('00A1','old-29',1,'0'," +
        std::to_string(now - 29 * 86400) + ")");
    const std::string file = ResultXml(
        "21", CommandXml("GetParams", "", CommandAnsXml("DONE", "1.2", "Version")) +
                  TaskXml("11", "M-230", "Var=\"Energy\"", AnsXml("0000000A", "DONE", "0A000000")) +
                  TaskXml("13", "M-230", "Var=\"Energy\"", AnsXml("0000000A", "DONE", "0B000000")));
    WriteFile(ctr_ / "ROOT/WORK/OUTBOX/r-1.xml", file);

    // A fault of the server half-way through the file: nothing of it stays and it is not
    // answered, so the concentrator sends it again at its next session.
    db().ExecuteSql(
        "CREATE TRIGGER refuse BEFORE INSERT ON BigData WHEN NEW.TaskUID = 13 "
        "BEGIN SELECT RAISE(ABORT, 'disk full'); END");
    EXPECT_NE(RunConcentrator("00A1", ctr_.path()), 0) << "answered: " << lastOutput_;
    EXPECT_THAT(log_.lines(),
                Contains(AllOf(StartsWith("CtrID = 00A1, ОШИБКА: "), HasSubstr("disk full"))));
    EXPECT_EQ(CountRows("BigData") + CountRows("CTR", "InfoBasic IS NOT NULL"), 0);
    db().ExecuteSql("DROP TRIGGER refuse");

    // Applied; then the concentrator did not hear the answer and sends the same file again.
    ASSERT_EQ(RunConcentrator("00A1", ctr_.path()), 0) << lastOutput_;
    ASSERT_EQ(RunConcentrator("00A1", ctr_.path()), 0) << lastOutput_;
    EXPECT_EQ(CountRows("BigData"), 2);
    // Another file of the same name and size but other bytes is a new file.
    std::string other = file;
    other.replace(other.find("0A000000"), 8, "0C000000");
    WriteFile(ctr_ / "ROOT/WORK/OUTBOX/r-1.xml", other);
    ASSERT_EQ(RunConcentrator("00A1", ctr_.path()), 0) << lastOutput_;
    EXPECT_EQ(CountRows("BigData"), 4);
    EXPECT_THAT(TableRows("ProcessedResultFile", {"FileName"}),
                ElementsAre(ElementsAre("old-29"), ElementsAre("r-1.xml"), ElementsAre("r-1.xml")));
}

// Values that spell column names ("MeterADDR", "MeterSN") are texts, never the columns: a
// concentrator cannot reach other measuring points by sending them.
TEST_F(EndToEndTest, ValuesThatSpellColumnNamesTouchOnlyTheirOwnRows) {
    AddPoint(0, "0000000C");
    AddPoint(ctrA1_, "0000000A");
    AddPoint(ctrB2_, "0000000B");
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
    // The other points keep their concentrator, serial number and noise; none is claimed.
    const std::vector<std::string> columns = {"MeterADDR", "CtrUID", "MeterSN", "Noise"};
    const auto before = TableRows("MeasuringPoint", columns);
    const std::string a1 = std::to_string(ctrA1_), b2 = std::to_string(ctrB2_);
    EXPECT_THAT(before, ElementsAre(ElementsAre("0000000C", "0", "SN", "1.5"),
                                    ElementsAre("0000000A", a1, "SN", "1.5"),
                                    ElementsAre("0000000B", b2, "SN", "1.5"),
                                    ElementsAre("MeterADDR", a1, "<NULL>", "66.6")));

    const std::string created =
        std::to_string(Int("SELECT UID from MeasuringPoint WHERE MeterADDR='MeterADDR'"));
    fs::remove_all(ctr_ / "ROOT/INFO/METERS");
    WriteFile(ctr_ / "ROOT/WORK/OUTBOX/r-1.xml",
              ResultXml("21", TaskXml("14", "M-230", "Var=\"Energy\"",
                                      AnsXml("MeterADDR", "DONE", "0A000000")) +
                                  CommandXml("DeleteMeter", "MeterADDR", CommandAnsXml("DONE"))));
    ASSERT_EQ(RunConcentrator("00A1", ctr_.path()), 0) << lastOutput_;
    EXPECT_EQ(TableRows("BigData", {"MeterADDR", "DataVendorUID"}),
              (std::vector<std::vector<std::string>>{{"MeterADDR", created}}));
    EXPECT_EQ(TableRows("MeasuringPoint", columns),
              (std::vector<std::vector<std::string>>(before.begin(), before.end() - 1)));
}

// A dispatched work travels for real: written into the mirror of 00A1 by the upload, sent to
// the simulator, and answered by a result file that lands in BigData under the dispatch's Work
// UID and the requests' Task UIDs.
TEST_F(EndToEndTest, TheAnswersOfADispatchedWorkLandUnderItsWorkAndTasks) {
    const int64_t point = AddPoint(ctrA1_, "0000000A");
    const int64_t work = work::InsertWork(db(), work::WorkRow({"E2E"}));
    const std::string read =
        std::to_string(work::InsertTask(db(), work, work::TaskRow({.var = "0000.Energy"})));
    const std::string plain = std::to_string(work::InsertTask(
        db(), work, work::TaskRow({.syntax = "M-230", .var = "P1", .value = "0811"})));
    const work::UploadOutcome upload = work::UploadWork(db(), programDir(), 1,
                                                        {.workLibUid = work,
                                                         .concentrators = {ctrA1_},
                                                         .meterItems = 2,
                                                         .meters = {{point, "0000000A"}}});
    ASSERT_EQ(upload.filesWritten, 1);
    ASSERT_EQ(RunConcentrator("00A1", ctr_.path()), 0) << lastOutput_;
    const fs::path received = ctr_ / "ROOT/WORK/INBOX" / upload.fileName;
    const std::string workFile = ReadFile(received);
    EXPECT_TRUE(fs::is_empty(link::MirrorInbox(programDir(), "00A1")));
    const std::string w = std::to_string(upload.workUid), mp = std::to_string(point);
    for (const std::string& piece :
         {"<workUID Value=\"" + w + "\"/>", std::string("<workTarget Meter=\"0000000A\"/>"),
          "taskUID=\"" + read + "\" Syntax=\"ZARNIC\"",
          "taskUID=\"" + plain + "\" Syntax=\"M-230\""}) {
        EXPECT_NE(workFile.find(piece), std::string::npos) << piece << "\n" << workFile;
    }

    // The concentrator ran the work: every request answered DONE by the meter.
    const std::string ans = AnsXml("0000000A", "DONE", "0A000000");
    WriteFile(ctr_ / "ROOT/WORK/OUTBOX/r-1.xml",
              ResultXml(w, TaskXml(read, "ZARNIC", "Var=\"0000.Energy\" OpCode=\"R\"", ans) +
                               TaskXml(plain, "M-230", "Var=\"P1\"", ans)));
    fs::remove(received);
    ASSERT_EQ(RunConcentrator("00A1", ctr_.path()), 0) << lastOutput_;
    EXPECT_THAT(
        TableRows("BigData", {"WorkUID", "TaskUID", "DataVendorUID", "VarName", "Result", "Value"}),
        ElementsAre(ElementsAre(w, read, mp, "0000.Energy", "DONE", "10"),
                    ElementsAre(w, plain, mp, "P1", "DONE", "0A000000")));
}

}  // namespace
}  // namespace zb::inbound::testing
