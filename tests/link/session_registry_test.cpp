// The session registry: what the network state shows while connections come, overlap and go,
// and what reaches the end sink.
#include "link/session_registry.h"

#include <gtest/gtest.h>

namespace zb::link {
namespace {

const CtrSessionFigures& Of(const std::vector<CtrSessionFigures>& all, const std::string& id) {
    static const CtrSessionFigures none;
    for (const auto& f : all) {
        if (f.ctrId == id) {
            return f;
        }
    }
    return none;
}

// A new connection of a concentrator whose old one lingers: the newest session is shown, the
// concentrator stays connected until both have gone, and each ended session reaches the sink
// with its own counts.
TEST(SessionRegistry, OverlappingSessionsOfOneConcentrator) {
    SessionRegistry registry;
    std::vector<CtrSessionFigures> ended;
    registry.SetEndSink([&](const CtrSessionFigures& s) { ended.push_back(s); });
    const auto old = registry.Begin("00A1", "10.0.0.1");
    registry.FileReceived(old, false);
    registry.FileReceived(old, false);
    const auto fresh = registry.Begin("00A1", "10.0.0.2");
    registry.FileSent(fresh);
    registry.FileReceived(old, true);  // the old connection still delivers a meter list

    auto now = Of(registry.Snapshot(), "00A1");
    EXPECT_EQ(now.connections, 2);
    EXPECT_EQ(now.ip, "10.0.0.2");
    EXPECT_EQ(now.filesIn, 0);
    EXPECT_EQ(now.filesOut, 1);
    EXPECT_TRUE(now.lastMeterList.has_value());

    registry.End(old);
    now = Of(registry.Snapshot(), "00A1");
    EXPECT_TRUE(now.connected());
    EXPECT_FALSE(now.end.has_value()) << "the shown session is still open";
    registry.End(fresh);
    registry.End(fresh);  // a second end changes nothing
    registry.End(0);
    now = Of(registry.Snapshot(), "00A1");
    EXPECT_FALSE(now.connected());
    EXPECT_TRUE(now.end.has_value());

    ASSERT_EQ(ended.size(), 2u);
    EXPECT_EQ(ended[0].ip, "10.0.0.1");
    EXPECT_EQ(ended[0].filesIn, 3);
    EXPECT_EQ(ended[0].filesOut, 0);
    EXPECT_EQ(ended[1].ip, "10.0.0.2");
    EXPECT_EQ(ended[1].filesOut, 1);
    EXPECT_TRUE(ended[1].end.has_value());
}

// Restored figures fill in what this run has not seen, never what it has; a failing sink does
// not stop the end of a session.
TEST(SessionRegistry, RestoreNeverReplacesThisRunAndASinkFailureIsContained) {
    SessionRegistry registry;
    registry.SetEndSink([](const CtrSessionFigures&) { throw std::runtime_error("disk full"); });
    const auto live = registry.Begin("00A1", "10.0.0.1");
    CtrSessionFigures old;
    old.ctrId = "00A1";
    old.ip = "192.168.0.9";
    registry.Restore(old);
    old.ctrId = "00A2";
    old.connections = 3;
    registry.Restore(old);
    const auto all = registry.Snapshot();
    EXPECT_EQ(Of(all, "00A1").ip, "10.0.0.1");
    EXPECT_EQ(Of(all, "00A2").ip, "192.168.0.9");
    EXPECT_FALSE(Of(all, "00A2").connected()) << "a restored session is never open";
    EXPECT_NO_THROW(registry.End(live));
    EXPECT_FALSE(Of(registry.Snapshot(), "00A1").connected());
}

}  // namespace
}  // namespace zb::link
