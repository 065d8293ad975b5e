#pragma once
// A database file of its own for every test, with the rows that dispatch and the results store
// write: concentrators, measuring points, library works and requests, Work rows and answers.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>

#include "storage/sqlite_database.h"
#include "testing/temp_dir.h"

namespace zb::stats::testing {

class StatsDb {
  public:
    StatsDb();
    storage::TSQLiteDatabase& db() { return *db_; }
    const std::filesystem::path& dir() const { return dir_.path(); }

    int64_t AddCtr(const std::string& id, const std::string& comment = "");
    int64_t AddPoint(int64_t ctrUid, const std::string& address, const std::string& name = "");
    int64_t AddWorkLib(const std::string& name);
    int64_t AddTask(int64_t workLibUid, const std::string& name);
    // A Work row as dispatch writes it; mpList lines are joined with CR LF.
    int64_t AddWork(int64_t stamp, const std::string& mpList, int64_t taskCount = 1,
                    int64_t meterTotal = 1, const std::string& workName = "W",
                    int64_t operatorUid = 1, const std::string& fileName = "",
                    int64_t workLibUid = 0);
    // A BigData row as the results store writes it.
    void AddAnswer(int64_t workUid, int64_t taskUid, int64_t pointUid, const std::string& result,
                   const std::string& value = "", const std::string& opCode = "R",
                   const std::string& localTime = "", int64_t stamp = 0,
                   const std::string& address = "0000000A");

  private:
    zb::testing::TempDir dir_;
    std::unique_ptr<storage::TSQLiteDatabase> db_;
};

}  // namespace zb::stats::testing
