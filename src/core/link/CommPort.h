#pragma once
// The one serial link to the module: link settings from the profile, byte
// reading and writing with time-outs, the waits (which sleep in the host and
// dispatch UI events between), recovery, establishing and breaking the link,
// and the framed protocol on top of it.
//
// Everything runs on the UI thread. The waits dispatch UI events, so any
// command may run inside them; every query is safe while the link is down.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/link/Request.h"
#include "core/serial/SerialPort.h"

namespace qx {

class CommPort {
  public:
    enum class CommError : int {
        NoError = 0,
        NoResponseError = 1,
        CheckSumError = 2,
        TimeoutError = 3,
        ResponseTypeError = 4,
        LengthError = 5,  // length field 0 or more data bytes than the buffer holds
        NakError = 6,
        StartByteError = 7,
        EndByteError = 8,
    };

    // Profile keys (section "Settings") and their defaults.
    static constexpr int kDefaultPort = 0;
    static constexpr int kDefaultDelay = 150;
    static constexpr int kDefaultRetries = 5;
    static constexpr int kDefaultWaitRetries = 10;
    static constexpr int kDefaultTimeout = 200;
    static constexpr uint8_t kNoFirmware = 0xFF;
    // Accepted profile ranges; a value outside falls back to its default. They
    // keep every wait that cannot dispatch UI events short: one byte read takes
    // at most (Retries + 1) x Timeout = 11 x 2000 ms = 22 s, Stop's transmit
    // drain the same, its settle Pause(Delay) 2 s, a flush (Retries + 1) x 200 ms.
    static constexpr int kMaxDelay = 2000;
    static constexpr int kMaxRetries = 10;
    static constexpr int kMaxWaitRetries = 50;
    static constexpr int kMaxTimeout = 2000;
    // A PumpBlockScope chains such waits (a frame read byte by byte, the retries
    // of a write): the waits inside one are cut to what is left of this budget
    // and writes are refused once it is spent, so the longest stretch with
    // dispatch blocked is kMaxBlockedMs + one write's wait for room in the
    // driver (200 ms) = 25.2 s, whatever the module does.
    static constexpr int kMaxBlockedMs = 25000;

    // Created on first use; reads the profile then. The instance is owned by the class.
    static CommPort& Instance();
    // True while an instance exists.
    static bool Exists();
    // Destroys the instance (tests, program end): an open port is released without
    // any message, the monitor's state is forgotten and pending posted work is dropped.
    static void ResetInstance();

    // Opens the port with the given index; fills why on failure. The caller owns the result.
    using PortOpener =
        std::function<std::unique_ptr<serial::SerialPort>(int portIndex, serial::OpenError* why)>;
    // Default: OpenPosixPort(DeviceForPortIndex(i), ConfiguredBaud()). Demo mode and tests replace
    // it.
    void SetPortOpener(PortOpener opener);

    bool IsLinked() const { return linked_; }
    uint8_t FirmwareVersion() const { return firmware_; }
    int PortNumber() const { return portNumber_; }
    int BusyCount() const { return busyCount_; }
    int Delay() const { return delay_; }
    int Retries() const { return retries_; }
    int WaitRetries() const { return waitRetries_; }
    int Timeout() const { return timeout_; }
    bool PumpEnabled() const { return pumpEnabled_; }
    // True while one of the waits (WaitForData, Pause) is in progress.
    bool IsWaiting() const { return waitDepth_ > 0; }

    // Stores a new index (0..3) and writes "Port"; relinks on the new port when up.
    bool SetPort(int index);
    // Stores a new time-out (1..kMaxTimeout ms) and writes "Timeout" when it changed.
    bool SetTimeout(int ms);

    // Byte level; each fails at once while the link is down.
    bool ReadByte(uint8_t& out);
    bool WriteByte(uint8_t b);
    bool WriteBytes(const uint8_t* p, std::size_t n);
    bool ReceiveEmpty();
    bool TransmitEmpty();
    std::size_t ReceiveCount();
    std::size_t ReadAvailable(uint8_t* p, std::size_t n);

    // Dispatches one pending UI event while dispatch is enabled; false when quitting
    // (a quit is then posted).
    bool PumpMessages();
    // Sleeps ms, dispatching UI events while enabled; false when down or quitting.
    bool Pause(int ms);
    // Sleeps until minBytes wait, the time-out passes (false) or the app quits (false).
    bool WaitForData(std::size_t minBytes = 1);
    // WaitForData up to WaitRetries + 1 times (or until data if forever); true when
    // the link goes down meanwhile.
    bool WaitForResponse(bool forever);
    // Discards what is pending; false when the line does not go quiet within
    // Retries + 1 rounds of 200 ms.
    bool FlushBuffers();
    // Brings the line back to quiet after a failed exchange; false when the link
    // had to be broken (the user has been told).
    bool ResetError();
    // How a break is told: the break message, or nothing because the user has
    // just been told why, or the link is ended on purpose (a program's exit).
    enum class BreakNotice { Tell, Quiet };
    void BreakLink(BreakNotice notice = BreakNotice::Tell);
    bool EstablishLink();

    // The framed protocol.
    bool SendRequest(const Request& r);
    // Reads one response frame; dest receives min(capacity, data bytes). True only
    // for NoError. error may be null; it is left alone when the link is down.
    bool ReadResponse(uint8_t& type, uint8_t* dest, std::size_t capacity, CommError* error,
                      bool wait);
    // Reads count (at most 128) bytes at address with retries and recovery.
    bool ReadModuleMemoryBlock(uint8_t* dest, uint16_t address, uint16_t count);
    // Writes one byte at address and waits for ACK, with retries and recovery;
    // shows the resync failure message when every attempt failed.
    bool WriteModuleByte(uint16_t address, uint8_t value);
    // The cancel request 0x18 0x18 that ends a monitor stream.
    bool SendCancelRequest();

