#pragma once
// The network state at a glance: one row per registered concentrator with what the link knows
// of its last session, and the summary line "На связи: N из M".
//
// The register part (IDs, comments, measuring points, the last meter list on disk) is read from
// the database and the mirrors when the page loads; the session part comes from the link's
// session registry, in memory, and is merged in as often as the screen refreshes.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "link/session_registry.h"
#include "storage/sqlite_database.h"

namespace zb::admin {

struct NetworkStateRow {
    int64_t uid = 0;
    std::string id;  // as stored
    std::string comment;
    int64_t measuringPoints = 0;
    // The newest meter list received: from the mirror on load, from the link afterwards.
    std::optional<base::TimePoint> meterListTime;
    std::optional<link::CtrSessionFigures> session;  // none when never seen
    bool connected() const { return session && session->connected(); }
};

// The registered concentrators in database order, without session figures (two statements, and
// one look into each mirror's INFO/METERS).
std::vector<NetworkStateRow> LoadNetworkState(storage::TSQLiteDatabase& db,
                                              const std::filesystem::path& programDir);
// Puts the registry's figures on the rows (matched by the ID as the handshake formats it).
void ApplySessions(std::vector<NetworkStateRow>& rows,
                   const std::vector<link::CtrSessionFigures>& sessions);
int CountConnected(const std::vector<NetworkStateRow>& rows);

// "На связи: N из M".
std::string NetworkSummaryText(int connected, int total);
// A moment as the window shows dates and times ("dd.mm.yyyy hh:nn:ss"); "" for none.
std::string MomentText(const std::optional<base::TimePoint>& moment);

// The time of the newest meter list in a mirror's INFO/METERS (noise.xml is not a meter list).
std::optional<base::TimePoint> NewestMeterList(const std::filesystem::path& mirrorDir);

}  // namespace zb::admin
