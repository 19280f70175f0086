#pragma once
// The termios implementation of SerialPort. The system calls that decide
// whether an open succeeds, and the driver's error counters, go through
// PosixCalls, so that tests can produce what root or a pty never shows
// (EACCES, EBUSY, framing errors).
#include <functional>
#include <memory>
#include <string>

#include "core/serial/SerialPort.h"

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
    // Sets the line to baud bits per second (any number the driver takes): 0, or
    // -1 with errno. readSpeed gives the speed the driver actually runs, or -1.
    std::function<int(int fd, int baud)> setSpeed;
    std::function<int(int fd)> readSpeed;
    // TIOCGSERIAL and TIOCSSERIAL: the driver's flags (ASYNC_...): 0, or -1
    // with errno (ENOTTY or EINVAL: no serial driver, a pseudo-terminal).
    std::function<int(int fd, int* flags)> getSerialFlags;
    std::function<int(int fd, int flags)> setSerialFlags;

    // The real system calls.
    static PosixCalls System();
};

// OpenPosixPort with the given system calls. The caller owns the result.
std::unique_ptr<SerialPort> OpenPosixPort(const PortSettings& settings, OpenError* why,
                                          const PosixCalls& calls);

// Who may open a device, as stat(2) tells it.
struct DeviceAccess {
    unsigned mode = 0;  // st_mode
    std::string owner;  // user name (or number) of the owner
    std::string group;  // group name (or number)
};
// The reason of an EACCES open of device; access null when the device could not
// be looked at. A group is named only when joining it would let the user in.
std::string PermissionDeniedReason(const std::string& device, const DeviceAccess* access);

// termios2 speed calls on fd (the real ones behind PosixCalls::System).
int SetLineSpeed(int fd, int baud);
int ReadLineSpeed(int fd);

// The readable reason of a failed open of device with errnoValue, as OpenError
// carries it. For EACCES it names the group that owns device.
std::string OpenFailureReason(const std::string& device, int errnoValue);

}  // namespace qx::serial
