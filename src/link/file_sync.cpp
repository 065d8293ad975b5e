#include "link/file_sync.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>
#include <system_error>

#include "base/clock.h"
#include "base/events.h"
#include "base/log.h"
#include "base/text.h"
#include "link/mirror.h"
#include "link/service_command.h"

namespace zb::link {
namespace fs = std::filesystem;

namespace {

// The clock key of now: local date and time as days since 1899-12-30, rounded half to even.
// It changes at local noon.
std::string ClockKeyNow() {
    return std::to_string(base::RoundHalfEven(base::ToDateTime(base::LocalNow())));
}

bool EndsWithXml(const std::string& name) {
    return name.size() > 4 &&
           base::EqualsNoCase(std::string_view(name).substr(name.size() - 4), ".xml");
}

}  // namespace

TFileSync::TFileSync(LinkShared& shared, std::string peerAddress, SendFunction send)
    : shared_(shared), peerAddress_(std::move(peerAddress)), send_(std::move(send)) {
    outboundArea_.reserve(kMaxSentFrame);
}

TFileSync::~TFileSync() {
    DiscardSpool();
    CloseFileToSend();
    {
        std::lock_guard lock(shared_.sessionsMutex);
        if (holdsSession_) {
            const auto it = shared_.sessions.find(linkId_.load());
            if (it != shared_.sessions.end() && it->second == this) {
                shared_.sessions.erase(it);
            }
        }
    }
    // The connection is gone: its figures end (and are recorded) outside every lock.
    shared_.sessionFigures.End(session_);
}

std::string TFileSync::CtrId() const {
    const uint32_t id = linkId_.load();
    return id == kNoLinkId ? std::string() : CtrIdText(id);
}

// Names, paths and error texts come from the peer: shown with control characters escaped, so a
// received name can never start a log line of its own.
void TFileSync::Log(const std::string& text) const {
    base::LogLine(PeerText(text));
}

void TFileSync::Connect() {
    BuildHandshakeRequest(outboundArea_);
    Send(outboundArea_);
}

void TFileSync::Receive(const uint8_t* data, size_t size) {
    accumulator_.Append(data, size);
    accumulator_.Scan(*this);
}

bool TFileSync::TickCloseCountdown() {
    int32_t value = closeCountdown_.load();
    while (value > 0 && !closeCountdown_.compare_exchange_weak(value, value - 1)) {
    }
    return value == 1;
}

// Routing of a complete frame.
bool TFileSync::OnFrame(const FrameView& frame) {
    idleTicks_ = 0;
    if (linkId_.load() == kNoLinkId) {
        if (frame.isAnswer() && frame.linkId() == kNoLinkId && frame.status() == 0 &&
            frame.operation() == kOpHandshake && frame.words() == 4) {
            return Handshake(frame);
        }
        return true;  // anything else before the handshake is dropped
    }
    if (frame.linkId() == linkId_.load() && frame.isAnswer()) {
        SendingSide(frame);
    } else if (frame.linkId() == kNoLinkId && !frame.isAnswer()) {
        ReceivingSide(frame);
    }
    return true;
}

bool TFileSync::Handshake(const FrameView& frame) {
    const uint32_t id = GetU32(frame.data + kOffBody);
    const std::string idText = CtrIdText(id);
    const fs::path mirror = MirrorDir(shared_.ProgramDir(), idText);
    std::error_code ec;
    if (!fs::is_directory(mirror, ec)) {
        return RefuseUnknown(idText);
    }
    if (!TakeSession(id, idText)) {
        Log("CtrID = " + idText + ", второе соединение с " + peerAddress_ + " отклонено");
        closeCountdown_ = 1;
        return false;
    }
    linkId_ = id;
    ctrId_ = idText;
    mirrorDir_ = mirror;
    Log("CtrID = " + idText + " <--> HANDSHAKE OK, IP = " + peerAddress_);

    bool setClock = false;
    std::optional<std::string> previousAddress;
    {
        std::lock_guard lock(shared_.linkLock);
        previousAddress = shared_.lastAddress.Set(idText, peerAddress_);
        const std::string key = ClockKeyNow();
        const std::optional<std::string> previous = shared_.clockKey.Set(idText, key);
        setClock = !previous || *previous != key;
    }
    if (previousAddress && *previousAddress != peerAddress_) {
        Log("CtrID = " + idText + ", адрес сменился: был " + *previousAddress + ", теперь " +
            peerAddress_);
    }
    base::Events().CtrLastAddressChanged(idText, peerAddress_);
    session_ = shared_.sessionFigures.Begin(idText, peerAddress_);

    if (setClock) {
        QueueSetUTC(shared_.ProgramDir(), idText, base::Clock::Now());
    }
    OfferNextFile();
    return true;
}

bool TFileSync::RefuseUnknown(const std::string& idText) {
    Log("CtrID = " + idText + ", UNKNOWN, IP = " + peerAddress_);
    linkId_ = kNoLinkId;
    closeCountdown_ = 1;
    Log("Попытка подключения незарегистрированного концентратора, соединение будет "
        "закрыто через 1 сек.");
    if (shared_.addressGuard.NoteUnknownId(peerAddress_)) {
        Log("IP = " + peerAddress_ + ": больше " + std::to_string(kUnknownIdLimit) +
            " неизвестных CtrID за минуту, адрес не обслуживается " +
            std::to_string(kUnknownIdBlockMinutes) + " мин.");
    }
    return false;  // everything still held is discarded
}

// A concentrator has one session. A second connection with its ID is refused while the first
// one has received a frame within kSessionQuietSeconds; a first one quiet for longer (a
// connection that died half-open) is closed and the new one served at once.
bool TFileSync::TakeSession(uint32_t id, const std::string& idText) {
    std::lock_guard lock(shared_.sessionsMutex);
    TFileSync*& holder = shared_.sessions[id];
    if (holder != nullptr && holder != this) {
        if (holder->IdleTicks() < kSessionQuietSeconds) {
            return false;
        }
        Log("CtrID = " + idText + ", прежнее соединение с " + holder->PeerAddress() +
            " молчит, закрыто");
        holder->holdsSession_ = false;
        if (holder->close_) {
            holder->close_();
        }
    }
    holder = this;
    holdsSession_ = true;
    return true;
}

void TFileSync::Answer(const FrameView& request, uint8_t status) {
    BuildAnswer(request.data, status, inboundArea_);
    send_(inboundArea_, kAnswerSize);
}

void TFileSync::ReceivingSide(const FrameView& frame) {
    if (rxState_ == 0) {
        if (frame.status() != kStatusAccepted || frame.operation() != kOpFileName ||
            frame.words() < 4) {
            Answer(frame, kStatusRefused);
            return;
        }
        const size_t length = frame.data[kOffBody];
        if (length > frame.bodySize() - 1) {  // the name must lie inside the frame
            Answer(frame, kStatusRefused);
            return;
        }
        ResetReceivingSide();
        rxPath_ = base::Cp1251ToUtf8(
            std::string_view(reinterpret_cast<const char*>(frame.data + kOffBody + 1), length));
        rxSequence_ = frame.sequence();
        if (length == 0) {
            rxState_ = 0;
            finished_ = true;
            Log("Получен пакет с пустым именем файла.");
            if (txState_ == 0) {
                Log("Передача файлов не производится, соединение будет закрыто через 5 сек.");
                closeCountdown_ = 5;
            }
            Answer(frame, kStatusAccepted);
            return;
        }
        const std::optional<fs::path> local = MapLinkPath(mirrorDir_, rxPath_);
        if (!local) {
            Log("CtrID = " + ctrId_ + ", недопустимый путь \"" + rxPath_ + "\", файл отклонён.");
            rxPath_.clear();
            Answer(frame, kStatusRefused);
            return;
        }
        rxMirrorPath_ = *local;
        rxState_ = 1;
        Answer(frame, kStatusAccepted);
        return;
    }

    // State 1: the next block of the file.
    if (frame.sequence() != rxSequence_ || frame.status() != kStatusAccepted ||
        frame.operation() != kOpFileData || frame.words() < 7) {
        ResetReceivingSide();
        Answer(frame, kStatusRefused);
        return;
    }
    const int32_t offset = static_cast<int32_t>(GetU32(frame.data + kOffBlockOffset));
    const uint32_t length = GetU32(frame.data + kOffBlockLength);
    const int32_t total = static_cast<int32_t>(GetU32(frame.data + kOffBlockTotal));
    if (length > frame.size - kOffBlockData || static_cast<int64_t>(offset) != rxReceived_) {
        ResetReceivingSide();
        Answer(frame, kStatusRefused);
        return;
    }
    if (rxSpoolFd_ < 0) {
        // The first block announces the size: a file over the limit is refused before a byte of
        // it is stored.
        if (total > kMaxReceivedFileSize) {
            Log("CtrID = " + ctrId_ + ", файл \"" + rxPath_ + "\" отклонён: размер " +
                std::to_string(total) + " байт больше предела " +
                std::to_string(kMaxReceivedFileSize) + " байт.");
            ResetReceivingSide();
            Answer(frame, kStatusRefused);
            return;
        }
        if (!OpenSpool()) {
            ResetReceivingSide();
            Answer(frame, kStatusRefused);
            return;
        }
    }
    if (static_cast<int64_t>(total) > kMaxReceivedFileSize ||
        !AppendToSpool(frame.data + kOffBlockData, length)) {
        ResetReceivingSide();
        Answer(frame, kStatusRefused);
        return;
    }
    if (total == rxReceived_) {
        CompleteReceivedFile();  // throws when the server could not handle it: no answer then
        Answer(frame, kStatusAccepted);
    } else if (total < rxReceived_) {
        Answer(frame, kStatusRefused);
    } else {
        Answer(frame, kStatusAccepted);
    }
}

bool TFileSync::OpenSpool() {
    static std::atomic<uint64_t> serial{0};
    rxSpoolPath_ = mirrorDir_ / (std::string(kSpoolPrefix) + std::to_string(::getpid()) + "-" +
                                 std::to_string(++serial) + ".part");
    rxSpoolFd_ = ::open(rxSpoolPath_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (rxSpoolFd_ < 0) {
        const int error = errno;
        Log("CtrID = " + ctrId_ + ", файл \"" + rxPath_ +
            "\" не принят: " + SystemErrorText(error));
        rxSpoolPath_.clear();
        return false;
    }
    return true;
}

bool TFileSync::AppendToSpool(const uint8_t* data, size_t size) {
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(rxSpoolFd_, data + done, size - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            const int error = n < 0 ? errno : ENOSPC;
            Log("CtrID = " + ctrId_ + ", файл \"" + rxPath_ +
                "\" не принят: " + SystemErrorText(error));
            return false;
        }
        done += static_cast<size_t>(n);
    }
    rxReceived_ += static_cast<int64_t>(size);
    return true;
}

void TFileSync::DiscardSpool() {
    if (rxSpoolFd_ >= 0) {
        ::close(rxSpoolFd_);
        rxSpoolFd_ = -1;
    }
    if (!rxSpoolPath_.empty()) {
        std::error_code ignored;
        fs::remove(rxSpoolPath_, ignored);  // already gone when the handler stored it
        rxSpoolPath_.clear();
    }
    rxReceived_ = 0;
}

void TFileSync::ResetReceivingSide() {
    DiscardSpool();
    rxState_ = 0;
}

namespace {

// The received bytes of a completed spool file, mapped read-only for the time of the call.
class MappedFile {
  public:
    MappedFile(int fd, size_t size, const fs::path& path) : size_(size) {
        if (size_ == 0) {
            return;
        }
        void* data = ::mmap(nullptr, size_, PROT_READ, MAP_SHARED, fd, 0);
        if (data == MAP_FAILED) {
            throw fs::filesystem_error("cannot map the received file", path,
                                       std::error_code(errno, std::generic_category()));
        }
        data_ = static_cast<const char*>(data);
    }
    ~MappedFile() {
        if (data_ != nullptr) {
            ::munmap(const_cast<char*>(data_), size_);
        }
    }
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;
    std::string_view Bytes() const {
        return data_ != nullptr ? std::string_view(data_, size_) : "";
    }

