#include "storage/stored_text.h"

#include "xml/escape.h"

namespace zb::storage {

std::string StoredTextEncode(std::string_view text) {
    return xml::XMLEscape(text);
}

bool MayChangeInStoredForm(std::string_view text) {
    for (const char c : text) {
        switch (c) {
            case '&':
            case '\'':
            case '"':
            case '<':
            case '>':
            case '\r':
                return true;
            default:
                break;
        }
    }
    return false;
}

void AppendStoredText(std::string& stored, std::string_view text) {
    // Most texts hold nothing the stored form changes: they are taken as they are.
    if (MayChangeInStoredForm(text)) {
        xml::AppendXMLEscaped(stored, text);
    } else {
        stored.append(text);
    }
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
