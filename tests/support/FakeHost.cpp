#include "support/FakeHost.h"

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <system_error>

#include "core/serial/SerialPort.h"

namespace qx {

void RealSleepClock::SleepMs(int ms) {
    if (ms <= 0) return;
    RealClock().SleepMs(std::min(ms, kMaxRealSleepMs));
    clock_.Advance(ms);
}

FakeHost::FakeHost() = default;
FakeHost::~FakeHost() = default;

void FakeHost::QueueAnswer(MsgResult answer) {
    answers_.push_back(answer);
}

void FakeHost::ScheduleEvent(int64_t atMs, std::function<void()> fn) {
    events_.emplace(std::make_pair(atMs, eventSeq_++), std::move(fn));
}

void FakeHost::ScheduleEventIn(int64_t delayMs, std::function<void()> fn) {
    ScheduleEvent(clock_.NowMs() + delayMs, std::move(fn));
}

void FakeHost::QueueEvent(std::function<void()> fn) {
    ScheduleEvent(clock_.NowMs(), std::move(fn));
}

std::size_t FakeHost::RunPosted(std::size_t maxCalls) {
    std::size_t ran = 0;
    while (!posted_.empty() && ran < maxCalls) {
        auto fn = std::move(posted_.front());
        posted_.pop_front();
        fn();
        ++ran;
    }
    return ran;
}

RecordedMessage FakeHost::LastMessage() const {
    return messages_.empty() ? RecordedMessage{} : messages_.back();
}

std::vector<std::string> FakeHost::MessageTexts() const {
    std::vector<std::string> texts;
    for (const RecordedMessage& m : messages_) texts.push_back(m.text);
    return texts;
}

std::string FakeHost::TraceText() const {
    std::string all;
    for (const std::string& t : traces_) all += t;
    return all;
}

void FakeHost::ClearRecords() {
    messages_.clear();
    beeps_.clear();
    traces_.clear();
    routed_.clear();
    waitWindow_.clear();
    linkIndicator_.clear();
    quitPosts_.clear();
    waitStats_ = WaitStats{};
    waitRequests_.clear();
}

MsgResult FakeHost::MessageBox(std::string_view text, std::string_view caption, MsgButtons buttons,
                               MsgIcon icon) {
    MsgResult answer = buttons == MsgButtons::YesNo ? MsgResult::No
                       : buttons == MsgButtons::Ok || buttons == MsgButtons::OkCancel
                           ? MsgResult::Ok
                           : MsgResult::Cancel;
    if (!answers_.empty()) {
        answer = answers_.front();
        answers_.pop_front();
    }
    messages_.push_back({std::string(text), std::string(caption), buttons, icon, answer});
    return answer;
}

void FakeHost::ShowWaitWindow(std::string_view text) {
    waitWindow_.push_back({true, std::string(text)});
    waitWindowOpen_ = true;
}

void FakeHost::CloseWaitWindow() {
    waitWindow_.push_back({false, {}});
    waitWindowOpen_ = false;
}

bool FakeHost::EventDue() {
    return !events_.empty() && events_.begin()->first.first <= clock_.NowMs();
}

bool FakeHost::HasPendingEvent() {
    // A pending quit is itself an event: the next dispatch reports it.
    return quitting_ || EventDue();
}

bool FakeHost::DispatchOneEvent() {
    if (quitting_) return false;
    if (EventDue()) events_.extract(events_.begin()).mapped()();
    return !quitting_;
}

bool FakeHost::DispatchPendingEvents() {
    while (!quitting_ && EventDue()) DispatchOneEvent();
    return !quitting_;
}

void FakeHost::Trace(std::string_view text) {
    traces_.emplace_back(text);
    static const bool print = [] {
        const char* env = getenv("QUORVEXI_TRACE");
        return env && *env && std::string_view(env) != "0";
    }();
    if (print) {
        fwrite(text.data(), 1, text.size(), stderr);
        fflush(stderr);
    }
}

void FakeHost::PostQuit(int exitCode) {
    quitPosts_.push_back(exitCode);
    quitting_ = true;
}

WaitOutcome FakeHost::Wait(const WaitRequest& request) {
    ++waitStats_.calls;
    waitRequests_.push_back(request);
    if (request.dispatch && HasPendingEvent()) return WaitOutcome::UiEvent;
    serial::SerialPort* port = request.port;
    if (port && port->IsGone()) return WaitOutcome::DeviceGone;

    int64_t until = clock_.NowMs() + std::max(0, request.timeoutMs);
    if (request.dispatch && !events_.empty()) until = std::min(until, events_.begin()->first.first);
    WaitOutcome outcome = WaitOutcome::Ready;
    if (port && request.minBytes > 0) {
        const int ms = static_cast<int>(std::max<int64_t>(0, until - clock_.NowMs()));
        const int64_t realStart = RealClock().NowMs();
        outcome = port->WaitForBytes(request.minBytes, ms);
        if (outcome == WaitOutcome::Ready || outcome == WaitOutcome::DeviceGone) {
            // Bytes that come in real time move the virtual clock on as well.
            if (realSleeps_)
                clock_.Advance(std::clamp<int64_t>(RealClock().NowMs() - realStart, 0, ms));
            return outcome;
        }
    }
    // A port on another clock (a real pseudo-terminal) waited in real time;
    // the virtual clock follows so that the wait still took its time.
    if (clock_.NowMs() < until) clock_.Advance(until - clock_.NowMs());
    if (request.dispatch && HasPendingEvent()) return WaitOutcome::UiEvent;
    return outcome == WaitOutcome::Ready ? WaitOutcome::Ready : WaitOutcome::Timeout;
}

ScopedFakeHost::ScopedFakeHost() {
    std::error_code ec;
    std::string base = std::filesystem::temp_directory_path(ec).string();
    if (ec || base.empty()) base = "/tmp";
    std::string pattern = base + "/qx-test-XXXXXX";
    if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot make a temporary folder");
    dir_ = pattern;
    profilePath_ = dir_ + "/QuorvexI.ini";
    previous_ = SetCurrentHost(&host_);
    previousProfile_ = ExchangeAppProfile(std::make_unique<Profile>(profilePath_));
}

ScopedFakeHost::~ScopedFakeHost() {
    ExchangeAppProfile(std::move(previousProfile_));
    SetCurrentHost(previous_);
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
}

}  // namespace qx
