#pragma once
// Runs a program as a child process with its standard output (and error) read through a pipe,
// so tests can start the real server, wait for a log line, signal it and collect its exit code.
#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace zb::testing {

class ChildProcess {
  public:
    ChildProcess(const std::filesystem::path& program, const std::vector<std::string>& args);
    ~ChildProcess();  // kills the child if it still runs
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Reads output lines until one satisfies `match` (returned) or the time runs out (nullopt).
    std::optional<std::string> WaitForLine(const std::function<bool(const std::string&)>& match,
                                           std::chrono::milliseconds timeout);
    void Signal(int signal);
    // Waits for the child to end and returns its exit code (128 + signal if killed).
    int Wait(std::chrono::milliseconds timeout = std::chrono::seconds(20));
    // Everything read from the child so far.
    const std::string& output() const { return output_; }

  private:
    bool ReadSome(std::chrono::milliseconds timeout);
    pid_t pid_ = -1;
    int fd_ = -1;
    std::string output_;
    size_t consumed_ = 0;
    std::optional<int> exitCode_;
};

// The built server executable.
std::filesystem::path ServerExecutable();

}  // namespace zb::testing
