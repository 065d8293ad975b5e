#include "server/session_log.h"

#include "storage/stored_text.h"
#include "storage/time_stamp.h"

namespace zb::server {

namespace {

int64_t StampOf(base::TimePoint moment) {
    return storage::LocalTimeStampOf(base::ToLocal(moment));
}

base::TimePoint MomentOf(int64_t stamp) {
    return base::FromLocal(storage::LocalDateTimeOfStamp(stamp));
}

}  // namespace

void RecordCtrSession(storage::TSQLiteDatabase& db, const link::CtrSessionFigures& session) {
    using storage::SqlInt;
    db.InsertSql(
        "INSERT into CtrSession (CtrID,IP,StartTimeStamp,EndTimeStamp,FilesIn,FilesOut) "
        "values(" +
        storage::SqlText(session.ctrId) + "," + storage::SqlText(session.ip) + "," +
        SqlInt(StampOf(session.start)) + "," +
        SqlInt(StampOf(session.end.value_or(base::Clock::Now()))) + "," + SqlInt(session.filesIn) +
        "," + SqlInt(session.filesOut) + ")");
}

std::vector<link::CtrSessionFigures> LoadLastCtrSessions(storage::TSQLiteDatabase& db) {
    std::vector<link::CtrSessionFigures> sessions;
    for (auto t = db.QueryTable(
             "SELECT CtrID,IP,StartTimeStamp,EndTimeStamp,FilesIn,FilesOut from CtrSession "
             "WHERE UID IN (SELECT MAX(UID) from CtrSession GROUP BY CtrID)");
         !t->AtEnd(); t->Next()) {
        link::CtrSessionFigures figures;
        figures.ctrId = storage::StoredTextDecode(t->FieldText(0));
        figures.ip = storage::StoredTextDecode(t->FieldText(1));
        figures.start = MomentOf(t->FieldInt64(2));
        figures.end = MomentOf(t->FieldInt64(3));
        figures.filesIn = static_cast<int32_t>(t->FieldInt64(4));
        figures.filesOut = static_cast<int32_t>(t->FieldInt64(5));
        sessions.push_back(std::move(figures));
    }
    return sessions;
}

}  // namespace zb::server
