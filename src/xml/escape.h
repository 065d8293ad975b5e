#pragma once
// The five escapes of the XML component, plus CR LF <-> "<br/>". They serve the writer and
// reader of the XML tree and the stored text form of the database.
#include <string>
#include <string_view>

namespace zb::xml {

// "&" "'" '"' "<" ">" and CR LF, in that order, each throughout the text; a lone CR or LF stays.
std::string XMLEscape(std::string_view text);
// The same, appended to `out` (no string of its own for the escaped text).
void AppendXMLEscaped(std::string& out, std::string_view text);
// "<br/>" "&gt;" "&lt;" "&quot;" "&apos;" "&amp;", in that order; "&amp;" last, so every other
// escape is undone only where XMLEscape wrote it.
std::string XMLUnescape(std::string_view text);

}  // namespace zb::xml
