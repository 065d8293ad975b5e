// Result files: the dispatcher and the four command results.
#include "inbound/result_file.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "inbound_fixture.h"

namespace zb::inbound::testing {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;

const std::string kReceived = std::string("Данные получены=") + kNowText;

class ResultFileTest : public InboundTest {
  protected:
    // Applies a result file of a concentrator from its text, as it is parsed, without the
    // transaction, and sends the collected events.
    void Process(const std::string& xmlText, const std::string& ctrId = "00A1") {
        InboundContext context(db(), programDir());
        ProcessResultText(context, xmlText, ctrId);
        context.events.Emit();
    }
    void ProcessCommand(const std::string& var, const std::string& value,
                        const std::string& answers) {
        Process(ResultXml("0", CommandXml(var, value, answers)));
    }
    std::string Ctr(const std::string& column) {
        return Text("SELECT " + column + " from CTR WHERE UID=" + std::to_string(ctrA1_));
    }
};

TEST_F(ResultFileTest, FilesAndCommandsThatCannotApplyChangeNothing) {
    AddPoint(ctrA1_, "0000000A");
    AddPoint(0, "0000000B");
    const std::string commands = CommandXml("GetProfile", "", CommandAnsXml("DONE", "a=1")) +
                                 CommandXml("DeleteMeter", "ANY", CommandAnsXml("DONE"));
    const std::string body =
        TaskXml("3", "M-200", "Var=\"V\"", AnsXml("0000000A", "DONE", "1")) + commands;
    const std::pair<std::string, std::string> files[] = {
        // A missing or empty workUID changes nothing, commands included; two double quotes read
        // as empty.
        {"00A1", ResultXml("", body)},
        {"00A1", "<result>\r\n" + body + "</result>\r\n"},
        {"00A1", ResultXml("&quot;&quot;", body)},
        // The commands of an unknown concentrator.
        {"0FFF", ResultXml("0", commands)},
        // Commands without request, answer or name; names are compared exactly.
        {"00A1",
         ResultXml("0",
                   "  <command>\r\n    <req Var=\"DeleteMeter\" Value=\"ANY\"/>\r\n  </command>\r\n"
                   "  <command>\r\n" +
                       CommandAnsXml("DONE") + "  </command>\r\n" +
                       CommandXml("", "ANY", CommandAnsXml("DONE")) +
                       CommandXml("deletemeter", "ANY", CommandAnsXml("DONE")) +
                       CommandXml("GetParams", "", ""))},
    };
    for (const auto& [ctrId, text] : files) {
        Process(text, ctrId);
        EXPECT_EQ(CountRows("BigData") + CountRows("MeasuringPoint"), 2) << text;
        EXPECT_EQ(Ctr("coalesce(Profile,'')||coalesce(InfoBasic,'')"), "") << text;
        EXPECT_TRUE(events_->events().empty()) << text;
    }
}

TEST_F(ResultFileTest, TheFirstWorkUidCountsWhereverItStands) {
    // Read as the text arrives: tasks and commands before the workUID, a second workUID, other
    // elements, and a task without TaskUID.
    const auto task = [](const std::string& uid, const std::string& value) {
        return TaskXml(uid, "M-200", "Var=\"V\"", AnsXml("0000000A", "DONE", value));
    };
    Process(
        "<r>\r\n" + task("1", "x") + CommandXml("GetParams", "", CommandAnsXml("DONE", "1", "a")) +
        "<WORKUID Value=\"9\"/>\r\n" + task("2", "y") + "<workUID Value=\"8\"/>\r\n<other/>\r\n" +
        task("3", "z") + "<task TaskUID=\"\"/>\r\n</r>\r\n");
    EXPECT_THAT(TableRows("BigData", {"WorkUID", "TaskUID", "Value"}),
                ElementsAre(ElementsAre("9", "1", "x"), ElementsAre("9", "2", "y"),
                            ElementsAre("9", "3", "z")));
    EXPECT_EQ(Ctr("InfoBasic"), "a=1\r\n" + kReceived + "\r\n");
}

TEST_F(ResultFileTest, GetParamsAndGetProfileStoreTheirLines) {
    // GetParams: the DONE answers and the received line, whatever the result.
    ProcessCommand("GetParams", "",
                   CommandAnsXml("DONE", "1", "a") + CommandAnsXml("FAIL", "2", "b") +
                       CommandAnsXml("DONE", "3", "c"));
    EXPECT_EQ(Ctr("InfoBasic"), "a=1\r\nc=3\r\n" + kReceived + "\r\n");
    // Stored in the stored text form: line breaks as "<br/>"; the other concentrator untouched.
    EXPECT_EQ(CountRows("CTR", "InfoBasic='a=1<br/>c=3<br/>" + kReceived + "<br/>'"), 1);
    EXPECT_EQ(CountRows("CTR", "InfoBasic IS NULL"), 1);
    EXPECT_THAT(events_->events(), ElementsAre("CtrValuesChanged 00A1"));
    ProcessCommand("GetParams", "", CommandAnsXml("FAIL", "2", "x"));
    EXPECT_EQ(Ctr("InfoBasic"), kReceived + "\r\n");
    // A value in the stored text form ("&lt;" after the XML reader) is decoded first.
    ProcessCommand("GetParams", "", CommandAnsXml("DONE", "1&amp;lt;2", "q"));
    EXPECT_EQ(Ctr("InfoBasic"), "q=1<2\r\n" + kReceived + "\r\n");

    // GetProfile: split at commas, only when DONE.
    events_->clear();
    ProcessCommand("GetProfile", "", CommandAnsXml("FAIL", "x=9"));
    EXPECT_EQ(Ctr("Profile"), "");
    EXPECT_TRUE(events_->events().empty());
    ProcessCommand("GetProfile", "", CommandAnsXml("DONE", "x=1,y=2"));
    EXPECT_EQ(Ctr("Profile"), "x=1\r\ny=2\r\n" + kReceived);
    EXPECT_THAT(events_->events(), ElementsAre("CtrValuesChanged 00A1"));
    // Element names are found without regard to case.
    Process(
        "<R>\r\n  <WORKUID VALUE=\"0\"/>\r\n  <COMMAND>\r\n"
        "    <REQ VAR=\"GetProfile\"/>\r\n    <ANS RESULT=\"DONE\" VALUE=\"p=1\"/>\r\n"
        "  </COMMAND>\r\n</R>\r\n");
    EXPECT_EQ(Ctr("Profile"), "p=1\r\n" + kReceived);
    EXPECT_EQ(ProfileText("a,,b"), "a\r\n\r\nb\r\n" + kReceived);
}

TEST_F(ResultFileTest, DeleteMeterRemovesTheListedPointsOfThatConcentratorOnly) {
    AddPoint(ctrA1_, "0000000A");
    AddPoint(ctrA1_, "0000000B");
    AddPoint(ctrA1_, "AB\"CD");
    const int64_t kept = AddPoint(ctrA1_, "0000000C");
    AddPoint(ctrB2_, "0000000A");
    AddPoint(ctrB2_, "0000000B");
    const std::string ofA1 = "CtrUID=" + std::to_string(ctrA1_);
    // A piece that tries to close the literal and add a condition deletes nothing; the ordinary
    // pieces beside it, and an address holding a quote, still match.
    ProcessCommand("DeleteMeter", "0000000A,&quot;) OR (&quot;1&quot;=&quot;1,0000000B,&apos;",
                   CommandAnsXml("DONE"));
    ProcessCommand("DeleteMeter", "AB&quot;CD", CommandAnsXml("DONE"));
    EXPECT_EQ(Int("SELECT UID from MeasuringPoint WHERE " + ofA1), kept);
    EXPECT_EQ(CountRows("MeasuringPoint", ofA1), 1);
    EXPECT_THAT(events_->events(),
                ElementsAre("MeasuringPointsChanged 00A1", "MeasuringPointsChanged 00A1"));
    // ANY, whatever the answer's result.
    ProcessCommand("DeleteMeter", "ANY", CommandAnsXml("FAIL"));
    EXPECT_EQ(CountRows("MeasuringPoint", ofA1), 0);
    EXPECT_EQ(CountRows("MeasuringPoint"), 2);
}

TEST_F(ResultFileTest, DeleteFileDeletesTheMirrorCopyOnlyWhenDoneAndNeverLeavesTheMirror) {
    const auto file = mirror("00A1") / "ROOT" / "WORK" / "PERIODIC" / "w-1.xml";
    zb::testing::WriteFile(file, "<work/>");
    ProcessCommand("DeleteFile", "ROOT\\WORK\\PERIODIC\\w-1.xml", CommandAnsXml("FAIL"));
    EXPECT_TRUE(fs::exists(file));
    EXPECT_TRUE(events_->events().empty());
    // Already gone the second time: the error is ignored and the page is refilled all the same.
    ProcessCommand("DeleteFile", "ROOT\\WORK\\PERIODIC\\w-1.xml", CommandAnsXml("DONE"));
    ProcessCommand("DeleteFile", "ROOT\\WORK\\PERIODIC\\w-1.xml", CommandAnsXml("DONE"));
    EXPECT_FALSE(fs::exists(file));
    EXPECT_THAT(events_->events(),
                ElementsAre("PeriodicWorksChanged 00A1", "PeriodicWorksChanged 00A1"));
    // Another concentrator's mirror, a path outside, and a folder of the mirror stay.
    const auto outside = programDir() / "ZarnicBox.keep";
    const auto other = mirror("00B2") / "ROOT" / "WORK" / "PERIODIC" / "w-2.xml";
    zb::testing::WriteFile(outside, "x");
    zb::testing::WriteFile(other, "x");
    for (const std::string& path : {std::string("..\\CTR_00B2\\ROOT\\WORK\\PERIODIC\\w-2.xml"),
                                    std::string("..\\..\\ZarnicBox.keep"), outside.string(),
                                    std::string("ROOT\\WORK\\OUTBOX")}) {
        ProcessCommand("DeleteFile", path, CommandAnsXml("DONE"));
    }
    EXPECT_TRUE(fs::exists(outside));
    EXPECT_TRUE(fs::exists(other));
    EXPECT_TRUE(fs::is_directory(mirror("00A1") / "ROOT" / "WORK" / "OUTBOX"));
}

}  // namespace
}  // namespace zb::inbound::testing
