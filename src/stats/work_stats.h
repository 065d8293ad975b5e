#pragma once
// What became of a dispatched work: the works of a period, the work's measuring points sorted into
// those with a request done, those with a request not done and those that never answered, and
// the answers of one meter. Everything is read from Work, BigData, MeasuringPoint, CTR, Task and
// Operator; nothing is written. The page of statistics and the results export show what these
// functions return.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/clock.h"
#include "storage/sqlite_database.h"

namespace zb::stats {

// The bounds of a period in LocalTimeStamp seconds, both included: from the start of the from
// day to the start of the day after the to day.
struct Period {
    int64_t from = 0;
    int64_t to = 0;
};
Period PeriodOf(const base::LocalDateTime& fromDay, const base::LocalDateTime& toDay);

// A LocalTimeStamp as the short date and long time; the time is left out at exactly midnight.
std::string StampText(int64_t stamp);

// A row of the works grid.
struct WorkRow {
    int64_t uid = 0;
    std::string dateTime;
    std::string name;          // workName of the stored XML, "<NULL>" when missing
    std::string operatorName;  // "<NULL>" when the operator is gone
    int64_t taskCount = 0;     // negative for a periodic work
    int64_t meterTotal = 0;
};
// The works stamped within the period, in database order; works without requests or meters
// (task count times meter total not above 0) are left out.
std::vector<WorkRow> ListWorks(storage::TSQLiteDatabase& db, const Period& period);

bool WorkExists(storage::TSQLiteDatabase& db, int64_t workUid);
// The stored work XML (decoded); none when there is no such work.
std::optional<std::string> WorkXml(storage::TSQLiteDatabase& db, int64_t workUid);

// An item of the three lists: "<concentrator ID>.<meter address>" and the measuring point.
struct MeterItem {
    std::string text;
    int64_t measuringPointUid = 0;
};
// The three lists of a work, each sorted by text without regard to case. A point with requests
// done and not done is in both DONE and FAIL. A point whose concentrator row is missing is
// listed with an empty concentrator ID; an unanswered point without a row shows "XXXXXXXX" as
// its address. Lines of the work's meter list that are not decimal numbers are skipped.
struct WorkMeters {
    std::vector<MeterItem> done, fail, unknown;
};
WorkMeters ReadWorkMeters(storage::TSQLiteDatabase& db, int64_t workUid);

// The whole decimal number a text holds, blanks around it allowed; nothing for any other text.
std::optional<int64_t> DecimalOf(std::string_view text);

// One record of an archive read as stored: time i paired with value i. A time without a value,
// or a value without a time, leaves the other out.
struct ArchiveRecord {
    std::optional<std::string> time;  // the stored time text
    std::optional<int64_t> stamp;     // that time as a time stamp, when it is a number
    std::optional<std::string> value;
};
std::vector<ArchiveRecord> ArchiveRecords(std::string_view localTimes, std::string_view values);

// One record of an archive read: its time (seconds since the time-stamp epoch) and its value.
struct ArchivePoint {
    int64_t stamp = 0;
    double value = 0;
};
// The lines of an archive read, time i paired with value i: "<date and time> -- <value>".
// Times without a value keep an empty value; values without a time stand alone.
std::vector<std::string> ArchiveLines(std::string_view localTimes, std::string_view values);
// The records whose time and value are both numbers, for plotting.
std::vector<ArchivePoint> ArchivePoints(std::string_view localTimes, std::string_view values);

// A row of the results grid.
struct ResultRow {
    std::string request;  // the Task's Name, "<NULL>" when the request is gone
    std::string opCode;
    std::string result;
    std::string value;                 // lines joined by CR LF (archive reads: ArchiveLines)
    std::vector<ArchivePoint> points;  // archive reads answered DONE
};
enum class MeterList { Done, Fail };
// The answers of the point to the work: the done ones for the DONE list, the others for FAIL.
std::vector<ResultRow> ReadMeterResults(storage::TSQLiteDatabase& db, int64_t workUid,
                                        int64_t measuringPointUid, MeterList list);

// The grid cell of a value (line breaks as "\") and the hint of a cell (the lines back).
std::string ValueCellText(std::string_view value);
std::string ValueHintText(std::string_view cell);

}  // namespace zb::stats
