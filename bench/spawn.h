#pragma once
// Starting a helper program (the concentrator simulator, prlimit) from a benchmark, with its
// standard output sent to a file so that many of them can run at once without interleaving.
#include <fcntl.h>
#include <spawn.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

extern char** environ;

namespace zb::bench {

// Starts args[0] with the given arguments; exits the benchmark when it cannot be started.
inline pid_t SpawnWithOutput(std::vector<std::string> args, const std::filesystem::path& output) {
    std::vector<char*> argv;
    for (auto& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
        std::perror("posix_spawn");
        std::exit(1);
    }
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

}  // namespace zb::bench
