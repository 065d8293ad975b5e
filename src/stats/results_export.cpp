#include "stats/results_export.h"

#include <cstdio>
#include <optional>

#include "base/text.h"
#include "stats/work_stats.h"
#include "storage/stored_text.h"
#include "storage/time_stamp.h"

namespace zb::stats {
namespace {

using storage::StoredTextDecode;

// The fields shared by every record of one answer, and the two that vary per archive record.
struct Answer {
    std::vector<std::string> fields;  // work, concentrator, address, point, request, op, result
    std::string value;
};

void WriteArchiveRecords(std::ostream& out, Answer& answer, const std::string& localTimes,
                         size_t& written) {
    for (const ArchiveRecord& record : ArchiveRecords(localTimes, answer.value)) {
        std::vector<std::string> fields = answer.fields;
        fields.push_back(record.stamp ? ExportTimeText(*record.stamp) : record.time.value_or(""));
        fields.push_back(base::Trim(record.value.value_or("")));
        out << CsvRecord(fields);
        ++written;
    }
}

}  // namespace

const std::vector<std::string>& ExportColumns() {
    static const std::vector<std::string> columns = {
        "Задание",  "Концентратор", "Адрес счётчика", "Точка учёта", "Запрос",
        "Операция", "Результат",    "Время",          "Значение"};
    return columns;
}

std::string CsvField(std::string_view text) {
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) {
        return std::string(text);
    }
    return "\"" + base::ReplaceAll(text, "\"", "\"\"") + "\"";
}

std::string CsvRecord(const std::vector<std::string>& fields) {
    std::string record;
    for (size_t i = 0; i < fields.size(); ++i) {
        record += (i == 0 ? "" : ",") + CsvField(fields[i]);
    }
    return record + "\r\n";
}

std::string ExportTimeText(int64_t stamp) {
    const base::LocalDateTime t = storage::LocalDateTimeOfStamp(stamp);
    char buf[40];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour,
                  t.minute, t.second);
    return buf;
}

size_t ExportWorkCsv(storage::TSQLiteDatabase& db, int64_t workUid, std::ostream& out) {
    out << kUtf8Bom << CsvRecord(ExportColumns());
    // Concentrator, point and request names joined in, the answers in the order of the
    // BigData(WorkUID, DataVendorUID) index.
    auto table = db.QueryTable(
        "SELECT c.ID, b.MeterADDR, m.Name, (t.UID IS NULL), t.Name, b.OpCode, b.Result, "
        "b.LocalTimeStamp, b.LocalTime, b.Value FROM BigData b "
        "LEFT JOIN MeasuringPoint m ON m.UID = b.DataVendorUID "
        "LEFT JOIN CTR c ON c.UID = m.CtrUID LEFT JOIN Task t ON t.UID = b.TaskUID "
        "WHERE (b.WorkUID=" +
        storage::SqlInt(workUid) +
        ") AND (b.DataVendorEntity='MP') ORDER BY b.DataVendorUID, b.ROWID");
    const std::string work = std::to_string(workUid);
    size_t written = 0;
    for (; !table->AtEnd(); table->Next()) {
        auto text = [&](int column) { return StoredTextDecode(table->FieldText(column)); };
        Answer answer;
        answer.fields = {
            work,    text(0), text(1), text(2), table->FieldInt64(3) != 0 ? "<NULL>" : text(4),
            text(5), text(6)};
        answer.value = text(9);
        const std::string localTimes = text(8);
        if (answer.fields[5] == "AR" && answer.fields[6] == "DONE" && !localTimes.empty()) {
            WriteArchiveRecords(out, answer, localTimes, written);
            continue;
        }
        std::vector<std::string> fields = answer.fields;
        const auto stamp = DecimalOf(table->FieldText(7));
        fields.push_back(stamp ? ExportTimeText(*stamp) : std::string());
        fields.push_back(answer.value);
        out << CsvRecord(fields);
        ++written;
    }
    return written;
}

}  // namespace zb::stats
