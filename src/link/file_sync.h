#pragma once
// TFileSync: the file-synchronisation protocol of one concentrator connection.
//
// The connection thread hands it every block of received bytes; it cuts frames, runs the
// handshake that names the concentrator and ties the connection to its mirror directory, the
// receiving side (files the concentrator sends) and the sending side (every file waiting in the
// mirror inbox), and sends its frames through the send function it was given. It knows nothing
// about sockets, so the tests and the fuzz target drive it directly.
//
// Everything but the countdown and idle members runs on the connection thread. The window's (or
// the headless timer's) one-second tick reads and counts down the close countdown and the idle
// count, which are atomic.
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "link/frame.h"
#include "link/link_shared.h"

namespace zb::link {

// The largest file a concentrator may send; a file announced larger is refused at its first
// block.
inline constexpr int64_t kMaxReceivedFileSize = int64_t{1} << 30;  // 1 GiB

class TFileSync : public FrameSink {
  public:
    // Writes the whole buffer to the connection, or throws.
    using SendFunction = std::function<void(const uint8_t* data, size_t size)>;

    TFileSync(LinkShared& shared, std::string peerAddress, SendFunction send);
    ~TFileSync() override;
    TFileSync(const TFileSync&) = delete;
    TFileSync& operator=(const TFileSync&) = delete;

    // The opening frame of every connection: the 24-byte handshake request in one write.
    void Connect();
    // Appends received bytes to the accumulator (as many as fit) and runs the frame scanner.
    // Throws when a completed received file could not be handled; the connection must end.
    void Receive(const uint8_t* data, size_t size);
    // For reading straight into the accumulator: read into Accumulator().FreeSpace(), Commit(n),
    // then Scan().
    FrameAccumulator& Accumulator() { return accumulator_; }
    void Scan() { accumulator_.Scan(*this); }

    // 0xFFFFFFFF until the handshake named the concentrator.
    uint32_t LinkId() const { return linkId_.load(); }
    // "%0.4X" of the link ID, or "" before the handshake.
    std::string CtrId() const;
    const std::string& PeerAddress() const { return peerAddress_; }

    // 0 = no close pending; otherwise the ticks left before the connection is closed.
    int32_t CloseCountdown() const { return closeCountdown_.load(); }
    // One timeout tick: counts a pending countdown down; true when it reached 0 now.
    bool TickCloseCountdown();
    // One tick of the idle count (reset by every complete frame); returns the ticks since the
    // last complete frame, this one included.
    int TickIdle() { return ++idleTicks_; }
    int IdleTicks() const { return idleTicks_.load(); }
    // One tick of the connection's age; returns the ticks since it was accepted.
    int TickAge() { return ++ageTicks_; }

    // How another connection closes this one (the second-session rule); set by the server.
    void SetCloser(std::function<void()> close) { close_ = std::move(close); }

    uint8_t ReceivingState() const { return rxState_; }
    uint8_t SendingState() const { return txState_; }
    bool ConcentratorFinished() const { return finished_; }

    // FrameSink
    uint32_t CurrentLinkId() const override { return linkId_.load(); }
    bool OnFrame(const FrameView& frame) override;

  private:
    bool Handshake(const FrameView& frame);
    bool RefuseUnknown(const std::string& idText);
    // The second-session rule; false when this connection must give way to a live session.
    bool TakeSession(uint32_t id, const std::string& idText);
    void ReceivingSide(const FrameView& frame);
    void CompleteReceivedFile();
    void HandleCompletedFile(const ReceivedFile& file);
    void KeepRejectedFile(const ReceivedFile& file, const std::string& reason);
    // Opens a new spool file for the file being received; false (logged) when it cannot be.
    bool OpenSpool();
    // Appends block data to the spool file; false (logged) when it cannot be written.
    bool AppendToSpool(const uint8_t* data, size_t size);
    // Closes and deletes the spool file, if any; the receiving side holds no file afterwards.
    void DiscardSpool();
    // Ends the file being received: spool discarded, state 0.
    void ResetReceivingSide();
    void Answer(const FrameView& request, uint8_t status);
    void SendingSide(const FrameView& answer);
    void OfferNextFile();
    // Opens the file whose name the concentrator accepted; false when it cannot be read.
    bool OpenFileToSend();
    // Closes the file being sent and frees its frame buffer.
    void CloseFileToSend();
    void SendNextBlock();
    // Reads the block at the current position into the frame buffer and seals it; throws when
    // the file was cut short while it was being sent (its size was announced with the first
    // block).
    void PrepareNextBlock();
    void Send(const std::vector<uint8_t>& frame) { send_(frame.data(), frame.size()); }
    void Log(const std::string& text) const;

    LinkShared& shared_;
    const std::string peerAddress_;
    SendFunction send_;

    FrameAccumulator accumulator_;
    std::atomic<uint32_t> linkId_{kNoLinkId};
    std::string ctrId_;
    std::filesystem::path mirrorDir_;

    // Receiving side.
    uint8_t inboundArea_[kAnswerSize] = {};
    uint8_t rxState_ = 0;
    // The file being received goes to a spool file in the mirror directory (outside ROOT) as its
    // blocks arrive, so memory per connection stays at the frame accumulator.
    int rxSpoolFd_ = -1;
    std::filesystem::path rxSpoolPath_;
    int64_t rxReceived_ = 0;
    std::string rxPath_;  // UTF-8
    std::filesystem::path rxMirrorPath_;
    uint8_t rxSequence_ = 0;

    // Sending side.
    // Holds the handshake and file-name requests.
    std::vector<uint8_t> outboundArea_;
    uint8_t txState_ = 0;
    // The file being sent is read block by block, each block straight into the data area of the
    // one frame buffer of the connection (behind room for its header), sealed there and handed to
    // the socket without another copy. The next block is read and sealed while the concentrator
    // checks the last one sent, so reading and sealing stay off the critical path, and a
    // connection holds one block of a file, never the whole file.
    int txFd_ = -1;
    std::unique_ptr<uint8_t[]> txFrame_;
    size_t txSize_ = 0;
    size_t txPosition_ = 0;
    bool txNextReady_ = false;
    uint8_t txSequence_ = 0;
    std::string txRelativePath_;  // UTF-8, for the log
    std::string txWirePath_;      // cp1251, as sent
    std::filesystem::path txFullPath_;
    struct FileIdentity {
        uint64_t device = 0, inode = 0, size = 0;
        int64_t mtimeNs = 0;
        bool operator==(const FileIdentity&) const = default;
    } txIdentity_;
    // Inbox files this connection could not offer (name too long or not representable, file
    // unreadable); they stay in the inbox for a later connection.
    std::set<std::string> txSkipped_;

    // The session the handshake began in the registry (0: none).
    SessionRegistry::SessionId session_ = 0;

    std::atomic<int32_t> closeCountdown_{0};
    std::atomic<int> idleTicks_{0};
    std::atomic<int> ageTicks_{0};
    std::function<void()> close_;
    bool holdsSession_ = false;
    bool finished_ = false;
};

}  // namespace zb::link
