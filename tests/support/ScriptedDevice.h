#pragma once
// A module stand-in for byte-exact link tests: answers expected requests from a
// script, streams packets until it hears the cancel request, or goes silent.
// It records everything it receives.
// Use it as the far end of a serial::MemoryLine on the host's virtual clock.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <vector>

#include "support/MemoryLine.h"

namespace qx::test {

// A whole frame with the given code and data (STX, length, code, data, checksum, ETX).
std::vector<uint8_t> Frame(uint8_t code, const std::vector<uint8_t>& data);

class ScriptedDevice final : public serial::LineDevice {
  public:
    // When the host has written request (the bytes since the previous match),
    // send response delayMs later. Rules are used once, in order.
    void Expect(std::vector<uint8_t> request, std::vector<uint8_t> response, int delayMs = 0);
    // Answers every request equal to request, for ever (after the one-shot rules).
    void AlwaysAnswer(std::vector<uint8_t> request, std::vector<uint8_t> response, int delayMs = 0);
    // Sends bytes at time atMs.
    void SendAt(int64_t atMs, std::vector<uint8_t> bytes);

    // From fromMs on, sends packet every periodMs until the host writes 0x18 0x18
    // (when honourCancel); then stops after the packet under way.
    void Stream(std::vector<uint8_t> packet, int64_t fromMs, int periodMs,
                bool honourCancel = true);
    // When the host writes the monitor start request, streams packets of `packet`.
    void StreamOnRequest(std::vector<uint8_t> request, std::vector<uint8_t> packet, int periodMs);
    // Nothing more is sent (scheduled bytes and streams end).
    void GoSilent();

    // ---- Records (references are owned by the device) ----
    const std::vector<uint8_t>& Received() const { return received_; }
    // How often the request occurred in what was received.
    std::size_t CountOf(const std::vector<uint8_t>& request) const;

    // ---- LineDevice ----
    void OnHostByte(uint8_t byte, int64_t nowMs) override;
    void Produce(int64_t nowMs, std::vector<uint8_t>& out) override;
    int64_t NextOutputTime(int64_t nowMs) override;

  private:
    struct Rule {
        std::vector<uint8_t> request;
        std::vector<uint8_t> response;
        int delayMs = 0;
    };
    struct Scheduled {
        int64_t atMs;
        std::vector<uint8_t> bytes;
    };
    bool IsPrefixOfAnyRule() const;

    std::deque<Rule> rules_;
    std::vector<Rule> always_;
    Rule streamTrigger_;
    bool hasStreamTrigger_ = false;
    int triggerPeriod_ = 0;
    std::vector<uint8_t> pending_;
    std::deque<Scheduled> outbox_;

    std::vector<uint8_t> packet_;
    bool streaming_ = false;
    bool honourCancel_ = true;
    int64_t nextPacketMs_ = 0;
    int periodMs_ = 0;

    bool silent_ = false;
    uint8_t lastByte_ = 0;
    std::vector<uint8_t> received_;
};

}  // namespace qx::test
