#include "app/ModelessWait.h"

#include <QApplication>
#include <QScreen>

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
    // Synchronous paint: no event is dispatched, so nothing else can run here.
    if (isVisible()) repaint();
}

}  // namespace qx::gui
