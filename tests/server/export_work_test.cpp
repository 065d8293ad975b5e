// zarnicbox --export-work run as a program against a database file of its own.
#include <gtest/gtest.h>

#include <sstream>

#include "stats/results_export.h"
#include "storage/schema.h"
#include "storage/stored_text.h"
#include "testing/process.h"
#include "testing/temp_dir.h"

namespace zb::server {
namespace {

using storage::SqlText;
using zb::testing::ChildProcess;
using zb::testing::ReadFile;
using zb::testing::ServerExecutable;

class ExportWorkProgram : public ::testing::Test {
  protected:
    void SetUp() override {
        storage::TSQLiteDatabase db((dir_ / "ZarnicBox.db").string());
        storage::CreateSchema(db);
        db.ExecuteSql("INSERT into Work (MPList,MeterTotal,TaskCount) values('1',1,1)");
        db.ExecuteSql(
            "INSERT into BigData (WorkUID,TaskUID,DataVendorUID,DataVendorEntity,MeterADDR,"
            "OpCode,Result,Value,LocalTimeStamp) values(1,1,0,'MP','0000000A','R','DONE'," +
            SqlText("Значение, \"в кавычках\"") + ",10)");
        std::ostringstream expected;
        stats::ExportWorkCsv(db, 1, expected);
        expected_ = expected.str();
    }

    // Runs the program to its end; returns the exit code and leaves the output in output_.
    int Run(const std::vector<std::string>& args) {
        std::vector<std::string> all = {"--dir", dir_.path().string()};
        all.insert(all.end(), args.begin(), args.end());
        ChildProcess program(ServerExecutable(), all);
        const int code = program.Wait();
        output_ = program.output();
        return code;
    }

    zb::testing::TempDir dir_;
    std::string expected_;
    std::string output_;
};

TEST_F(ExportWorkProgram, WritesTheWorkToStandardOutputOrAFile) {
    ASSERT_NE(expected_.find("\"Значение, \"\"в кавычках\"\"\"\r\n"), std::string::npos);
    EXPECT_EQ(Run({"--export-work", "1"}), 0);
    EXPECT_EQ(output_, expected_);
    EXPECT_EQ(Run({"--export-work", "1", "--output", (dir_ / "w1.csv").string()}), 0);
    EXPECT_EQ(output_, "");
    EXPECT_EQ(ReadFile(dir_ / "w1.csv"), expected_);
}

TEST_F(ExportWorkProgram, RefusesWithOneLine) {
    struct Case {
        std::vector<std::string> args;
        int code;
        std::string line;
    };
    const Case cases[] = {
        {{"--export-work", "2"}, 2, "zarnicbox: no work with UID 2\n"},
        {{"--export-work", "x"}, 2, "zarnicbox: --export-work needs a work UID (a number)\n"},
        {{"--output", "f.csv"}, 2, "zarnicbox: --output goes with --export-work\n"},
        {{"--export-work", "1", "--output", (dir_ / "no/such/dir.csv").string()},
         1,
         "zarnicbox: cannot write " + (dir_ / "no/such/dir.csv").string() + "\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Run(c.args), c.code) << c.args[0] << " " << c.args[1];
        EXPECT_EQ(output_, c.line);
    }
    std::filesystem::remove(dir_ / "ZarnicBox.db");
    EXPECT_EQ(Run({"--export-work", "1"}), 1);
    EXPECT_FALSE(std::filesystem::exists(dir_ / "ZarnicBox.db"));
}

}  // namespace
}  // namespace zb::server
