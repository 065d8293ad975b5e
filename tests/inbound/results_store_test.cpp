// The results store: BigData rows of ZARNIC and plain requests, and the value conversions.
#include "inbound/results_store.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "devices/value_formats.h"
#include "inbound/result_file.h"
#include "inbound_fixture.h"
#include "storage/time_stamp.h"

namespace zb::inbound::testing {
namespace {

using ::testing::ElementsAre;
using Row = std::vector<std::string>;

TEST(AnswerTimeStampTest, SixNumbersGiveSecondsSinceTheEpochAnythingElseIsAnError) {
    const std::pair<const char*, int64_t> good[] = {
        {"2000-01-01-00-00-10", 10},
        {"1999-12-31-23-59-59", -1},
        {"2000-1-1-0-0-0", 0},
        {"2024-02-29-12-00-00", storage::LocalTimeStampOf({2024, 2, 29, 12, 0, 0, 0})}};
    for (const auto& [text, stamp] : good) {
        EXPECT_EQ(AnswerTimeStamp(text), stamp) << text;
    }
    for (const char* bad :
         {"0", "", "2000-01-01-00-00", "2000-01-01-00-00-00-00", "2000-13-01-00-00-00",
          "2000-00-01-00-00-00", "2023-02-29-00-00-00", "2000-04-31-00-00-00",
          "2000-01-01-24-00-00", "2000-01-01-00-60-00", "2000-01-01-00-00-60",
          "0000-01-01-00-00-00", "2000-01-01-00-00-1x", "2000--01-01-00-00", "2000-01-01-00-00-+1",
          " 2000-01-01-00-00-00", "99999999999-01-01-00-00-00"}) {
        EXPECT_THROW(AnswerTimeStamp(bad), EConvertError) << bad;
    }
}

TEST(ValueTextTest, FunctionAnswersAndTheMeterClock) {
    // Function answers: two groups dropped, the rest read little-endian; a partial group is not
    // a group.
    EXPECT_EQ(FunctionAnswerText(""), "");
    EXPECT_EQ(FunctionAnswerText("AAAAAAAABBBBBBBB01000000785634"), "00000001");
    EXPECT_THROW(FunctionAnswerText("AAAAAAAABBBBBBBB0100000G"), devices::EInvalidArgument);
    // The clock with its deviation from the reference; beyond the years a date can name, the
    // value is kept as received.
    EXPECT_EQ(MeterClockText("00000000", 5), "01.01.2000 0:00:00 [-5 сек]");
    EXPECT_EQ(MeterClockText("0A000000", 10), "01.01.2000 0:00:10 [0 сек]");
    EXPECT_EQ(MeterClockText("FFFFFFFFFFFFFF7F", 0), "FFFFFFFFFFFFFF7F");
    EXPECT_THROW(MeterClockText("12Z4", 0), devices::EInvalidArgument);
}

class ResultsStoreTest : public InboundTest {
  protected:
    void Process(const std::string& tasks, const std::string& workUid = "17") {
        InboundContext context(db(), programDir());
        ProcessResultText(context, ResultXml(workUid, tasks), "00A1");
    }
};

TEST_F(ResultsStoreTest, EachKindOfRequestGivesItsRows) {
    const std::string a = std::to_string(AddPoint(ctrA1_, "A"));
    AddPoint(ctrB2_, "F");  // same meter text under another concentrator: not ours
    const int64_t now = storage::LocalTimeStampOf(kNow);
    const std::string t11 = "2000-01-01-00-00-11", tNow = "2026-12-05-14-03-09";
    const auto read = [](const std::string& uid, const std::string& var, const std::string& op,
                         const std::string& answers) {
        return TaskXml(uid, "ZARNIC", "Var=\"" + var + "\" OpCode=\"" + op + "\"", answers);
    };
    Process(read("1", "0000.Energy", "R",
                 AnsXml("A", "DONE", "0A000000") + AnsXml("", "DONE", "0B000000") +
                     AnsXml("F", "DONE", "14000000") + AnsXml("A", "TIMEOUT", "E!", t11)) +
            read("2", "0000.Table", "R",
                 AnsXml("A", "DONE", "AAAAAAAABBBBBBBB0100000078563412") +
                     AnsXml("F", "DONE", "0102030405060708")) +
            read("3", "0000.LocalTime", "R",
                 AnsXml("A", "DONE", LittleEndianHex(static_cast<uint32_t>(now - 10)), tNow)) +
            read("4", "0000.Unknown", "R", AnsXml("A", "DONE", "0A000000")) +
            read("5", "0000.Energy", "X", AnsXml("A", "DONE", "0A000000")) +
            // The request's Text is in the stored text form with backslashes for line breaks.
            TaskXml("6", "ZARNIC", "Var=\"E\" OpCode=\"W\" Text=\"1\\..\\2\\3 &amp;amp; 4\"",
                    AnsXml("A", "DONE", "00") + AnsXml("A", "FAIL", "00")) +
            // Plain requests keep the value as received; "zarnic" is not "ZARNIC": plain, even with
            // an archive operation.
            TaskXml("7", "M-230", "Var=\"Energy\"", AnsXml("A", "DONE", "0A000000")) +
            TaskXml("8", "zarnic", "Var=\"E\" OpCode=\"AR\" ArcType=\"1\"",
                    AnsXml("A", "DONE", std::string(72, '1'))));
    // The answer without Meter gives no row; not DONE, an unknown variable or operation and a
    // failed write keep the raw value.
    EXPECT_THAT(
        TableRows("BigData", {"TaskUID", "DataVendorUID", "MeterADDR", "VarName", "OpCode",
                              "Result", "Value", "LocalTimeStamp"}),
        ElementsAre(Row{"1", a, "A", "0000.Energy", "R", "DONE", "10", "10"},
                    Row{"1", "0", "F", "0000.Energy", "R", "DONE", "20", "10"},
                    Row{"1", a, "A", "0000.Energy", "R", "TIMEOUT", "E!", "11"},
                    Row{"2", a, "A", "0000.Table", "R", "DONE", "00000001\r\n12345678", "10"},
                    Row{"2", "0", "F", "0000.Table", "R", "DONE", "", "10"},
                    Row{"3", a, "A", "0000.LocalTime", "R", "DONE", "05.12.2026 14:02:59 [-10 сек]",
                        std::to_string(now)},
                    Row{"4", a, "A", "0000.Unknown", "R", "DONE", "0A000000", "10"},
                    Row{"5", a, "A", "0000.Energy", "X", "DONE", "0A000000", "10"},
                    Row{"6", a, "A", "E", "W", "DONE", "1\r\n2\r\n3 & 4", "10"},
                    Row{"6", a, "A", "E", "W", "FAIL", "00", "10"},
                    Row{"7", a, "A", "Energy", "", "DONE", "0A000000", "10"},
                    Row{"8", a, "A", "E", "AR", "DONE", std::string(72, '1'), "10"}));
    // Numbers are stored as integers; the archive columns stay empty.
    EXPECT_EQ(CountRows("BigData",
                        "WorkUID=17 AND DataVendorEntity='MP' AND typeof(LocalTimeStamp)='integer'"
                        " AND LocalTime='' AND MasterClock='' AND ArcType IS NULL"
                        " AND FromPoint IS NULL AND ToPoint IS NULL"),
              12);
    // A clock value that is not hexadecimal ends the file.
    EXPECT_THROW(Process(read("1", "0000.LocalTime", "R", AnsXml("A", "DONE", "XYZ"))),
                 devices::EInvalidArgument);
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
    EXPECT_THAT(TableRows("BigData", {"LocalTime", "MasterClock", "Value", "ArcType", "ArcInterval",
                                      "ArcOptions", "FromPoint", "ToPoint", "typeof(FromPoint)"}),
                ElementsAre(Row{"0000000100\r\n0000000160", "0000000200\r\n-0000000001", "10\r\n20",
                                "1", "30", "o\"p", "100", "160", "integer"},
                            // 47 characters: no record; the points are "0" and the value stays.
                            Row{"", "", value47, "1", "30", "o\"p", "0", "0", "integer"},
                            // 60: one whole record; the partial one behind it is ignored.
                            Row{"0000000100", "0000000200", "10", "1", "30", "o\"p", "100", "100",
                                "integer"},
                            // Not DONE: raw value, empty points, archive parameters still written.
                            Row{"", "", value72, "1", "30", "o\"p", "", "", "text"}));
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

}  // namespace
}  // namespace zb::inbound::testing
