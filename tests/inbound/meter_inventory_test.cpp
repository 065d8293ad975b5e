// Meter lists and noise reports.
#include "inbound/meter_inventory.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "inbound_fixture.h"
#include "storage/stored_text.h"

namespace zb::inbound::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::UnorderedElementsAre;

const std::string kReceived = std::string("Данные получены=") + kNowText;

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
    void Noise(const std::string& channels) {
        auto document = Parse("<noise>\r\n" + channels + "</noise>\r\n");
        InboundContext context(db(), programDir());
        ImportNoise(context, *document->Root());
        context.events.Emit();
    }
    std::string Column(const std::string& column, int64_t uid) {
        return Text("SELECT " + column + " from MeasuringPoint WHERE UID=" + std::to_string(uid));
    }
    int64_t UidOf(const std::string& address) {
        return Int("SELECT UID from MeasuringPoint WHERE MeterADDR=" + storage::SqlText(address));
    }
};

// "SN123" as a length-prefixed string.
constexpr const char* kSerialVar =
    "      <var Name=\"0000.SerialNumber\" Value=\"05534E313233\"/>\r\n";

TEST_F(MeterInventoryTest, ANewMeterBecomesAPointOfTheConcentrator) {
    Import("  <meter address=\"0000000A\">\r\n" + std::string(kSerialVar) +
           "    <var Name=\"0000.Energy\" Value=\"0A000000\"/>\r\n"
           "    <arch AVID=\"00000301\" Des=\"00000100A005000001000100001E0000\"/>\r\n"
           "    <syntax Value=\"ZARNIC\"/>\r\n"
           "  </meter>\r\n");
    ASSERT_EQ(CountRows("MeasuringPoint"), 1);
    const int64_t uid = UidOf("0000000A");
    EXPECT_EQ(Column("CtrUID", uid) + " " + Column("CustomGroupUID", uid) + " " +
                  Column("MeterSN", uid) + " " + Column("Syntax", uid),
              std::to_string(ctrA1_) + " 0 SN123 ZARNIC");
    EXPECT_EQ(Column("MeterInfoBasic", uid),
              "0000.SerialNumber=SN123\r\n0000.Energy=10\r\n" + kReceived + "\r\n");
    EXPECT_EQ(Column("MeterInfoArch", uid),
              "0000.EnergyArchive=0/1440 [30 мин] (00000301)\r\n" + kReceived + "\r\n");
    EXPECT_THAT(events_->events(), ElementsAre("MeterValuesChanged " + std::to_string(uid),
                                               "MeasuringPointsChanged 00A1"));
}

TEST_F(MeterInventoryTest, MissingSerialAndSyntaxStoreNull) {
    Import(
        "  <meter address=\"B\">\r\n    <Syntax Value=\"ZARNIC\"/>\r\n"
        "    <VAR Name=\"0000.SerialNumber\" Value=\"0141\"/>\r\n  </meter>\r\n");
    const int64_t uid = UidOf("B");
    // Element kinds are told apart by their exact names: "Syntax" and "VAR" are neither.
    EXPECT_EQ(Column("MeterSN", uid) + " " + Column("Syntax", uid), "<NULL> <NULL>");
    EXPECT_EQ(Column("MeterInfoBasic", uid), kReceived + "\r\n");
    EXPECT_EQ(Column("MeterInfoArch", uid), kReceived + "\r\n");
}

TEST_F(MeterInventoryTest, AnUnassignedPointIsClaimedNotDuplicated) {
    const int64_t uid = AddPoint(0, "0000000C");
    Import("  <meter address=\"0000000C\">\r\n" + std::string(kSerialVar) + "  </meter>\r\n");
    EXPECT_EQ(CountRows("MeasuringPoint"), 1);
    // The claim changes the owner only; the attributes come with the next list.
    EXPECT_EQ(
        Column("CtrUID", uid) + " " + Column("MeterSN", uid) + " " + Column("CustomGroupUID", uid),
        std::to_string(ctrA1_) + " SN 7");
    EXPECT_THAT(events_->events(), ElementsAre("MeterValuesChanged " + std::to_string(uid),
                                               "MeasuringPointsChanged 00A1"));

    Import("  <meter address=\"0000000C\">\r\n" + std::string(kSerialVar) + "  </meter>\r\n");
    EXPECT_EQ(CountRows("MeasuringPoint"), 1);
    EXPECT_EQ(Column("MeterSN", uid), "SN123");
}

