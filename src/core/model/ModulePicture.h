#pragma once
// What the program knows the module holds: for each byte of module memory, the
// value the module is known to hold, or nothing (unknown). An upload sets it
// from the bytes read, an acknowledged write from the byte written; a failed or
// unanswered write, a break during an exchange and another module make bytes
// unknown. Every question of the kind "is this in sync", "what must be
// written", "what changed while the link was away" is answered from here.
//
// Beside each known byte it keeps the byte the document would have written at
// the moment the module's byte became known (the agreed byte): an upload of a
// byte off the program's step shows out of sync from the start, without
// counting as a change the tuner made.
//
// Ownership: the document owns its picture; the document's values keep a
// pointer to it (the picture is declared before them and outlives them).
#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

namespace qx {

class ModulePicture {
  public:
    struct Byte {
        uint8_t held = 0;
        int agreed = -1;  // -1: the document could not write what the module held
        bool operator==(const Byte&) const = default;
    };

    // The bytes at address .. address + count - 1; empty unless every one is known.
    std::vector<uint8_t> Held(uint16_t address, std::size_t count) const;
    // The agreed bytes there; empty unless every one is known and agreed.
    std::vector<uint8_t> Agreed(uint16_t address, std::size_t count) const;

    // An acknowledged write: the module holds b and the document wanted it.
    void Written(uint16_t address, uint8_t b);
    // Bytes read from the module, with what the document makes of them
    // (agreed empty: the document cannot write them back as read).
    void Read(uint16_t address, const std::vector<uint8_t>& held,
              const std::vector<uint8_t>& agreed);
    void Forget(uint16_t address, std::size_t count);
    void ForgetAll() { bytes_.clear(); }

    bool KnowsAny() const { return !bytes_.empty(); }
    bool Knows(uint16_t address) const { return bytes_.count(address) != 0; }
    // Every known byte by address (tests compare it with the module's memory).
    const std::map<uint16_t, Byte>& Bytes() const { return bytes_; }

  private:
    std::map<uint16_t, Byte> bytes_;
};

}  // namespace qx
