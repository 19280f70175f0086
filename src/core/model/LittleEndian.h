#pragma once
// Little-endian fields of the settings file: integers of 1 to 8 bytes and
// IEEE doubles, independent of the machine's byte order.
#include <cstdint>
#include <cstring>
#include <vector>

namespace qx::le {

inline void Put(std::vector<uint8_t>& out, uint64_t bits, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(bits >> (8 * i)));
}

inline uint64_t Get(const uint8_t* p, int bytes) {
    uint64_t bits = 0;
    for (int i = 0; i < bytes; ++i) bits |= static_cast<uint64_t>(p[i]) << (8 * i);
    return bits;
}

inline void PutDouble(std::vector<uint8_t>& out, double d) {
    uint64_t bits;
    std::memcpy(&bits, &d, sizeof bits);
    Put(out, bits, 8);
}

inline double GetDouble(const uint8_t* p) {
    const uint64_t bits = Get(p, 8);
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

}  // namespace qx::le
