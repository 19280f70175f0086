// The quorvexi-sim program, driven from outside as a user's script would.
#include <gtest/gtest.h>

#include <memory>

#include "EmulatorTestUtil.h"
#include "support/ChildProcess.h"

namespace qx::emu::test {
namespace {

// The program run as a child with its standard output on a pipe.
class Sim : public ::testing::Test {
  protected:
    void SetUp() override {
        if (path.empty()) GTEST_SKIP() << "quorvexi-sim is not built";
    }
    // Starts the program and returns the first line of its output.
    std::string Start(std::vector<std::string> args) {
        args.insert(args.begin(), path);
        child = std::make_unique<qx::test::Child>(args);
        return child->FirstLine(5000);
    }
    int Exit(int signal) {
        if (signal) child->Signal(signal);
        return child->Wait();
    }
    const std::string path = qx::test::ProgramPath("quorvexi-sim");
    std::unique_ptr<qx::test::Child> child;
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
