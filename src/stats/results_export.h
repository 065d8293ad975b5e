#pragma once
// The results of a work as CSV for spreadsheets and billing systems: RFC 4180 (fields with a
// comma, a double quote or a line break are quoted, quotes doubled, records ended by CR LF),
// UTF-8 with a byte-order mark so that spreadsheet programs read Cyrillic, a header row, then one
// record per answer of the work, and one per record for archive reads.
#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "storage/sqlite_database.h"

namespace zb::stats {

inline constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

// The header row's captions, in column order.
const std::vector<std::string>& ExportColumns();

// A field as RFC 4180 writes it.
std::string CsvField(std::string_view text);
// Fields joined by "," and ended by CR LF.
std::string CsvRecord(const std::vector<std::string>& fields);

// A time stamp as "YYYY-MM-DD hh:mm:ss", local time (unambiguous for every spreadsheet).
std::string ExportTimeText(int64_t stamp);

// Writes the byte-order mark, the header and every answer of the work (none for a work without
// answers). Returns the number of data records written.
size_t ExportWorkCsv(storage::TSQLiteDatabase& db, int64_t workUid, std::ostream& out);

}  // namespace zb::stats
