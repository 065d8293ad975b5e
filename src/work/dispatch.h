#pragma once
// Dispatch of a library work: which concentrators and meters it reaches, the work file each
// concentrator receives, and the upload that records the dispatch in Work and writes the files
// into the mirror inboxes. The dispatch page reads its lists, calls these, and shows the outcome.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "work/work_xml.h"

namespace zb::storage {
class TSQLiteDatabase;
}

namespace zb::work {

inline constexpr const char* kAllConcentrators = "Все концентраторы";
inline constexpr const char* kAllMeters = "Все счётчики";
inline constexpr const char* kAllCategories = "Все категории";
inline constexpr const char* kNoRequestsWarning = "Задание не содержит запросов!";

// An item of one of the page's lists: the row's key and the text shown.
struct ListItem {
    int64_t uid = 0;
    std::string text;
};

// Concentrators by ID (and " [comment]"), in database order.
std::vector<ListItem> DispatchConcentrators(storage::TSQLiteDatabase& db);
// The measuring points of a concentrator by MeterADDR, sorted by text.
std::vector<ListItem> DispatchMeters(storage::TSQLiteDatabase& db, int64_t ctrUid);
// Categories of measuring points, in database order.
std::vector<ListItem> DispatchCategories(storage::TSQLiteDatabase& db);

// Selection rules of the lists; `selected` holds every item of a list, item 0 ("all") first.
// The concentrator list selects everything when item 0 is chosen, or every concentrator when
// there are two or more.
bool SelectsEveryConcentrator(const std::vector<bool>& selected);
// The meter list selects everything when item 0 is chosen, or every meter.
bool SelectsEveryMeter(const std::vector<bool>& selected);

// The SQL condition that keeps measuring points whose Syntax is the syntax of one of the work's
// requests: "(Syntax='ZARNIC') OR (Syntax='M-230')", duplicates kept; "" without requests.
std::string BuildSyntaxFilter(storage::TSQLiteDatabase& db, int64_t workLibUid);
// "0=0" for all categories (0), else the condition on CustomGroupUID.
std::string CategoryFilter(int64_t categoryUid);
// The measuring points of any concentrator in the category whose syntax the work uses (what
// choosing a category preselects); empty for an empty syntax filter.
std::set<int64_t> MatchingMeterUids(storage::TSQLiteDatabase& db, int64_t categoryUid,
                                    const std::string& syntaxFilter);

// What the operator chose on the page.
struct DispatchChoice {
    int64_t workLibUid = 0;
    bool allConcentrators = false;       // item 0 of the concentrator list is selected
    std::vector<int64_t> concentrators;  // the selected concentrator items from item 1 on
    bool allMeters = false;              // item 0 of the meter list is selected
    int meterItems = 0;                  // items of the meter list, item 0 included
    std::vector<ListItem> meters;        // the selected meter items from item 1 on (UID, address)
    int64_t categoryUid = 0;
};

// What does not change from one concentrator to the next: read once per upload.
struct WorkSource {
    std::string syntaxFilter;
    std::string workXml;
    bool periodic = false;
    std::vector<WorkFileTask> tasks;
};
// None when the work has no requests (empty syntax filter) or its row is gone.
std::optional<WorkSource> ReadWorkSource(storage::TSQLiteDatabase& db, int64_t workLibUid);

// One concentrator's work file and what it adds to the dispatch's counts.
struct WorkFile {
    std::string text;  // the lines of the file, without the workUID line and the final CR LF
    int64_t meters = 0;
    int64_t taskCount = 0;  // +n for a single work, -n for a periodic one (0 without requests)
    std::vector<int64_t> measuringPoints;
};

// The work file for concentrator `ctrUid`: with its requests when `withRequests`, with its
// workTarget line when `withTargets` (meters of category `categoryUid`).
WorkFile BuildWorkFile(storage::TSQLiteDatabase& db, const WorkSource& source,
                       const DispatchChoice& choice, bool withRequests, bool withTargets,
                       int64_t categoryUid, int64_t ctrUid);
// The show-XML preview: no workUID, no concentrator, all categories; none without requests.
std::optional<std::string> PreviewWorkFile(storage::TSQLiteDatabase& db,
                                           const DispatchChoice& choice);

struct UploadOutcome {
    bool refused = false;  // the work has no requests: nothing recorded, nothing written
    int64_t workUid = 0;
    std::string fileName;
    int filesWritten = 0;
};

// Records the dispatch in Work (WorkLibUID included) and writes the work file, under one name,
// into the inbox of every chosen concentrator that still has its CTR row. A file that cannot be
// written stops the upload: the Work row then holds the counts, list and XML of the files
// written before it, and the error is raised. An empty `fileName` draws a fresh "w-" name.
UploadOutcome UploadWork(storage::TSQLiteDatabase& db, const std::filesystem::path& programDir,
                         int64_t operatorUid, const DispatchChoice& choice,
                         std::string fileName = {});

}  // namespace zb::work
