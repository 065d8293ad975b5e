#include "link/service_command.h"

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <random>
#include <system_error>

#include "base/program.h"
#include "link/mirror.h"
#include "xml/xml_tree.h"

namespace zb::link {
namespace fs = std::filesystem;

std::string ServiceCommandText(const std::vector<std::string>& requestLines) {
    xml::TECXMLParser document;
    xml::TXMLItem* root = document.Root();
    root->SetName("root");
    xml::TXMLItem* workUid = root->New();
    workUid->SetName("workUID");
    workUid->Params().Add("Value", "0");
    xml::TXMLItem* command = root->New();
    command->SetName("command");
    xml::TXMLItem* req = command->New();
    req->SetName("req");
    for (const std::string& line : requestLines) {
        req->Params().AddLine(line);
    }
    // Text inside the server is already UTF-8, so the code-page step is the identity.
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n" + root->AsString(0) + "\r\n";
}

void WriteFileAtomically(const fs::path& target, const std::string& bytes) {
    static std::atomic<uint64_t> counter{0};
    // A name that no "*.xml" search matches, unique among the writers of this process.
    const fs::path temp = target.parent_path() /
                          (".~" + target.filename().string() + "." + std::to_string(::getpid()) +
                           "-" + std::to_string(counter.fetch_add(1)) + ".tmp");
    std::FILE* f = std::fopen(temp.c_str(), "wb");
    if (f == nullptr) {
        throw EInOutError("Cannot create file \"" + target.string() + "\". " +
                          std::strerror(errno));
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    const int savedErrno = errno;
    const bool closed = std::fclose(f) == 0;
    if (!written || !closed) {
        std::remove(temp.c_str());
        throw EInOutError("Cannot write file \"" + target.string() + "\". " +
                          std::strerror(written ? errno : savedErrno));
    }
    if (std::rename(temp.c_str(), target.c_str()) != 0) {
        const int renameErrno = errno;
        std::remove(temp.c_str());
        throw EInOutError("Cannot create file \"" + target.string() + "\". " +
                          std::strerror(renameErrno));
    }
}

namespace {

// A name that stays inside its folder: no separator, no NUL, not "." or "..". A meter address or
// an ID read from the database names files here, and what a concentrator reported must never
// steer a write out of the mirror inbox.
bool IsPlainName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of(std::string("/\\:\0", 4)) == std::string::npos;
}

}  // namespace

void WriteInboxFile(const fs::path& programDir, const std::string& ctrId,
                    const std::string& fileName, const std::string& bytes) {
    if (!IsPlainName(fileName) || !IsPlainName(ctrId)) {
        throw EInOutError("Cannot create file \"" + fileName + "\". Invalid file name");
    }
    WriteFileAtomically(MirrorInbox(programDir, ctrId) / fileName, bytes);
}

std::string WriteServiceCommand(const fs::path& programDir, const std::string& ctrId,
                                const std::vector<std::string>& requestLines,
                                const std::string& fileName) {
    const std::string name = fileName.empty() ? MakeUniqueFileName("w-") : fileName;
    WriteInboxFile(programDir, ctrId, name, ServiceCommandText(requestLines));
    return name;
}

std::string WriteServiceCommand(const std::string& ctrId,
                                const std::vector<std::string>& requestLines,
                                const std::string& fileName) {
    return WriteServiceCommand(base::Program().programDir, ctrId, requestLines, fileName);
}

std::string MakeUniqueFileName(const std::string& prefix) {
    // Seeded afresh from the high-resolution counter at every call. The call count is mixed in
    // so that two calls within one tick of the counter still draw different names.
    static std::atomic<uint64_t> calls{0};
    const uint64_t ticks =
        static_cast<uint64_t>(std::chrono::high_resolution_clock::now().time_since_epoch().count());
    std::seed_seq seed{static_cast<uint32_t>(ticks), static_cast<uint32_t>(ticks >> 32),
                       static_cast<uint32_t>(calls.fetch_add(1))};
    std::mt19937 generator(seed);
    std::uniform_int_distribution<int> draw(0, 65535);
    const int a = draw(generator);
    const int b = draw(generator);
    const int c = draw(generator);
    const int d = draw(generator);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04X%04X%04X%04X.xml", a, b, c, d);
    return prefix + buf;
}

std::string SetUTCValue(std::chrono::system_clock::time_point utc) {
    const std::time_t t = std::chrono::system_clock::to_time_t(utc);
    std::tm tm{};
    gmtime_r(&t, &tm);
    char buf[80];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d-%02d-%02d-%02d", tm.tm_year + 1900,
                  tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
    return buf;
}

void QueueSetUTC(const fs::path& programDir, const std::string& ctrId,
                 std::chrono::system_clock::time_point now) {
    WriteServiceCommand(programDir, ctrId, {"Var=SetUTC", "OpCode=W", "Value=" + SetUTCValue(now)},
                        "SetUTC.xml");
}

void QueueFullSync(const fs::path& programDir, const std::string& ctrId) {
    WriteServiceCommand(programDir, ctrId, {"Var=FullSync", "OpCode=W"}, "FullSync.xml");
}

void QueueGetProfile(const fs::path& programDir, const std::string& ctrId) {
    WriteServiceCommand(programDir, ctrId, {"Var=GetProfile", "OpCode=R"}, "GetProfile.xml");
}

void QueueGetParams(const fs::path& programDir, const std::string& ctrId) {
    WriteServiceCommand(programDir, ctrId, {"Var=GetParams", "OpCode=R"}, "GetParams.xml");
}

void QueueRegistrationCommands(const fs::path& programDir, const std::string& ctrId) {
    QueueFullSync(programDir, ctrId);
    QueueGetProfile(programDir, ctrId);
    QueueGetParams(programDir, ctrId);
}

void QueueAttributeRefresh(const fs::path& programDir, const std::string& ctrId) {
    QueueGetProfile(programDir, ctrId);
    QueueGetParams(programDir, ctrId);
}

void QueueRefreshMeter(const fs::path& programDir, const std::string& ctrId,
                       const std::string& target) {
    WriteServiceCommand(programDir, ctrId, {"Var=RefreshMeter", "OpCode=W", "Value=" + target},
                        "RefreshMeter_" + target + ".xml");
}

void QueueDeleteMeter(const fs::path& programDir, const std::string& ctrId,
                      const std::string& target) {
    WriteServiceCommand(programDir, ctrId, {"Var=DeleteMeter", "OpCode=W", "Value=" + target},
                        "DeleteMeter_" + target + ".xml");
}

void QueueDeleteFile(const fs::path& programDir, const std::string& ctrId,
                     const std::string& periodicFileName) {
    WriteServiceCommand(
        programDir, ctrId,
        {"Var=DeleteFile", "OpCode=W", "Value=ROOT\\WORK\\PERIODIC\\" + periodicFileName},
        "DeleteFile_" + periodicFileName + ".xml");
}

}  // namespace zb::link
