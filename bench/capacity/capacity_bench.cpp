// capacity_bench: how many concentrators one server holds connected at once, and what the
// network state costs at that size.
//
//   capacity_bench hold --count N [--dir D]
//     N simulated concentrators connect and stay connected (the close countdowns are not ticked
//     until every one is in): the time until the link's session registry counts all N, the
//     server's resident memory and threads while it holds them, and the cost of the network
//     state page's one-second refresh at that size (one read of the registry, merged into N
//     rows). Then the countdowns run out, every connection closes, and the simulator must end
//     without a failure.
//
// The working directory defaults to /dev/shm (memory-backed) when it exists. Answers per second
// and the database's growth per answer come from inbound_bench.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "admin/network_state.h"
#include "base/clock.h"
#include "link/link_server.h"
#include "link/mirror.h"

#include "../spawn.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using namespace zb::link;
using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// A figure of /proc/self/status ("VmRSS", "Threads"), as its number.
long StatusFigure(const std::string& name) {
    std::ifstream in("/proc/self/status");
    for (std::string line; std::getline(in, line);) {
        if (line.rfind(name + ":", 0) == 0) {
            return std::atol(line.c_str() + name.size() + 1);
        }
    }
    return 0;
}

int CountConnected(const std::vector<CtrSessionFigures>& sessions) {
    return static_cast<int>(std::count_if(sessions.begin(), sessions.end(),
                                          [](const auto& s) { return s.connected(); }));
}

pid_t SpawnSimulator(const std::vector<std::string>& args, const fs::path& output) {
    std::vector<std::string> all = {ZB_CTR_SIM_PATH};
    all.insert(all.end(), args.begin(), args.end());
    return zb::bench::SpawnWithOutput(std::move(all), output);
}

int Hold(int count, const fs::path& base) {
    rlimit files{};
    getrlimit(RLIMIT_NOFILE, &files);
    files.rlim_cur = files.rlim_max;
    setrlimit(RLIMIT_NOFILE, &files);

    std::string pattern = (base / "zb-capacity-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const fs::path work = pattern;
    const fs::path programDir = work / "program";
    LinkServer server(programDir, 0);
    server.Start();
    const std::string clockKey =
        std::to_string(zb::base::RoundHalfEven(zb::base::ToDateTime(zb::base::LocalNow())));
    std::vector<zb::admin::NetworkStateRow> rows;
    for (int i = 0; i < count; ++i) {
        const std::string id = CtrIdText(static_cast<uint32_t>(0x10000 + i));
        CreateMirrorFolders(programDir, id);
        // The clock is set already: nothing waits to be sent, the connection idles.
        server.SetClockKey(id, clockKey);
        zb::admin::NetworkStateRow row;
        row.uid = i + 1;
        row.id = id;
        rows.push_back(std::move(row));
    }
    fs::create_directories(work / "send/ROOT");
    const long rssBefore = StatusFigure("VmRSS");

    const auto start = Clock::now();
    const pid_t sim =
        SpawnSimulator({"--port", std::to_string(server.Port()), "--id", "10000", "--count",
                        std::to_string(count), "--root", (work / "ctr").string(), "--send-from",
                        (work / "send").string(), "--no-store", "--quiet", "--timeout", "900"},
                       work / "sim.out");
    int connected = 0;
    while (Seconds(start) < 600) {
        connected = CountConnected(server.SessionFigures().Snapshot());
        if (connected == count) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    const double allIn = Seconds(start);
    const long rssHeld = StatusFigure("VmRSS");
    const long threads = StatusFigure("Threads");

    // The page's one-second refresh at this size: one read of the registry, merged into the rows.
    constexpr int kRefreshes = 20;
    const auto refreshStart = Clock::now();
    int shown = 0;
    for (int r = 0; r < kRefreshes; ++r) {
        zb::admin::ApplySessions(rows, server.SessionFigures().Snapshot());
        shown = zb::admin::CountConnected(rows);
    }
    const double refreshMs = Seconds(refreshStart) * 1000 / kRefreshes;

    // The countdowns run out: every connection closes.
    for (int tick = 0; tick < 6; ++tick) {
        server.Tick();
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    const auto closeStart = Clock::now();
    int status = 0;
    waitpid(sim, &status, 0);
    const int exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    // Every connection thread ends its session as it finishes.
    int left = count;
    while ((left = CountConnected(server.SessionFigures().Snapshot())) > 0 &&
           Seconds(closeStart) < 120) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    const double allOut = Seconds(closeStart);
    server.Stop();
    std::ifstream simOut(work / "sim.out");
    const std::string simText((std::istreambuf_iterator<char>(simOut)),
                              std::istreambuf_iterator<char>());
    fs::remove_all(work);

    std::printf("%d concentrators held connected at once\n", count);
    std::printf("  all connected after:      %.2f s (%d of %d)\n", allIn, connected, count);
    std::printf("  server RSS while held:    %.1f MB (%.1f MB before), %.1f KB per connection\n",
                rssHeld / 1024.0, rssBefore / 1024.0,
                static_cast<double>(rssHeld - rssBefore) / std::max(1, count));
    std::printf("  server threads:           %ld\n", threads);
    std::printf(
        "  network state refresh:    %.2f ms (registry read + merge into %d rows, %d shown "
        "connected)\n",
        refreshMs, count, shown);
    std::printf(
        "  after the countdowns:     %d still connected after %.2f s, simulator exit "
        "status %d\n",
        left, allOut, exitCode);
    std::printf("  simulator says:\n%s", simText.c_str());
    return connected == count && left == 0 && exitCode == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    std::error_code ec;
    fs::path dir =
        fs::is_directory("/dev/shm", ec) ? fs::path("/dev/shm") : fs::temp_directory_path();
    int count = 1000;
    if (argc < 2 || std::string(argv[1]) != "hold") {
        std::fputs("usage: capacity_bench hold --count N [--dir D]\n", stderr);
        return 2;
    }
    for (int i = 2; i + 1 < argc; i += 2) {
        const std::string name = argv[i];
        if (name == "--count") {
            count = std::max(1, std::atoi(argv[i + 1]));
        } else if (name == "--dir") {
            dir = argv[i + 1];
        }
    }
    return Hold(count, dir);
}
