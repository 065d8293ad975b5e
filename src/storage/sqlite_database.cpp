#include "storage/sqlite_database.h"

#include <sqlite3.h>

#include <cstdio>

#include "base/text.h"
#include "storage/stored_text.h"

namespace zb::storage {
namespace {

constexpr int kStepRow = 100;
constexpr int kStepDone = 101;

// A column's kind is decided by its declared type, compared as exact text; a column without
// one (an expression) takes the type of its value in the first row.
int KindOfDeclaredType(const char* declared, int firstRowType) {
    if (declared == nullptr) {
        return firstRowType;
    }
    const std::string type(declared);
    if (type == "INTEGER" || type == "BOOLEAN") {
        return kKindInteger;
    }
    if (type == "NUMERIC" || type == "FLOAT" || type == "DOUBLE" || type == "REAL") {
        return kKindFloat;
    }
    if (type == "BLOB") {
        return kKindBlob;
    }
    return kKindText;
}

std::string FloatText(double value) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.15g", value);
    return buf;
}

class StatementGuard {
  public:
    explicit StatementGuard(sqlite3_stmt* stmt) : stmt_(stmt) {}
    ~StatementGuard() { sqlite3_finalize(stmt_); }
    StatementGuard(const StatementGuard&) = delete;
    StatementGuard& operator=(const StatementGuard&) = delete;

  private:
    sqlite3_stmt* stmt_;
};

}  // namespace

std::string ResultCodeText(int code) {
    switch (code) {
        case 0:
            return "Successful result";
        case 1:
            return "SQL error or missing database";
        case 2:
            return "An internal logic error in SQLite";
        case 3:
            return "Access permission denied";
        case 4:
            return "Callback routine requested an abort";
        case 5:
            return "The database file is locked";
        case 6:
            return "A table in the database is locked";
        case 7:
            return "A malloc() failed";
        case 8:
            return "Attempt to write a readonly database";
        case 9:
            return "Operation terminated by sqlite3_interrupt()";
        case 10:
            return "Some kind of disk I/O error occurred";
        case 11:
            return "The database disk image is malformed";
        case 12:
            return "(Internal Only) Table or record not found";
        case 13:
            return "Insertion failed because database is full";
        case 14:
            return "Unable to open the database file";
        case 15:
            return "Database lock protocol error";
        case 16:
            return "Database is empty";
        case 17:
            return "The database schema changed";
        case 18:
            return "Too much data for one row of a table";
        case 19:
            return "Abort due to contraint violation";
        case 20:
            return "Data type mismatch";
        case 21:
            return "Library used incorrectly";
        case 22:
            return "Uses OS features not supported on host";
        case 23:
            return "Authorization denied";
        case 24:
            return "Auxiliary database format error";
        case 25:
            return "2nd parameter to sqlite3_bind out of range";
        case 26:
            return "File opened that is not a database file";
        case 100:
            return "sqlite3_step() has another row ready";
        case 101:
            return "sqlite3_step() has finished executing";
        default:
            return "Unknown SQLite Error Code \"" + std::to_string(code) + "\"";
    }
}

// ---------------------------------------------------------------------------------------------
// TSQLiteTable

bool TSQLiteTable::Next() {
    if (AtEnd()) {
        return false;
    }
    ++cursor_;
    return true;
}

bool TSQLiteTable::GoToRow(uint32_t row) {
    if (row >= rowCount_) {
        return false;
    }
    cursor_ = row;
    return true;
}

int TSQLiteTable::ColumnIndex(const std::string& name) const {
    if (columnNames_.empty()) {
        throw ESQLiteException("Field " + name + " Not found. Empty dataset");
    }
    const std::string upper = base::AsciiUpper(name);
    for (size_t i = 0; i < columnNames_.size(); ++i) {
        if (columnNames_[i] == upper) {
            return static_cast<int>(i);
        }
    }
    throw ESQLiteException("Field not found in dataset: " + name);
}

void TSQLiteTable::CheckNotAtEnd() const {
    if (AtEnd()) {
        throw ESQLiteException("Table is at End of File");
    }
}

const TSQLiteTable::Cell& TSQLiteTable::CellAt(int column) const {
    CheckNotAtEnd();
    if (column < 0 || static_cast<uint32_t>(column) >= columnCount_) {
        throw ESQLiteException("Field not found in dataset: " + std::to_string(column));
    }
    return values_[static_cast<size_t>(cursor_) * columnCount_ + column];
}

