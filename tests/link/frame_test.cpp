// Frames, checksums, builders and the frame scanner.
#include "link/frame.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace zb::link {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Hex(const std::string& text) {
    Bytes out;
    for (size_t i = 0; i + 1 < text.size();) {
        if (text[i] == ' ') {
            ++i;
            continue;
        }
        out.push_back(static_cast<uint8_t>(std::stoi(text.substr(i, 2), nullptr, 16)));
        i += 2;
    }
    return out;
}

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

Bytes NameRequest(uint32_t linkId, uint8_t seq, const std::string& name) {
    Bytes out;
    BuildFileNameRequest(out, linkId, seq, name);
    return out;
}

TEST(Crc8, CheckValuesOfBothInitialValues) {
    const std::string digits = "123456789";
    const auto* p = reinterpret_cast<const uint8_t*>(digits.data());
    EXPECT_EQ(Crc8(0xAA, p, digits.size()), 0xC4);
    EXPECT_EQ(Crc8(0x55, p, digits.size()), 0x91);
    EXPECT_EQ(Crc8(0x00, p, 0), 0x00);
}

// Every fast form must give exactly the bytes of the table form: lengths around the 16- and
// 64-byte steps of both fast forms and up to a whole data block, every alignment within 16
// bytes, initial values at random.
void ExpectSameAsBytewise(uint8_t (*crc)(uint8_t, const uint8_t*, size_t)) {
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
    for (size_t length : lengths) {
        const size_t align = random() % 16;
        const auto init = static_cast<uint8_t>(random());
        ASSERT_EQ(crc(init, data.data() + align, length),
                  Crc8Bytewise(init, data.data() + align, length))
            << "length " << length << ", alignment " << align << ", init " << int(init);
    }
    // Runs of equal bytes, where a wrong fold constant would cancel out less visibly.
    for (uint8_t fill : {0x00, 0xFF, 0x80, 0x01}) {
        const Bytes same(1000, fill);
        for (int init : {0x00, 0x55, 0xAA}) {
            ASSERT_EQ(crc(static_cast<uint8_t>(init), same.data(), same.size()),
                      Crc8Bytewise(static_cast<uint8_t>(init), same.data(), same.size()));
        }
    }
}

TEST(Crc8, SlicedFormGivesTheBytesOfThePlainForm) {
    ExpectSameAsBytewise(Crc8Sliced);
}

TEST(Crc8, CarryLessFormGivesTheBytesOfThePlainForm) {
    if (!Crc8ClmulAvailable()) {
        GTEST_SKIP() << "no carry-less multiply on this processor";
    }
    ExpectSameAsBytewise(Crc8Clmul);
}

TEST(Crc8, ChosenFormGivesTheBytesOfThePlainForm) {
    ExpectSameAsBytewise(Crc8);
    const std::string digits = "123456789";
    EXPECT_EQ(Crc8Bytewise(0xAA, reinterpret_cast<const uint8_t*>(digits.data()), 9), 0xC4);
    EXPECT_EQ(Crc8Bytewise(0x55, reinterpret_cast<const uint8_t*>(digits.data()), 9), 0x91);
}

TEST(FrameBuild, HandshakeRequestIsExactly24Bytes) {
    Bytes frame;
    BuildHandshakeRequest(frame);
    EXPECT_EQ(frame,
              Hex("b1 00 00 00 ff ff ff ff 03 00 00 00 b0 00 00 00 00 00 00 80 03 00 00 00"));
    EXPECT_TRUE(TestHeader(frame.data()));
    EXPECT_TRUE(TestPayload(frame.data(), 3));
}

TEST(FrameBuild, WordCountsOfNamesAndBlocks) {
    for (size_t length : {0, 1, 2, 3}) {
        EXPECT_EQ(NameWords(length), 4u) << length;
    }
    EXPECT_EQ(NameWords(4), 5u);
    EXPECT_EQ(NameWords(255), 67u);
    EXPECT_EQ(DataWords(60000), 15006u);
    EXPECT_EQ(FrameSize(DataWords(60000)), 60036u);
    EXPECT_EQ(DataWords(1), 7u);
    EXPECT_EQ(DataWords(0), 6u);

    Bytes name = NameRequest(0x00A1, 0, "ROOT\\WORK\\INBOX\\a.xml");
    ASSERT_EQ(name.size(), FrameSize(NameWords(21)));
    EXPECT_EQ(name[kOffBody], 21);
    EXPECT_EQ(std::string(name.begin() + 25, name.begin() + 46), "ROOT\\WORK\\INBOX\\a.xml");
    EXPECT_EQ(GetU32(name.data() + kOffLinkId), 0x00A1u);
    EXPECT_EQ(name[kOffStatus], kStatusAccepted);
    EXPECT_EQ(GetU32(name.data() + kOffOperation), kOpFileName);
    // Padding behind the name is zero.
    for (size_t i = 46; i < name.size(); ++i) {
        EXPECT_EQ(name[i], 0) << i;
    }

    const Bytes data(5, 0x7E);
    Bytes block;
    BuildDataRequest(block, 0x00A1, 3, 100, 105, data.data(), data.size());
    ASSERT_EQ(block.size(), FrameSize(8));
    EXPECT_EQ(GetU32(block.data() + kOffBlockOffset), 100u);
    EXPECT_EQ(GetU32(block.data() + kOffBlockLength), 5u);
    EXPECT_EQ(GetU32(block.data() + kOffBlockTotal), 105u);
    EXPECT_EQ(block[kOffSequence], 3);
    EXPECT_EQ(block[kOffBlockData + 4], 0x7E);
    EXPECT_EQ(block[kOffBlockData + 5], 0);
    EXPECT_TRUE(TestPayload(block.data(), 8));
}

