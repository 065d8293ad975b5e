// The results store: BigData rows of ZARNIC and plain requests, and the value conversions.
#include "inbound/results_store.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "base/text.h"
#include "devices/value_formats.h"
#include "inbound/result_file.h"
#include "inbound_fixture.h"
#include "storage/stored_text.h"
#include "storage/time_stamp.h"

namespace zb::inbound::testing {
namespace {

TEST(AnswerTimeStampTest, SixNumbersGiveSecondsSinceTheEpoch) {
    EXPECT_EQ(AnswerTimeStamp("2000-01-01-00-00-10"), 10);
    EXPECT_EQ(AnswerTimeStamp("2000-01-02-00-00-00"), 86400);
    EXPECT_EQ(AnswerTimeStamp("1999-12-31-23-59-59"), -1);
    EXPECT_EQ(AnswerTimeStamp("2000-1-1-0-0-0"), 0);
    EXPECT_EQ(AnswerTimeStamp("2024-02-29-12-00-00"),
              storage::LocalTimeStampOf({2024, 2, 29, 12, 0, 0, 0}));
}

TEST(AnswerTimeStampTest, AnythingElseIsAConversionError) {
    for (const char* bad :
         {"0", "", "2000-01-01-00-00", "2000-01-01-00-00-00-00", "2000-13-01-00-00-00",
          "2000-00-01-00-00-00", "2023-02-29-00-00-00", "2000-04-31-00-00-00",
          "2000-01-01-24-00-00", "2000-01-01-00-60-00", "2000-01-01-00-00-60",
          "0000-01-01-00-00-00", "2000-01-01-00-00-1x", "2000--01-01-00-00", "2000-01-01-00-00-+1",
          " 2000-01-01-00-00-00", "99999999999-01-01-00-00-00"}) {
        EXPECT_THROW(AnswerTimeStamp(bad), EConvertError) << bad;
    }
}

TEST(FunctionAnswerTextTest, DropsTwoGroupsAndReadsTheRestLittleEndian) {
    EXPECT_EQ(FunctionAnswerText(""), "");
    EXPECT_EQ(FunctionAnswerText("0102030405060708"), "");  // 16 characters: nothing left
    EXPECT_EQ(FunctionAnswerText("AAAAAAAABBBBBBBB0100000078563412"), "00000001\r\n12345678");
    // A trailing partial group is not a group.
    EXPECT_EQ(FunctionAnswerText("AAAAAAAABBBBBBBB01000000785634"), "00000001");
    EXPECT_THROW(FunctionAnswerText("AAAAAAAABBBBBBBB0100000G"), devices::EInvalidArgument);
}

TEST(MeterClockTextTest, ShowsTheClockAndItsDeviation) {
    const int64_t reference = storage::LocalTimeStampOf({2026, 12, 5, 14, 3, 9, 0});
    EXPECT_EQ(MeterClockText(LittleEndianHex(static_cast<uint32_t>(reference + 12)), reference),
              "05.12.2026 14:03:21 [+12 сек]");
    EXPECT_EQ(MeterClockText(LittleEndianHex(static_cast<uint32_t>(reference - 10)), reference),
              "05.12.2026 14:02:59 [-10 сек]");
    EXPECT_EQ(MeterClockText(LittleEndianHex(static_cast<uint32_t>(reference)), reference),
              "05.12.2026 14:03:09 [0 сек]");
    EXPECT_EQ(MeterClockText("00000000", 5), "01.01.2000 0:00:00 [-5 сек]");
    // Beyond the years a date can name: kept as received.
    EXPECT_EQ(MeterClockText("FFFFFFFFFFFFFF7F", 0), "FFFFFFFFFFFFFF7F");
    EXPECT_THROW(MeterClockText("12Z4", 0), devices::EInvalidArgument);
}

class ResultsStoreTest : public InboundTest {
  protected:
    void Process(const std::string& tasks, const std::string& workUid = "17") {
        auto document = Parse(
            "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<result>\r\n"
            "  <workUID Value=\"" +
            workUid + "\"/>\r\n" + tasks + "</result>\r\n");
        InboundContext context(db(), programDir());
        ProcessResultFile(context, *document->Root(), "00A1");
    }

