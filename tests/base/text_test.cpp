#include <gtest/gtest.h>

#include "base/program.h"
#include "base/text.h"

namespace zb::base {
namespace {

TEST(Cp1251, EveryByteRoundTripsThroughUtf8ExceptTheUnassignedOne) {
    for (int b = 1; b < 256; ++b) {
        const std::string byte(1, static_cast<char>(b));
        const auto back = Utf8ToCp1251(Cp1251ToUtf8(byte));
        if (b == 0x98) {
            EXPECT_FALSE(back.has_value()) << "0x98 has no character in cp1251";
        } else {
            ASSERT_TRUE(back.has_value()) << b;
            EXPECT_EQ(*back, byte) << b;
        }
    }
}

TEST(Cp1251, CyrillicAndSignsMapToTheirBytesAndTheRestIsRefused) {
    EXPECT_EQ(*Utf8ToCp1251("Счётчик №5"),
              "\xD1\xF7\xB8\xF2\xF7\xE8\xEA \xB9"
              "5");
    for (const char* text : {"日本", "\xFF\xFE" /* invalid */, "\xD0" /* truncated */}) {
        EXPECT_FALSE(Utf8ToCp1251(text).has_value()) << text;
    }
}

TEST(Utf8, UpperCaseTurnsLatinAndCyrillicLetters) {
    EXPECT_EQ(Utf8ToUpper("kremu ёжик-1 Ѓ"), "KREMU ЁЖИК-1 Ѓ");
    EXPECT_EQ(Utf8ToUpper("\xFFz"), "\xFFZ") << "invalid bytes pass through";
}

TEST(TextHelpers, TrimBlankAndReplace) {
    EXPECT_EQ(Trim(std::string("\x01\t a b \r\n", 9)), "a b");
    EXPECT_TRUE(IsBlank(" \r\n\t"));
    EXPECT_FALSE(IsBlank(" x "));
    EXPECT_EQ(ReplaceAll("aaa", "aa", "b"), "ba");
    EXPECT_TRUE(EqualsNoCase("Value", "VALUE"));
    EXPECT_FALSE(EqualsNoCase("Value", "Values"));
}

TEST(VersionText, DropsZeroPartsAsTheTitleShowsThem) {
    EXPECT_EQ(VersionTextOf("0.3.24.0"), "0.3.24");
    EXPECT_EQ(VersionTextOf("1.2.0.7"), "1.2.2.7");
    EXPECT_EQ(VersionTextOf("1.2.3.4"), "1.2.3.2.4");
}

}  // namespace
}  // namespace zb::base
