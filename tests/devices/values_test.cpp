// Encoding value texts into requests and decoding answers through the real base plug-in, loaded
// with dlopen: every type family, refusals, access levels, and concurrent use.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "catalogue_fixture.h"
#include "devices/value_formats.h"

namespace zb::devices {
namespace {

using Lines = std::vector<std::string>;

// One variable per data type family of device type 0007; all readable and writable at level 0.
const char* const kTypes =
    "  <ExtensionTitle Value=\"Типы\"/>\r\n"
    "  <var VID=\"00070000\" Name=\"Flag\" RAL=\"0\" WAL=\"0\" TypeCode=\"00\"/>\r\n"
    "  <var VID=\"00070001\" Name=\"FlagX\" RAL=\"0\" WAL=\"0\" TypeCode=\"01\" VarLen=\"2\"/>\r\n"
    "  <var VID=\"00070002\" Name=\"MFlag\" RAL=\"0\" WAL=\"0\" TypeCode=\"02\" VarLen=\"1\"/>\r\n"
    "  <var VID=\"00070003\" Name=\"BitRec\" RAL=\"0\" WAL=\"0\" TypeCode=\"03\"/>\r\n"
    "  <var VID=\"00070011\" Name=\"Byte\" RAL=\"0\" WAL=\"0\" TypeCode=\"11\"/>\r\n"
    "  <var VID=\"00070012\" Name=\"Byte2\" RAL=\"0\" WAL=\"0\" TypeCode=\"12\"/>\r\n"
    "  <var VID=\"00070014\" Name=\"Frame\" RAL=\"0\" WAL=\"0\" TypeCode=\"14\" VarLen=\"8\"/>\r\n"
    "  <var VID=\"00070021\" Name=\"U8\" RAL=\"0\" WAL=\"0\" TypeCode=\"21\"/>\r\n"
    "  <var VID=\"00070022\" Name=\"U16\" RAL=\"0\" WAL=\"0\" TypeCode=\"22\"/>\r\n"
    "  <var VID=\"00070023\" Name=\"U24\" RAL=\"0\" WAL=\"0\" TypeCode=\"23\"/>\r\n"
    "  <var VID=\"00070024\" Name=\"U32\" RAL=\"0\" WAL=\"0\" TypeCode=\"24\"/>\r\n"
    "  <var VID=\"00070028\" Name=\"Bool\" RAL=\"0\" WAL=\"0\" TypeCode=\"28\"/>\r\n"
    "  <var VID=\"00070029\" Name=\"Event\" RAL=\"0\" WAL=\"0\" TypeCode=\"29\"/>\r\n"
    "  <var VID=\"0007002A\" Name=\"Time\" RAL=\"0\" WAL=\"0\" TypeCode=\"2A\"/>\r\n"
    "  <var VID=\"0007002B\" Name=\"Utc\" RAL=\"0\" WAL=\"0\" TypeCode=\"2B\"/>\r\n"
    "  <var VID=\"00070031\" Name=\"I8\" RAL=\"0\" WAL=\"0\" TypeCode=\"31\"/>\r\n"
    "  <var VID=\"00070032\" Name=\"I16\" RAL=\"0\" WAL=\"0\" TypeCode=\"32\"/>\r\n"
    "  <var VID=\"00070033\" Name=\"I24\" RAL=\"0\" WAL=\"0\" TypeCode=\"33\"/>\r\n"
    "  <var VID=\"00070034\" Name=\"I32\" RAL=\"0\" WAL=\"0\" TypeCode=\"34\"/>\r\n"
    "  <var VID=\"00070041\" Name=\"F32\" RAL=\"0\" WAL=\"0\" TypeCode=\"41\"/>\r\n"
    "  <var VID=\"00070042\" Name=\"F64\" RAL=\"0\" WAL=\"0\" TypeCode=\"42\"/>\r\n"
    "  <var VID=\"00070050\" Name=\"Str\" RAL=\"0\" WAL=\"0\" TypeCode=\"50\" VarLen=\"10\"/>\r\n"
    "  <var VID=\"00070051\" Name=\"StrBytes\" RAL=\"0\" WAL=\"0\" TypeCode=\"51\" "
    "VarLen=\"4\"/>\r\n"
    "  <var VID=\"00070060\" Name=\"Func\" RAL=\"0\" WAL=\"8\" TypeCode=\"60\" VarCount=\"2\"/>\r\n"
    "  <var VID=\"00070068\" Name=\"LFunc\" RAL=\"0\" WAL=\"8\" TypeCode=\"68\"/>\r\n"
    "  <var VID=\"00070077\" Name=\"Unknown\" RAL=\"0\" WAL=\"0\" TypeCode=\"77\" "
    "VarLen=\"3\"/>\r\n"
    "  <var VID=\"00070099\" Name=\"Huge\" RAL=\"0\" WAL=\"0\" TypeCode=\"12345\"/>\r\n"
    "  <var VID=\"00070100\" Name=\"Triple\" RAL=\"0\" WAL=\"0\" TypeCode=\"22\" "
    "VarCount=\"3\"/>\r\n"
    "  <var VID=\"00070200\" Name=\"Read2\" RAL=\"2\" WAL=\"8\" TypeCode=\"21\"/>\r\n"
    "  <var VID=\"00070201\" Name=\"Write3\" RAL=\"8\" WAL=\"3\" TypeCode=\"21\"/>\r\n"
    "  <var VID=\"00070202\" Name=\"User\" RAL=\"1\" WAL=\"1\" TypeCode=\"21\"/>\r\n"
    "  <var VID=\"00070203\" Name=\"None\" RAL=\"8\" WAL=\"8\" TypeCode=\"21\"/>\r\n"
    "  <var VID=\"00070204\" Name=\"Odd\" RAL=\"12\" WAL=\"-1\" TypeCode=\"21\"/>\r\n";

class ValuesTest : public CatalogueTest {
  protected:
    void SetUp() override {
        CatalogueTest::SetUp();
        WriteDescription("0000",
                         "  <var VID=\"00000001\" Name=\"SerialNumber\" RAL=\"0\" "
                         "TypeCode=\"50\" VarLen=\"16\"/>\r\n");
        WriteDescription("0007", kTypes);
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

TEST_F(ValuesTest, ReadRequestsCarryTheIdentifier) {
    EXPECT_EQ(EncodeVarValue("0007.U16", "?"), "22000700");
    EXPECT_EQ(EncodeVarValue("0007.U16", " ?\r\n"), "22000700");
    EXPECT_EQ(EncodeVarValue("0000.SerialNumber", "?"), "01000000");
    // Function types take their arguments, one 32-bit word each, before the "?".
    EXPECT_EQ(EncodeVarValue("0007.Func", "5\r\n?"), "6000070005000000");
    EXPECT_EQ(EncodeVarValue("0007.Func", "5\\-1\\?"), "6000070005000000FFFFFFFF");
    EXPECT_EQ(EncodeVarValue("0007.LFunc", "?"), "68000700");
    EXPECT_EQ(EncodeVarValue("0007.Func", "1\r\n2\r\n3\r\n?"), "");  // more than VarCount
    EXPECT_EQ(EncodeVarValue("0007.Func", "x\r\n?"), "");
    EXPECT_EQ(EncodeVarValue("0007.Nothing", "?"), "");
}

TEST_F(ValuesTest, WriteRequestsAreLittleEndianAndPadded) {
    EXPECT_EQ(EncodeVarValue("0007.U16", "4660"), "2200070034120000");
    EXPECT_EQ(EncodeVarValue("0007.I32", "-2"), "34000700FEFFFFFF");
    EXPECT_EQ(EncodeVarValue("0007.Time", "01.01.2000 00:00:10"), "2A0007000A000000");
    EXPECT_EQ(EncodeVarValue("0007.Str", "AB"), "5000070002414200");
    EXPECT_EQ(EncodeVarValue("0007.F32", "1"), "410007000000803F");
    EXPECT_EQ(EncodeVarValue("0007.Frame", "0102030405060708"), "140007000102030405060708");
    // Masked flags: the value bits, then a mask of the bits given; "x" leaves a bit alone.
    EXPECT_EQ(EncodeVarValue("0007.MFlag", "1x0x"),
              "0200070008"
              "0A0000");
    // A value of several elements: one per line.
    EXPECT_EQ(EncodeVarValue("0007.Triple", "1\\2\\3"), "000107000100020003000000");
}

TEST_F(ValuesTest, EveryTypeFamilyRoundTrips) {
    const std::pair<const char*, const char*> cases[] = {
        {"0007.Flag", "1"},
        {"0007.FlagX", "0000000100100011"},
        {"0007.BitRec", "10000001"},
        {"0007.Byte", "AB"},
        {"0007.Byte2", "ABCD"},
        {"0007.Frame", "0102030405060708"},
        {"0007.U8", "255"},
        {"0007.U16", "65535"},
        {"0007.U24", "16777215"},
        {"0007.U32", "4294967295"},
        {"0007.I8", "-128"},
        {"0007.I16", "-32768"},
        {"0007.I24", "-8388608"},
        {"0007.I32", "-2147483648"},
        {"0007.I32", "2147483647"},
        {"0007.Bool", "1"},
        {"0007.Event", "42"},
        {"0007.Time", "29.02.2024 13:45:07"},
        {"0007.Time", "01.01.2000 00:00:00"},
        {"0007.Utc", "07.02.2136 06:28:15 UTC"},
        {"0007.F32", "230.5"},
        {"0007.F32", "-0.001"},
        {"0007.F64", "12345.678"},
        {"0007.F64", "1e-300"},
        {"0007.Str", "Тест"},
        {"0007.StrBytes", "DEADBEEF"},
        {"0007.Unknown", "0A0B0C"},
        {"0007.Triple", "1\r\n2\r\n65535"},
    };
    for (const auto& [title, text] : cases) {
        EXPECT_EQ(RoundTrip(title, text), text) << title;
    }
    // Shorter forms come back in the full form.
    EXPECT_EQ(RoundTrip("0007.FlagX", "101"), "0000000000000101");
    EXPECT_EQ(RoundTrip("0007.Bool", "TRUE"), "1");
    EXPECT_EQ(RoundTrip("0007.F64", "1,5"), "1.5");
    EXPECT_EQ(RoundTrip("0007.U8", "+7"), "7");
    EXPECT_EQ(RoundTrip("0007.Time", "02.03.2024"), "02.03.2024 00:00:00");
}

TEST_F(ValuesTest, AnswersDecodeIntoReadableText) {
    EXPECT_EQ(DecodeVarAnswer("0007.Func", "0100000002000000"), "00000001\r\n00000002");
    EXPECT_EQ(DecodeVarAnswer("0007.Str", "03414243"), "ABC");
    EXPECT_EQ(DecodeVarAnswer("0007.Bool", "07"), "1");
    EXPECT_EQ(DecodeVarAnswer("0007.Time", "0A000000"), "01.01.2000 00:00:10");
    EXPECT_EQ(DecodeVarAnswer("0007.Huge", "0102"), "01020000");  // unknown type: hexadecimal
    EXPECT_EQ(DecodeVarAnswer("0007.MFlag", "08"), "00001000");
    // Extra bytes after the value (padding to a whole word) are not part of it.
    EXPECT_EQ(DecodeVarAnswer("0007.U8", "FF000000"), "255");
    // An answer too short for the value, or a string whose length runs past the answer, reads
    // as the answer's bytes.
    EXPECT_EQ(DecodeVarAnswer("0007.F64", "0000803F"), "0000803F");
    EXPECT_EQ(DecodeVarAnswer("0007.Str", "09414243"), "09414243");
    EXPECT_EQ(DecodeVarAnswer("0007.Str", "0B" + std::string(22, '4')),
              "0B" + std::string(22, '4'));
    EXPECT_EQ(DecodeVarAnswer("0007.Triple", "01000200"), "01000200");
}

TEST_F(ValuesTest, DecodeKeepsErrorsUnknownsAndOversizedAnswers) {
    EXPECT_EQ(DecodeVarAnswer("0007.U16", "ERR!05"), "ERR!05");
    EXPECT_EQ(DecodeVarAnswer("0099.Nothing", "0102"), "0102");
    EXPECT_EQ(DecodeVarAnswer("0007.U16", ""), "");

    // 1020 bytes fit the answer's one-byte word count; 1021 do not and are not cut.
    const std::string fits(2 * kMaxAnswerBytes, 'A');
    EXPECT_EQ(DecodeVarAnswer("0007.Unknown", fits), "AAAAAA");
    const std::string tooLong(2 * kMaxAnswerBytes + 2, 'A');
    testing::LogRecorder log;
    EXPECT_EQ(DecodeVarAnswer("0007.Unknown", tooLong), tooLong);
    EXPECT_EQ(log.lines(),
              (Lines{"0007.Unknown - ответ длиннее 1020 байт, значение не расшифровано."}));
}

TEST_F(ValuesTest, ValuesThatDoNotFitAreRefusedWithAFormatError) {
    const std::pair<const char*, const char*> refused[] = {
        {"0007.U8", "256"},
        {"0007.U8", "-1"},
        {"0007.U8", "abc"},
        {"0007.U8", "1 2"},
        {"0007.U8", ""},
        {"0007.U16", "65536"},
        {"0007.U32", "4294967296"},
        {"0007.I8", "-129"},
        {"0007.I8", "128"},
        {"0007.I24", "8388608"},
        {"0007.Flag", "2"},
        {"0007.Bool", "yes"},
        {"0007.FlagX", "12"},
        {"0007.FlagX", "10000000000000000"},
        {"0007.MFlag", "x000000000"},
        {"0007.Byte2", "ABC"},
        {"0007.Byte2", "ABCDEF"},
        {"0007.Byte2", "XY12"},
        {"0007.F32", "1e39"},
        {"0007.F32", "nan"},
        {"0007.F64", "inf"},
        {"0007.F64", "1.5.5"},
        {"0007.Time", "31.02.2024 00:00:00"},
        {"0007.Time", "01.01.1999 00:00:00"},
        {"0007.Time", "01.01.2024 24:00:00"},
        {"0007.Time", "2024-01-01"},
        {"0007.Utc", "08.02.2136 00:00:00"},
        {"0007.Str", "Слишком длинно"},
        {"0007.StrBytes", "0102030405"},
        {"0007.Unknown", "0A0B"},
        {"0007.Triple", "1\r\n2"},
        {"0007.Triple", "1\r\n2\r\n3\r\n4"},
    };
    for (const auto& [title, text] : refused) {
        testing::LogRecorder log;
        EXPECT_EQ(EncodeVarValue(title, text), "") << title << " = " << text;
        EXPECT_EQ(log.lines(), (Lines{std::string(title) + " - ошибка формата!"}))
            << title << " = " << text;
    }
}

TEST_F(ValuesTest, ArgumentsLongerThanASlotAreRefusedNotCut) {
    testing::LogRecorder log;
    EXPECT_EQ(EncodeVarValue("0007.Unknown", std::string(300, 'A')), "");
    EXPECT_EQ(log.lines(), (Lines{"0007.Unknown - ошибка формата!"}));
}

TEST_F(ValuesTest, AQuestionMarkInsideAValueIsAWrite) {
    // The write level applies, and the text is written, not read.
    TVar& str = Var("0007.Str");
    EXPECT_EQ(EncodeVarValue("0007.Str", "Why?"),
              "50000700"
              "04576879"
              "3F000000");
    EXPECT_EQ(str.Text(), "Why?\r\n");
}

TEST_F(ValuesTest, AccessModesFollowTheLevels) {
    TTransactionObjectArray records;
    ZbTransaction record{};

    // Read level 2: mode 2; write level 3 (factory): mode 0.
    ASSERT_TRUE(ApplyVarAssignment("0007.Read2 = ?", 0, 2, records));
    ASSERT_TRUE(records.Get(0, record));
    EXPECT_EQ(record.access_mode, 2);
    EXPECT_EQ(record.direction, ZB_DIRECTION_READ);
    EXPECT_EQ(record.request_built, 1);
    EXPECT_EQ(record.vid, 0x00070200u);
    EXPECT_EQ(record.var, nullptr);  // the settings pointer does not outlive the call
    ASSERT_TRUE(ApplyVarAssignment("0007.Write3 = 9", 0, 3, records));
    ASSERT_TRUE(records.Get(1, record));
    EXPECT_EQ(record.access_mode, 0);
    EXPECT_EQ(record.direction, ZB_DIRECTION_WRITE);
    EXPECT_EQ(record.request_words, 2);
    EXPECT_EQ(record.request[4], 9);
    ASSERT_TRUE(ApplyVarAssignment("0007.User = 1", 0, 1, records));
    ASSERT_TRUE(records.Get(2, record));
    EXPECT_EQ(record.access_mode, 1);

    // A higher operator level gives its own mode when the variable's mode is not 0.
    EXPECT_EQ(CheckAccess(Var("0007.Read2"), "?", 3), 0);
    EXPECT_EQ(CheckAccess(Var("0007.User"), "?", 2), 2);
    EXPECT_EQ(CheckAccess(Var("0007.Write3"), "", 3), 0);
    EXPECT_EQ(records.Count(), 3u);
}

TEST_F(ValuesTest, LevelsWithoutAccessAreRefused) {
    testing::LogRecorder log;
    // Level 8 (and anything outside 0..3): no request and no message.
    EXPECT_EQ(EncodeVarValue("0007.None", "?"), "");
    EXPECT_EQ(EncodeVarValue("0007.None", "1"), "");
    EXPECT_EQ(EncodeVarValue("0007.Read2", "1"), "");
    EXPECT_EQ(EncodeVarValue("0007.Write3", "?"), "");
    EXPECT_EQ(EncodeVarValue("0007.Odd", "?"), "");
    EXPECT_EQ(EncodeVarValue("0007.Odd", "1"), "");
    EXPECT_TRUE(log.lines().empty());
    EXPECT_EQ(CheckAccess(Var("0007.None"), "?", 8), -1);
    EXPECT_TRUE(log.lines().empty());

    // An operator below the level needed is told so.
    TTransactionObjectArray records;
    EXPECT_FALSE(ApplyVarAssignment("0007.Read2 = ?", 0, 1, records));
    EXPECT_EQ(log.lines(),
              (Lines{"0007.Read2 - уровень доступа недостаточен, операция невозможна."}));
    EXPECT_EQ(records.Count(), 0u);
}

TEST_F(ValuesTest, AssignmentAndOperationEdges) {
    TTransactionObjectArray records;
    EXPECT_FALSE(ApplyVarAssignment("0007.U8 ?", 0, 0, records));  // no "="
    EXPECT_FALSE(ApplyVarAssignment("0007.Nope = 1", 0, 0, records));
    EXPECT_FALSE(ExecuteVarOperation({}, 0, 0, records));
    EXPECT_EQ(records.Count(), 0u);

    ASSERT_TRUE(ApplyVarAssignment("  0007.U8  =  12  ", 77, 0, records));
    ZbTransaction record{};
    ASSERT_TRUE(records.Get(0, record));
    EXPECT_EQ(record.completion, 77u);
    EXPECT_EQ(Var("0007.U8").Text(), "12\r\n");
    EXPECT_EQ(Var("0007.U8").OpRes(), "***");

    // A read marks the text pending, keeping its line count.
    Var("0007.Triple").SetText("1\r\n2\r\n3\r\n");
    ASSERT_TRUE(ApplyVarAssignment("0007.Triple = ?", 0, 0, records));
    EXPECT_EQ(Var("0007.Triple").Text(), "***\r\n\r\n\r\n");

    // Operations outside EncodeVarValue land in the program's list.
    Transactions().Clear();
    ASSERT_TRUE(ApplyVarAssignment("0007.U8 = ?", 0, 0));
    EXPECT_EQ(Transactions().Count(), 1u);
    Transactions().Clear();
}

TEST_F(ValuesTest, EncodingAndDecodingFromManyThreadsAtOnce) {
    struct Case {
        std::string title, text, request, decoded;
    };
    std::vector<Case> cases;
    for (const auto& [title, text] :
         std::vector<std::pair<std::string, std::string>>{{"0007.U16", "4660"},
                                                          {"0007.F64", "12345.678"},
                                                          {"0007.Str", "Тест"},
                                                          {"0007.Time", "29.02.2024 13:45:07"},
                                                          {"0007.Triple", "1\r\n2\r\n3"},
                                                          {"0007.I32", "-5"}}) {
        const std::string request = EncodeVarValue(title, text);
        cases.push_back({title, text, request, DecodeVarAnswer(title, Payload(request))});
        ASSERT_EQ(cases.back().decoded, text);
    }
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 300; ++i) {
                const Case& c = cases[(t + i) % cases.size()];
                if (t % 2 == 0) {
                    if (EncodeVarValue(c.title, c.text) != c.request) {
                        ++failures;
                    }
                } else if (DecodeVarAnswer(c.title, Payload(c.request)) != c.decoded) {
                    ++failures;
                }
                if (EncodeVarValue(c.title, "?").size() != 8) {
                    ++failures;
                }
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(failures.load(), 0);
}

TEST_F(ValuesTest, TheFunctionsTheServerDoesNotCallWorkToo) {
    const ZbVarSettings settings = Var("0007.U16").PlugInSettings();
    ZbTransaction record{};
    record.var = &settings;
    const TVarProcs& procs = Var("0007.U16").Procs();
    EXPECT_EQ(std::string(procs.ED(&record)),
              "uint16\x01"
              "0..65535");
    EXPECT_EQ(std::string(procs.WD(&record)), "uint16\x01OK");
    ZbArgSlot slot{};
    EXPECT_EQ(procs.ALC(&record, &slot, -1), 1);
    // A record without settings is refused rather than read through a null pointer.
    record.var = nullptr;
    EXPECT_EQ(procs.RE(&record, &slot, -1), 0);
    EXPECT_EQ(procs.FC(&record, &slot, -1), 0);
}

}  // namespace
}  // namespace zb::devices
