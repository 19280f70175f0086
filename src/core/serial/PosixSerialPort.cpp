#include "core/serial/PosixSerialPort.h"

#include <fcntl.h>
#include <grp.h>
#include <linux/serial.h>
#include <poll.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>

namespace qx::serial {
namespace {

using SteadyTime = std::chrono::steady_clock::time_point;

SteadyTime Deadline(int timeoutMs) {
    return std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
}

// Milliseconds left until deadline, rounded up so that a poll never wakes early.
int MsLeft(SteadyTime deadline) {
    auto left = deadline - std::chrono::steady_clock::now();
    if (left <= std::chrono::nanoseconds::zero()) return 0;
    auto us = std::chrono::duration_cast<std::chrono::microseconds>(left).count();
    return static_cast<int>((us + 999) / 1000);
}

// The termios constant of a standard speed, or B0 when baud has none.
speed_t SpeedConstant(int baud) {
    switch (baud) {
        case 50:
            return B50;
        case 75:
            return B75;
        case 110:
            return B110;
        case 134:
            return B134;
        case 150:
            return B150;
        case 200:
            return B200;
        case 300:
            return B300;
        case 600:
            return B600;
        case 1200:
            return B1200;
        case 1800:
            return B1800;
        case 2400:
            return B2400;
        case 4800:
            return B4800;
        case 9600:
            return B9600;
        case 19200:
            return B19200;
        case 38400:
            return B38400;
        case 57600:
            return B57600;
        case 115200:
            return B115200;
        case 230400:
            return B230400;
        case 460800:
            return B460800;
        case 500000:
            return B500000;
        case 576000:
            return B576000;
        case 921600:
            return B921600;
        case 1000000:
            return B1000000;
        case 1152000:
            return B1152000;
        case 1500000:
            return B1500000;
        case 2000000:
            return B2000000;
        case 2500000:
            return B2500000;
        case 3000000:
            return B3000000;
        case 3500000:
            return B3500000;
        case 4000000:
            return B4000000;
        default:
            return B0;
    }
}

// Errors after which the descriptor will never carry data again.
bool IsHangupErrno(int e) {
    return e != EAGAIN && e != EWOULDBLOCK && e != EINTR;
}

constexpr int kWriteRoomWaitMs = 200;
// What a USB adapter holds received bytes for: its latency timer by default,
// and with the driver's low-latency flag set.
constexpr int kAdapterHoldMs = 16;
constexpr int kLowLatencyHoldMs = 1;

// The driver's low-latency state at the open.
struct LowLatency {
    int holdMs = 0;        // what ReceiveHoldMs reports
    bool changed = false;  // we set the flag, so the close clears it
};

// Asks the driver to pass received bytes on at once. Every refusal is quiet:
// a pseudo-terminal has no serial driver, and a driver may refuse the flag.
LowLatency AskLowLatency(int fd, const PosixCalls& calls) {
    LowLatency result;
    int flags = 0;
    if (!calls.getSerialFlags || !calls.setSerialFlags) return result;
    if (calls.getSerialFlags(fd, &flags) != 0) {
        result.holdMs = (errno == ENOTTY || errno == EINVAL) ? 0 : kAdapterHoldMs;
        return result;
    }
    if (flags & ASYNC_LOW_LATENCY) {
        result.holdMs = kLowLatencyHoldMs;
    } else if (calls.setSerialFlags(fd, flags | ASYNC_LOW_LATENCY) == 0) {
        result.holdMs = kLowLatencyHoldMs;
        result.changed = true;
    } else {
        result.holdMs = kAdapterHoldMs;
    }
    return result;
}

class PosixSerialPort final : public SerialPort {
  public:
    PosixSerialPort(int fd, std::string device, int baud, const PosixCalls& calls,
                    LowLatency latency)
        : fd_(fd), device_(std::move(device)), baud_(baud), calls_(calls), latency_(latency) {
        haveCounters_ = calls_.lineCounters(fd_, &lastCount_) == 0;
    }

    ~PosixSerialPort() override {
        // The next program on this adapter finds it as we did.
        int flags = 0;
        if (latency_.changed && !gone_ && calls_.getSerialFlags(fd_, &flags) == 0 &&
            (flags & ASYNC_LOW_LATENCY))
            calls_.setSerialFlags(fd_, flags & ~ASYNC_LOW_LATENCY);
        // The tty keeps TIOCEXCL while another end holds it open (a pty master).
        ioctl(fd_, TIOCNXCL);
        calls_.flock(fd_, LOCK_UN);
        close(fd_);
    }

