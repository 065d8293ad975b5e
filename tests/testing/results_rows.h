#pragma once
// The rows that dispatch and the results store write, made directly in a database: concentrators,
// measuring points, library works and requests, Work rows (with WorkLibUID) and BigData answers.
#include <cstdint>
#include <string>

#include "storage/sqlite_database.h"

namespace zb::testing {

class ResultsRows {
  public:
    // Adds the column Work.WorkLibUID when the file lacks it.
    explicit ResultsRows(storage::TSQLiteDatabase& db);

    int64_t AddCtr(const std::string& id, const std::string& comment = "");
    int64_t AddPoint(int64_t ctrUid, const std::string& address, const std::string& name = "");
    int64_t AddWorkLib(const std::string& name);
    int64_t AddTask(int64_t workLibUid, const std::string& name);
    // A Work row as dispatch writes it; its XML names the work.
    int64_t AddWork(int64_t stamp, const std::string& mpList, int64_t taskCount = 1,
                    int64_t meterTotal = 1, const std::string& workName = "W",
                    int64_t operatorUid = 1, const std::string& fileName = "",
                    int64_t workLibUid = 0);
    void AddAnswer(int64_t workUid, int64_t taskUid, int64_t pointUid, const std::string& result,
                   const std::string& value = "", const std::string& opCode = "R",
                   const std::string& localTime = "", int64_t stamp = 0,
                   const std::string& address = "0000000A");

  private:
    storage::TSQLiteDatabase& db_;
};

}  // namespace zb::testing
