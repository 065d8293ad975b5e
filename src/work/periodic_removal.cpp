#include "work/periodic_removal.h"

#include <algorithm>

#include "base/text.h"
#include "link/mirror.h"
#include "link/service_command.h"
#include "storage/stored_text.h"
#include "work/work_xml.h"

namespace zb::work {
namespace {

namespace fs = std::filesystem;
using storage::StoredTextDecode;

// The "*.xml" files of a folder, by name; none when the folder is missing.
std::vector<std::string> PeriodicFiles(const fs::path& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.size() > 4 && base::EqualsNoCase(name.substr(name.size() - 4), ".xml") &&
            it->is_regular_file(ec)) {
            names.push_back(name);
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

// The name of the library work a file was dispatched from; none for a file without a Work row
// or whose library work was deleted.
std::optional<std::string> LibraryWorkName(storage::TSQLiteDatabase& db,
                                           const std::string& fileName) {
    auto table = db.QueryTable(
        "SELECT l.Name FROM Work w JOIN WorkLib l ON l.UID = w.WorkLibUID WHERE w.FileName=" +
        storage::SqlText(fileName) + " ORDER BY w.UID LIMIT 1");
    if (table->RowCount() == 0) {
        return std::nullopt;
    }
    return StoredTextDecode(table->FieldText(0));
}

}  // namespace

PeriodicWorks FillPeriodicWorks(storage::TSQLiteDatabase& db, const fs::path& programDir) {
    PeriodicWorks works;
    auto ctrs = db.QueryTable("SELECT UID,ID,Comment from CTR");
    std::set<std::string> names;
    for (; !ctrs->AtEnd(); ctrs->Next()) {
        PeriodicCtr ctr{ctrs->FieldInt64(0), StoredTextDecode(ctrs->FieldText(1)), {}};
        ctr.text = NodeText(ctr.id, StoredTextDecode(ctrs->FieldText(2)));
        const fs::path folder = link::MirrorDir(programDir, ctr.id) / "ROOT" / "WORK" / "PERIODIC";
        for (const std::string& file : PeriodicFiles(folder)) {
            if (const auto name = LibraryWorkName(db, file)) {
                works.entries.push_back({*name, file, ctr.uid});
                names.insert(*name);
            }
        }
        works.concentrators.push_back(std::move(ctr));
    }
    works.workNames.assign(names.begin(), names.end());
    return works;
}

std::set<int64_t> ConcentratorsRunning(const PeriodicWorks& works,
                                       const std::set<std::string>& workNames) {
    std::set<int64_t> uids;
    for (const auto& entry : works.entries) {
        if (workNames.count(entry.workName) != 0) {
            uids.insert(entry.ctrUid);
        }
    }
    return uids;
}

std::set<std::string> WorksOn(const PeriodicWorks& works, const std::set<int64_t>& ctrUids) {
    std::set<std::string> names;
    for (const auto& entry : works.entries) {
        if (ctrUids.count(entry.ctrUid) != 0) {
            names.insert(entry.workName);
        }
    }
    return names;
}

std::vector<Withdrawal> PlanWithdrawals(const PeriodicWorks& works,
                                        const std::vector<int64_t>& ctrUids,
                                        const std::vector<std::string>& workNames) {
    std::vector<Withdrawal> plan;
    for (const int64_t ctrUid : ctrUids) {
        const auto ctr = std::find_if(works.concentrators.begin(), works.concentrators.end(),
                                      [&](const PeriodicCtr& c) { return c.uid == ctrUid; });
        if (ctr == works.concentrators.end()) {
            continue;
        }
        for (const std::string& name : workNames) {
            const auto entry = std::find_if(
                works.entries.begin(), works.entries.end(),
                [&](const auto& e) { return e.ctrUid == ctrUid && e.workName == name; });
            if (entry != works.entries.end()) {
                plan.push_back({ctr->id, entry->fileName});
            }
        }
    }
    return plan;
}

void QueueWithdrawals(const fs::path& programDir, const std::vector<Withdrawal>& withdrawals) {
    for (const auto& w : withdrawals) {
        link::QueueDeleteFile(programDir, w.ctrId, w.fileName);
    }
}

}  // namespace zb::work
