#pragma once
// The built programs run as child processes, one output read through a pipe.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace qx::test {

// src/name of the build (QX_BUILD_DIR, else beside the tests' folder); empty if not built.
inline std::string ProgramPath(const std::string& name) {
    std::error_code ec;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    const char* build = std::getenv("QX_BUILD_DIR");
    for (const auto& dir :
         {std::filesystem::path(build ? build : ""), self.parent_path().parent_path()}) {
        if (!dir.empty() && access((dir / "src" / name).c_str(), X_OK) == 0)
            return dir / "src" / name;
    }
    return {};
}

// A running program whose output fd (standard output or error) is read through a
// pipe, the other one going to /dev/null; killed if still running at the end.
class Child {
  public:
    explicit Child(std::vector<std::string> args, int fd = STDOUT_FILENO,
                   const std::string& folder = "") {
        int out[2];
        if (pipe(out) != 0) return;
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        pid_ = fork();
        if (pid_ == 0) {
            if (!folder.empty() && chdir(folder.c_str()) != 0) _exit(126);
            dup2(open("/dev/null", O_WRONLY), fd == STDOUT_FILENO ? STDERR_FILENO : STDOUT_FILENO);
            dup2(out[1], fd);
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(out[1]);
        out_ = out[0];
    }
    ~Child() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            WaitStatus();
        }
        close(out_);
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    // Reads until the output holds lines lines; false at its end or after limitMs of silence.
    bool ReadLines(std::size_t lines, int limitMs) {
        char buffer[512];
        pollfd p{out_, POLLIN, 0};
        while (static_cast<std::size_t>(std::count(output.begin(), output.end(), '\n')) < lines) {
            const ssize_t n = poll(&p, 1, limitMs) > 0 ? read(out_, buffer, sizeof buffer) : 0;
            if (n <= 0) return false;
            output.append(buffer, static_cast<std::size_t>(n));
        }
        return true;
    }
    // The first line of the output, waiting up to limitMs of silence for it.
    std::string FirstLine(int limitMs) {
        ReadLines(1, limitMs);
        return output.substr(0, output.find('\n'));
    }
    void Signal(int sig) { kill(pid_, sig); }
    // The exit code, or -(the signal) when a signal ended the child.
    int WaitStatus() {
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
    }
    // The exit code, or -1 when the child did not exit normally.
    int Wait() { return std::max(WaitStatus(), -1); }

    std::string output;

  private:
    pid_t pid_ = -1;
    int out_ = -1;
};

}  // namespace qx::test
