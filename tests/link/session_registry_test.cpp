// The session registry: what the network state shows while connections come, overlap and go,
// and what reaches the end sink.
#include "link/session_registry.h"

#include <gtest/gtest.h>

namespace zb::link {
namespace {

// "ID ip in/out connections, ended, meter list" of one concentrator's figures.
std::string Shown(const CtrSessionFigures& f) {
    return f.ctrId + " " + f.ip + " " + std::to_string(f.filesIn) + "/" +
           std::to_string(f.filesOut) + " " + std::to_string(f.connections) +
           (f.end ? ", ended" : "") + (f.lastMeterList ? ", meter list" : "");
}

std::string Shown(const SessionRegistry& registry) {
    std::string all;
    for (const auto& f : registry.Snapshot()) {
        all += Shown(f) + "; ";
    }
    return all;
}

// A new connection of a concentrator whose old one lingers: the newest session is shown, the
// concentrator stays connected until both have gone, and each ended session reaches the sink
// with its own counts. A second end, or an end of session 0, changes nothing. Restored figures
// fill in what this run has not seen, never what it has, and are never open.
TEST(SessionRegistry, OverlappingSessionsAndRestoredOnes) {
    SessionRegistry registry;
    std::vector<std::string> ended;
    registry.SetEndSink([&](const CtrSessionFigures& s) { ended.push_back(Shown(s)); });
    const auto old = registry.Begin("00A1", "10.0.0.1");
    registry.FileReceived(old, false);
    registry.FileReceived(old, false);
    const auto fresh = registry.Begin("00A1", "10.0.0.2");
    registry.FileSent(fresh);
    registry.FileReceived(old, true);  // the old connection still delivers a meter list
    CtrSessionFigures restored;
    restored.ctrId = "00A1";
    restored.ip = "192.168.0.9";
    registry.Restore(restored);
    restored.ctrId = "00A2";
    restored.connections = 3;
    registry.Restore(restored);
    EXPECT_EQ(Shown(registry), "00A1 10.0.0.2 0/1 2, meter list; 00A2 192.168.0.9 0/0 0; ");
    registry.End(old);
    EXPECT_EQ(Shown(registry), "00A1 10.0.0.2 0/1 1, meter list; 00A2 192.168.0.9 0/0 0; ");
    registry.End(fresh);
    registry.End(fresh);
    registry.End(0);
    EXPECT_EQ(Shown(registry), "00A1 10.0.0.2 0/1 0, ended, meter list; 00A2 192.168.0.9 0/0 0; ");
    EXPECT_EQ(ended, (std::vector<std::string>{"00A1 10.0.0.1 3/0 0, ended",
                                               "00A1 10.0.0.2 0/1 0, ended"}));
}

// A failing sink does not stop the end of a session.
TEST(SessionRegistry, ASinkFailureIsContained) {
    SessionRegistry registry;
    registry.SetEndSink([](const CtrSessionFigures&) { throw std::runtime_error("disk full"); });
    EXPECT_NO_THROW(registry.End(registry.Begin("00A1", "10.0.0.1")));
    EXPECT_EQ(Shown(registry), "00A1 10.0.0.1 0/0 0, ended; ");
}

}  // namespace
}  // namespace zb::link
