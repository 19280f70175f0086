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
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "core/serial/PosixSerialPort.h"
#include "core/serial/SerialPort.h"
#include "support/FakeHost.h"

namespace qx::serial {
namespace {

using ::testing::HasSubstr;
using Bytes = std::vector<uint8_t>;

// Expects the open to fail as the system's error errnoValue, explained by reason.
void ExpectOpenFails(const std::string& device, const PosixCalls& calls, int errnoValue,
                     const std::string& reason) {
    SCOPED_TRACE(device);
    OpenError why;
    EXPECT_EQ(OpenPosixPort(PortSettings{device, 9600}, &why, calls), nullptr);
    EXPECT_EQ(why.kind, ErrorKind::OsFailure);
    EXPECT_EQ(why.errnoValue, errnoValue);
    EXPECT_EQ(why.device, device);
    EXPECT_THAT(why.reason, HasSubstr(reason));
    EXPECT_EQ(OpenPosixPort(PortSettings{device, 9600}, nullptr, calls), nullptr);  // no holder
}

class PtyPortTest : public ::testing::Test {
  protected:
    void SetUp() override { OpenPair(); }
    void OpenPair() {
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

    std::unique_ptr<SerialPort> Open(int baud = 9600, PosixCalls calls = PosixCalls::System()) {
        why_ = OpenError{};
        return OpenPosixPort(PortSettings{slave_, baud}, &why_, calls);
    }
    void SendFromDevice(const Bytes& bytes) {
        ASSERT_EQ(write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
    // Reads count bytes from the master, giving up after a generous time.
    Bytes ReceiveAtDevice(std::size_t count) {
        Bytes got;
        uint8_t buffer[512];
        pollfd p{master_, POLLIN, 0};
        while (got.size() < count && poll(&p, 1, 5000) > 0) {
            ssize_t n = read(master_, buffer, std::min(sizeof buffer, count - got.size()));
            if (n <= 0) break;
            got.insert(got.end(), buffer, buffer + n);
        }
        return got;
    }

    // The pending line error; a non-zero result goes with a non-zero status.
    static uint16_t CommError(SerialPort& port) {
        uint16_t status = 0xFFFF;
        const int error = port.GetCommError(status);
        EXPECT_EQ(error != 0, status != 0);
        return status;
    }

    int master_ = -1;
    std::string slave_;
    OpenError why_;
};

TEST_F(PtyPortTest, OpensRawEightNoneOneWithoutFlowControl) {
    // Standard and odd speeds alike run at exactly the speed asked.
    for (auto [baud, byteTimeUs] : {std::pair{19200, 521}, {12345, 810}, {250000, 40}}) {
        auto port = Open(baud);
        ASSERT_NE(port, nullptr) << why_.reason;
        termios tio{};
        ASSERT_EQ(tcgetattr(master_, &tio), 0);  // the master reports the slave's settings
        EXPECT_EQ(ReadLineSpeed(master_), baud);
        EXPECT_EQ(tio.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS | CLOCAL),
                  static_cast<tcflag_t>(CS8 | CLOCAL));
        EXPECT_EQ(tio.c_iflag & (IXON | IXOFF | ICRNL | ISTRIP), 0u);
        EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG), 0u);
        EXPECT_EQ(tio.c_oflag & OPOST, 0u);
        EXPECT_EQ(port->ByteTimeUs(), byteTimeUs);
        EXPECT_EQ(port->DevicePath(), slave_);
        EXPECT_GE(port->PollFd(), 0);
    }
}

TEST_F(PtyPortTest, BytesPassBothWaysUnchangedAndCountsAndFlushesHold) {
    auto port = Open();
    ASSERT_NE(port, nullptr) << why_.reason;
    // Control characters a cooked line would eat or translate.
    const Bytes up = {0x00, 0x18, 0x11, 0x13, 0x0D, 0x0A, 0x03, 0x7F, 0xFF};
    SendFromDevice(up);
    ASSERT_EQ(port->WaitForBytes(up.size(), 2000), WaitOutcome::Ready);
    EXPECT_EQ(port->RXCount(), up.size());
    for (uint8_t expected : up) EXPECT_EQ(port->ReadByte(200), expected);
    EXPECT_EQ(port->RXCount(), 0u);

    Bytes down;
    for (int b = 0; b < 256; ++b) {
        down.push_back(static_cast<uint8_t>(b));
        ASSERT_EQ(port->WriteByte(static_cast<uint8_t>(b)), 0) << b;
    }
    EXPECT_EQ(ReceiveAtDevice(down.size()), down);
    EXPECT_EQ(port->TXCount(), 0u);

    // A short count is what came within the time-out.
    SendFromDevice({0x02, 0x82, 0x03});
    ASSERT_EQ(port->WaitForBytes(3, 2000), WaitOutcome::Ready);
    uint8_t buffer[10] = {};
    EXPECT_EQ(port->GetBuffer(buffer, sizeof buffer, 50), 3u);
    EXPECT_EQ(Bytes(buffer, buffer + 3), (Bytes{0x02, 0x82, 0x03}));

    SendFromDevice({1, 2, 3, 4});
    ASSERT_EQ(port->WaitForBytes(4, 2000), WaitOutcome::Ready);
    port->RXFlush();
    EXPECT_EQ(port->RXCount(), 0u);
    EXPECT_EQ(port->ReadByte(20), kReadTimeout);
    port->TXFlush();
    ASSERT_EQ(port->WriteByte(0x18), 0);
    EXPECT_EQ(ReceiveAtDevice(1), Bytes{0x18});
}

TEST_F(PtyPortTest, BytesReadAheadStayInOrderAndCountAsWaiting) {
    auto port = Open();
    ASSERT_NE(port, nullptr) << why_.reason;
    Bytes sent;
    for (uint8_t b = 1; b <= 10; ++b) sent.push_back(b);
    SendFromDevice(sent);
    ASSERT_EQ(port->WaitForBytes(10, 2000), WaitOutcome::Ready);
    EXPECT_EQ(port->ReadByte(200), 1);
    EXPECT_EQ(port->RXCount(), 9u) << "bytes taken from the line but not yet read still wait";
    EXPECT_EQ(port->WaitForBytes(9, 0), WaitOutcome::Ready);
    SendFromDevice({11, 12, 13});
    ASSERT_EQ(port->WaitForBytes(12, 2000), WaitOutcome::Ready);
    uint8_t buffer[6] = {};
    ASSERT_EQ(port->GetBuffer(buffer, 5, 200), 5u);
    EXPECT_EQ(Bytes(buffer, buffer + 5), (Bytes{2, 3, 4, 5, 6}));
    EXPECT_EQ(port->ReadByte(200), 7);
    // A read spanning what was read ahead and what is still on the line.
    ASSERT_EQ(port->GetBuffer(buffer, 6, 200), 6u);
    EXPECT_EQ(Bytes(buffer, buffer + 6), (Bytes{8, 9, 10, 11, 12, 13}));
    EXPECT_EQ(port->RXCount(), 0u);

    SendFromDevice({20, 21, 22, 23});
    ASSERT_EQ(port->WaitForBytes(4, 2000), WaitOutcome::Ready);
    EXPECT_EQ(port->ReadByte(200), 20);
    port->RXFlush();
    EXPECT_EQ(port->RXCount(), 0u) << "a flush drops what was read ahead too";
    EXPECT_EQ(port->ReadByte(20), kReadTimeout);
    SendFromDevice({30});
    EXPECT_EQ(port->ReadByte(2000), 30);
}

TEST_F(PtyPortTest, SilentLineTimesOutWithItsOwnResult) {
    auto port = Open();
    ASSERT_NE(port, nullptr) << why_.reason;
    EXPECT_EQ(port->ReadByte(30), kReadTimeout);
    EXPECT_FALSE(port->IsGone());
    // Fewer bytes than asked: a time-out, and the byte stays for the reader.
    SendFromDevice({0x55});
    EXPECT_EQ(port->WaitForBytes(3, 60), WaitOutcome::Timeout);
    EXPECT_EQ(port->RXCount(), 1u);
    EXPECT_EQ(port->ReadByte(10), 0x55);
    EXPECT_EQ(CommError(*port), 0);
}

TEST_F(PtyPortTest, OnlyOneOwnerAtATime) {
    auto first = Open();
    ASSERT_NE(first, nullptr) << why_.reason;
    int other = open(slave_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (other < 0) {
        // The exclusive mode stops an ordinary user at the open.
        EXPECT_EQ(errno, EBUSY);
        ExpectOpenFails(slave_, PosixCalls::System(), EBUSY, "in use by another program");
    } else {
        // Root passes the exclusive mode; the lock is what it meets, as does qvx.
        ExpectOpenFails(slave_, PosixCalls::System(), EWOULDBLOCK, "in use by another program");
        EXPECT_NE(flock(other, LOCK_EX | LOCK_NB), 0);
        int exclusive = 0;
        ASSERT_EQ(ioctl(other, TIOCGEXCL, &exclusive), 0);
        EXPECT_EQ(exclusive, 1);
        close(other);
    }

    first.reset();
    // The pty outlives the port: the exclusive mode must be given back by hand.
    other = open(slave_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(other, 0) << std::strerror(errno);
    int exclusive = 1;
    ASSERT_EQ(ioctl(other, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 0);
    EXPECT_EQ(flock(other, LOCK_EX | LOCK_NB), 0);
    EXPECT_EQ(Open(), nullptr);
    EXPECT_THAT(why_.reason, HasSubstr("in use"));
    close(other);
    EXPECT_NE(Open(), nullptr);  // released on destruction: the port opens again

    // Injected failures of the lock and of the open leave nothing behind.
    PosixCalls lockFails = PosixCalls::System();
    lockFails.flock = [](int, int) { return errno = EWOULDBLOCK, -1; };
    ExpectOpenFails(slave_, lockFails, EWOULDBLOCK, "in use by another program");
    PosixCalls busy = PosixCalls::System();
    busy.open = [](const char*, int) { return errno = EBUSY, -1; };
    ExpectOpenFails(slave_, busy, EBUSY, "in use by another program");
    EXPECT_NE(Open(), nullptr);
}

TEST_F(PtyPortTest, DeviceGoneIsNotATimeOutWhicheverCallMeetsItFirst) {
    // Long time-outs: a port that missed the hang-up would return -802 or Timeout.
    const struct {
        bool byteWaiting;
        std::function<void(SerialPort&)> firstCall;
    } cases[] = {
        {false, [](SerialPort& p) { EXPECT_TRUE(p.IsGone()); }},
        {false, [](SerialPort& p) { EXPECT_EQ(p.ReadByte(5000), kDeviceGone); }},
        {true, [](SerialPort& p) { EXPECT_EQ(p.WaitForBytes(4, 5000), WaitOutcome::DeviceGone); }}};
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        if (master_ < 0) OpenPair();
        auto port = Open();
        ASSERT_NE(port, nullptr) << why_.reason;
        if (c.byteWaiting) {
            SendFromDevice({0x42});
            ASSERT_EQ(port->WaitForBytes(1, 2000), WaitOutcome::Ready);
        }
        CloseMaster();
        c.firstCall(*port);
        EXPECT_TRUE(port->IsGone());
        EXPECT_EQ(port->ReadByte(5000), kDeviceGone);
        EXPECT_EQ(port->WaitForBytes(1, 5000), WaitOutcome::DeviceGone);
        uint8_t buffer[4];
        EXPECT_EQ(port->GetBuffer(buffer, 4, 5000), 0u);
        EXPECT_NE(port->WriteByte(0x18), 0);
        EXPECT_EQ(port->RXCount(), 0u);
        EXPECT_EQ(CommError(*port), kLineDeviceGone);
        EXPECT_EQ(CommError(*port), 0);
    }
}

TEST_F(PtyPortTest, LineErrorsAreTheCounterChangesSinceTheLastCall) {
    auto counters = std::make_shared<LineCounters>();
    counters->frame = 7;  // errors from before the open do not count
    counters->brk = 1;
    PosixCalls calls = PosixCalls::System();
    calls.lineCounters = [counters](int, LineCounters* out) { return *out = *counters, 0; };
    auto port = Open(9600, calls);
    ASSERT_NE(port, nullptr) << why_.reason;
    EXPECT_EQ(CommError(*port), 0);
    counters->frame += 2;
    counters->overrun += 1;
    EXPECT_EQ(CommError(*port), kLineFraming | kLineOverrun);
    EXPECT_EQ(CommError(*port), 0);
    counters->parity += 1;
    counters->bufOverrun += 3;
    counters->brk += 1;
    EXPECT_EQ(CommError(*port), kLineParity | kLineRxOverflow | kLineBreak);
    EXPECT_EQ(CommError(*port), 0);

    // A driver without counters reports no line errors and is asked only at the open.
    int asked = 0;
    calls.lineCounters = [&asked](int, LineCounters*) { return ++asked, errno = EINVAL, -1; };
    port.reset();
    port = Open(9600, calls);
    ASSERT_NE(port, nullptr) << why_.reason;
    EXPECT_EQ(CommError(*port), 0);
    EXPECT_EQ(asked, 1);
}

// A driver's serial flags as TIOCGSERIAL and TIOCSSERIAL would show them.
struct FakeSerialDriver {
    bool hasSerialIoctls = true;  // false: a pseudo-terminal (ENOTTY)
    bool refusesSet = false;      // EPERM
    int flags = 0;
    std::vector<int> sets;  // every flags value set, in order
};

TEST_F(PtyPortTest, AsksTheDriverForLowLatencyAndGivesItBackOnClose) {
    constexpr int kLowLatency = 0x2000;  // ASYNC_LOW_LATENCY, 1 << 13
    constexpr int kSkipTest = 0x0040;    // another flag, to be kept
    struct Case {
        const char* what;
        FakeSerialDriver driver;
        std::vector<int> setsAfterOpen;
        std::vector<int> setsAfterClose;
        int holdMs;
    };
    const Case cases[] = {
        {"a pseudo-terminal", {false, false, 0, {}}, {}, {}, 0},
        {"an adapter with its usual timer",
         {true, false, kSkipTest, {}},
         {kSkipTest | kLowLatency},
         {kSkipTest | kLowLatency, kSkipTest},
         1},
        {"an adapter already set to low latency", {true, false, kLowLatency, {}}, {}, {}, 1},
        {"a driver that refuses the flag", {true, true, kSkipTest, {}}, {}, {}, 16},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto driver = std::make_shared<FakeSerialDriver>(c.driver);
        PosixCalls calls = PosixCalls::System();
        calls.getSerialFlags = [driver](int, int* flags) {
            if (!driver->hasSerialIoctls) return errno = ENOTTY, -1;
            *flags = driver->flags;
            return 0;
        };
        calls.setSerialFlags = [driver](int, int flags) {
            if (!driver->hasSerialIoctls) return errno = ENOTTY, -1;
            if (driver->refusesSet) return errno = EPERM, -1;
            driver->sets.push_back(flags);
            driver->flags = flags;
            return 0;
        };
        auto port = Open(9600, calls);
        ASSERT_NE(port, nullptr) << why_.reason;
        EXPECT_EQ(driver->sets, c.setsAfterOpen);
        EXPECT_EQ(port->ReceiveHoldMs(), c.holdMs);
        // The port works as before.
        SendFromDevice({0x06});
        EXPECT_EQ(port->ReadByte(2000), 0x06);
        port.reset();
        EXPECT_EQ(driver->sets, c.setsAfterClose);
    }
    // The real calls on a pseudo-terminal: refused quietly, the port opens.
    auto port = Open();
    ASSERT_NE(port, nullptr) << why_.reason;
    EXPECT_EQ(port->ReceiveHoldMs(), 0);
    ASSERT_EQ(port->WriteByte(0x42), 0);
    EXPECT_EQ(ReceiveAtDevice(1), Bytes{0x42});
}

// Line speeds are never silently replaced.
TEST_F(PtyPortTest, TheDriverRunsTheSpeedAskedOrTheOpenFails) {
    struct Case {
        const char* what;
        int baud;
        int driverRuns;   // what the fake driver reports back; 0: the real one
        int refuseErrno;  // the custom-speed call fails with this errno
        bool opens;
    };
    const Case cases[] = {
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
        auto port = Open(c.baud, calls);
        EXPECT_EQ(port != nullptr, c.opens) << why_.reason;
        if (port) {
            EXPECT_EQ(ReadLineSpeed(master_), c.baud);
            continue;
        }
        EXPECT_THAT(why_.reason, HasSubstr(std::to_string(c.baud) + " baud"));
        // A refused speed leaves the device free for the next try.
        EXPECT_NE(Open(), nullptr) << why_.reason;
    }
}

TEST(PosixOpenFailure, ExplainsWhyTheOpenFailed) {
    ScopedFakeHost scope;  // for its temporary folder
    const std::string plain = scope.TempDir() + "/plain";
    std::ofstream(plain) << "not a tty";
    OpenError why;
    EXPECT_EQ(OpenPosixPort(PortSettings{"", 9600}, &why), nullptr);
    EXPECT_EQ(why.kind, ErrorKind::CallerBug);
    ExpectOpenFails("/dev/qx-no-such-tty", PosixCalls::System(), ENOENT, "no such device");
    ExpectOpenFails(plain, PosixCalls::System(), ENOTTY, "not a serial device");

    // Permission denied looks at the device (the hint itself: PermissionHint tests).
    PosixCalls denied = PosixCalls::System();
    denied.open = [](const char*, int) { return errno = EACCES, -1; };
    ExpectOpenFails("/dev/qx-gone-meanwhile", denied, EACCES,
                    "permission denied (add yourself to the group that owns the device)");
    struct stat st {};
    ASSERT_EQ(stat(plain.c_str(), &st), 0);
    const group* owner = getgrgid(st.st_gid);
    if (owner == nullptr) GTEST_SKIP() << "the group of a new file has no name here";
    ASSERT_EQ(chmod(plain.c_str(), 0660), 0);
    ExpectOpenFails(plain, denied, EACCES,
                    "add yourself to group '" + std::string(owner->gr_name) + "'");
    ASSERT_EQ(chmod(plain.c_str(), 0600), 0);
    ExpectOpenFails(plain, denied, EACCES, "only its owner '");

    // A device this user may not open: the system's own refusal, explained the same way.
    ASSERT_EQ(chmod(plain.c_str(), 0), 0);
    if (access(plain.c_str(), R_OK | W_OK) == 0) {
        GTEST_SKIP() << "this user opens any file, so no open is refused for permission";
    }
    ExpectOpenFails(plain, PosixCalls::System(), EACCES, "only its owner '");
}

}  // namespace
}  // namespace qx::serial
