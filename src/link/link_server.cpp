#include "link/link_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>

#include "base/log.h"
#include "link/file_sync.h"

namespace zb::link {

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr size_t kConnectionStackSize = 8u << 20;
#else
// The connection thread also parses and imports received files; 2 MB is plenty for that and
// keeps thousands of connections affordable.
constexpr size_t kConnectionStackSize = 2u << 20;
#endif

void SendAll(int fd, const uint8_t* data, size_t size) {
    while (size > 0) {
        const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw std::system_error(errno, std::generic_category(), "send");
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
}

// The text of a fault of the server for the log; a full disk says so in plain words.
std::string FaultText(const std::exception& error) {
    std::string text = error.what();
    const auto* system = dynamic_cast<const std::system_error*>(&error);
    if (system != nullptr &&
        (system->code() == std::errc::no_space_on_device || system->code().value() == EDQUOT)) {
        text += " (" + SystemErrorText(ENOSPC) + ")";
    }
    return text;
}

}  // namespace

struct LinkServer::Connection {
    int fd = -1;
    std::string peer;
    std::unique_ptr<TFileSync> sync;
    std::atomic<bool> closing{false};

    // Ends the connection from any thread: its blocked read returns and its thread finishes.
    // Once the descriptor is released it is never touched again: its number may already belong
    // to another connection.
    void Close() {
        std::lock_guard lock(fdMutex_);
        if (fd >= 0 && !closing.exchange(true)) {
            ::shutdown(fd, SHUT_RDWR);
        }
    }
    void Release() {
        std::lock_guard lock(fdMutex_);
        ::shutdown(fd, SHUT_RDWR);
        ::close(fd);
        fd = -1;
    }

  private:
    std::mutex fdMutex_;
};

LinkServer::LinkServer(std::filesystem::path programDir, uint16_t port)
    : shared_(std::move(programDir)), port_(port) {}

LinkServer::~LinkServer() {
    Stop();
}

namespace {

// Spool files left by a run that ended while files were arriving; no connection exists yet.
void RemoveStaleSpoolFiles(const std::filesystem::path& programDir) {
    std::error_code ec;
    for (std::filesystem::directory_iterator ctr(programDir / "CTR", ec), end; !ec && ctr != end;
         ctr.increment(ec)) {
        std::error_code inner;
        for (std::filesystem::directory_iterator it(ctr->path(), inner); !inner && it != end;
             it.increment(inner)) {
            if (it->path().filename().string().rfind(kSpoolPrefix, 0) == 0) {
                std::error_code ignored;
                std::filesystem::remove(it->path(), ignored);
            }
        }
    }
}

}  // namespace

void LinkServer::Start() {
    if (running_) {
        return;
    }
    RemoveStaleSpoolFiles(shared_.ProgramDir());
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listenFd_ < 0) {
        throw std::system_error(errno, std::generic_category(), "socket");
    }
    const int one = 1;
    ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    address.sin_port = htons(port_);
    if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listenFd_, SOMAXCONN) != 0) {
        const int error = errno;
        ::close(listenFd_);
        listenFd_ = -1;
        throw std::system_error(error, std::generic_category(),
                                "cannot listen on port " + std::to_string(port_));
    }
    socklen_t length = sizeof address;
    ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length);
    boundPort_ = ntohs(address.sin_port);
    if (::pipe2(wakePipe_, O_CLOEXEC) != 0) {
        const int error = errno;
        ::close(listenFd_);
        listenFd_ = -1;
        throw std::system_error(error, std::generic_category(), "pipe");
    }
    running_ = true;
    acceptThread_ = std::thread([this] { AcceptLoop(); });
}

void LinkServer::Stop() {
    if (!running_.exchange(false)) {
        return;
    }
    const char byte = 0;
    [[maybe_unused]] const ssize_t written = ::write(wakePipe_[1], &byte, 1);
    acceptThread_.join();
    {
        std::lock_guard lock(containerMutex_);
        for (const auto& connection : container_) {
            connection->Close();
        }
    }
    {
        std::unique_lock lock(threadsMutex_);
        threadsDone_.wait(lock, [this] { return liveThreads_ == 0; });
    }
    ::close(listenFd_);
    ::close(wakePipe_[0]);
    ::close(wakePipe_[1]);
    listenFd_ = wakePipe_[0] = wakePipe_[1] = -1;
}

void LinkServer::AcceptLoop() {
    pollfd fds[2] = {{listenFd_, POLLIN, 0}, {wakePipe_[0], POLLIN, 0}};
    while (running_) {
        fds[0].revents = fds[1].revents = 0;
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            break;
        }
        if (fds[1].revents != 0) {
            break;
        }
        if ((fds[0].revents & POLLIN) == 0) {
            continue;
        }
        sockaddr_in peer{};
        socklen_t peerLength = sizeof peer;
        const int fd =
            ::accept4(listenFd_, reinterpret_cast<sockaddr*>(&peer), &peerLength, SOCK_CLOEXEC);
        if (fd < 0) {
            const int error = errno;
            if (error == EMFILE || error == ENFILE || error == ENOBUFS || error == ENOMEM) {
                // Out of resources: the connections already served go on; new ones wait in
                // the queue until some end.
                LogAcceptFailure(error);
                ::poll(nullptr, 0, 100);
            }
            continue;
        }
        char text[INET_ADDRSTRLEN] = {};
        ::inet_ntop(AF_INET, &peer.sin_addr, text, sizeof text);
        if (shared_.addressGuard.Blocked(text)) {
            ::close(fd);  // an address that kept guessing IDs is not answered
            continue;
        }
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);

        auto connection = std::make_shared<Connection>();
        connection->fd = fd;
        connection->peer = text;
        connection->sync = std::make_unique<TFileSync>(
            shared_, connection->peer,
            [fd](const uint8_t* data, size_t size) { SendAll(fd, data, size); });
        {
            std::lock_guard lock(containerMutex_);
            container_.push_back(connection);
        }
        Connection* raw = connection.get();
        connection->sync->SetCloser([raw] { raw->Close(); });
        if (!SpawnConnectionThread(connection)) {
            LogAcceptFailure(EAGAIN);
            std::lock_guard lock(containerMutex_);
            container_.erase(std::find(container_.begin(), container_.end(), connection));
            ::close(fd);
        }
    }
}

