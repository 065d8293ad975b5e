#include "storage/stored_text.h"

#include <gtest/gtest.h>

namespace zb::storage {
namespace {

TEST(StoredText, EscapesInTheGivenOrder) {
    EXPECT_EQ(StoredTextEncode("<&\""), "&lt;&amp;&quot;");
    EXPECT_EQ(StoredTextEncode("it's > 5"), "it&apos;s &gt; 5");
    EXPECT_EQ(StoredTextDecode("&lt;&amp;&quot;"), "<&\"");
}

TEST(StoredText, AlreadyEscapedTextSurvivesTheRoundTrip) {
    EXPECT_EQ(StoredTextEncode("&lt;"), "&amp;lt;");
    EXPECT_EQ(StoredTextDecode("&amp;lt;"), "&lt;");
    EXPECT_EQ(StoredTextDecode(StoredTextEncode("<br/>")), "<br/>");
    EXPECT_EQ(StoredTextDecode(StoredTextEncode("&amp;&quot;")), "&amp;&quot;");
}

TEST(StoredText, OnlyTheCrLfPairBecomesALineBreakTag) {
    EXPECT_EQ(StoredTextEncode("a\r\nb"), "a<br/>b");
    EXPECT_EQ(StoredTextDecode("a<br/>b"), "a\r\nb");
    EXPECT_EQ(StoredTextEncode("a\nb\rc"), "a\nb\rc");
    EXPECT_EQ(StoredTextEncode("\n\r"), "\n\r");
    EXPECT_EQ(StoredTextEncode("\r\r\n"), "\r<br/>");
}

TEST(StoredText, AppendingGivesTheEncodedBytes) {
    for (const std::string text : {"", "plain 0000000A", "&x", "x'", "\"", "<", "x>", "a\r\nb",
                                   "\r", "x\r", "\n\r", "Данные получены=05.12.2026 14:03:09"}) {
        std::string stored = "head|";
        AppendStoredText(stored, text);
        EXPECT_EQ(stored, "head|" + StoredTextEncode(text)) << text;
        if (!MayChangeInStoredForm(text)) {
            EXPECT_EQ(StoredTextEncode(text), text);
        }
    }
}

TEST(StoredText, ValuesBecomeSingleQuotedLiteralsThatNoValueCanEnd) {
    const std::string hostile = "') OR ('1'='1\"";
    EXPECT_EQ(StoredTextEncode(hostile).find_first_of("'\""), std::string::npos);
    EXPECT_EQ(SqlText(hostile), "'&apos;) OR (&apos;1&apos;=&apos;1&quot;'");
    EXPECT_EQ(SqlText("MeterADDR"), "'MeterADDR'");
    EXPECT_EQ(SqlInt(-12), "'-12'");
}

TEST(StoredText, CyrillicAndInvalidBytesPassUnchanged) {
    EXPECT_EQ(StoredTextEncode("Администратор"), "Администратор");
    const std::string invalid = "\xFF\xC0 old";
    EXPECT_EQ(StoredTextDecode(invalid), invalid);
}

TEST(StoredText, DecodeOrFallsBackOnlyForEmptyText) {
    EXPECT_EQ(StoredTextDecodeOr("", "нет"), "нет");
    EXPECT_EQ(StoredTextDecodeOr("&amp;", "нет"), "&");
    EXPECT_EQ(StoredTextDecodeOr(" ", "нет"), " ");
}

}  // namespace
}  // namespace zb::storage
