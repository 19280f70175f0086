#pragma once
// An in-memory serial line for tests, driven by a clock (normally virtual):
// a read with a time-out on a silent line advances the clock and returns at once.
// The far end is a LineDevice: the module emulator or a scripted device.
#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

#include "host/Clock.h"
#include "serial/SerialPort.h"

namespace qx::serial {

// The far end of a MemoryLine. Times are the line's clock in milliseconds.
class LineDevice {
public:
    virtual ~LineDevice() = default;
    // A byte the host wrote arrives at the device at time nowMs.
    virtual void OnHostByte(uint8_t byte, int64_t nowMs) = 0;
    // Appends to out every byte the device sends up to nowMs.
    virtual void Produce(int64_t nowMs, std::vector<uint8_t>& out) = 0;
    // Earliest time after nowMs at which the device will send a byte, or -1.
    virtual int64_t NextOutputTime(int64_t nowMs) = 0;
};

class MemoryLine final : public SerialPort {
public:
    // Neither clock nor device is owned; both must outlive the line.
    MemoryLine(Clock& clock, LineDevice* device, std::size_t rxCapacity = 4096);
    // ... implementation-defined test controls follow in the implementation header.
};

}  // namespace qx::serial
