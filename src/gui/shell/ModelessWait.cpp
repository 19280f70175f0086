#include "gui/shell/ModelessWait.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QDeadlineTimer>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QWindow>

#include "gui/shell/QtHost.h"

namespace qx::gui {

ModelessWait::ModelessWait(const QString& message, QWidget* parent)
    : TemplateDialog(res::kWaitDialog, parent), message_(message) {
    setModal(false);
    setAttribute(Qt::WA_ShowWithoutActivating, false);
    QWidget* owner = parentWidget();
    const QRect area =
        owner ? owner->geometry() : QApplication::primaryScreen()->availableGeometry();
    move(area.center() - rect().center());
    show();
    raise();
    activateWindow();
    PaintNow();
}

bool ModelessWait::OnInitDialog() {
    SetText(kMessageId, message_);
    return true;
}

void ModelessWait::SetMessage(const QString& message) {
    message_ = message;
    SetText(kMessageId, message);
    PaintNow();
}

void ModelessWait::PaintNow() {
    if (!isVisible()) return;
    // Whatever runs meanwhile may close this window: nothing below outlives it.
    const QPointer<ModelessWait> self(this);
    {
        // Under a window manager a new window is mapped and exposed a little
        // later, and what is painted before that never shows; the work that
        // follows may dispatch nothing for seconds. So wait for the exposure,
        // taking no input, no socket traffic and no posted commands meanwhile.
        // Bounded: a desktop that never shows the window must not hold the work.
        HoldPostedWork hold;
        const QEventLoop::ProcessEventsFlags flags =
            QEventLoop::ExcludeUserInputEvents | QEventLoop::ExcludeSocketNotifiers;
        QCoreApplication::processEvents(flags);
        const auto waiting = [&self] {
            return self && self->isVisible() && self->windowHandle() != nullptr &&
                   !self->windowHandle()->isExposed();
        };
        if (waiting()) {
            QDeadlineTimer deadline(kExposeWaitMs);
            QTimer wake;  // ends the last blocking pass at the deadline
            wake.setSingleShot(true);
            wake.start(kExposeWaitMs);
            QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
            while (dispatcher != nullptr && waiting() && !deadline.hasExpired())
                dispatcher->processEvents(flags | QEventLoop::WaitForMoreEvents);
        }
    }
    if (self) repaint();
}

}  // namespace qx::gui
