// zarnic-ctr-sim: plays one or many concentrators against a ZarnicBox server.
//
// Each simulated concentrator connects, answers the server's handshake with its ID, stores every
// file the server sends under its local root, sends the files found in its own WORK/OUTBOX,
// WORK/PERIODIC, INFO/METERS and INFO/PROFILES, announces the empty name and waits until the
// server closes the connection. It is written from the link protocol, not from the server's
// classes (only the frame layout and checksums are shared), and it checks what the server sends:
// checksums, link IDs, word counts, sequence bytes, offsets and totals. Every deviation counts as
// a failure.
//
// All connections run in one thread on non-blocking sockets (epoll), so thousands of
// concentrators cost little.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/text.h"
#include "link/frame.h"

namespace {

namespace fs = std::filesystem;
using namespace zb::link;

constexpr const char* kUsage =
    "usage: zarnic-ctr-sim --port PORT [options]\n"
    "\n"
    "Plays concentrators against a ZarnicBox server. Each one connects, answers the handshake\n"
    "with its ID, stores every file the server sends under its root (ROOT/WORK/INBOX/...), sends\n"
    "the files of its root's ROOT/WORK/OUTBOX, ROOT/WORK/PERIODIC, ROOT/INFO/METERS and\n"
    "ROOT/INFO/PROFILES (in that order, by name), announces the empty name, and ends when the\n"
    "server closes the connection. A summary is printed at the end.\n"
    "\n"
    "options:\n"
    "  --host ADDR      server address (default 127.0.0.1)\n"
    "  --port PORT      server port (required)\n"
    "  --id HEX         concentrator ID, hexadecimal (default 0001)\n"
    "  --count N        run N concentrators with consecutive IDs at once (default 1)\n"
    "  --root DIR       concentrator root: DIR/ROOT/... for one concentrator, DIR/<ID>/ROOT/...\n"
    "                   for each of several (default: current directory)\n"
    "  --send-from DIR  every concentrator sends the files of DIR/ROOT/... instead of its own\n"
    "  --no-store       count received files but do not write them\n"
    "  --timeout SEC    give up on connections still open after SEC seconds (default 120)\n"
    "  --trace          print every frame exchanged\n"
    "  --quiet          print only the summary\n"
    "  --help           this text\n"
    "\n"
    "Exit status: 0 when every concentrator finished without failure, 1 otherwise, 2 for wrong\n"
    "usage.\n";

struct Options {
    std::string host = "127.0.0.1";
    int port = -1;
    uint32_t firstId = 1;
    uint32_t count = 1;
    fs::path root = ".";
    std::optional<fs::path> sendFrom;
    bool store = true;
    int timeoutSeconds = 120;
    bool trace = false;
    bool quiet = false;
};

struct OutgoingFile {
    std::string wirePath;  // cp1251, backslashes
    std::string shownPath;
    std::shared_ptr<const std::string> bytes;
};

// The folders a concentrator sends from, in this order.
constexpr std::string_view kSendFolders[] = {"ROOT\\WORK\\OUTBOX", "ROOT\\WORK\\PERIODIC",
                                             "ROOT\\INFO\\METERS", "ROOT\\INFO\\PROFILES"};

std::vector<OutgoingFile> CollectOutgoing(const fs::path& root) {
    std::vector<OutgoingFile> files;
    for (std::string_view folder : kSendFolders) {
        fs::path local = root;
        size_t pos = 0;
        while (pos <= folder.size()) {
            const size_t next = std::min(folder.find('\\', pos), folder.size());
            local /= std::string(folder.substr(pos, next - pos));
            pos = next + 1;
        }
        std::vector<std::string> names;
        std::error_code ec;
        for (fs::directory_iterator it(local, ec), end; !ec && it != end; it.increment(ec)) {
            if (it->is_regular_file()) {
                names.push_back(it->path().filename().string());
            }
        }
        std::sort(names.begin(), names.end());
        for (const std::string& name : names) {
            std::ifstream in(local / name, std::ios::binary);
            auto bytes = std::make_shared<std::string>((std::istreambuf_iterator<char>(in)),
                                                       std::istreambuf_iterator<char>());
            const std::string shown = std::string(folder) + "\\" + name;
            const std::optional<std::string> wire = zb::base::Utf8ToCp1251(shown);
            if (!wire || wire->size() > kMaxNameLength) {
                std::fprintf(stderr, "skipped (name not sendable): %s\n", shown.c_str());
                continue;
            }
            files.push_back(OutgoingFile{*wire, shown, std::move(bytes)});
        }
    }
    return files;
}

std::string IdText(uint32_t id) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04X", id);
    return buf;
}

