#include "xml/escape.h"

#include "base/text.h"

namespace zb::xml {

using base::ReplaceAll;

std::string XMLEscape(std::string_view text) {
    // One pass gives the same result as the six replacements in order: none of them produces a
    // character that a later one would replace again.
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '\'':
                out += "&apos;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '\r':
                if (i + 1 < text.size() && text[i + 1] == '\n') {
                    out += "<br/>";
                    ++i;
                } else {
                    out += c;
                }
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string XMLUnescape(std::string_view text) {
    if (text.find_first_of("&<") == std::string_view::npos) {
        return std::string(text);
    }
    // Sequential replacements, as the order matters: "&amp;lt;" must become "&lt;", and
    // "&lt;br/&gt;" must not become a line break.
    std::string s = ReplaceAll(text, "<br/>", "\r\n");
    s = ReplaceAll(s, "&gt;", ">");
    s = ReplaceAll(s, "&lt;", "<");
    s = ReplaceAll(s, "&quot;", "\"");
    s = ReplaceAll(s, "&apos;", "'");
    return ReplaceAll(s, "&amp;", "&");
}

}  // namespace zb::xml
