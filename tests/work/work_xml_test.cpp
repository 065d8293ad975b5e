// The work XML, the request XML and the work file, byte for byte, and reading them back.
#include <gtest/gtest.h>

#include "work/work_xml.h"

namespace zb::work {
namespace {

using Fields = std::vector<std::string>;
constexpr auto npos = std::string::npos;

// Outside ZARNIC the value is trimmed and the operation code ignored.
const TaskRequest kM230{.syntax = "M-230", .var = "P1", .opCode = "AR", .value = " \r\n0811\r\n "};

Fields FieldsOf(const StoredWork& w) {
    return {w.name, w.type, w.period, w.durationMax};
}

// The bytes of both kinds of work are pinned in the work file tests below.
TEST(WorkXml, CommentsReadBackAndTheReadersDefaults) {
    const WorkDefinition works[] = {{"Say \"hi\" & <go>", false, "1 DAY", "3 WEEK"},
                                    {"P", true, "15 MIN", "1 HOUR"},
                                    {"", false, "1 DAY", "1 DAY"}};
    for (const WorkDefinition& work : works) {
        EXPECT_EQ(FieldsOf(ReadWorkXml(BuildWorkXml(work))),
                  (Fields{work.name, work.periodic ? "Periodic" : "Single", work.period,
                          work.durationMax}));
    }
    EXPECT_NE(BuildWorkXml(works[0]).find("Value=\"Say &quot;hi&quot; &amp; &lt;go&gt;\""), npos);
    EXPECT_EQ(NodeText(WorkRowName(works[1]), WorkRowComment(works[1])), "P [15 MIN]");
    // A single work has an empty comment, whatever period the editor holds.
    EXPECT_EQ(WorkRowComment({"Once", false, "5 MIN", "1 DAY"}), "");

    // A period without a blank is a factor on its own; a duration without one has none.
    EXPECT_EQ(SplitPeriod("7").factor, 7);
    EXPECT_FALSE(SplitDuration("7").factor || SplitPeriod("x DAY").factor);
    EXPECT_EQ(SplitDuration("x DAY").code, "DAY");
    const Fields defaults{"<NULL>", "Single", "1 DAY", "1 DAY"};
    EXPECT_EQ(FieldsOf(ReadWorkXml("")), defaults);
    // A text that cannot be read at all gives the defaults.
    EXPECT_EQ(FieldsOf(ReadWorkXml("<root><workName Value=\"" + std::string(5000, 'x') + "\"/>")),
              defaults);
}

// What each kind of request writes and how its tree node reads; the whole bytes of an archive
// read and of an M-230 request are pinned in the work file below.
TEST(TaskXml, BytesAndNodeTextsPerKind) {
    const struct {
        TaskRequest task;
        const char* bytes;
        const char* node;
    } rows[] = {
        {{.var = "V", .maxAttempts = 0}, "OpCode=\"R\" MaxAttempts=\"0\"/>", "ZARNIC.V [R]"},
        {{.var = "V", .opCode = "W"}, "OpCode=\"W\" MaxAttempts=\"3\"/>", "ZARNIC.V [W]"},
        // Only the interval kinds (beginning with "I") carry an interval.
        {{.var = "V", .opCode = "AR", .arcType = "D"}, "ArcType=\"D\" Start=", "ZARNIC.V [AR D]"},
        {{.opCode = "AR", .arcType = "IMAX"},
         "IMAX\" ArcInterval=\"1 DAY\"",
         "ZARNIC. [AR IMAX 1 DAY]"},
        {{.opCode = "AR", .arcInterval = "30 MIN"}, "\"30 MIN\"", "ZARNIC. [AR I 30 MIN]"},
        {kM230, "<req Var=\"P1\" Value=\"0811\" MaxAttempts=\"3\"/>", "M-230.P1"},
        {{.syntax = "M-200", .var = "P1", .value = "a\r\nb"}, "Value=\"a<br/>b\"", "M-200.P1"},
    };
    for (const auto& row : rows) {
        const std::string xml = BuildTaskXml(row.task);
        EXPECT_NE(xml.find(row.bytes), npos) << xml;
        EXPECT_EQ(NodeText(TaskRowName(row.task), TaskRowComment(row.task)), row.node);
    }
    const StoredTask stored = ReadTaskXml(BuildTaskXml(rows[6].task));
    EXPECT_EQ((Fields{stored.syntax, stored.value}), (Fields{"M-200", "a\r\nb"}));
    // The reader's defaults; a count that is not a number leaves 3.
    const StoredTask bare = ReadTaskXml("<task>\r\n  <req MaxAttempts=\"many\"/>\r\n</task>");
    EXPECT_EQ((Fields{bare.var, bare.opCode, bare.arcType, bare.arcInterval, bare.start, bare.stop,
                      std::to_string(bare.maxAttempts)}),
              (Fields{"<NULL>", "R", "I", "1 DAY", "DAY-1", "DAY", "3"}));
    // A request element without attributes gets no taskUID.
    EXPECT_EQ(TaskLinesWithUid("<task>\r\n  <req Var=\"x\"/>\r\n</task>\r\n", 5),
              "  <task>\r\n    <req Var=\"x\"/>\r\n  </task>\r\n");
}

TEST(WorkFile, AssembledByteForByte) {
    const WorkFileParts parts{
        .workUid = 7,
        .workXml = BuildWorkXml({"Meters daily", true, "1 DAY", "2 HOUR"}),
        .targets = JoinTargets({"0001", "0017"}),
        .tasks = {{12, BuildTaskXml({.var = "Energy", .opCode = "AR", .arcInterval = "30 MIN"})},
                  {13, BuildTaskXml(kM230)}}};
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
    // A single work has no Period; the preview has no workUID line until one is put in.
    EXPECT_NE(preview.find("<root>\r\n  <workName Value=\"W\"/>\r\n  <workType Value=\"Single\"/>"),
              npos);
    parts.workUid = 42;
    EXPECT_EQ(InsertWorkUidLine(preview, 42), BuildWorkFileText(parts));

    // Without targets there is no workTarget line.
    parts.targets.reset();
    EXPECT_EQ(BuildWorkFileText(parts).find("workTarget"), npos);
}

}  // namespace
}  // namespace zb::work