  private:
    const char* data_ = nullptr;
    size_t size_;
};

bool StoredInMirror(ReceivedKind kind) {
    return kind == ReceivedKind::MeterList || kind == ReceivedKind::Noise ||
           kind == ReceivedKind::Profile || kind == ReceivedKind::Periodic;
}

}  // namespace

void TFileSync::CompleteReceivedFile() {
    Log("CtrID = " + ctrId_ + "  -->  \"" + rxPath_ + "\"");
    ++shared_.filesIn;

    struct Reset {
        TFileSync& self;
        ~Reset() { self.ResetReceivingSide(); }
    } reset{*this};

    ReceivedFile file;
    file.ctrId = ctrId_;
    file.linkPath = rxPath_;
    file.fileName = rxPath_.substr(rxPath_.rfind('\\') + 1);
    file.kind = ClassifyLinkPath(rxPath_);
    file.mirrorDir = mirrorDir_;
    file.mirrorPath = rxMirrorPath_;
    file.spoolPath = rxSpoolPath_;
    // A file that will be stored is flushed before it is renamed into place and acknowledged.
    if (StoredInMirror(file.kind)) {
        SyncFile(rxSpoolFd_, rxSpoolPath_);
    }
    const MappedFile mapped(rxSpoolFd_, static_cast<size_t>(rxReceived_), rxSpoolPath_);
    file.bytes = mapped.Bytes();
    HandleCompletedFile(file);
}

void TFileSync::HandleCompletedFile(const ReceivedFile& file) {
    const std::shared_ptr<ReceivedFileHandler> handler = shared_.Handler();
    std::lock_guard lock(shared_.fileLock);
    bool applied = true;
    try {
        handler->HandleReceivedFile(file);
    } catch (const EReceivedFileRejected& rejected) {
        KeepRejectedFile(file, rejected.what());
        applied = false;
    }
    shared_.sessionFigures.FileReceived(session_, applied && file.kind == ReceivedKind::MeterList);
}

// Keeps a file that can never be processed under CTR/CTR_<ID>/REJECTED/ (outside ROOT, so it is
// never synchronised back), named by the time it arrived and its own name. Throws when it cannot
// be kept: then the file is not acknowledged and comes again.
void TFileSync::KeepRejectedFile(const ReceivedFile& file, const std::string& reason) {
    // A mirror deleted meanwhile (the concentrator was removed) is not made again by this.
    if (!fs::is_directory(mirrorDir_)) {
        throw fs::filesystem_error("the mirror directory is gone", mirrorDir_,
                                   std::make_error_code(std::errc::no_such_file_or_directory));
    }
    const fs::path folder = mirrorDir_ / "REJECTED";
    fs::create_directories(folder);
    const base::LocalDateTime now = base::LocalNow();
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d-%02d-%02d-%02d_", now.year, now.month,
                  now.day, now.hour, now.minute, now.second);
    // The stamp must fit beside the name: a name the file system could not hold is cut.
    const std::string name = Utf8Prefix(file.mirrorPath.filename().string(), 200);
    fs::path target = folder / (stamp + name);
    for (int n = 2; fs::exists(target); ++n) {
        target = folder / (stamp + std::to_string(n) + "_" + name);
    }
    std::error_code ec;
    if (!file.spoolPath.empty() && fs::exists(file.spoolPath, ec)) {
        SyncFile(rxSpoolFd_, file.spoolPath);
        fs::rename(file.spoolPath, target);
    } else {
        ReceivedFile copy = file;
        copy.spoolPath.clear();
        copy.mirrorPath = target;
        WriteReceivedFile(copy);
    }
    SyncFolder(folder);
    Log("CtrID = " + ctrId_ + ", файл " + file.fileName + " отклонён: " + reason);
}

