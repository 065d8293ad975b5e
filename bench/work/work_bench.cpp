// work_bench: how long an upload of one work to many concentrators takes.
//
// A work of 3 requests (two ZARNIC, one M-230) goes to 1,000 concentrators of 100 measuring
// points each (100,000 points), every concentrator and every meter chosen, so that each work
// file names its meters from the database (one statement per concentrator). Printed: the time
// of building every concentrator's work file, and of the whole upload (Work row, files written
// into the 1,000 mirror inboxes, Work row completed).
//
// Usage: work_bench [concentrators] [points-per-concentrator]   (prints the figures)
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "link/mirror.h"
#include "storage/schema.h"
#include "storage/sqlite_database.h"
#include "storage/stored_text.h"
#include "work/dispatch.h"
#include "work/work_library.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using zb::storage::SqlInt;
using zb::storage::SqlText;

double Seconds(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

std::string Hex4(int value) {
    char text[16];
    std::snprintf(text, sizeof text, "%04X", value);
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    const int ctrs = argc > 1 ? std::atoi(argv[1]) : 1000;
    const int points = argc > 2 ? std::atoi(argv[2]) : 100;
    const fs::path dir = fs::temp_directory_path() / ("work_bench." + std::to_string(::getpid()));
    fs::create_directories(dir);
    bool created = false;
    auto db = zb::storage::OpenProgramDatabase((dir / "ZarnicBox.db").string(), created);
    db->ExecuteSql("PRAGMA synchronous=OFF");

    zb::work::DispatchChoice choice{.allConcentrators = true, .allMeters = true, .meterItems = 1};
    {
        zb::storage::TSQLiteTransaction fill(*db);
        for (int c = 0; c < ctrs; ++c) {
            const std::string id = Hex4(c + 1);
            zb::link::CreateMirrorFolders(dir, id);
            const int64_t ctr = db->InsertSql("INSERT into CTR (ID,Comment) values(" + SqlText(id) +
                                              "," + SqlText("") + ")");
            choice.concentrators.push_back(ctr);
            for (int p = 0; p < points; ++p) {
                // One meter in fifty speaks a syntax the work does not use: explicit lists.
                const char* syntax = p % 50 == 49 ? "M-200" : (p % 2 == 0 ? "ZARNIC" : "M-230");
                db->ExecuteSql(
                    "INSERT into MeasuringPoint (MeterADDR,Syntax,CtrUID,CustomGroupUID) values(" +
                    SqlText(id + Hex4(p)) + "," + SqlText(syntax) + "," + SqlInt(ctr) + "," +
                    SqlInt(0) + ")");
            }
        }
        choice.workLibUid = zb::work::InsertWork(*db, zb::work::WorkRow({"Bench"}));
        zb::work::InsertTask(*db, choice.workLibUid,
                             zb::work::TaskRow({.var = "0001.EnergyImport"}));
        zb::work::InsertTask(*db, choice.workLibUid,
                             zb::work::TaskRow({.var = "0001.EnergyImport", .opCode = "AR"}));
        zb::work::InsertTask(*db, choice.workLibUid,
                             zb::work::TaskRow({.syntax = "M-230", .var = "P1", .value = "1"}));
        fill.Commit();
    }

    auto start = Clock::now();
    const auto source = zb::work::ReadWorkSource(*db, choice.workLibUid);
    size_t bytes = 0;
    int64_t meters = 0;
    for (const int64_t ctr : choice.concentrators) {
        const auto file = zb::work::BuildWorkFile(*db, *source, choice, true, true, 0, ctr);
        bytes += file.text.size();
        meters += file.meters;
    }
    const double build = Seconds(start);

    start = Clock::now();
    const auto outcome = zb::work::UploadWork(*db, dir, 1, choice);
    const double upload = Seconds(start);

    std::printf("concentrators %d, points %d, meters targeted %lld, files %d, %.1f MB\n", ctrs,
                ctrs * points, static_cast<long long>(meters), outcome.filesWritten,
                static_cast<double>(bytes) / 1e6);
    std::printf("BuildWorkFile for all concentrators: %.3f s\n", build);
    std::printf("whole upload:                        %.3f s\n", upload);
    fs::remove_all(dir);
    return outcome.filesWritten == ctrs ? 0 : 1;
}
