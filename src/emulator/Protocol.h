#pragma once
// The module's side of the wire: control bytes, request commands, response
// types, the frame checksum and frame building. Frames are
//   STX, length (16-bit little-endian: data bytes + 1), code, data, checksum, ETX.
// Everything returned is a value owned by the caller.
#include <cstdint>
#include <span>
#include <vector>

namespace qx::emu {

inline constexpr uint8_t kStx = 0x02;
inline constexpr uint8_t kEtx = 0x03;
inline constexpr uint8_t kAck = 0x06;
inline constexpr uint8_t kNak = 0x15;
inline constexpr uint8_t kCan = 0x18;  // wake-up; twice in a row it cancels a stream

inline constexpr uint8_t kCmdIdentify = 0x00;
inline constexpr uint8_t kCmdRead = 0x01;
inline constexpr uint8_t kCmdWrite = 0x02;
inline constexpr uint8_t kCmdMonitorStart = 0x03;

inline constexpr uint8_t kRespIdentify = 0x80;
inline constexpr uint8_t kRespRead = 0x81;
inline constexpr uint8_t kRespMonitor = 0x83;

// Start value is the code byte; each data byte: rotate left by one, then XOR it in.
uint8_t FrameChecksum(uint8_t code, std::span<const uint8_t> data);

// A whole frame, data.size() + 6 bytes.
std::vector<uint8_t> BuildFrame(uint8_t code, std::span<const uint8_t> data);

// Request frames as the host sends them (used by tests and tools that drive the device).
std::vector<uint8_t> IdentifyRequest();
std::vector<uint8_t> ReadRequest(uint16_t address, uint16_t count);
std::vector<uint8_t> WriteRequest(uint16_t address, uint8_t value);
std::vector<uint8_t> MonitorStartRequest(uint16_t address, uint16_t count);

}  // namespace qx::emu
