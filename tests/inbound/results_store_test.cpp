// The results store: BigData rows of ZARNIC and plain requests, and the value conversions.
#include "inbound/results_store.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "devices/value_formats.h"
#include "inbound/result_file.h"
#include "inbound_fixture.h"
#include "storage/stored_text.h"
#include "storage/time_stamp.h"

namespace zb::inbound::testing {
namespace {

using ::testing::ElementsAre;

TEST(AnswerTimeStampTest, SixNumbersGiveSecondsSinceTheEpochAnythingElseIsAnError) {
    const std::pair<const char*, int64_t> good[] = {{"2000-01-01-00-00-10", 10},
                                                    {"2000-01-02-00-00-00", 86400},
                                                    {"1999-12-31-23-59-59", -1},
                                                    {"2000-1-1-0-0-0", 0}};
    for (const auto& [text, stamp] : good) {
        EXPECT_EQ(AnswerTimeStamp(text), stamp) << text;
    }
    EXPECT_EQ(AnswerTimeStamp("2024-02-29-12-00-00"),
              storage::LocalTimeStampOf({2024, 2, 29, 12, 0, 0, 0}));
    for (const char* bad :
         {"0", "", "2000-01-01-00-00", "2000-01-01-00-00-00-00", "2000-13-01-00-00-00",
          "2000-00-01-00-00-00", "2023-02-29-00-00-00", "2000-04-31-00-00-00",
          "2000-01-01-24-00-00", "2000-01-01-00-60-00", "2000-01-01-00-00-60",
          "0000-01-01-00-00-00", "2000-01-01-00-00-1x", "2000--01-01-00-00", "2000-01-01-00-00-+1",
          " 2000-01-01-00-00-00", "99999999999-01-01-00-00-00", "2000-01-01-00-00-00-"}) {
        EXPECT_THROW(AnswerTimeStamp(bad), EConvertError) << bad;
    }
}

TEST(ValueTextTest, FunctionAnswersAndTheMeterClock) {
    // Function answers: two groups dropped, the rest read little-endian; a partial group is not
    // a group.
    EXPECT_EQ(FunctionAnswerText(""), "");
    EXPECT_EQ(FunctionAnswerText("0102030405060708"), "");
    EXPECT_EQ(FunctionAnswerText("AAAAAAAABBBBBBBB0100000078563412"), "00000001\r\n12345678");
    EXPECT_EQ(FunctionAnswerText("AAAAAAAABBBBBBBB01000000785634"), "00000001");
    EXPECT_THROW(FunctionAnswerText("AAAAAAAABBBBBBBB0100000G"), devices::EInvalidArgument);

    // The clock with its deviation from the reference.
    const int64_t reference = storage::LocalTimeStampOf({2026, 12, 5, 14, 3, 9, 0});
    const std::pair<int, const char*> clocks[] = {{12, "05.12.2026 14:03:21 [+12 сек]"},
                                                  {-10, "05.12.2026 14:02:59 [-10 сек]"},
                                                  {0, "05.12.2026 14:03:09 [0 сек]"}};
    for (const auto& [offset, text] : clocks) {
        EXPECT_EQ(
            MeterClockText(LittleEndianHex(static_cast<uint32_t>(reference + offset)), reference),
            text);
    }
    EXPECT_EQ(MeterClockText("00000000", 5), "01.01.2000 0:00:00 [-5 сек]");
    // Beyond the years a date can name: kept as received.
    EXPECT_EQ(MeterClockText("FFFFFFFFFFFFFF7F", 0), "FFFFFFFFFFFFFF7F");
    EXPECT_THROW(MeterClockText("12Z4", 0), devices::EInvalidArgument);
}

class ResultsStoreTest : public InboundTest {
  protected:
    void Process(const std::string& tasks, const std::string& workUid = "17") {
        auto document = Parse(ResultXml(workUid, tasks));
        InboundContext context(db(), programDir());
        ProcessResultFile(context, *document->Root(), "00A1");
    }

