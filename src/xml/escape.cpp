#include "xml/escape.h"

#include "base/text.h"

namespace zb::xml {

using base::ReplaceAll;

namespace {

// The escaped form of one character, or an empty view for a character that stays.
std::string_view EscapeOf(char c) {
    switch (c) {
        case '&':
            return "&amp;";
        case '\'':
            return "&apos;";
        case '"':
            return "&quot;";
        case '<':
            return "&lt;";
        case '>':
            return "&gt;";
        default:
            return {};
    }
}

}  // namespace

void AppendXMLEscaped(std::string& out, std::string_view text) {
    // One pass gives the same result as the six replacements in order: none of them produces a
    // character that a later one would replace again. Runs of unchanged characters are copied
    // at once.
    out.reserve(out.size() + text.size() + text.size() / 8);
    size_t run = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        std::string_view escaped = EscapeOf(c);
        size_t width = 1;
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            escaped = "<br/>";
            width = 2;
        }
        if (escaped.empty()) {
            continue;
        }
        out.append(text.substr(run, i - run));
        out.append(escaped);
        i += width - 1;
        run = i + 1;
    }
    out.append(text.substr(run));
}

std::string XMLEscape(std::string_view text) {
    std::string out;
    AppendXMLEscaped(out, text);
    return out;
}

std::string XMLUnescape(std::string_view text) {
    // Two scans for one byte each: find_first_of would look up every byte of the text in the
    // set, and values are unescaped for every attribute read.
    if (text.find('&') == std::string_view::npos && text.find('<') == std::string_view::npos) {
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
