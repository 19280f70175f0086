#pragma once
// The host of command-line programs: no windows and nobody to ask. Message
// boxes are printed to the error stream as one line and answered at once with
// the cautious button; waits sleep on the port's descriptor and on a signal
// pipe, so Ctrl+C ends a wait the way closing the main window would.
#include <cstdio>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "core/host/Host.h"

namespace qx {

class ConsoleHost : public Host {
  public:
    // assumeYes answers Yes to Yes/No questions (a "--yes" option).
    explicit ConsoleHost(bool assumeYes = false);
    ~ConsoleHost() override;

    // Turns SIGINT, SIGTERM and SIGHUP (a closed terminal) into a pending quit
    // for every ConsoleHost of the process, so that a recording ends whole and
    // the module is left quiet; a second signal ends the program the ordinary way. Returns false
    // when the signal pipe could not be made.
    static bool InstallSignalHandlers();
    // Forgets a quit that a signal made pending (tests, or a program that goes on).
    static void ClearSignalQuit();

    void SetAssumeYes(bool on) { assumeYes_ = on; }
    // Verbose: the wait window's text is printed.
    void SetVerbose(bool on) { verbose_ = on; }
    // Sounds BEL when the error stream is a terminal.
    void SetBeepEnabled(bool on) { beepEnabled_ = on; }
    // Where messages, wait texts and traces go; not owned. Default stderr.
    void SetErrorStream(std::FILE* stream) { err_ = stream; }
    // Traces go to the error stream too (default: when QUORVEXI_TRACE is set).
    void SetTraceToStream(bool on) { traceToStream_ = on; }
    // Receives routed command ids.
    void SetCommandHandler(std::function<void(int)> handler) {
        commandHandler_ = std::move(handler);
    }

    // Every trace so far, concatenated. Owned by the host.
    const std::string& TraceLog() const { return traceLog_; }
    // Every message box shown, as printed ("caption: text"). Owned by the host.
    const std::vector<std::string>& Shown() const { return shown_; }
    // The code of the last PostQuit (0 when none).
    int ExitCode() const { return exitCode_; }
    // Runs the posted calls, including those they post; returns how many ran.
    std::size_t RunPosted();

    MsgResult MessageBox(std::string_view text, std::string_view caption, MsgButtons buttons,
                         MsgIcon icon) override;
    void Beep(BeepKind kind) override;
    void BeginWaitCursor() override { ++cursorDepth_; }
    void EndWaitCursor() override {
        if (cursorDepth_ > 0) --cursorDepth_;
    }
    void ShowWaitWindow(std::string_view text) override;
    void CloseWaitWindow() override {}
    void SetLinkIndicator(bool) override {}
    void RepaintMainWindow() override {}
    bool HasPendingEvent() override;
    bool DispatchOneEvent() override;
    bool DispatchPendingEvents() override;
    bool IsQuitting() override;
    void Idle() override {}
    void RouteCommand(int commandId) override;
    void Post(std::function<void()> fn) override { posted_.push_back(std::move(fn)); }
    void PostQuit(int exitCode) override;
    bool IsModalActive() override { return false; }
    void Trace(std::string_view text) override;
    Clock& GetClock() override;
    WaitOutcome Wait(const WaitRequest& request) override;

  private:
    // Sleeps at most ms on the given port descriptor (-1: none) and, when
    // dispatch is allowed, the signal pipe. True when the port hung up;
    // readable (when given) tells whether the port has bytes to read.
    bool PollOnce(int portFd, short portEvents, bool dispatch, int ms, bool* readable = nullptr);

    bool assumeYes_;
    bool verbose_ = false;
    bool beepEnabled_ = false;
    bool traceToStream_;
    bool quitting_ = false;
    int exitCode_ = 0;
    int cursorDepth_ = 0;
    std::FILE* err_ = stderr;
    std::function<void(int)> commandHandler_;
    std::deque<std::function<void()>> posted_;
    std::string traceLog_;
    std::vector<std::string> shown_;
};

}  // namespace qx
