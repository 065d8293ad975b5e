// e2e_bench: a result file of 100,000 answers from the concentrator simulator through the real
// link server and the importers, beside the same file applied in process, in the same run.
//
// Each round applies the file twice, against a database of 100,000 measuring points (BigData
// emptied before each):
// - in process: the importers' handler (the one the server installs) called with the bytes in
//   memory, then once more the same steps by hand with a stamp before the commit, and the XML
//   tokenizer alone over the text: that splits the handling into parse, store and commit;
// - over TCP: the link server of this process (the importers' handler installed, wrapped to stamp
//   its start and end) and the simulator as a child process sending the file from its outbox.
//   From the server's log and the stamps: transfer (handshake to the last block received),
//   hand-over (the spool file mapped; a result file is not flushed: SQLite commits its rows),
//   handling, and from handshake to the handler's end.
// The ratio per round is the in-process handling time over the time from handshake to the end
// of handling over TCP; min / median / max of the rounds are printed.
//
// Usage: e2e_bench [--rounds 5] [--meters 10000] [--dir D]   (D defaults to the temp folder)
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "../link_server_run.h"
#include "../result_file_data.h"
#include "../spawn.h"
#include "devices/catalogue.h"
#include "inbound/inbound_context.h"
#include "inbound/received_file_processor.h"
#include "inbound/result_file.h"
#include "link/link_server.h"
#include "link/mirror.h"
#include "storage/schema.h"
#include "storage/sqlite_database.h"
#include "xml/xml_tree.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using zb::bench::kMeters;