struct Totals {
    uint64_t connections = 0, handshakes = 0, closedByServer = 0;
    uint64_t filesIn = 0, bytesIn = 0, filesOut = 0, bytesOut = 0;
    uint64_t failures = 0;
};

class Concentrator : public FrameSink {
  public:
    Concentrator(const Options& options, uint32_t id, fs::path root,
                 std::vector<OutgoingFile> outgoing, Totals& totals)
        : options_(options),
          id_(id),
          idText_(IdText(id)),
          root_(std::move(root)),
          outgoing_(std::move(outgoing)),
          totals_(totals) {}

    int fd = -1;
    bool done = false;
    bool wantWrite = false;

    uint32_t CurrentLinkId() const override { return id_; }

    bool OnFrame(const FrameView& frame) override {
        if (!handshaken_) {
            if (frame.isAnswer() || frame.linkId() != kNoLinkId ||
                frame.operation() != kOpHandshake || frame.words() != 3 || frame.status() != 0 ||
                frame.sequence() != 0) {
                Fail("the first frame is not the handshake request");
                return true;
            }
            Trace("S>C handshake request");
            handshaken_ = true;
            ++totals_.handshakes;
            std::vector<uint8_t> answer;
            BuildHandshakeAnswer(answer, id_);
            Queue(answer.data(), answer.size());
            Trace("C>S handshake answer");
            SendNextRequest();
            return true;
        }
        if (frame.isAnswer()) {
            OnAnswer(frame);
        } else {
            OnServerRequest(frame);
        }
        return true;
    }

    // Bytes to write, kept until the socket takes them.
    std::string outBuffer;
    size_t outOffset = 0;

    FrameAccumulator accumulator;

    void Closed(bool byServer) {
        if (done) {
            return;
        }
        done = true;
        if (byServer) {
            ++totals_.closedByServer;
        }
        if (!handshaken_) {
            Fail("closed before the handshake");
        } else if (!emptyNameAnswered_ && byServer) {
            Fail("closed before the empty name was answered");
        } else if (rxActive_) {
            Fail("closed in the middle of a file from the server");
        }
        if (!options_.quiet) {
            std::printf("[%s] %s: %llu file(s) in, %llu file(s) out%s\n", idText_.c_str(),
                        byServer ? "closed by the server" : "ended",
                        static_cast<unsigned long long>(filesIn_),
                        static_cast<unsigned long long>(filesOut_),
                        failures_ > 0 ? ", with failures" : "");
        }
    }

    void Fail(const std::string& what) {
        ++failures_;
        ++totals_.failures;
        std::fprintf(stderr, "[%s] FAILURE: %s\n", idText_.c_str(), what.c_str());
        std::fflush(stderr);
    }

  private:
    void Trace(const std::string& text) {
        if (options_.trace) {
            std::printf("[%s] %s\n", idText_.c_str(), text.c_str());
        }
    }

    void Queue(const uint8_t* data, size_t size) {
        outBuffer.append(reinterpret_cast<const char*>(data), size);
        wantWrite = true;
    }

    // --- Server to concentrator: file-name and data requests, answered one by one. ---

