#pragma once
// Where the live engine values come from. Two sources feed the displays: the
// RAM monitor (the module's streamed RAM) and the log player (a recorded ride).
// Displays read values and ask whether they are backed only through the active
// source, so they do not know which one feeds them. Every new sample, from
// either source, is announced to the observers (recorder, chart, coverage).
#include <cstddef>
#include <cstdint>
#include <functional>

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

// The source the displays read: the one installed, else the RAM monitor when
// it exists, else null.
LiveSource* ActiveLiveSource();
// Installs source in front of the RAM monitor (null: back to the monitor).
// Not owned; the caller removes it before destroying it.
void SetLiveSourceOverride(LiveSource* source);
LiveSource* LiveSourceOverride();

// Observers of every new sample. first: the first since the source (re)started.
using SampleObserver = std::function<void(LiveSource& source, bool first)>;
// Returns an id for RemoveSampleObserver; observers run in the order added.
int AddSampleObserver(SampleObserver observer);
void RemoveSampleObserver(int id);
// Called by a source after a new sample; an observer may add or remove
// observers (itself included) while this runs.
void NotifySample(LiveSource& source, bool first);

}  // namespace qx
