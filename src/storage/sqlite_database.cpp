#include "storage/sqlite_database.h"

#include <cstdio>

#include "base/text.h"

namespace zb::storage {
namespace {

constexpr int kStepRow = 100;
constexpr int kStepDone = 101;
constexpr int kBusy = 5;

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
        throw ESQLiteException(message);
    }
    // A double-quoted word in a data statement is always a column name, never a text literal:
    // a statement that still carried a double-quoted value would otherwise silently compare or
    // copy whatever column the value happens to spell.
    sqlite3_db_config(db_, SQLITE_DBCONFIG_DQS_DML, 0, nullptr);
}

TSQLiteDatabase::~TSQLiteDatabase() {
    if (db_ != nullptr) {
        sqlite3_close(db_);
    }
}

void TSQLiteDatabase::RaiseDatabaseError(const std::string& message, const std::string& sql) {
    const int code = sqlite3_errcode(db_) & 0xFF;
    if (code == 0) {
        throw ESQLiteException(message);
    }
    throw ESQLiteException(message + ".\rError [" + std::to_string(code) + "]: " +
                           ResultCodeText(code) + ".\r\"" + sql + "\": " + sqlite3_errmsg(db_));
}

sqlite3_stmt* TSQLiteDatabase::Prepare(const std::string& sql) {
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
        sqlite3_finalize(stmt);
        RaiseDatabaseError("Error executing SQL", sql);
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
        if (rc == kBusy) {
            throw ESQLiteException("Could not prepare SQL statement");
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