    // Every column of the matching rows as stored: its SQLite type ("integer", "text", "null")
    // and its text, decoded from the stored text form.
    struct Row {
        std::map<std::string, std::string> text;
        std::map<std::string, std::string> kind;
    };
    std::vector<Row> Rows(const std::string& where = "") {
        static const char* const kColumns[] = {
            "WorkUID", "TaskUID",       "DataVendorUID", "DataVendorEntity", "MeterADDR",
            "VarName", "OpCode",        "Result",        "LocalTime",        "MasterClock",
            "Value",   "ArcType",       "ArcInterval",   "ArcOptions",       "FromPoint",
            "ToPoint", "LocalTimeStamp"};
        std::string select;
        for (const char* column : kColumns) {
            select += std::string(select.empty() ? "" : ",") + "typeof(" + column + ")||':'||" +
                      "coalesce(CAST(" + column + " AS TEXT),'')";
        }
        auto table = db().QueryTable("SELECT " + select + " from BigData" +
                                     (where.empty() ? "" : " WHERE " + where) + " ORDER BY ROWID");
        std::vector<Row> rows;
        for (; !table->AtEnd(); table->Next()) {
            Row row;
            for (size_t c = 0; c < std::size(kColumns); ++c) {
                const std::string cell = table->FieldText(static_cast<int>(c));
                const size_t colon = cell.find(':');
                const std::string name = base::AsciiUpper(kColumns[c]);
                row.kind[name] = cell.substr(0, colon);
                row.text[name] = storage::StoredTextDecode(cell.substr(colon + 1));
            }
            rows.push_back(row);
        }
        return rows;
    }
};

std::string Task(const std::string& taskUid, const std::string& syntax, const std::string& req,
                 const std::string& answers) {
    return "  <task TaskUID=\"" + taskUid + "\" Syntax=\"" + syntax + "\">\r\n    <req " + req +
           "/>\r\n" + answers + "  </task>\r\n";
}

std::string Ans(const std::string& attributes) {
    return "    <ans " + attributes + "/>\r\n";
}

constexpr const char* kTime10 = "Time=\"2000-01-01-00-00-10\"";

TEST_F(ResultsStoreTest, ReadAnswersBecomeRowsColumnByColumn) {
    const int64_t pointA = AddPoint(ctrA1_, "0000000A");
    AddPoint(ctrB2_, "0000000F");  // same meter text under another concentrator: not ours
    Process(Task(
        "5", "ZARNIC", "Var=\"0000.Energy\" OpCode=\"R\" Value=\"\"",
        Ans("Meter=\"0000000A\" Result=\"DONE\" AVID=\"1\" Value=\"0A000000\" " +
            std::string(kTime10)) +
            Ans("Result=\"DONE\" Value=\"0B000000\" " + std::string(kTime10)) +
            Ans("Meter=\"0000000F\" Result=\"DONE\" Value=\"14000000\" " + std::string(kTime10)) +
            Ans("Meter=\"0000000A\" Result=\"TIMEOUT\" Value=\"E!\" " + std::string(kTime10))));
    const auto rows = Rows();
    ASSERT_EQ(rows.size(), 3u);  // the answer without Meter gives no row

    const auto& done = rows[0].text;
    EXPECT_EQ(done.at("WORKUID"), "17");
    EXPECT_EQ(done.at("TASKUID"), "5");
    EXPECT_EQ(done.at("DATAVENDORUID"), std::to_string(pointA));
    EXPECT_EQ(done.at("DATAVENDORENTITY"), "MP");
    EXPECT_EQ(done.at("METERADDR"), "0000000A");
    EXPECT_EQ(done.at("VARNAME"), "0000.Energy");
    EXPECT_EQ(done.at("OPCODE"), "R");
    EXPECT_EQ(done.at("RESULT"), "DONE");
    EXPECT_EQ(done.at("LOCALTIME"), "");
    EXPECT_EQ(done.at("MASTERCLOCK"), "");
    EXPECT_EQ(done.at("VALUE"), "10");  // decoded by the base plug-in
    EXPECT_EQ(done.at("LOCALTIMESTAMP"), "10");
    EXPECT_EQ(rows[0].kind.at("LOCALTIMESTAMP"), "integer");
    EXPECT_EQ(rows[0].kind.at("WORKUID"), "integer");
    EXPECT_EQ(rows[0].kind.at("ARCTYPE"), "null");
    EXPECT_EQ(rows[0].kind.at("FROMPOINT"), "null");

    // A meter the concentrator has no measuring point for.
    EXPECT_EQ(rows[1].text.at("DATAVENDORUID"), "0");
    EXPECT_EQ(rows[1].text.at("VALUE"), "20");
    // Not DONE: the raw value.
    EXPECT_EQ(rows[2].text.at("RESULT"), "TIMEOUT");
    EXPECT_EQ(rows[2].text.at("VALUE"), "E!");
    EXPECT_EQ(rows[2].text.at("LOCALTIME"), "");
}

TEST_F(ResultsStoreTest, SpecialReadsAndUnknownVariables) {
    const int64_t reference = storage::LocalTimeStampOf({2026, 12, 5, 14, 3, 9, 0});
    const std::string time = "Time=\"2026-12-05-14-03-09\"";
    Process(
        Task("1", "ZARNIC", "Var=\"0000.Table\" OpCode=\"R\"",
             Ans("Meter=\"A\" Result=\"DONE\" Value=\"AAAAAAAABBBBBBBB0100000078563412\" " + time) +
                 Ans("Meter=\"B\" Result=\"DONE\" Value=\"0102030405060708\" " + time)) +
        Task("2", "ZARNIC", "Var=\"0000.LocalTime\" OpCode=\"R\"",
             Ans("Meter=\"A\" Result=\"DONE\" Value=\"" +
                 LittleEndianHex(static_cast<uint32_t>(reference + 10)) + "\" " + time)) +
        Task("3", "ZARNIC", "Var=\"0000.Unknown\" OpCode=\"R\"",
             Ans("Meter=\"A\" Result=\"DONE\" Value=\"0A000000\" " + time)) +
        Task("4", "ZARNIC", "Var=\"0000.Energy\" OpCode=\"X\"",
             Ans("Meter=\"A\" Result=\"DONE\" Value=\"0A000000\" " + time)));
    const auto rows = Rows();
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(rows[0].text.at("VALUE"), "00000001\r\n12345678");
    EXPECT_EQ(rows[1].text.at("VALUE"), "");
    EXPECT_EQ(rows[2].text.at("VALUE"), "05.12.2026 14:03:19 [+10 сек]");
    EXPECT_EQ(rows[3].text.at("VALUE"), "0A000000");  // unknown variable: raw value kept
    EXPECT_EQ(rows[4].text.at("VALUE"), "0A000000");  // unknown operation: raw value kept
    EXPECT_EQ(rows[4].text.at("LOCALTIMESTAMP"), std::to_string(reference));
}

TEST_F(ResultsStoreTest, WritesStoreTheWrittenText) {
    // The request's Text is in the stored text form with backslashes for line breaks.
    Process(Task("2", "ZARNIC", "Var=\"0000.Energy\" OpCode=\"W\" Text=\"1\\..\\2\\3 &amp;amp; 4\"",
                 Ans("Meter=\"A\" Result=\"DONE\" Value=\"00\" " + std::string(kTime10)) +
                     Ans("Meter=\"B\" Result=\"FAIL\" Value=\"00\" " + std::string(kTime10))));
    const auto rows = Rows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].text.at("OPCODE"), "W");
    EXPECT_EQ(rows[0].text.at("VALUE"), "1\r\n2\r\n3 & 4");
    EXPECT_EQ(rows[1].text.at("VALUE"), "00");
}

