// The helpers every layer shares: cp1251 and UTF-8 texts, dates and the clock, and the log.
#include <gtest/gtest.h>
#include <thread>

#include "base/clock.h"
#include "base/log.h"
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

TEST(DateTime, DayCountStartsAt1899_12_30AndHalvesRoundToEven) {
    EXPECT_DOUBLE_EQ(ToDateTime({1899, 12, 30, 0, 0, 0, 0}), 0.0);
    EXPECT_DOUBLE_EQ(ToDateTime({2000, 1, 1, 12, 0, 0, 0}), 36526.5);
    const auto t = FromDateTime(ToDateTime({2026, 3, 7, 9, 5, 3, 999}));
    EXPECT_EQ(FormatDateTime(t) + "." + std::to_string(t.millisecond), "07.03.2026 9:05:03.999");
    const std::pair<double, int64_t> halves[] = {
        {0.5, 0}, {1.5, 2}, {2.5, 2}, {-0.5, 0}, {2.51, 3}};
    for (const auto& [value, rounded] : halves) {
        EXPECT_EQ(RoundHalfEven(value), rounded) << value;
    }
}

TEST(Log, LinesCarryTheTimeAndArriveWholeInCallOrderFromManyThreads) {
    Clock::SetSource([] { return FromLocal({2026, 1, 2, 7, 8, 9, 0}); });
    EXPECT_EQ(LocalNow().hour, 7);
    std::vector<std::string> lines;
    SetLogSink([&lines](const std::string& line) { lines.push_back(line); });
    LogLine("first");
    EXPECT_EQ(lines.at(0), "7:08:09: first");

    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < 500; ++i) {
                LogLine("thread " + std::to_string(t) + " line " + std::to_string(i));
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    SetLogSink(nullptr);
    Clock::SetSource(nullptr);
    EXPECT_GT(LocalNow().year, 2020);
    // Each thread's lines appear whole and in the order that thread wrote them.
    std::vector<int> next(4, 0);
    for (size_t i = 1; i < lines.size(); ++i) {
        int t = -1, n = -1;
        ASSERT_EQ(std::sscanf(lines[i].c_str(), "7:08:09: thread %d line %d", &t, &n), 2)
            << lines[i];
        EXPECT_EQ(n, next[t]++);
    }
    EXPECT_EQ(next, std::vector<int>(4, 500));
}

}  // namespace
}  // namespace zb::base
