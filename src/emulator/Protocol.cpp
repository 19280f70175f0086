#include "emulator/Protocol.h"

namespace qx::emu {

uint8_t FrameChecksum(uint8_t code, std::span<const uint8_t> data) {
    uint8_t sum = code;
    for (uint8_t byte : data) {
        sum = static_cast<uint8_t>((sum << 1) | (sum >> 7));
        sum ^= byte;
    }
    return sum;
}

std::vector<uint8_t> BuildFrame(uint8_t code, std::span<const uint8_t> data) {
    const std::size_t length = data.size() + 1;
    std::vector<uint8_t> frame;
    frame.reserve(data.size() + 6);
    frame.push_back(kStx);
    frame.push_back(static_cast<uint8_t>(length & 0xFF));
    frame.push_back(static_cast<uint8_t>((length >> 8) & 0xFF));
    frame.push_back(code);
    frame.insert(frame.end(), data.begin(), data.end());
    frame.push_back(FrameChecksum(code, data));
    frame.push_back(kEtx);
    return frame;
}

namespace {

std::vector<uint8_t> AddressCountRequest(uint8_t command, uint16_t address, uint16_t count) {
    const uint8_t data[] = {static_cast<uint8_t>(address & 0xFF),
                            static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(count & 0xFF),
                            static_cast<uint8_t>(count >> 8)};
    return BuildFrame(command, data);
}

}  // namespace

std::vector<uint8_t> IdentifyRequest() {
    return BuildFrame(kCmdIdentify, {});
}

std::vector<uint8_t> ReadRequest(uint16_t address, uint16_t count) {
    return AddressCountRequest(kCmdRead, address, count);
}

std::vector<uint8_t> WriteRequest(uint16_t address, uint8_t value) {
    const uint8_t data[] = {static_cast<uint8_t>(address & 0xFF),
                            static_cast<uint8_t>(address >> 8), 1, 0, value};
    return BuildFrame(kCmdWrite, data);
}

std::vector<uint8_t> MonitorStartRequest(uint16_t address, uint16_t count) {
    return AddressCountRequest(kCmdMonitorStart, address, count);
}

}  // namespace qx::emu