void TFileSync::SendingSide(const FrameView& answer) {
    switch (txState_) {
        case 1: {
            if (answer.sequence() != txSequence_ || answer.status() != kStatusAccepted ||
                answer.operation() != kOpFileName || answer.words() != 3) {
                txState_ = 3;
                return;
            }
            if (!OpenFileToSend()) {
                Log("CtrID = " + ctrId_ + ", файл \"" + txRelativePath_ +
                    "\" не прочитан, пропущен.");
                txSkipped_.insert(txFullPath_.filename().string());
                txState_ = 3;
                OfferNextFile();
                return;
            }
            txPosition_ = 0;
            txNextReady_ = false;
            txState_ = 2;
            SendNextBlock();
            return;
        }
        case 2: {
            if (answer.sequence() != txSequence_ || answer.status() != kStatusAccepted ||
                answer.operation() != kOpFileData || answer.words() != 3) {
                txState_ = 3;
                return;
            }
            if (txPosition_ < txSize_) {
                SendNextBlock();
                return;
            }
            Log("CtrID = " + ctrId_ + "  <--  \"" + txRelativePath_ + "\"");
            // The file is deleted only if it is still the one that was sent: a command written
            // anew under the same name meanwhile (a rename over it) stays for the next offer.
            struct stat st {};
            if (::stat(txFullPath_.c_str(), &st) == 0 &&
                FileIdentity{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino),
                             static_cast<uint64_t>(st.st_size),
                             static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 +
                                 st.st_mtim.tv_nsec} == txIdentity_) {
                std::error_code ec;
                fs::remove(txFullPath_, ec);
            }
            ++shared_.filesOut;
            shared_.sessionFigures.FileSent(session_);
            CloseFileToSend();
            txState_ = 3;
            OfferNextFile();
            return;
        }
        default:
            OfferNextFile();
            return;
    }
}