TEST_F(MeterInventoryTest, APointWithoutConcentratorColumnDoesNotHideTheMeter) {
    // CtrUID NULL is not "unassigned" (0): the claim changes no row, so the meter gets a point.
    db().ExecuteSql("INSERT into MeasuringPoint (MeterADDR) values('0000000N')");
    Import("  <meter address=\"0000000N\">\r\n" + std::string(kSerialVar) + "  </meter>\r\n");
    EXPECT_EQ(CountRows("MeasuringPoint", "MeterADDR='0000000N'"), 2);
    EXPECT_EQ(CountRows("MeasuringPoint", "CtrUID IS NULL"), 1);
    EXPECT_EQ(Column("MeterSN",
                     Int("SELECT UID from MeasuringPoint WHERE CtrUID=" + std::to_string(ctrA1_))),
              "SN123");
}

TEST_F(MeterInventoryTest, AKnownMeterIsUpdatedWhateverItsLetterCase) {
    const int64_t uid = AddPoint(ctrA1_, "00abcdef");
    AddPoint(ctrB2_, "00abcdef");  // the same address elsewhere is updated too
    const int64_t otherCase = AddPoint(ctrB2_, "00ABCDEF");
    const int64_t cyrillic = AddPoint(ctrA1_, "счётчик-1");
    Import("  <meter address=\"00ABCDEF\">\r\n" + std::string(kSerialVar) +
           "    <syntax Value=\"M-230\"/>\r\n  </meter>\r\n"
           "  <meter address=\"СЧЁТЧИК-1\">\r\n" +
           kSerialVar + "  </meter>\r\n");
    EXPECT_EQ(CountRows("MeasuringPoint"), 4);
    // Other columns, the address included, stay.
    EXPECT_EQ(Column("MeterSN", uid) + " " + Column("Syntax", uid) + " " +
                  Column("MeterADDR", uid) + " " + Column("CustomGroupUID", uid),
              "SN123 M-230 00abcdef 7");
    EXPECT_EQ(CountRows("MeasuringPoint", "MeterSN='SN123'"), 3);
    EXPECT_EQ(Column("MeterSN", cyrillic), "SN123");
    EXPECT_EQ(Column("MeterSN", otherCase), "SN");
    EXPECT_EQ(events_->events().size(), 3u);  // the three updated points
}

TEST_F(MeterInventoryTest, InterfaceAndSyntaxLinesComeFirst) {
    Import(
        "  <meter address=\"D\">\r\n"
        "    <var Name=\"0000.Energy\" Value=\"0A000000\"/>\r\n"
        "    <var Name=\"Interface\" Value=\"01\"/>\r\n"
        "    <var Name=\"SYNTAX\" Value=\"02\"/>\r\n"
        "  </meter>\r\n");
    // The short names are not catalogue titles: their values stay as received.
    EXPECT_EQ(Column("MeterInfoBasic", UidOf("D")),
              "Interface=01\r\nSYNTAX=02\r\n0000.Energy=10\r\n" + kReceived + "\r\n");
}

TEST(ArrangeVariableLinesTest, SwapsAsTheListGoes) {
    using Lines = std::vector<std::string>;
    const std::pair<Lines, Lines> cases[] = {
        {{"a=1", "interface=2", "syntax=3"}, {"interface=2", "syntax=3", "a=1"}},
        {{"syntax=1", "interface=2"}, {"interface=2", "syntax=1"}},
        {{"syntax=1"}, {"syntax=1"}},  // one line: nothing to swap with
        {{"a", "b=interface", "c=2"}, {"a", "b=interface", "c=2"}},  // only names count
        {{}, {}}};
    for (auto [lines, arranged] : cases) {
        ArrangeVariableLines(lines);
        EXPECT_EQ(lines, arranged);
    }
}

