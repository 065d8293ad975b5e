#pragma once
// The stored text form: every text written into SQL is escaped (so it never holds a double quote
// and can stand between double quotes as a literal), and decoded when read back. Text inside the
// server is already UTF-8, so the code-page step of the form is the identity; decoding accepts
// any bytes, including invalid UTF-8 from an old file.
#include <string>
#include <string_view>

namespace zb::storage {

std::string StoredTextEncode(std::string_view text);
std::string StoredTextDecode(std::string_view stored);
std::string StoredTextDecodeOr(std::string_view stored, std::string_view fallback);

// A value as a double-quoted SQL literal in the stored text form: "\"" + encoded + "\"".
std::string SqlText(std::string_view text);
// A number as a double-quoted SQL literal, as every statement of the system writes numbers.
std::string SqlInt(int64_t value);

}  // namespace zb::storage
