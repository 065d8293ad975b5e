// Meters: the lists and noise reports a concentrator sends, and the attributes view that shows
// what a meter reported (basic information, archives, profile).
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/time.h>

#include "inbound/meter_attributes.h"
#include "inbound/meter_inventory.h"
#include "inbound_fixture.h"
#include "storage/stored_text.h"
#include "testing/recorders.h"

namespace zb::inbound::testing {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::UnorderedElementsAre;
using zb::testing::WriteFile;
using Row = std::vector<std::string>;
using Rows = KeyValueRows;

const std::string kReceived = std::string("Данные получены=") + kNowText + "\r\n";
// "SN123" as a length-prefixed string.
const std::string kSerialVar = "    <var Name=\"0000.SerialNumber\" Value=\"05534E313233\"/>\r\n";

class MeterInventoryTest : public InboundTest {
  protected:
    // Through the path the server takes: applied from the text as it is parsed.
    void Import(const std::string& meters, const std::string& ctrId = "00A1") {
        InboundContext context(db(), programDir());
        ImportMeterInventoryText(
            context,
            "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<meters>\r\n" + meters + "</meters>\r\n",
            ctrId);
        context.events.Emit();
    }
    // Every point: address, concentrator, custom group, serial number, syntax and noise.
    std::vector<Row> Points() {
        return TableRows("MeasuringPoint",
                         {"MeterADDR", "CtrUID", "CustomGroupUID", "MeterSN", "Syntax", "Noise"});
    }
    std::string a1() const { return std::to_string(ctrA1_); }
    std::string Event(int64_t uid) { return "MeterValuesChanged " + std::to_string(uid); }
};

TEST_F(MeterInventoryTest, ANewMeterBecomesAPointOfTheConcentrator) {
    Import("  <meter address=\"0000000A\">\r\n" + kSerialVar +
           "    <var Name=\"0000.Energy\" Value=\"0A000000\"/>\r\n"
           "    <var Name=\"Interface\" Value=\"01\"/>\r\n"
           "    <var Name=\"SYNTAX\" Value=\"02\"/>\r\n"
           "    <arch AVID=\"00000301\" Des=\"00000100A005000001000100001E0000\"/>\r\n"
           "    <syntax Value=\"ZARNIC\"/>\r\n"
           "  </meter>\r\n");
    EXPECT_THAT(Points(), ElementsAre(Row{"0000000A", a1(), "0", "SN123", "ZARNIC", ""}));
    // The interface and syntax lines come first; their short names are not catalogue titles, so
    // their values stay as received.
    EXPECT_THAT(TableRows("MeasuringPoint", {"MeterInfoBasic", "MeterInfoArch"}),
                ElementsAre(Row{
                    "Interface=01\r\nSYNTAX=02\r\n0000.SerialNumber=SN123\r\n0000.Energy=10\r\n" +
                        kReceived,
                    "0000.EnergyArchive=0/1440 [30 мин] (00000301)\r\n" + kReceived}));
    const int64_t uid = Int("SELECT UID from MeasuringPoint");
    EXPECT_THAT(events_->events(), ElementsAre(Event(uid), "MeasuringPointsChanged 00A1"));
}

TEST_F(MeterInventoryTest, OddMetersAddWhatTheyCan) {
    // Meters without address are skipped; a repeated one adds one point. Element kinds are told
    // apart by their exact names: "Syntax" and "VAR" are neither.
    Import("  <meter>\r\n" + kSerialVar +
           "  </meter>\r\n"
           "  <meter address=\"\">\r\n  </meter>\r\n"
           "  <meter address=\"E\">\r\n  </meter>\r\n"
           "  <meter address=\"E\">\r\n" +
           kSerialVar +
           "  </meter>\r\n"
           "  <meter address=\"B\">\r\n    <Syntax Value=\"ZARNIC\"/>\r\n"
           "    <VAR Name=\"0000.SerialNumber\" Value=\"0141\"/>\r\n  </meter>\r\n");
    // An unknown concentrator adds unassigned points.
    Import("  <meter address=\"F\">\r\n  </meter>\r\n", "0FFF");
    EXPECT_THAT(Points(), ElementsAre(Row{"E", a1(), "0", "SN123", "<NULL>", ""},
                                      Row{"B", a1(), "0", "<NULL>", "<NULL>", ""},
                                      Row{"F", "0", "0", "<NULL>", "<NULL>", ""}));
    EXPECT_EQ(Text("SELECT MeterInfoBasic||MeterInfoArch from MeasuringPoint WHERE MeterADDR='B'"),
              kReceived + kReceived);
}

TEST_F(MeterInventoryTest, AnUnassignedPointIsClaimedNotDuplicated) {
    const int64_t uid = AddPoint(0, "0000000C");
    // CtrUID NULL is not "unassigned" (0): the claim changes no row, so the meter gets a point.
    db().ExecuteSql("INSERT into MeasuringPoint (MeterADDR) values('0000000N')");
    const std::string list = "  <meter address=\"0000000C\">\r\n" + kSerialVar +
                             "  </meter>\r\n  <meter address=\"0000000N\"/>\r\n";
    Import(list);
    // The claim changes the owner only; the attributes come with the next list.
    EXPECT_THAT(Points(), ElementsAre(Row{"0000000C", a1(), "7", "SN", "ZARNIC", ""},
                                      Row{"0000000N", "", "", "", "", ""},
                                      Row{"0000000N", a1(), "0", "<NULL>", "<NULL>", ""}));
    EXPECT_THAT(events_->events(), ::testing::Contains(Event(uid)));
    Import(list);
    EXPECT_EQ(CountRows("MeasuringPoint"), 3);
    EXPECT_EQ(Points()[0][3], "SN123");
}

TEST_F(MeterInventoryTest, AKnownMeterIsUpdatedWhereverItIsWhateverItsLetterCase) {
    AddPoint(ctrA1_, "00abcdef");
    AddPoint(ctrB2_, "00abcdef");
    AddPoint(ctrB2_, "00ABCDEF");
    AddPoint(ctrA1_, "счётчик-1");
    Import("  <meter address=\"00ABCDEF\">\r\n" + kSerialVar +
           "    <syntax Value=\"M-230\"/>\r\n  </meter>\r\n"
           "  <meter address=\"СЧЁТЧИК-1\">\r\n" +
           kSerialVar + "  </meter>\r\n");
    // Only the serial number and the syntax change, the address stays as it was.
    const std::string b2 = std::to_string(ctrB2_);
    EXPECT_THAT(Points(), ElementsAre(Row{"00abcdef", a1(), "7", "SN123", "M-230", ""},
                                      Row{"00abcdef", b2, "7", "SN123", "M-230", ""},
                                      Row{"00ABCDEF", b2, "7", "SN", "ZARNIC", ""},
                                      Row{"счётчик-1", a1(), "7", "SN123", "<NULL>", ""}));
    EXPECT_EQ(events_->events().size(), 3u);  // the three updated points
}

TEST_F(MeterInventoryTest, NoiseUpdatesEveryPointWithTheAddress) {
    const int64_t a = AddPoint(ctrA1_, "0000000A");
    const int64_t b = AddPoint(ctrB2_, "0000000A");
    const int64_t c = AddPoint(ctrA1_, "0000000C");
    AddPoint(ctrA1_, "0000000D");
    InboundContext context(db(), programDir());
    ImportNoise(
        context,
        *Parse("<noise>\r\n  <channel>\r\n    <node address=\"0000000A\" nrms=\"12.5\"/>\r\n"
               "  </channel>\r\n  <channel>\r\n"
               "    <node address=\"0000000C\" nrms=\"&lt;3&quot;\"/>\r\n"
               "    <node address=\"0000000X\" nrms=\"1\"/>\r\n  </channel>\r\n</noise>\r\n")
             ->Root());
    context.events.Emit();
    EXPECT_THAT(TableRows("MeasuringPoint", {"Noise"}),
                ElementsAre(Row{"12.5"}, Row{"12.5"}, Row{"<3\""}, Row{""}));
    EXPECT_THAT(events_->events(), UnorderedElementsAre(Event(a), Event(b), Event(c)));
}

// The usual order and the main archive line: ANewMeterBecomesAPointOfTheConcentrator.
TEST(MeterInventoryLines, InterfaceAndSyntaxSwapIntoPlaceArchivesKeepTheirCode) {
    using Lines = std::vector<std::string>;
    const std::pair<Lines, Lines> cases[] = {
        {{"syntax=1", "interface=2"}, {"interface=2", "syntax=1"}},
        {{"syntax=1"}, {"syntax=1"}},  // one line: nothing to swap with
        {{"a", "b=interface", "c=2"}, {"a", "b=interface", "c=2"}},  // only names count
        {{}, {}}};
    for (auto [lines, arranged] : cases) {
        ArrangeVariableLines(lines);
        EXPECT_EQ(lines, arranged);
    }
    EXPECT_EQ(ArchiveLine("000003FF", "00000100A0050002"),
              "0000.EnergyArchive=0/1440, F (000003FF)");
    EXPECT_EQ(ArchiveLine("00070001", ""), "=0/0 [0 мин] (00070001)");
    EXPECT_EQ(ArchiveLine("1000000000", "zz"), "=0/0 [0 мин] (1000000000)");
}

class MeterAttributesTest : public InboundTest {
  protected:
    fs::path Profile(const std::string& name) const {
        return mirror("00A1") / "ROOT/INFO/PROFILES" / name;
    }
    // Writes a profile file with the given `var` elements and sets its modification time to
    // 05.12.2026 14:03:09 local time.
    fs::path WriteProfile(const std::string& name, const std::string& vars) {
        const fs::path path = Profile(name);
        WriteFile(path, "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<profile>\r\n" + vars +
                            "</profile>\r\n");
        const auto seconds = std::chrono::system_clock::to_time_t(base::FromLocal(kNow));
        const timeval times[2] = {{seconds, 0}, {seconds, 0}};
        EXPECT_EQ(::utimes(path.c_str(), times), 0);
        return path;
    }
    int64_t AddPointWith(const std::string& basic, const std::string& archive) {
        const int64_t uid = AddPoint(ctrA1_, "0000000A");
        db().ExecuteSql("UPDATE MeasuringPoint set MeterInfoBasic=" + storage::SqlText(basic) +
                        ", MeterInfoArch=" + storage::SqlText(archive) +
                        " WHERE UID=" + storage::SqlInt(uid));
        return uid;
    }
};

const Rows kDataReceived = {{"Данные получены", kNowText}};

TEST_F(MeterAttributesTest, ProfileRowsByNameByVidUnknownAndTheFileTime) {
    const fs::path file =
        WriteProfile("p.xml",
                     "  <var Name=\"0000.Table\"/>\r\n"
                     "  <var Name=\"Mystery\" VID=\"\"\"\"/>\r\n"  // two quotes: no VID
                     "  <VAR VID=\"03000000\"/>\r\n"               // known only by its VID
                     "  <var Name=\"0000.Nothing\" VID=\"77000000\"/>\r\n"
                     "  <other Name=\"0000.Energy\"/>\r\n");
    EXPECT_EQ(ReadMeterProfile(file), (Rows{{"Функция", "0000.Table"},
                                            {"", "Mystery"},
                                            {"Параметр", "0000.Energy"},
                                            {"", "0000.Nothing"},
                                            kDataReceived[0]}));
    // A profile without variables shows the time alone; a missing or broken file nothing.
    EXPECT_EQ(ReadMeterProfile(WriteProfile("empty.xml", "")), kDataReceived);
    EXPECT_TRUE(ReadMeterProfile(Profile("missing.xml")).empty());
    WriteFile(Profile("broken.xml"), "<profile><var Name=\"0000.Table\"");
    EXPECT_TRUE(ReadMeterProfile(Profile("broken.xml")).empty());
}

TEST_F(MeterAttributesTest, APointShowsItsInformationAndTheProfileItNames) {
    EXPECT_FALSE(ReadMeterAttributes(db(), programDir(), 999).found);

    // No "0000.ProfileID": basic and archive information, no profile.
    const int64_t plain = AddPointWith("0000.ProjectID=00000012\r\nA=1=2\r\n\r\nB\r\n",
                                       "0000.EnergyArchive=I 30 мин (00000300)\r\n");
    auto view = ReadMeterAttributes(db(), programDir(), plain);
    EXPECT_TRUE(view.found);
    EXPECT_EQ(view.ctrId, "00A1");
    EXPECT_EQ(view.basic, (Rows{{"0000.ProjectID", "00000012"}, {"A", "1=2"}, {"B", ""}}));
    EXPECT_EQ(view.archive, (Rows{{"0000.EnergyArchive", "I 30 мин (00000300)"}}));
    EXPECT_TRUE(view.profile.empty());

    // Keys compared without regard to case; read again on every call.
    WriteProfile("profile-00000012-00000003.xml", "  <var Name=\"0000.Energy\"/>\r\n");
    const int64_t named =
        AddPointWith("0000.projectid=00000012\r\n0000.PROFILEID=00000003\r\n", "");
    const Rows expected = {{"Параметр", "0000.Energy"}, kDataReceived[0]};
    EXPECT_EQ(ReadMeterAttributes(db(), programDir(), named).profile, expected);
    EXPECT_EQ(ReadMeterAttributes(db(), programDir(), named).profile, expected);
    // IDs that would lead out of the profiles folder read nothing.
    EXPECT_FALSE(MeterProfilePath(programDir(), "00A1", "../x", "1").has_value());
}

TEST(ProfileMatches, PrefixedAndPlainKeysWithoutRegardToCase) {
    const Rows prefixed = {{"0000.PROJECTID", "12"}, {"0000.profileid", "3"}};
    const Rows plain = {{"ProjectID", "12"}, {"ProfileID", "3"}};
    EXPECT_TRUE(ProfileMatches(prefixed, "12", "3"));
    EXPECT_TRUE(ProfileMatches(plain, "12", "3"));
    EXPECT_FALSE(ProfileMatches(prefixed, "12", "4"));
    EXPECT_FALSE(ProfileMatches({{"1.ProjectID", "12"}, {"ProfileID", "3"}}, "12", "3"));
}

// A VID that is not hexadecimal keeps the rows before it, and the log says why.
TEST_F(MeterAttributesTest, AReceivedProfileHandsItsRowsToTheWindow) {
    zb::testing::LogRecorder log;
    Receive("ROOT\\INFO\\PROFILES\\profile-00000012-00000003.xml",
            "<profile><var Name=\"0000.Table\"/><var VID=\"0\x01Z\"/></profile>");
    Receive("ROOT\\INFO\\PROFILES\\noids.xml", "<profile/>");
    EXPECT_THAT(events_->events(),
                ElementsAre("ProfileReceived 00A1 00000012 00000003 Функция=0000.Table"));
    EXPECT_TRUE(fs::exists(Profile("noids.xml")));
    EXPECT_THAT(log.lines(), ElementsAre(::testing::HasSubstr(
                                 "CtrID = 00A1, Неправильный аргумент функции StrToHex: 0\\x01Z")));
}

}  // namespace
}  // namespace zb::inbound::testing