std::string TSQLiteTable::FieldText(int column) const {
    const Cell& cell = CellAt(column);
    switch (columnKinds_[column]) {
        case kKindInteger:
            return std::to_string(FieldInt64(column));
        case kKindFloat:
            return FloatText(FieldFloat(column));
        case kKindBlob:
            return FieldBlobText(column);
        case kKindNull:
            return {};
        default: {
            const auto* text = std::get_if<std::string>(&cell);
            return text != nullptr ? *text : std::string();
        }
    }
}

int64_t TSQLiteTable::FieldInt64(int column) const {
    const Cell& cell = CellAt(column);
    if (std::holds_alternative<std::monostate>(cell)) {
        return 0;
    }
    switch (columnKinds_[column]) {
        case kKindInteger:
            return std::get<int64_t>(cell);
        case kKindFloat:
            return static_cast<int64_t>(std::get<double>(cell));
        default:
            throw ESQLiteException("Not an integer or numeric field");
    }
}

double TSQLiteTable::FieldFloat(int column) const {
    const Cell& cell = CellAt(column);
    if (std::holds_alternative<std::monostate>(cell)) {
        return 0;
    }
    switch (columnKinds_[column]) {
        case kKindInteger:
            return static_cast<double>(std::get<int64_t>(cell));
        case kKindFloat:
            return std::get<double>(cell);
        default:
            throw ESQLiteException("Not an integer or numeric field");
    }
}

const std::string* TSQLiteTable::FieldBlob(int column) const {
    const Cell& cell = CellAt(column);
    if (std::holds_alternative<std::monostate>(cell)) {
        return nullptr;
    }
    if (columnKinds_[column] != kKindBlob) {
        throw ESQLiteException("Not a Blob field");
    }
    return &std::get<std::string>(cell);
}

std::string TSQLiteTable::FieldBlobText(int column) const {
    const std::string* blob = FieldBlob(column);
    return blob != nullptr ? *blob : std::string();
}

// ---------------------------------------------------------------------------------------------
// TSQLiteDatabase

TSQLiteDatabase::TSQLiteDatabase(const std::string& fileName) {
    const int rc = sqlite3_open(fileName.c_str(), &db_);
    if (rc != SQLITE_OK) {
        std::string message;
        if (db_ == nullptr) {
            message = "Failed to open database \"" + fileName + "\" : unknown error";
        } else {
            message = "Failed to open database \"" + fileName + "\" : " + sqlite3_errmsg(db_);
            sqlite3_close(db_);
            db_ = nullptr;
        }
        throw ESQLiteException(message, rc);
    }
    sqlite3_busy_timeout(db_, kBusyTimeoutMs);
    // A double-quoted word in a data statement is always a column name, never a text literal:
    // a statement that still carried a double-quoted value would otherwise silently compare or
    // copy whatever column the value happens to spell.
    sqlite3_db_config(db_, SQLITE_DBCONFIG_DQS_DML, 0, nullptr);
}

TSQLiteDatabase::~TSQLiteDatabase() {
    statements_.clear();
    if (db_ != nullptr) {
        sqlite3_close(db_);
    }
}

void TSQLiteDatabase::RaiseDatabaseError(const std::string& message, const std::string& sql) {
    const int extended = sqlite3_extended_errcode(db_);
    const int code = extended & 0xFF;
    if (code == 0) {
        throw ESQLiteException(message);
    }
    std::string text = message + ".\rError [" + std::to_string(code) +
                       "]: " + ResultCodeText(code) + ".\r\"" + sql + "\": " + sqlite3_errmsg(db_);
    if (code == SQLITE_FULL) {
        text += " (нет места на диске)";
    }
    throw ESQLiteException(text, extended);
}

bool TSQLiteDatabase::IsReadOnly(std::string& reason) {
    std::lock_guard lock(mutex_);
    if (sqlite3_db_readonly(db_, "main") == 1) {
        reason = "the file was opened read-only";
        return true;
    }
    // Taking the write lock needs a journal beside the file and write access to it.
    if (sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_OK) {
        // The journal beside the file is made at the first changed page: change one, so a
        // folder that cannot be written is found here too. Rolled back, it leaves no trace.
        const int rc =
            sqlite3_exec(db_, "CREATE TABLE \"zbWriteProbe\"('x')", nullptr, nullptr, nullptr);
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        if (rc == SQLITE_OK) {
            return false;
        }
    }
    const int code = sqlite3_errcode(db_) & 0xFF;
    reason = sqlite3_errmsg(db_);
    return code == SQLITE_READONLY || code == SQLITE_PERM || code == SQLITE_CANTOPEN ||
           code == SQLITE_AUTH;
}