void TFileSync::OfferNextFile() {
    const fs::path inbox = mirrorDir_ / "ROOT" / "WORK" / "INBOX";
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(inbox, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code typeEc;
        if (!it->is_regular_file(typeEc)) {
            continue;
        }
        std::string name = it->path().filename().string();
        if (EndsWithXml(name) && txSkipped_.count(name) == 0) {
            names.push_back(std::move(name));
        }
    }
    std::sort(names.begin(), names.end());

    for (const std::string& name : names) {
        const std::string relative = std::string(kInboxLinkDir) + name;
        const std::optional<std::string> wire = base::Utf8ToCp1251(relative);
        if (!wire) {
            Log("CtrID = " + ctrId_ + ", файл \"" + relative +
                "\" пропущен: имя непредставимо в кодировке 1251.");
            txSkipped_.insert(name);
            continue;
        }
        if (wire->size() > kMaxNameLength) {
            Log("CtrID = " + ctrId_ + ", файл \"" + relative +
                "\" пропущен: путь длиннее 255 байт.");
            txSkipped_.insert(name);
            continue;
        }
        txRelativePath_ = relative;
        txWirePath_ = *wire;
        txFullPath_ = inbox / name;
        txSequence_ = 0;
        BuildFileNameRequest(outboundArea_, linkId_.load(), txSequence_, txWirePath_);
        txState_ = 1;
        Send(outboundArea_);
        return;
    }

    if (finished_) {
        Log("На сервере файлов для передачи больше нет, соединение будет закрыто через 2 сек.");
        closeCountdown_ = 2;
    }
    txState_ = 0;
}

