#pragma once
// The link's figures per concentrator session, kept in memory so that a screen refreshing every
// second (and the headless summary) can read all of them in one call, without a database
// statement: who is connected now, when the last session began and ended, from which address,
// how many files went each way, and when the last meter list arrived.
//
// A session begins with a successful handshake and ends when its connection goes. The end of
// each session is handed to an end sink (the start-up wires one that records it in the
// database); the figures of earlier runs are restored into the registry before the link starts.
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "base/clock.h"

namespace zb::link {

// One concentrator as the registry sees it: its last (or current) session.
struct CtrSessionFigures {
    std::string ctrId;  // "%0.4X"
    std::string ip;
    base::TimePoint start{};
    std::optional<base::TimePoint> end;  // none while the session is open
    int32_t filesIn = 0;
    int32_t filesOut = 0;
    // Open sessions of this ID now (more than one only while an old connection lingers).
    int connections = 0;
    std::optional<base::TimePoint> lastMeterList;
    bool connected() const { return connections > 0; }
};

class SessionRegistry {
  public:
    using SessionId = uint64_t;
    // Receives each ended session (connection thread). Its failures are its own business: the
    // registry ignores what it throws.
    using EndSink = std::function<void(const CtrSessionFigures& ended)>;

    // A handshake named the concentrator: a session begins now. Returns its ID (never 0).
    SessionId Begin(const std::string& ctrId, const std::string& ip);
    void FileReceived(SessionId session, bool meterList);
    void FileSent(SessionId session);
    // The connection ended; 0 is ignored. Hands the session to the end sink.
    void End(SessionId session);

    // Every concentrator seen since start-up or restored, by ID.
    std::vector<CtrSessionFigures> Snapshot() const;
    // The last session of a concentrator from an earlier run (not connected). A session of this
    // run is never replaced.
    void Restore(CtrSessionFigures figures);
    void SetEndSink(EndSink sink);

  private:
    struct Session {
        std::string ctrId;
        CtrSessionFigures figures;
    };

    mutable std::mutex mutex_;
    SessionId nextId_ = 1;
    std::map<SessionId, Session> open_;
    std::map<std::string, CtrSessionFigures> byCtr_;
    // The session each concentrator's figures show (its latest).
    std::map<std::string, SessionId> shown_;
    EndSink sink_;
};

}  // namespace zb::link
