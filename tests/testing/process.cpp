#include "testing/process.h"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>

#include "testing/temp_dir.h"

namespace zb::testing {

ChildProcess::ChildProcess(const std::filesystem::path& program,
                           const std::vector<std::string>& args) {
    int fds[2];
    if (pipe(fds) != 0) {
        throw std::runtime_error("pipe failed");
    }
    std::vector<std::string> argv{program.string()};
    argv.insert(argv.end(), args.begin(), args.end());
    pid_ = fork();
    if (pid_ == 0) {
        dup2(fds[1], STDOUT_FILENO);
        dup2(fds[1], STDERR_FILENO);
        close(fds[0]);
        close(fds[1]);
        std::vector<char*> raw;
        for (auto& a : argv) {
            raw.push_back(a.data());
        }
        raw.push_back(nullptr);
        execv(raw[0], raw.data());
        _exit(127);
    }
    close(fds[1]);
    fd_ = fds[0];
}

ChildProcess::~ChildProcess() {
    if (!exitCode_ && pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    if (fd_ >= 0) {
        close(fd_);
    }
}

bool ChildProcess::ReadSome(std::chrono::milliseconds timeout) {
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(timeout.count())) <= 0) {
        return false;
    }
    char buf[4096];
    const ssize_t n = read(fd_, buf, sizeof buf);
    if (n <= 0) {
        return false;
    }
    output_.append(buf, static_cast<size_t>(n));
    return true;
}

std::optional<std::string> ChildProcess::WaitForLine(
    const std::function<bool(const std::string&)>& match, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (true) {
        size_t eol;
        while ((eol = output_.find('\n', consumed_)) != std::string::npos) {
            std::string line = output_.substr(consumed_, eol - consumed_);
            consumed_ = eol + 1;
            if (match(line)) {
                return line;
            }
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || !ReadSome(left)) {
            if (std::chrono::steady_clock::now() >= deadline) {
                return std::nullopt;
            }
            // The pipe closed: the child ended; no more lines will come.
            if (left.count() > 0 && output_.find('\n', consumed_) == std::string::npos) {
                return std::nullopt;
            }
        }
    }
}

void ChildProcess::Signal(int signal) {
    kill(pid_, signal);
}

int ChildProcess::Wait(std::chrono::milliseconds timeout) {
    if (exitCode_) {
        return *exitCode_;
    }
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (true) {
        int status = 0;
        const pid_t r = waitpid(pid_, &status, WNOHANG);
        if (r == pid_) {
            exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            while (ReadSome(std::chrono::milliseconds(0))) {
            }
            return *exitCode_;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            kill(pid_, SIGKILL);
        }
        ReadSome(std::chrono::milliseconds(20));
    }
}

std::filesystem::path ServerExecutable() {
    return BuiltProgramDir() / "zarnicbox";
}

}  // namespace zb::testing
