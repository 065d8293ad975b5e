// Figures of the concentrator link.
//
//   link_bench transfer [--mb 10] [--runs 3] [--dir D]
//     One file of that size through the whole server (inbox, sync object, frames, loopback TCP)
//     to the concentrator simulator, timed from the handshake to the log line of the last
//     acknowledged block; beside it the same bytes as a bare stop-and-wait transfer (blocks of
//     60036 bytes, each answered with 24 bytes) over a plain loopback TCP connection in this
//     program. The ratio of the two is the figure.
//
//   link_bench load --count N [--kb 100] [--tick-ms 40] [--dir D]
//     N concentrators at once (the simulator in load mode): each receives one file of that size
//     and sends a small meter list. Prints the wall time, failures, the peak number of
//     connections and the server's peak resident memory (this process holds only the server;
//     the simulator is a child process). Ticks come every tick-ms instead of every second so
//     that the close countdowns do not dominate the time. The handshake rule counts ticks too
//     (30 of them): with 10 ms ticks a loaded machine does not answer every handshake of 1,000
//     connections in 0.3 s, and the server closes those connections as it should.
//
// The working directory defaults to /dev/shm (memory-backed) when it exists.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "link/frame.h"
#include "link/link_server.h"
#include "link/mirror.h"

#include "../link_server_run.h"
#include "../spawn.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using namespace zb::link;
using zb::bench::ClockAlreadySet;
using zb::bench::Ticker;
using Clock = std::chrono::steady_clock;

struct Args {
    std::string mode;
    double mb = 10;
    int runs = 3;
    int count = 1000;
    int kb = 100;
    int tickMs = 40;
    fs::path dir;
};

fs::path MakeWorkDir(const fs::path& base) {
    std::string pattern = (base / "zb-link-bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        std::perror("mkdtemp");
        std::exit(1);
    }
    return pattern;
}

