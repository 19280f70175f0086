#include "core/link/CommPort.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/host/Clock.h"
#include "core/host/Host.h"
#include "core/host/Profile.h"
#include "core/monitor/RamMonitor.h"

namespace qx {

namespace {

std::unique_ptr<CommPort> g_instance;
// Work posted for one instance must not touch the next one.
uint64_t g_generation = 0;

constexpr const char* kSection = "Settings";
constexpr const char* kCommCaption = "Communications Error...";
constexpr const char* kStatusCaption = "Communications Status...";
constexpr const char* kResetCaption = "Reset Error";
constexpr int kFlushSleepMs = 200;
constexpr int kIdentifySettleMs = 500;
constexpr int kMaxStaleFrames = 4;

// The profile is edited by hand: a value out of range would overrun tables or
// freeze the program, so it falls back to its default and the trace says so.
int ReadSetting(const char* key, int defaultValue, int low, int high) {
    const int value = AppProfile().GetInt(kSection, key, defaultValue);
    if (value >= low && value <= high) return value;
    char line[160];
    std::snprintf(line, sizeof line,
                  "\r\nProfile value \"%s\" = %d is out of range (%d to %d); using %d", key, value,
                  low, high, defaultValue);
    CurrentHost().Trace(line);
    return defaultValue;
}

std::unique_ptr<serial::SerialPort> OpenDefault(int index, serial::OpenError* why) {
    serial::PortSettings settings;
    settings.device = serial::DeviceForPortIndex(index);
    settings.baud = serial::ConfiguredBaud();
    return serial::OpenPosixPort(settings, why);
}

struct DepthGuard {
    explicit DepthGuard(int& depth) : depth_(depth) { ++depth_; }
    ~DepthGuard() { --depth_; }
    int& depth_;
};

}  // namespace

CommPort& CommPort::Instance() {
    if (!g_instance) g_instance.reset(new CommPort());
    return *g_instance;
}

bool CommPort::Exists() {
    return g_instance != nullptr;
}

void CommPort::ResetInstance() {
    if (RamMonitor::Exists()) RamMonitor::Instance().ForgetState();
    g_instance.reset();
    ++g_generation;
}

CommPort::CommPort() : opener_(OpenDefault) {
    ReadSettings();
}

CommPort::~CommPort() {
    ReleasePort();
}

void CommPort::ReadSettings() {
    portNumber_ = ReadSetting("Port", kDefaultPort, 0, 3);
    delay_ = ReadSetting("Delay", kDefaultDelay, 0, kMaxDelay);
    retries_ = ReadSetting("Retries", kDefaultRetries, 0, kMaxRetries);
    waitRetries_ = ReadSetting("Wait Retries", kDefaultWaitRetries, 0, kMaxWaitRetries);
    timeout_ = ReadSetting("Timeout", kDefaultTimeout, 1, kMaxTimeout);
}

void CommPort::SetPortOpener(PortOpener opener) {
    opener_ = std::move(opener);
}

void CommPort::ReleasePort() {
    port_.reset();
}

void CommPort::SetTrafficObserver(std::function<void(const Traffic&)> observer) {
    trafficObserver_ = std::move(observer);
}

void CommPort::CountRead(std::size_t n) {
    if (n == 0) return;
    traffic_.read += n;
    if (trafficObserver_) trafficObserver_(traffic_);
}

void CommPort::CountWritten(std::size_t n) {
    if (n == 0) return;
    traffic_.written += n;
    if (trafficObserver_) trafficObserver_(traffic_);
}

bool CommPort::SetPort(int index) {
    if (index < 0 || index > 3) return false;
    if (index == portNumber_) return true;
    portNumber_ = index;
    AppProfile().WriteInt(kSection, "Port", index);
    if (linked_) {
        BreakLink();
        EstablishLink();
    }
    return true;
}

bool CommPort::SetTimeout(int ms) {
    if (ms < 1 || ms > kMaxTimeout) return false;
    if (ms == timeout_) return true;
    timeout_ = ms;
    AppProfile().WriteInt(kSection, "Timeout", ms);
    return true;
}

// ---- Byte level -------------------------------------------------------------

bool CommPort::ReadByte(uint8_t& out) {
    out = 0;
    if (!linked_ || !port_) return false;
    for (int attempt = 0; attempt <= retries_; ++attempt) {
        const int left = BlockedWaitLeftMs();
        if (left <= 0 && attempt > 0) return false;
        // With the budget spent a byte already waiting is still taken.
        const int r = port_->ReadByte(std::clamp(left, 0, timeout_));
        if (r >= 0 && r <= 0xFF) {
            out = static_cast<uint8_t>(r);
            CountRead(1);
            return true;
        }
        // Only a time-out is worth another read; a vanished device never answers.
        if (r != serial::kReadTimeout) return false;
    }
    return false;
}

bool CommPort::WriteByte(uint8_t b) {
    return WriteBytes(&b, 1);
}

bool CommPort::WriteBytes(const uint8_t* p, std::size_t n) {
    if (!linked_ || !port_) return false;
    if (n == 0) return true;
    if (BlockedWaitLeftMs() <= 0) return false;
    // One call for the whole frame: the far end sees one burst, and the host
    // pays one system call instead of one a byte.
    const std::size_t sent = port_->WriteBytes(p, n);
    NoteOnWire(sent);
    CountWritten(sent);
    return sent == n;
}

void CommPort::NoteOnWire(std::size_t n) {
    if (n == 0 || !port_) return;
    const int64_t nowUs = CurrentHost().GetClock().NowMs() * 1000;
    wireFreeUs_ = std::max(wireFreeUs_, nowUs) + static_cast<int64_t>(n) * port_->ByteTimeUs();
}

bool CommPort::ReceiveEmpty() {
    return !linked_ || !port_ || port_->RXCount() == 0;
}

bool CommPort::TransmitEmpty() {
    return !linked_ || !port_ || port_->TXCount() == 0;
}

std::size_t CommPort::ReceiveCount() {
    return port_ ? port_->RXCount() : 0;
}

std::size_t CommPort::ReadAvailable(uint8_t* p, std::size_t n) {
    if (!linked_ || !port_ || !p || n == 0) return 0;
    const std::size_t got = port_->GetBuffer(p, n, std::clamp(BlockedWaitLeftMs(), 0, timeout_));
    CountRead(got);
    return got;
}

WaitOutcome CommPort::WaitForBytes(std::size_t minBytes, int timeoutMs, bool dispatch) {
    if (!linked_ || !port_) return WaitOutcome::DeviceGone;
    WaitRequest request;
    request.port = port_.get();
    request.minBytes = minBytes;
    request.timeoutMs = timeoutMs;
    request.dispatch = dispatch;
    return CurrentHost().Wait(request);
}

int CommPort::BlockedWaitLeftMs() {
    if (pumpEnabled_) return kMaxBlockedMs;
    const int64_t spent = CurrentHost().GetClock().NowMs() - blockedSinceMs_;
    return static_cast<int>(std::clamp<int64_t>(kMaxBlockedMs - spent, 0, kMaxBlockedMs));
}

bool CommPort::DrainTransmit() {
    Host& host = CurrentHost();
    const int64_t limit =
        std::min<int64_t>(static_cast<int64_t>(timeout_) * (retries_ + 1), BlockedWaitLeftMs());
    const int64_t begin = host.GetClock().NowMs();
    while (port_ && port_->TXCount() > 0) {
        const int64_t elapsed = host.GetClock().NowMs() - begin;
        if (elapsed >= limit) return false;
        const int64_t pendingMs =
            static_cast<int64_t>(port_->TXCount()) * port_->ByteTimeUs() / 1000;
        host.Sleep(static_cast<int>(std::clamp<int64_t>(pendingMs, 1, limit - elapsed)));
    }
    return true;
}

bool CommPort::IsDeviceGone() {
    return port_ && port_->IsGone();
}

// ---- Waits -----------------------------------------------------------------

bool CommPort::PumpMessages() {
    if (!pumpEnabled_) return true;
    Host& host = CurrentHost();
    if (host.IsQuitting() || (host.HasPendingEvent() && !host.DispatchOneEvent())) {
        host.PostQuit(0);
        return false;
    }
    return true;
}

bool CommPort::Pause(int ms) {
    if (!linked_) return false;
    DepthGuard depth(waitDepth_);
    Host& host = CurrentHost();
    const int64_t start = host.GetClock().NowMs();
    if (!pumpEnabled_) ms = std::min(ms, BlockedWaitLeftMs());
    for (;;) {
        if (!PumpMessages()) return false;
        const int64_t elapsed = host.GetClock().NowMs() - start;
        if (elapsed >= ms) return true;
        // No port: the stream arriving meanwhile must not wake the pause.
        WaitRequest request;
        request.timeoutMs = static_cast<int>(ms - elapsed);
        request.dispatch = pumpEnabled_;
        host.Wait(request);
    }
}

CommPort::WaitEnd CommPort::WaitForDataWhy(std::size_t minBytes) {
    if (!linked_ || !port_) return WaitEnd::Down;
    if (minBytes == 0) minBytes = 1;
    DepthGuard depth(waitDepth_);
    Host& host = CurrentHost();
    const int64_t start = host.GetClock().NowMs();
    const int limit = std::min(timeout_, BlockedWaitLeftMs());
    for (;;) {
        if (!linked_ || !port_) return WaitEnd::Down;
        if (port_->RXCount() >= minBytes) return WaitEnd::Data;
        if (!PumpMessages()) return WaitEnd::Quit;
        // A command dispatched just now may have broken the link.
        if (!linked_ || !port_) return WaitEnd::Down;
        const int64_t elapsed = host.GetClock().NowMs() - start;
        if (elapsed >= limit) return port_->IsGone() ? WaitEnd::Gone : WaitEnd::Timeout;
        WaitRequest request;
        request.port = port_.get();
        request.minBytes = minBytes;
        request.timeoutMs = static_cast<int>(limit - elapsed);
        request.dispatch = pumpEnabled_;
        // The host's wait tells a hangup, so none is looked for before it.
        const WaitOutcome outcome = host.Wait(request);
        if (outcome == WaitOutcome::DeviceGone) return WaitEnd::Gone;
        // Ready: the bytes are in, counted by the wait itself.
        if (outcome == WaitOutcome::Ready && port_) return WaitEnd::Data;
        if (outcome == WaitOutcome::Timeout && port_ && port_->RXCount() < minBytes) {
            return WaitEnd::Timeout;
        }
    }
}

bool CommPort::WaitForData(std::size_t minBytes) {
    return WaitForDataWhy(minBytes) == WaitEnd::Data;
}

bool CommPort::WaitForResponse(bool forever) {
    if (!linked_) return true;
    int failures = 0;
    for (;;) {
        switch (WaitForDataWhy(1)) {
            case WaitEnd::Data:
            case WaitEnd::Down:
                return true;
            case WaitEnd::Quit:
            case WaitEnd::Gone:
                return false;
            case WaitEnd::Timeout:
                ++failures;
                if (!forever && failures > waitRetries_) return false;
                break;
        }
    }
}

bool CommPort::FlushBuffers() {
    if (port_) port_->TXFlush();
    return FlushReceived();
}

bool CommPort::FlushReceived() {
    if (!port_) return true;
    PumpBlockScope block;
    Host& host = CurrentHost();
    // Bounded: a line that never goes quiet (a flood, a stream never cancelled)
    // would otherwise hold the program here for ever.
    for (int round = 0; round <= retries_; ++round) {
        CountRead(port_->RXCount());
        port_->RXFlush();
        const int left = BlockedWaitLeftMs();
        if (left <= 0) return false;
        host.Sleep(std::min(kFlushSleepMs, left));
        if (port_->RXCount() == 0) return true;
        if (port_->IsGone()) return false;
    }
    return false;
}

// ---- Recovery and link state --------------------------------------------------

bool CommPort::ResetError() {
    if (!linked_) return true;
    Host& host = CurrentHost();
    // A vanished device is not a line error: retrying it only stacks messages.
    if (IsDeviceGone()) {
        BreakLink();
        return false;
    }
    uint16_t status = 0;
    if (port_->GetCommError(status) != 0) {
        host.MessageBox("Low Level Communications Error!", kResetCaption, MsgButtons::Ok,
                        MsgIcon::Error);
        if (!linked_) return false;
    }
    // One message says both what happened and that the link is down.
    auto keepsFilling = [&] {
        host.MessageBox("Receive Buffer Continuing to Fill!\nConnection to Module Has Been Broken",
                        kResetCaption, MsgButtons::Ok, MsgIcon::Error);
        BreakLink(BreakNotice::Quiet);
        return false;
    };
    int counter = 0;
    for (;;) {
        switch (WaitForDataWhy(1)) {
            case WaitEnd::Timeout:
                return true;
            case WaitEnd::Down:  // broken meanwhile; the user has been told
            case WaitEnd::Quit:
                return false;
            case WaitEnd::Gone:
                BreakLink();
                return false;
            case WaitEnd::Data:
                break;
        }
        if (counter > retries_) return keepsFilling();
        ++counter;
        if (!FlushBuffers()) {
            if (IsDeviceGone()) {
                BreakLink();
                return false;
            }
            return keepsFilling();
        }
    }
}

void CommPort::BreakLink(BreakNotice notice) {
    if (!linked_ && !port_) return;
    if (RamMonitor::Exists()) {
        RamMonitor& monitor = RamMonitor::Instance();
        if (monitor.IsRunning()) monitor.Stop();
        // Whatever Stop achieved, no stream may be restarted on a dead link.
        monitor.ForgetState();
    }
    lastBreakGone_ = port_ && port_->IsGone();
    if (port_ && !port_->IsGone() && port_->RXCount() > 0) FlushBuffers();
    ReleasePort();
    linked_ = false;
    Host& host = CurrentHost();
    host.SetLinkIndicator(false);
    if (notice == BreakNotice::Quiet) return;
    host.Beep(BeepKind::Error);
    host.MessageBox("Connection to Module Has Been Broken", kStatusCaption, MsgButtons::Ok,
                    MsgIcon::Information);
}

bool CommPort::EstablishLink() {
    if (linked_) return true;
    Host& host = CurrentHost();
    for (;;) {
        serial::OpenError why;
        std::unique_ptr<serial::SerialPort> opened;
        if (opener_) opened = opener_(portNumber_, &why);
        if (!opened) {
            std::string text = "Unable to Initialize Serial Port.";
            if (!why.reason.empty()) text += "\n" + why.reason;
            if (host.MessageBox(text, kCommCaption, MsgButtons::RetryCancel, MsgIcon::Error) ==
                MsgResult::Retry) {
                continue;
            }
            return false;
        }
        port_ = std::move(opened);
        lastDevice_ = port_->DevicePath();
        lastBreakGone_ = false;
        if (port_->WriteByte(wire::CAN) != 0) {
            host.MessageBox("Unable to initialize serial port.", kCommCaption, MsgButtons::Ok,
                            MsgIcon::Error);
            ReleasePort();
            return false;
        }
        NoteOnWire(1);
        CountWritten(1);
        linked_ = true;
        host.SetLinkIndicator(true);

        const char* failure = nullptr;
        {
            // The IDENTIFY wait dispatches events: commands arriving now are
            // postponed instead of using a module whose version is not known yet.
            CommandBusyScope busy(false, false);
            WriteByte(wire::CAN);
            // Only what came in is discarded: the two CANs that end a stream the
            // module may still be sending must not be flushed before they leave.
            FlushReceived();
            if (!SendRequest(Request::Identify())) {
                failure = "Unable to write to serial port";
            } else {
                host.Sleep(kIdentifySettleMs);
                // A late answer to a request made before the link broke may come
                // first: a whole frame of another type, or the rest of a broken
                // one, is passed over, a few times at most.
                uint8_t type = 0;
                bool identified = false;
                bool answered = false;  // some whole frame came
                for (int frame = 0; frame < kMaxStaleFrames && linked_; ++frame) {
                    const bool read = ReadResponse(type, &firmware_, 1, nullptr, true);
                    answered = answered || read;
                    identified = read && type == wire::kIdentifyResponse;
                    if (identified || (!read && ReceiveEmpty())) break;
                }
                if (!identified) {
                    failure = answered ? "Incorrect response to IDENTIFY request"
                                       : "Unable to read from serial port";
                }
            }
        }
        if (!failure) {
            char text[96];
            std::snprintf(text, sizeof text,
                          "Connection to Module Successfully Established\nFirmware Version No. "
                          "%d.%d",
                          firmware_ >> 4, firmware_ & 0x0F);
            host.Beep(BeepKind::Error);
            host.MessageBox(text, kStatusCaption, MsgButtons::Ok, MsgIcon::Information);
            return true;
        }
        // Broken meanwhile (a close, or the device vanished): one message is enough.
        if (!linked_) return false;
        if (IsDeviceGone()) {
            BreakLink();
            return false;
        }
        const MsgResult answer =
            host.MessageBox(failure, kCommCaption, MsgButtons::RetryCancel, MsgIcon::Error);
        // That message was the news: the link was never reported up.
        BreakLink(BreakNotice::Quiet);
        if (answer != MsgResult::Retry) return false;
    }
}

// ---- Protocol -------------------------------------------------------------------

void CommPort::DiscardWaitingInput() {
    if (!port_) return;
    uint8_t scratch[64];
    // Only what is there already: asking for no more than the count never waits.
    while (const std::size_t waiting = std::min(ReceiveCount(), sizeof scratch)) {
        if (ReadAvailable(scratch, waiting) == 0) break;
    }
}

bool CommPort::SendRequest(const Request& r) {
    if (!linked_) return false;
    const std::size_t n = r.BuildFrame(txBuffer_);
    return WriteBytes(txBuffer_, n);
}

bool CommPort::SendCancelRequest() {
    const uint8_t cancel[2] = {wire::CAN, wire::CAN};
    return WriteBytes(cancel, sizeof cancel);
}

bool CommPort::ReadResponse(uint8_t& type, uint8_t* dest, std::size_t capacity, CommError* error,
                            bool wait) {
    if (!linked_ || !port_) return false;
    CommError result = CommError::NoError;
    bool ok = false;
    if (wait && !WaitForResponse(false)) {
        result = CommError::NoResponseError;
    } else {
        PumpBlockScope block;
        ok = ReadResponseUnchecked(type, dest, capacity, result);
    }
    if (error) *error = result;
    return ok;
}

bool CommPort::ReadResponseUnchecked(uint8_t& type, uint8_t* dest, std::size_t capacity,
                                     CommError& error) {
    uint8_t first = 0;
    if (!ReadByte(first)) return error = CommError::TimeoutError, false;
    return ReadFrameFrom(first, type, dest, capacity, error);
}

bool CommPort::ReadFrameFrom(uint8_t first, uint8_t& type, uint8_t* dest, std::size_t capacity,
                             CommError& error) {
    if (first == wire::NAK) return error = CommError::NakError, false;
    if (first != wire::STX) return error = CommError::StartByteError, false;

    uint8_t low = 0, high = 0;
    if (!ReadByte(low) || !ReadByte(high)) return error = CommError::TimeoutError, false;
    const uint16_t length = static_cast<uint16_t>(low | (high << 8));
    const uint16_t count = static_cast<uint16_t>(length - 1);
    // The rest of such a frame stays on the line for ResetError.
    if (length == 0 || count > wire::kBufferSize) return error = CommError::LengthError, false;

    uint8_t code = 0;
    if (!ReadByte(code)) return error = CommError::TimeoutError, false;
    type = code;
    if (!wire::IsAcceptedType(code)) return error = CommError::ResponseTypeError, false;

    for (uint16_t i = 0; i < count; ++i) {
        if (!ReadByte(rxBuffer_[i])) return error = CommError::TimeoutError, false;
    }
    uint8_t sum = 0, last = 0;
    if (!ReadByte(sum) || !ReadByte(last)) return error = CommError::TimeoutError, false;

    // Copied before the checks: a caller sees the bytes as received.
    const std::size_t copy = std::min<std::size_t>(capacity, count);
    if (dest && copy > 0) std::memcpy(dest, rxBuffer_, copy);

    if (wire::Checksum(code, rxBuffer_, count) != sum) {
        return error = CommError::CheckSumError, false;
    }
    if (last != wire::ETX) return error = CommError::EndByteError, false;
    error = CommError::NoError;
    return true;
}

bool CommPort::ReadModuleMemoryBlock(uint8_t* dest, uint16_t address, uint16_t count) {
    // A reply longer than the receive buffer can never be read.
    if (!linked_ || count > wire::kBufferSize || (!dest && count > 0)) return false;
    for (int attempt = 0; attempt <= retries_; ++attempt) {
        if (SendRequest(Request::Read(address, count))) {
            std::memset(dest, 0, count);
            uint8_t type = 0;
            bool ok = ReadResponse(type, dest, count, nullptr, true);
            // Packets of a stream cancelled just before are passed over.
            for (int late = 0; ok && type == wire::kMonitorPacket && late < kMaxStaleFrames; ++late)
                ok = ReadResponse(type, dest, count, nullptr, true);
            if (ok && type == wire::kReadResponse) return true;
        }
        if (!ResetError()) return false;
        // Broken under our feet by a dispatched command: the user knows already.
        if (!linked_) return false;
    }
    CurrentHost().MessageBox(
        "Unable to Resync Communications with Module!\nCommPort::ReadModuleMemoryBlock", kAppTitle,
        MsgButtons::Ok, MsgIcon::Error);
    return false;
}

bool CommPort::WriteModuleByte(uint16_t address, uint8_t value) {
    if (!linked_) return false;
    for (int attempt = 0; attempt <= retries_; ++attempt) {
        // A byte left over from an earlier answer (noise after its ACK) would
        // be taken for this write's ACK although the module may refuse it.
        DiscardWaitingInput();
        bool sent = false;
        for (int send = 0; send <= retries_ + 1 && !sent; ++send) {
            sent = SendRequest(Request::Write(address, value));
        }
        if (sent) {
            WaitForResponse(false);
            if (ReadAcknowledgement()) return true;
        }
        if (!ResetError()) return false;
        if (!linked_) return false;
    }
    CurrentHost().MessageBox(
        "Unable to Resync Communication with Module!\nModuleValue::SyncModuleWithHost", kAppTitle,
        MsgButtons::Ok, MsgIcon::Error);
    return false;
}

bool CommPort::ReadAcknowledgement() {
    // Whole monitor packets before the ACK are the end of a stream that the
    // write's command cancelled just before: passed over, a few at most.
    for (int late = 0; late <= kMaxStaleFrames; ++late) {
        uint8_t answer = 0;
        if (!ReadByte(answer)) return false;
        if (answer != wire::STX) return answer == wire::ACK;
        uint8_t type = 0;
        CommError error = CommError::NoError;
        if (!ReadFrameFrom(answer, type, nullptr, 0, error) || type != wire::kMonitorPacket)
            return false;
    }
    return false;
}

// ---- Busy count and deferred work ---------------------------------------------------

void CommPort::EnterBusy() {
    ++busyCount_;
}

void CommPort::LeaveBusy() {
    if (busyCount_ > 0) --busyCount_;
    if (busyCount_ == 0) PostNotBusyWork();
}

void CommPort::PostNotBusyWork() {
    if (RamMonitor::Exists()) RamMonitor::Instance().ScheduleReplay();
    std::vector<std::function<void()>> work;
    work.swap(notBusyWork_);
    for (auto& fn : work) CallWhenNotBusy(std::move(fn));
}

void CommPort::CallWhenNotBusy(std::function<void()> fn) {
    if (!fn) return;
    if (busyCount_ > 0) {
        notBusyWork_.push_back(std::move(fn));
        return;
    }
    const uint64_t generation = g_generation;
    CurrentHost().Post([generation, fn = std::move(fn)]() mutable {
        if (!Exists() || generation != g_generation) return;
        CommPort& self = Instance();
        // A command began between the post and now: wait for its end.
        if (self.busyCount_ > 0) {
            self.notBusyWork_.push_back(std::move(fn));
            return;
        }
        fn();
    });
}

CommandBusyScope::CommandBusyScope(bool showWaitCursor, bool suspendMonitor)
    : cursorHost_(showWaitCursor ? &CurrentHost() : nullptr) {
    CommPort::Instance().EnterBusy();
    if (cursorHost_) cursorHost_->BeginWaitCursor();
    if (suspendMonitor) RamMonitor::Instance().Suspend();
}

CommandBusyScope::~CommandBusyScope() {
    if (cursorHost_) cursorHost_->EndWaitCursor();
    CommPort::Instance().LeaveBusy();
}

PumpBlockScope::PumpBlockScope() {
    CommPort& port = CommPort::Instance();
    saved_ = port.pumpEnabled_;
    if (saved_) port.blockedSinceMs_ = CurrentHost().GetClock().NowMs();
    port.pumpEnabled_ = false;
}

PumpBlockScope::~PumpBlockScope() {
    CommPort::Instance().pumpEnabled_ = saved_;
}

}  // namespace qx
