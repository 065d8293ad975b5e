// stats_bench: the statistics of one work over a large BigData table.
//
//   stats_bench [--rows N] [--works W] [--points P] [--db FILE] [--runs R]
//
// Builds (or reuses) a database of N BigData rows (default 10,000,000) spread over W works
// (default 100). The work shown has P measuring points (default 10,000) with three requests
// each: a third of the points answered every request DONE, a third answered every request with
// another result, a third never answered. Then times what "Показать" runs (the three lists),
// the answers of one meter, and the CSV export of the work, R times each, and prints the best
// and the median.
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

#include "stats/results_export.h"
#include "stats/work_stats.h"
#include "storage/schema.h"
#include "storage/sqlite_database.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

struct Options {
    int64_t rows = 10'000'000;
    int64_t works = 100;
    int64_t points = 10'000;
    fs::path db = "/dev/shm/zb_stats_bench.db";
    int runs = 5;
};

void Check(int rc, sqlite3* db, const char* what) {
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
        std::fprintf(stderr, "%s: %s\n", what, sqlite3_errmsg(db));
        std::exit(1);
    }
}

void Exec(sqlite3* db, const std::string& sql) {
    Check(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), db, sql.c_str());
}

// The rows the generator writes: the shown work's, and the same share for each other work.
int64_t ExpectedRows(const Options& o) {
    const int64_t shown = o.points / 3 * 2 * 3;
    return shown + (o.rows - shown) / std::max<int64_t>(1, o.works - 1) * (o.works - 1);
}