sqlite3_stmt* TSQLiteDatabase::Prepare(const std::string& sql) {
    sqlite3_stmt* stmt = nullptr;
    if (sql.size() > static_cast<size_t>(INT32_MAX - 1)) {
        throw ESQLiteException("Error executing SQL.\rError [18]: " + ResultCodeText(18), 18);
    }
    // With its length; the library still reads a zero byte as the end of the text, so a
    // statement that stops at one is refused: a zero byte can never cut a statement short and
    // run what is left of it.
    const char* tail = nullptr;
    if (sqlite3_prepare_v2(db_, sql.data(), static_cast<int>(sql.size()), &stmt, &tail) !=
        SQLITE_OK) {
        sqlite3_finalize(stmt);
        RaiseDatabaseError("Error executing SQL", sql);
    }
    if (tail != nullptr && tail < sql.data() + sql.size() && *tail == '\0') {
        sqlite3_finalize(stmt);
        throw ESQLiteException("Error executing SQL.\rError [1]: " + ResultCodeText(1) + ".\r\"" +
                                   std::string(sql.data(), tail) +
                                   "\": the statement holds a zero byte",
                               1);
    }
    if (stmt == nullptr) {
        RaiseDatabaseError("Could not prepare SQL statement", sql);
    }
    return stmt;
}

void TSQLiteDatabase::StepDone(sqlite3_stmt* stmt, const std::string& sql) {
    StatementGuard guard(stmt);
    if (sqlite3_step(stmt) != kStepDone) {
        sqlite3_reset(stmt);
        RaiseDatabaseError("Error executing SQL statement", sql);
    }
}

void TSQLiteDatabase::ExecuteSql(const std::string& sql) {
    std::lock_guard lock(mutex_);
    StepDone(Prepare(sql), sql);
}

int64_t TSQLiteDatabase::InsertSql(const std::string& sql) {
    std::lock_guard lock(mutex_);
    StepDone(Prepare(sql), sql);
    return sqlite3_last_insert_rowid(db_);
}

int64_t TSQLiteDatabase::ExecuteSqlChanges(const std::string& sql) {
    std::lock_guard lock(mutex_);
    StepDone(Prepare(sql), sql);
    return sqlite3_changes(db_);
}

int64_t TSQLiteDatabase::LastInsertRowId() {
    std::lock_guard lock(mutex_);
    return sqlite3_last_insert_rowid(db_);
}

int64_t TSQLiteDatabase::ChangeCount() {
    std::lock_guard lock(mutex_);
    return sqlite3_changes(db_);
}

std::unique_ptr<TSQLiteTable> TSQLiteDatabase::QueryTable(const std::string& sql) {
    std::lock_guard lock(mutex_);
    sqlite3_stmt* stmt = Prepare(sql);
    StatementGuard guard(stmt);
    auto table = std::make_unique<TSQLiteTable>();
    while (true) {
        const int rc = sqlite3_step(stmt);
        if (rc == kStepDone) {
            break;
        }
        if (rc != kStepRow) {
            sqlite3_reset(stmt);
            RaiseDatabaseError("Could not retrieve data", sql);
        }
        if (table->rowCount_ == 0) {
            const int count = sqlite3_column_count(stmt);
            table->columnCount_ = static_cast<uint32_t>(count);
            for (int c = 0; c < count; ++c) {
                table->columnNames_.push_back(base::AsciiUpper(sqlite3_column_name(stmt, c)));
                table->columnKinds_.push_back(KindOfDeclaredType(sqlite3_column_decltype(stmt, c),
                                                                 sqlite3_column_type(stmt, c)));
            }
        }
        ++table->rowCount_;
        for (uint32_t c = 0; c < table->columnCount_; ++c) {
            const int col = static_cast<int>(c);
            const int cellType = sqlite3_column_type(stmt, col);
            if (cellType == SQLITE_NULL) {
                table->values_.emplace_back(std::monostate{});
                continue;
            }
            // An expression column whose first value was null has no kind yet: its first
            // non-null value decides it, so the values of later rows are not read as empty.
            if (table->columnKinds_[c] == kKindNull) {
                table->columnKinds_[c] = cellType;
            }
            switch (table->columnKinds_[c]) {
                case kKindInteger:
                    table->values_.emplace_back(
                        static_cast<int64_t>(sqlite3_column_int64(stmt, col)));
                    break;
                case kKindFloat:
                    table->values_.emplace_back(sqlite3_column_double(stmt, col));
                    break;
                case kKindBlob: {
                    const auto* bytes = static_cast<const char*>(sqlite3_column_blob(stmt, col));
                    const int size = sqlite3_column_bytes(stmt, col);
                    if (size == 0) {
                        table->values_.emplace_back(std::monostate{});
                    } else {
                        table->values_.emplace_back(std::string(bytes, static_cast<size_t>(size)));
                    }
                    break;
                }
                default: {
                    // Text up to its first zero byte.
                    const auto* text =
                        reinterpret_cast<const char*>(sqlite3_column_text(stmt, col));
                    table->values_.emplace_back(std::string(text != nullptr ? text : ""));
                }
            }
        }
    }
    table->cursor_ = 0;
    return table;
}

