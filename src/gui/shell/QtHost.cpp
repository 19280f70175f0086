#include "gui/shell/QtHost.h"

#include <QAbstractButton>
#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QCursor>
#include <QEvent>
#include <QEventLoop>
#include <QGridLayout>
#include <QMessageBox>
#include <QMetaMethod>
#include <QSocketNotifier>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iterator>

#include "core/host/Clock.h"
#include "core/serial/SerialPort.h"
#include "gui/resources/TemplateDialog.h"
#include "gui/shell/ModelessWait.h"

namespace qx::gui {

namespace {

// The answer that does nothing further: what Enter, Escape and closing a
// question give, as a console host with nobody to answer takes. A question
// puts its harmless choice there (No, or Cancel), never a write or a discard.
MsgResult HarmlessAnswer(MsgButtons buttons) {
    switch (buttons) {
        case MsgButtons::Ok:
            return MsgResult::Ok;
        case MsgButtons::YesNo:
            return MsgResult::No;
        default:
            return MsgResult::Cancel;
    }
}

// A port without a descriptor is polled in slices this long while events are checked.
constexpr int kSliceMs = 10;
// The longest a command's state may lag behind a change no event announced.
constexpr int kIdleLagMs = 200;
// Frames at least this long in wire time are not looked for before they can be in.
constexpr long long kLongFrameMs = 10;

QString ToQ(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<int>(s.size()));
}

struct Counter {
    explicit Counter(int& n) : n_(n) { ++n_; }
    ~Counter() { --n_; }
    int& n_;
};

int heldDepth = 0;

}  // namespace

HoldPostedWork::HoldPostedWork() {
    ++heldDepth;
}
HoldPostedWork::~HoldPostedWork() {
    --heldDepth;
}
bool HoldPostedWork::Active() {
    return heldDepth > 0;
}

QtHost::QtHost(QObject* parent) : QObject(parent), clock_(&RealClock()) {
    trace_ = TraceRequested();
    if (QCoreApplication* app = QCoreApplication::instance()) {
        app->installEventFilter(this);
        connect(app, &QCoreApplication::aboutToQuit, this, [this] { quitting_ = true; });
    }
    idleLag_ = new QTimer(this);
    idleLag_->setSingleShot(true);
    connect(idleLag_, &QTimer::timeout, this, [this] { RunIdle(true); });
    if (QAbstractEventDispatcher* d = QAbstractEventDispatcher::instance())
        connect(d, &QAbstractEventDispatcher::aboutToBlock, this, [this] { RunIdle(); });
}

QtHost::~QtHost() {
    if (QCoreApplication* app = QCoreApplication::instance()) app->removeEventFilter(this);
    while (cursorDepth_ > 0) EndWaitCursor();
    CloseWaitWindow();
}

void QtHost::SetMainWindow(QWidget* window) {
    mainWindow_ = window;
}

ModelessWait* QtHost::WaitWindow() const {
    return waitWindow_.get();
}

bool QtHost::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Quit) quitting_ = true;
    if (watched != waitTimer_ && watched != waitNotifier_) {
        ++foreignEvents_;
        if (watched != idleLag_ && !ChangesNoState(*event)) idleWanted_ = true;
    }
    return false;
}

bool QtHost::ChangesNoState(const QEvent& event) {
    switch (event.type()) {
        case QEvent::Paint:
        case QEvent::UpdateRequest:
        case QEvent::UpdateLater:
        case QEvent::LayoutRequest:
        case QEvent::ActionChanged:  // what the idle handler itself causes
            return true;
        default:
            return false;
    }
}

MsgResult QtHost::MessageBox(std::string_view text, std::string_view caption, MsgButtons buttons,
                             MsgIcon icon) {
    return MessageBoxNamed(text, caption, buttons, icon, {});
}

