#pragma once
// The termios implementation of SerialPort. The system calls that decide
// whether an open succeeds, and the driver's error counters, go through
// PosixCalls, so that tests can produce what root or a pty never shows
// (EACCES, EBUSY, framing errors).
#include <functional>
#include <memory>

#include "serial/SerialPort.h"

namespace qx::serial {

// The driver's running error counts of one port.
struct LineCounters {
    int frame = 0;
    int overrun = 0;     // lost in the UART
    int bufOverrun = 0;  // lost because the driver's buffer was full
    int parity = 0;
    int brk = 0;
};

struct PosixCalls {
    // Same meaning and errno as open(2) and flock(2).
    std::function<int(const char* path, int flags)> open;
    std::function<int(int fd, int operation)> flock;
    // TIOCGICOUNT: 0 and the counts, or -1 with errno (EINVAL or ENOTTY: the
    // driver keeps none).
    std::function<int(int fd, LineCounters* counters)> lineCounters;

    // The real system calls.
    static PosixCalls System();
};

// OpenPosixPort with the given system calls. The caller owns the result.
std::unique_ptr<SerialPort> OpenPosixPort(const PortSettings& settings, OpenError* why,
                                          const PosixCalls& calls);

// The readable reason of a failed open of device with errnoValue, as OpenError
// carries it. For EACCES it names the group that owns device.
std::string OpenFailureReason(const std::string& device, int errnoValue);

}  // namespace qx::serial