    int ReadByte(int timeoutMs) override {
        auto deadline = Deadline(timeoutMs);
        for (;;) {
            if (gone_) return kDeviceGone;
            if (rxHead_ < rxTail_) return rx_[rxHead_++];
            // Whatever waits is taken in one call: a packet read a byte a call
            // costs a system call for every byte.
            rxHead_ = rxTail_ = 0;
            ssize_t n = read(fd_, rx_.data(), rx_.size());
            if (n > 0) {
                rxTail_ = static_cast<std::size_t>(n);
                continue;
            }
            if ((n == 0 && HungUp()) || (n < 0 && IsHangupErrno(errno))) {
                MarkGone();
                return kDeviceGone;
            }
            if (n < 0 && errno == EINTR) continue;
            int left = MsLeft(deadline);
            if (left == 0) return kReadTimeout;
            if (!PollFor(POLLIN, left)) return gone_ ? kDeviceGone : kReadTimeout;
        }
    }

    int WriteByte(uint8_t byte) override {
        if (gone_) return kDeviceGone;
        if (WriteBytes(&byte, 1) == 1) return 0;
        return gone_ ? kDeviceGone : -1;
    }

    std::size_t WriteBytes(const uint8_t* bytes, std::size_t count) override {
        auto deadline = Deadline(kWriteRoomWaitMs);
        std::size_t sent = 0;
        while (sent < count && !gone_) {
            ssize_t n = write(fd_, bytes + sent, count - sent);
            if (n > 0) {
                sent += static_cast<std::size_t>(n);
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && IsHangupErrno(errno)) {
                MarkGone();
                break;
            }
            // The driver's buffer is full: wait briefly for room, never forever.
            int left = MsLeft(deadline);
            if (left == 0 || !PollFor(POLLOUT, left)) break;
        }
        return sent;
    }

    std::size_t RXCount() override {
        if (gone_) return 0;
        int count = 0;
        if (ioctl(fd_, FIONREAD, &count) != 0) {
            if (errno == EIO || errno == ENXIO || errno == ENODEV) MarkGone();
            return 0;
        }
        return Buffered() + (count > 0 ? static_cast<std::size_t>(count) : 0);
    }

    std::size_t TXCount() override {
        int count = 0;
        if (gone_ || ioctl(fd_, TIOCOUTQ, &count) != 0 || count < 0) return 0;
        return static_cast<std::size_t>(count);
    }

    void RXFlush() override {
        rxHead_ = rxTail_ = 0;
        if (!gone_) tcflush(fd_, TCIFLUSH);
    }
    void TXFlush() override {
        if (!gone_) tcflush(fd_, TCOFLUSH);
    }

    std::size_t GetBuffer(uint8_t* buffer, std::size_t count, int timeoutMs) override {
        if (buffer == nullptr) return 0;
        std::size_t placed = std::min(count, Buffered());
        std::copy_n(rx_.data() + rxHead_, placed, buffer);
        rxHead_ += placed;
        auto deadline = Deadline(timeoutMs);
        while (placed < count && !gone_) {
            ssize_t n = read(fd_, buffer + placed, count - placed);
            if (n > 0) {
                placed += static_cast<std::size_t>(n);
                continue;
            }
            if ((n == 0 && HungUp()) || (n < 0 && IsHangupErrno(errno))) {
                MarkGone();
                break;
            }
            if (n < 0 && errno == EINTR) continue;
            int left = MsLeft(deadline);
            if (left == 0 || !PollFor(POLLIN, left)) break;
        }
        return placed;
    }

    int GetCommError(uint16_t& status) override {
        status = 0;
        if (!gone_ && haveCounters_) {
            LineCounters now;
            if (calls_.lineCounters(fd_, &now) == 0) {
                if (now.frame != lastCount_.frame) status |= kLineFraming;
                if (now.overrun != lastCount_.overrun) status |= kLineOverrun;
                if (now.bufOverrun != lastCount_.bufOverrun) status |= kLineRxOverflow;
                if (now.parity != lastCount_.parity) status |= kLineParity;
                if (now.brk != lastCount_.brk) status |= kLineBreak;
                lastCount_ = now;
            } else if (errno == EIO || errno == ENODEV || errno == ENXIO) {
                MarkGone();
            }
        }
        IsGone();
        if (gone_ && !goneReported_) {
            goneReported_ = true;
            status |= kLineDeviceGone;
        }
        return status;
    }

    bool IsGone() override {
        // A hangup shows in poll even when nobody has read since.
        if (!gone_) PollFor(0, 0);
        return gone_;
    }

    int PollFd() const override { return fd_; }

