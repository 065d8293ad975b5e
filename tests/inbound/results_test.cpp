// Result files (the answers of requests as BigData rows with their value conversions, and the
// four command results), and the importers' handler as the link calls it: routing by kind, one
// transaction per file, mirror writes, and screen events only after the commit.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <thread>

#include "devices/value_formats.h"
#include "inbound/received_file_processor.h"
#include "inbound/result_file.h"
#include "inbound/results_store.h"
#include "inbound_fixture.h"
#include "storage/time_stamp.h"

namespace zb::inbound::testing {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using Row = std::vector<std::string>;

const std::string kReceived = std::string("Данные получены=") + kNowText;

class ResultsTest : public InboundTest {
  protected:
    // Applies a result file of a concentrator from its text, as it is parsed, without the
    // transaction, and sends the collected events.
    void Process(const std::string& xmlText, const std::string& ctrId = "00A1") {
        InboundContext context(db(), programDir());
        ProcessResultText(context, xmlText, ctrId);
        context.events.Emit();
    }
    void ProcessTasks(const std::string& tasks) { Process(ResultXml("17", tasks)); }
    void ProcessCommand(const std::string& var, const std::string& value,
                        const std::string& answers) {
        Process(ResultXml("0", CommandXml(var, value, answers)));
    }
    std::string Ctr(const std::string& column) {
        return Text("SELECT " + column + " from CTR WHERE UID=" + std::to_string(ctrA1_));
    }
};

TEST(AnswerTimeStampTest, SixNumbersGiveSecondsSinceTheEpochAnythingElseIsAnError) {
    const std::pair<const char*, int64_t> good[] = {
        {"2000-01-01-00-00-10", 10},
        {"1999-12-31-23-59-59", -1},
        {"2000-1-1-0-0-0", 0},
        {"2024-02-29-12-00-00", storage::LocalTimeStampOf({2024, 2, 29, 12, 0, 0, 0})}};
    for (const auto& [text, stamp] : good) {
        EXPECT_EQ(AnswerTimeStamp(text), stamp) << text;
    }
    // One of each: the count of numbers, each number's range, the days of a month, digits only.
    for (const char* bad : {"0", "", "2000-01-01-00-00", "2000--01-01-00-00",
                            "2000-01-01-00-00-00-00", "2000-13-01-00-00-00", "2000-00-01-00-00-00",
                            "2023-02-29-00-00-00", "2000-04-31-00-00-00", "2000-01-01-24-00-00",
                            "2000-01-01-00-60-00", "2000-01-01-00-00-60", "0000-01-01-00-00-00",
                            "2000-01-01-00-00-1x", "2000-01-01-00-00-+1", " 2000-01-01-00-00-00",
                            "99999999999-01-01-00-00-00", "2000-01-01-00-00-00-"}) {
        EXPECT_THROW(AnswerTimeStamp(bad), EConvertError) << bad;
    }
}

TEST(ValueTextTest, FunctionAnswersAndTheMeterClock) {
    // Function answers: two groups dropped, the rest read little-endian; a partial group is not
    // a group.
    EXPECT_EQ(FunctionAnswerText(""), "");
    EXPECT_EQ(FunctionAnswerText("AAAAAAAABBBBBBBB01000000785634"), "00000001");
    EXPECT_THROW(FunctionAnswerText("AAAAAAAABBBBBBBB0100000G"), devices::EInvalidArgument);
    // The clock with its deviation from the reference (a value that is not hexadecimal: see
    // EachKindOfRequestGivesItsRows); beyond the years a date can name, kept as received.
    EXPECT_EQ(MeterClockText("00000000", 5), "01.01.2000 0:00:00 [-5 сек]");
    EXPECT_EQ(MeterClockText("0A000000", 10), "01.01.2000 0:00:10 [0 сек]");
    EXPECT_EQ(MeterClockText("FFFFFFFFFFFFFF7F", 0), "FFFFFFFFFFFFFF7F");
}

TEST_F(ResultsTest, EachKindOfRequestGivesItsRows) {
    const std::string a = std::to_string(AddPoint(ctrA1_, "A"));
    AddPoint(ctrB2_, "F");  // same meter text under another concentrator: not ours
    const int64_t now = storage::LocalTimeStampOf(kNow);
    const std::string t11 = "2000-01-01-00-00-11", tNow = "2026-12-05-14-03-09";
    const auto read = [](const std::string& uid, const std::string& var, const std::string& op,
                         const std::string& answers) {
        return TaskXml(uid, "ZARNIC", "Var=\"" + var + "\" OpCode=\"" + op + "\"", answers);
    };
    ProcessTasks(read("1", "0000.Energy", "R",
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
                 // Plain requests keep the value as received; "zarnic" is not "ZARNIC": plain, even
                 // with an archive operation.
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
    EXPECT_THROW(ProcessTasks(read("1", "0000.LocalTime", "R", AnsXml("A", "DONE", "XYZ"))),
                 devices::EInvalidArgument);
}

TEST_F(ResultsTest, EveryAnswerFindsItsPointWhateverTheOrderOfTheMeters) {
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
    ProcessTasks(task("1", {"A", "B", "C"}) + task("2", {"A", "B", "C"}) +
                 task("3", {"C", "A", "X", "B", "B", "A"}) + task("4", {"A", "C", "X"}));
    std::vector<std::string> points;
    for (const Row& row : TableRows("BigData", {"DataVendorUID"})) {
        points.push_back(row.at(0));
    }
    EXPECT_THAT(points, ElementsAre(a, b, c, a, b, c, c, a, "0", b, b, a, a, c, "0"));
}

TEST(FormatTenDigitsTest, AtLeastTenDigitsAndTheSign) {
    const std::pair<int64_t, const char*> cases[] = {{0, "0000000000"},
                                                     {-1, "-0000000001"},
                                                     {12345678901, "12345678901"},
                                                     {INT64_MIN, "-9223372036854775808"}};
    for (const auto& [value, text] : cases) {
        EXPECT_EQ(FormatTenDigits(value), text) << value;
    }
}

TEST_F(ResultsTest, ArchiveReadsSplitRecordsAndWriteTheArchiveColumns) {
    // Two records: time 100, master clock 200, reading 10; time 160, master clock -1, reading 20.
    const std::string value72 =
        std::string(24, '0') + "64000000C80000000A000000" + "A0000000FFFFFFFF14000000";
    const std::string value47 = value72.substr(0, 47);
    ProcessTasks(
        TaskXml("9", "ZARNIC",
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

TEST_F(ResultsTest, TasksWithoutWhatTheyNeedAreSkipped) {
    const std::string ans = AnsXml("A", "DONE", "0A000000");
    ProcessTasks(TaskXml("", "ZARNIC", "Var=\"0000.Energy\" OpCode=\"R\"", ans) +
                 TaskXml("1", "ZARNIC", "Var=\"\" OpCode=\"R\"", ans) +
                 TaskXml("1", "ZARNIC", "Var=\"0000.Energy\"", ans) +  // ZARNIC needs an OpCode
                 TaskXml("1", "M-230", "OpCode=\"R\"", ans) +
                 "  <task TaskUID=\"1\" Syntax=\"ZARNIC\">\r\n" + ans + "  </task>\r\n");
    EXPECT_EQ(CountRows("BigData"), 0);
}

TEST_F(ResultsTest, FilesAndCommandsThatCannotApplyChangeNothing) {
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

TEST_F(ResultsTest, TheFirstWorkUidCountsWhereverItStands) {
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

TEST_F(ResultsTest, GetParamsAndGetProfileStoreTheirLines) {
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
    EXPECT_EQ(ProfileText("a,,b"), "a\r\n\r\nb\r\n" + kReceived);
}

TEST_F(ResultsTest, DeleteMeterRemovesTheListedPointsOfThatConcentratorOnly) {
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

TEST_F(ResultsTest, DeleteFileDeletesTheMirrorCopyOnlyWhenDoneAndNeverLeavesTheMirror) {
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
