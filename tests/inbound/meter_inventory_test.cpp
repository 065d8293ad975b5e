// Meter lists and noise reports.
#include "inbound/meter_inventory.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "inbound_fixture.h"

namespace zb::inbound::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::UnorderedElementsAre;
using Row = std::vector<std::string>;

const std::string kReceived = std::string("Данные получены=") + kNowText + "\r\n";
// "SN123" as a length-prefixed string.
const std::string kSerialVar = "    <var Name=\"0000.SerialNumber\" Value=\"05534E313233\"/>\r\n";

class MeterInventoryTest : public InboundTest {
  protected:
    void Import(const std::string& meters, const std::string& ctrId = "00A1") {
        auto document = Parse("<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<meters>\r\n" +
                              meters + "</meters>\r\n");
        InboundContext context(db(), programDir());
        ImportMeterInventory(context, *document->Root(), ctrId);
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

}  // namespace
}  // namespace zb::inbound::testing
