#pragma once
// Live monitoring on an established link, for as long as asked or until the
// host is asked to quit (Ctrl+C): the stream is started, each packet is read
// into the RAM monitor's image, a stream that fails is started again, a backlog
// beyond the restart threshold restarts the stream, and at the end the stream is
// cancelled so that the module is quiet.
#include <cstdint>
#include <functional>

namespace qx {
class CommPort;
class Host;
class RamMonitor;
}  // namespace qx

namespace qx::qvx {

// Longer than this without a good packet (some thirty packet times at 9600
// baud) the module is taken to have fallen silent: said at once, and the run
// fails.
inline constexpr int64_t kSilenceLimitMs = 2000;

struct MonitorStats {
    int goodPackets = 0;
    int badPackets = 0;
    int restarts = 0;          // stream restarts after a failure or a backlog
    int64_t elapsedMs = 0;     // from the start request to the end
    bool interrupted = false;  // the host was asked to quit
    bool commFailure = false;  // the stream could not be (re)started or the link went down
    bool stopped = false;      // the cancel request was sent at the end
    // The longest time without a good packet, from the start request or a
    // packet to the next packet or the end, and when it began.
    int64_t longestSilenceMs = 0;
    int64_t silenceFromMs = 0;
};

// seconds <= 0: until the host quits. onPacket runs after each good packet with
// the milliseconds since the start request; the RAM monitor's image is fresh then.
// onTick runs at least four times a second of waiting, packets or not.
// onSilence runs once in each silence as it passes kSilenceLimitMs, with the
// milliseconds of the last good packet (0: the start request).
// The host's clock times the run; link and monitor are the run's one link and monitor.
MonitorStats RunMonitorStream(Host& host, CommPort& link, RamMonitor& monitor, double seconds,
                              const std::function<void(int64_t)>& onPacket,
                              const std::function<void()>& onTick = {},
                              const std::function<void(int64_t)>& onSilence = {});

}  // namespace qx::qvx
