// The command line, and the program's runs that end at once (--export-work, --version, bad
// options, a database that cannot be opened) against a database file of its own: exit codes
// and output.
#include <gtest/gtest.h>
#include <sstream>

#include "server/command_line.h"
#include "stats/results_export.h"
#include "storage/schema.h"
#include "testing/process.h"
#include "testing/results_rows.h"
#include "testing/temp_dir.h"

namespace zb::server {
namespace {

using zb::testing::ChildProcess;
using zb::testing::ReadFile;
using zb::testing::ServerExecutable;

// What the arguments become: "dir port" and the flags set, or "refused" with a one-line error.
std::string Parsed(const std::vector<std::string>& args) {
    const auto r = ParseCommandLine(args);
    if (!r.options) {
        return !r.error.empty() && r.error.find('\n') == std::string::npos ? "refused" : r.error;
    }
    const CommandLine& o = *r.options;
    return o.programDir.string() + " " + std::to_string(o.port) + (o.headless ? " headless" : "") +
           (o.version ? " version" : "") + (o.help ? " help" : "");
}

TEST(CommandLine, DefaultsEveryOptionAndTheRefusals) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{}, " 1234"},
        {{"--dir", "/srv/zb", "--port", "4321", "--headless"}, "/srv/zb 4321 headless"},
        {{"--version"}, " 1234 version"},
        {{"--help"}, " 1234 help"},
        {{"--port", "65535"}, " 65535"},
        {{"--port", "0"}, " 0"},
        {{"--port", "65536"}, "refused"},
        {{"--port", "-1"}, "refused"},
        {{"--port", "12ab"}, "refused"},
        {{"--port", ""}, "refused"},
        {{"--port"}, "refused"},
        {{"--dir"}, "refused"},
        {{"--frobnicate"}, "refused"},
        {{"headless"}, "refused"},
    };
    for (const auto& [args, parsed] : cases) {
        EXPECT_EQ(Parsed(args), parsed) << (args.empty() ? "" : args.front());
    }
}

// The program run to its end over a database file of its own holding one work with one answer.
TEST(ExportWorkProgram, ExitCodesAndOutput) {
    zb::testing::TempDir dir;
    std::string expected;
    {
        storage::TSQLiteDatabase db((dir / "ZarnicBox.db").string());
        storage::CreateSchema(db);
        zb::testing::ResultsRows rows(db);
        rows.AddAnswer(rows.AddWork(0, "1"), 1, 0, "DONE", "Значение, \"в кавычках\"");
        std::ostringstream csv;
        stats::ExportWorkCsv(db, 1, csv);
        expected = csv.str();
    }
    std::string output;
    const auto run = [&](const std::vector<std::string>& args) {
        std::vector<std::string> all = {"--dir", dir.path().string()};
        all.insert(all.end(), args.begin(), args.end());
        ChildProcess program(ServerExecutable(), all);
        const int code = program.Wait();
        output = program.output();
        return code;
    };
    const std::string file = (dir / "w1.csv").string();
    const std::string bad = (dir / "no/such/dir.csv").string();
    const struct {
        std::vector<std::string> args;
        int code;
        std::string output;
    } cases[] = {
        {{"--export-work", "1"}, 0, expected},
        {{"--export-work", "1", "--output", file}, 0, ""},
        {{"--export-work", "2"}, 2, "zarnicbox: no work with UID 2\n"},
        {{"--export-work", "x"}, 2, "zarnicbox: --export-work needs a work UID (a number)\n"},
        {{"--output", "f.csv"}, 2, "zarnicbox: --output goes with --export-work\n"},
        {{"--export-work", "1", "--output", bad}, 1, "zarnicbox: cannot write " + bad + "\n"},
        {{"--version", "--port", "0"}, 0, "ZarnicBox Rev.0.3.24 (file version 0.3.24.0)\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(run(c.args), c.code) << c.args[0] << " " << c.args[1];
        EXPECT_EQ(output, c.output);
    }
    EXPECT_EQ(ReadFile(file), expected);
    // The export never creates a database where there is none.
    std::filesystem::remove(dir / "ZarnicBox.db");
    EXPECT_EQ(run({"--export-work", "1"}), 1);
    EXPECT_FALSE(std::filesystem::exists(dir / "ZarnicBox.db"));
    // A database that cannot be opened stops a start with the message.
    std::filesystem::create_directory(dir / "ZarnicBox.db");
    EXPECT_EQ(run({"--headless"}), 1);
    EXPECT_NE(output.find("Failed to open database"), std::string::npos) << output;
}

}  // namespace
}  // namespace zb::server