    void OnServerRequest(const FrameView& frame) {
        if (frame.linkId() != id_) {
            Fail("a server request without the concentrator's link ID");
            Answer(frame, kStatusRefused);
            return;
        }
        if (frame.status() != kStatusAccepted) {
            Fail("a server request with status " + std::to_string(frame.status()));
            Answer(frame, kStatusRefused);
            return;
        }
        if (frame.operation() == kOpFileName) {
            const size_t length = frame.data[kOffBody];
            if (length + 1 > frame.bodySize() || frame.words() != NameWords(length)) {
                Fail("a file-name request of the wrong size");
                Answer(frame, kStatusRefused);
                return;
            }
            if (rxActive_) {
                Fail("a new file-name request before the last file was complete");
            }
            if (frame.sequence() != 0) {
                Fail("a file-name request with sequence " + std::to_string(frame.sequence()));
            }
            rxName_ = zb::base::Cp1251ToUtf8(
                std::string_view(reinterpret_cast<const char*>(frame.data + kOffBody + 1), length));
            rxSequence_ = frame.sequence();
            rxBuffer_.clear();
            rxReceived_ = 0;
            rxTotal_.reset();
            rxActive_ = true;
            Trace("S>C name seq=" + std::to_string(frame.sequence()) + " \"" + rxName_ + "\"");
            Answer(frame, kStatusAccepted);
            return;
        }
        if (frame.operation() == kOpFileData) {
            const uint32_t offset = GetU32(frame.data + kOffBlockOffset);
            const uint32_t length = GetU32(frame.data + kOffBlockLength);
            const uint32_t total = GetU32(frame.data + kOffBlockTotal);
            Trace("S>C data seq=" + std::to_string(frame.sequence()) +
                  " offset=" + std::to_string(offset) + " length=" + std::to_string(length) +
                  " total=" + std::to_string(total));
            if (!rxActive_) {
                Fail("a data block without a file-name request");
                Answer(frame, kStatusRefused);
                return;
            }
            const uint8_t expected = static_cast<uint8_t>(rxSequence_ + 1);
            if (length > kMaxBlockData || frame.words() != DataWords(length) ||
                frame.sequence() != expected || offset != rxReceived_ ||
                (rxTotal_ && *rxTotal_ != total) || rxReceived_ + length > total) {
                Fail("a wrong data block for \"" + rxName_ + "\" (seq " +
                     std::to_string(frame.sequence()) + ", offset " + std::to_string(offset) +
                     ", length " + std::to_string(length) + ", total " + std::to_string(total) +
                     ")");
                rxActive_ = false;
                Answer(frame, kStatusRefused);
                return;
            }
            rxSequence_ = frame.sequence();
            rxTotal_ = total;
            if (options_.store) {
                rxBuffer_.append(reinterpret_cast<const char*>(frame.data + kOffBlockData), length);
            }
            rxReceived_ += length;
            if (rxReceived_ == total) {
                StoreReceived();
                rxActive_ = false;
            }
            Answer(frame, kStatusAccepted);
            return;
        }
        Fail("a server request with an unknown operation");
        Answer(frame, kStatusRefused);
    }

    void StoreReceived() {
        ++filesIn_;
        ++totals_.filesIn;
        totals_.bytesIn += rxReceived_;
        if (!options_.store) {
            return;
        }
        // The server must only ever send files of the concentrator's inbox.
        if (rxName_.rfind("ROOT\\WORK\\INBOX\\", 0) != 0) {
            Fail("a file outside ROOT\\WORK\\INBOX: \"" + rxName_ + "\"");
            return;
        }
        fs::path local = root_;
        size_t pos = 0;
        while (true) {
            const size_t next = rxName_.find('\\', pos);
            const std::string part = rxName_.substr(pos, next - pos);
            if (part.empty() || part == "." || part == ".." ||
                part.find_first_of(std::string("/:\0", 3)) != std::string::npos) {
                Fail("an unsafe file name from the server: \"" + rxName_ + "\"");
                return;
            }
            local /= part;
            if (next == std::string::npos) {
                break;
            }
            pos = next + 1;
        }
        std::error_code ec;
        fs::create_directories(local.parent_path(), ec);
        std::ofstream out(local, std::ios::binary | std::ios::trunc);
        out.write(rxBuffer_.data(), static_cast<std::streamsize>(rxBuffer_.size()));
        if (!out) {
            Fail("cannot store " + local.string());
        }
    }

    void Answer(const FrameView& request, uint8_t status) {
        uint8_t answer[kAnswerSize];
        BuildAnswer(request.data, status, answer);
        Queue(answer, kAnswerSize);
    }