void WriteBytes(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Runs the simulator; its standard output goes to `output` (a file), returns the exit status.
int RunSimulator(const std::vector<std::string>& args, const fs::path& output) {
    std::vector<std::string> all = {ZB_CTR_SIM_PATH};
    all.insert(all.end(), args.begin(), args.end());
    const pid_t pid = zb::bench::SpawnWithOutput(std::move(all), output);
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::string ReadText(const fs::path& path) {
    std::ifstream in(path);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

double ServerTransferSeconds(const fs::path& work, const std::string& bytes) {
    const fs::path programDir = work / "program";
    fs::create_directories(programDir);
    LinkServer server(programDir, 0);
    server.Start();
    CreateMirrorFolders(programDir, "0001");
    ClockAlreadySet(server, "0001");
    WriteBytes(MirrorInbox(programDir, "0001") / "big.xml", bytes);

    zb::bench::LogStamps stamps("  <--  ");  // the last block delivered
    int status = 0;
    {
        Ticker ticker(server);
        status = RunSimulator({"--port", std::to_string(server.Port()), "--id", "0001", "--root",
                               (work / "ctr").string(), "--no-store", "--quiet"},
                              work / "sim.out");
    }
    stamps.Stop();
    server.Stop();
    fs::remove_all(programDir);
    if (status != 0 || !stamps.handshake || !stamps.marked) {
        std::fprintf(stderr, "transfer failed:\n%s\n", ReadText(work / "sim.out").c_str());
        std::exit(1);
    }
    return std::chrono::duration<double>(*stamps.marked - *stamps.handshake).count();
}

void ReadAll(int fd, uint8_t* data, size_t size) {
    while (size > 0) {
        const ssize_t n = ::recv(fd, data, size, 0);
        if (n <= 0) {
            std::perror("recv");
            std::exit(1);
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
}

void WriteAll(int fd, const uint8_t* data, size_t size) {
    while (size > 0) {
        const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
        if (n <= 0) {
            std::perror("send");
            std::exit(1);
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
}

// The same bytes, stop-and-wait in blocks of 60000 data bytes, nothing else. The receiving end
// is a thread of this program, or with `twoProcesses` a child process, as the simulator is.
double BareTransferSeconds(const std::string& bytes, bool twoProcesses) {
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(listener, 1);
    socklen_t length = sizeof address;
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    const int client = ::socket(AF_INET, SOCK_STREAM, 0);
    ::connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address);
    const int server = ::accept(listener, nullptr, nullptr);
    const int one = 1;
    ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    ::setsockopt(server, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);

    const size_t blocks = (bytes.size() + kMaxBlockData - 1) / kMaxBlockData;
    auto receive = [&] {
        std::vector<uint8_t> frame(kMaxSentFrame);
        uint8_t answer[kAnswerSize] = {};
        for (size_t b = 0; b < blocks; ++b) {
            const size_t data = std::min(kMaxBlockData, bytes.size() - b * kMaxBlockData);
            ReadAll(client, frame.data(), 36 + ((data + 3) & ~size_t{3}));
            WriteAll(client, answer, sizeof answer);
        }
    };
    std::thread receiver;
    pid_t child = -1;
    if (twoProcesses) {
        child = ::fork();
        if (child == 0) {
            receive();
            ::_exit(0);
        }
    } else {
        receiver = std::thread(receive);
    }
    const auto start = Clock::now();
    std::vector<uint8_t> frame(kMaxSentFrame);
    uint8_t answer[kAnswerSize];
    for (size_t b = 0; b < blocks; ++b) {
        const size_t data = std::min(kMaxBlockData, bytes.size() - b * kMaxBlockData);
        std::memcpy(frame.data() + 36, bytes.data() + b * kMaxBlockData, data);
        WriteAll(server, frame.data(), 36 + ((data + 3) & ~size_t{3}));
        ReadAll(server, answer, sizeof answer);
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (twoProcesses) {
        waitpid(child, nullptr, 0);
    } else {
        receiver.join();
    }
    ::close(client);
    ::close(server);
    ::close(listener);
    return seconds;
}

int Transfer(const Args& args) {
    const fs::path work = MakeWorkDir(args.dir);
    const size_t size = static_cast<size_t>(args.mb * 1024 * 1024);
    std::string bytes(size, '\0');
    uint32_t x = 12345;
    for (char& c : bytes) {
        x = x * 1103515245 + 12345;
        c = static_cast<char>(x >> 24);
    }
    fs::create_directories(work / "ctr");
    std::vector<double> serverRuns, bareRuns, forkRuns;
    for (int run = 0; run < args.runs; ++run) {
        serverRuns.push_back(ServerTransferSeconds(work, bytes));
        bareRuns.push_back(BareTransferSeconds(bytes, false));
        forkRuns.push_back(BareTransferSeconds(bytes, true));
    }
    fs::remove_all(work);
    // Each round's ratio compares two transfers taken one right after the other, so a change of
    // the machine's load between rounds moves both.
    std::vector<double> ratios, forkRatios;
    for (size_t run = 0; run < serverRuns.size(); ++run) {
        ratios.push_back(bareRuns[run] / serverRuns[run]);
        forkRatios.push_back(forkRuns[run] / serverRuns[run]);
    }
    for (auto* figures : {&serverRuns, &bareRuns, &forkRuns, &ratios, &forkRatios}) {
        std::sort(figures->begin(), figures->end());
    }
    const double mb = static_cast<double>(size) / (1024 * 1024);
    auto rates = [mb](const std::vector<double>& seconds) {
        char text[96];
        std::snprintf(text, sizeof text, "%7.1f / %7.1f / %7.1f MB/s", mb / seconds.back(),
                      mb / seconds[seconds.size() / 2], mb / seconds.front());
        return std::string(text);
    };
    auto percents = [](const std::vector<double>& values) {
        char text[96];
        std::snprintf(text, sizeof text, "%5.0f %% / %5.0f %% / %5.0f %%", 100 * values.front(),
                      100 * values[values.size() / 2], 100 * values.back());
        return std::string(text);
    };
    double load[3] = {};
    if (getloadavg(load, 3) < 0) {
        load[0] = -1;
    }
    std::printf(
        "transfer of %.1f MB in %s, %d rounds, each the server then the bare transfers, load "
        "average %.1f\n",
        mb, work.parent_path().c_str(), args.runs, load[0]);
    std::printf("                                         min / median / max\n");
    std::printf("  server to simulator:                   %s\n", rates(serverRuns).c_str());
    std::printf("  bare stop-and-wait, two threads:       %s\n", rates(bareRuns).c_str());
    std::printf("  bare stop-and-wait, two processes:     %s\n", rates(forkRuns).c_str());
    std::printf("  ratio per round to two threads:        %s (aim: 40 %%)\n",
                percents(ratios).c_str());
    std::printf("  ratio per round to two processes:      %s\n", percents(forkRatios).c_str());
    return 0;
}

long PeakRssKb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

int Load(const Args& args) {
    const fs::path work = MakeWorkDir(args.dir);
    const fs::path programDir = work / "program";
    const std::string file(static_cast<size_t>(args.kb) * 1024, 'w');
    LinkServer server(programDir, 0);
    server.Start();
    for (int i = 0; i < args.count; ++i) {
        const std::string id = CtrIdText(static_cast<uint32_t>(0x10000 + i));
        CreateMirrorFolders(programDir, id);
        WriteBytes(MirrorInbox(programDir, id) / "w-1.xml", file);
        ClockAlreadySet(server, id);
    }
    fs::create_directories(work / "send/ROOT/INFO/METERS");
    std::string meters = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<meters>\r\n";
    for (int m = 0; m < 20; ++m) {
        meters += "  <meter Addr=\"" + std::to_string(10000000 + m) + "\" Syntax=\"M-230\"/>\r\n";
    }
    meters += "</meters>\r\n";
    WriteBytes(work / "send/ROOT/INFO/METERS/meters.xml", meters);

    const long rssBefore = PeakRssKb();
    const auto start = Clock::now();
    int status = 0;
    size_t peak = 0;
    {
        Ticker ticker(server, args.tickMs);
        status = RunSimulator(
            {"--port", std::to_string(server.Port()), "--id", "10000", "--count",
             std::to_string(args.count), "--root", (work / "ctr").string(), "--send-from",
             (work / "send").string(), "--no-store", "--quiet", "--timeout", "900"},
            work / "sim.out");
        peak = ticker.Peak();
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const std::string simOut = ReadText(work / "sim.out");
    server.Stop();
    size_t leftInInboxes = 0;
    for (int i = 0; i < args.count; ++i) {
        const std::string id = CtrIdText(static_cast<uint32_t>(0x10000 + i));
        leftInInboxes += fs::exists(MirrorInbox(programDir, id) / "w-1.xml") ? 1 : 0;
    }
    fs::remove_all(work);
    std::printf("%d concentrators at once, %d KB to each, a %zu-byte meter list from each\n",
                args.count, args.kb, meters.size());
    std::printf("  wall time:              %.2f s (ticks every %d ms)\n", seconds, args.tickMs);
    std::printf("  simulator exit status:  %d\n", status);
    std::printf("  files in|out:           %d|%d, inbox files left %zu\n", server.FilesIn(),
                server.FilesOut(), leftInInboxes);
    std::printf("  peak connections:       %zu\n", peak);
    std::printf("  server peak RSS:        %.1f MB (%.1f MB before the load)\n",
                PeakRssKb() / 1024.0, rssBefore / 1024.0);
    std::printf("  simulator says:\n%s", simOut.c_str());
    return status == 0 && server.FilesIn() == args.count && server.FilesOut() == args.count ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    Args args;
    std::error_code ec;
    args.dir = fs::is_directory("/dev/shm", ec) ? fs::path("/dev/shm") : fs::temp_directory_path();
    if (argc < 2) {
        std::fputs(
            "usage: link_bench transfer [--mb 10] [--runs 3] [--dir D]\n"
            "       link_bench load --count N [--kb 100] [--tick-ms 40] [--dir D]\n",
            stderr);
        return 2;
    }
    args.mode = argv[1];
    for (int i = 2; i + 1 < argc; i += 2) {
        const std::string name = argv[i];
        const char* value = argv[i + 1];
        if (name == "--mb")
            args.mb = std::atof(value);
        else if (name == "--runs")
            args.runs = std::max(1, std::atoi(value));
        else if (name == "--count")
            args.count = std::max(1, std::atoi(value));
        else if (name == "--kb")
            args.kb = std::max(0, std::atoi(value));
        else if (name == "--tick-ms")
            args.tickMs = std::max(1, std::atoi(value));
        else if (name == "--dir")
            args.dir = value;
    }
    if (args.mode == "transfer")
        return Transfer(args);
    if (args.mode == "load")
        return Load(args);
    std::fprintf(stderr, "unknown mode %s\n", args.mode.c_str());
    return 2;
}
