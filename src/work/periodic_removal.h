#pragma once
// Withdrawal of periodic works. A concentrator keeps its periodic works as files in its
// WORK\PERIODIC folder, which the link copies into the mirror. The page lists them by the name
// of the library work each file was dispatched from (the Work row with that file name records
// it in WorkLibUID), and queues DeleteFile commands for chosen works and concentrators.
#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "storage/sqlite_database.h"

namespace zb::work {

// A periodic work file found in a concentrator's mirror.
struct PeriodicEntry {
    std::string workName;  // Name of the library work
    std::string fileName;  // "w-<16 hexadecimal digits>.xml"
    int64_t ctrUid = 0;
};

// A concentrator of the list: "ID" or "ID [Comment]".
struct PeriodicCtr {
    int64_t uid = 0;
    std::string id;
    std::string text;
};

struct PeriodicWorks {
    std::vector<PeriodicCtr> concentrators;  // every CTR row, in database order
    std::vector<PeriodicEntry> entries;      // concentrator by concentrator, files by name
    std::vector<std::string> workNames;      // distinct names, sorted
};

// Reads every mirror's ROOT/WORK/PERIODIC folder. A file without a Work row, or whose library
// work is gone, is not listed; a missing folder lists nothing for its concentrator.
PeriodicWorks FillPeriodicWorks(storage::TSQLiteDatabase& db,
                                const std::filesystem::path& programDir);

// The selection rules of the two lists: the concentrators that hold one of the works, and the
// works held by one of the concentrators.
std::set<int64_t> ConcentratorsRunning(const PeriodicWorks& works,
                                       const std::set<std::string>& workNames);
std::set<std::string> WorksOn(const PeriodicWorks& works, const std::set<int64_t>& ctrUids);

// A DeleteFile command to queue: the concentrator and the periodic file to delete.
struct Withdrawal {
    std::string ctrId;
    std::string fileName;
};
// For every chosen concentrator (in list order) and chosen work (in list order) that it holds:
// the first file of that work found on the concentrator. Pairs without such a file give no
// command: a work's name is never sent as a file to delete.
std::vector<Withdrawal> PlanWithdrawals(const PeriodicWorks& works,
                                        const std::vector<int64_t>& ctrUids,
                                        const std::vector<std::string>& workNames);
// Writes "DeleteFile_<file>.xml" into each concentrator's mirror inbox; raises
// link::EInOutError when a command cannot be written (those written before it stay).
void QueueWithdrawals(const std::filesystem::path& programDir,
                      const std::vector<Withdrawal>& withdrawals);

}  // namespace zb::work
