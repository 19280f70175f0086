#include "gui/shell/FrameServices.h"

#include <QMainWindow>
#include <QStatusBar>

namespace qx::gui {

FrameServices::FrameServices(QMainWindow& window, CommandTable& commands, MapGraphView& view,
                             LiveSamples& samples)
    : QObject(&window), window_(window), commands_(commands), view_(view), samples_(samples) {
    setObjectName(QStringLiteral("FrameServices"));
}

QWidget& FrameServices::Window() const {
    return window_;
}

void FrameServices::WrapGraphArea(const std::function<QWidget*(QWidget* area)>& wrap) {
    QWidget* area = window_.takeCentralWidget();
    window_.setCentralWidget(wrap(area));
}

void FrameServices::AddStatusPane(QWidget* pane) {
    window_.statusBar()->insertPermanentWidget(0, pane);
}

void FrameServices::ShowNotice(const QString& text) {
    window_.statusBar()->showMessage(text);
}

void FrameServices::WithdrawNotice(const QString& prefix) {
    QStatusBar* bar = window_.statusBar();
    if (bar->currentMessage().startsWith(prefix)) bar->clearMessage();  // "Ready" comes back
}

}  // namespace qx::gui
