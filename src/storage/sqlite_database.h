#pragma once
// The database layer: one SQLite connection for the whole run, statements built as complete SQL
// text by the callers, results read whole into memory.
//
// The connection is shared by the window thread and by connection threads that process received
// files, so every call is serialised by the layer's lock, and the operations that need two
// library calls to be meaningful (an INSERT and its row id, a statement and its change count)
// are single calls here: another thread can never slip its statement between the two.
//
// The hot paths (the answers of result files, the look-ups per answer, the meter lists) run
// statements prepared once with their values bound (TSQLiteStatement); the values bound are the
// ones the statement texts would carry, so the rows stored are the same bytes either way.
#include <cstdint>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <variant>
#include <vector>

// SQLite's own header stays inside the database layer.
struct sqlite3;
struct sqlite3_stmt;

namespace zb::storage {

class TSQLiteStatement;
class TSQLiteCachedStatement;

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

    // The statement of this text from the connection's cache, prepared on its first use. The
    // handle holds the layer's lock until it goes, so no other thread binds or runs the same
    // statement meanwhile; it is reset when the handle goes.
    TSQLiteCachedStatement Statement(const std::string& sql);

    // With this set, statements with bound values run as plain statement texts instead: each
    // "?" replaced by its value written as a literal (SqlText, SqlInt). Only for comparing what
    // the two ways store.
    void SetInlineValues(bool inlineValues) { inlineValues_ = inlineValues; }
    bool InlineValues() const { return inlineValues_; }

  private:
    friend class TSQLiteStatement;
    sqlite3_stmt* Prepare(const std::string& sql);
    void StepDone(sqlite3_stmt* stmt, const std::string& sql);

    sqlite3* db_ = nullptr;
    std::recursive_mutex mutex_;
    bool inlineValues_ = false;
    std::unordered_map<std::string, std::unique_ptr<TSQLiteStatement>> statements_;
};

// A statement prepared once and run many times with values bound to its parameters, written "?"
// in the text and numbered from 1. Every call runs under the layer's lock; a run and its row id
// or change count are one step, as with InsertSql and ExecuteSqlChanges. Bound values stay bound
// across runs until they are bound again. The statement must go before its database.
class TSQLiteStatement {
  public:
    // Prepares the first statement of the text; failures raise the messages of ExecuteSql.
    TSQLiteStatement(TSQLiteDatabase& db, std::string sql);
    ~TSQLiteStatement();
    TSQLiteStatement(const TSQLiteStatement&) = delete;
    TSQLiteStatement& operator=(const TSQLiteStatement&) = delete;

    // The bytes as given.
    TSQLiteStatement& BindText(int index, std::string_view bytes);
    // A text in its stored form (StoredTextEncode), the bytes SqlText puts between its quotes.
    TSQLiteStatement& BindStoredText(int index, std::string_view text);
    TSQLiteStatement& BindInt(int index, int64_t value);
    TSQLiteStatement& BindFloat(int index, double value);
    TSQLiteStatement& BindNull(int index);

    // Runs the statement to its end and returns the number of rows it changed.
    int64_t Execute();
    // Runs an INSERT and returns the row id it created.
    int64_t Insert();
    // Steps a query: true with a row to read, false at its end (the statement is then reset).
    bool Step();
    // Columns of the current row, numbered from 0. A null cell reads as 0 or as empty text.
    int64_t ColumnInt64(int column);
    std::string ColumnText(int column);
    // The first column of the first row as an integer, `none` when no row comes back.
    int64_t FirstInt64(int64_t none = 0);
    // Back to the start; the bound values stay.
    void Reset();

    const std::string& Sql() const { return sql_; }

  private:
    // In inline mode: records the literal that stands for the parameter.
    void Inline(int index, std::string literal);
    void CheckBound(int rc);
    // The statement's own copy of a bound text, which SQLite reads without copying it again.
    std::string& Slot(int index);
    void BindSlot(int index);
    sqlite3_stmt* Running();
    std::string InlinedSql() const;

    TSQLiteDatabase& db_;
    std::string sql_;
    sqlite3_stmt* stmt_ = nullptr;
    // With inlined values: the literals bound, and the plain statement of the current run.
    std::vector<std::string> literals_;
    sqlite3_stmt* inlined_ = nullptr;
    std::vector<std::string> texts_;
};

// A cached statement with the layer's lock held (TSQLiteDatabase::Statement).
class TSQLiteCachedStatement {
  public:
    TSQLiteCachedStatement(std::unique_lock<std::recursive_mutex> lock, TSQLiteStatement& stmt)
        : lock_(std::move(lock)), stmt_(&stmt) {}
    ~TSQLiteCachedStatement();
    TSQLiteCachedStatement(TSQLiteCachedStatement&&) = default;
    TSQLiteCachedStatement& operator=(TSQLiteCachedStatement&&) = delete;
    TSQLiteStatement* operator->() const { return stmt_; }
    TSQLiteStatement& operator*() const { return *stmt_; }

  private:
    std::unique_lock<std::recursive_mutex> lock_;
    TSQLiteStatement* stmt_;
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