TEST(FrameBuild, AnswerEchoesTheRequestAndResealsIt) {
    Bytes request = NameRequest(kNoLinkId, 7, "ROOT\\WORK\\OUTBOX\\r.xml");
    request[1] = 0x11;  // reserved bytes and flag bits are echoed
    request[2] = 0x22;
    request[kOffFlags] = 0x05;
    request[kOffPayload + 2] = 0x33;
    SealHeader(request.data());
    uint8_t answer[kAnswerSize];
    BuildAnswer(request.data(), kStatusRefused, answer);
    EXPECT_EQ(answer[1], 0x11);
    EXPECT_EQ(answer[2], 0x22);
    EXPECT_EQ(answer[kOffFlags], 0x85);
    EXPECT_EQ(GetU32(answer + kOffLinkId), kNoLinkId);
    EXPECT_EQ(GetU32(answer + kOffHeaderWords), 3u);
    EXPECT_EQ(answer[kOffSequence], 7);
    EXPECT_EQ(answer[kOffPayload + 2], 0x33);
    EXPECT_EQ(answer[kOffStatus], kStatusRefused);
    EXPECT_EQ(GetU32(answer + kOffOperation), kOpFileName);
    EXPECT_EQ(GetU32(answer + kOffPayloadWords), 3u);
    EXPECT_TRUE(TestHeader(answer));
    EXPECT_TRUE(TestPayload(answer, 3));
}

TEST(FrameScanner, FrameDeliveredOneBytePerBlockIsHandledAtItsLastByte) {
    FrameAccumulator acc;
    Recorder sink;
    const Bytes frame = NameRequest(kNoLinkId, 1, "ROOT\\INFO\\METERS\\m.xml");
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
    const Bytes a = NameRequest(kNoLinkId, 1, "a");
    const Bytes b = NameRequest(kNoLinkId, 2, "bb");
    const Bytes c = NameRequest(kNoLinkId, 3, "ccc");
    Bytes all = a;
    all.insert(all.end(), b.begin(), b.end());
    all.insert(all.end(), c.begin(), c.begin() + 10);  // c arrives in two parts
    Feed(acc, sink, all);
    ASSERT_EQ(sink.frames.size(), 2u);
    EXPECT_EQ(sink.frames[0], a);
    EXPECT_EQ(sink.frames[1], b);
    EXPECT_EQ(acc.Fill(), 10u);
    Feed(acc, sink, Bytes(c.begin() + 10, c.end()));
    ASSERT_EQ(sink.frames.size(), 3u);
    EXPECT_EQ(sink.frames[2], c);
}

TEST(FrameScanner, TwentyThreeBytesNeverTriggerAnyCheck) {
    FrameAccumulator acc;
    Recorder sink;
    sink.linkId = 0x1234;
    Bytes junk(23, 0x5A);  // a link ID of 0x5A5A5A5A would be discarded if checked
    Feed(acc, sink, junk);
    EXPECT_EQ(acc.Fill(), 23u);
    EXPECT_TRUE(sink.frames.empty());
}

