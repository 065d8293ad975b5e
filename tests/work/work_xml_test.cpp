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

using Fields = std::vector<std::string>;
constexpr auto npos = std::string::npos;

std::string WorkXml(const std::string& lines) {
    return "<root>\r\n" + lines + "</root>\r\n";
}

std::string TaskXml(const std::string& syntax, const std::string& reqAttributes) {
    return "<task Syntax=\"" + syntax + "\">\r\n  <req " + reqAttributes + "/>\r\n</task>\r\n";
}

Fields FieldsOf(const StoredWork& w) {
    return {w.name, w.type, w.period, w.durationMax};
}

Fields FieldsOf(const StoredTask& t) {
    return {t.syntax,  t.var,         t.opCode, t.text, t.value,
            t.arcType, t.arcInterval, t.start,  t.stop, std::to_string(t.maxAttempts)};
}

TEST(WorkXml, PeriodicAndSingleWorksByteForByte) {
    const WorkDefinition periodic{"Meters daily", true, "1 DAY", "2 HOUR"};
    EXPECT_EQ(BuildWorkXml(periodic),
              WorkXml("  <workName Value=\"Meters daily\"/>\r\n"
                      "  <workType Value=\"Periodic\" Period=\"1 DAY\"/>\r\n"
                      "  <workDurationMax Value=\"2 HOUR\"/>\r\n"));
    EXPECT_EQ(NodeText(WorkRowName(periodic), WorkRowComment(periodic)), "Meters daily [1 DAY]");

    // A single work has no Period and an empty comment, whatever period the editor holds.
    const WorkDefinition once{"Once", false, "5 MIN", "1 DAY"};
    EXPECT_EQ(BuildWorkXml(once), WorkXml("  <workName Value=\"Once\"/>\r\n"
                                          "  <workType Value=\"Single\"/>\r\n"
                                          "  <workDurationMax Value=\"1 DAY\"/>\r\n"));
    EXPECT_EQ(NodeText(WorkRowName(once), WorkRowComment(once)), "Once");
}

TEST(WorkXml, ReadBackAndTheReadersDefaults) {
    const WorkDefinition works[] = {{"Say \"hi\" & <go>", false, "1 DAY", "3 WEEK"},
                                    {"P", true, "15 MIN", "1 HOUR"},
                                    {"", false, "1 DAY", "1 DAY"}};
    for (const WorkDefinition& work : works) {
        const StoredWork stored = ReadWorkXml(BuildWorkXml(work));
        EXPECT_EQ(stored.name, work.name);
        EXPECT_EQ(stored.Periodic(), work.periodic) << work.name;
        EXPECT_EQ(stored.period, work.period);
        EXPECT_EQ(stored.durationMax, work.durationMax);
    }
    EXPECT_NE(BuildWorkXml(works[0]).find("Value=\"Say &quot;hi&quot; &amp; &lt;go&gt;\""), npos);

    const Fields defaults{"<NULL>", "Single", "1 DAY", "1 DAY"};
    EXPECT_EQ(FieldsOf(ReadWorkXml("")), defaults);
    // A text that cannot be read at all gives the defaults.
    EXPECT_EQ(FieldsOf(ReadWorkXml("<root><workName Value=\"" + std::string(5000, 'x') + "\"/>")),
              defaults);
    // Element and attribute names are found without regard to case.
    EXPECT_EQ(FieldsOf(ReadWorkXml("<ROOT>\r\n  <WORKNAME value=\"x\"/>\r\n"
                                   "  <WorkType VALUE=\"Periodic\"/>\r\n</ROOT>\r\n")),
              (Fields{"x", "Periodic", "1 DAY", "1 DAY"}));
}

