#pragma once
// The server without its window: program values, the executable copy, the database, and (as
// they are wired in) the description catalogue and the concentrator link. The window drives the
// same object: it calls the steps in its own start-up order and calls Tick() from its one-second
// timeout timer; headless, RunHeadless() does both.
#include <cstdint>
#include <filesystem>
#include <memory>

namespace zb::link {
class LinkServer;
}

namespace zb::server {

struct RuntimeOptions {
    std::filesystem::path programDir;
    uint16_t port = 1234;
};

class Runtime {
  public:
    explicit Runtime(RuntimeOptions options);
    // Shut-down: the link stops first (its connection threads may be writing to the database),
    // then the database is closed.
    ~Runtime();
    Runtime(const Runtime&) = delete;
    Runtime& operator=(const Runtime&) = delete;

    // Opens the program's database, creating its tables and the built-in administrator when the
    // file is new. Throws storage::ESQLiteException ("Failed to open database ...").
    void OpenDatabase();
    bool DatabaseWasCreated() const { return databaseCreated_; }

    // Loads the device description catalogue from the program directory. The window asks for
    // the groups of the work library editor as well.
    void LoadCatalogue(bool buildGroups = false);

    // Starts the concentrator link on the configured port, with the importers installed as the
    // handler of received files, after raising the open-file limit. Throws std::system_error
    // when the port cannot be bound.
    void StartLink();
    // The one-second timeout tick of the link's close countdowns.
    void Tick();

    const RuntimeOptions& options() const { return options_; }

    // The concentrator link (connections, file counters, last addresses, file lock); null
    // before StartLink.
    link::LinkServer* Link() const { return link_.get(); }

  private:
    RuntimeOptions options_;
    std::unique_ptr<link::LinkServer> link_;
    bool databaseCreated_ = false;
};

// Sets the process-wide program values for a program directory (an empty one means the
// executable's directory) and returns the directory used.
std::filesystem::path PrepareProgram(const std::filesystem::path& programDir);

// Copies the running executable to "<programDir>/<product>.Rev.<version text>", replacing an
// existing (even read-only) copy. Failure is ignored: the copy is a convenience.
void KeepExecutableCopy();

// Raises the soft limit of open files to the hard limit, so thousands of concentrators can be
// connected at once. Returns the limit in force afterwards.
uint64_t RaiseOpenFileLimit();

// Runs the server without a window until SIGINT or SIGTERM; log lines go to standard output.
// Returns the process exit code.
int RunHeadless(const RuntimeOptions& options);

// Writes the results of a work as CSV to the file, or to standard output when the file is empty.
// Returns 0; 2 for a work that does not exist (one line on standard error); 1 when the database
// is missing or cannot be read, or the file cannot be written.
int RunExportWork(int64_t workUid, const std::filesystem::path& output);

}  // namespace zb::server
