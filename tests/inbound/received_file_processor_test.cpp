// The importers' handler as the link calls it: routing by kind, one transaction per file,
// mirror writes, and screen events only after the commit.
#include "inbound/received_file_processor.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <thread>

#include "inbound_fixture.h"

namespace zb::inbound::testing {
namespace {

namespace fs = std::filesystem;

class ReceivedFileProcessorTest : public InboundTest {};

std::string NoiseFile(const std::string& nrms) {
    return "<noise>\r\n  <channel>\r\n    <node address=\"A\" nrms=\"" + nrms +
           "\"/>\r\n  </channel>\r\n</noise>\r\n";
}

TEST_F(ReceivedFileProcessorTest, FilesGoWhereTheirPathSays) {
    AddPoint(ctrB2_, "A");
    Receive("ROOT\\INFO\\METERS\\noise.xml", NoiseFile("4"));
    EXPECT_EQ(zb::testing::ReadFile(mirror("00A1") / "ROOT/INFO/METERS/noise.xml"), NoiseFile("4"));
    // "NOISE.xml" is a meter list, not the noise report.
    Receive("ROOT\\INFO\\METERS\\NOISE.xml", NoiseFile("9"));
    EXPECT_EQ(Text("SELECT Noise from MeasuringPoint"), "4");
    // A profile whose name lacks the two IDs is stored and not announced.
    events_->clear();
    Receive("ROOT\\INFO\\PROFILES\\profile.xml", "<profile/>\r\n");
    EXPECT_TRUE(fs::exists(mirror("00A1") / "ROOT/INFO/PROFILES/profile.xml"));
    EXPECT_TRUE(events_->events().empty());
    // Periodic works are stored, not processed; other paths neither.
    const std::string work =
        ResultXml("3", TaskXml("1", "M-200", "Var=\"V\"", AnsXml("A", "DONE", "1")));
    Receive("ROOT\\WORK\\PERIODIC\\w-1.xml", work);
    EXPECT_EQ(zb::testing::ReadFile(mirror("00A1") / "ROOT/WORK/PERIODIC/w-1.xml"), work);
    Receive("ROOT\\OTHER\\x.xml", work);
    EXPECT_EQ(CountRows("BigData"), 0);
}

// A meter list that cannot be stored in the mirror, or that breaks off halfway (its meters are
// applied as they are read: those before the fault are rolled back with it), changes nothing.
TEST_F(ReceivedFileProcessorTest, AMeterListThatFailsImportsNothing) {
    const std::string list = "<meters>\r\n  <meter address=\"A\"/>\r\n  <meter address=\"B\"/>\r\n";
    EXPECT_THROW(Receive("ROOT\\INFO\\METERS\\meters.xml", list + "  <meter address=\"C\"\r\n"),
                 link::EReceivedFileRejected);
    EXPECT_FALSE(fs::exists(mirror("00A1") / "ROOT/INFO/METERS/meters.xml"));
    fs::remove_all(mirror("00A1") / "ROOT" / "INFO" / "METERS");
    EXPECT_THROW(Receive("ROOT\\INFO\\METERS\\meters.xml", list + "</meters>\r\n"),
                 link::EReceivedFileRejected);
    EXPECT_EQ(CountRows("MeasuringPoint"), 0);
    EXPECT_TRUE(events_->events().empty());
}

TEST_F(ReceivedFileProcessorTest, FilesFromSeveralThreadsAreEachAppliedWhole) {
    // The link serialises received files with its file lock; the database layer must still keep
    // each file's transaction apart from statements of other threads (the window's).
    std::vector<std::thread> threads;
    std::mutex fileLock;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&, t] {
            std::lock_guard lock(fileLock);
            Receive("ROOT\\WORK\\OUTBOX\\r.xml",
                    ResultXml("3", TaskXml("1", "M-200", "Var=\"V\"",
                                           AnsXml("T" + std::to_string(t), "DONE", "1") +
                                               AnsXml("X", "DONE", "1"))));
        });
    }
    threads.emplace_back([&] {
        for (int i = 0; i < 50; ++i) {
            db().InsertSql("INSERT into Operator (Name) values('w')");
        }
    });
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(CountRows("BigData"), 16);
    EXPECT_EQ(CountRows("Operator"), 51);
}

}  // namespace
}  // namespace zb::inbound::testing
