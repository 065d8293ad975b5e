#pragma once
// The stored text form: every text written into SQL is escaped (so it never holds a quote of
// either kind and can stand between single quotes as a literal), and decoded when read back. Text
// inside the server is already UTF-8, so the code-page step of the form is the identity; decoding
// accepts any bytes, including invalid UTF-8 from an old file.
#include <string>
#include <string_view>

namespace zb::storage {

std::string StoredTextEncode(std::string_view text);
// Appends the stored form of the text (StoredTextEncode) to `stored`.
void AppendStoredText(std::string& stored, std::string_view text);
std::string StoredTextDecode(std::string_view stored);
std::string StoredTextDecodeOr(std::string_view stored, std::string_view fallback);

// Every value the program puts into a statement is made here, as a single-quoted SQL literal.
// (A double-quoted word that spells a column of the statement's tables is read by SQLite as that
// column, so a received or typed value such as "MeterADDR" would match every row; the database
// layer switches that compatibility off, and no statement carries a double-quoted literal.)
// The text in the stored text form: "'" + encoded + "'". The escaping turns ' into &apos;, so
// no value can end its literal.
std::string SqlText(std::string_view text);
// A number as a single-quoted SQL literal; the text of the number is formatted here.
std::string SqlInt(int64_t value);

}  // namespace zb::storage