TEST_F(ResultsStoreTest, ArchiveReadsSplitRecordsAndWriteTheArchiveColumns) {
    const std::string header(24, '0');
    // Two records: time 100, master clock 200, reading 10; time 160, master clock -1, reading 20.
    const std::string value72 =
        header + "64000000" + "C8000000" + "0A000000" + "A0000000" + "FFFFFFFF" + "14000000";
    ASSERT_EQ(value72.size(), 72u);
    const std::string value47 = value72.substr(0, 47);
    const std::string value60 = value72.substr(0, 60);
    Process(Task("9", "ZARNIC",
                 "Var=\"0000.EnergyArchive\" OpCode=\"AR\" ArcType=\"1\" ArcInterval=\"30\" "
                 "ArcOptions=\"o&quot;p\"",
                 Ans("Meter=\"A\" Result=\"DONE\" Value=\"" + value72 + "\" " + kTime10) +
                     Ans("Meter=\"A\" Result=\"DONE\" Value=\"" + value47 + "\" " + kTime10) +
                     Ans("Meter=\"A\" Result=\"DONE\" Value=\"" + value60 + "\" " + kTime10) +
                     Ans("Meter=\"A\" Result=\"FAIL\" Value=\"" + value72 + "\" " + kTime10)));
    const auto rows = Rows();
    ASSERT_EQ(rows.size(), 4u);

    const auto& full = rows[0].text;
    EXPECT_EQ(full.at("OPCODE"), "AR");
    EXPECT_EQ(full.at("LOCALTIME"), "0000000100\r\n0000000160");
    EXPECT_EQ(full.at("MASTERCLOCK"), "0000000200\r\n-0000000001");
    EXPECT_EQ(full.at("VALUE"), "10\r\n20");
    EXPECT_EQ(full.at("ARCTYPE"), "1");
    EXPECT_EQ(full.at("ARCINTERVAL"), "30");
    EXPECT_EQ(full.at("ARCOPTIONS"), "o\"p");
    EXPECT_EQ(full.at("FROMPOINT"), "100");
    EXPECT_EQ(full.at("TOPOINT"), "160");
    EXPECT_EQ(rows[0].kind.at("FROMPOINT"), "integer");

    // 47 characters: no record; the points are "0" and the value stays.
    EXPECT_EQ(rows[1].text.at("VALUE"), value47);
    EXPECT_EQ(rows[1].text.at("LOCALTIME"), "");
    EXPECT_EQ(rows[1].text.at("FROMPOINT"), "0");
    EXPECT_EQ(rows[1].text.at("TOPOINT"), "0");
    // 60 characters: one whole record; the partial one behind it is ignored.
    EXPECT_EQ(rows[2].text.at("LOCALTIME"), "0000000100");
    EXPECT_EQ(rows[2].text.at("VALUE"), "10");
    EXPECT_EQ(rows[2].text.at("TOPOINT"), "100");
    // Not DONE: raw value, empty points, archive parameters still written.
    EXPECT_EQ(rows[3].text.at("VALUE"), value72);
    EXPECT_EQ(rows[3].text.at("FROMPOINT"), "");
    EXPECT_EQ(rows[3].text.at("TOPOINT"), "");
    EXPECT_EQ(rows[3].text.at("ARCTYPE"), "1");
    EXPECT_EQ(rows[3].text.at("LOCALTIME"), "");
}

