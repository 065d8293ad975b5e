// Figures of the link under floods.
//
//   flood_bench idle [--count 5000] [--nofile 1024] [--dir D]
//     The headless server (a child process, its open-file limit set to --nofile, soft and hard)
//     with `count` idle connections that never name a concentrator, then one real concentrator
//     (the simulator) sending a meter list. Prints the time until the concentrator was served,
//     and the server's peak resident memory.
//
//   flood_bench announce [--count 10] [--mb 200] [--dir D]
//     The link server in this process; `count` concentrators at once each send a file of that
//     size (stop and wait, 60000-byte blocks) into their periodic folder. Prints the wall time,
//     the throughput and this process's peak resident memory (the clients share one block
//     buffer each; the files are spooled to disk by the server).
//
// The working directory defaults to the system's temporary folder (a disk, not memory).
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
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
using Clock = std::chrono::steady_clock;

struct Args {
    std::string mode;
    int count = 0;
    int nofile = 1024;
    int mb = 200;
    fs::path dir = fs::temp_directory_path();
};

fs::path MakeWorkDir(const fs::path& base) {
    std::string pattern = (base / "zb-flood-bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        std::perror("mkdtemp");
        std::exit(1);
    }
    return pattern;
}

void WriteBytes(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

pid_t Spawn(std::vector<std::string> args, const fs::path& output) {
    return zb::bench::SpawnWithOutput(std::move(args), output);
}

int WaitFor(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::string ReadText(const fs::path& path) {
    std::ifstream in(path);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// "VmHWM" of a process in MB: its peak resident memory.
double PeakRssMbOf(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::atof(line.c_str() + 6) / 1024.0;
        }
    }
    return 0;
}

void RaiseOwnLimit() {
    rlimit limit{};
    getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
}

int ConnectNonBlocking(uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        return -1;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    return fd;
}

int Idle(const Args& args) {
    const int count = args.count > 0 ? args.count : 5000;
    RaiseOwnLimit();
    const fs::path work = MakeWorkDir(args.dir);
    const fs::path programDir = work / "program";
    CreateMirrorFolders(programDir, "00A1");
    const std::string meters =
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<meters>\r\n"
        "  <meter address=\"0000000A\"/>\r\n</meters>\r\n";
    WriteBytes(work / "ctr/ROOT/INFO/METERS/meters.xml", meters);

    const pid_t server =
        Spawn({"/usr/bin/prlimit",
               "--nofile=" + std::to_string(args.nofile) + ":" + std::to_string(args.nofile),
               ZB_SERVER_PATH, "--headless", "--dir", programDir.string(), "--port", "0"},
              work / "server.out");
    uint16_t port = 0;
    for (int i = 0; i < 600 && port == 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        const std::string out = ReadText(work / "server.out");
        const size_t at = out.find(", port ");
        if (at != std::string::npos) {
            port = static_cast<uint16_t>(std::atoi(out.c_str() + at + 7));
        }
    }
    if (port == 0) {
        std::fprintf(stderr, "the server did not start\n");
        kill(server, SIGKILL);
        return 1;
    }

    std::vector<int> idle;
    for (int i = 0; i < count; ++i) {
        idle.push_back(ConnectNonBlocking(port));
    }
    const double rssIdle = PeakRssMbOf(server);
    const auto start = Clock::now();
    const pid_t sim = Spawn({ZB_CTR_SIM_PATH, "--port", std::to_string(port), "--id", "00A1",
                             "--root", (work / "ctr").string(), "--timeout", "900", "--quiet"},
                            work / "sim.out");
    const int simStatus = WaitFor(sim);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const double rssPeak = PeakRssMbOf(server);
    const bool stored = ReadText(programDir / "CTR/CTR_00A1/ROOT/INFO/METERS/meters.xml") == meters;
    for (const int fd : idle) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
    kill(server, SIGTERM);
    WaitFor(server);
    const std::string serverOut = ReadText(work / "server.out");
    size_t refusals = 0;
    for (size_t at = 0; (at = serverOut.find("Соединение не принято", at)) != std::string::npos;
         ++at) {
        ++refusals;
    }
    fs::remove_all(work);
    std::printf("%d idle connections, server open-file limit %d, then one real concentrator\n",
                count, args.nofile);
    std::printf("  time until the concentrator was served: %.1f s\n", seconds);
    std::printf("  simulator exit status:  %d, meter list stored: %s\n", simStatus,
                stored ? "yes" : "no");
    std::printf("  server peak RSS:        %.1f MB (%.1f MB once the idle ones were opened)\n",
                rssPeak, rssIdle);
    std::printf("  \"connection not accepted\" log lines: %zu\n", refusals);
    return simStatus == 0 && stored ? 0 : 1;
}

void ReadAll(int fd, uint8_t* data, size_t size) {
    while (size > 0) {
        const ssize_t n = ::recv(fd, data, size, 0);
        if (n <= 0) {
            throw std::runtime_error("connection ended");
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
}

void WriteAll(int fd, const uint8_t* data, size_t size) {
    while (size > 0) {
        const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
        if (n <= 0) {
            throw std::runtime_error("send failed");
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
}

// One concentrator sending one file of `size` bytes; true when every frame was accepted.
bool SendOneFile(uint16_t port, uint32_t id, size_t size) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        return false;
    }
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    bool ok = true;
    try {
        uint8_t answer[kAnswerSize];
        ReadAll(fd, answer, kAnswerSize);  // the handshake request
        std::vector<uint8_t> frame;
        BuildHandshakeAnswer(frame, id);
        WriteAll(fd, frame.data(), frame.size());
        auto request = [&](const std::vector<uint8_t>& bytes) {
            WriteAll(fd, bytes.data(), bytes.size());
            ReadAll(fd, answer, kAnswerSize);
            return answer[kOffStatus] == kStatusAccepted;
        };
        ok = request(
            (BuildFileNameRequest(frame, kNoLinkId, 7, "ROOT\\WORK\\PERIODIC\\big.xml"), frame));
        const std::vector<uint8_t> block(kMaxBlockData, 'p');
        for (size_t offset = 0; ok && offset < size; offset += kMaxBlockData) {
            const size_t length = std::min(kMaxBlockData, size - offset);
            BuildDataRequest(frame, kNoLinkId, 7, static_cast<uint32_t>(offset),
                             static_cast<uint32_t>(size), block.data(), length);
            ok = request(frame);
        }
        ok = ok && request((BuildFileNameRequest(frame, kNoLinkId, 8, ""), frame));
    } catch (const std::exception&) {
        ok = false;
    }
    ::close(fd);
    return ok;
}

int Announce(const Args& args) {
    const int count = args.count > 0 ? args.count : 10;
    const size_t size = static_cast<size_t>(args.mb) << 20;
    const fs::path work = MakeWorkDir(args.dir);
    const fs::path programDir = work / "program";
    LinkServer server(programDir, 0);
    server.Start();
    for (int i = 0; i < count; ++i) {
        const std::string id = CtrIdText(static_cast<uint32_t>(0x0A00 + i));
        CreateMirrorFolders(programDir, id);
        zb::bench::ClockAlreadySet(server, id);
    }
    rusage before{};
    getrusage(RUSAGE_SELF, &before);
    std::atomic<int> served{0};
    const auto start = Clock::now();
    std::vector<std::thread> clients;
    for (int i = 0; i < count; ++i) {
        clients.emplace_back([&, i] {
            served += SendOneFile(server.Port(), static_cast<uint32_t>(0x0A00 + i), size) ? 1 : 0;
        });
    }
    for (auto& client : clients) {
        client.join();
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    rusage after{};
    getrusage(RUSAGE_SELF, &after);
    size_t stored = 0;
    for (int i = 0; i < count; ++i) {
        std::error_code ec;
        const auto bytes =
            fs::file_size(MirrorDir(programDir, CtrIdText(static_cast<uint32_t>(0x0A00 + i))) /
                              "ROOT/WORK/PERIODIC/big.xml",
                          ec);
        stored += !ec && bytes == size ? 1 : 0;
    }
    server.Stop();
    fs::remove_all(work);
    std::printf("%d concentrators at once, each sending %d MB\n", count, args.mb);
    std::printf("  wall time:              %.1f s, %.0f MB/s together\n", seconds,
                count * args.mb / seconds);
    std::printf("  files accepted|stored:  %d|%zu\n", served.load(), stored);
    std::printf("  peak RSS (server and clients): %.1f MB (%.1f MB before)\n",
                after.ru_maxrss / 1024.0, before.ru_maxrss / 1024.0);
    return served == count && stored == static_cast<size_t>(count) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    Args args;
    if (argc < 2) {
        std::fputs(
            "usage: flood_bench idle [--count 5000] [--nofile 1024] [--dir D]\n"
            "       flood_bench announce [--count 10] [--mb 200] [--dir D]\n",
            stderr);
        return 2;
    }
    args.mode = argv[1];
    for (int i = 2; i + 1 < argc; i += 2) {
        const std::string name = argv[i];
        const char* value = argv[i + 1];
        if (name == "--count")
            args.count = std::max(1, std::atoi(value));
        else if (name == "--nofile")
            args.nofile = std::max(16, std::atoi(value));
        else if (name == "--mb")
            args.mb = std::max(1, std::atoi(value));
        else if (name == "--dir")
            args.dir = value;
    }
    if (args.mode == "idle")
        return Idle(args);
    if (args.mode == "announce")
        return Announce(args);
    std::fprintf(stderr, "unknown mode %s\n", args.mode.c_str());
    return 2;
}