MsgResult QtHost::MessageBoxNamed(std::string_view text, std::string_view caption,
                                  MsgButtons buttons, MsgIcon icon,
                                  const std::vector<std::string>& names) {
    return ShowMessage(mainWindow_, text, caption, buttons, icon, names);
}

MsgResult QtHost::MessageBoxOver(QWidget* owner, std::string_view text, std::string_view caption,
                                 MsgButtons buttons, MsgIcon icon) {
    return ShowMessage(owner, text, caption, buttons, icon, {});
}

MsgResult QtHost::ShowMessage(QWidget* owner, std::string_view text, std::string_view caption,
                              MsgButtons buttons, MsgIcon icon,
                              const std::vector<std::string>& names) {
    if (answerer_) {
        if (auto answer = answerer_({std::string(text), std::string(caption), buttons, icon}))
            return *answer;
    }
    QMessageBox box(owner);
    box.setWindowTitle(ToQ(caption));
    box.setText(ToQ(text));
    box.setTextFormat(Qt::PlainText);
    switch (icon) {
        case MsgIcon::Error:
            box.setIcon(QMessageBox::Critical);
            break;
        case MsgIcon::Warning:
            box.setIcon(QMessageBox::Warning);
            break;
        case MsgIcon::Question:
            box.setIcon(QMessageBox::Question);
            break;
        case MsgIcon::Information:
            box.setIcon(QMessageBox::Information);
            break;
        case MsgIcon::None:
            break;
    }
    switch (buttons) {
        case MsgButtons::Ok:
            box.setStandardButtons(QMessageBox::Ok);
            break;
        case MsgButtons::RetryCancel:
            box.setStandardButtons(QMessageBox::Retry | QMessageBox::Cancel);
            break;
        case MsgButtons::YesNo:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            break;
        case MsgButtons::YesNoCancel:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
            break;
        case MsgButtons::OkCancel:
            box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
            break;
    }
    // Enter, Escape and the close button all give the harmless answer: a
    // reflex never writes to the module, replaces the document or discards work.
    const MsgResult safe = HarmlessAnswer(buttons);
    const QMessageBox::StandardButton harmless = safe == MsgResult::Ok   ? QMessageBox::Ok
                                                 : safe == MsgResult::No ? QMessageBox::No
                                                                         : QMessageBox::Cancel;
    box.setDefaultButton(harmless);
    box.setEscapeButton(harmless);
    const QMessageBox::StandardButton order[] = {QMessageBox::Yes, QMessageBox::No,
                                                 QMessageBox::Cancel};
    for (std::size_t i = 0; i < names.size() && i < std::size(order); ++i) {
        if (QAbstractButton* b = box.button(order[i]); b && !names[i].empty())
            b->setText(ToQ(names[i]));
    }
    // Wide enough for the window manager to write the caption whole: the box
    // sizes itself to its text, and a short text under a long caption got cut.
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout()))
        grid->addItem(new QSpacerItem(TitleBarWidth(box.windowTitle()), 0, QSizePolicy::Minimum,
                                      QSizePolicy::Minimum),
                      grid->rowCount(), 0, 1, grid->columnCount());
    // A wait window left up would stand, unpainted, behind or over the box.
    const QPointer<ModelessWait> wait = waitWindow_;
    const bool waitShown = wait && wait->isVisible();
    if (waitShown) wait->hide();
    int pressed;
    {
        Counter modal(modalDepth_);
        pressed = box.exec();
    }
    // The work it announced goes on after the answer.
    if (waitShown && wait) {
        wait->show();
        wait->SetMessage(wait->Message());
    }
    switch (pressed) {
        case QMessageBox::Ok:
            return MsgResult::Ok;
        case QMessageBox::Retry:
            return MsgResult::Retry;
        case QMessageBox::Yes:
            return MsgResult::Yes;
        case QMessageBox::No:
            return MsgResult::No;
        default:
            // Closed without a button (the application quit): the harmless answer.
            return HarmlessAnswer(buttons);
    }
}

