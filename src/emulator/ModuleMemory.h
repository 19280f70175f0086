#pragma once
// The module's 64 KiB address space as the tuning tool sees it: the six maps,
// the basic settings block, the serial number, the firmware byte, and the live
// RAM values, whose addresses depend on the firmware.
#include <array>
#include <cstdint>

namespace qx::emu {

using Memory = std::array<uint8_t, 0x10000>;

inline constexpr uint16_t kMapsAddress = 0xB600;  // six maps of 16 bytes
inline constexpr int kMapCount = 6;
inline constexpr int kMapPoints = 16;
inline constexpr uint16_t kBasicBlockAddress = 0xB661;
inline constexpr uint16_t kBasicBlockLength = 17;
inline constexpr uint16_t kRevLimitAddress = 0xB662;
inline constexpr uint16_t kSerialNumberAddress = 0xB7FE;  // big-endian word
inline constexpr uint16_t kFirmwareAddress = 0xFFD5;

inline constexpr uint8_t kFirmware10 = 0x10;

// Where a firmware keeps its live values, and the RAM block a monitor streams.
struct LiveLayout {
    uint16_t engineSpeed;   // big-endian word, 8250/512 rpm per count
    uint16_t acceleration;  // 16 rpm/s per count
    uint16_t peakAcceleration;
    uint16_t frontAdvance;  // 1 degree per count
    uint16_t rearAdvance;
    uint16_t battery;     // 16/255 V per count
    uint16_t voesRetard;  // 1 degree per count
    uint16_t blockStart;
    uint16_t blockCount;
};

// Firmware 1.0 (and 0xFF, "none identified") uses the first set, every other the second.
LiveLayout LayoutForFirmware(uint8_t firmware);

// A fresh module: zeroed RAM, a plausible tune at 0xB600-0xB671, the serial
// number and the firmware byte.
void InstallDefaultImage(Memory& memory, uint8_t firmware, uint16_t serialNumber);

// The rev limit the basic settings hold, in rpm (sign-magnitude byte, 128 rpm per count).
double DecodeRevLimit(const Memory& memory);

}  // namespace qx::emu
