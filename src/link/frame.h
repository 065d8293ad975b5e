#pragma once
// Frames of the concentrator link.
//
// Everything on the link is a frame: a 12-byte header and a payload of N 4-byte words, each
// protected by a CRC-8 in its first byte. Integers are unsigned 32-bit little-endian.
//
//   header:  0 crc (init 0xAA, over bytes 1..11)   1,2 reserved   3 flags (0x80 = answer)
//            4 link ID                              8 word count N
//   payload: 0 crc (init 0x55, over bytes 1..4N-1) 1 sequence     2 reserved   3 status
//            4 operation code                       8 word count N (repeats the header's)
//            12.. body, padded with zeros to whole words
//
// This file holds the layout, the checksums, the builders of every frame the two ends send and
// the receive accumulator with its frame scanner. The simulator shares it with the server.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

#include "link/crc8.h"

namespace zb::link {

inline constexpr size_t kHeaderSize = 12;
inline constexpr size_t kAnswerSize = 24;           // an answer: header + 3 payload words
inline constexpr size_t kAccumulatorSize = 128028;  // the largest frame that can be received
inline constexpr uint32_t kMinWords = 3;            // a payload holds at least its own count
inline constexpr uint32_t kMaxWords = 32004;        // (128028 - 12) / 4
inline constexpr size_t kMaxBlockData = 60000;      // data bytes per block the server sends
inline constexpr size_t kMaxSentFrame = 12 + 24 + kMaxBlockData;  // 60036
inline constexpr size_t kMaxNameLength = 255;                     // one length byte

inline constexpr uint32_t kNoLinkId = 0xFFFFFFFFu;
inline constexpr uint8_t kAnswerFlag = 0x80;
inline constexpr uint8_t kStatusAccepted = 0x80;
inline constexpr uint8_t kStatusRefused = 0x40;
inline constexpr uint32_t kOpHandshake = 0x80000000u;
inline constexpr uint32_t kOpFileName = 0x80010000u;
inline constexpr uint32_t kOpFileData = 0x80020000u;

inline constexpr uint8_t kHeaderCrcInit = 0xAA;
inline constexpr uint8_t kPayloadCrcInit = 0x55;

// Offsets within the whole frame.
inline constexpr size_t kOffFlags = 3;
inline constexpr size_t kOffLinkId = 4;
inline constexpr size_t kOffHeaderWords = 8;
inline constexpr size_t kOffPayload = 12;
inline constexpr size_t kOffSequence = 13;
inline constexpr size_t kOffStatus = 15;
inline constexpr size_t kOffOperation = 16;
inline constexpr size_t kOffPayloadWords = 20;
inline constexpr size_t kOffBody = 24;
// File-data body: offset, length, total, data.
inline constexpr size_t kOffBlockOffset = 24;
inline constexpr size_t kOffBlockLength = 28;
inline constexpr size_t kOffBlockTotal = 32;
inline constexpr size_t kOffBlockData = 36;

inline uint32_t GetU32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}
inline void PutU32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

// Seal and test of the two checksums. `frame` is the whole frame; the payload ones cover the
// 4 * words bytes behind the header.
void SealHeader(uint8_t* frame);
bool TestHeader(const uint8_t* frame);
void SealPayload(uint8_t* frame, uint32_t words);
bool TestPayload(const uint8_t* frame, uint32_t words);

// 12 + 4N for a word count.
inline size_t FrameSize(uint32_t words) {
    return kHeaderSize + 4 * static_cast<size_t>(words);
}
// Words of a file-name request for a name of `length` bytes: the smallest N holding 13 + length.
inline uint32_t NameWords(size_t length) {
    return static_cast<uint32_t>((length + 4) / 4 + 3);
}
// Words of a file-data request carrying `length` data bytes.
inline uint32_t DataWords(size_t length) {
    return static_cast<uint32_t>((length + 3) / 4 + 6);
}

// Read-only view of a complete frame (at least 24 bytes).
struct FrameView {
    const uint8_t* data;
    size_t size;

