#include "link/frame.h"

#include <algorithm>

namespace zb::link {

void SealHeader(uint8_t* frame) {
    frame[0] = Crc8(kHeaderCrcInit, frame + 1, kHeaderSize - 1);
}

bool TestHeader(const uint8_t* frame) {
    return frame[0] == Crc8(kHeaderCrcInit, frame + 1, kHeaderSize - 1);
}

void SealPayload(uint8_t* frame, uint32_t words) {
    uint8_t* payload = frame + kOffPayload;
    payload[0] = Crc8(kPayloadCrcInit, payload + 1, 4 * static_cast<size_t>(words) - 1);
}

bool TestPayload(const uint8_t* frame, uint32_t words) {
    const uint8_t* payload = frame + kOffPayload;
    return payload[0] == Crc8(kPayloadCrcInit, payload + 1, 4 * static_cast<size_t>(words) - 1);
}

void BuildRequest(std::vector<uint8_t>& out, uint32_t linkId, uint8_t sequence, uint8_t status,
                  uint32_t operation, uint32_t words) {
    out.assign(FrameSize(words), 0);
    uint8_t* f = out.data();
    PutU32(f + kOffLinkId, linkId);
    PutU32(f + kOffHeaderWords, words);
    f[kOffSequence] = sequence;
    f[kOffStatus] = status;
    PutU32(f + kOffOperation, operation);
    PutU32(f + kOffPayloadWords, words);
}

void BuildHandshakeRequest(std::vector<uint8_t>& out) {
    BuildRequest(out, kNoLinkId, 0, 0, kOpHandshake, 3);
    SealHeader(out.data());
    SealPayload(out.data(), 3);
}

void BuildHandshakeAnswer(std::vector<uint8_t>& out, uint32_t ctrId) {
    BuildRequest(out, kNoLinkId, 0, 0, kOpHandshake, 4);
    out[kOffFlags] = kAnswerFlag;
    PutU32(out.data() + kOffBody, ctrId);
    SealHeader(out.data());
    SealPayload(out.data(), 4);
}

void BuildFileNameRequest(std::vector<uint8_t>& out, uint32_t linkId, uint8_t sequence,
                          std::string_view name) {
    if (name.size() > kMaxNameLength) {
        name = name.substr(0, kMaxNameLength);
    }
    const uint32_t words = NameWords(name.size());
    BuildRequest(out, linkId, sequence, kStatusAccepted, kOpFileName, words);
    out[kOffBody] = static_cast<uint8_t>(name.size());
    if (!name.empty()) {
        std::memcpy(out.data() + kOffBody + 1, name.data(), name.size());
    }
    SealHeader(out.data());
    SealPayload(out.data(), words);
}

void BuildDataRequest(std::vector<uint8_t>& out, uint32_t linkId, uint8_t sequence, uint32_t offset,
                      uint32_t total, const uint8_t* data, size_t length) {
    out.resize(FrameSize(DataWords(length)));
    if (length > 0) {
        std::memcpy(out.data() + kOffBlockData, data, length);
    }
    SealDataRequestInPlace(out.data(), linkId, sequence, offset, total, length);
}

size_t SealDataRequestInPlace(uint8_t* frame, uint32_t linkId, uint8_t sequence, uint32_t offset,
                              uint32_t total, size_t length) {
    const uint32_t words = DataWords(length);
    const size_t size = FrameSize(words);
    std::memset(frame, 0, kOffBlockData);
    std::memset(frame + kOffBlockData + length, 0, size - kOffBlockData - length);
    PutU32(frame + kOffLinkId, linkId);
    PutU32(frame + kOffHeaderWords, words);
    frame[kOffSequence] = sequence;
    frame[kOffStatus] = kStatusAccepted;
    PutU32(frame + kOffOperation, kOpFileData);
    PutU32(frame + kOffPayloadWords, words);
    PutU32(frame + kOffBlockOffset, offset);
    PutU32(frame + kOffBlockLength, static_cast<uint32_t>(length));
    PutU32(frame + kOffBlockTotal, total);
    SealHeader(frame);
    SealPayload(frame, words);
    return size;
}

void BuildAnswer(const uint8_t* request, uint8_t status, uint8_t answer[kAnswerSize]) {
    std::memcpy(answer, request, kAnswerSize);
    answer[kOffFlags] |= kAnswerFlag;
    PutU32(answer + kOffHeaderWords, 3);
    answer[kOffStatus] = status;
    PutU32(answer + kOffPayloadWords, 3);
    SealHeader(answer);
    SealPayload(answer, 3);
}

FrameAccumulator::FrameAccumulator() : buffer_(new uint8_t[kAccumulatorSize]) {}

size_t FrameAccumulator::Append(const uint8_t* data, size_t size) {
    const size_t kept = std::min(size, FreeSize());
    if (kept > 0) {
        std::memcpy(buffer_.get() + fill_, data, kept);
        fill_ += kept;
    }
    return kept;
}

// The scan works on a window [start, fill) of the buffer and moves the unread rest to the front
// once at the end, instead of shifting the buffer after every byte or frame.
//  1. Fewer than 24 bytes held: wait for more.
//  2. A link ID that is neither all ones nor the current one: a bad frame, discard everything.
//  3. A header checksum that fails: drop one byte and look again.
//  4. A word count below 3 or above 32004 can never make a frame: bad, discard everything.
//     Fewer than 12 + 4N bytes held: wait for more.
//  5. Payload word count different from the header's: bad, discard everything.
//  6. A payload checksum that fails: bad, discard everything.
//  7. Hand the frame over; the sink may have everything discarded.
//  8. Remove the frame and go on while bytes remain.
void FrameAccumulator::Scan(FrameSink& sink) {
    size_t start = 0;
    uint8_t* base = buffer_.get();
    while (fill_ - start >= kAnswerSize) {
        const uint8_t* f = base + start;
        const uint32_t linkId = GetU32(f + kOffLinkId);
        if (linkId != kNoLinkId && linkId != sink.CurrentLinkId()) {
            fill_ = 0;
            return;
        }
        if (!TestHeader(f)) {
            ++start;
            continue;
        }
        const uint32_t words = GetU32(f + kOffHeaderWords);
        if (words < kMinWords || words > kMaxWords) {
            fill_ = 0;
            return;
        }
        const size_t size = FrameSize(words);
        if (fill_ - start < size) {
            break;
        }
        if (GetU32(f + kOffPayloadWords) != words || !TestPayload(f, words)) {
            fill_ = 0;
            return;
        }
        if (!sink.OnFrame(FrameView{f, size})) {
            fill_ = 0;
            return;
        }
        start += size;
    }
    if (start > 0) {
        std::memmove(base, base + start, fill_ - start);
        fill_ -= start;
    }
}

}  // namespace zb::link
