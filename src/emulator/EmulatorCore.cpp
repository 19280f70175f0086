#include "emulator/EmulatorCore.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "emulator/Protocol.h"

namespace qx::emu {

namespace {

constexpr int64_t kNever = std::numeric_limits<int64_t>::max();

constexpr std::array<std::string_view, kFaultCount> kFaultNames = {
    "silent", "nak", "checksum", "drop", "garbage", "swallow-ack", "flood", "vanish", "slow"};

uint16_t Word(const std::vector<uint8_t>& data, std::size_t at) {
    return static_cast<uint16_t>(data[at] | (data[at + 1] << 8));
}

}  // namespace

std::string_view FaultName(Fault fault) {
    return kFaultNames[static_cast<int>(fault)];
}

std::optional<Fault> FaultFromName(std::string_view name) {
    for (int i = 0; i < kFaultCount; ++i) {
        if (kFaultNames[i] == name) return static_cast<Fault>(i);
    }
    return std::nullopt;
}

EmulatorCore::EmulatorCore(const EmulatorConfig& config)
    : firmware_(config.firmware),
      layout_(LayoutForFirmware(config.firmware)),
      engine_(config.randomKey),
      turnaroundUs_(config.turnaroundUs),
      frameGapUs_(config.frameGapUs),
      slowUs_(config.slowUs),
      adapterHoldUs_(std::max<int64_t>(config.adapterHoldUs, 0)),
      rng_(config.randomKey) {
    InstallDefaultImage(memory_, config.firmware, config.serialNumber);
    SetBaud(config.baud);
}

void EmulatorCore::SetBaud(int baud) {
    byteUs_ = 10.0 * 1e6 / std::max(baud, 1);
    // Bytes after a change are timed from where the line is now.
    rxOriginUs_ = rxFreeUs_;
    rxIndex_ = 0;
    txOriginUs_ = txFreeUs_;
    txIndex_ = 0;
}

void EmulatorCore::Replug() {
    vanishing_ = false;
    goneAtUs_ = 0;
    inputs_.clear();
    outputs_.clear();
    parse_ = Parse::Idle;
    data_.clear();
    lastWasCan_ = false;
    streaming_ = false;
    flooding_ = false;
}

void EmulatorCore::SetFaultProbability(Fault fault, double probability) {
    probability_[static_cast<int>(fault)] = std::clamp(probability, 0.0, 1.0);
}

void EmulatorCore::ArmFault(Fault fault, int count, int skip) {
    armed_[static_cast<int>(fault)] = std::max(count, 0);
    skip_[static_cast<int>(fault)] = std::max(skip, 0);
}

void EmulatorCore::ClearFaults() {
    probability_.fill(0.0);
    armed_.fill(0);
    skip_.fill(0);
    flooding_ = false;
}

bool EmulatorCore::Fires(Fault fault) {
    const int i = static_cast<int>(fault);
    bool fired = false;
    if (armed_[i] > 0 && skip_[i] > 0) {
        --skip_[i];
    } else if (armed_[i] > 0) {
        --armed_[i];
        fired = true;
    } else if (probability_[i] > 0.0) {
        // rng_() is exactly specified for mt19937, so one key gives the same run everywhere.
        fired = static_cast<double>(rng_()) / 4294967296.0 < probability_[i];
    }
    if (fired) ++counters_.faultsFired[i];
    return fired;
}

void EmulatorCore::HostSends(uint8_t byte, int64_t sentUs) {
    if (sentUs > rxFreeUs_) {
        rxOriginUs_ = sentUs;
        rxIndex_ = 0;
    }
    ++rxIndex_;
    rxFreeUs_ = rxOriginUs_ + std::llround(static_cast<double>(rxIndex_) * byteUs_);
    inputs_.push_back({byte, rxFreeUs_});
}

void EmulatorCore::HostSends(std::span<const uint8_t> bytes, int64_t sentUs) {
    for (uint8_t byte : bytes) HostSends(byte, sentUs);
}

void EmulatorCore::Emit(std::span<const uint8_t> bytes, int64_t earliestUs) {
    if (earliestUs > txFreeUs_) {
        txOriginUs_ = earliestUs;
        txIndex_ = 0;
    }
    for (uint8_t byte : bytes) {
        ++txIndex_;
        txFreeUs_ = txOriginUs_ + std::llround(static_cast<double>(txIndex_) * byteUs_);
        outputs_.push_back({byte, txFreeUs_});
    }
}

int64_t EmulatorCore::NextPacketStartUs() const {
    if (!streaming_ || vanishing_) return kNever;
    return std::max(streamNextUs_, txFreeUs_);
}

void EmulatorCore::RunUntil(int64_t timeUs) {
    for (;;) {
        const int64_t input = inputs_.empty() ? kNever : inputs_.front().atUs;
        const int64_t packet = NextPacketStartUs();
        if (std::min(input, packet) > timeUs) return;
        if (packet <= input) {
            SendPacket(packet);
        } else {
            const Timed next = inputs_.front();
            inputs_.pop_front();
            ProcessByte(next.byte, next.atUs);
        }
    }
}

void EmulatorCore::Collect(int64_t nowUs, std::vector<uint8_t>& out) {
    RunUntil(nowUs);
    auto take = [&] {
        out.push_back(outputs_.front().byte);
        outputs_.pop_front();
        ++counters_.bytesSent;
    };
    if (adapterHoldUs_ == 0) {
        while (!outputs_.empty() && outputs_.front().atUs <= nowUs) take();
        return;
    }
    // Every byte that arrives by nowUs has been made, so each release up to
    // nowUs is known exactly.
    while (!outputs_.empty() && outputs_.front().atUs <= nowUs) {
        const int64_t release = AdapterReleaseUs();
        if (release > nowUs) return;
        for (std::size_t i = 0;
             i < kAdapterPacket && !outputs_.empty() && outputs_.front().atUs <= release; ++i)
            take();
    }
}

int64_t EmulatorCore::AdapterReleaseUs() const {
    const int64_t timer = outputs_.front().atUs + adapterHoldUs_;
    if (outputs_.size() >= kAdapterPacket && outputs_[kAdapterPacket - 1].atUs <= timer)
        return outputs_[kAdapterPacket - 1].atUs;
    return timer;
}

int64_t EmulatorCore::NextByteUs(int64_t nowUs) {
    RunUntil(nowUs);
    for (;;) {
        if (!outputs_.empty()) return outputs_.front().atUs;
        // Bytes already on their way in are committed, so running ahead to them is safe.
        if (!inputs_.empty()) {
            RunUntil(inputs_.front().atUs);
            continue;
        }
        const int64_t packet = NextPacketStartUs();
        if (packet == kNever) return -1;
        // The first byte of the next packet, computed without sending it early:
        // the host may still cancel, or a test may still change memory.
        if (packet > txFreeUs_) return packet + std::llround(byteUs_);
        return txOriginUs_ + std::llround(static_cast<double>(txIndex_ + 1) * byteUs_);
    }
}

int64_t EmulatorCore::NextDeliveryUs(int64_t nowUs, std::size_t fifo) {
    const int64_t next = NextByteUs(nowUs);
    if (next >= 0 && adapterHoldUs_ > 0) {
        const bool made = !outputs_.empty() && outputs_.front().atUs == next;
        int64_t release = made ? AdapterReleaseUs() : next + adapterHoldUs_;
        // Packets not made yet may fill the adapter sooner: look again when the
        // last byte of a full one could have come at the earliest.
        if (streaming_ && outputs_.size() < kAdapterPacket) {
            const int64_t full =
                next + std::llround(static_cast<double>(kAdapterPacket - 1) * byteUs_);
            const int64_t soonest = nowUs + std::llround(byteUs_);
            release = std::min(release, std::max(full, soonest));
        }
        return release;
    }
    if (next < 0 || outputs_.empty() || outputs_.front().atUs != next) return next;
    // A pause longer than a byte and a half ends the burst.
    const int64_t gapUs = std::llround(byteUs_ * 1.5);
    int64_t at = next;
    for (std::size_t i = 1; i < outputs_.size() && i < fifo; ++i) {
        if (outputs_[i].atUs - at > gapUs) break;
        at = outputs_[i].atUs;
    }
    return at;
}

void EmulatorCore::ProcessByte(uint8_t byte, int64_t atUs) {
    ++counters_.bytesReceived;
    if (vanishing_) return;
    if (parse_ != Parse::Idle && atUs - lastArrivalUs_ > frameGapUs_) {
        ++counters_.abandonedFrames;
        parse_ = Parse::Idle;
    }
    lastArrivalUs_ = atUs;

    if (streaming_) {
        // A streaming module listens for the cancel request only.
        if (byte == kCan) {
            OnCan();
        } else {
            lastWasCan_ = false;
        }
        return;
    }

    switch (parse_) {
        case Parse::Idle:
            if (byte == kCan) {
                OnCan();
                return;
            }
            lastWasCan_ = false;
            if (byte == kStx) parse_ = Parse::Length0;
            return;  // anything else outside a frame is line noise
        case Parse::Length0:
            frameLength_ = byte;
            parse_ = Parse::Length1;
            return;
        case Parse::Length1:
            frameLength_ |= byte << 8;
            if (frameLength_ == 0 || frameLength_ > kMaxFrameLength) {
                parse_ = Parse::Idle;
                Reject(atUs);
                return;
            }
            parse_ = Parse::Code;
            return;
        case Parse::Code:
            code_ = byte;
            data_.clear();
            parse_ = frameLength_ == 1 ? Parse::Checksum : Parse::Data;
            return;
        case Parse::Data:
            data_.push_back(byte);
            if (static_cast<int>(data_.size()) == frameLength_ - 1) parse_ = Parse::Checksum;
            return;
        case Parse::Checksum:
            checksum_ = byte;
            parse_ = Parse::End;
            return;
        case Parse::End:
            parse_ = Parse::Idle;
            if (byte != kEtx || checksum_ != FrameChecksum(code_, data_)) {
                Reject(atUs);
                return;
            }
            HandleFrame(atUs);
            return;
    }
}

void EmulatorCore::OnCan() {
    if (!lastWasCan_) {
        lastWasCan_ = true;  // a single CAN is the wake-up byte
        return;
    }
    lastWasCan_ = false;
    ++counters_.cancels;
    if (!flooding_) streaming_ = false;
}

void EmulatorCore::SendNak(int64_t earliestUs) {
    const uint8_t nak = kNak;
    Emit({&nak, 1}, earliestUs);
    ++counters_.naksSent;
}

void EmulatorCore::Reject(int64_t atUs) {
    ++counters_.badFrames;
    SendNak(atUs + turnaroundUs_);
}

bool EmulatorCore::ValidBlock(uint16_t address, uint16_t count) const {
    return count > 0 && count <= kMaxBlock && address + count <= 0x10000;
}

void EmulatorCore::HandleFrame(int64_t atUs) {
    int64_t answerUs = atUs + turnaroundUs_;
    const std::size_t n = data_.size();
    bool valid = false;
    switch (code_) {
        case kCmdIdentify:
            valid = n == 0;
            break;
        case kCmdRead:
        case kCmdMonitorStart:
            valid = n == 4 && ValidBlock(Word(data_, 0), Word(data_, 2));
            break;
        case kCmdWrite:
            valid = n == 5 && Word(data_, 2) == 1;
            break;
        default:
            break;
    }
    ++counters_.framesByCommand[code_];
    if (!valid) {
        Reject(atUs);
        return;
    }

    if (Fires(Fault::Vanish)) {
        std::vector<uint8_t> answer;
        if (code_ == kCmdIdentify) answer = BuildFrame(kRespIdentify, {&firmware_, 1});
        if (code_ == kCmdRead || code_ == kCmdMonitorStart) {
            RefreshLive(atUs);
            const auto first = memory_.begin() + Word(data_, 0);
            const std::vector<uint8_t> bytes(first, first + Word(data_, 2));
            answer = BuildFrame(code_ == kCmdRead ? kRespRead : kRespMonitor, bytes);
        }
        VanishWith(std::move(answer), answerUs);
        return;
    }
    if (Fires(Fault::Silent)) return;
    if (Fires(Fault::Slow)) answerUs += slowUs_;
    if (Fires(Fault::Nak)) {
        SendNak(answerUs);
        return;
    }

    std::vector<uint8_t> answer;
    bool framed = true;
    switch (code_) {
        case kCmdIdentify:
            answer = BuildFrame(kRespIdentify, {&firmware_, 1});
            break;
        case kCmdRead: {
            RefreshLive(atUs);
            const auto first = memory_.begin() + Word(data_, 0);
            answer = BuildFrame(kRespRead, std::vector<uint8_t>(first, first + Word(data_, 2)));
            break;
        }
        case kCmdWrite: {
            const WriteRecord write{Word(data_, 0), data_[4]};
            memory_[write.address] = write.value;
            counters_.writes.push_back(write);
            if (Fires(Fault::SwallowAck)) return;
            answer = {kAck};
            framed = false;
            ++counters_.acksSent;
            break;
        }
        case kCmdMonitorStart:
            ++counters_.monitorStarts;
            StartStream(Word(data_, 0), Word(data_, 2), answerUs);
            framed = false;  // the packets are the answer; each takes its own faults
            break;
    }
    if (framed) DamageFrame(answer);
    if (!answer.empty()) {
        AddGarbage(answer);
        Emit(answer, answerUs);
    }
    if (Fires(Fault::Flood)) {
        if (!streaming_) StartStream(layout_.blockStart, layout_.blockCount, answerUs);
        flooding_ = true;
    }
}

void EmulatorCore::StartStream(uint16_t address, uint16_t count, int64_t firstUs) {
    streaming_ = true;
    streamAddress_ = address;
    streamCount_ = count;
    streamNextUs_ = firstUs;
}

void EmulatorCore::SendPacket(int64_t startUs) {
    RefreshLive(startUs);
    const auto first = memory_.begin() + streamAddress_;
    std::vector<uint8_t> packet =
        BuildFrame(kRespMonitor, std::vector<uint8_t>(first, first + streamCount_));
    ++counters_.monitorPackets;
    if (Fires(Fault::Vanish)) {
        VanishWith(std::move(packet), startUs);
        return;
    }
    DamageFrame(packet);
    AddGarbage(packet);
    Emit(packet, startUs);
    streamNextUs_ = txFreeUs_;
}

void EmulatorCore::DamageFrame(std::vector<uint8_t>& frame) {
    if (Fires(Fault::CorruptChecksum)) {
        frame[frame.size() - 2] ^= static_cast<uint8_t>(1 + Draw(255));
    }
    if (Fires(Fault::DropByte)) {
        frame.erase(frame.begin() + Draw(static_cast<uint32_t>(frame.size())));
    }
}

void EmulatorCore::AddGarbage(std::vector<uint8_t>& answer) {
    if (!Fires(Fault::Garbage)) return;
    const uint32_t count = 1 + Draw(4);
    const auto at = answer.begin() + Draw(static_cast<uint32_t>(answer.size()));
    std::vector<uint8_t> noise(count);
    for (uint8_t& byte : noise) byte = static_cast<uint8_t>(Draw(256));
    answer.insert(at, noise.begin(), noise.end());
}

void EmulatorCore::VanishWith(std::vector<uint8_t> answer, int64_t earliestUs) {
    // Part of the answer gets out before the device disappears.
    const std::size_t keep = answer.empty() ? 0 : Draw(static_cast<uint32_t>(answer.size()));
    answer.resize(keep);
    Emit(answer, earliestUs);
    vanishing_ = true;
    streaming_ = false;
    flooding_ = false;
    goneAtUs_ = keep == 0 ? earliestUs : txFreeUs_;
    inputs_.clear();
}

}  // namespace qx::emu
