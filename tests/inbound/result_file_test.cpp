// Result files: the dispatcher and the four command results.
#include "inbound/result_file.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "inbound_fixture.h"
#include "storage/stored_text.h"

namespace zb::inbound::testing {
namespace {

using ::testing::ElementsAre;

class ResultFileTest : public InboundTest {
  protected:
    // Applies a result file of concentrator 00A1 the way the processor does, without the
    // transaction, and sends the collected events.
    void Process(const std::string& xmlText, const std::string& ctrId = "00A1") {
        auto document = Parse(xmlText);
        InboundContext context(db(), programDir());
        ProcessResultFile(context, *document->Root(), ctrId);
        context.events.Emit();
    }
    std::string Profile(int64_t ctrUid) {
        return Text("SELECT Profile from CTR WHERE UID=" + std::to_string(ctrUid));
    }
    std::string InfoBasic(int64_t ctrUid) {
        return Text("SELECT InfoBasic from CTR WHERE UID=" + std::to_string(ctrUid));
    }
};

std::string Command(const std::string& var, const std::string& value, const std::string& answers) {
    return "  <command>\r\n    <req Var=\"" + var + "\" Value=\"" + value + "\"/>\r\n" + answers +
           "  </command>\r\n";
}

std::string ResultFile(const std::string& workUid, const std::string& body) {
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<result>\r\n  <workUID Value=\"" +
           workUid + "\"/>\r\n" + body + "</result>\r\n";
}

TEST_F(ResultFileTest, MissingOrEmptyWorkUidChangesNothingEvenCommands) {
    AddPoint(ctrA1_, "0000000A");
    const std::string body =
        "  <task TaskUID=\"3\" Syntax=\"M-200\">\r\n    <req Var=\"V\"/>\r\n"
        "    <ans Meter=\"0000000A\" Result=\"DONE\" Time=\"2026-12-05-14-03-09\" Value=\"1\"/>\r\n"
        "  </task>\r\n" +
        Command("GetProfile", "", "    <ans Result=\"DONE\" Value=\"a=1\"/>\r\n") +
        Command("DeleteMeter", "ANY", "    <ans Result=\"DONE\"/>\r\n");
    Process(ResultFile("", body));
    // No workUID element at all.
    Process("<result>\r\n" + body + "</result>\r\n");
    // A value written as two double quotes reads as empty.
    Process(ResultFile("&quot;&quot;", body));

    EXPECT_EQ(CountRows("BigData"), 0);
    EXPECT_EQ(CountRows("MeasuringPoint"), 1);
    EXPECT_EQ(Profile(ctrA1_), "");
    EXPECT_TRUE(events_->events().empty());
}

TEST_F(ResultFileTest, GetParamsStoresDoneAnswersAndTheReceivedLine) {
    Process(ResultFile("0", Command("GetParams", "",
                                    "    <ans Param=\"a\" Value=\"1\" Result=\"DONE\"/>\r\n"
                                    "    <ans Param=\"b\" Value=\"2\" Result=\"FAIL\"/>\r\n"
                                    "    <ans Param=\"c\" Value=\"3\" Result=\"DONE\"/>\r\n")));
    EXPECT_EQ(InfoBasic(ctrA1_), std::string("a=1\r\nc=3\r\nДанные получены=") + kNowText + "\r\n");
    // Stored in the stored text form: line breaks as "<br/>".
    EXPECT_EQ(db().QueryTable("SELECT InfoBasic from CTR WHERE UID=" + std::to_string(ctrA1_))
                  ->FieldText(0),
              std::string("a=1<br/>c=3<br/>Данные получены=") + kNowText + "<br/>");
    EXPECT_EQ(InfoBasic(ctrB2_), "");
    EXPECT_THAT(events_->events(), ElementsAre("CtrValuesChanged 00A1"));
}

TEST_F(ResultFileTest, GetParamsRunsWhateverTheResultAndDecodesStoredValues) {
    // Every answer failed: only the received line remains. A value in the stored text form
    // ("&lt;" after the XML reader) is decoded before it joins the lines.
    Process(ResultFile(
        "0", Command("GetParams", "", "    <ans Param=\"x\" Value=\"2\" Result=\"FAIL\"/>\r\n")));
    EXPECT_EQ(InfoBasic(ctrA1_), std::string("Данные получены=") + kNowText + "\r\n");
    Process(ResultFile("0",
                       Command("GetParams", "",
                               "    <ans Param=\"q\" Value=\"1&amp;lt;2\" Result=\"DONE\"/>\r\n")));
    EXPECT_EQ(InfoBasic(ctrA1_), std::string("q=1<2\r\nДанные получены=") + kNowText + "\r\n");
}

TEST_F(ResultFileTest, GetProfileSplitsAtCommasOnlyWhenDone) {
    Process(
        ResultFile("0", Command("GetProfile", "", "    <ans Result=\"FAIL\" Value=\"x=9\"/>\r\n")));
    EXPECT_EQ(Profile(ctrA1_), "");
    EXPECT_TRUE(events_->events().empty());

    Process(ResultFile(
        "0", Command("GetProfile", "", "    <ans Result=\"DONE\" Value=\"x=1,y=2\"/>\r\n")));
    EXPECT_EQ(Profile(ctrA1_), std::string("x=1\r\ny=2\r\nДанные получены=") + kNowText);
    EXPECT_THAT(events_->events(), ElementsAre("CtrValuesChanged 00A1"));
}

TEST_F(ResultFileTest, CommandsOfAnUnknownConcentratorChangeNothing) {
    AddPoint(0, "0000000A");
    Process(
        ResultFile("0", Command("GetProfile", "", "    <ans Result=\"DONE\" Value=\"x\"/>\r\n") +
                            Command("DeleteMeter", "ANY", "    <ans Result=\"DONE\"/>\r\n")),
        "0FFF");
    EXPECT_EQ(Profile(ctrA1_), "");
    EXPECT_EQ(CountRows("MeasuringPoint"), 1);
    EXPECT_TRUE(events_->events().empty());
}

TEST_F(ResultFileTest, DeleteMeterAnyRemovesEveryPointOfTheConcentratorOnly) {
    AddPoint(ctrA1_, "0000000A");
    AddPoint(ctrA1_, "0000000B");
    AddPoint(ctrB2_, "0000000A");
    Process(ResultFile("0", Command("DeleteMeter", "ANY", "    <ans Result=\"FAIL\"/>\r\n")));
    EXPECT_EQ(CountRows("MeasuringPoint", "CtrUID=" + std::to_string(ctrA1_)), 0);
    EXPECT_EQ(CountRows("MeasuringPoint", "CtrUID=" + std::to_string(ctrB2_)), 1);
    EXPECT_THAT(events_->events(), ElementsAre("MeasuringPointsChanged 00A1"));
}

TEST_F(ResultFileTest, DeleteMeterListRemovesThoseAddressesOfThatConcentrator) {
    AddPoint(ctrA1_, "0000000A");
    AddPoint(ctrA1_, "0000000B");
    const int64_t kept = AddPoint(ctrA1_, "0000000C");
    AddPoint(ctrB2_, "0000000B");
    Process(ResultFile(
        "0", Command("DeleteMeter", "0000000A,0000000B", "    <ans Result=\"DONE\"/>\r\n")));
    EXPECT_EQ(CountRows("MeasuringPoint"), 2);
    EXPECT_EQ(Int("SELECT UID from MeasuringPoint WHERE CtrUID=" + std::to_string(ctrA1_)), kept);
    EXPECT_EQ(CountRows("MeasuringPoint", "CtrUID=" + std::to_string(ctrB2_)), 1);
}

TEST_F(ResultFileTest, DeleteMeterPiecesCannotRewriteTheStatement) {
    AddPoint(ctrA1_, "0000000A");
    AddPoint(ctrA1_, "0000000B");
    AddPoint(ctrB2_, "0000000C");
    // Each piece is a meter address, nothing else: a piece that tries to close the literal and
    // add a condition deletes nothing, and the ordinary piece beside it still works.
    Process(ResultFile(
        "0", Command("DeleteMeter", "&quot;) OR (&quot;1&quot;=&quot;1,0000000B,&quot;,\\\"",
                     "    <ans Result=\"DONE\"/>\r\n")));
    EXPECT_EQ(CountRows("MeasuringPoint"), 2);
    EXPECT_EQ(CountRows("MeasuringPoint", "MeterADDR=\"0000000B\""), 0);
}

TEST_F(ResultFileTest, DeleteMeterMatchesAnAddressHoldingAQuote) {
    AddPoint(ctrA1_, "AB\"CD");
    Process(
        ResultFile("0", Command("DeleteMeter", "AB&quot;CD", "    <ans Result=\"DONE\"/>\r\n")));
    EXPECT_EQ(CountRows("MeasuringPoint"), 0);
}

TEST_F(ResultFileTest, DeleteFileDeletesTheMirrorCopyOnlyWhenDone) {
    const auto file = mirror("00A1") / "ROOT" / "WORK" / "PERIODIC" / "w-1.xml";
    zb::testing::WriteFile(file, "<work/>");
    Process(ResultFile("0", Command("DeleteFile", "ROOT\\WORK\\PERIODIC\\w-1.xml",
                                    "    <ans Result=\"FAIL\"/>\r\n")));
    EXPECT_TRUE(std::filesystem::exists(file));
    EXPECT_TRUE(events_->events().empty());

    Process(ResultFile("0", Command("DeleteFile", "ROOT\\WORK\\PERIODIC\\w-1.xml",
                                    "    <ans Result=\"DONE\"/>\r\n")));
    EXPECT_FALSE(std::filesystem::exists(file));
    EXPECT_THAT(events_->events(), ElementsAre("PeriodicWorksChanged 00A1"));

    // Already gone: the error is ignored and the page is refilled all the same.
    events_->clear();
    Process(ResultFile("0", Command("DeleteFile", "ROOT\\WORK\\PERIODIC\\w-1.xml",
                                    "    <ans Result=\"DONE\"/>\r\n")));
    EXPECT_THAT(events_->events(), ElementsAre("PeriodicWorksChanged 00A1"));
}

TEST_F(ResultFileTest, DeleteFileNeverLeavesTheMirror) {
    const auto outside = programDir() / "ZarnicBox.keep";
    const auto other = mirror("00B2") / "ROOT" / "WORK" / "PERIODIC" / "w-2.xml";
    zb::testing::WriteFile(outside, "x");
    zb::testing::WriteFile(other, "x");
    for (const std::string& path :
         std::vector<std::string>{"..\\..\\ZarnicBox.keep", "ROOT\\..\\..\\..\\ZarnicBox.keep",
                                  "..\\CTR_00B2\\ROOT\\WORK\\PERIODIC\\w-2.xml", "\\ZarnicBox.keep",
                                  "ROOT/../../x", (programDir() / "ZarnicBox.keep").string()}) {
        Process(ResultFile("0", Command("DeleteFile", path, "    <ans Result=\"DONE\"/>\r\n")));
    }
    // Folders of the mirror are not files: an empty one stays.
    const auto outbox = mirror("00A1") / "ROOT" / "WORK" / "OUTBOX";
    ASSERT_TRUE(std::filesystem::is_empty(outbox));
    Process(ResultFile(
        "0", Command("DeleteFile", "ROOT\\WORK\\OUTBOX", "    <ans Result=\"DONE\"/>\r\n")));
    EXPECT_TRUE(std::filesystem::is_directory(outbox));
    EXPECT_TRUE(std::filesystem::exists(outside));
    EXPECT_TRUE(std::filesystem::exists(other));
    EXPECT_TRUE(std::filesystem::exists(programDir() / "ZarnicBox.db"));
}

TEST_F(ResultFileTest, CommandsWithoutRequestOrAnswerDoNothing) {
    AddPoint(ctrA1_, "0000000A");
    Process(
        ResultFile("0",
                   // req without ans
                   "  <command>\r\n    <req Var=\"DeleteMeter\" Value=\"ANY\"/>\r\n  </command>\r\n"
                   // ans without req
                   "  <command>\r\n    <ans Result=\"DONE\"/>\r\n  </command>\r\n"
                   // empty Var
                   "  <command>\r\n    <req Var=\"\" Value=\"ANY\"/>\r\n"
                   "    <ans Result=\"DONE\"/>\r\n  </command>\r\n"
                   // names are compared exactly
                   "  <command>\r\n    <req Var=\"deletemeter\" Value=\"ANY\"/>\r\n"
                   "    <ans Result=\"DONE\"/>\r\n  </command>\r\n" +
                       Command("GetParams", "", "")));
    EXPECT_EQ(CountRows("MeasuringPoint"), 1);
    EXPECT_EQ(InfoBasic(ctrA1_), "");
    EXPECT_TRUE(events_->events().empty());
}

TEST_F(ResultFileTest, ElementNamesAreFoundWithoutRegardToCase) {
    Process(
        "<R>\r\n  <WORKUID VALUE=\"0\"/>\r\n  <COMMAND>\r\n"
        "    <REQ VAR=\"GetProfile\"/>\r\n    <ANS RESULT=\"DONE\" VALUE=\"p=1\"/>\r\n"
        "  </COMMAND>\r\n</R>\r\n");
    EXPECT_EQ(Profile(ctrA1_), std::string("p=1\r\nДанные получены=") + kNowText);
}

TEST(ProfileTextTest, EveryCommaBecomesALineBreak) {
    base::Clock::SetSource([] { return base::FromLocal(kNow); });
    EXPECT_EQ(ProfileText(""), std::string("\r\nДанные получены=") + kNowText);
    EXPECT_EQ(ProfileText("a,,b"), std::string("a\r\n\r\nb\r\nДанные получены=") + kNowText);
    base::Clock::SetSource({});
}

}  // namespace
}  // namespace zb::inbound::testing
