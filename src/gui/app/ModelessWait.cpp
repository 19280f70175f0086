#include "app/ModelessWait.h"

#include <QApplication>
#include <QScreen>

#include "app/QtHost.h"

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
    {
        // A new window is drawn once the window system has exposed it: take
        // that, but no input, no socket traffic and no posted commands.
        HoldPostedWork hold;
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents |
                                        QEventLoop::ExcludeSocketNotifiers);
    }
    repaint();
}

}  // namespace qx::gui