    WaitOutcome WaitForBytes(std::size_t n, int timeoutMs) override {
        auto deadline = Deadline(timeoutMs);
        for (;;) {
            std::size_t have = RXCount();
            if (have >= n) return WaitOutcome::Ready;
            if (gone_) return WaitOutcome::DeviceGone;
            int left = MsLeft(deadline);
            if (left == 0) return WaitOutcome::Timeout;
            if (have == 0) {
                // Readable is one byte at least: a single byte (an ACK) is taken
                // without counting again.
                if (PollFor(POLLIN, left) && n == 1) return WaitOutcome::Ready;
            } else {
                // Readable already: sleep the wire time of the missing bytes,
                // still woken at once by a hangup (reported with no events asked).
                long long us = static_cast<long long>(n - have) * ByteTimeUs();
                int sleepMs = static_cast<int>(std::min<long long>((us + 999) / 1000, left));
                PollFor(0, std::max(sleepMs, 1));
            }
        }
    }

    int ByteTimeUs() const override { return ByteTimeUsAt(baud_); }
    int ReceiveHoldMs() const override { return latency_.holdMs; }
    std::string DevicePath() const override { return device_; }

  private:
    // Polls for events; true when one of them is ready. Marks the port gone on
    // a hangup or an error of the descriptor.
    bool PollFor(short events, int timeoutMs) {
        pollfd p{fd_, events, 0};
        int r;
        do {
            r = poll(&p, 1, timeoutMs);
        } while (r < 0 && errno == EINTR);
        if (r <= 0) return false;
        if (p.revents & (POLLHUP | POLLERR | POLLNVAL)) {
            // Bytes still buffered before the hangup may stay readable; once
            // none are, a hung-up descriptor would wake every poll at once.
            int count = 0;
            if ((p.revents & POLLIN) && (events & POLLIN) && ioctl(fd_, FIONREAD, &count) == 0 &&
                count > 0)
                return true;
            MarkGone();
            return false;
        }
        return (p.revents & events) != 0;
    }

    void MarkGone() { gone_ = true; }

    std::size_t Buffered() const { return rxTail_ - rxHead_; }

    bool HungUp() {
        PollFor(0, 0);
        return gone_;
    }

