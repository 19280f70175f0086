#include "emulator/ModuleMemory.h"

#include <algorithm>

namespace qx::emu {

LiveLayout LayoutForFirmware(uint8_t firmware) {
    if (firmware == kFirmware10 || firmware == 0xFF) {
        return LiveLayout{0x78, 0x7C, 0x7D, 0x4E, 0x4F, 0x45, 0x5C, 0x45, 57};
    }
    return LiveLayout{0x48, 0x4A, 0x4B, 0x42, 0x43, 0x40, 0x4C, 0x40, 14};
}

namespace {

// Sixteen points each, at 550 rpm apart (maps 0-2), 272 rpm/s (3, 5) or 16/15 V (4).
constexpr uint8_t kFrontAdvance[kMapPoints] = {10, 10, 12, 15, 19, 23, 27, 30,
                                               32, 34, 35, 35, 35, 35, 35, 35};
constexpr uint8_t kRearAdvance[kMapPoints] = {10, 10, 12, 15, 18, 22, 26, 29,
                                              31, 33, 34, 34, 34, 34, 34, 34};
constexpr uint8_t kVoesRetard[kMapPoints] = {0, 0, 0, 0, 2, 4, 6, 8, 8, 8, 8, 8, 8, 8, 8, 8};
constexpr uint8_t kAccelAdvance[kMapPoints] = {0, 1, 2, 3, 4, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5};
// 1/17 ms per count: long dwell on a weak battery, about 3.5 ms at 14 V.
constexpr uint8_t kBaseDwell[kMapPoints] = {255, 255, 255, 255, 255, 238, 204, 170,
                                            144, 119, 102, 85,  76,  68,  59,  51};
constexpr uint8_t kAccelDwell[kMapPoints] = {0, 0, 1, 1, 2, 2, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3};

void PutMap(Memory& memory, int index, const uint8_t (&points)[kMapPoints]) {
    std::copy(std::begin(points), std::end(points), memory.begin() + kMapsAddress + index * 16);
}

}  // namespace

void InstallDefaultImage(Memory& memory, uint8_t firmware, uint16_t serialNumber) {
    memory.fill(0);
    PutMap(memory, 0, kFrontAdvance);
    PutMap(memory, 1, kRearAdvance);
    PutMap(memory, 2, kVoesRetard);
    PutMap(memory, 3, kAccelAdvance);
    PutMap(memory, 4, kBaseDwell);
    PutMap(memory, 5, kAccelDwell);

    // The basic settings at their default values, encoded as the module holds them.
    // The bytes that belong to no setting read as erased EEPROM.
    std::fill_n(memory.begin() + kBasicBlockAddress, kBasicBlockLength, uint8_t{0xFF});
    memory[0xB661] = 0x02;  // ignition mode: dual fire
    memory[0xB662] = 0x01;  // rev limit 6144 rpm
    memory[0xB667] = 0x07;  // NOS arming 3850 rpm
    memory[0xB668] = 0x01;  // cam sensor offset 8 ms
    memory[0xB669] = 0x00;  // ignition delay 0 rev
    memory[0xB66A] = 0x00;  // start mode exit 512 rpm
    memory[0xB66B] = 0x85;  // start mode enter 341 rpm (-5)
    memory[0xB66C] = 0x00;  // cam sensor sync 0 deg
    memory[0xB66D] = 0x01;  // aux rev limit 6144 rpm
    memory[0xB66F] = 0x00;  // nitrous delay 0 s
    memory[0xB670] = 0x00;  // switch lockout off
    memory[0xB671] = 0x04;  // rev limit rate 4

    memory[kSerialNumberAddress] = static_cast<uint8_t>(serialNumber >> 8);
    memory[kSerialNumberAddress + 1] = static_cast<uint8_t>(serialNumber & 0xFF);
    memory[kFirmwareAddress] = firmware;
}

double DecodeRevLimit(const Memory& memory) {
    const uint8_t raw = memory[kRevLimitAddress];
    const int internal = std::clamp((raw & 0x80) ? -(raw & 0x7F) : int{raw}, -32, 32);
    return 1904.0 + 128.0 * (internal + 32);
}

}  // namespace qx::emu
