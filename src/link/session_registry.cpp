#include "link/session_registry.h"

namespace zb::link {

namespace {

// Sessions are timed in whole seconds, as they are shown and recorded.
base::TimePoint Now() {
    return std::chrono::floor<std::chrono::seconds>(base::Clock::Now());
}

}  // namespace

SessionRegistry::SessionId SessionRegistry::Begin(const std::string& ctrId, const std::string& ip) {
    std::lock_guard lock(mutex_);
    const SessionId id = nextId_++;
    CtrSessionFigures& shown = byCtr_[ctrId];
    shown.ctrId = ctrId;
    shown.ip = ip;
    shown.start = Now();
    shown.end.reset();
    shown.filesIn = shown.filesOut = 0;
    ++shown.connections;
    shown_[ctrId] = id;
    open_[id] = Session{ctrId, shown};
    return id;
}

void SessionRegistry::FileReceived(SessionId session, bool meterList) {
    std::lock_guard lock(mutex_);
    const auto it = open_.find(session);
    if (it == open_.end()) {
        return;
    }
    ++it->second.figures.filesIn;
    CtrSessionFigures& shown = byCtr_[it->second.ctrId];
    if (meterList) {
        shown.lastMeterList = Now();
    }
    if (shown_[it->second.ctrId] == session) {
        shown.filesIn = it->second.figures.filesIn;
    }
}

void SessionRegistry::FileSent(SessionId session) {
    std::lock_guard lock(mutex_);
    const auto it = open_.find(session);
    if (it == open_.end()) {
        return;
    }
    ++it->second.figures.filesOut;
    if (shown_[it->second.ctrId] == session) {
        byCtr_[it->second.ctrId].filesOut = it->second.figures.filesOut;
    }
}

void SessionRegistry::End(SessionId session) {
    CtrSessionFigures ended;
    EndSink sink;
    {
        std::lock_guard lock(mutex_);
        const auto it = open_.find(session);
        if (it == open_.end()) {
            return;
        }
        ended = std::move(it->second.figures);
        ended.end = Now();
        ended.connections = 0;
        CtrSessionFigures& shown = byCtr_[it->second.ctrId];
        --shown.connections;
        if (shown_[it->second.ctrId] == session) {
            shown.end = ended.end;
        }
        open_.erase(it);
        sink = sink_;
    }
    // Outside the lock: the sink writes to the database, and a screen must not wait for that.
    if (sink) {
        try {
            sink(ended);
        } catch (...) {
        }
    }
}

std::vector<CtrSessionFigures> SessionRegistry::Snapshot() const {
    std::lock_guard lock(mutex_);
    std::vector<CtrSessionFigures> all;
    all.reserve(byCtr_.size());
    for (const auto& [id, figures] : byCtr_) {
        all.push_back(figures);
    }
    return all;
}

void SessionRegistry::Restore(CtrSessionFigures figures) {
    std::lock_guard lock(mutex_);
    if (byCtr_.count(figures.ctrId) != 0) {
        return;
    }
    figures.connections = 0;
    const std::string id = figures.ctrId;
    byCtr_.emplace(id, std::move(figures));
}

void SessionRegistry::SetEndSink(EndSink sink) {
    std::lock_guard lock(mutex_);
    sink_ = std::move(sink);
}

}  // namespace zb::link
