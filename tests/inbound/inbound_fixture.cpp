#include "inbound_fixture.h"

#include <cstdio>

#include "devices/catalogue.h"
#include "storage/schema.h"
#include "storage/stored_text.h"

namespace zb::inbound::testing {

namespace fs = std::filesystem;

namespace {

// One catalogue for the whole test program: it is read-only once loaded, and loading the
// plug-in once keeps the process from mapping a new copy of it for every test.
void EnsureTestCatalogue() {
    static zb::testing::TempDir dir;
    static const bool loaded = [] {
        zb::testing::WriteFile(
            dir / "XML.ZARNIC" / "0000.ZARNIC.xml",
            "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n"
            "<ZARNIC>\r\n"
            "  <var VID=\"00000001\" Name=\"SerialNumber\" TypeCode=\"50\" RAL=\"0\" "
            "WAL=\"8\"/>\r\n"
            "  <var VID=\"00000002\" Name=\"LocalTime\" TypeCode=\"2A\" RAL=\"0\" WAL=\"2\"/>\r\n"
            "  <var VID=\"00000003\" Name=\"Energy\" TypeCode=\"24\" RAL=\"0\" WAL=\"2\"/>\r\n"
            "  <var VID=\"00000004\" Name=\"Table\" TypeCode=\"68\" RAL=\"0\" WAL=\"8\"/>\r\n"
            "  <var VID=\"00000005\" Name=\"Interface\" TypeCode=\"21\" RAL=\"0\" WAL=\"8\"/>\r\n"
            "  <var VID=\"00000006\" Name=\"Syntax\" TypeCode=\"21\" RAL=\"0\" WAL=\"8\"/>\r\n"
            "  <var VID=\"00000300\" Name=\"EnergyArchive\" TypeCode=\"24\" RAL=\"0\" "
            "WAL=\"8\"/>\r\n"
            "</ZARNIC>\r\n");
        fs::create_directories(dir / "DLL");
        const fs::path builtDll = zb::testing::BuiltProgramDir() / "DLL";
        for (const auto& entry : fs::directory_iterator(builtDll)) {
            fs::copy_file(entry.path(), dir / "DLL" / entry.path().filename());
        }
        devices::LoadCatalogue(dir.path());
        return true;
    }();
    (void)loaded;
}

// A new database file with the schema and the look-up indexes, made once and copied for every
// test: creating thirteen tables costs a synchronised commit each.
const fs::path& TemplateDatabase() {
    static zb::testing::TempDir dir;
    static const fs::path path = [] {
        const fs::path file = dir / "template.db";
        bool created = false;
        storage::OpenProgramDatabase(file.string(), created);
        return file;
    }();
    return path;
}

}  // namespace

void InboundTest::SetUp() {
    storage::SetDatabase(nullptr);
    const fs::path file = dir_ / "ZarnicBox.db";
    fs::copy_file(TemplateDatabase(), file);
    bool created = true;
    storage::SetDatabase(storage::OpenProgramDatabase(file.string(), created));
    ASSERT_FALSE(created);
    // The tests look at what a commit or a rollback leaves, not at its durability on disk.
    db().ExecuteSql("PRAGMA synchronous=OFF");
    EnsureTestCatalogue();
    base::Clock::SetSource([] { return base::FromLocal(kNow); });
    base::SetEvents(events_);
    ctrA1_ = db().InsertSql("INSERT into CTR (ID,Comment) values('00A1','')");
    ctrB2_ = db().InsertSql("INSERT into CTR (ID,Comment) values('00B2','')");
    link::CreateMirrorFolders(dir_.path(), "00A1");
    link::CreateMirrorFolders(dir_.path(), "00B2");
}

void InboundTest::TearDown() {
    base::SetEvents(nullptr);
    base::Clock::SetSource({});
    storage::SetDatabase(nullptr);
}

int64_t InboundTest::AddPoint(int64_t ctrUid, const std::string& address) {
    return db().InsertSql(
        "INSERT into MeasuringPoint (Name,CtrUID,MeterADDR,MeterSN,Syntax,CustomGroupUID) values(" +
        storage::SqlText("point " + address) + "," + storage::SqlInt(ctrUid) + "," +
        storage::SqlText(address) + ",'SN','ZARNIC','7')");
}

std::string InboundTest::Text(const std::string& sql) {
    auto table = db().QueryTable(sql);
    EXPECT_GT(table->RowCount(), 0u) << sql;
    return table->RowCount() == 0 ? "<no row>" : storage::StoredTextDecode(table->FieldText(0));
}

std::vector<std::vector<std::string>> InboundTest::TableRows(
    const std::string& table, const std::vector<std::string>& columns) {
    std::string select;
    for (const std::string& column : columns) {
        // Always text: a column read otherwise takes its kind from the first row.
        select +=
            (select.empty() ? "" : ",") +
            (column.starts_with("typeof") ? column : "coalesce(CAST(" + column + " AS TEXT),'')");
    }
    auto rows = db().QueryTable("SELECT " + select + " from " + table + " ORDER BY rowid");
    std::vector<std::vector<std::string>> cells;
    for (; !rows->AtEnd(); rows->Next()) {
        cells.emplace_back();
        for (size_t c = 0; c < columns.size(); ++c) {
            cells.back().push_back(storage::StoredTextDecode(rows->FieldText(static_cast<int>(c))));
        }
    }
    return cells;
}

void InboundTest::Receive(const std::string& linkPath, const std::string& bytes,
                          const std::string& ctrId) {
    link::ReceivedFile file;
    file.ctrId = ctrId;
    file.linkPath = linkPath;
    file.fileName = linkPath.substr(linkPath.rfind('\\') + 1);
    file.kind = link::ClassifyLinkPath(linkPath);
    file.mirrorDir = mirror(ctrId);
    file.mirrorPath = *link::MapLinkPath(file.mirrorDir, linkPath);
    file.bytes = bytes;
    processor_.HandleReceivedFile(file);
}

std::string LittleEndianHex(uint32_t value) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02X%02X%02X%02X", value & 0xFF, (value >> 8) & 0xFF,
                  (value >> 16) & 0xFF, (value >> 24) & 0xFF);
    return buf;
}

}  // namespace zb::inbound::testing