    // --- Concentrator to server: our files, stop-and-wait. ---

    enum class TxState { Idle, NameSent, DataSent, EmptyNameSent, Finished };

    void SendNextRequest() {
        if (txIndex_ >= outgoing_.size()) {
            txSequence_ = static_cast<uint8_t>(txSequence_ + 1);
            BuildFileNameRequest(frame_, kNoLinkId, txSequence_, "");
            Queue(frame_.data(), frame_.size());
            txState_ = TxState::EmptyNameSent;
            Trace("C>S name seq=" + std::to_string(txSequence_) + " \"\"");
            return;
        }
        const OutgoingFile& file = outgoing_[txIndex_];
        txSequence_ = static_cast<uint8_t>(txSequence_ + 1);
        BuildFileNameRequest(frame_, kNoLinkId, txSequence_, file.wirePath);
        Queue(frame_.data(), frame_.size());
        txPosition_ = 0;
        txState_ = TxState::NameSent;
        Trace("C>S name seq=" + std::to_string(txSequence_) + " \"" + file.shownPath + "\"");
    }

    void SendBlock() {
        const OutgoingFile& file = outgoing_[txIndex_];
        const std::string& bytes = *file.bytes;
        const size_t length = std::min(bytes.size() - txPosition_, kMaxBlockData);
        BuildDataRequest(frame_, kNoLinkId, txSequence_, static_cast<uint32_t>(txPosition_),
                         static_cast<uint32_t>(bytes.size()),
                         reinterpret_cast<const uint8_t*>(bytes.data()) + txPosition_, length);
        Queue(frame_.data(), frame_.size());
        Trace("C>S data seq=" + std::to_string(txSequence_) +
              " offset=" + std::to_string(txPosition_) + " length=" + std::to_string(length) +
              " total=" + std::to_string(bytes.size()));
        txPosition_ += length;
        txState_ = TxState::DataSent;
    }

    void OnAnswer(const FrameView& frame) {
        const bool shapeOk =
            frame.linkId() == kNoLinkId && frame.words() == 3 && frame.sequence() == txSequence_;
        const bool accepted = frame.status() == kStatusAccepted;
        switch (txState_) {
            case TxState::NameSent:
            case TxState::DataSent: {
                const uint32_t op = txState_ == TxState::NameSent ? kOpFileName : kOpFileData;
                const OutgoingFile& file = outgoing_[txIndex_];
                if (!shapeOk || frame.operation() != op) {
                    Fail("a wrong answer for \"" + file.shownPath + "\"");
                    return;
                }
                Trace(std::string("S>C answer ") + (accepted ? "accepted" : "refused"));
                if (!accepted) {
                    Fail("the server refused \"" + file.shownPath + "\"");
                    ++txIndex_;
                    SendNextRequest();
                    return;
                }
                if (txState_ == TxState::NameSent || txPosition_ < file.bytes->size()) {
                    SendBlock();
                    return;
                }
                ++filesOut_;
                ++totals_.filesOut;
                totals_.bytesOut += file.bytes->size();
                ++txIndex_;
                SendNextRequest();
                return;
            }
            case TxState::EmptyNameSent:
                if (!shapeOk || frame.operation() != kOpFileName || !accepted) {
                    Fail("a wrong answer to the empty name");
                }
                Trace(std::string("S>C answer ") + (accepted ? "accepted" : "refused"));
                emptyNameAnswered_ = true;
                txState_ = TxState::Finished;
                return;
            default:
                Fail("an answer with no request outstanding");
                return;
        }
    }

    const Options& options_;
    const uint32_t id_;
    const std::string idText_;
    const fs::path root_;
    std::vector<OutgoingFile> outgoing_;
    Totals& totals_;

    bool handshaken_ = false;
    bool emptyNameAnswered_ = false;
    uint64_t filesIn_ = 0, filesOut_ = 0, failures_ = 0;

    bool rxActive_ = false;
    std::string rxName_;
    uint8_t rxSequence_ = 0;
    std::string rxBuffer_;  // kept only when received files are stored
    size_t rxReceived_ = 0;
    std::optional<uint32_t> rxTotal_;

