#pragma once
// The bytes the module's table allows at each address, written out by hand
// from the module's description, apart from the program's own tables: maps at
// 0xB600 (front and rear spark advance: 0..45), 0xB620 (VOES: 0..20), 0xB630
// and 0xB650 (0..15), 0xB640 (0..255); the basic block with its signed
// (sign-magnitude) settings. Nothing else is ever written by an edit or a
// download.
#include <cstdint>

namespace qx::test {

inline bool TableAllowsByte(uint16_t a, uint8_t b) {
    auto signedWithin = [b](int limit) { return (b & 0x7F) <= limit; };
    if (a >= 0xB600 && a < 0xB620) return b <= 45;
    if (a >= 0xB620 && a < 0xB630) return b <= 20;
    if (a >= 0xB630 && a < 0xB640) return b <= 15;
    if (a >= 0xB640 && a < 0xB650) return true;
    if (a >= 0xB650 && a < 0xB660) return b <= 15;
    switch (a) {
        case 0xB661:  // ignition mode: single or dual fire
            return b == 1 || b == 2;
        case 0xB670:  // switch lockout: off or on
            return b == 0 || b == 0xAA;
        case 0xB66C:  // cam sensor sync, -15 .. 15
        case 0xB66B:  // start mode enter
        case 0xB66A:  // start mode exit
            return signedWithin(15);
        case 0xB662:  // rev limit, -32 .. 32
        case 0xB66D:  // aux rev limit
            return signedWithin(32);
        case 0xB668:  // cam sensor offset 0 .. 15
        case 0xB66F:  // nitrous delay
        case 0xB667:  // NOS arming rpm
            return b <= 15;
        case 0xB669:  // ignition delay 0 .. 5
            return b <= 5;
        case 0xB671:  // rev limit rate 0 .. 8
            return b <= 8;
        default:
            return false;
    }
}

}  // namespace qx::test
