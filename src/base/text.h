#pragma once
// Text helpers shared by every subsystem. Text inside the server is UTF-8; the one real code-page
// conversion is for file names on the concentrator link, which travel as cp1251 bytes.
#include <algorithm>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zb::base {

// UTF-8 -> cp1251; nullopt when a character has no cp1251 form or the input is not UTF-8.
std::optional<std::string> Utf8ToCp1251(std::string_view utf8);
// cp1251 -> UTF-8; every byte has a form (the unassigned 0x98 becomes U+FFFD).
std::string Cp1251ToUtf8(std::string_view cp1251);

// Upper-cases ASCII and Cyrillic letters (including Ё) of a UTF-8 text; other bytes pass through.
std::string Utf8ToUpper(std::string_view text);
// Sorts items by their `text` member without regard to case (Cyrillic too), keeping the order of
// equal texts: the order of the names an operator chooses from.
template <class Item>
void SortByTextNoCase(std::vector<Item>& items) {
    std::vector<std::pair<std::string, Item>> keyed;
    keyed.reserve(items.size());
    for (Item& item : items) {
        keyed.emplace_back(Utf8ToUpper(item.text), std::move(item));
    }
    std::stable_sort(keyed.begin(), keyed.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    items.clear();
    for (auto& entry : keyed) {
        items.push_back(std::move(entry.second));
    }
}

// Number of characters (code points) of a UTF-8 text; invalid bytes count one each.
size_t Utf8Length(std::string_view text);

// Removes characters of code 0..32 at both ends.
std::string Trim(std::string_view text);
bool IsBlank(std::string_view text);

// Replaces every occurrence of `from` (non-empty) by `to`, scanning left to right.
std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to);

// Splits at CR LF, CR or LF; a break at the very end does not start another line.
std::vector<std::string> SplitLines(std::string_view text);

// ASCII case-insensitive comparison (names of tags, attributes, columns).
bool EqualsNoCase(std::string_view a, std::string_view b);
std::string AsciiUpper(std::string_view text);

// The value of a hexadecimal digit (either case), -1 for any other character.
int HexDigitValue(char c);
inline bool IsHexDigit(char c) {
    return HexDigitValue(c) >= 0;
}

}  // namespace zb::base