TEST(FrameScanner, ForeignLinkIdDiscardsEverythingHeld) {
    FrameAccumulator acc;
    Recorder sink;
    sink.linkId = 0x00A1;
    Bytes all = NameRequest(0x00A2, 0, "x");
    const Bytes good = NameRequest(0x00A1, 0, "y");
    all.insert(all.end(), good.begin(), good.end());
    Feed(acc, sink, all);
    EXPECT_TRUE(sink.frames.empty());
    EXPECT_EQ(acc.Fill(), 0u);
    // The next block starts a fresh scan.
    Feed(acc, sink, good);
    EXPECT_EQ(sink.frames.size(), 1u);
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

TEST(FrameScanner, GarbageByteInFrontOfAFrameIsSkipped) {
    FrameAccumulator acc;
    Recorder sink;
    const Bytes frame = HandshakeAnswerAllFlags(0x00A1);
    Bytes all = {0x3C};
    all.insert(all.end(), frame.begin(), frame.end());
    ASSERT_EQ(GetU32(all.data() + kOffLinkId), kNoLinkId);
    ASSERT_FALSE(TestHeader(all.data()));
    Feed(acc, sink, all);
    ASSERT_EQ(sink.frames.size(), 1u);
    EXPECT_EQ(sink.frames[0], frame);
    EXPECT_EQ(acc.Fill(), 0u);
}

TEST(FrameScanner, GarbageWithAForeignLinkIdTakesTheFrameBehindWithIt) {
    FrameAccumulator acc;
    Recorder sink;
    const Bytes frame = NameRequest(kNoLinkId, 0, "ROOT\\WORK\\OUTBOX\\r.xml");
    Bytes all = {0x01, 0x02, 0x03};
    all.insert(all.end(), frame.begin(), frame.end());
    Feed(acc, sink, all);
    EXPECT_TRUE(sink.frames.empty());
    EXPECT_EQ(acc.Fill(), 0u);
    Feed(acc, sink, frame);  // sent again, it starts a fresh scan
    EXPECT_EQ(sink.frames.size(), 1u);
}

TEST(FrameScanner, BadFramesAreDiscardedWhole) {
    const Bytes good = NameRequest(kNoLinkId, 0, "abcdef");
    {  // payload word count differs from the header's by one, both checksums right
        Bytes bad = good;
        PutU32(bad.data() + kOffPayloadWords, GetU32(bad.data() + kOffHeaderWords) + 1);
        SealPayload(bad.data(), GetU32(bad.data() + kOffHeaderWords));
        FrameAccumulator acc;
        Recorder sink;
        Bytes all = bad;
        all.insert(all.end(), good.begin(), good.end());
        Feed(acc, sink, all);
        EXPECT_TRUE(sink.frames.empty());
        EXPECT_EQ(acc.Fill(), 0u);
    }
    {  // wrong payload checksum
        Bytes bad = good;
        bad[kOffBody + 2] ^= 0x01;
        FrameAccumulator acc;
        Recorder sink;
        Feed(acc, sink, bad);
        EXPECT_TRUE(sink.frames.empty());
        EXPECT_EQ(acc.Fill(), 0u);
    }
}

TEST(FrameScanner, ImpossibleWordCountsAreBadAtOnce) {
    for (uint32_t words : {0u, 1u, 2u, kMaxWords + 1, 0x40000000u, 0xFFFFFFFFu}) {
        Bytes header(kAnswerSize, 0);
        PutU32(header.data() + kOffLinkId, kNoLinkId);
        PutU32(header.data() + kOffHeaderWords, words);
        SealHeader(header.data());
        FrameAccumulator acc;
        Recorder sink;
        Feed(acc, sink, header);
        EXPECT_EQ(acc.Fill(), 0u) << words;
        EXPECT_TRUE(sink.frames.empty());
    }
}

TEST(FrameScanner, LargestFrameFitsExactly) {
    Bytes big;
    const Bytes data(kAccumulatorSize - 36, 0x42);
    BuildDataRequest(big, kNoLinkId, 1, 0, static_cast<uint32_t>(data.size()), data.data(),
                     data.size());
    ASSERT_EQ(big.size(), kAccumulatorSize);
    FrameAccumulator acc;
    Recorder sink;
    Feed(acc, sink, big);
    ASSERT_EQ(sink.frames.size(), 1u);
    EXPECT_EQ(sink.frames[0].size(), kAccumulatorSize);
}

TEST(FrameScanner, BytesBeyondTheAccumulatorAreLost) {
    FrameAccumulator acc;
    const Bytes lots(kAccumulatorSize + 100, 0);
    EXPECT_EQ(acc.Append(lots.data(), lots.size()), kAccumulatorSize);
    EXPECT_EQ(acc.Append(lots.data(), 1), 0u);
}

TEST(FrameScanner, SinkCanDiscardWhatFollows) {
    FrameAccumulator acc;
    Recorder sink;
    sink.stopAfter = 1;
    Bytes all = NameRequest(kNoLinkId, 1, "a");
    const Bytes b = NameRequest(kNoLinkId, 2, "b");
    all.insert(all.end(), b.begin(), b.end());
    Feed(acc, sink, all);
    EXPECT_EQ(sink.frames.size(), 1u);
    EXPECT_EQ(acc.Fill(), 0u);
}

}  // namespace
}  // namespace zb::link
