// inbound_bench: how fast received files change the database.
//
// 1. A result file of 100,000 answers (10,000 meters x 10 requests: ZARNIC reads of a number
//    and of a function table, a write, archive reads, and plain requests) is handed to the
//    importers' handler as the link would hand it, against a database of 100,000 measuring
//    points, then applied again from its text alone. Parsing, look-ups, decoding through the
//    base plug-in and the one transaction are all inside the measured time. The growth of
//    ZarnicBox.db through the first import, per answer.
// 2. The same BigData rows are then inserted straight through SQLite into a database of the
//    same schema, in one transaction: once with one prepared statement and bound values (the
//    rate a store of these rows cannot beat), once as SQL text per row (prepare, step, finalize).
// 3. A meter list of 10,000 meters, imported as new meters, again as known ones, and as
//    unassigned points that the concentrator claims. With --lists N only this, N rounds (on
//    N concentrators), with the medians.
// 4. With --memory MB: the memory a result file of about that size adds while the handler
//    applies it (peak resident size above the level before, the file's own bytes not counted).
// 5. With --rounds N: after 1 and 2, N rounds of the import through the handler and the
//    bound-insert reference in turn, each into empty tables, with the ratio per round.
//
// Usage: inbound_bench [--memory MB | --lists N | --rounds N]   (prints the figures; no pass/fail)
#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <ctime>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "../result_file_data.h"
#include "base/program.h"
#include "devices/catalogue.h"
#include "inbound/inbound_context.h"
#include "inbound/meter_inventory.h"
#include "inbound/received_file_processor.h"
#include "inbound/result_file.h"
#include "link/mirror.h"
#include "storage/schema.h"
#include "storage/sqlite_database.h"
#include "storage/stored_text.h"
#include "xml/xml_tree.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using zb::storage::SqlInt;
using zb::storage::SqlText;

using zb::bench::Hex32;
using zb::bench::kMeters;
using zb::bench::kPoints;
using zb::bench::Meter;
using zb::bench::PrepareProgramDir;
using zb::bench::ResultFile;
using zb::bench::WriteText;

// The first address of the new meters of the meter lists, and of the unassigned points that the
// concentrator claims; each round of --lists takes the next 10,000 of each.
constexpr int kNewBase = kPoints;
constexpr int kClaimedBase = 20 * kPoints;

double Seconds(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double ThreadCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + now.tv_nsec / 1e9;
}

// Items per second of elapsed time, and per second of this thread's CPU time: on a machine
// shared with other work the second moves far less with the load (all the work measured runs
// in this thread; waits for the disk are not in it).
struct Rate {
    double wall = 0;
    double cpu = 0;
};

class Stopwatch {
  public:
    Rate RateOf(double items) const {
        return {items / Seconds(start_), items / (ThreadCpuSeconds() - cpuStart_)};
    }

  private:
    Clock::time_point start_ = Clock::now();
    double cpuStart_ = ThreadCpuSeconds();
};

std::string MeterList(int first) {
    std::string text = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<meters>\r\n";
    for (int m = 0; m < kMeters; ++m) {
        text += "  <meter address=\"" + Meter(first + m) +
                "\">\r\n"
                "    <var Name=\"0000.SerialNumber\" Value=\"0853455249414C" +
                Hex32(m).substr(0, 2) +
                "\"/>\r\n"
                "    <var Name=\"0000.Energy\" Value=\"" +
                Hex32(m) +
                "\"/>\r\n"
                "    <arch AVID=\"00000301\" Des=\"00000100A005000001000100001E0000\"/>\r\n"
                "    <syntax Value=\"ZARNIC\"/>\r\n"
                "  </meter>\r\n";
    }
    return text + "</meters>\r\n";
}