// The identity (device, inode, size, modification time) is taken from the open file, so the
// file deleted after it was sent is the one that was read, not one renamed over it meanwhile.
bool TFileSync::OpenFileToSend() {
    if (txFd_ >= 0) {
        ::close(txFd_);  // a transfer parked midway; its frame buffer is used again
    }
    txFd_ = ::open(txFullPath_.c_str(), O_RDONLY | O_CLOEXEC);
    if (txFd_ < 0) {
        return false;
    }
    struct stat st {};
    if (::fstat(txFd_, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > 0x7FFFFFFF) {
        CloseFileToSend();
        return false;
    }
    txIdentity_ =
        FileIdentity{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino),
                     static_cast<uint64_t>(st.st_size),
                     static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
    txSize_ = static_cast<size_t>(st.st_size);
    if (!txFrame_) {
        txFrame_.reset(new uint8_t[kMaxSentFrame]);
    }
    return true;
}

void TFileSync::CloseFileToSend() {
    if (txFd_ >= 0) {
        ::close(txFd_);
        txFd_ = -1;
    }
    txFrame_.reset();
    txSize_ = 0;
}

void TFileSync::SendNextBlock() {
    if (!txNextReady_) {
        PrepareNextBlock();
    }
    txNextReady_ = false;
    txSequence_ = static_cast<uint8_t>(txSequence_ + 1);
    const size_t length = std::min(txSize_ - txPosition_, kMaxBlockData);
    txPosition_ += length;
    // The socket has the bytes once this returns, so the buffer is free for the next block.
    send_(txFrame_.get(), FrameSize(DataWords(length)));
    // Read and seal the following block while the concentrator checks this one.
    if (txPosition_ < txSize_) {
        PrepareNextBlock();
    }
}

void TFileSync::PrepareNextBlock() {
    const size_t length = std::min(txSize_ - txPosition_, kMaxBlockData);
    size_t done = 0;
    while (done < length) {
        const ssize_t n = ::pread(txFd_, txFrame_.get() + kOffBlockData + done, length - done,
                                  static_cast<off_t>(txPosition_ + done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            // Its size went out with the first block: the concentrator drops the file when the
            // connection ends, and the file, still in the inbox, is offered again next time.
            throw std::system_error(n < 0 ? errno : EIO, std::generic_category(),
                                    "файл \"" + txRelativePath_ + "\" не дочитан при передаче");
        }
        done += static_cast<size_t>(n);
    }
    SealDataRequestInPlace(txFrame_.get(), linkId_.load(), static_cast<uint8_t>(txSequence_ + 1),
                           static_cast<uint32_t>(txPosition_), static_cast<uint32_t>(txSize_),
                           length);
    txNextReady_ = true;
}

}  // namespace zb::link
