#pragma once
// The database layer: one SQLite connection for the whole run, statements built as complete SQL
// text by the callers, results read whole into memory.
//
// The connection is shared by the window thread and by connection threads that process received
// files, so every call is serialised by the layer's lock, and the operations that need two
// library calls to be meaningful (an INSERT and its row id, a statement and its change count)
// are single calls here: another thread can never slip its statement between the two.
#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

namespace zb::storage {

class ESQLiteException : public std::runtime_error {
  public:
    // `code` is SQLite's extended result code of the failure, 0 when the library reported none.
    explicit ESQLiteException(const std::string& message, int code = 0)
        : std::runtime_error(message), code_(code) {}
    int Code() const { return code_; }
    // The primary result code (SQLITE_BUSY, SQLITE_FULL, ...).
    int PrimaryCode() const { return code_ & 0xFF; }

  private:
    int code_;
};

// How long a statement waits for a database locked by another program before it fails.
inline constexpr int kBusyTimeoutMs = 5000;

// The English description of an SQLite primary result code.
std::string ResultCodeText(int code);

// Value kinds, SQLite's own type codes.
enum ColumnKind : int {
    kKindInteger = 1,
    kKindFloat = 2,
    kKindText = 3,
    kKindBlob = 4,
    kKindNull = 5,
};

// A materialised result set, walked row by row with a cursor.
class TSQLiteTable {
  public:
    using Cell = std::variant<std::monostate, int64_t, double, std::string>;

    uint32_t RowCount() const { return rowCount_; }
    uint32_t ColumnCount() const { return columnCount_; }
    bool AtEnd() const { return cursor_ >= rowCount_; }
    bool Next();
    bool GoToRow(uint32_t row);
    uint32_t Cursor() const { return cursor_; }

    // Upper-cased names of the result columns; empty when no row came back.
    const std::vector<std::string>& ColumnNames() const { return columnNames_; }
    int ColumnKindOf(int column) const { return columnKinds_.at(column); }
    int ColumnIndex(const std::string& name) const;

    std::string FieldText(int column) const;
    std::string FieldText(const std::string& name) const { return FieldText(ColumnIndex(name)); }
    int64_t FieldInt64(int column) const;
    int64_t FieldInt64(const std::string& name) const { return FieldInt64(ColumnIndex(name)); }
    double FieldFloat(int column) const;
    // The blob bytes, or nullptr for a null cell or an empty blob; owned by the table.
    const std::string* FieldBlob(int column) const;
    std::string FieldBlobText(int column) const;

  private:
    friend class TSQLiteDatabase;
    const Cell& CellAt(int column) const;
    void CheckNotAtEnd() const;

    std::vector<Cell> values_;
    uint32_t rowCount_ = 0;
    uint32_t columnCount_ = 0;
    std::vector<std::string> columnNames_;
    std::vector<int> columnKinds_;
    uint32_t cursor_ = 0;
};

class TSQLiteDatabase {
  public:
    // Opens or creates the file; the name is UTF-8. A statement waits up to kBusyTimeoutMs for
    // a lock held by another program.
    explicit TSQLiteDatabase(const std::string& fileName);
    ~TSQLiteDatabase();
    TSQLiteDatabase(const TSQLiteDatabase&) = delete;
    TSQLiteDatabase& operator=(const TSQLiteDatabase&) = delete;

    // Runs the first statement of the text once (INSERT, UPDATE, DELETE, CREATE ...).
    void ExecuteSql(const std::string& sql);
    // Runs an INSERT and returns the row id it created, as one step.
    int64_t InsertSql(const std::string& sql);
    // Runs a statement and returns the number of rows it changed, as one step.
    int64_t ExecuteSqlChanges(const std::string& sql);
    // Runs a query to its end and returns all rows.
    std::unique_ptr<TSQLiteTable> QueryTable(const std::string& sql);

    // Values of the most recent statement on the connection, whichever thread ran it. Prefer
    // InsertSql and ExecuteSqlChanges, which cannot see another thread's statement.
    int64_t LastInsertRowId();
    int64_t ChangeCount();

    [[noreturn]] void RaiseDatabaseError(const std::string& message, const std::string& sql);

    // True when the file cannot be written (a read-only file, folder or file system): tried
    // with a write transaction that is rolled back at once. `reason` gets SQLite's words.
    bool IsReadOnly(std::string& reason);

    // The layer's lock; recursive, so a transaction guard can hold it around its statements.
    std::recursive_mutex& Lock() { return mutex_; }

  private:
    sqlite3_stmt* Prepare(const std::string& sql);
    void StepDone(sqlite3_stmt* stmt, const std::string& sql);

    sqlite3* db_ = nullptr;
    std::recursive_mutex mutex_;
};

// A unit of work: BEGIN at construction, COMMIT by Commit(), ROLLBACK when it goes out of scope
// uncommitted. It holds the layer's lock for its whole life, so statements of other threads wait
// rather than land inside (and be rolled back with) this transaction.
class TSQLiteTransaction {
  public:
    explicit TSQLiteTransaction(TSQLiteDatabase& db);
    ~TSQLiteTransaction();
    TSQLiteTransaction(const TSQLiteTransaction&) = delete;
    TSQLiteTransaction& operator=(const TSQLiteTransaction&) = delete;
    void Commit();

  private:
    TSQLiteDatabase& db_;
    std::unique_lock<std::recursive_mutex> lock_;
    bool open_ = true;
};

// The connection of this run. Throws ESQLiteException when no database is open.
TSQLiteDatabase& Database();
bool HasDatabase();
// Installs (or, with null, closes) the connection of this run; returns the previous one.
std::unique_ptr<TSQLiteDatabase> SetDatabase(std::unique_ptr<TSQLiteDatabase> db);

}  // namespace zb::storage
