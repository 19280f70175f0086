#pragma once
// The ignition module as a protocol state machine on its 64 KiB memory,
// independent of any transport. The caller feeds the bytes the host sends and
// collects the bytes the module sends, both stamped with the caller's clock in
// microseconds (a virtual clock in tests). The line is modelled: every byte
// takes its wire time in each direction (10 bits at the baud rate) and a
// response starts a settable turnaround after the request's last byte.
//
// Faults are injected deterministically from a random key. An "exchange" is one
// answered request or one monitor packet; each fault applies only where it
// makes sense (a swallowed ACK only to writes, a corrupt checksum only to frames).
//
// Not thread-safe: PtyEmulator guards its core with a mutex. Every reference
// returned is owned by the core and valid until its next non-const call.
#include <array>
#include <cstdint>
#include <deque>
#include <optional>
#include <random>
#include <span>
#include <string_view>
#include <vector>

#include "emulator/EngineModel.h"
#include "emulator/ModuleMemory.h"

namespace qx::emu {

enum class Fault : int {
    Silent,           // the request goes unanswered (a write is not stored)
    Nak,              // NAK instead of the answer (a write is not stored)
    CorruptChecksum,  // a frame leaves with a wrong checksum
    DropByte,         // one byte of a frame is lost on the line
    Garbage,          // 1 to 4 random bytes appear inside or before an answer
    SwallowAck,       // a write is stored but its ACK never comes
    Flood,            // after the answer the module streams packets and ignores cancels
    Vanish,           // the device goes away part way through its answer
    Slow,             // the answer leaves slowUs late (a sluggish line or module)
};
inline constexpr int kFaultCount = 9;

// Names used on the command line: silent, nak, checksum, drop, garbage,
// swallow-ack, flood, vanish, slow.
std::string_view FaultName(Fault fault);
std::optional<Fault> FaultFromName(std::string_view name);

struct EmulatorConfig {
    uint8_t firmware = kFirmware10;
    uint16_t serialNumber = 42;
    int baud = 9600;
    int64_t turnaroundUs = 1000;
    uint32_t randomKey = 1;
    // A frame whose next byte is this late is abandoned, so the module
    // resynchronises after a host gave up half way through a request.
    int64_t frameGapUs = 100'000;
    // The extra delay of an answer hit by the slow fault: beyond the default
    // wait of 2.2 s, so the answer comes after the host has given up.
    int64_t slowUs = 3'000'000;
    // A USB adapter between the module and the host, holding received bytes
    // until holdUs have passed since the first of them or kAdapterPacket wait
    // (its latency timer, 16 ms by default, 1 ms with low latency); 0: a plain line.
    int64_t adapterHoldUs = 0;
};
// The payload of an adapter's USB packet: 64 bytes less two of modem status.
inline constexpr std::size_t kAdapterPacket = 62;

struct WriteRecord {
    uint16_t address = 0;
    uint8_t value = 0;
    bool operator==(const WriteRecord&) const = default;
};

struct EmulatorCounters {
    std::array<int, 256> framesByCommand{};  // complete frames with a good checksum, by command
    int badFrames = 0;        // wrong checksum, end byte, length or fields: answered NAK
    int abandonedFrames = 0;  // cut short by silence on the line
    uint64_t bytesReceived = 0;
    uint64_t bytesSent = 0;  // delivered to the host side of the line
    int cancels = 0;         // 0x18 0x18 pairs
    int monitorStarts = 0;
    int monitorPackets = 0;
    int naksSent = 0;
    int acksSent = 0;
    std::vector<WriteRecord> writes;  // stored writes, in order
    std::array<int, kFaultCount> faultsFired{};
};

class EmulatorCore {
  public:
    static constexpr int kMaxFrameLength = 64;  // longer length fields are refused at once
    static constexpr int kMaxBlock = 1024;      // largest read or monitored block

    explicit EmulatorCore(const EmulatorConfig& config = {});

    // The host hands a byte to the line at sentUs; it reaches the module one
    // byte time later, after any bytes still on the wire before it.
    void HostSends(uint8_t byte, int64_t sentUs);
    void HostSends(std::span<const uint8_t> bytes, int64_t sentUs);
    // Runs the module up to nowUs and appends every byte whose last bit has
    // reached the host by then (through the adapter, when one is modelled).
    void Collect(int64_t nowUs, std::vector<uint8_t>& out);
    // When the next module byte will have reached the host, or -1 when the
    // module will send nothing more unless the host sends something.
    int64_t NextByteUs(int64_t nowUs);
    // When bytes next reach the host through a receive FIFO of fifo bytes:
    // once fifo bytes of a burst have arrived or the burst has ended, so a
    // burst's last byte is never later than on the wire. -1 as NextByteUs.
    // With an adapter modelled, when it next passes bytes on (fifo is ignored).
    int64_t NextDeliveryUs(int64_t nowUs, std::size_t fifo);
    // True once a vanish fault has taken the device away (after the part of
    // its answer that still got out).
    bool IsGone(int64_t nowUs) const { return vanishing_ && nowUs >= goneAtUs_; }
    // When the device goes away, or -1 while no vanish fault has fired.
    int64_t GoneAtUs() const { return vanishing_ ? goneAtUs_ : -1; }
    bool IsStreaming() const { return streaming_; }
    bool IsFlooding() const { return flooding_; }