    // The given columns of every BigData row as stored, decoded from the stored text form; a
    // column written "typeof(X)" gives its SQLite type ("integer", "text", "null").
    std::vector<std::vector<std::string>> Rows(const std::vector<std::string>& columns) {
        std::string select;
        for (const std::string& column : columns) {
            // Always text: a column read otherwise takes its kind from the first row.
            select += (select.empty() ? "" : ",") +
                      (column.starts_with("typeof") ? column
                                                    : "coalesce(CAST(" + column + " AS TEXT),'')");
        }
        auto table = db().QueryTable("SELECT " + select + " from BigData ORDER BY ROWID");
        std::vector<std::vector<std::string>> rows;
        for (; !table->AtEnd(); table->Next()) {
            rows.emplace_back();
            for (size_t c = 0; c < columns.size(); ++c) {
                rows.back().push_back(
                    storage::StoredTextDecode(table->FieldText(static_cast<int>(c))));
            }
        }
        return rows;
    }
};

TEST_F(ResultsStoreTest, ReadAnswersBecomeRowsWithTheirColumnTypes) {
    const int64_t pointA = AddPoint(ctrA1_, "0000000A");
    AddPoint(ctrB2_, "0000000F");  // same meter text under another concentrator: not ours
    Process(TaskXml("5", "ZARNIC", "Var=\"0000.Energy\" OpCode=\"R\" Value=\"\"",
                    AnsXml("0000000A", "DONE", "0A000000") + AnsXml("", "DONE", "0B000000") +
                        AnsXml("0000000F", "DONE", "14000000") +
                        AnsXml("0000000A", "TIMEOUT", "E!")));
    // The answer without Meter gives no row; not DONE keeps the raw value.
    EXPECT_THAT(Rows({"DataVendorUID", "MeterADDR", "Result", "Value", "LocalTime"}),
                ElementsAre(ElementsAre(std::to_string(pointA), "0000000A", "DONE", "10", ""),
                            ElementsAre("0", "0000000F", "DONE", "20", ""),
                            ElementsAre(std::to_string(pointA), "0000000A", "TIMEOUT", "E!", "")));
    EXPECT_THAT(
        Rows({"typeof(WorkUID)", "typeof(LocalTimeStamp)", "typeof(ArcType)", "typeof(FromPoint)"})
            .at(0),
        ElementsAre("integer", "integer", "null", "null"));
}

TEST_F(ResultsStoreTest, EveryAnswerFindsItsPointWhateverTheOrderOfTheMeters) {
    // Each request names the meters in the order of the one before, but not always.
    const std::string a = std::to_string(AddPoint(ctrA1_, "A"));
    const std::string b = std::to_string(AddPoint(ctrA1_, "B"));
    const std::string c = std::to_string(AddPoint(ctrA1_, "C"));
    const auto task = [](const std::string& uid, const std::vector<std::string>& meters) {
        std::string answers;
        for (const std::string& meter : meters) {
            answers += AnsXml(meter, "FAIL", "");
        }
        return TaskXml(uid, "M-230", "Var=\"V\"", answers);
    };
    Process(task("1", {"A", "B", "C"}) + task("2", {"A", "B", "C"}) +
            task("3", {"C", "A", "X", "B", "B", "A"}) + task("4", {"A", "C", "X"}));
    std::vector<std::string> points;
    for (const auto& row : Rows({"DataVendorUID"})) {
        points.push_back(row.at(0));
    }
    EXPECT_THAT(points, ElementsAre(a, b, c, a, b, c, c, a, "0", b, b, a, a, c, "0"));
}

TEST(FormatTenDigitsTest, AtLeastTenDigitsAndTheSign) {
    const std::pair<int64_t, const char*> cases[] = {{0, "0000000000"},
                                                     {-1, "-0000000001"},
                                                     {1234567890, "1234567890"},
                                                     {12345678901, "12345678901"},
                                                     {-2147483648, "-2147483648"},
                                                     {INT64_MIN, "-9223372036854775808"},
                                                     {INT64_MAX, "9223372036854775807"}};
    for (const auto& [value, text] : cases) {
        EXPECT_EQ(FormatTenDigits(value), text) << value;
    }
}

TEST_F(ResultsStoreTest, SpecialReadsWritesAndUnknownVariables) {
    const int64_t reference = storage::LocalTimeStampOf({2026, 12, 5, 14, 3, 9, 0});
    const std::string now = "2026-12-05-14-03-09";
    Process(
        TaskXml("1", "ZARNIC", "Var=\"0000.Table\" OpCode=\"R\"",
                AnsXml("A", "DONE", "AAAAAAAABBBBBBBB0100000078563412", now) +
                    AnsXml("B", "DONE", "0102030405060708", now)) +
        TaskXml("2", "ZARNIC", "Var=\"0000.LocalTime\" OpCode=\"R\"",
                AnsXml("A", "DONE", LittleEndianHex(static_cast<uint32_t>(reference + 10)), now)) +
        TaskXml("3", "ZARNIC", "Var=\"0000.Unknown\" OpCode=\"R\"",
                AnsXml("A", "DONE", "0A000000")) +
        TaskXml("4", "ZARNIC", "Var=\"0000.Energy\" OpCode=\"X\"",
                AnsXml("A", "DONE", "0A000000", now)) +
        // The request's Text is in the stored text form with backslashes for line breaks.
        TaskXml("5", "ZARNIC", "Var=\"0000.Energy\" OpCode=\"W\" Text=\"1\\..\\2\\3 &amp;amp; 4\"",
                AnsXml("A", "DONE", "00") + AnsXml("B", "FAIL", "00")));
    const auto rows = Rows({"Value", "LocalTimeStamp"});
    ASSERT_EQ(rows.size(), 7u);
    EXPECT_EQ(rows[0][0], "00000001\r\n12345678");
    EXPECT_EQ(rows[1][0], "");
    EXPECT_EQ(rows[2][0], "05.12.2026 14:03:19 [+10 сек]");
    EXPECT_EQ(rows[3][0], "0A000000");  // unknown variable: raw value kept
    EXPECT_EQ(rows[4], (std::vector<std::string>{"0A000000", std::to_string(reference)}));
    EXPECT_EQ(rows[5][0], "1\r\n2\r\n3 & 4");  // the written text
    EXPECT_EQ(rows[6][0], "00");               // a failed write: the answer's value
}

TEST_F(ResultsStoreTest, ArchiveReadsSplitRecordsAndWriteTheArchiveColumns) {
    // Two records: time 100, master clock 200, reading 10; time 160, master clock -1, reading 20.
    const std::string value72 =
        std::string(24, '0') + "64000000C80000000A000000" + "A0000000FFFFFFFF14000000";
    const std::string value47 = value72.substr(0, 47);
    Process(TaskXml("9", "ZARNIC",
                    "Var=\"0000.EnergyArchive\" OpCode=\"AR\" ArcType=\"1\" ArcInterval=\"30\" "
                    "ArcOptions=\"o&quot;p\"",
                    AnsXml("A", "DONE", value72) + AnsXml("A", "DONE", value47) +
                        AnsXml("A", "DONE", value72.substr(0, 60)) + AnsXml("A", "FAIL", value72)));
    EXPECT_THAT(Rows({"LocalTime", "MasterClock", "Value", "ArcType", "ArcInterval", "ArcOptions",
                      "FromPoint", "ToPoint", "typeof(FromPoint)"}),
                ElementsAre(ElementsAre("0000000100\r\n0000000160", "0000000200\r\n-0000000001",
                                        "10\r\n20", "1", "30", "o\"p", "100", "160", "integer"),
                            // 47 characters: no record; the points are "0" and the value stays.
                            ElementsAre("", "", value47, "1", "30", "o\"p", "0", "0", "integer"),
                            // 60: one whole record; the partial one behind it is ignored.
                            ElementsAre("0000000100", "0000000200", "10", "1", "30", "o\"p", "100",
                                        "100", "integer"),
                            // Not DONE: raw value, empty points, archive parameters still written.
                            ElementsAre("", "", value72, "1", "30", "o\"p", "", "", "text")));
}

TEST_F(ResultsStoreTest, PlainRequestsAreStoredAsReceived) {
    const int64_t point = AddPoint(ctrA1_, "12345");
    Process(TaskXml("4", "M-200", "Var=\"0000.Energy\"", AnsXml("12345", "DONE", "0A000000")) +
            // "zarnic" is not "ZARNIC": plain, even with an archive operation.
            TaskXml("5", "zarnic", "Var=\"0000.Energy\" OpCode=\"AR\" ArcType=\"1\"",
                    AnsXml("12345", "DONE", std::string(72, '1'))));
    EXPECT_THAT(Rows({"OpCode", "Value", "DataVendorUID", "typeof(ArcType)", "typeof(FromPoint)"}),
                ElementsAre(ElementsAre("", "0A000000", std::to_string(point), "null", "null"),
                            ElementsAre("AR", std::string(72, '1'), std::to_string(point), "null",
                                        "null")));
}

TEST_F(ResultsStoreTest, TasksWithoutWhatTheyNeedAreSkipped) {
    const std::string ans = AnsXml("A", "DONE", "0A000000");
    Process(TaskXml("", "ZARNIC", "Var=\"0000.Energy\" OpCode=\"R\"", ans) +
            TaskXml("1", "ZARNIC", "Var=\"\" OpCode=\"R\"", ans) +
            TaskXml("1", "ZARNIC", "Var=\"0000.Energy\"", ans) +  // ZARNIC needs an OpCode
            TaskXml("1", "M-230", "OpCode=\"R\"", ans) +
            "  <task TaskUID=\"1\" Syntax=\"ZARNIC\">\r\n" + ans + "  </task>\r\n");
    EXPECT_EQ(CountRows("BigData"), 0);
}

TEST_F(ResultsStoreTest, ReceivedTextsCannotBreakOrRewriteTheStatement) {
    const std::string evil = "7&quot;),(&quot;1&quot;,&quot;2";
    Process(TaskXml(evil, "ZARNIC", "Var=\"0000.E&quot;nergy\" OpCode=\"R&quot;\"",
                    AnsXml("A&quot;) OR (&quot;1&quot;=&quot;1", "DO&quot;NE", "&quot;")) +
                TaskXml("8", "ZARNIC",
                        "Var=\"0000.EnergyArchive\" OpCode=\"AR\" ArcType=\"&quot;\" "
                        "ArcInterval=\"&apos;\" ArcOptions=\"&lt;&amp;&gt;\"",
                        AnsXml("B", "FAIL", "")),
            evil);
    const std::string raw = "7\"),(\"1\",\"2";
    EXPECT_THAT(Rows({"WorkUID", "TaskUID", "MeterADDR", "VarName", "OpCode", "Result", "Value",
                      "ArcType", "ArcInterval", "ArcOptions"}),
                ElementsAre(ElementsAre(raw, raw, "A\") OR (\"1\"=\"1", "0000.E\"nergy", "R\"",
                                        "DO\"NE", "\"", "", "", ""),
                            ElementsAre(raw, "8", "B", "0000.EnergyArchive", "AR", "FAIL", "", "\"",
                                        "'", "<&>")));
}

TEST_F(ResultsStoreTest, ABadAnswerTimeEndsTheFile) {
    EXPECT_THROW(Process(TaskXml("1", "M-200", "Var=\"V\"",
                                 AnsXml("A", "DONE", "1") + AnsXml("A", "DONE", "1", ""))),
                 EConvertError);
    // A non-hexadecimal clock value ends it the same way.
    EXPECT_THROW(Process(TaskXml("1", "ZARNIC", "Var=\"0000.LocalTime\" OpCode=\"R\"",
                                 AnsXml("A", "DONE", "XYZ"))),
                 devices::EInvalidArgument);
}

}  // namespace
}  // namespace zb::inbound::testing
