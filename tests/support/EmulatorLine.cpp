#include "support/EmulatorLine.h"

namespace qx::emu {

namespace {

int64_t CeilMs(int64_t us) {
    return (us + 999) / 1000;
}

}  // namespace

int64_t EmulatorLine::NextOutputTime(int64_t nowMs) {
    // One byte at a time, or as a modelled adapter passes them on.
    const int64_t us = core_.NextDeliveryUs(nowMs * 1000, 1);
    const int64_t goneUs = core_.GoneAtUs();
    if (line_ != nullptr && goneUs >= 0) {
        // Called outside the line's own collection, so it may change the line here.
        if (core_.IsGone(nowMs * 1000)) {
            line_->SetGone(true);
            return -1;
        }
        if (us < 0 || goneUs < us) return CeilMs(goneUs);
    }
    if (us < 0) return -1;
    return CeilMs(us);  // a byte is readable only once it has fully arrived
}

}  // namespace qx::emu