    // True when a port is open and its device has hung up.
    bool IsDeviceGone();
    // The open port's byte time on the wire (1042 us with none) and how long
    // its device may hold received bytes (ms).
    int ByteTimeUs() const { return port_ ? port_->ByteTimeUs() : 1042; }
    int ReceiveHoldMs() const { return port_ ? port_->ReceiveHoldMs() : 0; }
    // The host clock's time (ms, rounded up) by which every byte written so far
    // has crossed the line, from the line speed.
    int64_t WrittenArriveByMs() const { return (wireFreeUs_ + 999) / 1000; }
    // The device of the last port opened ("" before any), and whether the last
    // break of the link came from that device going away (unplugged).
    const std::string& LastDevicePath() const { return lastDevice_; }
    bool LastBreakWasDeviceGone() const { return lastBreakGone_; }

    // Runs fn from the main loop once the busy count is back to 0 (posted now if it is 0).
    void CallWhenNotBusy(std::function<void()> fn);

    // Sleeps until minBytes wait, timeoutMs pass, the device goes or (with
    // dispatch) a UI event is pending. DeviceGone also while the link is down.
    // The port itself never leaves the link: a call may break the link and free it.
    WaitOutcome WaitForBytes(std::size_t minBytes, int timeoutMs, bool dispatch);
    // Sleeps, dispatching nothing, until the bytes written have left the port;
    // false when they have not after Timeout x (Retries + 1) (a failing adapter).
    bool DrainTransmit();
    // What is left of kMaxBlockedMs for waits inside the current PumpBlockScope;
    // kMaxBlockedMs when none is active.
    int BlockedWaitLeftMs();
    // True while a port is open (it may be open a moment before the link is up).
    bool HasOpenPort() const { return port_ != nullptr; }

    // Bytes that crossed the line since the instance was made; flushed input counts as read.
    struct Traffic {
        std::uint64_t written = 0;
        std::uint64_t read = 0;
    };
    Traffic TrafficCount() const { return traffic_; }
    // Told after every change of the counts (progress bars); empty for none.
    // It runs inside the link's calls, so it must not call into the link.
    void SetTrafficObserver(std::function<void(const Traffic&)> observer);

    ~CommPort();
    CommPort(const CommPort&) = delete;
    CommPort& operator=(const CommPort&) = delete;

  private:
    friend class CommandBusyScope;
    friend class PumpBlockScope;
    CommPort();

    void ReadSettings();
    void ReleasePort();
    void EnterBusy();
    void LeaveBusy();
    void PostNotBusyWork();
    enum class WaitEnd { Data, Timeout, Down, Quit, Gone };
    WaitEnd WaitForDataWhy(std::size_t minBytes);
    bool ReadResponseUnchecked(uint8_t& type, uint8_t* dest, std::size_t capacity,
                               CommError& error);
    // Drops whatever has been received and not read, without waiting.
    void DiscardWaitingInput();
    // The rest of a response whose first byte was first.
    bool ReadFrameFrom(uint8_t first, uint8_t& type, uint8_t* dest, std::size_t capacity,
                       CommError& error);
    // Reads a write's answer; true for ACK.
    bool ReadAcknowledgement();
    // FlushBuffers without discarding what waits to be sent.
    bool FlushReceived();
    void CountRead(std::size_t n);
    void CountWritten(std::size_t n);
    // n bytes were handed to the port now: they follow what is still on the wire.
    void NoteOnWire(std::size_t n);

    std::unique_ptr<serial::SerialPort> port_;
    uint8_t firmware_ = kNoFirmware;
    int delay_ = kDefaultDelay;
    int portNumber_ = kDefaultPort;
    int busyCount_ = 0;
    int retries_ = kDefaultRetries;
    int waitRetries_ = kDefaultWaitRetries;
    int timeout_ = kDefaultTimeout;
    bool linked_ = false;
    bool pumpEnabled_ = true;
    int64_t blockedSinceMs_ = 0;  // when the outermost PumpBlockScope began
    int waitDepth_ = 0;
    PortOpener opener_;
    std::string lastDevice_;
    bool lastBreakGone_ = false;
    Traffic traffic_;
    int64_t wireFreeUs_ = 0;  // when the last byte written has crossed, host clock
    std::function<void(const Traffic&)> trafficObserver_;
    std::vector<std::function<void()>> notBusyWork_;
    uint8_t txBuffer_[wire::kBufferSize] = {};
    uint8_t rxBuffer_[wire::kBufferSize] = {};
};

// Brackets one module command: raises the busy count (commands arriving meanwhile
// are postponed), optionally shows the wait cursor, and suspends the monitor.
// On exit the busy count drops again; at 0 the postponed commands are replayed
// from the main loop.
class CommandBusyScope {
  public:
    explicit CommandBusyScope(bool showWaitCursor, bool suspendMonitor = true);
    ~CommandBusyScope();
    CommandBusyScope(const CommandBusyScope&) = delete;
    CommandBusyScope& operator=(const CommandBusyScope&) = delete;

  private:
    Host* cursorHost_;  // the host that showed the cursor, or null
};

// No UI event is dispatched by the link's waits for the life of the scope.
class PumpBlockScope {
  public:
    PumpBlockScope();
    ~PumpBlockScope();
    PumpBlockScope(const PumpBlockScope&) = delete;
    PumpBlockScope& operator=(const PumpBlockScope&) = delete;

  private:
    bool saved_;
};

}  // namespace qx
