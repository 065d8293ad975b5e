#include "storage/stored_text.h"

#include "xml/escape.h"

namespace zb::storage {

std::string StoredTextEncode(std::string_view text) {
    return xml::XMLEscape(text);
}

void AppendStoredText(std::string& stored, std::string_view text) {
    // Appended in runs: a text holding nothing the stored form changes is one append.
    xml::AppendXMLEscaped(stored, text);
}

std::string StoredTextDecode(std::string_view stored) {
    return xml::XMLUnescape(stored);
}

std::string StoredTextDecodeOr(std::string_view stored, std::string_view fallback) {
    std::string text = StoredTextDecode(stored);
    return text.empty() ? std::string(fallback) : text;
}

std::string SqlText(std::string_view text) {
    return "'" + StoredTextEncode(text) + "'";
}

std::string SqlInt(int64_t value) {
    return "'" + std::to_string(value) + "'";
}

}  // namespace zb::storage