// ---------------------------------------------------------------------------------------------
// TSQLiteTransaction

TSQLiteTransaction::TSQLiteTransaction(TSQLiteDatabase& db) : db_(db), lock_(db.Lock()) {
    db_.ExecuteSql("BEGIN");
}

TSQLiteTransaction::~TSQLiteTransaction() {
    if (open_) {
        try {
            db_.ExecuteSql("ROLLBACK");
        } catch (const ESQLiteException&) {
            // A failed statement may already have ended the transaction; nothing is left to undo.
        }
    }
}

void TSQLiteTransaction::Commit() {
    db_.ExecuteSql("COMMIT");
    open_ = false;
}

// ---------------------------------------------------------------------------------------------
// Statements with bound values

TSQLiteCachedStatement TSQLiteDatabase::Statement(const std::string& sql) {
    std::unique_lock lock(mutex_);
    auto found = statements_.find(sql);
    if (found == statements_.end()) {
        found = statements_.emplace(sql, std::make_unique<TSQLiteStatement>(*this, sql)).first;
    }
    return TSQLiteCachedStatement(std::move(lock), *found->second);
}

TSQLiteCachedStatement::~TSQLiteCachedStatement() {
    if (lock_.owns_lock()) {
        stmt_->Reset();
    }
}

TSQLiteStatement::TSQLiteStatement(TSQLiteDatabase& db, std::string sql)
    : db_(db), sql_(std::move(sql)) {
    std::lock_guard lock(db_.mutex_);
    stmt_ = db_.Prepare(sql_);
    // Sized once: SQLite holds pointers into the slots, which must never move.
    texts_.resize(static_cast<size_t>(sqlite3_bind_parameter_count(stmt_)));
}

TSQLiteStatement::~TSQLiteStatement() {
    std::lock_guard lock(db_.mutex_);
    sqlite3_finalize(inlined_);
    sqlite3_finalize(stmt_);
}

void TSQLiteStatement::Inline(int index, std::string literal) {
    if (index < 1 || index > sqlite3_bind_parameter_count(stmt_)) {
        throw ESQLiteException("Could not bind a value: no parameter " + std::to_string(index) +
                               " in " + sql_);
    }
    literals_.resize(std::max(literals_.size(), static_cast<size_t>(index)));
    literals_[index - 1] = std::move(literal);
}

void TSQLiteStatement::CheckBound(int rc) {
    if (rc != SQLITE_OK) {
        db_.RaiseDatabaseError("Could not bind a value", sql_);
    }
}

std::string& TSQLiteStatement::Slot(int index) {
    if (index < 1 || index > sqlite3_bind_parameter_count(stmt_)) {
        throw ESQLiteException("Could not bind a value: no parameter " + std::to_string(index) +
                               " in " + sql_);
    }
    return texts_[index - 1];
}

void TSQLiteStatement::BindSlot(int index) {
    // The slot keeps its bytes (and its capacity) until the parameter is bound again, so SQLite
    // may read them where they are, and a run allocates nothing for them.
    const std::string& text = texts_[index - 1];
    CheckBound(sqlite3_bind_text(stmt_, index, text.c_str(), static_cast<int>(text.size()),
                                 SQLITE_STATIC));
}

TSQLiteStatement& TSQLiteStatement::BindText(int index, std::string_view bytes) {
    std::lock_guard lock(db_.mutex_);
    if (db_.inlineValues_) {
        Inline(index, "'" + base::ReplaceAll(std::string(bytes), "'", "''") + "'");
    } else {
        Slot(index).assign(bytes);
        BindSlot(index);
    }
    return *this;
}

TSQLiteStatement& TSQLiteStatement::BindStoredText(int index, std::string_view text) {
    std::lock_guard lock(db_.mutex_);
    if (db_.inlineValues_) {
        Inline(index, SqlText(text));
        return *this;
    }
    std::string& slot = Slot(index);
    slot.clear();
    AppendStoredText(slot, text);
    BindSlot(index);
    return *this;
}

