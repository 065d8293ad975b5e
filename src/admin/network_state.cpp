#include "admin/network_state.h"

#include <algorithm>
#include <map>

#include "admin/concentrators.h"
#include "base/text.h"
#include "link/mirror.h"
#include "storage/stored_text.h"

namespace zb::admin {

namespace fs = std::filesystem;

namespace {

// The ID the handshake reports for a stored ID (IDs typed before normalisation may be in lower
// case or short); "" for a text that no concentrator can report, which also names no mirror.
std::string HandshakeForm(const std::string& stored) {
    return CanonicalCtrId(stored).value_or(std::string());
}

}  // namespace

std::optional<base::TimePoint> NewestMeterList(const fs::path& mirrorDir) {
    std::optional<base::TimePoint> newest;
    std::error_code ec;
    for (fs::directory_iterator it(mirrorDir / "ROOT" / "INFO" / "METERS", ec), end;
         !ec && it != end; it.increment(ec)) {
        std::error_code fileEc;
        if (!it->is_regular_file(fileEc) ||
            base::EqualsNoCase(it->path().filename().string(), "noise.xml")) {
            continue;
        }
        const auto written = it->last_write_time(fileEc);
        if (fileEc) {
            continue;
        }
        const auto moment = std::chrono::time_point_cast<base::TimePoint::duration>(
            std::chrono::file_clock::to_sys(written));
        newest = newest ? std::max(*newest, moment) : moment;
    }
    return newest;
}

std::vector<NetworkStateRow> LoadNetworkState(storage::TSQLiteDatabase& db,
                                              const fs::path& programDir) {
    std::map<int64_t, int64_t> points;
    for (auto t = db.QueryTable("SELECT CtrUID,COUNT(*) from MeasuringPoint GROUP BY CtrUID");
         !t->AtEnd(); t->Next()) {
        points[t->FieldInt64(0)] = t->FieldInt64(1);
    }
    std::vector<NetworkStateRow> rows;
    for (auto t = db.QueryTable("SELECT UID,ID,Comment from CTR"); !t->AtEnd(); t->Next()) {
        NetworkStateRow row;
        row.uid = t->FieldInt64(0);
        row.id = storage::StoredTextDecode(t->FieldText(1));
        row.comment = storage::StoredTextDecode(t->FieldText(2));
        const auto it = points.find(row.uid);
        row.measuringPoints = it == points.end() ? 0 : it->second;
        const std::string id = HandshakeForm(row.id);
        if (!id.empty()) {
            row.meterListTime = NewestMeterList(link::MirrorDir(programDir, id));
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

void ApplySessions(std::vector<NetworkStateRow>& rows,
                   const std::vector<link::CtrSessionFigures>& sessions) {
    std::map<std::string, const link::CtrSessionFigures*> byId;
    for (const auto& figures : sessions) {
        byId[figures.ctrId] = &figures;
    }
    for (auto& row : rows) {
        const auto it = byId.find(HandshakeForm(row.id));
        if (it == byId.end() || it->first.empty()) {
            row.session.reset();
            continue;
        }
        row.session = *it->second;
        const auto& received = it->second->lastMeterList;
        if (received && (!row.meterListTime || *row.meterListTime < *received)) {
            row.meterListTime = received;
        }
    }
}

int CountConnected(const std::vector<NetworkStateRow>& rows) {
    return static_cast<int>(std::count_if(rows.begin(), rows.end(),
                                          [](const NetworkStateRow& r) { return r.connected(); }));
}

std::string NetworkSummaryText(int connected, int total) {
    return "На связи: " + std::to_string(connected) + " из " + std::to_string(total);
}

std::string MomentText(const std::optional<base::TimePoint>& moment) {
    return moment ? base::FormatDateTime(base::ToLocal(*moment)) : std::string();
}

}  // namespace zb::admin
