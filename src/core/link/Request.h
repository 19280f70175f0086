#pragma once
// A request frame to the module before it is framed: its command and the data
// fields, of which the first dataLength bytes go on the wire in the order
// address (little-endian), second word (little-endian), value.
#include <cstddef>
#include <cstdint>

namespace qx {

namespace wire {
inline constexpr uint8_t STX = 0x02;
inline constexpr uint8_t ETX = 0x03;
inline constexpr uint8_t ACK = 0x06;
inline constexpr uint8_t NAK = 0x15;
inline constexpr uint8_t CAN = 0x18;

inline constexpr uint8_t kIdentify = 0x00;
inline constexpr uint8_t kRead = 0x01;
inline constexpr uint8_t kWrite = 0x02;
inline constexpr uint8_t kMonitorStart = 0x03;

inline constexpr uint8_t kIdentifyResponse = 0x80;
inline constexpr uint8_t kReadResponse = 0x81;
inline constexpr uint8_t kMonitorPacket = 0x83;

// Both the transmit buffer and the data of one response hold at most this many bytes.
inline constexpr std::size_t kBufferSize = 128;
// STX, two length bytes, code, checksum, ETX.
inline constexpr std::size_t kFrameOverhead = 6;

// Rotate the accumulator left by one bit, then xor the next data byte; starts with the code.
uint8_t Checksum(uint8_t code, const uint8_t* data, std::size_t count);
// True for the types the response reader accepts.
bool IsAcceptedType(uint8_t type);
}  // namespace wire

struct Request {
    uint16_t dataLength = 0;
    uint8_t command = wire::kIdentify;
    uint16_t address = 0;
    uint16_t word2 = 0;
    uint8_t value = 0;

    static Request Identify() { return Request{}; }
    static Request Read(uint16_t address, uint16_t count) {
        return Request{4, wire::kRead, address, count, 0};
    }
    static Request MonitorStart(uint16_t address, uint16_t count) {
        return Request{4, wire::kMonitorStart, address, count, 0};
    }
    // One byte at address; the count word is always 1.
    static Request Write(uint16_t address, uint8_t value) {
        return Request{5, wire::kWrite, address, 1, value};
    }

    // Writes the whole frame to out (room for at least FrameLength() bytes);
    // returns the number of bytes written.
    std::size_t BuildFrame(uint8_t* out) const;
    std::size_t FrameLength() const {
        return (dataLength <= 5 ? dataLength : 5) + wire::kFrameOverhead;
    }
};

}  // namespace qx