// The shown work is work 1; the other works share the remaining rows over the same points.
void Generate(const Options& o) {
    fs::remove(o.db);
    {
        zb::storage::TSQLiteDatabase schema(o.db.string());
        zb::storage::CreateSchema(schema);
    }
    sqlite3* db = nullptr;
    Check(sqlite3_open(o.db.string().c_str(), &db), db, "open");
    Exec(db, "PRAGMA journal_mode=OFF");
    Exec(db, "PRAGMA synchronous=OFF");
    Exec(db, "BEGIN");
    Exec(db, "INSERT INTO CTR (ID,Comment) VALUES ('00A1',''),('00B2','')");
    sqlite3_stmt* point = nullptr;
    Check(
        sqlite3_prepare_v2(db, "INSERT INTO MeasuringPoint (Name,MeterADDR,CtrUID) VALUES (?,?,?)",
                           -1, &point, nullptr),
        db, "prepare point");
    for (int64_t p = 1; p <= o.points; ++p) {
        char addr[24];
        std::snprintf(addr, sizeof addr, "%08llX", static_cast<unsigned long long>(p));
        const std::string name = "Point " + std::to_string(p);
        sqlite3_bind_text(point, 1, name.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(point, 2, addr, -1, SQLITE_TRANSIENT);
        sqlite3_bind_int64(point, 3, 1 + p % 2);
        Check(sqlite3_step(point), db, "insert point");
        sqlite3_reset(point);
    }
    sqlite3_finalize(point);
    Exec(db, "INSERT INTO WorkLib (Name) VALUES ('Bench')");
    for (int t = 1; t <= 3; ++t) {
        Exec(db, "INSERT INTO Task (WorkLibUID,Name) VALUES (1,'ZARNIC.0000.Energy" +
                     std::to_string(t) + "')");
    }
    std::string mpList;
    for (int64_t p = 1; p <= o.points; ++p) {
        mpList += std::to_string(p) + "<br/>";
    }
    for (int64_t w = 1; w <= o.works; ++w) {
        Exec(db,
             "INSERT INTO Work (FileName,OperatorUID,MeterTotal,TaskCount,MPList,LocalTimeStamp,"
             "XML) VALUES ('w-" +
                 std::to_string(w) + ".xml',1," + std::to_string(o.points) + ",3,'" + mpList +
                 "'," + std::to_string(w * 3600) +
                 ",'&lt;root&gt;<br/>  &lt;workName "
                 "Value=&quot;Bench&quot;/&gt;<br/>&lt;/root&gt;')");
    }
    sqlite3_stmt* insert = nullptr;
    Check(sqlite3_prepare_v2(
              db,
              "INSERT INTO BigData (WorkUID,TaskUID,DataVendorUID,DataVendorEntity,MeterADDR,"
              "VarName,OpCode,Result,LocalTime,MasterClock,Value,LocalTimeStamp) "
              "VALUES (?,?,?,'MP',?,'0000.Energy','R',?,'','',?,?)",
              -1, &insert, nullptr),
          db, "prepare answer");
    auto add = [&](int64_t work, int64_t task, int64_t p, bool done) {
        char addr[24];
        std::snprintf(addr, sizeof addr, "%08llX", static_cast<unsigned long long>(p));
        sqlite3_bind_int64(insert, 1, work);
        sqlite3_bind_int64(insert, 2, task);
        sqlite3_bind_int64(insert, 3, p);
        sqlite3_bind_text(insert, 4, addr, -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 5, done ? "DONE" : "TIMEOUT", -1, SQLITE_STATIC);
        sqlite3_bind_text(insert, 6, done ? "12345.67" : "", -1, SQLITE_STATIC);
        sqlite3_bind_int64(insert, 7, work * 3600 + task);
        Check(sqlite3_step(insert), db, "insert answer");
        sqlite3_reset(insert);
    };
    // The shown work: points 1..P/3 all DONE, the next third all TIMEOUT, the rest silent.
    int64_t written = 0;
    for (int64_t p = 1; p <= o.points / 3 * 2; ++p) {
        for (int64_t t = 1; t <= 3; ++t, ++written) {
            add(1, t, p, p <= o.points / 3);
        }
    }
    const int64_t perWork = (o.rows - written) / std::max<int64_t>(1, o.works - 1);
    for (int64_t w = 2; w <= o.works; ++w) {
        for (int64_t i = 0; i < perWork; ++i) {
            add(w, 1 + i % 3, 1 + (i / 3) % o.points, i % 50 != 0);
        }
    }
    sqlite3_finalize(insert);
    Exec(db, "COMMIT");
    sqlite3_close(db);
    zb::storage::TSQLiteDatabase indexed(o.db.string());
    zb::storage::EnsureLookupIndexes(indexed);
}

int64_t RowCount(const fs::path& file) {
    zb::storage::TSQLiteDatabase db(file.string());
    return db.QueryTable("SELECT COUNT(*) FROM BigData")->FieldInt64(0);
}

void Time(const char* what, int runs, const std::function<void()>& action) {
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        action();
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    std::sort(ms.begin(), ms.end());
    std::printf("%-44s best %9.2f ms   median %9.2f ms\n", what, ms.front(), ms[ms.size() / 2]);
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string arg = argv[i];
        if (arg == "--rows") {
            o.rows = std::stoll(argv[i + 1]);
        } else if (arg == "--works") {
            o.works = std::stoll(argv[i + 1]);
        } else if (arg == "--points") {
            o.points = std::stoll(argv[i + 1]);
        } else if (arg == "--db") {
            o.db = argv[i + 1];
        } else if (arg == "--runs") {
            o.runs = std::stoi(argv[i + 1]);
        } else {
            std::fprintf(stderr, "unknown option %s\n", argv[i]);
            return 2;
        }
    }
    if (!fs::exists(o.db) || RowCount(o.db) != ExpectedRows(o)) {
        const auto start = Clock::now();
        Generate(o);
        std::printf(
            "generated %lld BigData rows in %.1f s (%s)\n", static_cast<long long>(RowCount(o.db)),
            std::chrono::duration<double>(Clock::now() - start).count(), o.db.string().c_str());
    }
    zb::storage::TSQLiteDatabase db(o.db.string());
    zb::stats::WorkMeters meters;
    Time("show a work (the three lists)", o.runs,
         [&] { meters = zb::stats::ReadWorkMeters(db, 1); });
    std::printf("  DONE = %zu, FAIL = %zu, UNKNOWN = %zu\n", meters.done.size(), meters.fail.size(),
                meters.unknown.size());
    Time("show a meter (its answers)", o.runs, [&] {
        zb::stats::ReadMeterResults(db, 1, meters.done.front().measuringPointUid,
                                    zb::stats::MeterList::Done);
    });
    size_t records = 0;
    const fs::path csv = o.db.string() + ".csv";
    Time("export the work to CSV (file)", o.runs, [&] {
        std::ofstream out(csv, std::ios::binary | std::ios::trunc);
        records = zb::stats::ExportWorkCsv(db, 1, out);
    });
    std::printf("  %zu records, %lld bytes\n", records, static_cast<long long>(fs::file_size(csv)));
    fs::remove(csv);
    return 0;
}
