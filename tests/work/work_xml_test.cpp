// The work XML, the request XML and the work file, byte for byte, and reading them back.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "base/operator_messages.h"
#include "devices/catalogue.h"
#include "testing/recorders.h"
#include "testing/temp_dir.h"
#include "work/work_xml.h"

namespace zb::work {
namespace {

TEST(WorkXml, PeriodicWork) {
    const WorkDefinition work{"Meters daily", true, "1 DAY", "2 HOUR"};
    EXPECT_EQ(BuildWorkXml(work),
              "<root>\r\n"
              "  <workName Value=\"Meters daily\"/>\r\n"
              "  <workType Value=\"Periodic\" Period=\"1 DAY\"/>\r\n"
              "  <workDurationMax Value=\"2 HOUR\"/>\r\n"
              "</root>\r\n");
    EXPECT_EQ(WorkRowName(work), "Meters daily");
    EXPECT_EQ(WorkRowComment(work), "1 DAY");
    EXPECT_EQ(NodeText(WorkRowName(work), WorkRowComment(work)), "Meters daily [1 DAY]");

    // A single work has no Period and an empty comment, whatever period the editor holds.
    const WorkDefinition once{"Once", false, "5 MIN", "1 DAY"};
    EXPECT_EQ(BuildWorkXml(once),
              "<root>\r\n"
              "  <workName Value=\"Once\"/>\r\n"
              "  <workType Value=\"Single\"/>\r\n"
              "  <workDurationMax Value=\"1 DAY\"/>\r\n"
              "</root>\r\n");
    EXPECT_EQ(WorkRowComment(once), "");
    EXPECT_EQ(NodeText("Once", ""), "Once");
}

TEST(WorkXml, NamesAreEscapedAndReadBack) {
    const WorkDefinition work{"Say \"hi\" & <go>", false, "1 DAY", "3 WEEK"};
    const std::string xml = BuildWorkXml(work);
    EXPECT_NE(xml.find("Value=\"Say &quot;hi&quot; &amp; &lt;go&gt;\""), std::string::npos);
    const StoredWork stored = ReadWorkXml(xml);
    EXPECT_EQ(stored.name, work.name);
    EXPECT_FALSE(stored.Periodic());
    EXPECT_EQ(stored.durationMax, "3 WEEK");

    const StoredWork periodic = ReadWorkXml(BuildWorkXml({"P", true, "15 MIN", "1 HOUR"}));
    EXPECT_TRUE(periodic.Periodic());
    EXPECT_EQ(periodic.period, "15 MIN");

    // An empty name is written as an empty value and reads back empty.
    const std::string empty = BuildWorkXml({"", false, "1 DAY", "1 DAY"});
    EXPECT_NE(empty.find("<workName Value=\"\"/>"), std::string::npos);
    EXPECT_EQ(ReadWorkXml(empty).name, "");
}

TEST(WorkXml, ReadersUseTheirDefaults) {
    const StoredWork none = ReadWorkXml("");
    EXPECT_EQ(none.name, "<NULL>");
    EXPECT_EQ(none.type, "Single");
    EXPECT_EQ(none.period, "1 DAY");
    EXPECT_EQ(none.durationMax, "1 DAY");
    // Element and attribute names are found without regard to case.
    const StoredWork mixed = ReadWorkXml(
        "<ROOT>\r\n  <WORKNAME value=\"x\"/>\r\n  <WorkType VALUE=\"Periodic\"/>\r\n</ROOT>\r\n");
    EXPECT_EQ(mixed.name, "x");
    EXPECT_TRUE(mixed.Periodic());
    EXPECT_EQ(mixed.period, "1 DAY");
    // A text that cannot be read at all gives the defaults.
    EXPECT_EQ(ReadWorkXml("<root><workName Value=\"" + std::string(5000, 'x') + "\"/>").name,
              "<NULL>");
}

TEST(WorkXml, FactorsAndCodes) {
    EXPECT_EQ(FactorText(30, "MIN"), "30 MIN");
    FactorCode p = SplitPeriod("15 MIN");
    EXPECT_EQ(p.factor, 15);
    EXPECT_EQ(p.code, "MIN");
    p = SplitPeriod("7");
    EXPECT_EQ(p.factor, 7);
    EXPECT_EQ(p.code, "7");
    p = SplitPeriod("x DAY");
    EXPECT_FALSE(p.factor.has_value());
    EXPECT_EQ(p.code, "DAY");
    FactorCode d = SplitDuration("7");
    EXPECT_FALSE(d.factor.has_value());
    EXPECT_EQ(d.code, "7");
    d = SplitDuration("2 HOUR extra");
    EXPECT_EQ(d.factor, 2);
    EXPECT_EQ(d.code, "HOUR extra");
    EXPECT_EQ(ArchiveTypeCode("IMIN - интервальный, минимальных значений"), "IMIN");
    EXPECT_EQ(ArchiveTypeCode(EventArchiveCaption()), "LOG");
    EXPECT_EQ(ArchiveTypeCaptions().size(), 5u);
    EXPECT_EQ(IntervalCodes().front(), "MIN");
}

TEST(TaskXml, ArchiveReadOfAVariable) {
    TaskRequest task;
    task.var = "Energy";
    task.opCode = "AR";
    task.arcType = "I";
    task.arcInterval = "30 MIN";
    EXPECT_EQ(BuildTaskXml(task),
              "<task Syntax=\"ZARNIC\">\r\n"
              "  <req Var=\"Energy\" OpCode=\"AR\" ArcType=\"I\" ArcInterval=\"30 MIN\" "
              "Start=\"DAY-1\" Stop=\"DAY\" MaxAttempts=\"3\"/>\r\n"
              "</task>\r\n");
    EXPECT_EQ(TaskRowName(task), "ZARNIC.Energy");
    EXPECT_EQ(TaskRowComment(task), "AR I 30 MIN");
}

TEST(TaskXml, ArchivesWithoutIntervalAndPlainReads) {
    TaskRequest task;
    task.var = "0000.EventLog";
    task.opCode = "AR";
    for (const char* type : {"D", "F", "LOG"}) {
        task.arcType = type;
        const std::string xml = BuildTaskXml(task);
        EXPECT_EQ(xml.find("ArcInterval"), std::string::npos) << type;
        EXPECT_EQ(TaskRowComment(task), std::string("AR ") + type);
    }
    task.arcType = "IMAX";
    EXPECT_EQ(TaskRowComment(task), "AR IMAX 1 DAY");

    TaskRequest read;
    read.var = "0001.PowerActive";
    read.maxAttempts = 0;
    EXPECT_EQ(BuildTaskXml(read),
              "<task Syntax=\"ZARNIC\">\r\n"
              "  <req Var=\"0001.PowerActive\" OpCode=\"R\" MaxAttempts=\"0\"/>\r\n"
              "</task>\r\n");
    EXPECT_EQ(TaskRowComment(read), "R");
}

TEST(TaskXml, OtherSyntaxesCarryTheValueAsTyped) {
    TaskRequest task;
    task.syntax = "M-230";
    task.var = "P1";
    task.value = " \r\n0811\r\n ";
    task.opCode = "AR";  // ignored outside ZARNIC
    EXPECT_EQ(BuildTaskXml(task),
              "<task Syntax=\"M-230\">\r\n"
              "  <req Var=\"P1\" Value=\"0811\" MaxAttempts=\"3\"/>\r\n"
              "</task>\r\n");
    EXPECT_EQ(TaskRowName(task), "M-230.P1");
    EXPECT_EQ(TaskRowComment(task), "");

    task.syntax = "M-200";
    task.value = "a\r\nb";
    const std::string xml = BuildTaskXml(task);
    EXPECT_NE(xml.find("Value=\"a<br/>b\""), std::string::npos);
    const StoredTask stored = ReadTaskXml(xml);
    EXPECT_EQ(stored.syntax, "M-200");
    EXPECT_EQ(stored.value, "a\r\nb");
    EXPECT_EQ(TaskRowName(task), "M-200.P1");
}

TEST(TaskXml, ReadersUseTheirDefaults) {
    StoredTask none = ReadTaskXml("");
    EXPECT_EQ(none.syntax, "");
    EXPECT_EQ(none.var, "<NULL>");
    EXPECT_EQ(none.opCode, "R");
    EXPECT_EQ(none.arcType, "I");
    EXPECT_EQ(none.arcInterval, "1 DAY");
    EXPECT_EQ(none.start, "DAY-1");
    EXPECT_EQ(none.stop, "DAY");
    EXPECT_EQ(none.maxAttempts, 3);

    const StoredTask odd = ReadTaskXml(
        "<task Syntax=\"ZARNIC\">\r\n  <REQ var=\"V\" MaxAttempts=\"many\" Text=\"\"/>\r\n"
        "</task>\r\n");
    EXPECT_EQ(odd.var, "V");
    EXPECT_EQ(odd.maxAttempts, 3);
    EXPECT_EQ(odd.text, "");

    TaskRequest task;
    task.var = "0001.X";
    task.opCode = "AR";
    task.arcType = "IMIN";
    task.arcInterval = "5 MIN";
    task.start = "DAY-7";
    task.stop = "DAY-1";
    task.maxAttempts = 99;
    const StoredTask back = ReadTaskXml(BuildTaskXml(task));
    EXPECT_EQ(back.syntax, "ZARNIC");
    EXPECT_EQ(back.var, "0001.X");
    EXPECT_EQ(back.opCode, "AR");
    EXPECT_EQ(back.arcType, "IMIN");
    EXPECT_EQ(back.arcInterval, "5 MIN");
    EXPECT_EQ(back.start, "DAY-7");
    EXPECT_EQ(back.stop, "DAY-1");
    EXPECT_EQ(back.maxAttempts, 99);
}

// Requests whose Value is encoded through the shipped catalogue and the real base plug-in.
class ZarnicValueTest : public ::testing::Test {
  protected:
    void SetUp() override {
        previous_ = base::SetMessages(messages_);
        devices::LoadCatalogue(testing::BuiltProgramDir());
        ASSERT_NE(devices::BaseModule(), nullptr);
    }
    void TearDown() override {
        devices::ResetCatalogue();
        base::SetMessages(previous_);
    }
    std::shared_ptr<testing::MessageRecorder> messages_ =
        std::make_shared<testing::MessageRecorder>();
    std::shared_ptr<base::OperatorMessages> previous_;
};

TEST_F(ZarnicValueTest, WriteCarriesTextAndEncodedValue) {
    TaskRequest task;
    task.var = "0001.PowerLimit";
    task.opCode = "W";
    task.newValue = "4660";
    EXPECT_EQ(BuildTaskXml(task),
              "<task Syntax=\"ZARNIC\">\r\n"
              "  <req Var=\"0001.PowerLimit\" OpCode=\"W\" Text=\"4660\" "
              "Value=\"3000010034120000\" MaxAttempts=\"3\"/>\r\n"
              "</task>\r\n");
    EXPECT_EQ(TaskRowName(task), "ZARNIC.0001.PowerLimit");
    EXPECT_EQ(TaskRowComment(task), "W");
}

TEST_F(ZarnicValueTest, MultiLineValueUsesBackslashes) {
    TaskRequest task;
    task.var = "0001.TariffZones";
    task.opCode = "W";
    task.newValue = "00000001\r\n07000002\r\n17000001\r\n23000001";
    const std::string xml = BuildTaskXml(task);
    EXPECT_NE(xml.find("Text=\"00000001\\07000002\\17000001\\23000001\""), std::string::npos);
    EXPECT_NE(xml.find("Value=\"3500010000000001070000021700000123000001\""), std::string::npos)
        << xml;
    EXPECT_EQ(ReadTaskXml(xml).text, *task.newValue);

    task.var = "0001.MeterLabel";
    task.newValue = "1\r\n2";
    const std::string two = BuildTaskXml(task);
    EXPECT_NE(two.find("Text=\"1\\2\""), std::string::npos);
    // The label takes one line only: the value does not parse and is written empty.
    EXPECT_NE(two.find("Value=\"\""), std::string::npos);
    EXPECT_EQ(ReadTaskXml(two).value, "");
}

TEST_F(ZarnicValueTest, FunctionReadEncodesItsArgument) {
    TaskRequest task;
    task.var = "0000.ReadRegister";
    task.opCode = "R";
    task.newValue = "5";
    const std::string xml = BuildTaskXml(task);
    EXPECT_NE(xml.find("Text=\"5\" Value=\"0002000005000000\""), std::string::npos) << xml;
    EXPECT_EQ(ZarnicRequestValue("0000.ReadRegister", "R", "5"), "0002000005000000");
}

TEST_F(ZarnicValueTest, UnknownVariableOrRefusedValueGivesAnEmptyValue) {
    EXPECT_EQ(ZarnicRequestValue("0009.Nothing", "W", "1"), "");
    EXPECT_EQ(ZarnicRequestValue("0001.PowerLimit", "W", "70000"), "");
    // Write level 8: no request.
    EXPECT_EQ(ZarnicRequestValue("0001.EnergyImport", "W", "1"), "");
    TaskRequest task;
    task.var = "0009.Nothing";
    task.opCode = "W";
    task.newValue = "1";
    EXPECT_NE(BuildTaskXml(task).find("Text=\"1\" Value=\"\" MaxAttempts"), std::string::npos);

    // An empty new value writes neither Text nor Value.
    task.var = "0001.PowerLimit";
    task.newValue = "";
    EXPECT_EQ(BuildTaskXml(task),
              "<task Syntax=\"ZARNIC\">\r\n"
              "  <req Var=\"0001.PowerLimit\" OpCode=\"W\" MaxAttempts=\"3\"/>\r\n"
              "</task>\r\n");
}

TEST(WorkFile, AssembledByteForByte) {
    WorkFileParts parts;
    parts.workUid = 7;
    parts.workXml = BuildWorkXml({"Meters daily", true, "1 DAY", "2 HOUR"});
    parts.targets = JoinTargets({"0001", "0017"});
    TaskRequest archive;
    archive.var = "Energy";
    archive.opCode = "AR";
    archive.arcInterval = "30 MIN";
    TaskRequest plain;
    plain.syntax = "M-230";
    plain.var = "P1";
    plain.value = "0811";
    parts.tasks = {{12, BuildTaskXml(archive)}, {13, BuildTaskXml(plain)}};
    const std::string text = BuildWorkFileText(parts);
    EXPECT_EQ(text,
              "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n"
              "<root>\r\n"
              "  <workUID Value=\"7\"/>\r\n"
              "  <workName Value=\"Meters daily\"/>\r\n"
              "  <workType Value=\"Periodic\" Period=\"1 DAY\"/>\r\n"
              "  <workDurationMax Value=\"2 HOUR\"/>\r\n"
              "  <workTarget Meter=\"0001,0017\"/>\r\n"
              "  <task taskUID=\"12\" Syntax=\"ZARNIC\">\r\n"
              "    <req Var=\"Energy\" OpCode=\"AR\" ArcType=\"I\" ArcInterval=\"30 MIN\" "
              "Start=\"DAY-1\" Stop=\"DAY\" MaxAttempts=\"3\"/>\r\n"
              "  </task>\r\n"
              "  <task taskUID=\"13\" Syntax=\"M-230\">\r\n"
              "    <req Var=\"P1\" Value=\"0811\" MaxAttempts=\"3\"/>\r\n"
              "  </task>\r\n"
              "</root>\r\n");
    const std::string contents = WorkFileContents(text);
    EXPECT_EQ(contents, text + "\r\n");
    EXPECT_EQ(contents.substr(contents.size() - 11), "</root>\r\n\r\n");
}

TEST(WorkFile, PreviewAndInsertedWorkUid) {
    WorkFileParts parts;
    parts.workXml = BuildWorkXml({"W", false, "1 DAY", "1 DAY"});
    parts.targets = std::string(kAnyMeter);
    const std::string preview = BuildWorkFileText(parts);
    EXPECT_EQ(preview,
              "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n"
              "<root>\r\n"
              "  <workName Value=\"W\"/>\r\n"
              "  <workType Value=\"Single\"/>\r\n"
              "  <workDurationMax Value=\"1 DAY\"/>\r\n"
              "  <workTarget Meter=\"ANY\"/>\r\n"
              "</root>\r\n");
    parts.workUid = 42;
    EXPECT_EQ(InsertWorkUidLine(preview, 42), BuildWorkFileText(parts));
    EXPECT_EQ(InsertWorkUidLine("", 42), "");

    // Without targets there is no workTarget line.
    parts.targets.reset();
    EXPECT_EQ(BuildWorkFileText(parts).find("workTarget"), std::string::npos);
}

TEST(WorkFile, RequestsWithoutAttributesGetNoTaskUid) {
    EXPECT_EQ(TaskLinesWithUid("<task>\r\n  <req Var=\"x\"/>\r\n</task>\r\n", 5),
              "  <task>\r\n    <req Var=\"x\"/>\r\n  </task>\r\n");
    EXPECT_EQ(TaskLinesWithUid("<task Syntax=\"M-200\">\r\n</task>", 5),
              "  <task taskUID=\"5\" Syntax=\"M-200\">\r\n  </task>\r\n");
    EXPECT_EQ(TaskLinesWithUid("", 5), "");
    EXPECT_EQ(JoinTargets({}), "");
    EXPECT_EQ(JoinTargets({"A"}), "A");
}

}  // namespace
}  // namespace zb::work
