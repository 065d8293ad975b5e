// Encoding value texts into requests and decoding answers through the real base plug-in, loaded
// with dlopen: every type family, refusals, access levels, and concurrent use; the hexadecimal
// helpers and the record array beneath them. (The line-break convention is in the requests
// and round trips.)
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "catalogue_fixture.h"
#include "devices/value_formats.h"

namespace zb::devices {
namespace {

using Lines = std::vector<std::string>;

// One variable per data type family of device type 0007, readable and writable at level 0, and
// a few with other access levels: {VID low word, name, type code, more attributes}.
std::string TypesDescription() {
    // clang-format off
    const char* const vars[][4] = {
        {"0000", "Flag", "00", ""},       {"0001", "FlagX", "01", "VarLen=\"2\""},
        {"0002", "MFlag", "02", "VarLen=\"1\""}, {"0003", "BitRec", "03", ""},
        {"0011", "Byte", "11", ""},       {"0012", "Byte2", "12", ""},
        {"0014", "Frame", "14", "VarLen=\"8\""}, {"0021", "U8", "21", ""},
        {"0022", "U16", "22", ""},        {"0023", "U24", "23", ""},
        {"0024", "U32", "24", ""},        {"0028", "Bool", "28", ""},
        {"002A", "Time", "2A", ""},       {"002B", "Utc", "2B", ""},
        {"0031", "I8", "31", ""},         {"0033", "I24", "33", ""},
        {"0034", "I32", "34", ""},        {"0041", "F32", "41", ""},
        {"0042", "F64", "42", ""},        {"0050", "Str", "50", "VarLen=\"10\""},
        {"0051", "StrBytes", "51", "VarLen=\"4\""},
        {"0060", "Func", "60", "WAL=\"8\" VarCount=\"2\""}, {"0099", "Huge", "12345", ""},
        {"0077", "Unknown", "77", "VarLen=\"3\""}, {"0100", "Triple", "22", "VarCount=\"3\""},
        {"0200", "Read2", "21", "RAL=\"2\" WAL=\"8\""},
        {"0201", "Write3", "21", "RAL=\"8\" WAL=\"3\""},
        {"0202", "User", "21", "RAL=\"1\" WAL=\"1\""},
        {"0203", "None", "21", "RAL=\"8\" WAL=\"8\""},
        {"0204", "Odd", "21", "RAL=\"12\" WAL=\"-1\""}};
    // clang-format on
    std::string text = "  <ExtensionTitle Value=\"Типы\"/>\r\n";
    for (const auto& v : vars) {
        const std::string more = v[3];
        text += std::string("  <var VID=\"0007") + v[0] + "\" Name=\"" + v[1] + "\" TypeCode=\"" +
                v[2] + "\" " + more + (more.find("RAL") == std::string::npos ? " RAL=\"0\"" : "") +
                (more.find("WAL") == std::string::npos ? " WAL=\"0\"" : "") + "/>\r\n";
    }
    return text;
}

class ValuesTest : public CatalogueTest {
  protected:
    void SetUp() override {
        CatalogueTest::SetUp();
        WriteDescription("0000", "  <var VID=\"00000001\" Name=\"S\" RAL=\"0\"/>\r\n");
        WriteDescription("0007", TypesDescription());
        Load();
    }

