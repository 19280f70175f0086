#pragma once
// The module emulator as the far end of an in-memory serial line, so the link
// code runs against it on a virtual clock with no threads. The line speaks in
// milliseconds; the module keeps microseconds and rounds its next byte up.
#include <cstdint>
#include <vector>

#include "emulator/EmulatorCore.h"
#include "support/MemoryLine.h"

namespace qx::emu {

class EmulatorLine final : public serial::LineDevice {
  public:
    explicit EmulatorLine(const EmulatorConfig& config = {}) : core_(config) {}

    // The host wrote the byte at nowMs; the module models its wire time.
    void OnHostByte(uint8_t byte, int64_t nowMs) override { core_.HostSends(byte, nowMs * 1000); }
    void Produce(int64_t nowMs, std::vector<uint8_t>& out) override {
        core_.Collect(nowMs * 1000, out);
    }
    int64_t NextOutputTime(int64_t nowMs) override;

    // True once a vanish fault has taken the device away.
    bool IsGone(int64_t nowMs) const { return core_.IsGone(nowMs * 1000); }
    // The line to tell when the device vanishes (not owned; may be null). The
    // line hears of it while it waits for the device, as a host would.
    void AttachLine(serial::MemoryLine* line) { line_ = line; }

    // The module itself, owned by this line device.
    EmulatorCore& Core() { return core_; }

  private:
    EmulatorCore core_;
    serial::MemoryLine* line_ = nullptr;
};

}  // namespace qx::emu
