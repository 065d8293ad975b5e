#include "testing/results_rows.h"

#include "storage/schema.h"
#include "storage/stored_text.h"

namespace zb::testing {

using storage::SqlInt;
using storage::SqlText;

ResultsRows::ResultsRows(storage::TSQLiteDatabase& db) : db_(db) {
    storage::EnsureWorkLibColumn(db_);  // as the server does at start-up
}

int64_t ResultsRows::AddCtr(const std::string& id, const std::string& comment) {
    return db_.InsertSql("INSERT into CTR (ID,Comment) values(" + SqlText(id) + "," +
                         SqlText(comment) + ")");
}

int64_t ResultsRows::AddPoint(int64_t ctrUid, const std::string& address, const std::string& name) {
    return db_.InsertSql("INSERT into MeasuringPoint (CtrUID,MeterADDR,Name) values(" +
                         SqlInt(ctrUid) + "," + SqlText(address) + "," + SqlText(name) + ")");
}

int64_t ResultsRows::AddWorkLib(const std::string& name) {
    return db_.InsertSql("INSERT into WorkLib (Name) values(" + SqlText(name) + ")");
}

int64_t ResultsRows::AddTask(int64_t workLibUid, const std::string& name) {
    return db_.InsertSql("INSERT into Task (WorkLibUID,Name) values(" + SqlInt(workLibUid) + "," +
                         SqlText(name) + ")");
}

int64_t ResultsRows::AddWork(int64_t stamp, const std::string& mpList, int64_t taskCount,
                             int64_t meterTotal, const std::string& workName, int64_t operatorUid,
                             const std::string& fileName, int64_t workLibUid) {
    const std::string xml = "<root>\r\n  <workName Value=\"" + workName + "\"/>\r\n</root>\r\n";
    return db_.InsertSql(
        "INSERT into Work (FileName,OperatorUID,MeterTotal,TaskCount,MPList,LocalTimeStamp,XML,"
        "WorkLibUID) values(" +
        SqlText(fileName) + "," + SqlInt(operatorUid) + "," + SqlInt(meterTotal) + "," +
        SqlInt(taskCount) + "," + SqlText(mpList) + "," + SqlInt(stamp) + "," + SqlText(xml) + "," +
        SqlInt(workLibUid) + ")");
}

void ResultsRows::AddAnswer(int64_t workUid, int64_t taskUid, int64_t pointUid,
                            const std::string& result, const std::string& value,
                            const std::string& opCode, const std::string& localTime, int64_t stamp,
                            const std::string& address) {
    db_.ExecuteSql(
        "INSERT into BigData (WorkUID,TaskUID,DataVendorUID,DataVendorEntity,MeterADDR,VarName,"
        "OpCode,Result,LocalTime,MasterClock,Value,LocalTimeStamp) values(" +
        SqlInt(workUid) + "," + SqlInt(taskUid) + "," + SqlInt(pointUid) + ",'MP'," +
        SqlText(address) + ",'0000.Energy'," + SqlText(opCode) + "," + SqlText(result) + "," +
        SqlText(localTime) + ",''," + SqlText(value) + "," + SqlInt(stamp) + ")");
}

}  // namespace zb::testing
