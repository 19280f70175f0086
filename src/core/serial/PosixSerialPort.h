#pragma once
// The termios implementation of SerialPort. The system calls that decide
// whether an open succeeds go through PosixCalls, so that tests can make them
// fail with errors that root never sees (EACCES, EBUSY).
#include <functional>
#include <memory>

#include "serial/SerialPort.h"

namespace qx::serial {

struct PosixCalls {
    // Same meaning and errno as open(2) and flock(2).
    std::function<int(const char* path, int flags)> open;
    std::function<int(int fd, int operation)> flock;

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
