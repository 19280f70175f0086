#pragma once
// The services the windowing toolkit and the platform give the core. The GUI
// implements them with Qt, command-line programs with ConsoleHost, tests with a
// scripted fake. The core reaches the host only through CurrentHost().
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace qx {

class Clock;
namespace serial {
class SerialPort;
}

enum class MsgButtons { Ok, RetryCancel, YesNo, YesNoCancel, OkCancel };
enum class MsgIcon { None, Error, Warning, Question, Information };
enum class MsgResult { Ok, Cancel, Retry, Yes, No };
enum class BeepKind { Default, Error, Question };

enum class WaitOutcome {
    Ready,       // the condition the caller waited for holds (bytes, or time passed)
    UiEvent,     // a UI event is pending (only while dispatch was allowed)
    Timeout,     // the time-out passed without the condition
    DeviceGone,  // the port's device has hung up
};

// "Wait until at least minBytes have arrived on port, or (only if dispatch) a UI
// event is pending, or timeoutMs pass." With minBytes 0 (or no port) it is a
// pure time wait, and Ready means the time has passed. A wait never spins: it
// sleeps on the port descriptor, the UI's event source or the clock.
struct WaitRequest {
    serial::SerialPort* port = nullptr;
    std::size_t minBytes = 0;
    int timeoutMs = 0;
    bool dispatch = false;
};

class Host {
  public:
    virtual ~Host() = default;

    // Modal message box owned by the main window; returns the button pressed.
    virtual MsgResult MessageBox(std::string_view text, std::string_view caption,
                                 MsgButtons buttons, MsgIcon icon) = 0;
    // The same with the buttons named by the caller, in the order Yes, No,
    // Cancel ("" keeps a button's usual text). A host that cannot name buttons
    // shows the usual ones.
    virtual MsgResult MessageBoxNamed(std::string_view text, std::string_view caption,
                                      MsgButtons buttons, MsgIcon icon,
                                      const std::vector<std::string>& names) {
        (void)names;
        return MessageBox(text, caption, buttons, icon);
    }
    virtual void Beep(BeepKind kind) = 0;

    // Nested: the cursor is restored when the count returns to zero.
    virtual void BeginWaitCursor() = 0;
    virtual void EndWaitCursor() = 0;

    // The modeless "Please wait..." window. Showing it again changes its text.
    // It is painted at once: the work that follows may dispatch nothing.
    virtual void ShowWaitWindow(std::string_view text) = 0;
    virtual void CloseWaitWindow() = 0;

    // Called by the link when it goes up or down, and to repaint the main window.
    virtual void SetLinkIndicator(bool linked) = 0;
    virtual void RepaintMainWindow() = 0;

    // True when a UI event waits (peeked, not removed).
    virtual bool HasPendingEvent() = 0;
    // Dispatches one pending UI event, if any. Returns false when the
    // application is quitting.
    virtual bool DispatchOneEvent() = 0;
    // Dispatches every pending UI event. Returns false when quitting.
    virtual bool DispatchPendingEvents() = 0;
    // True once the application has been asked to quit.
    virtual bool IsQuitting() = 0;
    // Idle processing: the command-state update.
    virtual void Idle() = 0;
    // Routes a command id to the main window's command handling (menu command).
    virtual void RouteCommand(int commandId) = 0;
    // Runs fn later from the main loop.
    virtual void Post(std::function<void()> fn) = 0;
    virtual void PostQuit(int exitCode) = 0;
    // True while a modal dialog or message box of the host is open. Work posted
    // to "run when nothing is nested" checks this.
    virtual bool IsModalActive() = 0;

    // Debugger output; the text is sent as given (trace lines start with "\r\n").
    virtual void Trace(std::string_view text) = 0;

    virtual Clock& GetClock() = 0;
    int32_t ElapsedSysTime();
    void Sleep(int ms);

    virtual WaitOutcome Wait(const WaitRequest& request) = 0;
};

// The host of this process. Set once by the program (or by each test).
Host& CurrentHost();
// Installs host as the current one; returns the previous (may be null). Not owned.
Host* SetCurrentHost(Host* host);

// RAII: the wait cursor for the life of the scope.
class WaitCursorScope {
  public:
    explicit WaitCursorScope(bool show = true);
    ~WaitCursorScope();
    WaitCursorScope(const WaitCursorScope&) = delete;
    WaitCursorScope& operator=(const WaitCursorScope&) = delete;

  private:
    Host* host_;  // the host that showed the cursor; not owned
};

// True when QUORVEXI_TRACE asks for trace lines on the error stream: set,
// not empty and not "0". Every program reads the variable through this.
bool TraceRequested();

// The application title, the caption of messages raised deep in an operation.
inline constexpr std::string_view kAppTitle = "Quorvex I";

}  // namespace qx
