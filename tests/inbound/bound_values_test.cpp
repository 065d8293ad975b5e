// The importers store the same bytes through statements with bound values as through plain
// statement texts with the values written in as literals.
#include <gtest/gtest.h>

#include "inbound/meter_inventory.h"
#include "inbound/result_file.h"
#include "inbound_fixture.h"
#include "storage/stored_text.h"

namespace zb::inbound::testing {
namespace {

// Every row of every table that the importers write, each cell as SQLite's quote() gives it
// (its kind and its bytes), in row order.
std::vector<std::string> Dump(storage::TSQLiteDatabase& db) {
    std::vector<std::string> rows;
    for (const char* table : {"BigData", "MeasuringPoint", "CTR"}) {
        std::string cells;
        auto columns = db.QueryTable(std::string("PRAGMA table_info(") + table + ")");
        for (; !columns->AtEnd(); columns->Next()) {
            cells += (cells.empty() ? "quote(" : "||' '||quote(") + columns->FieldText(1) + ")";
        }
        auto table_rows = db.QueryTable("SELECT " + cells + " from " + table + " ORDER BY rowid");
        for (; !table_rows->AtEnd(); table_rows->Next()) {
            rows.push_back(std::string(table) + ": " + table_rows->FieldText(0));
        }
    }
    return rows;
}

class BoundValuesTest : public InboundTest {};

TEST_F(BoundValuesTest, BoundAndPlainStatementsStoreTheSameRows) {
    AddPoint(ctrA1_, "0000000A");
    AddPoint(ctrA1_, "a&b'c\"d<e>");
    AddPoint(0, "0000000C");  // claimed by the meter list
    AddPoint(ctrB2_, "00abcdef");
    db().ExecuteSql("INSERT into MeasuringPoint (MeterADDR) values('0000000N')");  // NULL CtrUID
    const std::string plainFile = (programDir() / "plain.db").string();
    db().ExecuteSql("VACUUM INTO " + storage::SqlText(plainFile));
    storage::TSQLiteDatabase plain(plainFile);
    plain.SetInlineValues(true);

    const std::string hexLong = "AAAAAAAABBBBBBBB0100000078563412";
    const std::string archive = std::string(24, '0') + LittleEndianHex(10) + LittleEndianHex(11) +
                                LittleEndianHex(5) + LittleEndianHex(20) + LittleEndianHex(21) +
                                LittleEndianHex(6);
    const std::string answers = AnsXml("0000000A", "DONE", "0A000000") +
                                AnsXml("a&amp;b&apos;c&quot;d&lt;e&gt;", "DONE", "01000000") +
                                AnsXml("unknown", "FAIL", "x<br/>y&amp;") +
                                AnsXml("", "DONE", "05000000") +
                                AnsXml("0000000A", "DONE", "zz!", "2026-12-05-14-03-09");
    const std::string results = ResultXml(
        "0017",
        TaskXml("5", "ZARNIC", "Var=\"0000.Energy\" OpCode=\"R\"", answers) +
            TaskXml("-3", "ZARNIC", "Var=\"0000.Table\" OpCode=\"R\"",
                    AnsXml("0000000A", "DONE", hexLong)) +
            TaskXml("1.5", "ZARNIC", "Var=\"0000.LocalTime\" OpCode=\"R\"",
                    AnsXml("0000000A", "DONE", LittleEndianHex(12))) +
            TaskXml("abc", "ZARNIC", "Var=\"0000.Energy\" OpCode=\"W\" Text=\"1\\2 &apos;\"",
                    answers) +
            TaskXml("99999999999999999999", "ZARNIC",
                    "Var=\"0000.EnergyArchive\" OpCode=\"AR\" ArcType=\"0\" ArcInterval=\"30\" "
                    "ArcOptions=\"x&quot;\"",
                    AnsXml("0000000A", "DONE", archive) + AnsXml("0000000A", "DONE", "0123") +
                        AnsXml("0000000A", "FAIL", archive)) +
            TaskXml(" 8 ", "M-230", "Var=\"Energy\"", answers) +
            CommandXml("GetParams", "", CommandAnsXml("DONE", "1.2", "Version")));
    const std::string meters =
        "<meters>\r\n  <meter address=\"0000000B\">\r\n"
        "    <var Name=\"0000.SerialNumber\" Value=\"05534E313233\"/>\r\n"
        "    <arch AVID=\"00000301\" Des=\"00000100A005000001000100001E0000\"/>\r\n"
        "    <syntax Value=\"Z&apos;\"/>\r\n  </meter>\r\n"
        "  <meter address=\"0000000C\"/>\r\n  <meter address=\"0000000N\"/>\r\n"
        "  <meter address=\"0000000a\"/>\r\n  <meter address=\"0000000b\"/>\r\n"
        "  <meter address=\"x&quot;) OR (&apos;1\"/>\r\n</meters>\r\n";
    const std::string noise =
        "<noise><channel><node address=\"0000000A\" nrms=\"12.5\"/>"
        "<node address=\"00abcdef\" nrms=\"&lt;1\"/></channel></noise>\r\n";
    for (storage::TSQLiteDatabase* target : {&db(), &plain}) {
        InboundContext context(*target, programDir());
        ProcessResultText(context, results, "00A1");
        ImportMeterInventoryText(context, meters, "00A1");
        ImportMeterInventoryText(context, meters, "00B2");
        ImportNoise(context, *Parse(noise)->Root());
    }
    const std::vector<std::string> bound = Dump(db());
    EXPECT_EQ(CountRows("BigData"), 17);
    EXPECT_EQ(CountRows("MeasuringPoint"), 13);
    EXPECT_EQ(bound, Dump(plain));
}

}  // namespace
}  // namespace zb::inbound::testing