TEST_F(ResultsStoreTest, PlainRequestsAreStoredAsReceived) {
    const int64_t point = AddPoint(ctrA1_, "12345");
    Process(
        Task("4", "M-200", "Var=\"0000.Energy\"",
             Ans("Meter=\"12345\" Result=\"DONE\" Value=\"0A000000\" " + std::string(kTime10))) +
        // "zarnic" is not "ZARNIC": plain, even with an archive operation.
        Task("5", "zarnic", "Var=\"0000.Energy\" OpCode=\"AR\" ArcType=\"1\"",
             Ans("Meter=\"12345\" Result=\"DONE\" Value=\"" + std::string(72, '1') + "\" " +
                 kTime10)));
    const auto rows = Rows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].text.at("OPCODE"), "");
    EXPECT_EQ(rows[0].text.at("VALUE"), "0A000000");
    EXPECT_EQ(rows[0].text.at("DATAVENDORUID"), std::to_string(point));
    EXPECT_EQ(rows[1].text.at("OPCODE"), "AR");
    EXPECT_EQ(rows[1].text.at("VALUE"), std::string(72, '1'));
    EXPECT_EQ(rows[1].kind.at("ARCTYPE"), "null");
    EXPECT_EQ(rows[1].kind.at("FROMPOINT"), "null");
}

