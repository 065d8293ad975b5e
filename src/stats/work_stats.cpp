#include "stats/work_stats.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <unordered_map>
#include <unordered_set>

#include "base/text.h"
#include "devices/value_formats.h"
#include "storage/stored_text.h"
#include "storage/time_stamp.h"
#include "work/work_xml.h"

namespace zb::stats {
namespace {

using storage::SqlInt;
using storage::StoredTextDecode;

constexpr int64_t kSecondsPerDay = 86400;
constexpr const char* kMissing = "<NULL>";
constexpr const char* kUnknownAddress = "XXXXXXXX";
// Unanswered points are looked up this many at a time.
constexpr size_t kLookupChunk = 500;

int64_t DaysSinceEpoch(const base::LocalDateTime& day) {
    static const double epoch = base::ToDateTime(base::LocalDateTime{2000, 1, 1});
    const base::LocalDateTime midnight{day.year, day.month, day.day};
    return static_cast<int64_t>(std::trunc(base::ToDateTime(midnight) - epoch));
}

std::optional<double> NumberOf(std::string_view text) {
    const std::string trimmed = base::Trim(text);
    double value = 0;
    const char* end = trimmed.data() + trimmed.size();
    const auto [ptr, ec] = std::from_chars(trimmed.data(), end, value);
    if (trimmed.empty() || ec != std::errc() || ptr != end || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

std::string Decoded(const storage::TSQLiteTable& table, int column) {
    return StoredTextDecode(table.FieldText(column));
}

std::string ItemText(const std::string& ctrId, const std::string& address) {
    return ctrId + "." + address;
}

// The decimal UIDs of the work's meter list, in order; other lines are skipped.
std::vector<int64_t> MeterListOf(storage::TSQLiteDatabase& db, int64_t workUid) {
    auto table = db.QueryTable("SELECT MPList from Work WHERE UID=" + SqlInt(workUid));
    std::vector<int64_t> uids;
    if (table->RowCount() == 0) {
        return uids;
    }
    for (const std::string& line : base::SplitLines(Decoded(*table, 0))) {
        if (const auto uid = DecimalOf(line)) {
            uids.push_back(*uid);
        }
    }
    return uids;
}

// The points that answered the work, with their concentrator ID ("" without a CTR row), put
// into the DONE and FAIL lists; returns the UIDs listed.
std::unordered_set<int64_t> ReadAnsweredPoints(storage::TSQLiteDatabase& db, int64_t workUid,
                                               WorkMeters& meters) {
    // One pass over the work's answers through the BigData(WorkUID, DataVendorUID) index,
    // grouped by point, with the address and concentrator joined in.
    auto table = db.QueryTable(
        "SELECT b.DataVendorUID, b.AnyDone, b.AnyOther, m.MeterADDR, c.ID FROM "
        "(SELECT DataVendorUID, MAX(Result='DONE') AS AnyDone, MAX(Result<>'DONE') AS AnyOther "
        "FROM BigData WHERE (WorkUID=" +
        SqlInt(workUid) +
        ") AND (DataVendorEntity='MP') GROUP BY DataVendorUID) b "
        "JOIN MeasuringPoint m ON m.UID = b.DataVendorUID LEFT JOIN CTR c ON c.UID = m.CtrUID");
    std::unordered_set<int64_t> listed;
    for (; !table->AtEnd(); table->Next()) {
        const int64_t uid = table->FieldInt64(0);
        const MeterItem item{ItemText(Decoded(*table, 4), Decoded(*table, 3)), uid};
        if (table->FieldInt64(1) != 0) {
            meters.done.push_back(item);
        }
        if (table->FieldInt64(2) != 0) {
            meters.fail.push_back(item);
        }
        listed.insert(uid);
    }
    return listed;
}

void ReadUnansweredPoints(storage::TSQLiteDatabase& db, const std::vector<int64_t>& uids,
                          WorkMeters& meters) {
    std::unordered_map<int64_t, std::string> texts;
    for (size_t start = 0; start < uids.size(); start += kLookupChunk) {
        std::string in;
        for (size_t i = start; i < std::min(uids.size(), start + kLookupChunk); ++i) {
            in += (in.empty() ? "" : ",") + SqlInt(uids[i]);
        }
        auto table = db.QueryTable(
            "SELECT m.UID, m.MeterADDR, c.ID FROM MeasuringPoint m LEFT JOIN CTR c ON c.UID = "
            "m.CtrUID WHERE m.UID IN (" +
            in + ")");
        for (; !table->AtEnd(); table->Next()) {
            texts[table->FieldInt64(0)] = ItemText(Decoded(*table, 2), Decoded(*table, 1));
        }
    }
    for (const int64_t uid : uids) {
        const auto found = texts.find(uid);
        meters.unknown.push_back(
            {found != texts.end() ? found->second : ItemText("", kUnknownAddress), uid});
    }
}

std::string JoinLines(const std::vector<std::string>& lines) {
    std::string text;
    for (size_t i = 0; i < lines.size(); ++i) {
        text += (i == 0 ? "" : "\r\n") + lines[i];
    }
    return text;
}

}  // namespace

Period PeriodOf(const base::LocalDateTime& fromDay, const base::LocalDateTime& toDay) {
    return {DaysSinceEpoch(fromDay) * kSecondsPerDay, (DaysSinceEpoch(toDay) + 1) * kSecondsPerDay};
}

std::string StampText(int64_t stamp) {
    const base::LocalDateTime t = storage::LocalDateTimeOfStamp(stamp);
    if (t.hour == 0 && t.minute == 0 && t.second == 0) {
        return base::FormatShortDate(t);
    }
    return base::FormatDateTime(t);
}

std::vector<WorkRow> ListWorks(storage::TSQLiteDatabase& db, const Period& period) {
    auto table = db.QueryTable(
        "SELECT w.UID, w.MeterTotal, w.TaskCount, w.LocalTimeStamp, w.XML, (o.UID IS NULL), o.Name "
        "FROM "
        "Work w LEFT JOIN Operator o ON o.UID = w.OperatorUID WHERE (w.LocalTimeStamp >= " +
        SqlInt(period.from) + ") AND (w.LocalTimeStamp <= " + SqlInt(period.to) +
        ") ORDER BY w.UID");
    std::vector<WorkRow> rows;
    for (; !table->AtEnd(); table->Next()) {
        WorkRow row;
        row.uid = table->FieldInt64(0);
        row.meterTotal = table->FieldInt64(1);
        row.taskCount = table->FieldInt64(2);
        if (row.taskCount * row.meterTotal <= 0) {
            continue;
        }
        row.dateTime = StampText(table->FieldInt64(3));
        row.name = work::ReadWorkXml(Decoded(*table, 4)).name;
        row.operatorName = table->FieldInt64(5) != 0 ? kMissing : Decoded(*table, 6);
        rows.push_back(std::move(row));
    }
    return rows;
}

bool WorkExists(storage::TSQLiteDatabase& db, int64_t workUid) {
    return db.QueryTable("SELECT UID from Work WHERE UID=" + SqlInt(workUid))->RowCount() > 0;
}

std::optional<std::string> WorkXml(storage::TSQLiteDatabase& db, int64_t workUid) {
    auto table = db.QueryTable("SELECT XML from Work WHERE UID=" + SqlInt(workUid));
    if (table->RowCount() == 0) {
        return std::nullopt;
    }
    return Decoded(*table, 0);
}

WorkMeters ReadWorkMeters(storage::TSQLiteDatabase& db, int64_t workUid) {
    WorkMeters meters;
    const std::vector<int64_t> meterList = MeterListOf(db, workUid);
    const auto answered = ReadAnsweredPoints(db, workUid, meters);
    // A point that answered is never also unknown, however often the list names it.
    std::vector<int64_t> unanswered;
    for (const int64_t uid : meterList) {
        if (answered.count(uid) == 0) {
            unanswered.push_back(uid);
        }
    }
    ReadUnansweredPoints(db, unanswered, meters);
    base::SortByTextNoCase(meters.done);
    base::SortByTextNoCase(meters.fail);
    base::SortByTextNoCase(meters.unknown);
    return meters;
}

std::optional<int64_t> DecimalOf(std::string_view text) {
    const std::string trimmed = base::Trim(text);
    int64_t value = 0;
    const char* end = trimmed.data() + trimmed.size();
    const auto [ptr, ec] = std::from_chars(trimmed.data(), end, value);
    if (trimmed.empty() || ec != std::errc() || ptr != end) {
        return std::nullopt;
    }
    return value;
}

std::vector<ArchiveRecord> ArchiveRecords(std::string_view localTimes, std::string_view values) {
    const auto times = base::SplitLines(localTimes);
    const auto readings = base::SplitLines(values);
    std::vector<ArchiveRecord> records(std::max(times.size(), readings.size()));
    for (size_t i = 0; i < times.size(); ++i) {
        records[i].time = times[i];
        records[i].stamp = DecimalOf(times[i]);
    }
    for (size_t i = 0; i < readings.size(); ++i) {
        records[i].value = readings[i];
    }
    return records;
}

std::vector<std::string> ArchiveLines(std::string_view localTimes, std::string_view values) {
    std::vector<std::string> lines;
    for (const ArchiveRecord& record : ArchiveRecords(localTimes, values)) {
        const std::string reading = record.value.value_or("");
        if (!record.time) {
            lines.push_back(reading);
            continue;
        }
        lines.push_back((record.stamp ? StampText(*record.stamp) : *record.time) + " -- " +
                        reading);
    }
    return lines;
}

std::vector<ArchivePoint> ArchivePoints(std::string_view localTimes, std::string_view values) {
    std::vector<ArchivePoint> points;
    for (const ArchiveRecord& record : ArchiveRecords(localTimes, values)) {
        const auto value = record.value ? NumberOf(*record.value) : std::nullopt;
        if (record.stamp && value) {
            points.push_back({*record.stamp, *value});
        }
    }
    return points;
}

std::vector<ResultRow> ReadMeterResults(storage::TSQLiteDatabase& db, int64_t workUid,
                                        int64_t measuringPointUid, MeterList list) {
    const bool done = list == MeterList::Done;
    auto table = db.QueryTable(
        "SELECT (t.UID IS NULL), t.Name, b.OpCode, b.Result, b.LocalTime, b.Value FROM BigData b "
        "LEFT JOIN "
        "Task t ON t.UID = b.TaskUID WHERE (b.WorkUID=" +
        SqlInt(workUid) + ") AND (b.DataVendorUID=" + SqlInt(measuringPointUid) +
        ") AND (b.DataVendorEntity='MP') AND (b.Result" + (done ? "=" : "<>") +
        "'DONE') ORDER BY b.ROWID");
    std::vector<ResultRow> rows;
    for (; !table->AtEnd(); table->Next()) {
        ResultRow row;
        row.request = table->FieldInt64(0) != 0 ? kMissing : Decoded(*table, 1);
        row.opCode = Decoded(*table, 2);
        row.result = Decoded(*table, 3);
        row.value = Decoded(*table, 5);
        if (done && row.opCode == "AR") {
            const std::string times = Decoded(*table, 4);
            row.points = ArchivePoints(times, row.value);
            row.value = base::Trim(JoinLines(ArchiveLines(times, row.value)));
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

std::string ValueCellText(std::string_view value) {
    return devices::LineBreaksToBackslash(value);
}

std::string ValueHintText(std::string_view cell) {
    return devices::BackslashToLineBreaks(cell);
}

}  // namespace zb::stats
