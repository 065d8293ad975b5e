#include "server/runtime.h"

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <mutex>
#include <sstream>
#include <thread>

#include "admin/network_state.h"
#include "base/log.h"
#include "base/program.h"
#include "devices/catalogue.h"
#include "inbound/received_file_processor.h"
#include "link/link_server.h"
#include "server/session_log.h"
#include "stats/results_export.h"
#include "stats/work_stats.h"
#include "storage/schema.h"
#include "storage/sqlite_database.h"

namespace zb::server {

namespace fs = std::filesystem;

fs::path PrepareProgram(const fs::path& programDir) {
    fs::path dir = programDir.empty() ? base::ExecutableDir() : fs::absolute(programDir);
    base::SetProgram(base::MakeProgramInfo(dir));
    return dir;
}

void KeepExecutableCopy() {
    const auto& program = base::Program();
    const fs::path target =
        program.programDir / (program.productName + ".Rev." + program.versionText);
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    if (ec) {
        return;
    }
    if (fs::exists(target, ec)) {
        // A read-only copy is made writable first, then replaced.
        fs::permissions(target, fs::perms::owner_write, fs::perm_options::add, ec);
        fs::remove(target, ec);
    }
    fs::copy_file(self, target, fs::copy_options::overwrite_existing, ec);
}

Runtime::Runtime(RuntimeOptions options) : options_(std::move(options)) {}

Runtime::~Runtime() {
    // Connections still open end now, and their sessions are recorded in the database.
    if (link_) {
        link_->Stop();
    }
    storage::SetDatabase(nullptr);
}

void Runtime::OpenDatabase() {
    const std::string path = base::Program().databasePath().string();
    storage::SetDatabase(storage::OpenProgramDatabase(path, databaseCreated_));
}

void Runtime::LoadCatalogue(bool buildGroups) {
    devices::LoadCatalogue(base::Program().programDir, buildGroups);
}

uint64_t RaiseOpenFileLimit() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) {
        return 0;
    }
    if (limit.rlim_cur < limit.rlim_max) {
        rlimit raised = limit;
        raised.rlim_cur = limit.rlim_max;
        if (::setrlimit(RLIMIT_NOFILE, &raised) == 0) {
            limit = raised;
        }
    }
    return static_cast<uint64_t>(limit.rlim_cur);
}

void Runtime::StartLink() {
    RaiseOpenFileLimit();
    link_ = std::make_unique<link::LinkServer>(base::Program().programDir, options_.port);
    link_->SetReceivedFileHandler(std::make_shared<inbound::ReceivedFileProcessor>());
    if (storage::HasDatabase()) {
        for (auto& session : LoadLastCtrSessions(storage::Database())) {
            link_->SessionFigures().Restore(std::move(session));
        }
    }
    // One INSERT at the end of a session, on its connection thread, under the file lock so that
    // it never lands inside the transaction of a received file being imported.
    link_->SessionFigures().SetEndSink(
        [server = link_.get()](const link::CtrSessionFigures& ended) {
            try {
                server->RunUnderFileLock([&] {
                    if (storage::HasDatabase()) {
                        RecordCtrSession(storage::Database(), ended);
                    }
                });
            } catch (const std::exception& e) {
                base::LogLine("CtrID = " + ended.ctrId + ", сеанс не записан: " + e.what());
            }
        });
    link_->Start();
}

std::string Runtime::NetworkSummary() const {
    auto rows = admin::LoadNetworkState(storage::Database(), base::Program().programDir);
    if (link_) {
        admin::ApplySessions(rows, link_->SessionFigures().Snapshot());
    }
    return admin::NetworkSummaryText(admin::CountConnected(rows), static_cast<int>(rows.size()));
}

void Runtime::Tick() {
    if (link_) {
        link_->Tick();
    }
}

namespace {

// Every this many ticks a headless run logs the network summary.
constexpr int kSummaryTicks = 600;

void LogNetworkSummary(const Runtime& runtime) {
    try {
        base::LogLine(runtime.NetworkSummary());
    } catch (const std::exception& e) {
        base::LogLine(e.what());
    }
}

// Ticks once a second on its own thread until stopped; headless stand-in for the window timer.
// Every ten minutes it also logs the network summary.
class TickThread {
  public:
    explicit TickThread(Runtime& runtime)
        : thread_([this, &runtime] {
              std::unique_lock lock(mutex_);
              for (int ticks = 1; !stop_;) {
                  if (!wake_.wait_for(lock, std::chrono::seconds(1), [this] { return stop_; })) {
                      lock.unlock();
                      runtime.Tick();
                      if (ticks++ % kSummaryTicks == 0) {
                          LogNetworkSummary(runtime);
                      }
                      lock.lock();
                  }
              }
          }) {}
    ~TickThread() {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        wake_.notify_all();
        thread_.join();
    }

  private:
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stop_ = false;
    std::thread thread_;
};

}  // namespace

int RunHeadless(const RuntimeOptions& options) {
    // The signals are taken by sigwait below, never by a handler, so every thread must block
    // them; threads started later inherit the mask.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    base::SetLogSink([](const std::string& line) {
        std::fwrite(line.data(), 1, line.size(), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
    });

    int exitCode = 0;
    try {
        Runtime runtime(options);
        runtime.OpenDatabase();
        runtime.LoadCatalogue();
        runtime.StartLink();
        base::LogLine(base::Program().windowTitle + " headless, program directory " +
                      base::Program().programDir.string() + ", port " +
                      std::to_string(runtime.Link()->Port()));
        LogNetworkSummary(runtime);
        TickThread ticks(runtime);
        int received = 0;
        sigwait(&signals, &received);
        base::LogLine("Shutting down");
    } catch (const std::exception& e) {
        std::cerr << e.what() << std::endl;
        exitCode = 1;
    }
    base::SetLogSink(nullptr);
    return exitCode;
}

int RunExportWork(int64_t workUid, const std::filesystem::path& output) {
    const fs::path databasePath = base::Program().databasePath();
    std::error_code ec;
    // The export only reads: it never creates a database where there is none.
    if (!fs::exists(databasePath, ec)) {
        std::cerr << "zarnicbox: no database " << databasePath.string() << std::endl;
        return 1;
    }
    try {
        storage::TSQLiteDatabase db(databasePath.string());
        if (!stats::WorkExists(db, workUid)) {
            std::cerr << "zarnicbox: no work with UID " << workUid << std::endl;
            return 2;
        }
        if (output.empty()) {
            stats::ExportWorkCsv(db, workUid, std::cout);
            std::cout.flush();
            return std::cout ? 0 : 1;
        }
        std::ostringstream csv;
        stats::ExportWorkCsv(db, workUid, csv);
        std::ofstream file(output, std::ios::binary | std::ios::trunc);
        file << csv.str();
        file.close();
        if (!file) {
            std::cerr << "zarnicbox: cannot write " << output.string() << std::endl;
            return 1;
        }
        return 0;
    } catch (const std::exception& e) {
        std::cerr << "zarnicbox: " << e.what() << std::endl;
        return 1;
    }
}

}  // namespace zb::server
