// The real executable, headless, serving the concentrator simulator: the link as an operator
// would run it, with a mirror directory made by hand.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "link/mirror.h"
#include "testing/process.h"
#include "testing/temp_dir.h"

namespace zb::link {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using zb::testing::ChildProcess;
using zb::testing::ReadFile;
using zb::testing::TempDir;
using zb::testing::WriteFile;

// A port that was free a moment ago.
uint16_t FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

TEST(HeadlessLink, ServesTheSimulatorAndLogsToStandardOutput) {
    TempDir program;
    for (const char* folder :
         {"WORK/INBOX", "WORK/OUTBOX", "WORK/PERIODIC", "INFO/METERS", "INFO/PROFILES"}) {
        fs::create_directories(program / (std::string("CTR/CTR_00A1/ROOT/") + folder));
    }
    WriteFile(program / "CTR/CTR_00A1/ROOT/WORK/INBOX/w-0000000000000001.xml", "<work/>");
    TempDir ctr;
    WriteFile(ctr / "ROOT/WORK/PERIODIC/w-7.xml", "<periodic/>");

    const std::string port = std::to_string(FreePort());
    ChildProcess server(zb::testing::ServerExecutable(),
                        {"--headless", "--dir", program.path().string(), "--port", port});
    ASSERT_TRUE(server.WaitForLine(
        [](const std::string& line) { return line.find(" headless") != std::string::npos; }, 60s))
        << server.output();

    ChildProcess sim(ZB_CTR_SIM_PATH,
                     {"--port", port, "--id", "00A1", "--root", ctr.path().string()});
    EXPECT_EQ(sim.Wait(30s), 0) << sim.output();
    ASSERT_TRUE(server.WaitForLine(
        [](const std::string& line) {
            return line.find("соединение будет закрыто через") != std::string::npos;
        },
        10s))
        << server.output();
    server.Signal(SIGTERM);
    EXPECT_EQ(server.Wait(), 0);

    const std::string log = server.output();
    EXPECT_NE(log.find(": CtrID = 00A1 <--> HANDSHAKE OK, IP = 127.0.0.1\n"), std::string::npos)
        << log;
    EXPECT_NE(log.find(": CtrID = 00A1  <--  \"ROOT\\WORK\\INBOX\\w-0000000000000001.xml\"\n"),
              std::string::npos);
    EXPECT_NE(log.find(": CtrID = 00A1  -->  \"ROOT\\WORK\\PERIODIC\\w-7.xml\"\n"),
              std::string::npos);
    EXPECT_EQ(ReadFile(ctr / "ROOT/WORK/INBOX/w-0000000000000001.xml"), "<work/>");
    EXPECT_TRUE(fs::exists(ctr / "ROOT/WORK/INBOX/SetUTC.xml"));
    EXPECT_EQ(ReadFile(program / "CTR/CTR_00A1/ROOT/WORK/PERIODIC/w-7.xml"), "<periodic/>");
    EXPECT_TRUE(fs::is_empty(program / "CTR/CTR_00A1/ROOT/WORK/INBOX"));
}

}  // namespace
}  // namespace zb::link