void QtHost::Beep(BeepKind) {
    ++beeps_;
    QApplication::beep();
}

void QtHost::BeginWaitCursor() {
    if (cursorDepth_++ == 0) QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
}

void QtHost::EndWaitCursor() {
    if (cursorDepth_ > 0 && --cursorDepth_ == 0) QGuiApplication::restoreOverrideCursor();
}

void QtHost::ShowWaitWindow(std::string_view text) {
    if (waitWindow_)
        waitWindow_->SetMessage(ToQ(text));
    else
        waitWindow_ = new ModelessWait(ToQ(text), mainWindow_);
}

void QtHost::CloseWaitWindow() {
    delete waitWindow_.data();
}

void QtHost::SetLinkIndicator(bool linked) {
    Q_EMIT linkIndicatorChanged(linked);
}

void QtHost::RepaintMainWindow() {
    if (mainWindow_ && mainWindow_->isVisible()) mainWindow_->repaint();
}

bool QtHost::DispatchPass() {
    QAbstractEventDispatcher* d = QAbstractEventDispatcher::instance();
    if (!d) return false;
    Counter nest(dispatchDepth_);
    const unsigned long before = foreignEvents_;
    d->processEvents(QEventLoop::AllEvents);
    return foreignEvents_ != before;
}

bool QtHost::HasPendingEvent() {
    if (!foundByLook_) foundByLook_ = DispatchPass();
    return foundByLook_;
}

bool QtHost::DispatchOneEvent() {
    if (foundByLook_)
        foundByLook_ = false;
    else
        DispatchPass();
    return !quitting_;
}

bool QtHost::DispatchPendingEvents() {
    foundByLook_ = false;
    // Bounded: a handler that keeps posting work cannot hold the caller forever.
    for (int i = 0; i < 64 && DispatchPass(); ++i) {
    }
    return !quitting_;
}

void QtHost::RunIdle(bool force) {
    if (inIdle_ || !isSignalConnected(QMetaMethod::fromSignal(&QtHost::idleDue))) return;
    if (!force && !idleWanted_) {
        // Whatever changed without an event (a link lost in a wait) shows soon.
        if (!idleLag_->isActive() && QCoreApplication::instance()) idleLag_->start(kIdleLagMs);
        return;
    }
    idleWanted_ = false;
    idleLag_->stop();
    inIdle_ = true;
    Q_EMIT idleDue();
    inIdle_ = false;
}

void QtHost::Idle() {
    RunIdle();
}

void QtHost::RouteCommand(int commandId) {
    Q_EMIT commandRequested(commandId);
}

void QtHost::Post(std::function<void()> fn) {
    QMetaObject::invokeMethod(
        this,
        [this, fn = std::move(fn)]() mutable {
            if (HoldPostedWork::Active())
                Post(std::move(fn));  // runs in a later pass
            else
                fn();
        },
        Qt::QueuedConnection);
}

void QtHost::PostQuit(int exitCode) {
    quitting_ = true;
    QCoreApplication::exit(exitCode);
}

bool QtHost::IsModalActive() {
    return modalDepth_ > 0 || TemplateDialogModalDepth() > 0 ||
           QApplication::activeModalWidget() != nullptr;
}

void QtHost::Trace(std::string_view text) {
    if (!trace_) return;
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
}

