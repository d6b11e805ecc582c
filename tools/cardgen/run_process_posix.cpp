#include <errno.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "cardgen/run_process.hpp"

extern char** environ;

namespace tav::cardgen {

namespace {

// Starts argv[0] (searched on PATH) with the given descriptor set-up, which it
// consumes. The pid, or -1 when the program could not be started.
pid_t Spawn(const std::vector<std::string>& argv, posix_spawn_file_actions_t& actions) {
    std::vector<char*> args;
    args.reserve(argv.size() + 1);
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? pid : -1;
}

}  // namespace

ProcessResult RunProcess(const std::vector<std::string>& argv) {
    ProcessResult result;
    if (argv.empty()) return result;
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return result;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 2);
    const pid_t pid = Spawn(argv, actions);
    close(fds[1]);
    if (pid > 0) {
        char buffer[4096];
        ssize_t n = 0;
        while ((n = read(fds[0], buffer, sizeof buffer)) > 0)
            result.output.append(buffer, static_cast<std::size_t>(n));
        result.exit_code = WaitProcess(static_cast<int>(pid));
    } else {
        result.output = "cannot start " + argv[0];
    }
    close(fds[0]);
    return result;
}

int StartProcess(const std::vector<std::string>& argv) {
    if (argv.empty()) return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const pid_t pid = Spawn(argv, actions);
    return pid > 0 ? static_cast<int>(pid) : -1;
}

int WaitProcess(int pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string DescribeFailure(const std::vector<std::string>& argv, const ProcessResult& result) {
    std::string text = argv.empty() ? std::string("?") : argv[0];
    text += " failed (exit " + std::to_string(result.exit_code) + "): ";
    text += result.output.substr(0, 400);
    return text;
}

}  // namespace tav::cardgen
