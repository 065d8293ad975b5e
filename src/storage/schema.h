#pragma once
// The database file's tables and the built-in administrator.
#include <array>
#include <string>

#include "storage/sqlite_database.h"

namespace zb::storage {

// The thirteen CREATE TABLE statements of a new database, in the order they are executed.
extern const std::array<const char*, 13> kCreateTableStatements;

// The operator that always exists: name "Администратор", login and password "KREMU".
inline constexpr const char* kAdministratorName = "Администратор";
inline constexpr const char* kAdministratorLogin = "KREMU";
inline constexpr const char* kAdministratorPassword = "KREMU";

// Creates the thirteen tables and inserts the built-in administrator (a new file only).
void CreateSchema(TSQLiteDatabase& db);

// Inserts the built-in administrator: Name, Login, Password in their stored text form.
int64_t InsertBuiltInAdministrator(TSQLiteDatabase& db);

// Creates the indexes that the per-answer look-ups of received files need, on new and existing
// files alike. They change no result. A file that lacks the tables gets no index (and no error):
// its statements fail later with the database layer's own messages.
void EnsureLookupIndexes(TSQLiteDatabase& db);

// Adds the column Work.WorkLibUID INTEGER (the library work a dispatch was built from) when the
// file's Work table lacks it, so that files made before the column existed keep working. A file
// without a Work table is left alone.
void EnsureWorkLibColumn(TSQLiteDatabase& db);

// The server's record of the result files it has applied, so that a file sent again (its answer
// was lost) is not applied twice: concentrator ID text, file name, size, hash of the bytes and
// LocalTimeStamp of processing. Created when missing, on new and existing files alike.
inline constexpr const char* kProcessedResultFileTable = "ProcessedResultFile";
void EnsureProcessedResultFileTable(TSQLiteDatabase& db);

// Opens the database file of the program. A file without tables (new, or left empty by an
// interrupted first start) gets the schema and the administrator, in one transaction, and sets
// `created`. A file that cannot be written is reported (ESQLiteException) rather than opened.
std::unique_ptr<TSQLiteDatabase> OpenProgramDatabase(const std::string& path, bool& created);

}  // namespace zb::storage