TSQLiteStatement& TSQLiteStatement::BindInt(int index, int64_t value) {
    std::lock_guard lock(db_.mutex_);
    if (db_.inlineValues_) {
        Inline(index, SqlInt(value));
    } else {
        CheckBound(sqlite3_bind_int64(stmt_, index, value));
    }
    return *this;
}

TSQLiteStatement& TSQLiteStatement::BindFloat(int index, double value) {
    std::lock_guard lock(db_.mutex_);
    if (db_.inlineValues_) {
        char literal[40];
        std::snprintf(literal, sizeof literal, "%.17g", value);
        Inline(index, literal);
    } else {
        CheckBound(sqlite3_bind_double(stmt_, index, value));
    }
    return *this;
}

TSQLiteStatement& TSQLiteStatement::BindNull(int index) {
    std::lock_guard lock(db_.mutex_);
    if (db_.inlineValues_) {
        Inline(index, "NULL");
    } else {
        CheckBound(sqlite3_bind_null(stmt_, index));
    }
    return *this;
}

// The statement text with each "?" replaced by its parameter's literal, in order. The texts of
// this server's statements hold no "?" inside a literal.
std::string TSQLiteStatement::InlinedSql() const {
    std::string sql;
    size_t parameter = 0;
    for (char c : sql_) {
        if (c != '?') {
            sql += c;
            continue;
        }
        if (parameter >= literals_.size() || literals_[parameter].empty()) {
            throw ESQLiteException("No value bound to parameter " + std::to_string(parameter + 1) +
                                   ": " + sql_);
        }
        sql += literals_[parameter++];
    }
    return sql;
}

// The statement a run steps: the prepared one, or in inline mode the plain statement text
// prepared for this run.
sqlite3_stmt* TSQLiteStatement::Running() {
    if (!db_.inlineValues_) {
        return stmt_;
    }
    if (inlined_ == nullptr) {
        inlined_ = db_.Prepare(InlinedSql());
    }
    return inlined_;
}

void TSQLiteStatement::Reset() {
    std::lock_guard lock(db_.mutex_);
    sqlite3_reset(stmt_);
    sqlite3_finalize(inlined_);
    inlined_ = nullptr;
}

int64_t TSQLiteStatement::Execute() {
    std::lock_guard lock(db_.mutex_);
    sqlite3_stmt* stmt = Running();
    const int rc = sqlite3_step(stmt);
    if (rc != kStepDone) {
        Reset();
        db_.RaiseDatabaseError("Error executing SQL statement", sql_);
    }
    const int64_t changes = sqlite3_changes(db_.db_);
    Reset();
    return changes;
}

int64_t TSQLiteStatement::Insert() {
    std::lock_guard lock(db_.mutex_);
    Execute();
    return sqlite3_last_insert_rowid(db_.db_);
}

bool TSQLiteStatement::Step() {
    std::lock_guard lock(db_.mutex_);
    const int rc = sqlite3_step(Running());
    if (rc == kStepRow) {
        return true;
    }
    Reset();
    if (rc != kStepDone) {
        db_.RaiseDatabaseError("Could not retrieve data", sql_);
    }
    return false;
}

int64_t TSQLiteStatement::ColumnInt64(int column) {
    std::lock_guard lock(db_.mutex_);
    return sqlite3_column_int64(Running(), column);
}

std::string TSQLiteStatement::ColumnText(int column) {
    std::lock_guard lock(db_.mutex_);
    sqlite3_stmt* stmt = Running();
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, column));
    return text != nullptr
               ? std::string(text, static_cast<size_t>(sqlite3_column_bytes(stmt, column)))
               : std::string();
}

int64_t TSQLiteStatement::FirstInt64(int64_t none) {
    std::lock_guard lock(db_.mutex_);
    if (!Step()) {
        return none;
    }
    const int64_t value = ColumnInt64(0);
    Reset();
    return value;
}

// ---------------------------------------------------------------------------------------------
// The connection of this run

namespace {
std::mutex g_databaseMutex;
std::unique_ptr<TSQLiteDatabase> g_database;
}  // namespace

TSQLiteDatabase& Database() {
    std::lock_guard lock(g_databaseMutex);
    if (!g_database) {
        throw ESQLiteException("Database is not open");
    }
    return *g_database;
}

bool HasDatabase() {
    std::lock_guard lock(g_databaseMutex);
    return g_database != nullptr;
}

std::unique_ptr<TSQLiteDatabase> SetDatabase(std::unique_ptr<TSQLiteDatabase> db) {
    std::lock_guard lock(g_databaseMutex);
    std::swap(g_database, db);
    return db;
}

}  // namespace zb::storage
