#include "support/ScriptedDevice.h"

#include <algorithm>

#include "core/link/Request.h"

namespace qx::test {

std::vector<uint8_t> Frame(uint8_t code, const std::vector<uint8_t>& data) {
    const uint16_t length = static_cast<uint16_t>(data.size() + 1);
    std::vector<uint8_t> frame;
    frame.reserve(data.size() + 6);  // also spares g++ 12 -O3 a false -Warray-bounds
    frame = {0x02, static_cast<uint8_t>(length & 0xFF), static_cast<uint8_t>(length >> 8), code};
    frame.insert(frame.end(), data.begin(), data.end());
    frame.push_back(wire::Checksum(code, data.data(), data.size()));
    frame.push_back(0x03);
    return frame;
}

void ScriptedDevice::Expect(std::vector<uint8_t> request, std::vector<uint8_t> response,
                            int delayMs) {
    rules_.push_back(Rule{std::move(request), std::move(response), delayMs});
}

void ScriptedDevice::AlwaysAnswer(std::vector<uint8_t> request, std::vector<uint8_t> response,
                                  int delayMs) {
    always_.push_back(Rule{std::move(request), std::move(response), delayMs});
}

void ScriptedDevice::Stream(std::vector<uint8_t> packet, int64_t fromMs, int periodMs,
                            bool honourCancel) {
    packet_ = std::move(packet);
    streaming_ = true;
    honourCancel_ = honourCancel;
    nextPacketMs_ = fromMs;
    periodMs_ = std::max(1, periodMs);
}

void ScriptedDevice::StreamOnRequest(std::vector<uint8_t> request, std::vector<uint8_t> packet,
                                     int periodMs) {
    streamTrigger_ = Rule{std::move(request), std::move(packet), 0};
    hasStreamTrigger_ = true;
    triggerPeriod_ = periodMs;
}

void ScriptedDevice::GoSilent() {
    silent_ = true;
    outbox_.clear();
    streaming_ = false;
}

std::size_t ScriptedDevice::CountOf(const std::vector<uint8_t>& request) const {
    if (request.empty() || received_.size() < request.size()) return 0;
    std::size_t count = 0;
    for (std::size_t i = 0; i + request.size() <= received_.size(); ++i) {
        if (std::equal(request.begin(), request.end(), received_.begin() + i)) ++count;
    }
    return count;
}

void ScriptedDevice::SendAt(int64_t atMs, std::vector<uint8_t> bytes) {
    if (silent_) return;
    auto at = std::find_if(outbox_.begin(), outbox_.end(),
                           [&](const Scheduled& s) { return s.atMs > atMs; });
    outbox_.insert(at, Scheduled{atMs, std::move(bytes)});
}

bool ScriptedDevice::IsPrefixOfAnyRule() const {
    auto prefix = [&](const Rule& rule) {
        return pending_.size() <= rule.request.size() &&
               std::equal(pending_.begin(), pending_.end(), rule.request.begin());
    };
    if (!rules_.empty() && prefix(rules_.front())) return true;
    if (hasStreamTrigger_ && prefix(streamTrigger_)) return true;
    return std::any_of(always_.begin(), always_.end(), prefix);
}

void ScriptedDevice::OnHostByte(uint8_t byte, int64_t nowMs) {
    received_.push_back(byte);
    const bool cancel = byte == wire::CAN && lastByte_ == wire::CAN;
    lastByte_ = cancel ? 0 : byte;
    if (cancel && honourCancel_) streaming_ = false;
    if (silent_) return;

    pending_.push_back(byte);
    if (!rules_.empty() && pending_ == rules_.front().request) {
        Rule rule = std::move(rules_.front());
        rules_.pop_front();
        pending_.clear();
        SendAt(nowMs + rule.delayMs, std::move(rule.response));
        return;
    }
    if (hasStreamTrigger_ && pending_ == streamTrigger_.request) {
        pending_.clear();
        Stream(streamTrigger_.response, nowMs + triggerPeriod_, triggerPeriod_, true);
        return;
    }
    for (const Rule& rule : always_) {
        if (pending_ == rule.request) {
            pending_.clear();
            SendAt(nowMs + rule.delayMs, rule.response);
            return;
        }
    }
    // Wake-up and cancel bytes between requests are not part of any request.
    if (byte == wire::CAN && pending_.size() == 1) {
        pending_.clear();
        return;
    }
    if (!IsPrefixOfAnyRule()) pending_.clear();
}

void ScriptedDevice::Produce(int64_t nowMs, std::vector<uint8_t>& out) {
    if (silent_) return;
    for (;;) {
        // Whatever is due first goes first, so streams and answers interleave in time.
        int64_t outboxAt = outbox_.empty() ? -1 : outbox_.front().atMs;
        int64_t streamAt = streaming_ ? nextPacketMs_ : -1;
        int64_t due = -1;
        for (int64_t t : {outboxAt, streamAt}) {
            if (t >= 0 && t <= nowMs && (due < 0 || t < due)) due = t;
        }
        if (due < 0) return;
        if (due == outboxAt) {
            const auto& bytes = outbox_.front().bytes;
            out.insert(out.end(), bytes.begin(), bytes.end());
            outbox_.pop_front();
        } else {
            out.insert(out.end(), packet_.begin(), packet_.end());
            nextPacketMs_ += periodMs_;
        }
    }
}

int64_t ScriptedDevice::NextOutputTime(int64_t nowMs) {
    if (silent_) return -1;
    int64_t next = -1;
    auto consider = [&](int64_t t) {
        if (t < 0) return;
        t = std::max(t, nowMs + 1);
        if (next < 0 || t < next) next = t;
    };
    if (!outbox_.empty()) consider(outbox_.front().atMs);
    if (streaming_) consider(nextPacketMs_);
    return next;
}

}  // namespace qx::test