    double ByteTimeUs() const { return byteUs_; }
    void SetBaud(int baud);
    void SetTurnaroundUs(int64_t us) { turnaroundUs_ = us; }
    int64_t AdapterHoldUs() const { return adapterHoldUs_; }

    uint8_t Firmware() const { return firmware_; }
    const LiveLayout& Layout() const { return layout_; }
    uint8_t Peek(uint16_t address) const { return memory_[address]; }
    void Poke(uint16_t address, uint8_t value) { memory_[address] = value; }
    const Memory& GetMemory() const { return memory_; }
    // Brings the live RAM values to their state at timeUs.
    void RefreshLive(int64_t timeUs) { engine_.Update(memory_, layout_, timeUs); }

    // Probability per applicable exchange, 0 to 1.
    void SetFaultProbability(Fault fault, double probability);
    // Forces the fault on count applicable exchanges (before any probability),
    // after the next skip of them have passed untouched.
    void ArmFault(Fault fault, int count, int skip = 0);
    // Clears every fault setting and ends a flood (the stream then stops at a cancel).
    void ClearFaults();
    // The adapter plugged in again: what was on the wire and any stream are
    // gone, the device is back, the memory is kept.
    void Replug();

    const EmulatorCounters& Counters() const { return counters_; }
    void ResetCounters() { counters_ = EmulatorCounters{}; }

  private:
    struct Timed {
        uint8_t byte;
        int64_t atUs;
    };
    enum class Parse { Idle, Length0, Length1, Code, Data, Checksum, End };

    void RunUntil(int64_t timeUs);
    // When the adapter passes on what it holds from the first byte waiting in
    // outputs_ on, as far as the bytes made so far tell.
    int64_t AdapterReleaseUs() const;
    int64_t NextPacketStartUs() const;
    void ProcessByte(uint8_t byte, int64_t atUs);
    void OnCan();
    void Reject(int64_t atUs);
    void HandleFrame(int64_t atUs);
    bool ValidBlock(uint16_t address, uint16_t count) const;
    void SendPacket(int64_t startUs);
    void StartStream(uint16_t address, uint16_t count, int64_t firstUs);
    void SendNak(int64_t earliestUs);
    void Emit(std::span<const uint8_t> bytes, int64_t earliestUs);
    void VanishWith(std::vector<uint8_t> answer, int64_t earliestUs);
    void DamageFrame(std::vector<uint8_t>& frame);
    void AddGarbage(std::vector<uint8_t>& answer);
    bool Fires(Fault fault);
    uint32_t Draw(uint32_t bound) { return static_cast<uint32_t>(rng_() % bound); }

    uint8_t firmware_;
    LiveLayout layout_;
    Memory memory_{};
    EngineModel engine_;
    double byteUs_ = 0;
    int64_t turnaroundUs_;
    int64_t frameGapUs_;
    int64_t slowUs_;
    int64_t adapterHoldUs_;

    std::deque<Timed> inputs_;   // by arrival at the module
    std::deque<Timed> outputs_;  // by arrival at the host
    // Each direction keeps an origin and a byte index, so back-to-back bytes
    // are timed from one origin and rounding never accumulates.
    int64_t rxOriginUs_ = 0, rxIndex_ = 0, rxFreeUs_ = INT64_MIN;
    int64_t txOriginUs_ = 0, txIndex_ = 0, txFreeUs_ = INT64_MIN;

    Parse parse_ = Parse::Idle;
    int frameLength_ = 0;
    uint8_t code_ = 0;
    uint8_t checksum_ = 0;
    std::vector<uint8_t> data_;
    int64_t lastArrivalUs_ = 0;
    bool lastWasCan_ = false;

    bool streaming_ = false;
    bool flooding_ = false;
    uint16_t streamAddress_ = 0;
    uint16_t streamCount_ = 0;
    int64_t streamNextUs_ = 0;

    bool vanishing_ = false;
    int64_t goneAtUs_ = 0;

    std::mt19937 rng_;
    std::array<double, kFaultCount> probability_{};
    std::array<int, kFaultCount> armed_{};
    std::array<int, kFaultCount> skip_{};
    EmulatorCounters counters_;
};

}  // namespace qx::emu