    // The value part of a write request: the request without its identifier word.
    static std::string Payload(const std::string& request) {
        return request.size() > 8 ? request.substr(8) : std::string();
    }
    // Writes `text`, then decodes the request's value bytes as an answer.
    std::string RoundTrip(const std::string& title, const std::string& text) {
        const std::string request = EncodeVarValue(title, text);
        EXPECT_FALSE(request.empty()) << title << " = " << text;
        return DecodeVarAnswer(title, Payload(request));
    }
};

struct Row {
    std::string title, text, expected;
};

TEST_F(ValuesTest, RequestsAreLittleEndianAndPadded) {
    const Row rows[] = {
        // Reads carry the identifier; function types take their arguments, one 32-bit word
        // each, before the "?"; more than VarCount of them, or one not a number, is refused.
        {"0007.U16", " ?\r\n", "22000700"},
        {"0007.Func", "5\\-1\\?", "6000070005000000FFFFFFFF"},
        {"0007.Func", "1\r\n2\r\n3\r\n?", ""},
        {"0007.Func", "x\r\n?", ""},
        {"0007.Nothing", "?", ""},
        // Writes: the identifier, then the value.
        {"0007.U16", "4660", "2200070034120000"},
        {"0007.I32", "-2", "34000700FEFFFFFF"},
        {"0007.Time", "01.01.2000 00:00:10", "2A0007000A000000"},
        {"0007.Str", "AB", "5000070002414200"},
        // Masked flags: the value bits, then a mask of the bits given; "x" leaves a bit alone.
        {"0007.MFlag", "1x0x", "02000700080A0000"},
        // A value of several elements: one per line.
        {"0007.Triple", "1\\2\\3", "000107000100020003000000"},
        // A question mark inside a value makes it a write.
        {"0007.Str", "Why?", "50000700045768793F000000"}};
    for (const Row& row : rows) {
        EXPECT_EQ(EncodeVarValue(row.title, row.text), row.expected)
            << row.title << " " << row.text;
    }
    EXPECT_EQ(Var("0007.Str").Text(), "Why?\r\n");
}

// One value per type family, at the bounds of its range where it has them.
// clang-format off
const std::pair<const char*, const char*> kRoundTrips[] = {
    {"0007.Flag", "1"}, {"0007.FlagX", "0000000100100011"}, {"0007.BitRec", "10000001"},
    {"0007.Byte", "AB"}, {"0007.Byte2", "ABCD"}, {"0007.Frame", "0102030405060708"},
    {"0007.U8", "255"}, {"0007.U16", "65535"}, {"0007.U24", "16777215"},
    {"0007.U32", "4294967295"}, {"0007.I8", "-128"}, {"0007.I24", "-8388608"},
    {"0007.I32", "-2147483648"}, {"0007.I32", "2147483647"}, {"0007.Time", "29.02.2024 13:45:07"},
    {"0007.Time", "01.01.2000 00:00:00"}, {"0007.Utc", "07.02.2136 06:28:15 UTC"},
    {"0007.F32", "230.5"}, {"0007.F64", "1e-300"}, {"0007.Str", "Тест"},
    {"0007.StrBytes", "DEADBEEF"}, {"0007.Unknown", "0A0B0C"}, {"0007.Triple", "1\r\n2\r\n65535"}};
// clang-format on

TEST_F(ValuesTest, EveryTypeFamilyRoundTrips) {
    for (const auto& [title, text] : kRoundTrips) {
        EXPECT_EQ(RoundTrip(title, text), text) << title;
    }
    // Shorter forms come back in the full form.
    const Row shorter[] = {{"0007.FlagX", "101", "0000000000000101"},
                           {"0007.Bool", "TRUE", "1"},
                           {"0007.F64", "1,5", "1.5"},
                           {"0007.U8", "+7", "7"},
                           {"0007.Time", "02.03.2024", "02.03.2024 00:00:00"}};
    for (const Row& row : shorter) {
        EXPECT_EQ(RoundTrip(row.title, row.text), row.expected) << row.title;
    }
}

TEST_F(ValuesTest, AnswersDecodeIntoReadableText) {
    const Row rows[] = {
        {"0007.Func", "0100000002000000", "00000001\r\n00000002"},
        {"0007.Bool", "07", "1"},
        {"0007.Huge", "0102", "01020000"},  // unknown type: hexadecimal
        {"0007.MFlag", "08", "00001000"},
        // Extra bytes after the value (padding to a whole word) are not part of it.
        {"0007.U8", "FF000000", "255"},
        // An answer too short for the value, or a string whose length runs past the answer,
        // reads as the answer's bytes; so do errors and answers of unknown variables.
        {"0007.F64", "0000803F", "0000803F"},
        {"0007.Str", "09414243", "09414243"},
        {"0007.Str", "0B" + std::string(22, '4'), "0B" + std::string(22, '4')},
        {"0007.Triple", "01000200", "01000200"},
        {"0007.U16", "ERR!05", "ERR!05"},
        {"0099.Nothing", "0102", "0102"},
        {"0007.U16", "", ""}};
    for (const Row& row : rows) {
        EXPECT_EQ(DecodeVarAnswer(row.title, row.text), row.expected)
            << row.title << " " << row.text;
    }
    // 1020 bytes fit the answer's one-byte word count; 1021 do not and are not cut.
    EXPECT_EQ(DecodeVarAnswer("0007.Unknown", std::string(2 * kMaxAnswerBytes, 'A')), "AAAAAA");
    const std::string tooLong(2 * kMaxAnswerBytes + 2, 'A');
    testing::LogRecorder log;
    EXPECT_EQ(DecodeVarAnswer("0007.Unknown", tooLong), tooLong);
    EXPECT_EQ(log.lines(),
              (Lines{"0007.Unknown - ответ длиннее 1020 байт, значение не расшифровано."}));
}

TEST_F(ValuesTest, ValuesThatDoNotFitAreRefusedWithAFormatError) {
    // clang-format off
    const std::pair<std::string, std::string> refused[] = {
        {"0007.U8", "256"}, {"0007.U8", "-1"}, {"0007.U8", "abc"}, {"0007.U8", ""},
        {"0007.U16", "65536"}, {"0007.U32", "4294967296"}, {"0007.I8", "-129"},
        {"0007.I24", "8388608"}, {"0007.Flag", "2"}, {"0007.Bool", "yes"},
        {"0007.FlagX", "12"}, {"0007.FlagX", "10000000000000000"}, {"0007.MFlag", "x000000000"},
        {"0007.Byte2", "ABC"}, {"0007.Byte2", "XY12"}, {"0007.F32", "1e39"}, {"0007.F32", "nan"},
        {"0007.F64", "1.5.5"}, {"0007.Time", "31.02.2024 00:00:00"},
        {"0007.Time", "01.01.1999 00:00:00"}, {"0007.Time", "01.01.2024 24:00:00"},
        {"0007.Utc", "08.02.2136 00:00:00"}, {"0007.Str", "Слишком длинно"},
        {"0007.StrBytes", "0102030405"}, {"0007.Unknown", "0A0B"}, {"0007.Triple", "1\r\n2"},
        {"0007.Triple", "1\r\n2\r\n3\r\n4"},
        {"0007.Unknown", std::string(300, 'A')}};  // longer than an argument slot: not cut
    // clang-format on
    for (const auto& [title, text] : refused) {
        testing::LogRecorder log;
        EXPECT_EQ(EncodeVarValue(title, text), "") << title << " = " << text;
        EXPECT_EQ(log.lines(), (Lines{title + " - ошибка формата!"})) << title << " = " << text;
    }
}

TEST_F(ValuesTest, ThePlugInSeesTheAccessModeOfTheLevel) {
    // Read level 2 gives mode 2, level 1 mode 1, write level 3 (factory) mode 0. Blanks around
    // the parts of an assignment are fine.
    TTransactionObjectArray records;
    ASSERT_TRUE(ApplyVarAssignment("0007.Read2 = ?", 0, 2, records));
    ASSERT_TRUE(ApplyVarAssignment("  0007.Write3  =  9  ", 77, 3, records));
    ASSERT_TRUE(ApplyVarAssignment("0007.User = ?", 0, 1, records));
    ZbTransaction read{}, write{}, user{};
    ASSERT_TRUE(records.Get(0, read) && records.Get(1, write) && records.Get(2, user));
    EXPECT_EQ(
        (std::vector<int>{read.access_mode, read.direction, write.access_mode, write.direction,
                          write.request[4], int(write.completion), user.access_mode}),
        (std::vector<int>{2, ZB_DIRECTION_READ, 0, ZB_DIRECTION_WRITE, 9, 77, 1}));
    EXPECT_EQ(read.var, nullptr);  // the settings pointer does not outlive the call
    EXPECT_EQ(Var("0007.Write3").Text() + Var("0007.Write3").OpRes(), "9\r\n***");

    // Level 8 (and anything outside 0..3): no request and no message.
    testing::LogRecorder log;
    const std::pair<const char*, const char*> refused[] = {
        {"0007.None", "?"}, {"0007.Read2", "1"}, {"0007.Write3", "?"}, {"0007.Odd", "1"}};
    for (const auto& [title, text] : refused) {
        EXPECT_EQ(EncodeVarValue(title, text), "") << title << " " << text;
    }
    EXPECT_TRUE(log.lines().empty());
}

TEST_F(ValuesTest, EncodingAndDecodingFromManyThreadsAtOnce) {
    std::vector<std::string> requests;
    for (const auto& [title, text] : kRoundTrips) {
        requests.push_back(EncodeVarValue(title, text));
    }
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (size_t t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (size_t i = 0; i < 300; ++i) {
                const auto& [title, text] = kRoundTrips[(t + i) % requests.size()];
                const std::string& request = requests[(t + i) % requests.size()];
                failures += EncodeVarValue(title, text) != request ||
                            DecodeVarAnswer(title, Payload(request)) != text ||
                            EncodeVarValue(title, "?").size() != 8;
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(failures.load(), 0);
}

// The hexadecimal helpers, the line-break convention and the record array.
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

TEST(LineBreaks, BackslashesBothWaysAndLoneBreaksKept) {
    EXPECT_EQ(BackslashToLineBreaks("a\\..\\b\\c"), "a\r\nb\r\nc");
    EXPECT_EQ(LineBreaksToBackslash("1\r\n2\r\nlone\rCR\nLF"), "1\\2\\lone\rCR\nLF");
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
