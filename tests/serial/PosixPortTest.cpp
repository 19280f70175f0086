// The termios port over a real pseudo-terminal pair: the port opens the slave,
// the test plays the far end on the master.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <string>
#include <vector>

#include "TempDir.h"
#include "serial/PosixSerialPort.h"
#include "serial/SerialPort.h"

namespace qx::serial {
namespace {

using ::testing::HasSubstr;

class PtyPortTest : public ::testing::Test {
  protected:
    void SetUp() override {
        master_ = posix_openpt(O_RDWR | O_NOCTTY);
        ASSERT_GE(master_, 0);
        ASSERT_EQ(grantpt(master_), 0);
        ASSERT_EQ(unlockpt(master_), 0);
        char name[128];
        ASSERT_EQ(ptsname_r(master_, name, sizeof name), 0);
        slave_ = name;
    }
    void TearDown() override { CloseMaster(); }

    void CloseMaster() {
        if (master_ >= 0) close(master_);
        master_ = -1;
    }

    std::unique_ptr<SerialPort> Open(int baud = 9600) {
        OpenError why;
        auto port = OpenPosixPort(PortSettings{slave_, baud}, &why);
        EXPECT_NE(port, nullptr) << why.reason;
        return port;
    }

    void SendFromDevice(const std::vector<uint8_t>& bytes) {
        ASSERT_EQ(write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }

    // Reads count bytes from the master, giving up after a generous time.
    std::vector<uint8_t> ReceiveAtDevice(std::size_t count) {
        std::vector<uint8_t> got;
        while (got.size() < count) {
            pollfd p{master_, POLLIN, 0};
            if (poll(&p, 1, 5000) <= 0) break;
            uint8_t buffer[512];
            ssize_t n = read(master_, buffer, std::min(sizeof buffer, count - got.size()));
            if (n <= 0) break;
            got.insert(got.end(), buffer, buffer + n);
        }
        return got;
    }

    int master_ = -1;
    std::string slave_;
};

TEST_F(PtyPortTest, OpensRawEightNoneOneWithoutFlowControl) {
    auto port = Open(19200);
    ASSERT_NE(port, nullptr);
    termios tio{};
    // On a pty the master reports the slave's settings.
    ASSERT_EQ(tcgetattr(master_, &tio), 0);
    EXPECT_EQ(cfgetospeed(&tio), static_cast<speed_t>(B19200));
    EXPECT_EQ(cfgetispeed(&tio), static_cast<speed_t>(B19200));
    EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(tio.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_NE(tio.c_cflag & CLOCAL, 0u);
    EXPECT_EQ(tio.c_iflag & (IXON | IXOFF | ICRNL | ISTRIP), 0u);
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(tio.c_oflag & OPOST, 0u);
    EXPECT_EQ(port->ByteTimeUs(), 521);
    EXPECT_EQ(port->DevicePath(), slave_);
    EXPECT_GE(port->PollFd(), 0);
}

TEST_F(PtyPortTest, UnsupportedSpeedFallsBackTo9600) {
    auto port = Open(12345);
    ASSERT_NE(port, nullptr);
    termios tio{};
    ASSERT_EQ(tcgetattr(master_, &tio), 0);
    EXPECT_EQ(cfgetospeed(&tio), static_cast<speed_t>(B9600));
    EXPECT_EQ(port->ByteTimeUs(), 1042);
}

TEST_F(PtyPortTest, BytesPassBothWaysUnchanged) {
    auto port = Open();
    ASSERT_NE(port, nullptr);
    // Control characters a cooked line would eat or translate.
    std::vector<uint8_t> up = {0x00, 0x18, 0x11, 0x13, 0x0D, 0x0A, 0x03, 0x7F, 0xFF};
    SendFromDevice(up);
    ASSERT_EQ(port->WaitForBytes(up.size(), 2000), WaitOutcome::Ready);
    EXPECT_EQ(port->RXCount(), up.size());
    for (uint8_t expected : up) EXPECT_EQ(port->ReadByte(200), expected);
    EXPECT_EQ(port->RXCount(), 0u);

    std::vector<uint8_t> down;
    for (int b = 0; b < 256; ++b) {
        down.push_back(static_cast<uint8_t>(b));
        ASSERT_EQ(port->WriteByte(static_cast<uint8_t>(b)), 0) << b;
    }
    EXPECT_EQ(ReceiveAtDevice(down.size()), down);
    EXPECT_EQ(port->TXCount(), 0u);
}

TEST_F(PtyPortTest, GetBufferReturnsWhatCameWithinTheTimeOut) {
    auto port = Open();
    ASSERT_NE(port, nullptr);
    SendFromDevice({0x02, 0x82, 0x03});
    ASSERT_EQ(port->WaitForBytes(3, 2000), WaitOutcome::Ready);
    uint8_t buffer[10] = {};
    EXPECT_EQ(port->GetBuffer(buffer, sizeof buffer, 50), 3u);
    EXPECT_EQ(std::vector<uint8_t>(buffer, buffer + 3), (std::vector<uint8_t>{0x02, 0x82, 0x03}));
    EXPECT_EQ(port->GetBuffer(nullptr, 4, 10), 0u);
    EXPECT_EQ(port->GetBuffer(buffer, 4, 0), 0u);
}

TEST_F(PtyPortTest, SilentLineTimesOutWithItsOwnResult) {
    auto port = Open();
    ASSERT_NE(port, nullptr);
    EXPECT_EQ(port->ReadByte(30), kReadTimeout);
    EXPECT_EQ(port->ReadByte(0), kReadTimeout);
    EXPECT_EQ(port->WaitForBytes(1, 30), WaitOutcome::Timeout);
    EXPECT_EQ(port->WaitForBytes(0, 0), WaitOutcome::Ready);
    EXPECT_FALSE(port->IsGone());

    // Fewer bytes than asked: a time-out, and the byte stays for the reader.
    SendFromDevice({0x55});
    EXPECT_EQ(port->WaitForBytes(3, 60), WaitOutcome::Timeout);
    EXPECT_EQ(port->RXCount(), 1u);
    EXPECT_EQ(port->ReadByte(10), 0x55);

    uint16_t status = 0xFFFF;
    EXPECT_EQ(port->GetCommError(status), 0);
    EXPECT_EQ(status, 0);
}

TEST_F(PtyPortTest, FlushesDiscardWaitingBytes) {
    auto port = Open();
    ASSERT_NE(port, nullptr);
    SendFromDevice({1, 2, 3, 4});
    ASSERT_EQ(port->WaitForBytes(4, 2000), WaitOutcome::Ready);
    port->RXFlush();
    EXPECT_EQ(port->RXCount(), 0u);
    EXPECT_EQ(port->ReadByte(20), kReadTimeout);

    port->TXFlush();
    ASSERT_EQ(port->WriteByte(0x18), 0);
    EXPECT_EQ(ReceiveAtDevice(1), std::vector<uint8_t>{0x18});
}

TEST_F(PtyPortTest, OnlyOneOwnerAtATime) {
    auto first = Open();
    ASSERT_NE(first, nullptr);

    OpenError why;
    EXPECT_EQ(OpenPosixPort(PortSettings{slave_, 9600}, &why), nullptr);
    EXPECT_EQ(why.kind, ErrorKind::OsFailure);
    EXPECT_EQ(why.errnoValue, EWOULDBLOCK);
    EXPECT_EQ(why.device, slave_);
    EXPECT_THAT(why.reason, HasSubstr("in use by another program"));

    // The lock is what another program (the command-line tool) meets too.
    int other = open(slave_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(other, 0);
    EXPECT_NE(flock(other, LOCK_EX | LOCK_NB), 0);

    // The tty refuses other non-root opens while the port holds it.
    int exclusive = 0;
    ASSERT_EQ(ioctl(other, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 1);

    first.reset();
    // The pty outlives the port: the exclusive mode must be given back by hand.
    ASSERT_EQ(ioctl(other, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 0);
    EXPECT_EQ(flock(other, LOCK_EX | LOCK_NB), 0);
    EXPECT_EQ(OpenPosixPort(PortSettings{slave_, 9600}, &why), nullptr);
    EXPECT_THAT(why.reason, HasSubstr("in use"));
    close(other);

    // Released on destruction: the port opens again.
    EXPECT_NE(Open(), nullptr);
}

TEST_F(PtyPortTest, DeviceGoneIsNotATimeOut) {
    auto port = Open();
    ASSERT_NE(port, nullptr);
    CloseMaster();
    // Noticed without any read having failed yet.
    EXPECT_TRUE(port->IsGone());
    // Long time-outs: a port that missed the hangup would return -802 or Timeout.
    EXPECT_EQ(port->ReadByte(5000), kDeviceGone);
    EXPECT_EQ(port->WaitForBytes(1, 5000), WaitOutcome::DeviceGone);
    uint8_t buffer[4];
    EXPECT_EQ(port->GetBuffer(buffer, 4, 5000), 0u);
    EXPECT_NE(port->WriteByte(0x18), 0);
    EXPECT_EQ(port->RXCount(), 0u);

    uint16_t status = 0;
    EXPECT_NE(port->GetCommError(status), 0);
    EXPECT_EQ(status, kLineDeviceGone);
    EXPECT_EQ(port->GetCommError(status), 0);
    EXPECT_TRUE(port->IsGone());
}

TEST_F(PtyPortTest, WaitForMoreThanIsBufferedEndsAtTheHangup) {
    auto port = Open();
    ASSERT_NE(port, nullptr);
    SendFromDevice({0x42});
    ASSERT_EQ(port->WaitForBytes(1, 2000), WaitOutcome::Ready);
    CloseMaster();
    EXPECT_EQ(port->WaitForBytes(4, 5000), WaitOutcome::DeviceGone);
    EXPECT_TRUE(port->IsGone());
}

TEST_F(PtyPortTest, ReadAloneNoticesTheHangup) {
    auto port = Open();
    ASSERT_NE(port, nullptr);
    CloseMaster();
    EXPECT_EQ(port->ReadByte(5000), kDeviceGone);
    EXPECT_TRUE(port->IsGone());
    EXPECT_EQ(port->ReadByte(5000), kDeviceGone);
}

TEST_F(PtyPortTest, LineErrorsAreTheCounterChangesSinceTheLastCall) {
    auto counters = std::make_shared<LineCounters>();
    counters->frame = 7;  // errors from before the open do not count
    counters->brk = 1;
    PosixCalls calls = PosixCalls::System();
    calls.lineCounters = [counters](int, LineCounters* out) {
        *out = *counters;
        return 0;
    };
    OpenError why;
    auto port = OpenPosixPort(PortSettings{slave_, 9600}, &why, calls);
    ASSERT_NE(port, nullptr) << why.reason;

    uint16_t status = 0xFFFF;
    EXPECT_EQ(port->GetCommError(status), 0);
    EXPECT_EQ(status, 0);

    counters->frame += 2;
    counters->overrun += 1;
    EXPECT_NE(port->GetCommError(status), 0);
    EXPECT_EQ(status, kLineFraming | kLineOverrun);
    EXPECT_EQ(port->GetCommError(status), 0);

    counters->parity += 1;
    counters->bufOverrun += 3;
    counters->brk += 1;
    EXPECT_NE(port->GetCommError(status), 0);
    EXPECT_EQ(status, kLineParity | kLineRxOverflow | kLineBreak);
    EXPECT_EQ(port->GetCommError(status), 0);
}

TEST_F(PtyPortTest, DriverWithoutCountersReportsNoLineErrors) {
    PosixCalls calls = PosixCalls::System();
    int asked = 0;
    calls.lineCounters = [&asked](int, LineCounters*) {
        ++asked;
        errno = EINVAL;
        return -1;
    };
    auto port = OpenPosixPort(PortSettings{slave_, 9600}, nullptr, calls);
    ASSERT_NE(port, nullptr);
    uint16_t status = 0xFFFF;
    EXPECT_EQ(port->GetCommError(status), 0);
    EXPECT_EQ(status, 0);
    // Asked once at the open, not again on every call.
    EXPECT_EQ(asked, 1);
}

TEST(PosixOpenFailure, ExplainsWhyTheOpenFailed) {
    OpenError why;
    EXPECT_EQ(OpenPosixPort(PortSettings{"/dev/qx-no-such-tty", 9600}, &why), nullptr);
    EXPECT_EQ(why.kind, ErrorKind::OsFailure);
    EXPECT_EQ(why.errnoValue, ENOENT);
    EXPECT_EQ(why.device, "/dev/qx-no-such-tty");
    EXPECT_THAT(why.reason, HasSubstr("no such device"));

    why = OpenError{};
    EXPECT_EQ(OpenPosixPort(PortSettings{"", 9600}, &why), nullptr);
    EXPECT_EQ(why.kind, ErrorKind::CallerBug);

    // A missing reason holder is allowed.
    EXPECT_EQ(OpenPosixPort(PortSettings{"/dev/qx-no-such-tty", 9600}, nullptr), nullptr);

    testing::TempDir dir;
    auto file = dir.Write("plain", "not a tty");
    why = OpenError{};
    EXPECT_EQ(OpenPosixPort(PortSettings{file.string(), 9600}, &why), nullptr);
    EXPECT_EQ(why.errnoValue, ENOTTY);
    EXPECT_THAT(why.reason, HasSubstr("not a serial device"));
}

TEST(PosixOpenFailure, PermissionDeniedNamesTheOwningGroup) {
    group* dialout = getgrnam("dialout");
    if (dialout == nullptr) GTEST_SKIP() << "no group dialout on this machine";
    testing::TempDir dir;
    auto device = dir.Write("ttyFAKE", "");
    ASSERT_EQ(chown(device.c_str(), static_cast<uid_t>(-1), dialout->gr_gid), 0);

    PosixCalls calls = PosixCalls::System();
    calls.open = [](const char*, int) {
        errno = EACCES;
        return -1;
    };
    OpenError why;
    EXPECT_EQ(OpenPosixPort(PortSettings{device.string(), 9600}, &why, calls), nullptr);
    EXPECT_EQ(why.kind, ErrorKind::OsFailure);
    EXPECT_EQ(why.errnoValue, EACCES);
    EXPECT_THAT(why.reason, HasSubstr("permission denied"));
    EXPECT_THAT(why.reason, HasSubstr("add yourself to group 'dialout'"));

    // A device whose group cannot be found still gets a useful line.
    why = OpenError{};
    EXPECT_EQ(OpenPosixPort(PortSettings{"/dev/qx-gone-meanwhile", 9600}, &why, calls), nullptr);
    EXPECT_THAT(why.reason, HasSubstr("add yourself to the group that owns the device"));
}

TEST_F(PtyPortTest, InjectedFailuresOfTheLockAndTheOpen) {
    PosixCalls calls = PosixCalls::System();
    calls.flock = [](int, int) {
        errno = EWOULDBLOCK;
        return -1;
    };
    OpenError why;
    EXPECT_EQ(OpenPosixPort(PortSettings{slave_, 9600}, &why, calls), nullptr);
    EXPECT_THAT(why.reason, HasSubstr("in use by another program"));
    // The refused open left nothing behind: the port opens normally now.
    EXPECT_NE(Open(), nullptr);

    calls = PosixCalls::System();
    calls.open = [](const char*, int) {
        errno = EBUSY;
        return -1;
    };
    EXPECT_EQ(OpenPosixPort(PortSettings{slave_, 9600}, &why, calls), nullptr);
    EXPECT_EQ(why.errnoValue, EBUSY);
    EXPECT_THAT(why.reason, HasSubstr("in use by another program"));
}

}  // namespace
}  // namespace qx::serial
