#pragma once
// The host of the desktop program: message boxes owned by the main window, the
// wait cursor, the "Please wait..." window, event dispatching and the waits of
// the link, all on Qt. One instance, created by the application before any
// window and installed with SetCurrentHost; it owns the wait window it shows.
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/host/Host.h"

namespace qx::gui {

class ModelessWait;

// One message box as it was asked for.
struct MessageRecord {
    std::string text;
    std::string caption;
    MsgButtons buttons;
    MsgIcon icon;
};

// While one of these lives, work posted through QtHost::Post waits for later;
// lets a window take its expose and paint events without starting commands.
class HoldPostedWork {
  public:
    HoldPostedWork();
    ~HoldPostedWork();
    HoldPostedWork(const HoldPostedWork&) = delete;
    HoldPostedWork& operator=(const HoldPostedWork&) = delete;
    static bool Active();
};

class QtHost : public QObject, public Host {
    Q_OBJECT
  public:
    explicit QtHost(QObject* parent = nullptr);
    ~QtHost() override;

    // The window that owns message boxes and the wait window; not owned.
    void SetMainWindow(QWidget* window);
    QWidget* MainWindow() const { return mainWindow_; }

    // A test sees every message box asked for and may answer it without
    // showing it: when the answerer returns a result, no box is shown.
    using Answerer = std::function<std::optional<MsgResult>(const MessageRecord&)>;
    void SetMessageAnswerer(Answerer answerer) { answerer_ = std::move(answerer); }
    int BeepCount() const { return beeps_; }

    // The clock of the waits (default: the real one); not owned.
    void SetClock(Clock& clock) { clock_ = &clock; }

    // The wait window while it is shown, else null. Owned by the host.
    ModelessWait* WaitWindow() const;
    int WaitCursorDepth() const { return cursorDepth_; }
    // Waits and dispatch passes running now (nested loops of this host).
    int NestingDepth() const { return waitDepth_ + dispatchDepth_; }
    // Brackets a modal window the host does not open itself (file dialogs).
    void EnterModal() { ++modalDepth_; }
    void LeaveModal() {
        if (modalDepth_ > 0) --modalDepth_;
    }
    // Forgets a quit request (tests that go on after one).
    void ClearQuitting() { quitting_ = false; }

    MsgResult MessageBox(std::string_view text, std::string_view caption, MsgButtons buttons,
                         MsgIcon icon) override;
    MsgResult MessageBoxNamed(std::string_view text, std::string_view caption, MsgButtons buttons,
                              MsgIcon icon, const std::vector<std::string>& names) override;
    // A message owned by (shown over) owner instead of the main window.
    MsgResult MessageBoxOver(QWidget* owner, std::string_view text, std::string_view caption,
                             MsgButtons buttons, MsgIcon icon);
    void Beep(BeepKind kind) override;
    void BeginWaitCursor() override;
    void EndWaitCursor() override;
    void ShowWaitWindow(std::string_view text) override;
    void CloseWaitWindow() override;
    void SetLinkIndicator(bool linked) override;
    void RepaintMainWindow() override;
    // Qt cannot look into its queue without taking from it: the look runs one
    // non-blocking dispatch pass and remembers whether it found anything, which
    // the next DispatchOneEvent then accounts for.
    bool HasPendingEvent() override;
    bool DispatchOneEvent() override;
    bool DispatchPendingEvents() override;
    bool IsQuitting() override { return quitting_; }
    void Idle() override;
    void RouteCommand(int commandId) override;
    void Post(std::function<void()> fn) override;
    void PostQuit(int exitCode) override;
    bool IsModalActive() override;
    void Trace(std::string_view text) override;
    Clock& GetClock() override { return *clock_; }
    WaitOutcome Wait(const WaitRequest& request) override;

  Q_SIGNALS:
    // A command routed through the host (a replay of a postponed one).
    void commandRequested(int commandId);
    // Idle processing is due; the host skips it while nothing is connected.
    void idleDue();
    // The link went up or down.
    void linkIndicatorChanged(bool linked);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    MsgResult ShowMessage(QWidget* owner, std::string_view text, std::string_view caption,
                          MsgButtons buttons, MsgIcon icon, const std::vector<std::string>& names);
    bool DispatchPass();
    // One sleep in the event dispatcher, with have bytes of the minBytes
    // wanted already waiting; true when something other than the wait's own
    // timer and notifier was dispatched.
    bool SleepOnce(serial::SerialPort* port, std::size_t minBytes, std::size_t have, int sleepMs);
    // The idle handler, run when an event that may change a command's state
    // (input, a queued call) came since it last ran, or when forced; else it
    // is put off for at most kIdleLagMs. Paints and the waits' own wake-ups
    // alone, many a second while monitoring, do not run it.
    void RunIdle(bool force = false);
    static bool ChangesNoState(const QEvent& event);

    QPointer<QWidget> mainWindow_;
    // Owned by the host; the pointer clears itself should the owner window delete it first.
    QPointer<ModelessWait> waitWindow_;
    Answerer answerer_;
    Clock* clock_;
    int beeps_ = 0;
    int cursorDepth_ = 0;
    int modalDepth_ = 0;
    int waitDepth_ = 0;
    int dispatchDepth_ = 0;
    bool quitting_ = false;
    bool foundByLook_ = false;
    bool inIdle_ = false;
    bool trace_ = false;
    // Events delivered to anything but the current wait's own timer and notifier.
    unsigned long foreignEvents_ = 0;
    struct WaitSlot {
        QTimer timer;
        bool timedOut = false;
    };
    std::vector<std::unique_ptr<WaitSlot>> waitSlots_;  // one per depth of nested waits
    QObject* waitTimer_ = nullptr;
    QObject* waitNotifier_ = nullptr;
    bool idleWanted_ = true;
    QTimer* idleLag_ = nullptr;
};

}  // namespace qx::gui
