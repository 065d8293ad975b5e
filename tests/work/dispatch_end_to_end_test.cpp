// A dispatched work travels for real: the upload writes it into the mirror of 00A1, the link
// server on an ephemeral loopback port sends it to the concentrator simulator, and the result
// file that answers it comes back over the link and lands in BigData under the dispatch's Work
// UID and the requests' Task UIDs.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <regex>
#include <thread>

#include "inbound/received_file_processor.h"
#include "inbound_fixture.h"
#include "link/link_server.h"
#include "link/mirror.h"
#include "storage/stored_text.h"
#include "testing/process.h"
#include "work/dispatch.h"
#include "work/work_library.h"

namespace zb::inbound::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using storage::SqlText;

class DispatchEndToEndTest : public InboundTest {
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
    // One session of the simulated 00A1, ticking the server's close countdowns meanwhile.
    void RunConcentrator() {
        zb::testing::ChildProcess sim(
            ZB_CTR_SIM_PATH, {"--port", std::to_string(server_->Port()), "--id", "00A1", "--root",
                              ctr_.path().string(), "--timeout", "60", "--quiet"});
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
        ASSERT_EQ(code, 0) << sim.output();
    }

    std::unique_ptr<link::LinkServer> server_;
    zb::testing::TempDir ctr_;
};

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

TEST_F(DispatchEndToEndTest, TheAnswersOfADispatchedWorkLandUnderItsWorkAndTasks) {
    const int64_t point = AddPoint(ctrA1_, "0000000A");
    db().ExecuteSql("UPDATE MeasuringPoint set Syntax=" + SqlText("ZARNIC"));
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

    RunConcentrator();
    const fs::path received = ctr_ / "ROOT/WORK/INBOX" / upload.fileName;
    ASSERT_TRUE(fs::exists(received));
    EXPECT_TRUE(fs::is_empty(link::MirrorInbox(programDir(), "00A1")));
    const std::string workFile = zb::testing::ReadFile(received);
    EXPECT_NE(workFile.find("<workTarget Meter=\"0000000A\"/>"), std::string::npos);

    zb::testing::WriteFile(ctr_ / "ROOT/WORK/OUTBOX/r-1.xml", AnswerWorkFile(workFile, "0000000A"));
    fs::remove(received);
    RunConcentrator();

    auto rows = db().QueryTable(
        "SELECT WorkUID,TaskUID,DataVendorUID,VarName,Result,Value from BigData ORDER BY ROWID");
    std::vector<std::vector<std::string>> cells;
    for (; !rows->AtEnd(); rows->Next()) {
        cells.push_back({});
        for (int c = 0; c < 6; ++c) {
            cells.back().push_back(storage::StoredTextDecode(rows->FieldText(c)));
        }
    }
    const std::string w = std::to_string(upload.workUid), mp = std::to_string(point);
    EXPECT_THAT(
        cells, ::testing::ElementsAre(
                   ::testing::ElementsAre(w, std::to_string(read), mp, "0000.Energy", "DONE", "10"),
                   ::testing::ElementsAre(w, std::to_string(plain), mp, "P1", "DONE", "0A000000")));
}

}  // namespace
}  // namespace zb::inbound::testing
