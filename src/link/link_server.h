#pragma once
// The concentrator link's TCP server.
//
// It listens on all local IPv4 addresses; every accepted connection gets a thread of its own
// with a blocking read, and a sync object (TFileSync) that lives exactly as long as the
// connection. The server keeps the sync object container, the link's shared state (the
// last-address and clock-key tables, the link lock and the file lock, the files in/out
// counters) and the handler of completed received files.
//
// Whoever owns the server calls Tick() once a second (the window's timeout timer, or the
// headless runtime's timer thread): it counts down the close countdowns and closes the
// connections whose countdown ran out, and closes connections that have been idle too long.
//
//   LinkServer link(programDir, 1234);  // port 0 = any free port, see Port()
//   link.SetReceivedFileHandler(importers);
//   link.Start();
//   ... link.Tick() every second ...
//   link.Stop();
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "link/link_shared.h"
#include "link/received_file_handler.h"

namespace zb::link {

// A connection that has delivered no complete frame for this many timeout ticks (seconds) is
// closed and logged.
inline constexpr int kIdleLimitSeconds = 600;
// A connection that has not named a registered concentrator within this many ticks is closed,
// whatever it sends meanwhile.
inline constexpr int kHandshakeLimitSeconds = 30;

class TFileSync;

class LinkServer {
  public:
    LinkServer(std::filesystem::path programDir, uint16_t port);
    ~LinkServer();
    LinkServer(const LinkServer&) = delete;
    LinkServer& operator=(const LinkServer&) = delete;

    // Binds 0.0.0.0:port and starts accepting. Throws std::system_error when the port cannot
    // be bound.
    void Start();
    // Stops accepting, closes every connection and waits until their threads have ended.
    void Stop();
    bool Running() const { return running_; }
    // The bound port (the ephemeral one when constructed with 0); 0 before Start.
    uint16_t Port() const { return boundPort_; }

    // The one-second timeout tick (see above).
    void Tick();

    // The number of live connections (the container's length).
    size_t ConnectionCount() const;
    int32_t FilesIn() const { return shared_.filesIn.load(); }
    int32_t FilesOut() const { return shared_.filesOut.load(); }

    // The last address of a concentrator's successful handshake, read under the link lock.
    std::optional<std::string> LastAddress(const std::string& ctrId) {
        return shared_.LastAddress(ctrId);
    }
    // Records the clock key of a concentrator's last handshake (a key of this half day means
    // its clock is set and the next handshake writes no SetUTC.xml).
    void SetClockKey(const std::string& ctrId, std::string key) {
        shared_.SetClockKey(ctrId, std::move(key));
    }
    // Deletes a concentrator's mirror directory once no received file is being handled.
    void DeleteMirror(const std::string& ctrId) { shared_.DeleteMirror(ctrId); }
    // Runs an action while holding the file lock, so that no received file is being handled
    // meanwhile (and no import's transaction is open).
    void RunUnderFileLock(const std::function<void()>& action) {
        std::lock_guard lock(shared_.fileLock);
        action();
    }
    // Who is connected and what each concentrator's last session did (it locks itself).
    SessionRegistry& SessionFigures() { return shared_.sessionFigures; }

    // Installs the handler of completed received files (null: store only, process nothing).
    void SetReceivedFileHandler(std::shared_ptr<ReceivedFileHandler> handler) {
        shared_.SetHandler(std::move(handler));
    }

    const std::filesystem::path& ProgramDir() const { return shared_.ProgramDir(); }

    // Snapshot of the close countdowns of the live connections, oldest first (tests, status).
    std::vector<int32_t> CloseCountdowns() const;

  private:
    struct Connection;

    void AcceptLoop();
    void Serve(std::shared_ptr<Connection> connection);
    bool SpawnConnectionThread(std::shared_ptr<Connection> connection);
    void ConnectionThreadEnded();
    // Logs a failure to accept or serve a connection, at most once a minute.
    void LogAcceptFailure(int error);

    LinkShared shared_;
    const uint16_t port_;
    uint16_t boundPort_ = 0;
    std::atomic<bool> running_{false};
    int listenFd_ = -1;
    int wakePipe_[2] = {-1, -1};
    std::thread acceptThread_;

    mutable std::mutex containerMutex_;
    std::vector<std::shared_ptr<Connection>> container_;

    std::mutex threadsMutex_;
    std::condition_variable threadsDone_;
    size_t liveThreads_ = 0;

    std::chrono::steady_clock::time_point lastAcceptFailureLog_{};
    bool acceptFailureLogged_ = false;
};

}  // namespace zb::link