// The BigData rows of the database as complete INSERT statements.
std::vector<std::string> RowsAsSql(zb::storage::TSQLiteDatabase& db) {
    static const char* const kColumns =
        "WorkUID,TaskUID,DataVendorUID,DataVendorEntity,MeterADDR,VarName,OpCode,Result,"
        "LocalTime,MasterClock,Value,ArcType,ArcInterval,ArcOptions,FromPoint,ToPoint,"
        "LocalTimeStamp";
    auto table = db.QueryTable(std::string("SELECT ") + kColumns + " from BigData");
    std::vector<std::string> statements;
    statements.reserve(table->RowCount());
    for (; !table->AtEnd(); table->Next()) {
        std::string sql = std::string("INSERT into BigData (") + kColumns + ") values(";
        for (uint32_t c = 0; c < table->ColumnCount(); ++c) {
            sql += (c == 0 ? "'" : ",'") + table->FieldText(static_cast<int>(c)) + "'";
        }
        statements.push_back(sql + ")");
    }
    return statements;
}

sqlite3* RawDatabase(const fs::path& file) {
    fs::remove(file);
    sqlite3* db = nullptr;
    sqlite3_open(file.string().c_str(), &db);
    for (const char* create : zb::storage::kCreateTableStatements) {
        sqlite3_exec(db, create, nullptr, nullptr, nullptr);
    }
    sqlite3_exec(db, "CREATE INDEX ixBigDataWorkVendor ON BigData(WorkUID,DataVendorUID)", nullptr,
                 nullptr, nullptr);
    return db;
}

// A cell as stored: an integer, a text, or null.
struct RawCell {
    int type = SQLITE_NULL;
    int64_t integer = 0;
    std::string text;
};
constexpr int kBigDataColumns = 17;

// The BigData rows of a database file, cell by cell, read through SQLite itself.
std::vector<RawCell> RowsAsCells(const fs::path& file) {
    sqlite3* db = nullptr;
    sqlite3_open(file.string().c_str(), &db);
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db, "SELECT * from BigData", -1, &stmt, nullptr);
    std::vector<RawCell> cells;
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        for (int c = 0; c < kBigDataColumns; ++c) {
            RawCell cell;
            cell.type = sqlite3_column_type(stmt, c);
            if (cell.type == SQLITE_INTEGER) {
                cell.integer = sqlite3_column_int64(stmt, c);
            } else if (cell.type != SQLITE_NULL) {
                cell.type = SQLITE_TEXT;
                cell.text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, c));
            }
            cells.push_back(std::move(cell));
        }
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return cells;
}

// The same rows through one prepared INSERT with bound values, in one transaction.
Rate BoundInsertRate(const fs::path& file, const std::vector<RawCell>& cells) {
    sqlite3* db = RawDatabase(file);
    const Stopwatch stopwatch;
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db, "INSERT into BigData values(?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)", -1,
                       &stmt, nullptr);
    for (size_t row = 0; row < cells.size(); row += kBigDataColumns) {
        for (int c = 0; c < kBigDataColumns; ++c) {
            const RawCell& cell = cells[row + c];
            if (cell.type == SQLITE_INTEGER) {
                sqlite3_bind_int64(stmt, c + 1, cell.integer);
            } else if (cell.type == SQLITE_TEXT) {
                sqlite3_bind_text(stmt, c + 1, cell.text.data(), static_cast<int>(cell.text.size()),
                                  SQLITE_STATIC);
            } else {
                sqlite3_bind_null(stmt, c + 1);
            }
        }
        if (sqlite3_step(stmt) != SQLITE_DONE) {
            std::fprintf(stderr, "bound insert failed: %s\n", sqlite3_errmsg(db));
            std::exit(1);
        }
        sqlite3_reset(stmt);
    }
    sqlite3_finalize(stmt);
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    const Rate rate = stopwatch.RateOf(static_cast<double>(cells.size() / kBigDataColumns));
    sqlite3_close(db);
    return rate;
}

double RawInsertRate(const fs::path& file, const std::vector<std::string>& statements) {
    sqlite3* db = RawDatabase(file);
    const auto start = Clock::now();
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    for (const std::string& sql : statements) {
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()), &stmt, nullptr) !=
                SQLITE_OK ||
            sqlite3_step(stmt) != SQLITE_DONE) {
            std::fprintf(stderr, "raw insert failed: %s\n", sqlite3_errmsg(db));
            std::exit(1);
        }
        sqlite3_finalize(stmt);
    }
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    const double seconds = Seconds(start);
    sqlite3_close(db);
    return statements.size() / seconds;
}

