// The hexadecimal helpers, the line-break convention and the record array.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "devices/value_formats.h"

namespace zb::devices {
namespace {

using Bytes = std::vector<uint8_t>;

TEST(HexHelpers, NumbersFromHexadecimalText) {
    // HexToInt skips what is not a digit and wraps rather than traps.
    const std::pair<const char*, uint64_t> hexToInt[] = {
        {"", 0}, {"00ff", 0xFF}, {"0x22", 0x22}, {"1 2.3", 0x123}, {"1FFFFFFFFFFFFFFFF", ~0ull}};
    for (const auto& [text, value] : hexToInt) {
        EXPECT_EQ(HexToInt(text), value) << text;
    }
    // StrToHex reads little-endian bytes.
    const std::pair<const char*, uint64_t> strToHex[] = {
        {"3412", 0x1234}, {"0102030405", 0x0504030201}, {"", 0}, {"ab", 0xAB}};
    for (const auto& [text, value] : strToHex) {
        EXPECT_EQ(StrToHex(text), value) << text;
    }
    for (const char* bad : {"0G", "12 34", "-1"}) {
        EXPECT_THROW(StrToHex(bad), EInvalidArgument) << bad;
    }
    try {
        StrToHex("0G");
    } catch (const EInvalidArgument& e) {
        EXPECT_STREQ(e.what(), "Неправильный аргумент функции StrToHex: 0G");
    }
    // StrToVID aligns left, reverses the halves around a point, and reads four bytes at most.
    const std::pair<const char*, uint32_t> strToVid[] = {{"00010002", 0x00010002},
                                                         {"0102", 0x01020000},
                                                         {"0001.0002", 0x02000100},
                                                         {"", 0},
                                                         {"000100020003", 0x00010002}};
    for (const auto& [text, value] : strToVid) {
        EXPECT_EQ(StrToVID(text), value) << text;
    }
}

TEST(HexHelpers, BytesBothWays) {
    EXPECT_EQ(HexToBytes("01 02.03", 64), (Bytes{0x03, 0x02, 0x01}));
    EXPECT_EQ(HexToBytes("ABC", 64), (Bytes{0xAB, 0xC0}));
    EXPECT_EQ(HexToBytes("0a\r\n0B", 64), (Bytes{0x0A, 0x0B}));
    EXPECT_EQ(HexToBytes("010203", 2), (Bytes{0x01, 0x02}));
    uint8_t buffer[4] = {0xEE, 0xEE, 0xEE, 0xEE};
    EXPECT_EQ(HexToBytes("112233445566", buffer, 3), 3u);
    EXPECT_EQ(Bytes(buffer, buffer + 4), (Bytes{0x11, 0x22, 0x33, 0xEE}));  // nothing past it

    const uint8_t bytes[] = {0x00, 0xAB, 0x0F};
    EXPECT_EQ(BytesToHex(bytes, 3), "00AB0F");
    EXPECT_EQ(BytesToHex(bytes, 3, " "), "00 AB 0F");
}

TEST(LineBreaks, BothDirections) {
    EXPECT_EQ(BackslashToLineBreaks("a\\..\\b\\c"), "a\r\nb\r\nc");
    EXPECT_EQ(LineBreaksToBackslash("1\r\n2\r\n"), "1\\2\\");
    EXPECT_EQ(LineBreaksToBackslash("lone\rCR\nLF"), "lone\rCR\nLF");
}

TEST(RecordArray, GrowsAndRefusesBadIndexes) {
    TRecordArray array(8, "test");
    uint8_t record[8];
    for (int i = 0; i < 300; ++i) {
        std::memset(record, i & 0xFF, sizeof record);
        array.Add(record);
    }
    ASSERT_TRUE(array.Get(299, record));
    EXPECT_EQ(record[7], 299 & 0xFF);
    EXPECT_FALSE(array.Get(300, record));
    array.Clear();
    EXPECT_FALSE(array.Get(0, record));
}

}  // namespace
}  // namespace zb::devices
