#pragma once
// The scripted host of the core tests. It answers message boxes from a queue,
// records everything the core asks of the user interface, runs scripted UI
// events on a virtual clock, and waits without ever sleeping: time moves only
// when a wait or a test moves it, so time-outs run in microseconds.
//
// Everything returned by reference is owned by the FakeHost and lives as long
// as it does.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/host/Clock.h"
#include "core/host/Host.h"
#include "core/host/Profile.h"

namespace qx {

struct RecordedMessage {
    std::string text;
    std::string caption;
    MsgButtons buttons = MsgButtons::Ok;
    MsgIcon icon = MsgIcon::None;
    MsgResult answer = MsgResult::Ok;  // what the fake answered
};

struct WaitWindowCall {
    bool shown = false;  // true: ShowWaitWindow, false: CloseWaitWindow
    std::string text;    // the text shown (empty for a close)
};

// How often Wait was called, so a test can prove that a wait slept instead of spinning.
struct WaitStats {
    int calls = 0;
};

// Reads the virtual time but sleeps in real time as well, for a far end that
// runs in real time (the emulator on a pseudo-terminal): a flush's sleep must
// give its bytes time to arrive. A real sleep is cut to kMaxRealSleepMs, which
// a fast line (115200 baud) needs for a few packets.
class RealSleepClock final : public Clock {
  public:
    static constexpr int kMaxRealSleepMs = 50;
    explicit RealSleepClock(VirtualClock& clock) : clock_(clock) {}
    int64_t NowMs() override { return clock_.NowMs(); }
    void SleepMs(int ms) override;

  private:
    VirtualClock& clock_;
};

class FakeHost final : public Host {
  public:
    FakeHost();
    ~FakeHost() override;
    FakeHost(const FakeHost&) = delete;
    FakeHost& operator=(const FakeHost&) = delete;

    // ---- Scripting -------------------------------------------------------

    // Answers of the next message boxes, in order. With the queue empty a box
    // answers Ok (Ok, OkCancel), Cancel (RetryCancel, YesNoCancel) or No (YesNo).
    void QueueAnswer(MsgResult answer);

    // A UI event that becomes pending when the virtual clock reaches atMs.
    void ScheduleEvent(int64_t atMs, std::function<void()> fn);
    // A UI event delayMs from now.
    void ScheduleEventIn(int64_t delayMs, std::function<void()> fn);
    // A UI event pending now.
    void QueueEvent(std::function<void()> fn);

    // The application is asked to quit: a quit is pending, dispatch returns false.
    void SetQuitting(bool quitting = true) { quitting_ = quitting; }
    void SetModalActive(bool active) { modalActive_ = active; }
    // For a far end that runs in real time: plain sleeps (Host::Sleep) take real
    // time too (see RealSleepClock), and a wait that bytes end early moves the
    // virtual clock by the real time it took.
    void SetSleepsInRealTime(bool on) { realSleeps_ = on; }
    // Runs each routed command id (after recording it), as the main window would.
    void SetCommandHandler(std::function<void(int)> handler) {
        commandHandler_ = std::move(handler);
    }

    // Runs the posted calls, including those posted while running, until none
    // is left (a call that keeps posting itself is stopped after maxCalls).
    // Returns how many ran.
    std::size_t RunPosted(std::size_t maxCalls = 100000);

    VirtualClock& clock() { return clock_; }
    int64_t NowMs() { return clock_.NowMs(); }
    void AdvanceMs(int64_t ms) { clock_.Advance(ms); }

    // ---- Records ---------------------------------------------------------

