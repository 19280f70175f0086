// The quorvexi-sim program, driven from outside as a user's script would.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <cstdlib>

#include "EmulatorTestUtil.h"

namespace qx::emu::test {
namespace {

// From the build directory, else beside the tests' own folder (build/tests, build/src).
std::string SimPath() {
    if (const char* dir = std::getenv("QX_BUILD_DIR"))
        return std::string(dir) + "/src/quorvexi-sim";
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return "quorvexi-sim";
    std::string path(self, static_cast<std::size_t>(n));
    path.resize(path.rfind('/', path.rfind('/') - 1));
    return path + "/src/quorvexi-sim";
}

// The program run as a child with its standard output on a pipe.
class Sim : public ::testing::Test {
  protected:
    void SetUp() override {
        if (access(SimPath().c_str(), X_OK) != 0) GTEST_SKIP() << "quorvexi-sim is not built";
    }
    // Starts the program and returns the first line of its output.
    std::string Start(std::vector<std::string> args) {
        int fds[2];
        EXPECT_EQ(pipe(fds), 0);
        args.insert(args.begin(), SimPath());
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        pid = fork();
        if (pid == 0) {
            dup2(fds[1], STDOUT_FILENO);
            dup2(open("/dev/null", O_WRONLY), STDERR_FILENO);
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(fds[1]);
        out = fds[0];
        std::string line;
        pollfd p{out, POLLIN, 0};
        for (char c; poll(&p, 1, 5000) > 0 && read(out, &c, 1) == 1 && c != '\n';) line += c;
        return line;
    }
    int Exit(int signal) {
        if (signal) kill(pid, signal);
        int status = 0;
        waitpid(pid, &status, 0);
        close(out);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    pid_t pid = -1;
    int out = -1;
};

TEST_F(Sim, PrintsItsDeviceAndServesUntilTerminated) {
    for (int signal : {SIGTERM, SIGINT}) {
        const std::string device = Start({"--firmware", "0x20", "--serial", "4660", "--turnaround",
                                          "2.5", "--fault-next", "nak:1", "--random", "5"});
        ASSERT_EQ(device.rfind("/dev/pts/", 0), 0u) << device;
        {
            HostEnd host(device);
            EXPECT_EQ(host.Exchange(kIdentify, 1), (Bytes{0x15})) << "the armed fault";
            EXPECT_EQ(host.Exchange(kIdentify, 7),
                      (Bytes{0x02, 0x02, 0x00, 0x80, 0x20, 0x21, 0x03}));
            const auto serial = ParseFrame(host.Exchange(ReadRequest(0xB7FE, 2), 8));
            ASSERT_TRUE(serial);
            EXPECT_EQ(serial->data, (Bytes{0x12, 0x34}));
        }
        EXPECT_EQ(Exit(signal), 0);
    }
}

TEST_F(Sim, RefusesBadOptions) {
    for (const std::vector<std::string>& args : {std::vector<std::string>{"--fault", "gremlins"},
                                                 {"--fault", "nak:1.5"},
                                                 {"--firmware", "0x100"}}) {
        EXPECT_EQ(Start(args), "") << args[0];
        EXPECT_EQ(Exit(0), 2) << args[0];
    }
}

}  // namespace
}  // namespace qx::emu::test
