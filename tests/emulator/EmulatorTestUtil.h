#pragma once
// Helpers for driving the module emulator in tests: a core on a virtual time
// line, and an independent reading of frames (its own checksum, so a fault in
// the emulator's frame building cannot hide itself).
#include <cstdint>
#include <optional>
#include <vector>

#include "emulator/EmulatorCore.h"

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

// The frame at the start of bytes when it is complete and sound.
inline std::optional<Frame> ParseFrame(const Bytes& bytes, std::size_t at = 0) {
    if (bytes.size() < at + 6 || bytes[at] != 0x02) return std::nullopt;
    const std::size_t length = bytes[at + 1] | (bytes[at + 2] << 8);
    if (length == 0 || bytes.size() < at + length + 5) return std::nullopt;
    Frame frame{bytes[at + 3], Bytes(bytes.begin() + at + 4, bytes.begin() + at + 3 + length)};
    if (bytes[at + 3 + length] !=
        ReferenceChecksum(frame.code, frame.data.data(), frame.data.size()))
        return std::nullopt;
    if (bytes[at + 4 + length] != 0x03) return std::nullopt;
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

inline Bytes Read(uint16_t address, uint16_t count) {
    const uint8_t d[] = {static_cast<uint8_t>(address), static_cast<uint8_t>(address >> 8),
                         static_cast<uint8_t>(count), static_cast<uint8_t>(count >> 8)};
    return {0x02, 0x05, 0x00, 0x01, d[0], d[1], d[2], d[3], ReferenceChecksum(0x01, d, 4), 0x03};
}

inline Bytes Write(uint16_t address, uint8_t value) {
    const uint8_t d[] = {static_cast<uint8_t>(address), static_cast<uint8_t>(address >> 8), 1, 0,
                         value};
    return {0x02, 0x06, 0x00, 0x02, d[0], d[1], d[2], d[3], d[4], ReferenceChecksum(0x02, d, 5),
            0x03};
}

inline Bytes MonitorStart(uint16_t address, uint16_t count) {
    Bytes frame = Read(address, count);
    frame[3] = 0x03;
    frame[8] = ReferenceChecksum(0x03, frame.data() + 4, 4);
    return frame;
}

// Reads count bytes of module memory through the wire.
inline Bytes ReadMemory(Bench& bench, uint16_t address, uint16_t count) {
    const auto frame = ParseFrame(bench.Send(Read(address, count), 20'000 + count * 1100));
    return frame ? frame->data : Bytes{};
}

}  // namespace qx::emu::test
