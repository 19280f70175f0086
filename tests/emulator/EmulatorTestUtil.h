#pragma once
// Helpers for driving the module emulator in tests: a core on a virtual time
// line, an independent reading of frames (its own checksum, so a fault in the
// emulator's frame building cannot hide itself) and a host end of a pty.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "emulator/EmulatorCore.h"
#include "emulator/Protocol.h"

namespace qx::emu::test {

using Bytes = std::vector<uint8_t>;

inline uint8_t ReferenceChecksum(uint8_t code, const uint8_t* data, std::size_t n) {
    unsigned sum = code;
    for (std::size_t i = 0; i < n; ++i) sum = (((sum << 1) | (sum >> 7)) & 0xFF) ^ data[i];
    return static_cast<uint8_t>(sum);
}

struct Frame {
    uint8_t code = 0;
    Bytes data;
};

// The frame at bytes[at] when it is complete and sound.
inline std::optional<Frame> ParseFrame(const Bytes& bytes, std::size_t at = 0) {
    if (bytes.size() < at + 6 || bytes[at] != 0x02) return std::nullopt;
    const std::size_t length = bytes[at + 1] | (bytes[at + 2] << 8);
    if (length == 0 || bytes.size() < at + length + 5) return std::nullopt;
    Frame frame{bytes[at + 3], Bytes(bytes.begin() + at + 4, bytes.begin() + at + 3 + length)};
    if (bytes[at + 3 + length] !=
            ReferenceChecksum(frame.code, frame.data.data(), frame.data.size()) ||
        bytes[at + 4 + length] != 0x03)
        return std::nullopt;
    return frame;
}

// A core with its own time line, in microseconds.
struct Bench {
    explicit Bench(const EmulatorConfig& config = {}) : core(config) {}

    // Sends request now, lets waitUs pass and returns what arrived meanwhile.
    Bytes Send(const Bytes& request, int64_t waitUs = 50'000) {
        core.HostSends(request, now);
        return Wait(waitUs);
    }
    Bytes Wait(int64_t us) {
        now += us;
        Bytes out;
        core.Collect(now, out);
        return out;
    }

    EmulatorCore core;
    int64_t now = 1'000'000;
};

inline const Bytes kIdentify = {0x02, 0x01, 0x00, 0x00, 0x00, 0x03};
inline const Bytes kIdentity10 = {0x02, 0x02, 0x00, 0x80, 0x10, 0x11, 0x03};

// Reads count bytes of module memory through the wire.
inline Bytes ReadMemory(Bench& bench, uint16_t address, uint16_t count) {
    const auto frame = ParseFrame(bench.Send(ReadRequest(address, count), 20'000 + count * 1100));
    return frame ? frame->data : Bytes{};
}

using Clock = std::chrono::steady_clock;

// The host's end of a pseudo-terminal: the slave opened raw, as a serial port
// would be, and read with plain POSIX calls.
struct HostEnd {
    explicit HostEnd(const std::string& path)
        : fd(open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) {
        termios tio{};
        tcgetattr(fd, &tio);
        cfmakeraw(&tio);
        tcsetattr(fd, TCSANOW, &tio);
    }
    ~HostEnd() {
        if (fd >= 0) close(fd);
    }
    void Send(const Bytes& bytes) {
        ASSERT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
    // Reads until count bytes came, the line hung up or the deadline passed.
    Bytes Receive(std::size_t count, int deadlineMs = 3000) {
        Bytes out;
        const auto end = Clock::now() + std::chrono::milliseconds(deadlineMs);
        while (out.size() < count && Clock::now() < end) {
            pollfd p{fd, POLLIN, 0};
            if (poll(&p, 1, 50) <= 0) continue;
            if (p.revents & (POLLHUP | POLLERR)) break;
            uint8_t buffer[4096];
            const ssize_t n = read(fd, buffer, std::min(sizeof buffer, count - out.size()));
            if (n > 0) out.insert(out.end(), buffer, buffer + n);
        }
        return out;
    }
    Bytes Exchange(const Bytes& request, std::size_t count) {
        Send(request);
        return Receive(count);
    }
    bool HungUp() {
        const auto end = Clock::now() + std::chrono::seconds(3);
        for (pollfd p{fd, POLLIN, 0}; Clock::now() < end;)
            if (poll(&p, 1, 50) > 0 && (p.revents & POLLHUP)) return true;
        return false;
    }
    int Queued() const {
        int n = 0;
        ioctl(fd, FIONREAD, &n);
        return n;
    }
    int fd;
};

}  // namespace qx::emu::test
