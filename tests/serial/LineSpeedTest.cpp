// Line speeds never silently replaced, and permission hints that help.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "core/host/Profile.h"
#include "core/serial/PosixSerialPort.h"
#include "core/serial/SerialPort.h"
#include "support/FakeHost.h"

namespace qx::serial {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

// A pty's slave path; the master stays open for the life of the object.
struct Pty {
    Pty() {
        master = posix_openpt(O_RDWR | O_NOCTTY);
        if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return;
        char name[128];
        if (ptsname_r(master, name, sizeof name) == 0) slave = name;
    }
    ~Pty() {
        if (master >= 0) close(master);
    }
    int master = -1;
    std::string slave;
};

TEST(LineSpeed, TheDriverRunsTheSpeedAskedOrTheOpenFails) {
    Pty pty;
    ASSERT_FALSE(pty.slave.empty());
    struct Case {
        const char* what;
        int baud;
        int driverRuns;   // what the fake driver reports back; 0: the real one
        int refuseErrno;  // the custom-speed call fails with this errno
        bool opens;
    };
    const Case cases[] = {
        {"odd speed, real driver", 31250, 0, 0, true},
        {"standard speed, real driver", 57600, 0, 0, true},
        {"driver keeps 9600", 31250, 9600, 0, false},
        {"driver rounds within tolerance", 31250, 31000, 0, true},
        {"driver rounds too far", 115200, 111000, 0, false},
        {"driver refuses the custom speed", 31250, 0, EINVAL, false},
        {"zero", 0, 0, 0, false},
        {"negative", -9600, 0, 0, false},
        {"above the largest", kMaxBaud + 1, 0, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PosixCalls calls = PosixCalls::System();
        if (c.driverRuns) calls.readSpeed = [&c](int) { return c.driverRuns; };
        if (c.refuseErrno) calls.setSpeed = [&c](int, int) { return errno = c.refuseErrno, -1; };
        OpenError why;
        auto port = OpenPosixPort(PortSettings{pty.slave, c.baud}, &why, calls);
        EXPECT_EQ(port != nullptr, c.opens) << why.reason;
        if (port) {
            EXPECT_EQ(ReadLineSpeed(pty.master), c.baud);
            continue;
        }
        EXPECT_THAT(why.reason, HasSubstr(std::to_string(c.baud) + " baud"));
        // A refused speed leaves the device free for the next try.
        auto again = OpenPosixPort(PortSettings{pty.slave, 9600}, &why);
        EXPECT_NE(again, nullptr) << why.reason;
    }
}

TEST(LineSpeed, ProfileSpeedsAndByteTimes) {
    ScopedFakeHost scope;
    for (auto [written, used] : {std::pair{19200, 19200},
                                 {12345, 12345},
                                 {-9600, 9600},
                                 {0, 9600},
                                 {49, 9600},
                                 {kMaxBaud + 1, 9600}}) {
        ASSERT_TRUE(AppProfile().WriteInt("Settings", "Baud Rate", written));
        EXPECT_EQ(ConfiguredBaud(), used) << written;
    }
    EXPECT_EQ(ByteTimeUsAt(1200), 8333);

    // What is no speed is named, so that qvx can refuse it and the program say it.
    struct Case {
        const char* written;  // null: no key
        bool problem;
    };
    for (const Case& c : {Case{nullptr, false}, Case{"", false}, Case{"19200", false},
                          Case{"4000000", false}, Case{"99999999", true}, Case{"abc", true},
                          Case{"0", true}, Case{"-9600", true}, Case{"9600 baud", true}}) {
        SCOPED_TRACE(c.written ? c.written : "(no key)");
        if (c.written)
            ASSERT_TRUE(AppProfile().WriteString("Settings", "Baud Rate", c.written));
        else
            ASSERT_TRUE(AppProfile().RemoveKey("Settings", "Baud Rate"));
        const std::string problem = BaudSettingProblem();
        if (!c.problem) {
            EXPECT_EQ(problem, "");
            continue;
        }
        EXPECT_THAT(problem, HasSubstr(std::string("Baud Rate \"") + c.written + "\""));
        EXPECT_THAT(problem, HasSubstr(AppProfile().Path()));
        EXPECT_EQ(ConfiguredBaud(), 9600);
    }
    EXPECT_EQ(ByteTimeUsAt(12345), 810);
    EXPECT_EQ(ByteTimeUsAt(0), 1042);
}

TEST(PermissionHint, NamesAGroupOnlyWhenJoiningItWouldHelp) {
    struct Case {
        unsigned mode;
        const char* owner;
        const char* group;
        const char* says;
        const char* neverSays;
    };
    const Case cases[] = {
        {020660, "root", "dialout", "add yourself to group 'dialout'", "only its owner"},
        {020670, "root", "uucp", "add yourself to group 'uucp'", "only its owner"},
        {020600, "root", "root", "only its owner 'root' may open it", "add yourself"},
        {020640, "root", "dialout", "only its owner 'root'", "add yourself"},
        {020620, "1000", "tty", "only its owner '1000'", "add yourself"},
    };
    for (const Case& c : cases) {
        DeviceAccess access{c.mode, c.owner, c.group};
        const std::string reason = PermissionDeniedReason("/dev/ttyUSB0", &access);
        EXPECT_THAT(reason, HasSubstr("/dev/ttyUSB0: permission denied")) << c.mode;
        EXPECT_THAT(reason, HasSubstr(c.says)) << c.mode;
        EXPECT_THAT(reason, Not(HasSubstr(c.neverSays))) << c.mode;
    }
    EXPECT_THAT(PermissionDeniedReason("/dev/x", nullptr), HasSubstr("permission denied"));
}

}  // namespace
}  // namespace qx::serial