TEST_F(ResultsStoreTest, TasksWithoutWhatTheyNeedAreSkipped) {
    const std::string ans =
        Ans("Meter=\"A\" Result=\"DONE\" Value=\"0A000000\" " + std::string(kTime10));
    Process(Task("", "ZARNIC", "Var=\"0000.Energy\" OpCode=\"R\"", ans) +
            Task("1", "ZARNIC", "Var=\"\" OpCode=\"R\"", ans) +
            Task("1", "ZARNIC", "Var=\"0000.Energy\"", ans) +  // ZARNIC needs an OpCode
            Task("1", "M-230", "OpCode=\"R\"", ans) +
            "  <task TaskUID=\"1\" Syntax=\"ZARNIC\">\r\n" + ans + "  </task>\r\n");
    EXPECT_EQ(CountRows("BigData"), 0);
}

TEST_F(ResultsStoreTest, ReceivedTextsCannotBreakOrRewriteTheStatement) {
    const std::string evil = "7&quot;),(&quot;1&quot;,&quot;2";
    Process(Task(evil, "ZARNIC", "Var=\"0000.E&quot;nergy\" OpCode=\"R&quot;\"",
                 Ans("Meter=\"A&quot;) OR (&quot;1&quot;=&quot;1\" Result=\"DO&quot;NE\" "
                     "Value=\"&quot;\" " +
                     std::string(kTime10))) +
                Task("8", "ZARNIC",
                     "Var=\"0000.EnergyArchive\" OpCode=\"AR\" ArcType=\"&quot;\" "
                     "ArcInterval=\"&apos;\" ArcOptions=\"&lt;&amp;&gt;\"",
                     Ans("Meter=\"B\" Result=\"FAIL\" Value=\"\" " + std::string(kTime10))),
            evil);
    const auto rows = Rows();
    ASSERT_EQ(rows.size(), 2u);
    const std::string raw = "7\"),(\"1\",\"2";
    EXPECT_EQ(rows[0].text.at("WORKUID"), raw);
    EXPECT_EQ(rows[0].text.at("TASKUID"), raw);
    EXPECT_EQ(rows[0].text.at("METERADDR"), "A\") OR (\"1\"=\"1");
    EXPECT_EQ(rows[0].text.at("VARNAME"), "0000.E\"nergy");
    EXPECT_EQ(rows[0].text.at("OPCODE"), "R\"");
    EXPECT_EQ(rows[0].text.at("RESULT"), "DO\"NE");
    EXPECT_EQ(rows[0].text.at("VALUE"), "\"");
    EXPECT_EQ(rows[1].text.at("ARCTYPE"), "\"");
    EXPECT_EQ(rows[1].text.at("ARCINTERVAL"), "'");
    EXPECT_EQ(rows[1].text.at("ARCOPTIONS"), "<&>");
}

TEST_F(ResultsStoreTest, ABadAnswerTimeEndsTheFile) {
    EXPECT_THROW(
        Process(Task("1", "M-200", "Var=\"V\"",
                     Ans("Meter=\"A\" Result=\"DONE\" Value=\"1\" " + std::string(kTime10)) +
                         Ans("Meter=\"A\" Result=\"DONE\" Value=\"1\""))),
        EConvertError);
    // A non-hexadecimal clock value ends it the same way.
    EXPECT_THROW(
        Process(Task("1", "ZARNIC", "Var=\"0000.LocalTime\" OpCode=\"R\"",
                     Ans("Meter=\"A\" Result=\"DONE\" Value=\"XYZ\" " + std::string(kTime10)))),
        devices::EInvalidArgument);
}

}  // namespace
}  // namespace zb::inbound::testing
