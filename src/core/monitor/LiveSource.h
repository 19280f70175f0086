#pragma once
// Where the live engine values come from. Two sources feed the displays: the
// RAM monitor (the module's streamed RAM) and the log player (a recorded ride).
// Displays read values and ask whether they are backed only through the active
// source of the sample channel (core/monitor/SampleChannel.h), so they do not
// know which one feeds them.
#include <cstddef>
#include <cstdint>

namespace qx {

class LiveSource {
  public:
    virtual ~LiveSource();
    // Copies length bytes for module addresses moduleAddress..; false when
    // the bytes are not backed by a valid sample.
    virtual bool GetImageBytes(uint8_t* dest, uint16_t moduleAddress, std::size_t length) = 0;
    // The value boxes show numbers only while this holds.
    virtual bool BacksValues() const = 0;
    // The graph shows the live bar while this holds.
    virtual bool ShowsLiveBar() const = 0;
    // Milliseconds of the current sample on the source's own time line.
    virtual int64_t SampleTimeMs() const = 0;
};

}  // namespace qx