bool QtHost::SleepOnce(serial::SerialPort* port, std::size_t minBytes, std::size_t have,
                       int sleepMs) {
    QAbstractEventDispatcher* d = QAbstractEventDispatcher::instance();
    if (!d) {
        clock_->SleepMs(sleepMs);
        return false;
    }
    // One timer for each depth of nested waits, kept: making and connecting
    // one for each sleep cost as much as the sleep's own bookkeeping.
    const auto level = static_cast<std::size_t>(std::max(waitDepth_, 1) - 1);
    while (waitSlots_.size() <= level) {
        auto made = std::make_unique<WaitSlot>();
        WaitSlot* slot = made.get();
        slot->timer.setSingleShot(true);
        slot->timer.setTimerType(Qt::PreciseTimer);
        connect(&slot->timer, &QTimer::timeout, this, [slot] { slot->timedOut = true; });
        waitSlots_.push_back(std::move(made));
    }
    WaitSlot* slot = waitSlots_[level].get();  // lives as long as the host
    slot->timedOut = false;
    std::unique_ptr<QSocketNotifier> notifier;
    bool readable = false;
    if (port && minBytes > 0 && port->PollFd() >= 0) {
        // Bytes come no faster than the wire: with part of the frame here (the
        // notifier would fire at once) or a long frame yet to come, sleep the
        // wire time of the missing bytes first. A stream of packets then wakes
        // the program once a packet, not once for its first bytes as well.
        const long long wireMs =
            (static_cast<long long>(minBytes - std::min(have, minBytes)) * port->ByteTimeUs() +
             999) /
            1000;
        if ((have > 0 && have < minBytes) || (have == 0 && wireMs >= kLongFrameMs)) {
            sleepMs = static_cast<int>(std::clamp<long long>(wireMs, 1, sleepMs));
        } else {
            notifier = std::make_unique<QSocketNotifier>(port->PollFd(), QSocketNotifier::Read);
            QSocketNotifier* n = notifier.get();
            connect(n, &QSocketNotifier::activated, this, [n, &readable] {
                readable = true;
                n->setEnabled(false);
            });
        }
    }
    slot->timer.start(std::max(sleepMs, 0));
    QObject* const outerTimer = waitTimer_;
    QObject* const outerNotifier = waitNotifier_;
    waitTimer_ = &slot->timer;
    waitNotifier_ = notifier.get();
    const unsigned long before = foreignEvents_;
    d->processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    slot->timer.stop();
    waitTimer_ = outerTimer;
    waitNotifier_ = outerNotifier;
    // Nothing of ours fired: whatever woke the dispatcher was a UI event.
    return foreignEvents_ != before || (!slot->timedOut && !readable);
}

WaitOutcome QtHost::Wait(const WaitRequest& request) {
    serial::SerialPort* port = request.port;
    const bool wantBytes = port && request.minBytes > 0;
    if (!request.dispatch) {
        if (wantBytes) return port->WaitForBytes(request.minBytes, request.timeoutMs);
        clock_->SleepMs(request.timeoutMs);
        return WaitOutcome::Ready;
    }
    Counter nest(waitDepth_);
    const int64_t deadline = clock_->NowMs() + std::max(request.timeoutMs, 0);
    for (;;) {
        // Bytes first: a vanished device shows in the count too (an error),
        // and a poll for a hangup costs more than the count on a tty.
        const std::size_t have = wantBytes ? port->RXCount() : 0;
        if (wantBytes) {
            if (have >= request.minBytes) return WaitOutcome::Ready;
            if (port->IsGone()) return WaitOutcome::DeviceGone;
        }
        if (quitting_ || foundByLook_) return WaitOutcome::UiEvent;
        const int64_t remaining = deadline - clock_->NowMs();
        if (remaining <= 0) return wantBytes ? WaitOutcome::Timeout : WaitOutcome::Ready;
        const int slice = static_cast<int>(std::min<int64_t>(remaining, 1 << 30));
        if (wantBytes && port->PollFd() < 0) {
            const WaitOutcome o = port->WaitForBytes(request.minBytes, std::min(slice, kSliceMs));
            if (o == WaitOutcome::Ready || o == WaitOutcome::DeviceGone) return o;
            if (HasPendingEvent()) return WaitOutcome::UiEvent;
            continue;
        }
        // After a UI event the port may be gone: the caller looks again.
        if (SleepOnce(wantBytes ? port : nullptr, request.minBytes, have, slice))
            return WaitOutcome::UiEvent;
    }
}

}  // namespace qx::gui