// Resident and peak resident size of this process in kB (/proc/self/status).
long StatusKb(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string prefix = std::string(field) + ":";
    while (std::getline(status, line)) {
        if (line.rfind(prefix, 0) == 0) {
            return std::atol(line.c_str() + prefix.size());
        }
    }
    return -1;
}

// Forgets the peak resident size, so VmHWM measures from now on.
void ResetPeak() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

// One round of meter lists: 10,000 new meters on a concentrator, the same list again (known
// meters), and a list of 10,000 unassigned points that the concentrator claims. Round r uses the
// concentrator 00A2 + r (which holds about 1,100 points of its own) and the r-th 10,000
// addresses of each kind. Each list is handed over as the link hands it: spooled in the mirror
// and flushed while it was received (before the clock starts), renamed into place by the
// importer. Rates in meters per second of elapsed time and per second of this thread's CPU time.
struct ListRates {
    Rate added;
    Rate known;
    Rate claimed;
};

void WriteFlushed(const fs::path& path, const std::string& bytes) {
    WriteText(path, bytes);
    const int fd = open(path.c_str(), O_RDONLY);
    fsync(fd);
    close(fd);
}

ListRates MeterListRound(zb::inbound::ReceivedFileProcessor& processor, const fs::path& dir,
                         int round) {
    char ctrId[16];
    std::snprintf(ctrId, sizeof ctrId, "%04X", 0xA2 + round);
    zb::link::ReceivedFile file;
    file.ctrId = ctrId;
    file.kind = zb::link::ReceivedKind::MeterList;
    file.linkPath = "ROOT\\INFO\\METERS\\meters.xml";
    file.fileName = "meters.xml";
    zb::link::CreateMirrorFolders(dir, ctrId);
    file.mirrorDir = zb::link::MirrorDir(dir, ctrId);
    file.mirrorPath = *zb::link::MapLinkPath(file.mirrorDir, file.linkPath);
    file.spoolPath = file.mirrorDir / ".spool";
    const auto rate = [&](const std::string& list) {
        WriteFlushed(file.spoolPath, list);
        file.bytes = list;
        const Stopwatch stopwatch;
        processor.HandleReceivedFile(file);
        return stopwatch.RateOf(kMeters);
    };
    ListRates rates;
    const std::string list = MeterList(kNewBase + round * kMeters);
    rates.added = rate(list);
    rates.known = rate(list);
    rates.claimed = rate(MeterList(kClaimedBase + round * kMeters));
    return rates;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string option = argc == 3 ? argv[1] : "";
    const int memoryMb = option == "--memory" ? std::atoi(argv[2]) : 0;
    const int listRounds = option == "--lists" ? std::clamp(std::atoi(argv[2]), 1, 90) : 0;
    const int resultRounds = option == "--rounds" ? std::clamp(std::atoi(argv[2]), 1, 50) : 0;
    const fs::path dir =
        fs::temp_directory_path() / ("zb-inbound-bench-" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    PrepareProgramDir(dir);
    zb::devices::LoadCatalogue(dir);

    bool created = false;
    zb::storage::SetDatabase(
        zb::storage::OpenProgramDatabase((dir / "ZarnicBox.db").string(), created));
    auto& db = zb::storage::Database();

    // 100,000 measuring points: the file's 10,000 meters on concentrator 00A1, the rest on
    // ninety others. The meters of the first list are new; those of the second were registered
    // by an operator and are still unassigned.
    {
        zb::storage::TSQLiteTransaction transaction(db);
        zb::storage::TSQLiteStatement ctr(db, "INSERT into CTR (ID) values(?)");
        for (int c = 0; c < 91; ++c) {
            char id[8];
            std::snprintf(id, sizeof id, "%04X", 0xA1 + c);
            ctr.BindStoredText(1, id).Execute();
        }
        zb::storage::TSQLiteStatement point(
            db, "INSERT into MeasuringPoint (CtrUID,MeterADDR,CustomGroupUID) values(?,?,'0')");
        for (int p = 0; p < kPoints; ++p) {
            const int ctr = p < kMeters ? 1 : 2 + (p % 90);
            point.BindInt(1, ctr).BindStoredText(2, Meter(p)).Execute();
        }
        for (int m = 0; m < std::max(1, listRounds) * kMeters; ++m) {
            point.BindInt(1, 0).BindStoredText(2, Meter(kClaimedBase + m)).Execute();
        }
        transaction.Commit();
    }

    // About 1.21 MB per 1,000 meters of ten answers.
    const std::string results = ResultFile(memoryMb > 0 ? memoryMb * 100000 / 121 : kMeters);
    zb::inbound::ReceivedFileProcessor processor(dir);
    zb::link::ReceivedFile file;
    file.ctrId = "00A1";
    file.linkPath = "ROOT\\WORK\\OUTBOX\\r-1.xml";
    file.fileName = "r-1.xml";
    file.kind = zb::link::ReceivedKind::Result;
    file.mirrorDir = zb::link::MirrorDir(dir, "00A1");
    file.mirrorPath = *zb::link::MapLinkPath(file.mirrorDir, file.linkPath);
    file.bytes = results;

    // The result file applied through the importers' handler, as the server applies it (parsed
    // as it is read, each task applied and freed once read, with the record of processed files),
    // and through ProcessResultText alone: one transaction each, the same rows.
    auto throughHandler = [&] { processor.HandleReceivedFile(file); };
    auto fromText = [&] {
        zb::inbound::InboundContext context(db, dir);
        zb::storage::TSQLiteTransaction transaction(db);
        zb::inbound::ProcessResultText(context, results, file.ctrId);
        transaction.Commit();
    };
    if (memoryMb > 0) {
        for (const bool text : {true, false}) {
            db.ExecuteSql("DELETE from BigData");
            const long before = StatusKb("VmRSS");
            ResetPeak();
            const auto start = Clock::now();
            text ? fromText() : throughHandler();
            const double seconds = Seconds(start);
            const long added = StatusKb("VmHWM") - before;
            std::printf(
                "result file of %.1f MB %s: %.2f s; memory above the level before: %.1f MB peak "
                "(%.2f x the file)\n",
                results.size() / 1e6, text ? "from its text      " : "through the handler", seconds,
                added / 1024.0, added * 1024.0 / results.size());
        }
        zb::storage::SetDatabase(nullptr);
        fs::remove_all(dir);
        return 0;
    }

    if (listRounds > 0) {
        std::vector<double> rates[6];
        for (int round = 0; round < listRounds; ++round) {
            const ListRates r = MeterListRound(processor, dir, round);
            std::printf(
                "meter lists, round %d: new %.0f, known %.0f, claimed %.0f meters/s (per CPU "
                "second: %.0f, %.0f, %.0f)\n",
                round + 1, r.added.wall, r.known.wall, r.claimed.wall, r.added.cpu, r.known.cpu,
                r.claimed.cpu);
            const Rate* each[] = {&r.added, &r.known, &r.claimed};
            for (int k = 0; k < 3; ++k) {
                rates[k].push_back(each[k]->wall);
                rates[3 + k].push_back(each[k]->cpu);
            }
        }
        std::printf(
            "medians of %d rounds: new %.0f, known %.0f, claimed %.0f meters/s (per CPU second: "
            "%.0f, %.0f, %.0f)\n",
            listRounds, Median(rates[0]), Median(rates[1]), Median(rates[2]), Median(rates[3]),
            Median(rates[4]), Median(rates[5]));
        zb::storage::SetDatabase(nullptr);
        fs::remove_all(dir);
        return 0;
    }

    // The growth of ZarnicBox.db (its pages, indexes included) through the first import.
    const auto databaseBytes = [&db] {
        return db
            .QueryTable(
                "SELECT page_count*page_size from pragma_page_count(), "
                "pragma_page_size()")
            ->FieldInt64(0);
    };
    // The first import fills an empty BigData, as the reference below fills an empty table; the
    // second one fills the pages the first one's rows left free.
    const int64_t bytesBefore = databaseBytes();
    const Stopwatch handlerStopwatch;
    throughHandler();
    const int64_t answers = db.QueryTable("SELECT count(*) from BigData")->FieldInt64(0);
    const Rate handlerRate = handlerStopwatch.RateOf(static_cast<double>(answers));
    const double bytesPerAnswer =
        static_cast<double>(databaseBytes() - bytesBefore) / std::max<int64_t>(1, answers);
    db.ExecuteSql("DELETE from BigData");
    const Stopwatch textStopwatch;
    fromText();
    const Rate answerRate = textStopwatch.RateOf(static_cast<double>(answers));

    const std::vector<std::string> statements = RowsAsSql(db);
    const std::vector<RawCell> cells = RowsAsCells(dir / "ZarnicBox.db");
    const Rate boundRate = BoundInsertRate(dir / "raw.db", cells);
    const double rawRate = RawInsertRate(dir / "raw.db", statements);

    std::printf(
        "result file of %lld answers (%.1f MB) through the handler, into an empty BigData: %.0f "
        "answers/s (per CPU second: %.0f)\n",
        static_cast<long long>(answers), results.size() / 1e6, handlerRate.wall, handlerRate.cpu);
    std::printf(
        "the same from its text (ProcessResultText), into the pages left free: %.0f answers/s "
        "(per CPU second: %.0f)\n",
        answerRate.wall, answerRate.cpu);
    std::printf(
        "SQLite alone, same rows, one prepared statement, bound values: %.0f rows/s (per CPU "
        "second: %.0f)\n",
        boundRate.wall, boundRate.cpu);
    std::printf("SQLite alone, same rows as SQL text per row: %.0f rows/s\n", rawRate);
    std::printf(
        "ratio to bound inserts (goal: at least 0.50): through the handler %.2f, by CPU time "
        "%.2f; from its text %.2f, by CPU time %.2f; to SQL text: %.2f\n",
        handlerRate.wall / boundRate.wall, handlerRate.cpu / boundRate.cpu,
        answerRate.wall / boundRate.wall, answerRate.cpu / boundRate.cpu,
        handlerRate.wall / rawRate);
    std::printf("database growth: %.0f bytes per answer, %.0f MB per million answers\n",
                bytesPerAnswer, bytesPerAnswer);

    if (resultRounds > 0) {
        // Rounds of the import through the handler and the reference in turn, both into empty
        // tables of a freshly compacted file, so that each pair sees the same conditions and
        // the same moment of the machine's load.
        std::vector<double> ratios;
        std::vector<double> cpuRatios;
        for (int round = 0; round < resultRounds; ++round) {
            db.ExecuteSql("DELETE from BigData");
            db.ExecuteSql(std::string("DELETE from ") + zb::storage::kProcessedResultFileTable);
            db.ExecuteSql("VACUUM");
            const Stopwatch stopwatch;
            throughHandler();
            const Rate ours = stopwatch.RateOf(static_cast<double>(answers));
            const Rate reference = BoundInsertRate(dir / "raw.db", cells);
            ratios.push_back(ours.wall / reference.wall);
            cpuRatios.push_back(ours.cpu / reference.cpu);
            std::printf(
                "round %d: through the handler %.0f answers/s (per CPU second %.0f), bound "
                "inserts %.0f rows/s (%.0f): ratio %.2f, by CPU time %.2f\n",
                round + 1, ours.wall, ours.cpu, reference.wall, reference.cpu, ratios.back(),
                cpuRatios.back());
        }
        std::sort(ratios.begin(), ratios.end());
        std::sort(cpuRatios.begin(), cpuRatios.end());
        std::printf(
            "ratio per round, min / median / max: %.2f / %.2f / %.2f; by CPU time %.2f / %.2f / "
            "%.2f\n",
            ratios.front(), Median(ratios), ratios.back(), cpuRatios.front(), Median(cpuRatios),
            cpuRatios.back());
        zb::storage::SetDatabase(nullptr);
        fs::remove_all(dir);
        return 0;
    }

    const ListRates rates = MeterListRound(processor, dir, 0);
    std::printf(
        "meter list of %d meters (%.1f MB): new %.0f meters/s, known %.0f meters/s, claimed %.0f "
        "meters/s (per CPU second: %.0f, %.0f, %.0f)\n",
        kMeters, MeterList(kNewBase).size() / 1e6, rates.added.wall, rates.known.wall,
        rates.claimed.wall, rates.added.cpu, rates.known.cpu, rates.claimed.cpu);

    zb::storage::SetDatabase(nullptr);
    fs::remove_all(dir);
    return 0;
}
