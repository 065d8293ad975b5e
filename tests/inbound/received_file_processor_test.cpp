// The importers' handler as the link calls it: routing by kind, one transaction per file,
// mirror writes, and screen events only after the commit.
#include "inbound/received_file_processor.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <thread>

#include "inbound_fixture.h"
#include "link/mirror.h"
#include "storage/stored_text.h"

namespace zb::inbound::testing {
namespace {

using ::testing::ElementsAre;

class ReceivedFileProcessorTest : public InboundTest {
  protected:
    void Receive(const std::string& linkPath, const std::string& bytes,
                 const std::string& ctrId = "00A1") {
        link::ReceivedFile file;
        file.ctrId = ctrId;
        file.linkPath = linkPath;
        file.fileName = linkPath.substr(linkPath.rfind('\\') + 1);
        file.kind = link::ClassifyLinkPath(linkPath);
        file.mirrorDir = mirror(ctrId);
        file.mirrorPath = *link::MapLinkPath(file.mirrorDir, linkPath);
        file.bytes = bytes;
        processor_.HandleReceivedFile(file);
    }
    std::filesystem::path MirrorFile(const std::string& relative,
                                     const std::string& ctrId = "00A1") {
        return *link::MapLinkPath(mirror(ctrId), relative);
    }

    ReceivedFileProcessor processor_{programDir()};
};

// A result file with one plain task holding the given answers, and a GetProfile command.
std::string ResultFile(const std::string& answers) {
    return ResultXml("3", TaskXml("1", "M-200", "Var=\"V\"", answers) +
                              CommandXml("GetProfile", "", CommandAnsXml("DONE", "p=1")));
}

std::string Ans(const std::string& meter) {
    return AnsXml(meter, "DONE", "1");
}

TEST_F(ReceivedFileProcessorTest, InfoFilesAreImportedThenWritten) {
    Receive("ROOT\\INFO\\METERS\\meters.xml",
            "<meters>\r\n  <meter address=\"0000000A\"/>\r\n</meters>\r\n");
    const int64_t uid = Int("SELECT UID from MeasuringPoint");
    EXPECT_THAT(events_->events(), ElementsAre("MeterValuesChanged " + std::to_string(uid),
                                               "MeasuringPointsChanged 00A1"));

    const int64_t a = AddPoint(ctrB2_, "A");
    const std::string noise =
        "<noise>\r\n  <channel>\r\n    <node address=\"A\" nrms=\"4\"/>\r\n  </channel>\r\n"
        "</noise>\r\n";
    Receive("ROOT\\INFO\\METERS\\noise.xml", noise);
    EXPECT_EQ(Text("SELECT Noise from MeasuringPoint WHERE UID=" + std::to_string(a)), "4");
    EXPECT_EQ(zb::testing::ReadFile(MirrorFile("ROOT\\INFO\\METERS\\noise.xml")), noise);
    // "NOISE.xml" is a meter list, not the noise report.
    Receive("ROOT\\INFO\\METERS\\NOISE.xml",
            "<noise>\r\n  <channel>\r\n    <node address=\"A\" nrms=\"9\"/>\r\n  </channel>\r\n"
            "</noise>\r\n");
    EXPECT_EQ(Text("SELECT Noise from MeasuringPoint WHERE UID=" + std::to_string(a)), "4");

    // A profile whose name lacks the two IDs is stored and not announced.
    events_->clear();
    Receive("ROOT\\INFO\\PROFILES\\profile.xml", "<profile/>\r\n");
    EXPECT_TRUE(std::filesystem::exists(MirrorFile("ROOT\\INFO\\PROFILES\\profile.xml")));
    EXPECT_TRUE(events_->events().empty());
}

TEST_F(ReceivedFileProcessorTest, AMeterListThatCannotBeWrittenImportsNothing) {
    std::filesystem::remove_all(mirror("00A1") / "ROOT" / "INFO" / "METERS");
    EXPECT_THROW(Receive("ROOT\\INFO\\METERS\\meters.xml",
                         "<meters>\r\n  <meter address=\"A\"/>\r\n</meters>\r\n"),
                 link::EReceivedFileRejected);
    EXPECT_EQ(CountRows("MeasuringPoint"), 0);
    EXPECT_TRUE(events_->events().empty());
}

TEST_F(ReceivedFileProcessorTest, AMeterListBrokenHalfwayIsRejectedAndChangesNothing) {
    // Meters are applied as they are read: those before the fault are rolled back with it.
    EXPECT_THROW(Receive("ROOT\\INFO\\METERS\\meters.xml",
                         "<meters>\r\n  <meter address=\"A\"/>\r\n  <meter address=\"B\"/>\r\n"
                         "  <meter address=\"C\"\r\n"),
                 link::EReceivedFileRejected);
    EXPECT_EQ(CountRows("MeasuringPoint"), 0);
    EXPECT_TRUE(events_->events().empty());
    EXPECT_FALSE(std::filesystem::exists(MirrorFile("ROOT\\INFO\\METERS\\meters.xml")));
}

TEST_F(ReceivedFileProcessorTest, PeriodicWorksAreStoredNotProcessed) {
    const std::string work = ResultFile(Ans("A"));
    Receive("ROOT\\WORK\\PERIODIC\\w-1.xml", work);
    EXPECT_EQ(zb::testing::ReadFile(MirrorFile("ROOT\\WORK\\PERIODIC\\w-1.xml")), work);
    EXPECT_EQ(CountRows("BigData"), 0);
    Receive("ROOT\\OTHER\\x.xml", work);
    EXPECT_EQ(CountRows("BigData"), 0);
}

TEST_F(ReceivedFileProcessorTest, AFileThatIsNotXmlIsRejectedAndChangesNothing) {
    // A line longer than the reader's window.
    EXPECT_THROW(Receive("ROOT\\WORK\\OUTBOX\\r.xml", "<r>" + std::string(5000, 'x') + "</r>"),
                 link::EReceivedFileRejected);
    EXPECT_EQ(CountRows("BigData"), 0);
}

TEST_F(ReceivedFileProcessorTest, FilesFromSeveralThreadsAreEachAppliedWhole) {
    // The link serialises received files with its file lock; the database layer must still keep
    // each file's transaction apart from statements of other threads (the window's).
    constexpr int kFiles = 8;
    std::vector<std::thread> threads;
    std::mutex fileLock;
    for (int t = 0; t < kFiles; ++t) {
        threads.emplace_back([&, t] {
            std::lock_guard lock(fileLock);
            Receive("ROOT\\WORK\\OUTBOX\\r.xml",
                    ResultFile(Ans("T" + std::to_string(t)) + Ans("X")));
        });
    }
    std::thread window([&] {
        for (int i = 0; i < 50; ++i) {
            db().InsertSql("INSERT into Operator (Name) values('w')");
        }
    });
    for (auto& thread : threads) {
        thread.join();
    }
    window.join();
    EXPECT_EQ(CountRows("BigData"), 2 * kFiles);
    EXPECT_EQ(CountRows("Operator"), 51);
}

}  // namespace
}  // namespace zb::inbound::testing
