#include "core/monitor/RamMonitor.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

#include "core/host/Clock.h"
#include "core/host/Host.h"
#include "core/host/Profile.h"

namespace qx {

namespace {

std::unique_ptr<RamMonitor> g_monitor;
uint64_t g_monitorGeneration = 0;

constexpr int kReplayThrottleMs = 50;
// The most a module takes from the cancel to the start of a packet it still
// sends, with room for a host or a module that answers a few ms late.
constexpr int kCancelTurnaroundMs = 10;
// Room for the longest packet (57 data bytes + frame).
constexpr std::size_t kScratchSize = 64;

int ReadThreshold() {
    const int value =
        AppProfile().GetInt("Settings", "Restart Threshold", RamMonitor::kDefaultRestartThreshold);
    if (value >= 1 && value <= 1000) return value;
    char line[160];
    std::snprintf(line, sizeof line,
                  "\r\nProfile value \"Restart Threshold\" = %d is out of range (1 to 1000); "
                  "using %d",
                  value, RamMonitor::kDefaultRestartThreshold);
    CurrentHost().Trace(line);
    return RamMonitor::kDefaultRestartThreshold;
}

bool IsOldBlock(uint8_t firmware) {
    return firmware == 0x10 || firmware == CommPort::kNoFirmware;
}

}  // namespace

RamMonitor& RamMonitor::Instance() {
    if (!g_monitor) g_monitor.reset(new RamMonitor());
    return *g_monitor;
}

bool RamMonitor::Exists() {
    return g_monitor != nullptr;
}

void RamMonitor::ResetInstance() {
    g_monitor.reset();
    ++g_monitorGeneration;
}

RamMonitor::RamMonitor()
    : beepOnFailure_(AppProfile().GetInt("Settings", "Monitor Beep On Failure", 0) != 0),
      restartThreshold_(ReadThreshold()) {}

RamMonitor::~RamMonitor() = default;

uint16_t RamMonitor::BlockStart() const {
    return IsOldBlock(CommPort::Instance().FirmwareVersion()) ? 0x45 : 0x40;
}

uint16_t RamMonitor::BlockCount() const {
    return IsOldBlock(CommPort::Instance().FirmwareVersion()) ? 0x7E - 0x45 : 0x4E - 0x40;
}

void RamMonitor::ForgetState() {
    running_ = false;
    suspended_ = false;
    reading_ = false;
}

bool RamMonitor::GetImageBytes(uint8_t* dest, uint16_t moduleAddress, std::size_t length) {
    const std::size_t start = BlockStart();
    const std::size_t count = BlockCount();
    // Outside the streamed block the image holds nothing of that address.
    if (!dest || moduleAddress < start || moduleAddress - start > count ||
        length > count - (moduleAddress - start)) {
        return false;
    }
    if (length > 0) std::memcpy(dest, image_ + (moduleAddress - start), length);
    return imageValid_;
}

bool RamMonitor::BacksValues() const {
    return running_ && CommPort::Exists() && CommPort::Instance().IsLinked();
}

bool RamMonitor::Start() {
    Host& host = CurrentHost();
    host.Trace("\r\nRamMonitor::Start");
    PumpBlockScope block;
    if (running_) return true;
    CommPort& port = CommPort::Instance();
    if (port.IsDeviceGone()) {
        port.BreakLink();
        return false;
    }
    if (port.SendRequest(Request::MonitorStart(BlockStart(), BlockCount()))) {
        running_ = true;
        suspended_ = false;
        return true;
    }
    host.MessageBox("Unable to write monitor start request to controller!\nRamMonitor::Start",
                    kAppTitle, MsgButtons::Ok, MsgIcon::Error);
    return false;
}

bool RamMonitor::Stop() {
    Host& host = CurrentHost();
    host.Trace("\r\nRamMonitor::Stop");
    // Stopping ends monitoring even between a Suspend and the restart; Suspend
    // sets the flag again after a successful Stop.
    suspended_ = false;
    if (!running_) return true;
    CommPort& port = CommPort::Instance();
    bool result = true;
    {
        PumpBlockScope block;
        if (!port.IsLinked() || port.IsDeviceGone()) {
            // Nothing streams on a dead line; whoever finds it gone breaks the link.
        } else if (!port.SendCancelRequest()) {
            host.MessageBox("Unable to write cancel request to controller!\nRamMonitor::Stop",
                            kAppTitle, MsgButtons::Ok, MsgIcon::Error);
            result = false;
        } else {
            result = port.DrainTransmit();
            if (result) {
                SettleAfterCancel();
                CommPort::CommError error = CommPort::CommError::NoResponseError;
                uint8_t type = 0;
                // Settled with nothing in: waiting for a last packet would hold
                // the command that stopped the stream. One that still comes is
                // passed over by the next exchange; nothing wrong was received,
                // so the image stays as it was.
                const bool any = port.IsLinked() && port.ReceiveCount() > 0;
                const bool ok = any && port.ReadResponse(type, image_, BlockCount(), &error, true);
                if (any && (!ok || type != wire::kMonitorPacket)) {
                    if (beepOnFailure_) host.Beep(BeepKind::Default);
                    // The image may now hold a broken frame's bytes.
                    imageValid_ = false;
                }
                if (error != CommPort::CommError::NoResponseError) {
                    const std::size_t packet = PacketLength();
                    uint8_t scratch[kScratchSize];
                    // Bounded by what a full receive buffer can hold, in case the
                    // module ignores the cancel and keeps streaming.
                    const std::size_t maxRounds = 4096 / packet + 2;
                    for (std::size_t round = 0; round < maxRounds && port.ReceiveCount() >= packet;
                         ++round) {
                        const std::size_t got = port.ReadAvailable(scratch, packet);
                        if (got < packet && beepOnFailure_) host.Beep(BeepKind::Default);
                        if (got == 0) break;
                    }
                    const std::size_t rest = std::min(port.ReceiveCount(), sizeof scratch);
                    if (rest > 0) port.ReadAvailable(scratch, rest);
                }
            }
        }
    }
    running_ = false;
    reading_ = false;
    return result;
}

void RamMonitor::SettleAfterCancel() {
    CommPort& port = CommPort::Instance();
    Clock& clock = CurrentHost().GetClock();
    const int64_t start = clock.NowMs();
    const std::size_t packet = PacketLength();
    const int64_t byteUs = port.ByteTimeUs();
    // The module ends the packet it is sending and begins none once the cancel
    // is in. A packet begun before that shows its first byte within a byte, the
    // module's turnaround and the adapter's hold, and is whole a packet later.
    const int64_t quietAt = port.WrittenArriveByMs() + (2 * byteUs + 999) / 1000 +
                            kCancelTurnaroundMs + port.ReceiveHoldMs();
    const int64_t doneAt = std::min<int64_t>(
        quietAt + (static_cast<int64_t>(packet) * byteUs + 999) / 1000, start + port.Delay());
    for (;;) {
        if (!port.IsLinked()) return;
        const std::size_t have = port.ReceiveCount();
        const int64_t now = clock.NowMs();
        // Whole packets only: what was read before was read a packet at a time.
        const bool whole = have % packet == 0;
        if (now >= doneAt || (whole && now >= quietAt)) return;
        const std::size_t want = whole ? have + 1 : have + (packet - have % packet);
        const int64_t until = whole ? std::min(quietAt, doneAt) : doneAt;
        if (port.WaitForBytes(want, static_cast<int>(until - now), false) ==
            WaitOutcome::DeviceGone)
            return;
    }
}

bool RamMonitor::Suspend() {
    CurrentHost().Trace("\r\nRamMonitor::Suspend");
    if (!running_) return true;
    const bool stopped = Stop();
    if (stopped) suspended_ = true;
    return stopped;
}

bool RamMonitor::UpdateRamImage(CommPort::CommError* error) {
    Host& host = CurrentHost();
    CommPort& port = CommPort::Instance();
    reading_ = true;
    CommPort::CommError result = CommPort::CommError::NoError;
    uint8_t type = 0;
    const bool ok = port.ReadResponse(type, image_, BlockCount(), &result, true);
    if (error) *error = result;
    if (ok && type == wire::kMonitorPacket) {
        reading_ = false;
        imageValid_ = true;
        return true;
    }
    if (beepOnFailure_) host.Beep(BeepKind::Default);
    // Only a bad checksum leaves the stream in step; anything else (a length
    // error included) means the framing is lost, so the stream is stopped.
    if (result != CommPort::CommError::CheckSumError) {
        host.Trace("\r\nRamMonitor::UpdateRamImage, CommPort::CommError::CheckSumError");
        PumpBlockScope block;
        Suspend();
    }
    reading_ = false;
    imageValid_ = false;
    return false;
}

bool RamMonitor::PostponeCommandIfBusy(int commandId, bool suspend) {
    CurrentHost().Trace("\r\nRamMonitor::PostponeCommandIfBusy");
    CommPort& port = CommPort::Instance();
    if ((running_ && reading_) || port.BusyCount() > 0) {
        const bool queued =
            std::find(postponed_.begin(), postponed_.end(), commandId) != postponed_.end();
        if (!queued && static_cast<int>(postponed_.size()) < kMaxPostponed) {
            postponed_.push_back(commandId);
        }
        if (port.BusyCount() == 0) ScheduleReplay();
        return true;
    }
    if (suspend && running_) Suspend();
    return false;
}

void RamMonitor::RunPostponedCommands() {
    // One at a time from the shared queue, never from a private copy: a replayed
    // Toggle Monitoring starts Run, whose own replay must find the commands queued
    // behind it then, not after the user has stopped monitoring.
    // A command in progress would only queue them again; its end replays them.
    Host& host = CurrentHost();
    while (!postponed_.empty() && CommPort::Instance().BusyCount() == 0) {
        const int id = postponed_.front();
        postponed_.erase(postponed_.begin());
        host.RouteCommand(id);
    }
}

void RamMonitor::ScheduleReplay() {
    if (postponed_.empty() || replayPosted_ || runActive_) return;
    replayPosted_ = true;
    const uint64_t generation = g_monitorGeneration;
    CurrentHost().Post([generation] {
        if (!Exists() || generation != g_monitorGeneration) return;
        Instance().ReplayWhenQuiet();
    });
}

void RamMonitor::ReplayWhenQuiet() {
    replayPosted_ = false;
    // Run replays its own queue; the end of a command schedules again.
    if (postponed_.empty() || runActive_ || CommPort::Instance().BusyCount() > 0) return;
    Host& host = CurrentHost();
    if (host.IsModalActive() || CommPort::Instance().IsWaiting()) {
        // Delivered inside a dialog or a wait: try again after a short sleep that
        // any UI event cuts short, so a waiting dialog does not spin the processor.
        WaitRequest request;
        request.timeoutMs = kReplayThrottleMs;
        request.dispatch = true;
        host.Wait(request);
        ScheduleReplay();
        return;
    }
    RunPostponedCommands();
}

int64_t RamMonitor::ArrivalMs(int64_t nowMs) {
    // The bytes still waiting came after the packet just read, each at most a
    // byte time later: it came off the line at least that long ago. Packets
    // that waited while the window was busy (a repaint) keep their own times
    // instead of sharing the moment they were read.
    CommPort& port = CommPort::Instance();
    const int64_t behindUs =
        static_cast<int64_t>(port.ReceiveCount()) * static_cast<int64_t>(port.ByteTimeUs());
    return std::max(nowMs - behindUs / 1000, std::min(sampleTimeMs_, nowMs));
}

void RamMonitor::Run() {
    Host& host = CurrentHost();
    CommPort& port = CommPort::Instance();
    host.Trace("\r\nRamMonitor::Run");
    if (!port.IsLinked() || runActive_) return;
    runActive_ = true;
    struct RunEnd {
        RamMonitor* self;
        ~RunEnd() {
            self->runActive_ = false;
            self->ScheduleReplay();
        }
    } runEnd{this};

    host.Trace("\r\n+- Starting Monitor from RamMonitor::Run");
    if (!Start()) return;
    for (;;) {
        int packetReads = 0;
        bool firstUpdate = true;
        auto backlogTooLong = [&] {
            return port.ReceiveCount() >
                   PacketLength() * static_cast<std::size_t>(restartThreshold_);
        };
        if (!backlogTooLong()) {
            for (;;) {
                if (!postponed_.empty()) RunPostponedCommands();
                if (!running_ && !suspended_) return;
                if (!port.IsLinked()) return;
                // A whole packet waiting was received before any hangup; the
                // wait for the next one looks for it (a poll, dear on a tty).
                if (port.ReceiveCount() < PacketLength() && port.IsDeviceGone()) {
                    port.BreakLink();
                    return;
                }
                if (!host.DispatchPendingEvents()) {
                    host.PostQuit(0);
                    return;
                }
                // A dispatched command (Ctrl+L, a close) may have broken the link.
                if (!port.IsLinked()) return;
                const std::size_t packet = PacketLength();
                if (port.ReceiveCount() < packet) {
                    host.Idle();
                    // Sleep until a whole packet is in or a UI event waits.
                    if (running_ && !suspended_ && postponed_.empty() &&
                        port.ReceiveCount() < packet) {
                        const int timeout = port.Timeout() * (port.WaitRetries() + 1);
                        if (port.WaitForBytes(packet, timeout, port.PumpEnabled()) ==
                            WaitOutcome::DeviceGone) {
                            port.BreakLink();
                            return;
                        }
                    }
                }
                if (suspended_) {
                    if (!Start()) return;
                    firstUpdate = true;
                }
                if (!running_) return;
                if (port.ReceiveCount() >= packet) {
                    ++packetReads;
                    if (UpdateRamImage(nullptr)) {
                        sampleTimeMs_ = ArrivalMs(host.GetClock().NowMs());
                        samples_.Publish(*this, firstUpdate);
                        firstUpdate = false;
                    }
                }
                if (backlogTooLong()) break;
            }
        }
        char line[96];
        std::snprintf(line, sizeof line,
                      "\r\n+- Stopping Monitor from RamMonitor::Run after %d packet reads ",
                      packetReads);
        host.Trace(line);
        if (!Stop()) return;
        host.Trace("\r\n+- Starting Monitor from RamMonitor::Run");
        if (!Start()) return;
    }
}

}  // namespace qx
