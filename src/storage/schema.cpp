#include "storage/schema.h"

#include <filesystem>

#include "storage/stored_text.h"

namespace zb::storage {

const std::array<const char*, 13> kCreateTableStatements = {
    R"(CREATE TABLE "Account"('UID' INTEGER PRIMARY KEY AUTOINCREMENT,'Name' TEXT,'CustomerUID' INTEGER,'ContractUID' INTEGER,'XML' TEXT))",
    R"(CREATE TABLE "Balance"('UID' INTEGER PRIMARY KEY AUTOINCREMENT,'Name' TEXT,'XML' TEXT))",
    R"(CREATE TABLE "BigData"('WorkUID' INTEGER,'TaskUID' INTEGER,'DataVendorUID' INTEGER,'DataVendorEntity' TEXT,'MeterADDR' TEXT,'VarName' TEXT,'OpCode' TEXT,'Result' TEXT,'LocalTime' TEXT,'MasterClock' TEXT,'Value' TEXT,'ArcType' TEXT,'ArcInterval' TEXT,'ArcOptions' TEXT,'FromPoint' INTEGER,'ToPoint' INTEGER,'LocalTimeStamp' INTEGER))",
    R"(CREATE TABLE "CTR"('UID' INTEGER PRIMARY KEY AUTOINCREMENT,'ID' TEXT,'Comment' TEXT,'Password' TEXT,'InfoBasic' TEXT,'Profile' TEXT,'XML' TEXT))",
    R"(CREATE TABLE "Contract"('UID' INTEGER PRIMARY KEY AUTOINCREMENT,'Name' TEXT,'CustomerUID' INTEGER,'XML' TEXT))",
    R"(CREATE TABLE "CustomGroup"('UID' INTEGER PRIMARY KEY AUTOINCREMENT,'Name' TEXT,'XML' TEXT))",
    R"(CREATE TABLE "Customer"('UID' INTEGER PRIMARY KEY AUTOINCREMENT,'Name' TEXT,'TypeCode' INTEGER,'StreetAddress' TEXT,'INN' TEXT,'XML' TEXT))",
    R"(CREATE TABLE "EProvider"('UID' INTEGER PRIMARY KEY AUTOINCREMENT,'Name' TEXT,'INN' TEXT,'XML' TEXT))",
    R"(CREATE TABLE "MeasuringPoint"('UID' INTEGER PRIMARY KEY AUTOINCREMENT,'Name' TEXT,'MeterADDR' TEXT,'MeterSN' TEXT,'Syntax' TEXT,'MeterLocation' TEXT,'AccountUID' INTEGER,'EProviderUID' INTEGER,'CustomGroupUID' INTEGER,'BalanceUID' INTEGER,'BalanceRole' TEXT,'Comment' TEXT,'CtrUID' INTEGER,'MeterInfoBasic' TEXT,'MeterInfoArch' TEXT,'Noise' TEXT,'XML' TEXT))",
    R"(CREATE TABLE "Operator"('UID' INTEGER PRIMARY KEY AUTOINCREMENT,'Name' TEXT,'Login' TEXT,'Password' TEXT,'XML' TEXT))",
    R"(CREATE TABLE "Task"('UID' INTEGER PRIMARY KEY AUTOINCREMENT,'Name' TEXT,'WorkLibUID' INTEGER,'Comment' TEXT,'XML' TEXT))",
    R"(CREATE TABLE "WorkLib"('UID' INTEGER PRIMARY KEY AUTOINCREMENT,'Name' TEXT,'Comment' TEXT,'XML' TEXT))",
    R"(CREATE TABLE "Work"('UID' INTEGER PRIMARY KEY AUTOINCREMENT,'OperatorUID' INTEGER,'FileName' TEXT,'MeterTotal' INTEGER,'TaskCount' INTEGER,'MPList' TEXT,'LocalTimeStamp' INTEGER,'XML' TEXT))",
};

namespace {

struct LookupIndex {
    const char* table;
    const char* statement;
};

// Named with an "ix" prefix so that they never collide with the system's own tables.
constexpr LookupIndex kLookupIndexes[] = {
    {"MeasuringPoint",
     R"(CREATE INDEX IF NOT EXISTS "ixMeasuringPointMeterADDR" ON "MeasuringPoint"("MeterADDR"))"},
    {"MeasuringPoint",
     R"(CREATE INDEX IF NOT EXISTS "ixMeasuringPointCtrUID" ON "MeasuringPoint"("CtrUID"))"},
    {"CTR", R"(CREATE INDEX IF NOT EXISTS "ixCTRID" ON "CTR"("ID"))"},
    {"BigData",
     R"(CREATE INDEX IF NOT EXISTS "ixBigDataWorkVendor" ON "BigData"("WorkUID","DataVendorUID"))"},
};

bool TableExists(TSQLiteDatabase& db, const char* table) {
    return db.QueryTable("SELECT name FROM sqlite_master WHERE type='table' AND name=" +
                         SqlText(table))
               ->RowCount() > 0;
}

}  // namespace

int64_t InsertBuiltInAdministrator(TSQLiteDatabase& db) {
    return db.InsertSql("INSERT into Operator (Name,Login,Password) values(" +
                        SqlText(kAdministratorName) + "," + SqlText(kAdministratorLogin) + "," +
                        SqlText(kAdministratorPassword) + ")");
}

void CreateSchema(TSQLiteDatabase& db) {
    for (const char* statement : kCreateTableStatements) {
        db.ExecuteSql(statement);
    }
    InsertBuiltInAdministrator(db);
}

void EnsureLookupIndexes(TSQLiteDatabase& db) {
    for (const auto& index : kLookupIndexes) {
        if (TableExists(db, index.table)) {
            db.ExecuteSql(index.statement);
        }
    }
}

void EnsureWorkLibColumn(TSQLiteDatabase& db) {
    if (!TableExists(db, "Work")) {
        return;
    }
    auto columns = db.QueryTable("PRAGMA table_info('Work')");
    for (; !columns->AtEnd(); columns->Next()) {
        if (columns->FieldText("NAME") == "WorkLibUID") {
            return;
        }
    }
    db.ExecuteSql("ALTER TABLE Work ADD COLUMN WorkLibUID INTEGER");
}

void EnsureProcessedResultFileTable(TSQLiteDatabase& db) {
    db.ExecuteSql(
        R"(CREATE TABLE IF NOT EXISTS "ProcessedResultFile"('CtrID' TEXT,'FileName' TEXT,'Size' INTEGER,'Hash' TEXT,'LocalTimeStamp' INTEGER))");
    db.ExecuteSql(
        R"(CREATE INDEX IF NOT EXISTS "ixProcessedResultFile" ON "ProcessedResultFile"("CtrID","FileName"))");
}

namespace {

bool HasTables(TSQLiteDatabase& db) {
    return db.QueryTable("SELECT name FROM sqlite_master WHERE type='table'")->RowCount() > 0;
}

}  // namespace

std::unique_ptr<TSQLiteDatabase> OpenProgramDatabase(const std::string& path, bool& created) {
    auto db = std::make_unique<TSQLiteDatabase>(path);
    std::string reason;
    if (db->IsReadOnly(reason)) {
        throw ESQLiteException("База данных \"" + path + "\" доступна только для чтения (" +
                               reason + ")");
    }
    created = !HasTables(*db);
    if (created) {
        TSQLiteTransaction transaction(*db);
        CreateSchema(*db);
        transaction.Commit();
    }
    EnsureLookupIndexes(*db);
    EnsureWorkLibColumn(*db);
    EnsureProcessedResultFileTable(*db);
    return db;
}

}  // namespace zb::storage
