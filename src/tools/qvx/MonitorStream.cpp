#include "tools/qvx/MonitorStream.h"

#include <algorithm>
#include <limits>

#include "core/host/Clock.h"
#include "core/host/Host.h"
#include "core/link/CommPort.h"
#include "core/monitor/RamMonitor.h"

namespace qx::qvx {

MonitorStats RunMonitorStream(Host& host, CommPort& comm, RamMonitor& monitor, double seconds,
                              const std::function<void(int64_t)>& onPacket,
                              const std::function<void()>& onTick,
                              const std::function<void(int64_t)>& onSilence) {
    MonitorStats stats;
    Clock& clock = host.GetClock();

    const int64_t start = clock.NowMs();
    const int64_t deadline = seconds > 0 ? start + static_cast<int64_t>(seconds * 1000.0 + 0.5)
                                         : std::numeric_limits<int64_t>::max();
    if (!monitor.Start()) {
        stats.commFailure = true;
        return stats;
    }
    int64_t lastPacket = 0;  // since start
    bool toldSilence = false;
    auto silence = [&](int64_t sinceStart) {
        if (sinceStart - lastPacket > stats.longestSilenceMs) {
            stats.longestSilenceMs = sinceStart - lastPacket;
            stats.silenceFromMs = lastPacket;
        }
    };
    while (true) {
        if (onTick) onTick();
        const int64_t sinceStart = clock.NowMs() - start;
        if (!toldSilence && sinceStart - lastPacket >= kSilenceLimitMs) {
            toldSilence = true;
            if (onSilence) onSilence(lastPacket);
        }
        if (host.IsQuitting()) {
            stats.interrupted = true;
            break;
        }
        const int64_t now = clock.NowMs();
        if (now >= deadline) break;
        if (!comm.IsLinked() || comm.IsDeviceGone()) {
            stats.commFailure = true;
            break;
        }
        if (!monitor.IsRunning()) {
            // A failed packet suspended the stream; start it again.
            if (!monitor.Start()) {
                stats.commFailure = true;
                break;
            }
            ++stats.restarts;
        }
        const std::size_t need = monitor.PacketLength();
        if (comm.ReceiveCount() < need) {
            // Sleep until a whole packet waits, the deadline passes or Ctrl+C.
            const WaitOutcome outcome = comm.WaitForBytes(
                need, static_cast<int>(std::min<int64_t>(deadline - now, 250)), true);
            if (outcome == WaitOutcome::UiEvent && !host.DispatchPendingEvents()) {
                stats.interrupted = true;
                break;
            }
            if (outcome == WaitOutcome::DeviceGone) {
                stats.commFailure = true;
                break;
            }
            if (comm.ReceiveCount() < need) continue;
        }
        CommPort::CommError error = CommPort::CommError::NoError;
        if (monitor.UpdateRamImage(&error)) {
            ++stats.goodPackets;
            const int64_t at = clock.NowMs() - start;
            silence(at);
            lastPacket = at;
            toldSilence = false;
            if (onPacket) onPacket(at);
        } else {
            ++stats.badPackets;
        }
        if (monitor.IsRunning() &&
            comm.ReceiveCount() > need * static_cast<std::size_t>(monitor.RestartThreshold())) {
            // Too far behind: the stop discards the backlog.
            if (!monitor.Stop()) {
                stats.commFailure = true;
                break;
            }
            ++stats.restarts;
        }
    }
    stats.elapsedMs = clock.NowMs() - start;
    silence(stats.elapsedMs);
    // A module that ignores the cancel keeps streaming: the line must go quiet.
    // Checked without dispatch, so that a Ctrl+C already pending does not cut it short.
    if (comm.IsLinked()) {
        stats.stopped = monitor.Stop() && !monitor.IsRunning();
        PumpBlockScope block;
        stats.stopped = stats.stopped && comm.ResetError() && comm.IsLinked();
    }
    return stats;
}

}  // namespace qx::qvx
