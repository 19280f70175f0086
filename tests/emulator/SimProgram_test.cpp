// The quorvexi-sim program, driven from outside as a user's script would.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "EmulatorTestUtil.h"

namespace qx::emu::test {
namespace {

struct Child {
    pid_t pid = -1;
    int out = -1;  // the program's stdout
};

// From the build directory, else beside the tests' own folder (build/tests, build/src).
std::string SimPath() {
    if (const char* dir = std::getenv("QX_BUILD_DIR"))
        return std::string(dir) + "/src/quorvexi-sim";
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return "quorvexi-sim";
    std::string path(self, static_cast<std::size_t>(n));
    path.resize(path.rfind('/'));  // .../tests
    path.resize(path.rfind('/'));  // the build directory
    return path + "/src/quorvexi-sim";
}

Child Spawn(const std::vector<std::string>& args) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) return {};
    const std::string path = SimPath();
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(path.c_str()));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(pipeFds[1], STDOUT_FILENO);
        const int devnull = open("/dev/null", O_WRONLY);
        dup2(devnull, STDERR_FILENO);
        execv(path.c_str(), argv.data());
        _exit(127);
    }
    close(pipeFds[1]);
    return {pid, pipeFds[0]};
}

std::string FirstLine(int fd) {
    std::string line;
    char c;
    while (true) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 5000) <= 0) break;
        if (read(fd, &c, 1) != 1 || c == '\n') break;
        line += c;
    }
    return line;
}

int ExitCode(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

Bytes Exchange(int fd, const Bytes& request, std::size_t expect) {
    if (write(fd, request.data(), request.size()) != static_cast<ssize_t>(request.size()))
        return {};
    Bytes out;
    while (out.size() < expect) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 3000) <= 0) break;
        uint8_t buffer[256];
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0) break;
        out.insert(out.end(), buffer, buffer + n);
    }
    return out;
}

TEST(SimProgram, PrintsItsDeviceAndServesUntilTerminated) {
    if (access(SimPath().c_str(), X_OK) != 0) GTEST_SKIP() << "quorvexi-sim is not built";
    Child child = Spawn({"--firmware", "0x20", "--serial", "4660", "--turnaround", "2.5"});
    ASSERT_GT(child.pid, 0);
    const std::string device = FirstLine(child.out);
    ASSERT_EQ(device.rfind("/dev/pts/", 0), 0u) << device;
    const int fd = open(device.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    termios tio{};
    tcgetattr(fd, &tio);
    cfmakeraw(&tio);
    tcsetattr(fd, TCSANOW, &tio);
    EXPECT_EQ(Exchange(fd, kIdentify, 7), (Bytes{0x02, 0x02, 0x00, 0x80, 0x20, 0x21, 0x03}));
    const auto serial = ParseFrame(Exchange(fd, Read(0xB7FE, 2), 8));
    ASSERT_TRUE(serial);
    EXPECT_EQ(serial->data, (Bytes{0x12, 0x34}));
    close(fd);
    kill(child.pid, SIGTERM);
    EXPECT_EQ(ExitCode(child.pid), 0);
    close(child.out);
}

TEST(SimProgram, RefusesBadOptions) {
    if (access(SimPath().c_str(), X_OK) != 0) GTEST_SKIP() << "quorvexi-sim is not built";
    for (const std::vector<std::string>& args : {std::vector<std::string>{"--fault", "gremlins"},
                                                 {"--fault", "nak:1.5"},
                                                 {"--firmware", "0x100"},
                                                 {"--baud"},
                                                 {"--turnaround", "1,5"}}) {
        Child child = Spawn(args);
        ASSERT_GT(child.pid, 0);
        EXPECT_EQ(FirstLine(child.out), "") << args[0];
        EXPECT_EQ(ExitCode(child.pid), 2) << args[0];
        close(child.out);
    }
}

TEST(SimProgram, AFaultFromTheCommandLineApplies) {
    if (access(SimPath().c_str(), X_OK) != 0) GTEST_SKIP() << "quorvexi-sim is not built";
    Child child = Spawn({"--fault-next", "nak:1", "--random", "5"});
    const std::string device = FirstLine(child.out);
    const int fd = open(device.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    termios tio{};
    tcgetattr(fd, &tio);
    cfmakeraw(&tio);
    tcsetattr(fd, TCSANOW, &tio);
    EXPECT_EQ(Exchange(fd, kIdentify, 1), (Bytes{0x15}));
    EXPECT_EQ(Exchange(fd, kIdentify, 7).size(), 7u);
    close(fd);
    kill(child.pid, SIGINT);
    EXPECT_EQ(ExitCode(child.pid), 0);
    close(child.out);
}

}  // namespace
}  // namespace qx::emu::test