    const std::vector<RecordedMessage>& Messages() const { return messages_; }
    // The last message box; empty record when there was none.
    RecordedMessage LastMessage() const;
    // The text of every message box, in order.
    std::vector<std::string> MessageTexts() const;
    const std::vector<BeepKind>& Beeps() const { return beeps_; }
    // Every trace concatenated.
    std::string TraceText() const;
    const std::vector<int>& RoutedCommands() const { return routed_; }
    const std::vector<WaitWindowCall>& WaitWindowCalls() const { return waitWindow_; }
    bool WaitWindowOpen() const { return waitWindowOpen_; }
    // Every SetLinkIndicator call, in order.
    const std::vector<bool>& LinkIndicatorCalls() const { return linkIndicator_; }
    int WaitCursorDepth() const { return cursorDepth_; }
    // Exit codes of every PostQuit, in order.
    const std::vector<int>& QuitPosts() const { return quitPosts_; }
    const WaitStats& Waits() const { return waitStats_; }
    const std::vector<WaitRequest>& WaitRequests() const { return waitRequests_; }
    // Forgets every record (not the scripts, the clock or the posted calls).
    void ClearRecords();

    // ---- Host ------------------------------------------------------------

    MsgResult MessageBox(std::string_view text, std::string_view caption, MsgButtons buttons,
                         MsgIcon icon) override;
    void Beep(BeepKind kind) override { beeps_.push_back(kind); }
    void BeginWaitCursor() override { ++cursorDepth_; }
    // An unbalanced end shows as a negative depth, which tests can catch.
    void EndWaitCursor() override { --cursorDepth_; }
    void ShowWaitWindow(std::string_view text) override;
    void CloseWaitWindow() override;
    void SetLinkIndicator(bool linked) override { linkIndicator_.push_back(linked); }
    void RepaintMainWindow() override {}
    bool HasPendingEvent() override;
    bool DispatchOneEvent() override;
    bool DispatchPendingEvents() override;
    bool IsQuitting() override { return quitting_; }
    void Idle() override {}
    void RouteCommand(int commandId) override {
        routed_.push_back(commandId);
        if (commandHandler_) commandHandler_(commandId);
    }
    void Post(std::function<void()> fn) override { posted_.push_back(std::move(fn)); }
    void PostQuit(int exitCode) override;
    bool IsModalActive() override { return modalActive_; }
    // Recorded; also printed to stderr when QUORVEXI_TRACE is set, to follow a failing test.
    void Trace(std::string_view text) override;
    Clock& GetClock() override {
        return realSleeps_ ? static_cast<Clock&>(realSleepClock_) : clock_;
    }
    WaitOutcome Wait(const WaitRequest& request) override;

  private:
    bool EventDue();

    VirtualClock clock_;
    RealSleepClock realSleepClock_{clock_};
    bool realSleeps_ = false;
    std::deque<MsgResult> answers_;
    // Keyed by (time, sequence) so that events of one time run in the order given.
    std::map<std::pair<int64_t, uint64_t>, std::function<void()>> events_;
    uint64_t eventSeq_ = 0;
    std::deque<std::function<void()>> posted_;
    bool quitting_ = false;
    bool modalActive_ = false;
    std::function<void(int)> commandHandler_;

    std::vector<RecordedMessage> messages_;
    std::vector<BeepKind> beeps_;
    std::vector<std::string> traces_;
    std::vector<int> routed_;
    std::vector<WaitWindowCall> waitWindow_;
    bool waitWindowOpen_ = false;
    std::vector<bool> linkIndicator_;
    int cursorDepth_ = 0;
    std::vector<int> quitPosts_;
    WaitStats waitStats_;
    std::vector<WaitRequest> waitRequests_;
};

// Installs a FakeHost as CurrentHost() and a fresh profile in a temporary
// folder as AppProfile() for the life of the scope; both are restored after.
class ScopedFakeHost {
  public:
    ScopedFakeHost();
    ~ScopedFakeHost();
    ScopedFakeHost(const ScopedFakeHost&) = delete;
    ScopedFakeHost& operator=(const ScopedFakeHost&) = delete;

    FakeHost& host() { return host_; }
    FakeHost* operator->() { return &host_; }
    FakeHost& operator*() { return host_; }
    // The profile file of this scope (not created until something is written).
    const std::string& ProfilePath() const { return profilePath_; }
    const std::string& TempDir() const { return dir_; }

  private:
    FakeHost host_;
    Host* previous_ = nullptr;
    std::string dir_;
    std::string profilePath_;
    std::unique_ptr<Profile> previousProfile_;
};

}  // namespace qx
