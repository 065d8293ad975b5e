// Frames, checksums, builders and the frame scanner.
#include "link/frame.h"

#include <gtest/gtest.h>

#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "link_test_util.h"

namespace zb::link {
namespace {

using linktest::Bytes;
using linktest::Cat;
using linktest::Hex;
using linktest::NameFrame;

// Records every frame the scanner hands over; can refuse to go on after a given frame.
struct Recorder : FrameSink {
    uint32_t linkId = kNoLinkId;
    std::vector<Bytes> frames;
    int stopAfter = -1;
    uint32_t CurrentLinkId() const override { return linkId; }
    bool OnFrame(const FrameView& frame) override {
        frames.emplace_back(frame.data, frame.data + frame.size);
        return static_cast<int>(frames.size()) != stopAfter;
    }
};

void Feed(FrameAccumulator& acc, Recorder& sink, const Bytes& bytes) {
    acc.Append(bytes.data(), bytes.size());
    acc.Scan(sink);
}

// Every form gives the check values of both initial values, and the fast forms exactly the
// values of the table form: lengths around the 16- and 64-byte steps and up to a whole data
// block, every alignment within 16 bytes, initial values at random.
TEST(Crc8, EveryFormGivesTheValuesOfThePlainForm) {
    std::vector<std::pair<const char*, uint8_t (*)(uint8_t, const uint8_t*, size_t)>> forms = {
        {"plain", Crc8Bytewise}, {"sliced", Crc8Sliced}, {"chosen", Crc8}};
    if (Crc8ClmulAvailable()) {
        forms.emplace_back("carry-less", Crc8Clmul);
    }
    std::mt19937 random(20240611);
    Bytes data(kMaxSentFrame + 32);
    for (auto& b : data) {
        b = static_cast<uint8_t>(random());
    }
    std::vector<size_t> lengths(301);
    std::iota(lengths.begin(), lengths.end(), 0);
    for (int i = 0; i < 100; ++i) {
        lengths.push_back(random() % (kMaxSentFrame - 12));
    }
    lengths.push_back(kMaxSentFrame - 13);  // the payload of a full data block
    const auto* digits = reinterpret_cast<const uint8_t*>("123456789");
    for (const auto& [form, crc] : forms) {
        EXPECT_EQ(crc(0xAA, digits, 9), 0xC4) << form;
        EXPECT_EQ(crc(0x55, digits, 9), 0x91) << form;
        for (size_t length : lengths) {
            const size_t align = random() % 16;
            const auto init = static_cast<uint8_t>(random());
            ASSERT_EQ(crc(init, data.data() + align, length),
                      Crc8Bytewise(init, data.data() + align, length))
                << form << ", length " << length << ", alignment " << align;
        }
    }
}

TEST(FrameBuild, ExactBytesOfANameAndABlockAndTheWordCountsAtTheirSteps) {
    for (const auto& [length, words] :
         std::vector<std::pair<size_t, uint32_t>>{{0, 4}, {3, 4}, {4, 5}, {255, 67}}) {
        EXPECT_EQ(NameWords(length), words) << length;
    }
    EXPECT_EQ(DataWords(0), 6u);
    EXPECT_EQ(DataWords(1), 7u);
    EXPECT_EQ(FrameSize(DataWords(60000)), 60036u);
    EXPECT_EQ(NameFrame(0, "a.xml", 0x00A1),
              Hex("b9 000000 a1000000 05000000 26 00 00 80 00000180 05000000 05 612e786d6c 0000"));
    EXPECT_EQ(linktest::BlockFrame(3, 100, 105, std::string(5, '\x7E'), 0x00A1),
              Hex("30 000000 a1000000 08000000 34 03 00 80 00000280 08000000 64000000 05000000 "
                  "69000000 7e7e7e7e 7e000000"));
}

// The answer is the request's first 24 bytes (reserved bytes and flag bits echoed) with the
// answer flag, both counts 3, the status and both checksums set anew.
TEST(FrameBuild, AnswerEchoesTheRequestAndResealsIt) {
    Bytes request = NameFrame(7, "ROOT\\WORK\\OUTBOX\\r.xml");
    request[1] = 0x11;
    request[2] = 0x22;
    request[kOffFlags] = 0x05;
    request[kOffPayload + 2] = 0x33;
    uint8_t answer[kAnswerSize];
    BuildAnswer(request.data(), kStatusRefused, answer);
    EXPECT_EQ(Bytes(answer, answer + kAnswerSize),
              Hex("52 11 22 85 ffffffff 03000000 cf 07 33 40 00000180 03000000"));
}

// Frames split anywhere are handled at their last byte, several in one block in order.
TEST(FrameScanner, FramesAreHandedOverAtTheirLastByteInOrder) {
    FrameAccumulator acc;
    Recorder sink;
    const Bytes a = NameFrame(1, "ROOT\\INFO\\METERS\\m.xml"), b = NameFrame(2, "bb"),
                c = NameFrame(3, "ccc");
    for (size_t i = 0; i < a.size(); ++i) {
        Feed(acc, sink, Bytes{a[i]});
        EXPECT_EQ(sink.frames.size(), i + 1 == a.size() ? 1u : 0u) << i;
    }
    Feed(acc, sink, Cat({b, a, Bytes(c.begin(), c.begin() + 10)}));  // c arrives in two parts
    EXPECT_EQ(sink.frames, (std::vector<Bytes>{a, b, a}));
    EXPECT_EQ(acc.Fill(), 10u);
    Feed(acc, sink, Bytes(c.begin() + 10, c.end()));
    EXPECT_EQ(sink.frames, (std::vector<Bytes>{a, b, a, c}));
    EXPECT_EQ(acc.Fill(), 0u);
}

// One block fed to a fresh accumulator: which frames come out and how many bytes stay held.
// Whatever is discarded, a good frame sent again afterwards starts a fresh scan.
TEST(FrameScanner, WhatIsHandedOverAndWhatIsDiscarded) {
    const Bytes good = NameFrame(0, "ROOT\\WORK\\OUTBOX\\r.xml");
    const Bytes goodA1 = NameFrame(0, "y", 0x00A1);
    Bytes flags;  // flag byte 0xFF: one byte in front leaves all ones at the link-ID position
    BuildHandshakeAnswer(flags, 0x00A1);
    flags[kOffFlags] = 0xFF;
    SealHeader(flags.data());
    Bytes countOff = good;  // both checksums right
    PutU32(countOff.data() + kOffPayloadWords, GetU32(good.data() + kOffHeaderWords) + 1);
    SealPayload(countOff.data(), GetU32(good.data() + kOffHeaderWords));
    Bytes flipped = good;
    flipped[kOffBody + 2] ^= 0x01;
    const Bytes largest = linktest::BlockFrame(1, 0, kAccumulatorSize - 36,
                                               std::string(kAccumulatorSize - 36, '\x42'));
    struct Case {
        const char* what;
        Bytes input;
        std::vector<Bytes> frames;
        size_t fill;
        int stopAfter = -1;
    };
    std::vector<Case> cases = {
        // A link ID of 0x5A5A5A5A would be discarded if 23 bytes were ever checked.
        {"23 bytes trigger no check", Bytes(23, 0x5A), {}, 23},
        {"foreign link ID discards everything held",
         Cat({NameFrame(0, "x", 0x00A2), goodA1}),
         {},
         0},
        {"garbage byte in front of a frame is skipped", Cat({Bytes{0x3C}, flags}), {flags}, 0},
        {"garbage with a foreign link ID takes the frame behind with it",
         Cat({Bytes{0x01, 0x02, 0x03}, good}),
         {},
         0},
        {"payload count differs from the header's", Cat({countOff, good}), {}, 0},
        {"wrong payload checksum", flipped, {}, 0},
        {"sink refuses to go on",
         Cat({NameFrame(1, "a"), NameFrame(2, "b")}),
         {NameFrame(1, "a")},
         0,
         1},
        {"the largest frame fits exactly", largest, {largest}, 0},
    };
    for (uint32_t words : {0u, 1u, 2u, kMaxWords + 1, 0x40000000u, 0xFFFFFFFFu}) {
        Bytes header(kAnswerSize, 0);
        PutU32(header.data() + kOffLinkId, kNoLinkId);
        PutU32(header.data() + kOffHeaderWords, words);
        SealHeader(header.data());
        cases.push_back({"impossible word count", header, {}, 0});
    }
    for (const Case& c : cases) {
        FrameAccumulator acc;
        Recorder sink;
        sink.linkId = 0x00A1;
        sink.stopAfter = c.stopAfter;
        Feed(acc, sink, c.input);
        EXPECT_EQ(sink.frames, c.frames) << c.what;
        EXPECT_EQ(acc.Fill(), c.fill) << c.what;
        if (c.fill == 0) {
            sink.frames.clear();
            Feed(acc, sink, goodA1);
            EXPECT_EQ(sink.frames, std::vector<Bytes>{goodA1}) << c.what;
        }
    }
    FrameAccumulator full;  // more than the largest frame is lost
    EXPECT_EQ(full.Append(largest.data(), largest.size()), kAccumulatorSize);
    EXPECT_EQ(full.Append(largest.data(), 1), 0u);
}

}  // namespace
}  // namespace zb::link
