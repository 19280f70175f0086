#include "core/link/Request.h"

namespace qx {

namespace wire {

uint8_t Checksum(uint8_t code, const uint8_t* data, std::size_t count) {
    uint8_t sum = code;
    for (std::size_t i = 0; i < count; ++i) {
        sum = static_cast<uint8_t>((sum << 1) | (sum >> 7));
        sum ^= data[i];
    }
    return sum;
}

bool IsAcceptedType(uint8_t type) {
    switch (type) {
        case kIdentify:
        case kRead:
        case kWrite:
        case kMonitorStart:
        case kIdentifyResponse:
        case kReadResponse:
        case kMonitorPacket:
            return true;
        default:
            return false;
    }
}

}  // namespace wire

std::size_t Request::BuildFrame(uint8_t* out) const {
    const uint8_t fields[5] = {
        static_cast<uint8_t>(address & 0xFF),
        static_cast<uint8_t>(address >> 8),
        static_cast<uint8_t>(word2 & 0xFF),
        static_cast<uint8_t>(word2 >> 8),
        value,
    };
    // Only the three data fields exist; a longer length would read past them.
    const std::size_t n = dataLength <= sizeof fields ? dataLength : sizeof fields;
    const uint16_t length = static_cast<uint16_t>(n + 1);
    std::size_t i = 0;
    out[i++] = wire::STX;
    out[i++] = static_cast<uint8_t>(length & 0xFF);
    out[i++] = static_cast<uint8_t>(length >> 8);
    out[i++] = command;
    for (std::size_t k = 0; k < n; ++k) out[i++] = fields[k];
    out[i++] = wire::Checksum(command, fields, n);
    out[i++] = wire::ETX;
    return i;
}

}  // namespace qx