TEST(WorkXml, FactorsAndCodes) {
    // A period without a blank is a factor on its own; a duration without one has none.
    const struct {
        const char* text;
        std::optional<int> period, duration;
        const char* code;
    } rows[] = {{"15 MIN", 15, 15, "MIN"},
                {"7", 7, std::nullopt, "7"},
                {"x DAY", std::nullopt, std::nullopt, "DAY"},
                {"2 HOUR extra", 2, 2, "HOUR extra"}};
    for (const auto& row : rows) {
        const FactorCode period = SplitPeriod(row.text), duration = SplitDuration(row.text);
        EXPECT_EQ(period.factor, row.period) << row.text;
        EXPECT_EQ(duration.factor, row.duration) << row.text;
        EXPECT_EQ((Fields{period.code, duration.code}), (Fields{row.code, row.code}));
    }
    EXPECT_EQ(FactorText(30, "MIN"), "30 MIN");
    EXPECT_EQ(ArchiveTypeCode("IMIN - интервальный, минимальных значений"), "IMIN");
    EXPECT_EQ(ArchiveTypeCode(EventArchiveCaption()), "LOG");
}

TEST(TaskXml, ZarnicReadsAndArchiveReads) {
    const TaskRequest archive{.var = "Energy", .opCode = "AR", .arcInterval = "30 MIN"};
    EXPECT_EQ(BuildTaskXml(archive),
              TaskXml("ZARNIC",
                      "Var=\"Energy\" OpCode=\"AR\" ArcType=\"I\" ArcInterval=\"30 MIN\" "
                      "Start=\"DAY-1\" Stop=\"DAY\" MaxAttempts=\"3\""));
    EXPECT_EQ(NodeText(TaskRowName(archive), TaskRowComment(archive)),
              "ZARNIC.Energy [AR I 30 MIN]");

    // Only the interval kinds (beginning with "I") carry an interval.
    for (const char* type : {"D", "F", "LOG"}) {
        const TaskRequest task{.var = "0000.EventLog", .opCode = "AR", .arcType = type};
        EXPECT_EQ(BuildTaskXml(task).find("ArcInterval"), npos) << type;
        EXPECT_EQ(TaskRowComment(task), std::string("AR ") + type);
    }
    EXPECT_EQ(TaskRowComment({.opCode = "AR", .arcType = "IMAX"}), "AR IMAX 1 DAY");

    const TaskRequest read{.var = "0001.PowerActive", .maxAttempts = 0};
    EXPECT_EQ(BuildTaskXml(read),
              TaskXml("ZARNIC", "Var=\"0001.PowerActive\" OpCode=\"R\" MaxAttempts=\"0\""));
    EXPECT_EQ(TaskRowComment(read), "R");
}

TEST(TaskXml, OtherSyntaxesCarryTheValueAsTyped) {
    // Trimmed; the operation code is ignored outside ZARNIC.
    const TaskRequest task{
        .syntax = "M-230", .var = "P1", .opCode = "AR", .value = " \r\n0811\r\n "};
    EXPECT_EQ(BuildTaskXml(task), TaskXml("M-230", "Var=\"P1\" Value=\"0811\" MaxAttempts=\"3\""));
    EXPECT_EQ(NodeText(TaskRowName(task), TaskRowComment(task)), "M-230.P1");

    const std::string xml = BuildTaskXml({.syntax = "M-200", .var = "P1", .value = "a\r\nb"});
    EXPECT_NE(xml.find("Value=\"a<br/>b\""), npos);
    const StoredTask stored = ReadTaskXml(xml);
    EXPECT_EQ(stored.syntax, "M-200");
    EXPECT_EQ(stored.value, "a\r\nb");
}