    TxState txState_ = TxState::Idle;
    size_t txIndex_ = 0;
    size_t txPosition_ = 0;
    uint8_t txSequence_ = 0;
    std::vector<uint8_t> frame_;
};

bool ParseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](const char* name) -> const char* {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "zarnic-ctr-sim: %s needs a value\n", name);
                return nullptr;
            }
            return argv[++i];
        };
        char* end = nullptr;
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            std::exit(0);
        } else if (arg == "--host") {
            const char* v = value("--host");
            if (!v)
                return false;
            options.host = v;
        } else if (arg == "--port") {
            const char* v = value("--port");
            if (!v)
                return false;
            const long port = std::strtol(v, &end, 10);
            if (*end != '\0' || port <= 0 || port > 65535)
                return false;
            options.port = static_cast<int>(port);
        } else if (arg == "--id") {
            const char* v = value("--id");
            if (!v)
                return false;
            const unsigned long id = std::strtoul(v, &end, 16);
            if (*end != '\0' || *v == '\0' || id >= 0xFFFFFFFFul)
                return false;
            options.firstId = static_cast<uint32_t>(id);
        } else if (arg == "--count") {
            const char* v = value("--count");
            if (!v)
                return false;
            const long count = std::strtol(v, &end, 10);
            if (*end != '\0' || count < 1 || count > 1000000)
                return false;
            options.count = static_cast<uint32_t>(count);
        } else if (arg == "--root") {
            const char* v = value("--root");
            if (!v)
                return false;
            options.root = v;
        } else if (arg == "--send-from") {
            const char* v = value("--send-from");
            if (!v)
                return false;
            options.sendFrom = fs::path(v);
        } else if (arg == "--no-store") {
            options.store = false;
        } else if (arg == "--timeout") {
            const char* v = value("--timeout");
            if (!v)
                return false;
            const long seconds = std::strtol(v, &end, 10);
            if (*end != '\0' || seconds < 1)
                return false;
            options.timeoutSeconds = static_cast<int>(seconds);
        } else if (arg == "--trace") {
            options.trace = true;
        } else if (arg == "--quiet") {
            options.quiet = true;
        } else {
            std::fprintf(stderr, "zarnic-ctr-sim: unknown option %s\n", arg.c_str());
            return false;
        }
    }
    return options.port > 0;
}

