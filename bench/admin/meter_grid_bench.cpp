// meter_grid_bench: how long the measuring points register takes to fill its grid when a
// concentrator with 5,000 measuring points is chosen, each point bound to an account, a
// provider, a category and a balance group (15,000 more points belong to other concentrators).
//
// Two ways are timed against the same database file:
// - per row: the points' statement, then one "SELECT Name from <table> WHERE UID=..." per
//   binding and row (20,000 statements for 5,000 points), as the register first did;
// - admin::LoadMeterRows, which resolves the bindings inside the points' statement.
// Both must give the very same rows; the bench stops with exit code 1 when they do not.
//
// Usage: meter_grid_bench [points]   (prints the best and the median of 7 runs of each)
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "admin/measuring_points.h"
#include "storage/schema.h"
#include "storage/sqlite_database.h"
#include "storage/stored_text.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using zb::admin::MeterRow;
using zb::storage::SqlInt;
using zb::storage::SqlText;
using zb::storage::TSQLiteDatabase;

constexpr int kRuns = 7;
constexpr const char* kTables[4] = {"Account", "EProvider", "CustomGroup", "Balance"};

// The grid as the register filled it at first: one statement per binding and row.
std::vector<MeterRow> LoadPerRow(TSQLiteDatabase& db, int64_t ctrUid) {
    using zb::storage::StoredTextDecode;
    using zb::storage::StoredTextDecodeOr;
    auto table = db.QueryTable(
        "SELECT MeterADDR,MeterSN,Syntax,Name,MeterLocation,AccountUID,EProviderUID,"
        "CustomGroupUID,BalanceUID,BalanceRole,Comment,UID from MeasuringPoint WHERE CtrUID=" +
        SqlInt(ctrUid));
    std::vector<MeterRow> rows;
    for (; !table->AtEnd(); table->Next()) {
        MeterRow row;
        for (const int column : {0, 1, 2, 3, 4, 9, 10}) {
            row.cells[column] = StoredTextDecodeOr(table->FieldText(column), "<NULL>");
        }
        for (int column = 5; column <= 8; ++column) {
            auto name = db.QueryTable(std::string("SELECT Name from ") + kTables[column - 5] +
                                      " WHERE UID=" + SqlInt(table->FieldInt64(column)));
            row.BoundUid(column) = name->AtEnd() ? 0 : table->FieldInt64(column);
            row.cells[column] = name->AtEnd() ? "<NULL>" : StoredTextDecode(name->FieldText(0));
        }
        row.uid = table->FieldInt64(11);
        rows.push_back(std::move(row));
    }
    return rows;
}

void Fill(TSQLiteDatabase& db, int points) {
    zb::storage::TSQLiteTransaction transaction(db);
    const int counts[4] = {points, 40, 12, 200};
    for (int t = 0; t < 4; ++t) {
        for (int i = 1; i <= counts[t]; ++i) {
            db.ExecuteSql(std::string("INSERT into ") + kTables[t] + " (Name) values(" +
                          SqlText(std::string(kTables[t]) + " №" + std::to_string(i)) + ")");
        }
    }
    for (int ctr = 1; ctr <= 4; ++ctr) {
        db.ExecuteSql("INSERT into CTR (ID,Comment) values(" +
                      SqlText("00A" + std::to_string(ctr)) + "," + SqlText("") + ")");
    }
    // Concentrator 1 gets `points` points; three others share three times as many.
    for (int i = 0; i < 4 * points; ++i) {
        const int ctr = i < points ? 1 : 2 + i % 3;
        db.ExecuteSql(
            "INSERT into MeasuringPoint (CtrUID,MeterADDR,MeterSN,Syntax,Name,MeterLocation,"
            "AccountUID,EProviderUID,CustomGroupUID,BalanceUID,BalanceRole,Comment) values(" +
            SqlInt(ctr) + "," + SqlText(std::to_string(10000000 + i)) + "," +
            SqlText(std::to_string(i)) + "," + SqlText("ZARNIC") + "," +
            SqlText("Точка " + std::to_string(i)) + "," + SqlText("ТП-" + std::to_string(i % 50)) +
            "," + SqlInt(i % points + 1) + "," + SqlInt(i % 40 + 1) + "," + SqlInt(i % 12 + 1) +
            "," + SqlInt(i % 200 + 1) + "," + SqlText(i % 2 ? "S" : "M") + "," + SqlText("") + ")");
    }
    transaction.Commit();
}

template <class Load>
std::vector<double> Time(Load load, std::vector<MeterRow>& rows) {
    std::vector<double> ms;
    for (int run = 0; run < kRuns; ++run) {
        const auto start = Clock::now();
        rows = load();
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    std::sort(ms.begin(), ms.end());
    return ms;
}

bool Same(const std::vector<MeterRow>& a, const std::vector<MeterRow>& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i].uid != b[i].uid || a[i].cells != b[i].cells || a[i].bound != b[i].bound) {
            return false;
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const int points = argc > 1 ? std::atoi(argv[1]) : 5000;
    const fs::path dir =
        fs::temp_directory_path() / ("meter_grid_bench-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    int exitCode = 0;
    {
        bool created = false;
        auto db = zb::storage::OpenProgramDatabase((dir / "ZarnicBox.db").string(), created);
        Fill(*db, points);
        std::vector<MeterRow> before, after;
        const auto perRow = Time([&] { return LoadPerRow(*db, 1); }, before);
        const auto joined = Time([&] { return zb::admin::LoadMeterRows(*db, 1); }, after);
        std::printf("grid of %d points (%zu rows), best / median of %d runs:\n", points,
                    after.size(), kRuns);
        std::printf("  per row, one statement per binding: %8.1f / %8.1f ms\n", perRow.front(),
                    perRow[kRuns / 2]);
        std::printf("  LoadMeterRows, bindings joined:     %8.1f / %8.1f ms\n", joined.front(),
                    joined[kRuns / 2]);
        if (!Same(before, after)) {
            std::printf("the two ways gave different rows\n");
            exitCode = 1;
        }
    }
    fs::remove_all(dir);
    return exitCode;
}