TEST(TaskXml, ReadersUseTheirDefaults) {
    EXPECT_EQ(FieldsOf(ReadTaskXml("")),
              (Fields{"", "<NULL>", "R", "", "", "I", "1 DAY", "DAY-1", "DAY", "3"}));
    // Names without regard to case; a count that is not a number leaves 3.
    EXPECT_EQ(FieldsOf(ReadTaskXml("<task Syntax=\"ZARNIC\">\r\n"
                                   "  <REQ var=\"V\" MaxAttempts=\"many\" Text=\"\"/>\r\n"
                                   "</task>\r\n")),
              (Fields{"ZARNIC", "V", "R", "", "", "I", "1 DAY", "DAY-1", "DAY", "3"}));
    const TaskRequest task{.var = "0001.X",
                           .opCode = "AR",
                           .arcType = "IMIN",
                           .arcInterval = "5 MIN",
                           .start = "DAY-7",
                           .stop = "DAY-1",
                           .maxAttempts = 99};
    EXPECT_EQ(FieldsOf(ReadTaskXml(BuildTaskXml(task))),
              (Fields{"ZARNIC", "0001.X", "AR", "", "", "IMIN", "5 MIN", "DAY-7", "DAY-1", "99"}));
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

TEST_F(ZarnicValueTest, WritesAndFunctionReadsCarryTextAndEncodedValue) {
    const TaskRequest write{.var = "0001.PowerLimit", .opCode = "W", .newValue = "4660"};
    EXPECT_EQ(BuildTaskXml(write), TaskXml("ZARNIC",
                                           "Var=\"0001.PowerLimit\" OpCode=\"W\" Text=\"4660\" "
                                           "Value=\"3000010034120000\" MaxAttempts=\"3\""));
    EXPECT_EQ(NodeText(TaskRowName(write), TaskRowComment(write)), "ZARNIC.0001.PowerLimit [W]");

    // A read of a function type encodes its argument.
    EXPECT_NE(BuildTaskXml({.var = "0000.ReadRegister", .newValue = "5"})
                  .find("Text=\"5\" Value=\"0002000005000000\""),
              npos);

    // Several lines travel with backslashes in Text and as one value.
    const TaskRequest zones{.var = "0001.TariffZones",
                            .opCode = "W",
                            .newValue = "00000001\r\n07000002\r\n17000001\r\n23000001"};
    const std::string xml = BuildTaskXml(zones);
    EXPECT_NE(xml.find("Text=\"00000001\\07000002\\17000001\\23000001\" "
                       "Value=\"3500010000000001070000021700000123000001\""),
              npos)
        << xml;
    EXPECT_EQ(ReadTaskXml(xml).text, *zones.newValue);
}

TEST_F(ZarnicValueTest, UnknownVariableOrRefusedValueGivesAnEmptyValue) {
    const std::pair<const char*, const char*> refused[] = {
        {"0009.Nothing", "1"},
        {"0001.PowerLimit", "70000"},
        {"0001.EnergyImport", "1"},     // write level 8: no request
        {"0001.MeterLabel", "1\r\n2"},  // the label takes one line only
    };
    for (const auto& [var, value] : refused) {
        EXPECT_EQ(ZarnicRequestValue(var, "W", value), "") << var;
        const std::string xml = BuildTaskXml({.var = var, .opCode = "W", .newValue = value});
        EXPECT_NE(xml.find("\" Value=\"\" MaxAttempts"), npos) << xml;
        EXPECT_EQ(ReadTaskXml(xml).text, value);
    }
    // An empty new value writes neither Text nor Value.
    EXPECT_EQ(BuildTaskXml({.var = "0001.PowerLimit", .opCode = "W", .newValue = ""}),
              TaskXml("ZARNIC", "Var=\"0001.PowerLimit\" OpCode=\"W\" MaxAttempts=\"3\""));
}

TEST(WorkFile, AssembledByteForByte) {
    const WorkFileParts parts{
        .workUid = 7,
        .workXml = BuildWorkXml({"Meters daily", true, "1 DAY", "2 HOUR"}),
        .targets = JoinTargets({"0001", "0017"}),
        .tasks = {{12, BuildTaskXml({.var = "Energy", .opCode = "AR", .arcInterval = "30 MIN"})},
                  {13, BuildTaskXml({.syntax = "M-230", .var = "P1", .value = "0811"})}}};
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
    EXPECT_EQ(WorkFileContents(text), text + "\r\n");
}

TEST(WorkFile, PreviewAndInsertedWorkUid) {
    WorkFileParts parts{.workXml = BuildWorkXml({"W", false, "1 DAY", "1 DAY"}),
                        .targets = std::string(kAnyMeter)};
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
    EXPECT_EQ(BuildWorkFileText(parts).find("workTarget"), npos);
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