bool StartConnect(Concentrator& c, const sockaddr_in& address, int epoll) {
    c.fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (c.fd < 0) {
        c.Fail(std::string("socket: ") + std::strerror(errno));
        return false;
    }
    const int one = 1;
    ::setsockopt(c.fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    if (::connect(c.fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 &&
        errno != EINPROGRESS) {
        c.Fail(std::string("connect: ") + std::strerror(errno));
        ::close(c.fd);
        c.fd = -1;
        return false;
    }
    epoll_event event{};
    // Edge-triggered: every event is drained until the socket says EAGAIN.
    event.events = EPOLLIN | EPOLLOUT | EPOLLRDHUP | EPOLLET;
    event.data.ptr = &c;
    ::epoll_ctl(epoll, EPOLL_CTL_ADD, c.fd, &event);
    c.wantWrite = true;
    return true;
}

void Finish(Concentrator& c, int epoll, bool byServer, size_t& open) {
    if (c.fd >= 0) {
        ::epoll_ctl(epoll, EPOLL_CTL_DEL, c.fd, nullptr);
        ::close(c.fd);
        c.fd = -1;
    }
    if (!c.done) {
        c.Closed(byServer);
        --open;
    }
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(options.port));
    if (::inet_pton(AF_INET, options.host.c_str(), &address.sin_addr) != 1) {
        std::fprintf(stderr, "zarnic-ctr-sim: not an IPv4 address: %s\n", options.host.c_str());
        return 2;
    }

    Totals totals;
    std::vector<OutgoingFile> shared;
    if (options.sendFrom) {
        shared = CollectOutgoing(*options.sendFrom);
    }
    std::vector<std::unique_ptr<Concentrator>> concentrators;
    concentrators.reserve(options.count);
    for (uint32_t i = 0; i < options.count; ++i) {
        const uint32_t id = options.firstId + i;
        const fs::path root = options.count == 1 ? options.root : options.root / IdText(id);
        concentrators.push_back(std::make_unique<Concentrator>(
            options, id, root, options.sendFrom ? shared : CollectOutgoing(root), totals));
    }

    const auto started = std::chrono::steady_clock::now();
    const int epoll = ::epoll_create1(EPOLL_CLOEXEC);
    size_t open = 0;
    for (auto& c : concentrators) {
        if (StartConnect(*c, address, epoll)) {
            ++totals.connections;
            ++open;
        } else {
            c->done = true;
        }
    }

    std::vector<epoll_event> events(1024);
    const auto deadline = started + std::chrono::seconds(options.timeoutSeconds);
    while (open > 0) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) {
            break;
        }
        const int waitMs = static_cast<int>(std::min<int64_t>(
            1000,
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count() + 1));
        const int n = ::epoll_wait(epoll, events.data(), static_cast<int>(events.size()), waitMs);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            break;
        }
        for (int e = 0; e < n; ++e) {
            Concentrator& c = *static_cast<Concentrator*>(events[e].data.ptr);
            if (c.done || c.fd < 0) {
                continue;
            }
            bool closed = false;
            if (events[e].events & (EPOLLIN | EPOLLRDHUP | EPOLLHUP | EPOLLERR)) {
                while (true) {
                    if (c.accumulator.FreeSize() == 0) {
                        c.accumulator.Clear();
                    }
                    const ssize_t got =
                        ::recv(c.fd, c.accumulator.FreeSpace(), c.accumulator.FreeSize(), 0);
                    if (got > 0) {
                        c.accumulator.Commit(static_cast<size_t>(got));
                        c.accumulator.Scan(c);
                        continue;
                    }
                    if (got == 0) {
                        closed = true;
                    } else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
                        if (errno != ECONNRESET) {
                            c.Fail(std::string("recv: ") + std::strerror(errno));
                        }
                        closed = true;
                    }
                    break;
                }
            }
            // Write whatever is waiting (answers produced above included).
            while (!closed && c.outOffset < c.outBuffer.size()) {
                const ssize_t sent = ::send(c.fd, c.outBuffer.data() + c.outOffset,
                                            c.outBuffer.size() - c.outOffset, MSG_NOSIGNAL);
                if (sent > 0) {
                    c.outOffset += static_cast<size_t>(sent);
                    continue;
                }
                if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                    break;
                }
                if (sent < 0 && errno == EINTR) {
                    continue;
                }
                if (errno == ENOTCONN) {
                    break;  // the connection is still being made
                }
                c.Fail(std::string("send: ") + std::strerror(errno));
                closed = true;
            }
            if (c.outOffset == c.outBuffer.size()) {
                c.outBuffer.clear();
                c.outOffset = 0;
            }
            if (closed) {
                Finish(c, epoll, true, open);
            }
        }
    }

    uint64_t unfinished = 0;
    for (auto& c : concentrators) {
        if (!c->done) {
            c->Fail("the server did not close the connection in time");
            ++unfinished;
            Finish(*c, epoll, false, open);
        }
    }
    ::close(epoll);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::printf(
        "summary: concentrators %u, connections %llu, handshakes %llu, closed by server %llu, "
        "unfinished %llu\n",
        options.count, static_cast<unsigned long long>(totals.connections),
        static_cast<unsigned long long>(totals.handshakes),
        static_cast<unsigned long long>(totals.closedByServer),
        static_cast<unsigned long long>(unfinished));
    std::printf("summary: server->ctr %llu files, %llu bytes; ctr->server %llu files, %llu bytes\n",
                static_cast<unsigned long long>(totals.filesIn),
                static_cast<unsigned long long>(totals.bytesIn),
                static_cast<unsigned long long>(totals.filesOut),
                static_cast<unsigned long long>(totals.bytesOut));
    std::printf("summary: failures %llu, time %.3f s\n",
                static_cast<unsigned long long>(totals.failures), seconds);
    std::fflush(stdout);
    return totals.failures == 0 ? 0 : 1;
}
