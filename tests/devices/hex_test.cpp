// The hexadecimal helpers, the line-break convention and the record array.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "devices/value_formats.h"

namespace zb::devices {
namespace {

std::vector<uint8_t> Bytes(std::string_view hex, size_t max = 64) {
    return HexToBytes(hex, max);
}

TEST(HexHelpers, HexToIntIgnoresWhatIsNotADigit) {
    EXPECT_EQ(HexToInt(""), 0u);
    EXPECT_EQ(HexToInt("0001"), 1u);
    EXPECT_EQ(HexToInt("00ff"), 0xFFu);
    EXPECT_EQ(HexToInt("0x22"), 0x022u);
    EXPECT_EQ(HexToInt("1 2.3"), 0x123u);
    EXPECT_EQ(HexToInt("zz"), 0u);
    EXPECT_EQ(HexToInt("FFFFFFFFFFFFFFFF"), ~uint64_t{0});
    EXPECT_EQ(HexToInt("1FFFFFFFFFFFFFFFF"), ~uint64_t{0});  // wraps, never traps
}

TEST(HexHelpers, StrToHexReadsLittleEndianBytes) {
    EXPECT_EQ(StrToHex("0A"), 10u);
    EXPECT_EQ(StrToHex("3412"), 0x1234u);
    EXPECT_EQ(StrToHex("0102030405"), 0x0504030201u);
    EXPECT_EQ(StrToHex("78563412"), 0x12345678u);
    EXPECT_EQ(StrToHex("01000000"), 1u);
    EXPECT_EQ(StrToHex(""), 0u);
    EXPECT_EQ(StrToHex("ab"), 0xABu);
}

TEST(HexHelpers, StrToHexRefusesOtherCharacters) {
    for (const char* bad : {"0G", "12 34", "1.2", "-1", "ABZ"}) {
        try {
            StrToHex(bad);
            ADD_FAILURE() << bad;
        } catch (const EInvalidArgument& e) {
            EXPECT_EQ(std::string(e.what()),
                      std::string("Неправильный аргумент функции StrToHex: ") + bad);
        }
    }
}

TEST(HexHelpers, HexToBytesOrderAndPadding) {
    EXPECT_EQ(Bytes("01 02.03"), (std::vector<uint8_t>{0x03, 0x02, 0x01}));
    EXPECT_EQ(Bytes("ABC"), (std::vector<uint8_t>{0xAB, 0xC0}));
    EXPECT_EQ(Bytes("0a\r\n0B"), (std::vector<uint8_t>{0x0A, 0x0B}));
    EXPECT_EQ(Bytes(""), std::vector<uint8_t>{});
    EXPECT_EQ(Bytes("010203", 2), (std::vector<uint8_t>{0x01, 0x02}));

    uint8_t buffer[4] = {0xEE, 0xEE, 0xEE, 0xEE};
    EXPECT_EQ(HexToBytes("112233445566", buffer, 3), 3u);
    EXPECT_EQ(buffer[2], 0x33);
    EXPECT_EQ(buffer[3], 0xEE);  // nothing written past the count
}

TEST(HexHelpers, StrToVIDAlignsLeftAndReversesWithAPoint) {
    EXPECT_EQ(StrToVID("00010002"), 0x00010002u);
    EXPECT_EQ(StrToVID("0102"), 0x01020000u);
    EXPECT_EQ(StrToVID("0001.0002"), 0x02000100u);
    EXPECT_EQ(StrToVID(""), 0u);
    EXPECT_EQ(StrToVID("000100020003"), 0x00010002u);  // only four bytes are read
}

TEST(HexHelpers, BytesToHex) {
    const uint8_t bytes[] = {0x00, 0xAB, 0x0F};
    EXPECT_EQ(BytesToHex(bytes, 3), "00AB0F");
    EXPECT_EQ(BytesToHex(bytes, 3, " "), "00 AB 0F");
    EXPECT_EQ(BytesToHex(bytes, 0, " "), "");
}

TEST(LineBreaks, BothDirections) {
    EXPECT_EQ(BackslashToLineBreaks("a\\..\\b\\c"), "a\r\nb\r\nc");
    EXPECT_EQ(LineBreaksToBackslash("1\r\n2"), "1\\2");
    EXPECT_EQ(LineBreaksToBackslash("lone\rCR\nLF"), "lone\rCR\nLF");
    EXPECT_EQ(BackslashToLineBreaks(LineBreaksToBackslash("x\r\ny\r\n")), "x\r\ny\r\n");
}

TEST(RecordArray, GrowsAndRefusesBadIndexes) {
    TRecordArray array(8, "test");
    EXPECT_EQ(array.Capacity(), 256u);
    uint8_t record[8];
    for (int i = 0; i < 300; ++i) {
        std::memset(record, i & 0xFF, sizeof record);
        array.Add(record);
    }
    EXPECT_EQ(array.Count(), 300u);
    EXPECT_EQ(array.Capacity(), 512u);
    ASSERT_TRUE(array.Get(299, record));
    EXPECT_EQ(record[7], 299 & 0xFF);
    EXPECT_FALSE(array.Get(300, record));
    array.Clear();
    EXPECT_EQ(array.Count(), 0u);
    EXPECT_EQ(array.Capacity(), 256u);
    EXPECT_FALSE(array.Get(0, record));
}

}  // namespace
}  // namespace zb::devices
