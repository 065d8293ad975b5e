#include "work/dispatch.h"

#include <algorithm>

#include "base/clock.h"
#include "link/service_command.h"
#include "storage/sqlite_database.h"
#include "storage/stored_text.h"
#include "storage/time_stamp.h"

namespace zb::work {

using storage::SqlInt;
using storage::SqlText;
using storage::StoredTextDecode;

namespace {

std::vector<ListItem> QueryItems(storage::TSQLiteDatabase& db, const std::string& sql) {
    std::vector<ListItem> items;
    auto rows = db.QueryTable(sql);
    items.reserve(rows->RowCount());
    for (; !rows->AtEnd(); rows->Next()) {
        items.push_back({rows->FieldInt64(0), StoredTextDecode(rows->FieldText(1))});
    }
    return items;
}

bool AllFrom(const std::vector<bool>& selected, size_t first) {
    return std::all_of(selected.begin() + static_cast<std::ptrdiff_t>(first), selected.end(),
                       [](bool s) { return s; });
}

// The measuring point list as stored: every UID followed by CR LF.
std::string MeasuringPointListText(const std::vector<int64_t>& uids) {
    std::string text;
    for (int64_t uid : uids) {
        text += std::to_string(uid) + "\r\n";
    }
    return text;
}

// Case a): every concentrator and every meter. The concentrator's points in one statement, each
// with whether it passes the category and syntax filters. The target is "ANY" when all pass.
void CollectFilteredTargets(storage::TSQLiteDatabase& db, const std::string& syntaxFilter,
                            int64_t categoryUid, int64_t ctrUid, WorkFile& file,
                            std::vector<std::string>& targets) {
    auto rows =
        db.QueryTable("SELECT UID,MeterADDR,((" + CategoryFilter(categoryUid) + ") AND (" +
                      syntaxFilter + ")) from MeasuringPoint WHERE CtrUID=" + SqlInt(ctrUid));
    size_t total = 0;
    for (; !rows->AtEnd(); rows->Next(), ++total) {
        if (rows->FieldInt64(2) != 0) {
            file.measuringPoints.push_back(rows->FieldInt64(0));
            targets.push_back(StoredTextDecode(rows->FieldText(1)));
        }
    }
    file.meters += static_cast<int64_t>(targets.size());
    if (targets.size() == total) {
        targets.assign(1, std::string(kAnyMeter));
    }
}

}  // namespace

std::vector<ListItem> DispatchConcentrators(storage::TSQLiteDatabase& db) {
    std::vector<ListItem> items;
    auto rows = db.QueryTable("SELECT UID,ID,Comment from CTR");
    for (; !rows->AtEnd(); rows->Next()) {
        items.push_back({rows->FieldInt64(0), NodeText(StoredTextDecode(rows->FieldText(1)),
                                                       StoredTextDecode(rows->FieldText(2)))});
    }
    return items;
}

std::vector<ListItem> DispatchMeters(storage::TSQLiteDatabase& db, int64_t ctrUid) {
    std::vector<ListItem> items =
        QueryItems(db, "SELECT UID,MeterADDR from MeasuringPoint WHERE CtrUID=" + SqlInt(ctrUid));
    std::stable_sort(items.begin(), items.end(),
                     [](const ListItem& a, const ListItem& b) { return a.text < b.text; });
    return items;
}

std::vector<ListItem> DispatchCategories(storage::TSQLiteDatabase& db) {
    return QueryItems(db, "SELECT UID,Name from CustomGroup");
}

bool SelectsEveryConcentrator(const std::vector<bool>& selected) {
    if (selected.empty()) {
        return false;
    }
    return selected[0] || (selected.size() >= 3 && AllFrom(selected, 1));
}

bool SelectsEveryMeter(const std::vector<bool>& selected) {
    if (selected.empty()) {
        return false;
    }
    return selected[0] || (selected.size() >= 2 && AllFrom(selected, 1));
}

std::string BuildSyntaxFilter(storage::TSQLiteDatabase& db, int64_t workLibUid) {
    static const std::string kMarker = "Syntax=\"";
    std::string filter;
    auto rows = db.QueryTable("SELECT XML from Task WHERE WorkLibUID = " + SqlInt(workLibUid));
    for (; !rows->AtEnd(); rows->Next()) {
        const std::string xml = StoredTextDecode(rows->FieldText(0));
        const size_t marker = xml.find(kMarker);
        if (marker == std::string::npos) {
            continue;
        }
        const size_t start = marker + kMarker.size();
        const size_t end = xml.find('"', start);
        if (end == std::string::npos) {
            continue;
        }
        filter += "(Syntax=" + SqlText(xml.substr(start, end - start)) + ") OR ";
    }
    if (!filter.empty()) {
        filter.resize(filter.size() - 4);
    }
    return filter;
}

std::string CategoryFilter(int64_t categoryUid) {
    return categoryUid == 0 ? "0=0" : "CustomGroupUID=" + SqlInt(categoryUid);
}

std::set<int64_t> MatchingMeterUids(storage::TSQLiteDatabase& db, int64_t categoryUid,
                                    const std::string& syntaxFilter) {
    std::set<int64_t> uids;
    if (syntaxFilter.empty()) {
        return uids;
    }
    auto rows = db.QueryTable("SELECT UID from MeasuringPoint WHERE (" +
                              CategoryFilter(categoryUid) + ") AND (" + syntaxFilter + ")");
    for (; !rows->AtEnd(); rows->Next()) {
        uids.insert(rows->FieldInt64(0));
    }
    return uids;
}

std::optional<WorkSource> ReadWorkSource(storage::TSQLiteDatabase& db, int64_t workLibUid) {
    WorkSource source;
    source.syntaxFilter = BuildSyntaxFilter(db, workLibUid);
    if (source.syntaxFilter.empty()) {
        return std::nullopt;
    }
    auto work = db.QueryTable("SELECT XML from WorkLib WHERE UID = " + SqlInt(workLibUid));
    if (work->AtEnd()) {
        return std::nullopt;
    }
    source.workXml = StoredTextDecode(work->FieldText(0));
    source.periodic = source.workXml.find("Value=\"Periodic\"") != std::string::npos;
    auto tasks = db.QueryTable("SELECT UID,XML from Task WHERE WorkLibUID = " + SqlInt(workLibUid));
    for (; !tasks->AtEnd(); tasks->Next()) {
        source.tasks.push_back({tasks->FieldInt64(0), StoredTextDecode(tasks->FieldText(1))});
    }
    return source;
}

WorkFile BuildWorkFile(storage::TSQLiteDatabase& db, const WorkSource& source,
                       const DispatchChoice& choice, bool withRequests, bool withTargets,
                       int64_t categoryUid, int64_t ctrUid) {
    WorkFile file;
    WorkFileParts parts;
    parts.workXml = source.workXml;
    if (withTargets) {
        std::vector<std::string> targets;
        if (choice.allConcentrators && choice.allMeters) {
            CollectFilteredTargets(db, source.syntaxFilter, categoryUid, ctrUid, file, targets);
        } else {
            if (choice.allMeters) {
                targets.emplace_back(kAnyMeter);
                file.meters += std::max(choice.meterItems - 1, 0);
            } else {
                for (const ListItem& meter : choice.meters) {
                    targets.push_back(meter.text);
                }
                file.meters += static_cast<int64_t>(choice.meters.size());
            }
            for (const ListItem& meter : choice.meters) {
                file.measuringPoints.push_back(meter.uid);
            }
        }
        parts.targets = JoinTargets(targets);
    }
    if (withRequests) {
        parts.tasks = source.tasks;
        const auto n = static_cast<int64_t>(source.tasks.size());
        file.taskCount = source.periodic ? -n : n;
    }
    file.text = BuildWorkFileText(parts);
    return file;
}

std::optional<std::string> PreviewWorkFile(storage::TSQLiteDatabase& db,
                                           const DispatchChoice& choice) {
    const auto source = ReadWorkSource(db, choice.workLibUid);
    if (!source) {
        return std::nullopt;
    }
    return BuildWorkFile(db, *source, choice, true, choice.meterItems > 0, 0, 0).text;
}

UploadOutcome UploadWork(storage::TSQLiteDatabase& db, const std::filesystem::path& programDir,
                         int64_t operatorUid, const DispatchChoice& choice, std::string fileName) {
    UploadOutcome outcome;
    const auto source = ReadWorkSource(db, choice.workLibUid);
    if (!source) {
        outcome.refused = true;
        return outcome;
    }
    outcome.fileName = fileName.empty() ? link::MakeUniqueFileName("w-") : std::move(fileName);
    const int64_t stamp = storage::LocalTimeStampOf(base::LocalNow());
    outcome.workUid = db.InsertSql(
        "INSERT into Work (FileName,OperatorUID,MeterTotal,TaskCount,MPList,LocalTimeStamp,"
        "WorkLibUID) values(" +
        SqlText(outcome.fileName) + "," + SqlInt(operatorUid) + "," + SqlInt(0) + "," + SqlInt(0) +
        "," + SqlText("") + "," + SqlInt(stamp) + "," + SqlInt(choice.workLibUid) + ")");

    // What the Work row records: the concentrators dealt with so far, so that a failed write
    // leaves a row that counts exactly the files delivered before it.
    int64_t meterTotal = 0;
    int64_t taskCount = 0;
    std::vector<int64_t> measuringPoints;
    std::string lastXml;
    const auto record = [&] {
        db.ExecuteSql("UPDATE Work set MeterTotal =  " + SqlInt(meterTotal) +
                      ", TaskCount =   " + SqlInt(taskCount) +
                      ", MPList =      " + SqlText(MeasuringPointListText(measuringPoints)) +
                      ", XML =         " + SqlText(lastXml) +
                      " WHERE UID =   " + SqlInt(outcome.workUid));
    };
    try {
        for (const int64_t ctrUid : choice.concentrators) {
            WorkFile file =
                BuildWorkFile(db, *source, choice, true, true, choice.categoryUid, ctrUid);
            const std::string text = InsertWorkUidLine(file.text, outcome.workUid);
            auto id = db.QueryTable("SELECT ID from CTR WHERE UID=" + SqlInt(ctrUid));
            // A concentrator removed since the page was filled gets no file; its meters count.
            if (!id->AtEnd()) {
                link::WriteInboxFile(programDir, StoredTextDecode(id->FieldText(0)),
                                     outcome.fileName, WorkFileContents(text));
                ++outcome.filesWritten;
            }
            meterTotal += file.meters;
            taskCount = file.taskCount;
            measuringPoints.insert(measuringPoints.end(), file.measuringPoints.begin(),
                                   file.measuringPoints.end());
            lastXml = text;
        }
    } catch (...) {
        record();
        throw;
    }
    record();
    return outcome;
}

}  // namespace zb::work