double Ms(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

// The processor time of the calling thread: unlike the wall time, it does not grow while other
// programs of the machine hold the processor.
double ThreadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

// Page faults of the calling thread so far (a first touch of memory or of a mapped file).
double ThreadFaults() {
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    return static_cast<double>(usage.ru_minflt + usage.ru_majflt);
}

void EmptyResults() {
    auto& db = zb::storage::Database();
    db.ExecuteSql("DELETE from BigData");
    db.ExecuteSql(std::string("DELETE from ") + zb::storage::kProcessedResultFileTable);
}

int64_t StoredAnswers() {
    return zb::storage::Database().QueryTable("SELECT count(*) from BigData")->FieldInt64(0);
}

// The importers' handler with a stamp at its start and end.
class StampedHandler : public zb::link::ReceivedFileHandler {
  public:
    explicit StampedHandler(const fs::path& dir) : inner_(dir) {}
    void HandleReceivedFile(const zb::link::ReceivedFile& file) override {
        start = Clock::now();
        const double cpuStart = ThreadCpuMs();
        const double faultsStart = ThreadFaults();
        inner_.HandleReceivedFile(file);
        cpuMs = ThreadCpuMs() - cpuStart;
        faults = ThreadFaults() - faultsStart;
        end = Clock::now();
    }
    Clock::time_point start, end;
    double cpuMs = 0, faults = 0;

  private:
    zb::inbound::ReceivedFileProcessor inner_;
};

struct InProcess {
    double handlerMs, handlerCpuMs, faults, parseMs, storeMs, commitMs;
};

InProcess ApplyInProcess(const fs::path& dir, const std::string& results, int round) {
    zb::link::ReceivedFile file;
    file.ctrId = "00A1";
    file.fileName = "r-" + std::to_string(round) + ".xml";
    file.linkPath = "ROOT\\WORK\\OUTBOX\\" + file.fileName;
    file.kind = zb::link::ReceivedKind::Result;
    file.mirrorDir = zb::link::MirrorDir(dir, "00A1");
    file.mirrorPath = *zb::link::MapLinkPath(file.mirrorDir, file.linkPath);
    file.bytes = results;
    InProcess figures{};
    EmptyResults();
    zb::inbound::ReceivedFileProcessor processor(dir);
    auto start = Clock::now();
    const double cpuStart = ThreadCpuMs();
    const double faultsStart = ThreadFaults();
    processor.HandleReceivedFile(file);
    figures.handlerCpuMs = ThreadCpuMs() - cpuStart;
    figures.faults = ThreadFaults() - faultsStart;
    figures.handlerMs = Ms(start, Clock::now());

    // The same steps by hand, with a stamp before the commit.
    EmptyResults();
    auto& db = zb::storage::Database();
    start = Clock::now();
    {
        zb::inbound::InboundContext context(db, dir);
        zb::storage::TSQLiteTransaction transaction(db);
        zb::inbound::ProcessResultText(context, results, file.ctrId);
        const auto beforeCommit = Clock::now();
        transaction.Commit();
        figures.commitMs = Ms(beforeCommit, Clock::now());
        figures.storeMs = Ms(start, beforeCommit);
    }
    // Parsing alone: every token cut and every tag's attributes read, nothing applied.
    start = Clock::now();
    zb::xml::TXMLTokenizer tokenizer(std::string_view(results), true);
    zb::xml::TXMLParams params;
    size_t tags = 0;
    for (auto kind = tokenizer.Next(); kind != zb::xml::TXMLTokenKind::EndOfInput;
         kind = tokenizer.Next()) {
        if (kind == zb::xml::TXMLTokenKind::StartTag ||
            kind == zb::xml::TXMLTokenKind::EmptyElementTag) {
            tokenizer.TagParams(params);
            ++tags;
        }
    }
    figures.parseMs = Ms(start, Clock::now());
    figures.storeMs -= figures.parseMs;
    if (tags < static_cast<size_t>(kMeters)) {
        std::fprintf(stderr, "the tokenizer saw only %zu tags\n", tags);
        std::exit(1);
    }
    return figures;
}

struct OverTcp {
    double transferMs, handOverMs, handlerMs, handlerCpuMs, faults, totalMs;
};

OverTcp ApplyOverTcp(zb::link::LinkServer& server, StampedHandler& handler, const fs::path& work,
                     const std::string& results, int round) {
    const fs::path send = work / "send";
    fs::remove_all(send);
    zb::bench::WriteText(
        send / "ROOT" / "WORK" / "OUTBOX" / ("r-" + std::to_string(round) + ".xml"), results);
    EmptyResults();
    zb::bench::LogStamps stamps("  -->  ");  // the last block received
    int status = 0;
    {
        zb::bench::Ticker ticker(server);
        const pid_t pid = zb::bench::SpawnWithOutput(
            {ZB_CTR_SIM_PATH, "--port", std::to_string(server.Port()), "--id", "00A1", "--root",
             (work / "ctr").string(), "--send-from", send.string(), "--no-store", "--quiet"},
            work / "sim.out");
        waitpid(pid, &status, 0);
    }
    stamps.Stop();
    const auto& handshake = stamps.handshake;
    const auto& received = stamps.marked;
    if (status != 0 || !handshake || !received || StoredAnswers() == 0) {
        std::ifstream out(work / "sim.out");
        std::fprintf(stderr, "transfer failed:\n%s\n",
                     std::string(std::istreambuf_iterator<char>(out), {}).c_str());
        std::exit(1);
    }
    return OverTcp{Ms(*handshake, *received),
                   Ms(*received, handler.start),
                   Ms(handler.start, handler.end),
                   handler.cpuMs,
                   handler.faults,
                   Ms(*handshake, handler.end)};
}

// Min / median / max of a column of figures.
std::string Spread(std::vector<double> values, const char* format) {
    std::sort(values.begin(), values.end());
    char text[96];
    std::snprintf(text, sizeof text, format, values.front(), values[values.size() / 2],
                  values.back());
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    int rounds = 5;
    int meters = kMeters;
    fs::path base = fs::temp_directory_path();
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string name = argv[i];
        if (name == "--rounds")
            rounds = std::max(1, std::atoi(argv[i + 1]));
        else if (name == "--meters")
            meters = std::max(1, std::atoi(argv[i + 1]));
        else if (name == "--dir")
            base = argv[i + 1];
    }
    const fs::path work = base / ("zb-e2e-bench-" + std::to_string(getpid()));
    const fs::path dir = work / "program";
    fs::remove_all(work);
    fs::create_directories(dir);
    zb::bench::PrepareProgramDir(dir);
    zb::devices::LoadCatalogue(dir);
    bool created = false;
    zb::storage::SetDatabase(
        zb::storage::OpenProgramDatabase((dir / "ZarnicBox.db").string(), created));
    zb::bench::AddMeasuringPoints(zb::storage::Database());
    const std::string results = zb::bench::ResultFile(meters);

    auto handler = std::make_shared<StampedHandler>(dir);
    zb::link::LinkServer server(dir, 0);
    server.SetReceivedFileHandler(handler);
    zb::bench::ClockAlreadySet(server, "00A1");
    server.Start();

    ApplyInProcess(dir, results, -1);  // warm-up: the database file grows to its size once
    std::vector<double> inHandler, inCpu, parse, store, commit, transfer, handOver, tcpHandler,
        tcpCpu, total, ratio, inFaults, tcpFaults;
    int64_t answers = 0;
    for (int round = 0; round < rounds; ++round) {
        // Alternate which way goes first, so that neither always meets a warmer cache.
        InProcess in{};
        OverTcp tcp{};
        if (round % 2 == 0) {
            in = ApplyInProcess(dir, results, round);
            answers = StoredAnswers();
            tcp = ApplyOverTcp(server, *handler, work, results, round);
        } else {
            tcp = ApplyOverTcp(server, *handler, work, results, round);
            in = ApplyInProcess(dir, results, round);
            answers = StoredAnswers();
        }
        inHandler.push_back(in.handlerMs);
        inCpu.push_back(in.handlerCpuMs);
        tcpCpu.push_back(tcp.handlerCpuMs);
        inFaults.push_back(in.faults);
        tcpFaults.push_back(tcp.faults);
        parse.push_back(in.parseMs);
        store.push_back(in.storeMs);
        commit.push_back(in.commitMs);
        transfer.push_back(tcp.transferMs);
        handOver.push_back(tcp.handOverMs);
        tcpHandler.push_back(tcp.handlerMs);
        total.push_back(tcp.totalMs);
        ratio.push_back(100 * in.handlerMs / tcp.totalMs);
    }
    server.Stop();

    double load[3] = {};
    if (getloadavg(load, 3) < 0)
        load[0] = -1;
    const char* ms = "%8.0f / %8.0f / %8.0f ms";
    std::printf("result file of %lld answers (%.1f MB), %d rounds in %s, load average %.1f\n",
                static_cast<long long>(answers), results.size() / 1e6, rounds, base.c_str(),
                load[0]);
    std::printf("                                        min /      median /    max\n");
    std::printf("in process, the importers' handler:  %s\n", Spread(inHandler, ms).c_str());
    std::printf("  its processor time                 %s\n", Spread(inCpu, ms).c_str());
    std::printf("  its page faults                    %s\n",
                Spread(inFaults, "%8.0f / %8.0f / %8.0f").c_str());
    std::printf("  parse (tokenizer alone)            %s\n", Spread(parse, ms).c_str());
    std::printf("  store (the rest before the commit) %s\n", Spread(store, ms).c_str());
    std::printf("  commit                             %s\n", Spread(commit, ms).c_str());
    std::printf("over TCP, handshake to handled:      %s\n", Spread(total, ms).c_str());
    std::printf("  transfer (to the last block)       %s\n", Spread(transfer, ms).c_str());
    std::printf("  hand-over (map)                    %s\n", Spread(handOver, ms).c_str());
    std::printf("  the importers' handler             %s\n", Spread(tcpHandler, ms).c_str());
    std::printf("  its processor time                 %s\n", Spread(tcpCpu, ms).c_str());
    std::printf("  its page faults                    %s\n",
                Spread(tcpFaults, "%8.0f / %8.0f / %8.0f").c_str());
    std::vector<double> inRate, tcpRate;
    for (size_t r = 0; r < total.size(); ++r) {
        inRate.push_back(answers / inHandler[r] * 1000);
        tcpRate.push_back(answers / total[r] * 1000);
    }
    const char* rate = "%8.0f / %8.0f / %8.0f answers/s";
    std::printf("in process:                          %s\n", Spread(inRate, rate).c_str());
    std::printf("over TCP:                            %s\n", Spread(tcpRate, rate).c_str());
    std::printf("over TCP / in process, per round:    %s (aim: 80 %%)\n",
                Spread(ratio, "%8.0f %% / %8.0f %% / %8.0f %%").c_str());
    zb::storage::SetDatabase(nullptr);
    fs::remove_all(work);
    return 0;
}
