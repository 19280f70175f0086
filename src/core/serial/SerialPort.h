#pragma once
// The serial layer: one opened port and its byte stream. This keeps the
// contract the link relies on (read a byte with a time-out, write a byte,
// counts, flushes, GetBuffer, pending line error) with names of our own.
//
// Errors of the layer have three meanings:
//   CallerBug    - the caller broke the contract (bad index, null buffer);
//   OsFailure    - the system refused (the errno is kept, with a readable reason);
//   NotSupported - the driver cannot do what was asked (no error counters).
// A vanished device (USB adapter unplugged) is a state of its own: IsGone().
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/host/Host.h"

namespace qx::serial {

inline constexpr int kReadTimeout = -802;  // no byte within the time-out
inline constexpr int kDeviceGone = -803;   // the device has gone; never a time-out

enum class ErrorKind { None, CallerBug, OsFailure, NotSupported };

// Bits of the status word GetCommError fills in.
inline constexpr uint16_t kLineRxOverflow = 0x0001;  // the receive buffer was full; bytes lost
inline constexpr uint16_t kLineOverrun = 0x0002;     // the UART lost bytes
inline constexpr uint16_t kLineParity = 0x0004;
inline constexpr uint16_t kLineFraming = 0x0008;
inline constexpr uint16_t kLineBreak = 0x0010;
inline constexpr uint16_t kLineDeviceGone = 0x8000;  // reported once, when the device vanishes

// Line speeds: any whole number of bits per second in [kMinBaud, kMaxBaud]; the
// driver is asked for exactly that speed and an open fails when it will not run
// within kBaudTolerancePercent of it.
inline constexpr int kDefaultBaud = 9600;
inline constexpr int kMinBaud = 50;
inline constexpr int kMaxBaud = 4'000'000;
inline constexpr int kBaudTolerancePercent = 2;
bool IsValidBaud(int baud);
// True when a line running at actual serves a request for asked.
bool BaudMatches(int actual, int asked);
// Microseconds one 8N1 byte (10 bits) takes at baud (kDefaultBaud when baud is
// not valid), rounded.
int ByteTimeUsAt(int baud);

struct OpenError {
    ErrorKind kind = ErrorKind::None;
    int errnoValue = 0;
    std::string device;  // the device path that was tried
    std::string reason;  // one readable line: no such device, permission denied
                         // (naming the group that owns the device), in use by another program
};

class SerialPort {
  public:
    virtual ~SerialPort() = default;  // releases the port

    // The byte 0..255, kReadTimeout when none came within timeoutMs, kDeviceGone.
    virtual int ReadByte(int timeoutMs) = 0;
    // 0 when the byte was accepted; anything else is a failure.
    virtual int WriteByte(uint8_t byte) = 0;
    // Writes bytes in order, stopping at the first refused; returns how many were
    // accepted. A frame handed over at once leaves as one burst, as on the wire.
    virtual std::size_t WriteBytes(const uint8_t* bytes, std::size_t count) {
        std::size_t sent = 0;
        while (sent < count && WriteByte(bytes[sent]) == 0) ++sent;
        return sent;
    }
    virtual std::size_t RXCount() = 0;
    virtual std::size_t TXCount() = 0;
    virtual void RXFlush() = 0;
    virtual void TXFlush() = 0;
    // Places up to count bytes in buffer, waiting at most timeoutMs for them;
    // returns how many were placed (may be fewer).
    virtual std::size_t GetBuffer(uint8_t* buffer, std::size_t count, int timeoutMs) = 0;
    // Non-zero when a line error (framing, overrun, parity, break) is pending
    // since the last call; status receives a bit set of what happened (kLine...).
    // The vanishing of the device counts once, on the first call after it.
    virtual int GetCommError(uint16_t& status) = 0;
    // True once the device has hung up (EIO, POLLHUP).
    virtual bool IsGone() = 0;

    // The descriptor to watch for readable data, or -1 (in-memory lines).
    virtual int PollFd() const { return -1; }
    // Sleeps until at least n bytes wait, timeoutMs pass or the device goes.
    // Ready, Timeout or DeviceGone. Dispatches nothing. Never spins: a
    // hung-up descriptor ends the wait at once.
    virtual WaitOutcome WaitForBytes(std::size_t n, int timeoutMs) = 0;
    // Microseconds one byte takes on the line (10 bits at the line speed).
    virtual int ByteTimeUs() const { return 1042; }
    // How long the device may hold received bytes before passing them on (a
    // USB adapter's latency timer), in milliseconds; 0 for a plain line.
    virtual int ReceiveHoldMs() const { return 0; }
    virtual std::string DevicePath() const = 0;
};

struct PortSettings {
    std::string device;  // e.g. /dev/ttyS0, /dev/ttyUSB0, a pty slave
    int baud = 9600;     // 8 data bits, no parity, 1 stop bit, no flow control
};

// Opens a POSIX serial device exclusively (flock + TIOCEXCL), raw 8N1, no flow
// control, at exactly the speed asked (NotSupported when the driver refuses it),
// and asks the driver for low latency (a USB adapter then passes received bytes
// on after 1 ms instead of its usual 16), given back on close. Returns null and
// fills why (when not null) on failure. The caller owns the result.
std::unique_ptr<SerialPort> OpenPosixPort(const PortSettings& settings, OpenError* why);

// True when path (links followed) names a character device: an unplugged USB
// adapter's node, or its stable link, is gone until it is plugged back.
bool DevicePresent(const std::string& path);

// COMn (index 0..3) to its device: profile "Ports"/"COMn", else /dev/ttyS<n-1>.
// An index out of range gives "".
std::string DeviceForPortIndex(int index);
// The line speed: profile "Settings"/"Baud Rate", default 9600; a value that is
// no valid speed gives 9600.
int ConfiguredBaud();
// "" when the profile's "Baud Rate" is absent or a valid speed; else one line
// naming the value and the profile, for qvx to refuse and the program to say.
std::string BaudSettingProblem();

// A serial device that exists on this machine.
struct PortInfo {
    std::string device;         // /dev/ttyUSB0: the kernel's name, which may change on a replug
    std::string description;    // "FTDI FT232R USB UART" or "" when unknown
    std::vector<int> comSlots;  // COM indexes (0..3) whose device is this one
    // The link in the by-id folder that follows this adapter across replugs and
    // reboots, e.g. /dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0;
    // "" when there is none (built-in ports, whose names never change).
    std::string stableName;
    std::string serialNumber;  // the USB serial number, "" when unknown
    // A USB adapter's latency timer in ms (how long it holds received bytes),
    // from sysfs (device/latency_timer); -1 where the driver shows none.
    int latencyTimerMs = -1;

    // The name to store in the profile: the stable name where there is one.
    const std::string& Name() const { return stableName.empty() ? device : stableName; }
    // True when name (as a profile may hold it) stands for this port.
    bool IsNamed(const std::string& name) const {
        return !name.empty() && (name == device || name == stableName);
    }
};
inline constexpr const char* kSerialByIdRoot = "/dev/serial/by-id";
// Lists from sysfsRoot (normally /sys/class/tty), leaving out nodes with no
// device behind them (virtual consoles, ptys) and ttyS nodes with no hardware,
// in natural name order. Stable names are the links in byIdRoot (names stay
// under byIdRoot; only each link's last component is used to find its tty).
// A missing root gives an empty list; a missing byIdRoot no stable names.
std::vector<PortInfo> ListPorts(const std::string& sysfsRoot = "/sys/class/tty",
                                const std::string& byIdRoot = kSerialByIdRoot);

}  // namespace qx::serial
