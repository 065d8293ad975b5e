// Frames, checksums, builders and the frame scanner.
#include "link/frame.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "link_test_util.h"

namespace zb::link {
namespace {

using linktest::Bytes;
using linktest::Cat;
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

TEST(Crc8, CheckValuesOfBothInitialValues) {
    const auto* digits = reinterpret_cast<const uint8_t*>("123456789");
    for (auto crc : {Crc8, Crc8Bytewise}) {
        EXPECT_EQ(crc(0xAA, digits, 9), 0xC4);
        EXPECT_EQ(crc(0x55, digits, 9), 0x91);
        EXPECT_EQ(crc(0x00, digits, 0), 0x00);
    }
}

// Every fast form must give exactly the bytes of the table form: lengths around the 16- and
// 64-byte steps of the fast forms and up to a whole data block, every alignment within 16
// bytes, initial values at random, and runs of equal bytes where a wrong fold constant would
// cancel out less visibly.
TEST(Crc8, EveryFastFormGivesTheBytesOfThePlainForm) {
    std::vector<std::pair<const char*, uint8_t (*)(uint8_t, const uint8_t*, size_t)>> forms = {
        {"sliced", Crc8Sliced}, {"chosen", Crc8}};
    if (Crc8ClmulAvailable()) {
        forms.emplace_back("carry-less", Crc8Clmul);
    }
    std::mt19937 random(20240611);
    Bytes data(kMaxSentFrame + 32);
    for (auto& b : data) {
        b = static_cast<uint8_t>(random());
    }
    std::vector<size_t> lengths;
    for (size_t length = 0; length <= 300; ++length) {
        lengths.push_back(length);
    }
    for (int i = 0; i < 100; ++i) {
        lengths.push_back(random() % (kMaxSentFrame - 12));
    }
    lengths.push_back(kMaxSentFrame - 13);  // the payload of a full data block
    for (const auto& [form, crc] : forms) {
        for (size_t length : lengths) {
            const size_t align = random() % 16;
            const auto init = static_cast<uint8_t>(random());
            ASSERT_EQ(crc(init, data.data() + align, length),
                      Crc8Bytewise(init, data.data() + align, length))
                << form << ", length " << length << ", alignment " << align;
        }
        for (uint8_t fill : {0x00, 0xFF, 0x80, 0x01}) {
            const Bytes same(1000, fill);
            for (uint8_t init : {0x00, 0x55, 0xAA}) {
                ASSERT_EQ(crc(init, same.data(), same.size()),
                          Crc8Bytewise(init, same.data(), same.size()))
                    << form;
            }
        }
    }
}

TEST(FrameBuild, WordCountsAndLayoutOfNamesAndBlocks) {
    const std::vector<std::pair<size_t, uint32_t>> nameWords = {{0, 4}, {1, 4}, {2, 4},
                                                                {3, 4}, {4, 5}, {255, 67}};
    for (const auto& [length, words] : nameWords) {
        EXPECT_EQ(NameWords(length), words) << length;
    }
    EXPECT_EQ(DataWords(0), 6u);
    EXPECT_EQ(DataWords(1), 7u);
    EXPECT_EQ(DataWords(60000), 15006u);
    EXPECT_EQ(FrameSize(DataWords(60000)), 60036u);

    const Bytes name = NameFrame(0, "ROOT\\WORK\\INBOX\\a.xml", 0x00A1);
    ASSERT_EQ(name.size(), FrameSize(NameWords(21)));
    EXPECT_EQ(name[kOffBody], 21);
    EXPECT_EQ(std::string(name.begin() + 25, name.begin() + 46), "ROOT\\WORK\\INBOX\\a.xml");
    EXPECT_EQ(GetU32(name.data() + kOffLinkId), 0x00A1u);
    EXPECT_EQ(name[kOffStatus], kStatusAccepted);
    EXPECT_EQ(GetU32(name.data() + kOffOperation), kOpFileName);
    EXPECT_EQ(Bytes(name.begin() + 46, name.end()), Bytes(name.size() - 46, 0));  // padding

    const Bytes block = linktest::BlockFrame(3, 100, 105, std::string(5, '\x7E'), 0x00A1);
    ASSERT_EQ(block.size(), FrameSize(8));
    EXPECT_EQ(GetU32(block.data() + kOffBlockOffset), 100u);
    EXPECT_EQ(GetU32(block.data() + kOffBlockLength), 5u);
    EXPECT_EQ(GetU32(block.data() + kOffBlockTotal), 105u);
    EXPECT_EQ(block[kOffSequence], 3);
    EXPECT_EQ(block[kOffBlockData + 4], 0x7E);
    EXPECT_EQ(block[kOffBlockData + 5], 0);
    EXPECT_TRUE(TestHeader(block.data()) && TestPayload(block.data(), 8));
}

TEST(FrameBuild, AnswerEchoesTheRequestAndResealsIt) {
    Bytes request = NameFrame(7, "ROOT\\WORK\\OUTBOX\\r.xml");
    request[1] = 0x11;  // reserved bytes and flag bits are echoed
    request[2] = 0x22;
    request[kOffFlags] = 0x05;
    request[kOffPayload + 2] = 0x33;
    SealHeader(request.data());
    uint8_t answer[kAnswerSize];
    BuildAnswer(request.data(), kStatusRefused, answer);
    Bytes expected(request.begin(), request.begin() + kAnswerSize);
    expected[kOffFlags] = 0x85;
    PutU32(expected.data() + kOffHeaderWords, 3);
    PutU32(expected.data() + kOffPayloadWords, 3);
    expected[kOffStatus] = kStatusRefused;
    SealHeader(expected.data());
    SealPayload(expected.data(), 3);
    EXPECT_EQ(Bytes(answer, answer + kAnswerSize), expected);
    EXPECT_TRUE(TestHeader(answer) && TestPayload(answer, 3));
}

TEST(FrameScanner, FrameDeliveredOneBytePerBlockIsHandledAtItsLastByte) {
    FrameAccumulator acc;
    Recorder sink;
    const Bytes frame = NameFrame(1, "ROOT\\INFO\\METERS\\m.xml");
    for (size_t i = 0; i < frame.size(); ++i) {
        Feed(acc, sink, Bytes{frame[i]});
        EXPECT_EQ(sink.frames.size(), i + 1 == frame.size() ? 1u : 0u) << i;
    }
    EXPECT_EQ(sink.frames[0], frame);
    EXPECT_EQ(acc.Fill(), 0u);
}

TEST(FrameScanner, SeveralFramesInOneBlockAreHandledInOrder) {
    FrameAccumulator acc;
    Recorder sink;
    const Bytes a = NameFrame(1, "a"), b = NameFrame(2, "bb"), c = NameFrame(3, "ccc");
    Feed(acc, sink, Cat({a, b, Bytes(c.begin(), c.begin() + 10)}));  // c arrives in two parts
    EXPECT_EQ(sink.frames, (std::vector<Bytes>{a, b}));
    EXPECT_EQ(acc.Fill(), 10u);
    Feed(acc, sink, Bytes(c.begin() + 10, c.end()));
    EXPECT_EQ(sink.frames, (std::vector<Bytes>{a, b, c}));
}

// A handshake answer whose flag byte is 0xFF: one byte in front of it leaves all ones at the
// link-ID position of the held bytes.
Bytes HandshakeAnswerAllFlags(uint32_t id) {
    Bytes h;
    BuildHandshakeAnswer(h, id);
    h[kOffFlags] = 0xFF;
    SealHeader(h.data());
    return h;
}

Bytes WithPayloadCountOffByOne(Bytes frame) {  // both checksums still right
    PutU32(frame.data() + kOffPayloadWords, GetU32(frame.data() + kOffHeaderWords) + 1);
    SealPayload(frame.data(), GetU32(frame.data() + kOffHeaderWords));
    return frame;
}

Bytes WithPayloadBitFlipped(Bytes frame) {
    frame[kOffBody + 2] ^= 0x01;
    return frame;
}

Bytes HeaderWithWords(uint32_t words) {
    Bytes header(kAnswerSize, 0);
    PutU32(header.data() + kOffLinkId, kNoLinkId);
    PutU32(header.data() + kOffHeaderWords, words);
    SealHeader(header.data());
    return header;
}

// One block fed to a fresh accumulator: which frames come out and how many bytes stay held.
// Whatever is discarded, a good frame sent again afterwards starts a fresh scan.
TEST(FrameScanner, WhatIsHandedOverAndWhatIsDiscarded) {
    const Bytes good = NameFrame(0, "ROOT\\WORK\\OUTBOX\\r.xml");
    const Bytes goodA1 = NameFrame(0, "y", 0x00A1);
    const Bytes flags = HandshakeAnswerAllFlags(0x00A1);
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
        {"payload count differs from the header's",
         Cat({WithPayloadCountOffByOne(good), good}),
         {},
         0},
        {"wrong payload checksum", WithPayloadBitFlipped(good), {}, 0},
        {"sink refuses to go on",
         Cat({NameFrame(1, "a"), NameFrame(2, "b")}),
         {NameFrame(1, "a")},
         0,
         1},
    };
    for (uint32_t words : {0u, 1u, 2u, kMaxWords + 1, 0x40000000u, 0xFFFFFFFFu}) {
        cases.push_back({"impossible word count", HeaderWithWords(words), {}, 0});
    }
    ASSERT_EQ(GetU32(cases[2].input.data() + kOffLinkId), kNoLinkId);
    ASSERT_FALSE(TestHeader(cases[2].input.data()));
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
}

TEST(FrameScanner, LargestFrameFitsExactlyAndMoreIsLost) {
    const Bytes big = linktest::BlockFrame(1, 0, kAccumulatorSize - 36,
                                           std::string(kAccumulatorSize - 36, '\x42'));
    ASSERT_EQ(big.size(), kAccumulatorSize);
    FrameAccumulator acc;
    Recorder sink;
    Feed(acc, sink, big);
    ASSERT_EQ(sink.frames.size(), 1u);
    EXPECT_EQ(sink.frames[0].size(), kAccumulatorSize);

    FrameAccumulator full;
    const Bytes lots(kAccumulatorSize + 100, 0);
    EXPECT_EQ(full.Append(lots.data(), lots.size()), kAccumulatorSize);
    EXPECT_EQ(full.Append(lots.data(), 1), 0u);
}

}  // namespace
}  // namespace zb::link