    uint8_t flags() const { return data[kOffFlags]; }
    bool isAnswer() const { return (data[kOffFlags] & kAnswerFlag) != 0; }
    uint32_t linkId() const { return GetU32(data + kOffLinkId); }
    uint32_t words() const { return GetU32(data + kOffHeaderWords); }
    uint8_t sequence() const { return data[kOffSequence]; }
    uint8_t status() const { return data[kOffStatus]; }
    uint32_t operation() const { return GetU32(data + kOffOperation); }
    uint32_t payloadWords() const { return GetU32(data + kOffPayloadWords); }
    // Bytes of the body actually carried by the frame (4N - 12).
    size_t bodySize() const { return size - kOffBody; }
};

// Builders. Each clears `out`, fills the fields, seals both checksums and leaves exactly the
// bytes to send in `out`.
void BuildRequest(std::vector<uint8_t>& out, uint32_t linkId, uint8_t sequence, uint8_t status,
                  uint32_t operation, uint32_t words);
// The server's opening frame: link ID all ones, N = 3, operation 0x80000000.
void BuildHandshakeRequest(std::vector<uint8_t>& out);
// The concentrator's answer naming itself: answer flag, N = 4, status 0, the ID as the body.
void BuildHandshakeAnswer(std::vector<uint8_t>& out, uint32_t ctrId);
// A file-name request; the name is the raw (cp1251) bytes, at most 255 of them.
void BuildFileNameRequest(std::vector<uint8_t>& out, uint32_t linkId, uint8_t sequence,
                          std::string_view name);
// A file-data request carrying `length` bytes of `data` at `offset` of a file of `total` bytes.
void BuildDataRequest(std::vector<uint8_t>& out, uint32_t linkId, uint8_t sequence, uint32_t offset,
                      uint32_t total, const uint8_t* data, size_t length);
// The same request built where its data already lies: `frame` holds the `length` data bytes at
// offset 36 and room for the padding behind them; the fixed fields and the padding are written
// and both checksums sealed. Returns the frame's size.
size_t SealDataRequestInPlace(uint8_t* frame, uint32_t linkId, uint8_t sequence, uint32_t offset,
                              uint32_t total, size_t length);
// The 24-byte answer to a request: its first 24 bytes with the answer flag set, both counts 3,
// the status byte set, both checksums recomputed.
void BuildAnswer(const uint8_t* request, uint8_t status, uint8_t answer[kAnswerSize]);

// Receives what the frame scanner cuts out of a byte stream.
class FrameSink {
  public:
    virtual ~FrameSink() = default;
    // The link ID a frame may carry besides all ones; read before every frame.
    virtual uint32_t CurrentLinkId() const = 0;
    // A complete frame with both checksums right. Return false to have everything still held
    // discarded and the scan ended.
    virtual bool OnFrame(const FrameView& frame) = 0;
};

// The receive accumulator of one connection and its frame scanner.
class FrameAccumulator {
  public:
    FrameAccumulator();
    FrameAccumulator(const FrameAccumulator&) = delete;
    FrameAccumulator& operator=(const FrameAccumulator&) = delete;

    // Appends as many of the bytes as fit; the rest is lost. Returns the number kept.
    size_t Append(const uint8_t* data, size_t size);
    // For reading straight into the accumulator: the free space behind the held bytes, and
    // Commit(n) after n bytes were written there.
    uint8_t* FreeSpace() { return buffer_.get() + fill_; }
    size_t FreeSize() const { return kAccumulatorSize - fill_; }
    void Commit(size_t size) { fill_ += size; }

    // Cuts and hands over every complete frame held, in order; see the .cpp for the rules.
    void Scan(FrameSink& sink);
    void Clear() { fill_ = 0; }
    size_t Fill() const { return fill_; }

  private:
    // Not zeroed: nothing behind the fill count is ever read, and untouched pages cost no
    // memory, which matters with thousands of connections.
    std::unique_ptr<uint8_t[]> buffer_;
    size_t fill_ = 0;
};

}  // namespace zb::link
