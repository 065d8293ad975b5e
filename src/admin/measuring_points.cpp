#include "admin/measuring_points.h"

#include <algorithm>

#include "base/text.h"
#include "link/service_command.h"
#include "storage/sqlite_database.h"
#include "storage/stored_text.h"

namespace zb::admin {

using storage::SqlInt;
using storage::SqlText;
using storage::StoredTextDecode;
using storage::StoredTextDecodeOr;

namespace {

// The reference table of each binding column, 5 to 8.
constexpr const char* kBoundTables[4] = {"Account", "EProvider", "CustomGroup", "Balance"};

// A typed text as a value of the save statement: "<NULL>" is the word NULL.
std::string TextValue(const std::string& cell) {
    return cell == mp_texts::kNull ? std::string("NULL") : SqlText(cell);
}

}  // namespace

bool IsTypedColumn(int column) {
    return column == kColName || column == kColLocation || column == kColComment;
}

bool IsChosenColumn(int column) {
    return column >= kColAccount && column <= kColRole;
}

std::string MeterRow::ShownAddress() const {
    return changed ? cells[kColAddress] + mp_texts::kChangedMark : cells[kColAddress];
}

std::vector<Row> LoadMeterCtrs(storage::TSQLiteDatabase& db) {
    std::vector<Row> rows;
    auto table = db.QueryTable("SELECT UID,ID,Comment from CTR");
    for (; !table->AtEnd(); table->Next()) {
        rows.push_back({table->FieldInt64(0), NodeText(StoredTextDecode(table->FieldText(1)),
                                                       StoredTextDecode(table->FieldText(2)))});
    }
    std::stable_sort(rows.begin(), rows.end(),
                     [](const Row& a, const Row& b) { return a.text < b.text; });
    return rows;
}

std::vector<MeterRow> LoadMeterRows(storage::TSQLiteDatabase& db, int64_t ctrUid) {
    // Each binding is resolved in the same statement by its table's key, rather than by one
    // more statement per binding and row: a concentrator of 5,000 points would otherwise cost
    // 20,000 statements. A binding whose row is missing (or 0) comes back with UID 0.
    auto table = db.QueryTable(
        "SELECT mp.MeterADDR,mp.MeterSN,mp.Syntax,mp.Name,mp.MeterLocation,"
        "IFNULL(a.UID,0),IFNULL(e.UID,0),IFNULL(c.UID,0),IFNULL(b.UID,0),mp.BalanceRole,mp.Comment,"
        "mp.UID,"
        "a.Name,e.Name,c.Name,b.Name from MeasuringPoint mp "
        "LEFT JOIN Account a ON a.UID=mp.AccountUID "
        "LEFT JOIN EProvider e ON e.UID=mp.EProviderUID "
        "LEFT JOIN CustomGroup c ON c.UID=mp.CustomGroupUID "
        "LEFT JOIN Balance b ON b.UID=mp.BalanceUID "
        "WHERE mp.CtrUID=" +
        SqlInt(ctrUid));
    std::vector<MeterRow> rows;
    for (; !table->AtEnd(); table->Next()) {
        MeterRow row;
        for (const int column : {0, 1, 2, 3, 4, 9, 10}) {
            row.cells[column] = StoredTextDecodeOr(table->FieldText(column), mp_texts::kNull);
        }
        for (int column = kColAccount; column <= kColBalance; ++column) {
            const int64_t uid = table->FieldInt64(column);
            row.BoundUid(column) = uid;
            row.cells[column] =
                uid != 0 ? StoredTextDecode(table->FieldText(column + 7)) : mp_texts::kNull;
        }
        row.uid = table->FieldInt64(11);
        rows.push_back(std::move(row));
    }
    return rows;
}

std::string MeterUpdateSql(const MeterRow& row) {
    return "UPDATE MeasuringPoint set Name           = " + TextValue(row.cells[kColName]) +
           ", MeterLocation  = " + TextValue(row.cells[kColLocation]) +
           ", AccountUID     = " + SqlInt(row.BoundUid(kColAccount)) +
           ", EProviderUID   = " + SqlInt(row.BoundUid(kColProvider)) +
           ", CustomGroupUID = " + SqlInt(row.BoundUid(kColCategory)) +
           ", BalanceUID     = " + SqlInt(row.BoundUid(kColBalance)) +
           ", BalanceRole    = " + TextValue(row.cells[kColRole]) +
           ", Comment        = " + TextValue(row.cells[kColComment]) +
           " WHERE UID      = " + SqlInt(row.uid);
}

int SaveChangedRows(storage::TSQLiteDatabase& db, std::vector<MeterRow>& rows) {
    int saved = 0;
    for (MeterRow& row : rows) {
        if (!row.changed) {
            continue;
        }
        db.ExecuteSql(MeterUpdateSql(row));
        row.changed = false;
        ++saved;
    }
    return saved;
}

std::vector<Row> ChooserItems(storage::TSQLiteDatabase& db, int column) {
    if (column == kColRole) {
        return {{0, "S"}, {0, "M"}};
    }
    if (column < kColAccount || column > kColBalance) {
        return {};
    }
    std::vector<Row> items = QueryRows(
        db, std::string("SELECT UID,") + "Name" + " from " + kBoundTables[column - kColAccount]);
    base::SortByTextNoCase(items);
    return items;
}

bool IsCommandTarget(const std::string& address) {
    return address.size() <= 200 &&
           address.find_first_of(std::string("/\\:\0", 4)) == std::string::npos &&
           address.find("..") == std::string::npos;
}

MeterCommandOutcome QueueMeterCommand(storage::TSQLiteDatabase& db,
                                      const std::filesystem::path& programDir, MeterCommand command,
                                      int64_t ctrUid, int64_t measuringPointUid, bool altHeld) {
    if (ctrUid == 0) {
        return {};
    }
    auto ctr = db.QueryTable("SELECT ID from CTR WHERE UID=" + SqlInt(ctrUid));
    if (ctr->AtEnd()) {
        return {};
    }
    const std::string ctrId = ctr->FieldText(0);
    auto point = db.QueryTable("SELECT MeterADDR from MeasuringPoint WHERE UID=" +
                               SqlInt(measuringPointUid));
    if (point->AtEnd()) {
        return {};
    }
    // The address as stored: the concentrator echoes it back, and the command results compare
    // it with the stored column as it is.
    const std::string target = altHeld ? std::string(mp_texts::kAnyMeter) : point->FieldText(0);
    if (!IsCommandTarget(target)) {
        return {mp_texts::kBadAddress, {}};
    }
    if (command == MeterCommand::Refresh) {
        link::QueueRefreshMeter(programDir, ctrId, target);
        return {{}, "RefreshMeter_" + target + ".xml"};
    }
    link::QueueDeleteMeter(programDir, ctrId, target);
    return {{}, "DeleteMeter_" + target + ".xml"};
}

}  // namespace zb::admin