void LinkServer::LogAcceptFailure(int error) {
    const auto now = std::chrono::steady_clock::now();
    if (acceptFailureLogged_ && now - lastAcceptFailureLog_ < std::chrono::minutes(1)) {
        return;
    }
    acceptFailureLogged_ = true;
    lastAcceptFailureLog_ = now;
    base::LogLine(std::string("Соединение не принято: ") +
                  (error == EMFILE || error == ENFILE ? "нет свободных дескрипторов файлов"
                                                      : "не хватает ресурсов") +
                  " (" + std::strerror(error) + "), обслуживаются открытые соединения.");
}

bool LinkServer::SpawnConnectionThread(std::shared_ptr<Connection> connection) {
    struct Start {
        LinkServer* server;
        std::shared_ptr<Connection> connection;
    };
    {
        std::lock_guard lock(threadsMutex_);
        ++liveThreads_;
    }
    auto* start = new Start{this, std::move(connection)};
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstacksize(&attr, kConnectionStackSize);
    pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
    pthread_t thread;
    const int error = pthread_create(
        &thread, &attr,
        [](void* arg) -> void* {
            std::unique_ptr<Start> s(static_cast<Start*>(arg));
            LinkServer* server = s->server;
            server->Serve(std::move(s->connection));
            s.reset();
            server->ConnectionThreadEnded();
            return nullptr;
        },
        start);
    pthread_attr_destroy(&attr);
    if (error != 0) {
        delete start;
        ConnectionThreadEnded();
        return false;
    }
    return true;
}

void LinkServer::ConnectionThreadEnded() {
    std::lock_guard lock(threadsMutex_);
    if (--liveThreads_ == 0) {
        threadsDone_.notify_all();
    }
}

// One connection, on its own thread: the opening frame, then a blocking read of whatever bytes
// arrive, straight into the accumulator, each block scanned at once. Any error ends the
// connection.
void LinkServer::Serve(std::shared_ptr<Connection> connection) {
    TFileSync& sync = *connection->sync;
    try {
        sync.Connect();
        while (true) {
            FrameAccumulator& accumulator = sync.Accumulator();
            if (accumulator.FreeSize() == 0) {
                accumulator.Clear();  // cannot happen with bounded frames; never spin
            }
            const ssize_t n =
                ::recv(connection->fd, accumulator.FreeSpace(), accumulator.FreeSize(), 0);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                break;
            }
            accumulator.Commit(static_cast<size_t>(n));
            sync.Scan();
        }
    } catch (const std::exception& error) {
        const std::string id = sync.CtrId();
        base::LogLine(PeerText((id.empty() ? "IP = " + connection->peer : "CtrID = " + id) +
                               ", ОШИБКА: " + FaultText(error) + ", соединение закрыто."));
    }
    // Disconnect: the sync object leaves the container and goes with its connection.
    {
        std::lock_guard lock(containerMutex_);
        const auto it = std::find(container_.begin(), container_.end(), connection);
        if (it != container_.end()) {
            container_.erase(it);
        }
    }
    connection->Release();
}

void LinkServer::Tick() {
    std::lock_guard lock(containerMutex_);
    for (auto it = container_.rbegin(); it != container_.rend(); ++it) {
        Connection& connection = **it;
        if (connection.sync->TickCloseCountdown()) {
            connection.Close();
        }
        if (connection.sync->TickAge() >= kHandshakeLimitSeconds &&
            connection.sync->LinkId() == kNoLinkId) {
            connection.Close();  // no handshake in time: a scan or a flood, not logged each
        }
        if (connection.sync->TickIdle() == kIdleLimitSeconds) {
            const std::string id = connection.sync->CtrId();
            base::LogLine((id.empty() ? std::string() : "CtrID = " + id + ", ") +
                          "IP = " + connection.peer + ", нет данных " +
                          std::to_string(kIdleLimitSeconds) + " сек., соединение закрыто.");
            connection.Close();
        }
    }
}

size_t LinkServer::ConnectionCount() const {
    std::lock_guard lock(containerMutex_);
    return container_.size();
}

std::vector<int32_t> LinkServer::CloseCountdowns() const {
    std::lock_guard lock(containerMutex_);
    std::vector<int32_t> result;
    result.reserve(container_.size());
    for (const auto& connection : container_) {
        result.push_back(connection->sync->CloseCountdown());
    }
    return result;
}

}  // namespace zb::link