TEST_F(MeterInventoryTest, MetersWithoutAddressAreSkippedAndRepeatsAddOnePoint) {
    Import("  <meter>\r\n" + std::string(kSerialVar) +
           "  </meter>\r\n"
           "  <meter address=\"\">\r\n  </meter>\r\n"
           "  <meter address=\"E\">\r\n  </meter>\r\n"
           "  <meter address=\"E\">\r\n" +
           kSerialVar + "  </meter>\r\n");
    EXPECT_EQ(CountRows("MeasuringPoint"), 1);
    EXPECT_EQ(Column("MeterSN", UidOf("E")), "SN123");
}

TEST_F(MeterInventoryTest, ReceivedTextsCannotBreakOrRewriteTheStatements) {
    AddPoint(ctrA1_, "victim");
    const std::string evilAddress = "x&quot;) OR (&quot;1&quot;=&quot;1";
    const std::string list =
        "  <meter address=\"" + evilAddress +
        "\">\r\n"
        "    <var Name=\"0000.SerialNumber\" Value=\"0322273C\"/>\r\n"  // "\"'<"
        "    <syntax Value=\"M&quot;200\"/>\r\n"
        "    <var Name=\"a&quot;b\" Value=\"&quot;\"/>\r\n"
        "  </meter>\r\n";
    Import(list);
    Import(list);  // the second time it is a known point
    EXPECT_EQ(CountRows("MeasuringPoint"), 2);
    const int64_t uid = UidOf("x\") OR (\"1\"=\"1");
    EXPECT_EQ(Column("MeterSN", uid) + " " + Column("Syntax", uid), "\"'< M\"200");
    EXPECT_EQ(Column("MeterSN", UidOf("victim")), "SN");
}

TEST_F(MeterInventoryTest, AnUnknownConcentratorAddsUnassignedPoints) {
    Import("  <meter address=\"F\">\r\n  </meter>\r\n", "0FFF");
    EXPECT_EQ(Column("CtrUID", UidOf("F")), "0");
}

TEST_F(MeterInventoryTest, NoiseUpdatesEveryPointWithTheAddress) {
    const int64_t a = AddPoint(ctrA1_, "0000000A");
    const int64_t b = AddPoint(ctrB2_, "0000000A");
    const int64_t c = AddPoint(ctrA1_, "0000000C");
    const int64_t untouched = AddPoint(ctrA1_, "0000000D");
    Noise(
        "  <channel>\r\n    <node address=\"0000000A\" nrms=\"12.5\"/>\r\n  </channel>\r\n"
        "  <channel>\r\n    <node address=\"0000000C\" nrms=\"&lt;3&quot;\"/>\r\n"
        "    <node address=\"0000000X\" nrms=\"1\"/>\r\n  </channel>\r\n");
    EXPECT_EQ(Column("Noise", a), "12.5");
    EXPECT_EQ(Column("Noise", b), "12.5");
    EXPECT_EQ(Column("Noise", c), "<3\"");
    EXPECT_EQ(Column("Noise", untouched), "");
    EXPECT_THAT(events_->events(), UnorderedElementsAre("MeterValuesChanged " + std::to_string(a),
                                                        "MeterValuesChanged " + std::to_string(b),
                                                        "MeterValuesChanged " + std::to_string(c)));
}

TEST_F(MeterInventoryTest, ArchiveLinesNameTheArchiveAndKeepTheWholeCode) {
    EXPECT_EQ(ArchiveLine("00000301", "00000100A005000001000100001E0000"),
              "0000.EnergyArchive=0/1440 [30 мин] (00000301)");
    EXPECT_EQ(ArchiveLine("000003FF", "00000100A0050002"),
              "0000.EnergyArchive=0/1440, F (000003FF)");
    EXPECT_EQ(ArchiveLine("00070001", ""), "=0/0 [0 мин] (00070001)");
    EXPECT_EQ(ArchiveLine("1000000000", "zz"), "=0/0 [0 мин] (1000000000)");
}

}  // namespace
}  // namespace zb::inbound::testing
