// Line speeds from the profile, and permission hints that help.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "core/host/Profile.h"
#include "core/serial/PosixSerialPort.h"
#include "core/serial/SerialPort.h"
#include "support/FakeHost.h"

namespace qx::serial {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

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
