#include "storage/stored_text.h"

#include <gtest/gtest.h>

namespace zb::storage {
namespace {

TEST(StoredText, EncodesEscapesAndOnlyTheCrLfPairAndDecodesBack) {
    const std::pair<std::string, std::string> cases[] = {
        {"<&\"", "&lt;&amp;&quot;"},   {"it's > 5", "it&apos;s &gt; 5"},
        {"&lt;", "&amp;lt;"},  // already escaped text survives the round trip
        {"<br/>", "&lt;br/&gt;"},      {"a\r\nb", "a<br/>b"},
        {"\r\r\n\n\r", "\r<br/>\n\r"}, {"Администратор", "Администратор"}};
    for (const auto& [text, stored] : cases) {
        EXPECT_EQ(StoredTextEncode(text), stored) << text;
        EXPECT_EQ(StoredTextDecode(stored), text) << stored;
    }
}

TEST(StoredText, ValuesBecomeSingleQuotedLiteralsThatNoValueCanEnd) {
    const std::string hostile = "') OR ('1'='1\"";
    EXPECT_EQ(StoredTextEncode(hostile).find_first_of("'\""), std::string::npos);
    EXPECT_EQ(SqlText(hostile), "'&apos;) OR (&apos;1&apos;=&apos;1&quot;'");
    EXPECT_EQ(SqlText("MeterADDR"), "'MeterADDR'");
    EXPECT_EQ(SqlInt(-12), "'-12'");
}

TEST(StoredText, InvalidBytesPassUnchangedAndOnlyEmptyTextFallsBack) {
    const std::string invalid = "\xFF\xC0 old";
    EXPECT_EQ(StoredTextDecode(invalid), invalid);
    EXPECT_EQ(StoredTextDecodeOr("", "нет"), "нет");
    EXPECT_EQ(StoredTextDecodeOr("&amp;", "нет"), "&");
    EXPECT_EQ(StoredTextDecodeOr(" ", "нет"), " ");
}

}  // namespace
}  // namespace zb::storage