    int fd_;
    std::string device_;
    int baud_;
    PosixCalls calls_;
    LowLatency latency_;
    bool gone_ = false;
    bool goneReported_ = false;
    bool haveCounters_ = false;
    LineCounters lastCount_;
    // Bytes read from the descriptor and not yet taken, rx_[rxHead_, rxTail_).
    std::array<uint8_t, 256> rx_{};
    std::size_t rxHead_ = 0;
    std::size_t rxTail_ = 0;
};

std::string NameOfUser(uid_t uid) {
    passwd pw{};
    passwd* found = nullptr;
    char buffer[4096];
    if (getpwuid_r(uid, &pw, buffer, sizeof buffer, &found) != 0 || found == nullptr)
        return std::to_string(uid);
    return found->pw_name;
}

std::string NameOfGroup(gid_t gid) {
    group grp{};
    group* found = nullptr;
    char buffer[4096];
    if (getgrgid_r(gid, &grp, buffer, sizeof buffer, &found) != 0 || found == nullptr)
        return std::to_string(gid);
    return found->gr_name;
}

void Fail(OpenError* why, ErrorKind kind, int errnoValue, const std::string& device,
          std::string reason) {
    if (why == nullptr) return;
    why->kind = kind;
    why->errnoValue = errnoValue;
    why->device = device;
    why->reason = std::move(reason);
}

}  // namespace

std::string PermissionDeniedReason(const std::string& device, const DeviceAccess* access) {
    if (access == nullptr)
        return device + ": permission denied (add yourself to the group that owns the device)";
    // Joining the group helps only when the group may both read and write.
    if ((access->mode & 0060) == 0060) {
        return device + ": permission denied; the device belongs to group '" + access->group +
               "' (add yourself to group '" + access->group + "' and log in again)";
    }
    return device + ": permission denied; only its owner '" + access->owner +
           "' may open it (the device's group has no read and write access)";
}

PosixCalls PosixCalls::System() {
    PosixCalls calls;
    calls.open = [](const char* path, int flags) { return ::open(path, flags); };
    calls.flock = [](int fd, int operation) { return ::flock(fd, operation); };
    calls.lineCounters = [](int fd, LineCounters* counters) {
        serial_icounter_struct icount{};
        if (ioctl(fd, TIOCGICOUNT, &icount) != 0) return -1;
        counters->frame = icount.frame;
        counters->overrun = icount.overrun;
        counters->bufOverrun = icount.buf_overrun;
        counters->parity = icount.parity;
        counters->brk = icount.brk;
        return 0;
    };
    calls.setSpeed = SetLineSpeed;
    calls.readSpeed = ReadLineSpeed;
    calls.getSerialFlags = [](int fd, int* flags) {
        serial_struct info{};
        if (ioctl(fd, TIOCGSERIAL, &info) != 0) return -1;
        *flags = info.flags;
        return 0;
    };
    calls.setSerialFlags = [](int fd, int flags) {
        serial_struct info{};
        if (ioctl(fd, TIOCGSERIAL, &info) != 0) return -1;
        info.flags = flags;
        return ioctl(fd, TIOCSSERIAL, &info);
    };
    return calls;
}

std::string OpenFailureReason(const std::string& device, int errnoValue) {
    switch (errnoValue) {
        case ENOENT:
        case ENODEV:
        case ENXIO:
            return device + ": no such device";
        case EACCES:
        case EPERM: {
            struct stat st {};
            if (stat(device.c_str(), &st) != 0) return PermissionDeniedReason(device, nullptr);
            DeviceAccess access{static_cast<unsigned>(st.st_mode), NameOfUser(st.st_uid),
                                NameOfGroup(st.st_gid)};
            return PermissionDeniedReason(device, &access);
        }
        case EBUSY:
        case EWOULDBLOCK:
            return device + ": in use by another program";
        case ENOTTY:
            return device + ": not a serial device";
        default:
            return device + ": " + std::strerror(errnoValue);
    }
}

std::unique_ptr<SerialPort> OpenPosixPort(const PortSettings& settings, OpenError* why,
                                          const PosixCalls& calls) {
    const std::string& device = settings.device;
    if (device.empty()) {
        Fail(why, ErrorKind::CallerBug, 0, device, "no device given");
        return nullptr;
    }
    const int baud = settings.baud;
    if (!IsValidBaud(baud)) {
        Fail(why, ErrorKind::CallerBug, 0, device,
             device + ": " + std::to_string(baud) + " baud is not a line speed");
        return nullptr;
    }
    int fd = calls.open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        int e = errno;
        Fail(why, ErrorKind::OsFailure, e, device, OpenFailureReason(device, e));
        return nullptr;
    }
    auto fail = [&](int e) {
        close(fd);
        Fail(why, ErrorKind::OsFailure, e, device, OpenFailureReason(device, e));
        return nullptr;
    };
    // The lock holds even against root, whom TIOCEXCL does not stop.
    if (calls.flock(fd, LOCK_EX | LOCK_NB) != 0) return fail(errno);
    termios tio{};
    if (tcgetattr(fd, &tio) != 0) return fail(errno);
    if (ioctl(fd, TIOCEXCL) != 0) return fail(errno);

    cfmakeraw(&tio);
    tio.c_cflag &= ~(CSIZE | PARENB | CSTOPB | CRTSCTS);
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    tio.c_iflag &= ~(IXON | IXOFF | IXANY);
    // With VMIN 1 an empty non-blocking read is EAGAIN, so 0 means hangup.
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    const speed_t standard = SpeedConstant(baud);
    if (standard != B0) {
        cfsetispeed(&tio, standard);
        cfsetospeed(&tio, standard);
    }
    if (tcsetattr(fd, TCSANOW, &tio) != 0 || (standard == B0 && calls.setSpeed(fd, baud) != 0)) {
        int e = errno;
        ioctl(fd, TIOCNXCL);
        if (e == EINVAL) {
            close(fd);
            Fail(why, ErrorKind::NotSupported, e, device,
                 device + ": the device cannot run at " + std::to_string(baud) + " baud");
            return nullptr;
        }
        return fail(e);
    }
    // A driver may quietly keep another speed; the line never runs at one
    // nobody asked for.
    const int actual = calls.readSpeed(fd);
    if (!BaudMatches(actual, baud)) {
        ioctl(fd, TIOCNXCL);
        close(fd);
        Fail(why, ErrorKind::NotSupported, 0, device,
             device + ": the device cannot run at " + std::to_string(baud) + " baud" +
                 (actual > 0 ? " (it offers " + std::to_string(actual) + ")" : ""));
        return nullptr;
    }
    tcflush(fd, TCIOFLUSH);
    const LowLatency latency = AskLowLatency(fd, calls);
    return std::make_unique<PosixSerialPort>(fd, device, baud, calls, latency);
}

std::unique_ptr<SerialPort> OpenPosixPort(const PortSettings& settings, OpenError* why) {
    return OpenPosixPort(settings, why, PosixCalls::System());
}

}  // namespace qx::serial
