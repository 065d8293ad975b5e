// Bytes in, answers out: one connection's frame scanner and protocol against a temporary
// mirror. The input is read as a small script of steps, so that frames with valid checksums
// (which random bytes almost never make) reach the protocol:
//   0: raw bytes (length byte, then the bytes) straight into the accumulator
//   1: a handshake answer with an ID chosen by the next byte
//   2: a concentrator request built from the next bytes (sequence, status, operation, link ID,
//      word count tweak, body), sealed with correct checksums
//   3: an answer to the server's last frame, status and sequence chosen by the input
// Checked: every frame the server sends is well formed, and nothing appears outside the mirror.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "link/file_sync.h"
#include "link/frame.h"
#include "link/link_shared.h"
#include "link/mirror.h"

namespace {

namespace fs = std::filesystem;
using namespace zb::link;

const fs::path& ProgramDir() {
    // Never destroyed, so the exit handler that removes it can still read it.
    static const fs::path* dir = [] {
        // Memory-backed when there is one: every input touches a few files.
        std::error_code ec;
        const fs::path base =
            fs::is_directory("/dev/shm", ec) ? fs::path("/dev/shm") : fs::temp_directory_path();
        std::string pattern = (base / "zb-link-fuzz-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            std::abort();
        }
        auto* path = new fs::path(pattern);
        std::atexit([] {
            std::error_code ignored;
            fs::remove_all(ProgramDir(), ignored);
        });
        return path;
    }();
    return *dir;
}

// Stores like the real handler, checks the path, and removes the file again.
struct CheckingHandler : ReceivedFileHandler {
    void HandleReceivedFile(const ReceivedFile& file) override {
        const std::string mirror = file.mirrorDir.string() + "/";
        if (file.mirrorPath.string().compare(0, mirror.size(), mirror) != 0 ||
            file.mirrorPath.lexically_normal() != file.mirrorPath) {
            std::abort();
        }
        StoreReceivedFilesHandler().HandleReceivedFile(file);
        std::error_code ec;
        fs::remove(file.mirrorPath, ec);
    }
};

class Reader {
  public:
    Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool More() const { return pos_ < size_; }
    uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }
    std::string Bytes(size_t n) {
        n = std::min(n, size_ - pos_);
        std::string out(reinterpret_cast<const char*>(data_ + pos_), n);
        pos_ += n;
        return out;
    }

  private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

void CheckSent(const uint8_t* frame, size_t size) {
    if (size < kAnswerSize || !TestHeader(frame)) {
        std::abort();
    }
    const uint32_t words = GetU32(frame + kOffHeaderWords);
    if (FrameSize(words) != size || GetU32(frame + kOffPayloadWords) != words ||
        !TestPayload(frame, words) || size > kMaxSentFrame) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const fs::path& programDir = ProgramDir();
    static const bool created = CreateMirrorFolders(programDir, "00A1");
    (void)created;
    // The inbox as every input starts: one waiting work file, no clock command. Received files
    // are removed by the handler, so nothing else changes between inputs.
    const fs::path inbox = MirrorInbox(programDir, "00A1");
    std::error_code ec;
    fs::remove(inbox / "SetUTC.xml", ec);
    if (!fs::exists(inbox / "w-1.xml", ec)) {
        FILE* f = std::fopen((inbox / "w-1.xml").c_str(), "wb");
        if (f != nullptr) {
            std::fputs("<work/>", f);
            std::fclose(f);
        }
    }

    LinkShared shared(programDir);
    shared.SetHandler(std::make_shared<CheckingHandler>());
    std::vector<uint8_t> last;
    TFileSync sync(shared, "127.0.0.1", [&](const uint8_t* frame, size_t length) {
        CheckSent(frame, length);
        last.assign(frame, frame + length);
    });
    sync.Connect();

    Reader in(data, size);
    std::vector<uint8_t> frame;
    try {
        while (in.More()) {
            switch (in.Byte() % 4) {
                case 0: {
                    const std::string raw = in.Bytes(in.Byte());
                    sync.Receive(reinterpret_cast<const uint8_t*>(raw.data()), raw.size());
                    break;
                }
                case 1:
                    BuildHandshakeAnswer(frame, in.Byte() < 200 ? 0x00A1 : 0x0B0B);
                    sync.Receive(frame.data(), frame.size());
                    break;
                case 2: {
                    const uint8_t seq = in.Byte();
                    const uint8_t status = in.Byte();
                    const uint8_t opChoice = in.Byte();
                    const uint8_t linkChoice = in.Byte();
                    const uint8_t tweak = in.Byte();
                    const std::string body = in.Bytes(in.Byte() * 4u);
                    const uint32_t op = opChoice % 4 == 0   ? kOpFileName
                                        : opChoice % 4 == 1 ? kOpFileData
                                        : opChoice % 4 == 2 ? kOpHandshake
                                                            : 0x12345678u;
                    const uint32_t link = linkChoice % 3 == 0   ? kNoLinkId
                                          : linkChoice % 3 == 1 ? 0x00A1u
                                                                : 0x0B0Bu;
                    const uint32_t words = static_cast<uint32_t>(3 + (body.size() + 3) / 4);
                    BuildRequest(frame, link, seq, status, op, words);
                    std::copy(body.begin(), body.end(), frame.begin() + kOffBody);
                    if (tweak & 1) {
                        frame[3] |= kAnswerFlag;
                    }
                    SealHeader(frame.data());
                    SealPayload(frame.data(), words);
                    sync.Receive(frame.data(), frame.size());
                    break;
                }
                case 3: {
                    if (last.size() < kAnswerSize) {
                        break;
                    }
                    uint8_t answer[kAnswerSize];
                    const uint8_t status = in.Byte();
                    BuildAnswer(last.data(), status & 1 ? kStatusAccepted : status, answer);
                    if (status & 2) {
                        answer[kOffSequence] = in.Byte();
                        SealPayload(answer, 3);
                    }
                    sync.Receive(answer, kAnswerSize);
                    break;
                }
            }
        }
    } catch (const std::exception&) {
        // A received file that could not be handled ends the connection: a valid outcome.
    }

    // Nothing but the mirror may exist under the program directory.
    for (const auto& entry : fs::directory_iterator(programDir)) {
        if (entry.path().filename() != "CTR") {
            std::abort();
        }
    }
    for (const auto& entry : fs::directory_iterator(programDir / "CTR")) {
        if (entry.path().filename() != "CTR_00A1") {
            std::abort();
        }
    }
    return 0;
}
