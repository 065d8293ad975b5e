#pragma once
// The record of concentrator sessions in the database (table CtrSession), so that the network
// state shows each concentrator's last session after a restart as well.
#include <vector>

#include "link/session_registry.h"
#include "storage/sqlite_database.h"

namespace zb::server {

// One INSERT: concentrator, address, start and end (LocalTimeStamp), files in and out. The
// table's trigger keeps the last sessions of each concentrator.
void RecordCtrSession(storage::TSQLiteDatabase& db, const link::CtrSessionFigures& session);
// The last recorded session of every concentrator (not connected).
std::vector<link::CtrSessionFigures> LoadLastCtrSessions(storage::TSQLiteDatabase& db);

}  // namespace zb::server
