#include "gui/graph/MapPointValueDisplay.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

#include "core/host/Numbers.h"
#include "core/maps/ModuleMap.h"
#include "gui/graph/GraphStyle.h"
#include "gui/graph/MapGraphView.h"

namespace qx::gui {

namespace {

QRect ToQRect(const graph::PixelRect& r) {
    return QRect(r.left, r.top, r.Width(), r.Height());
}

// The box is drawn with a one-pixel border; its client area starts inside it.
constexpr int kBorder = 1;

}  // namespace

MapPointValueDisplay::MapPointValueDisplay(MapGraphView* view) : QWidget(view), view_(view) {
    setObjectName(QStringLiteral("MapPointValueDisplay"));
    setGeometry(0, 0, 220, graph::kValueDisplayHeight);
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    QWidget::hide();
}

void MapPointValueDisplay::Show() {
    if (visible_) return;
    visible_ = true;
    raise();
    QWidget::show();
}

void MapPointValueDisplay::Hide() {
    visible_ = false;
    QWidget::hide();
}

void MapPointValueDisplay::SetText(double x, double y) {
    if (!visible_) return;
    const ModuleMap* map = view_->CurrentMap();
    if (map == nullptr) return;
    xText_ = QString::fromStdString(
        FormatC("%s: %.0f %s", map->XLabel().c_str(), x, map->XUnits().c_str()));
    yText_ = QString::fromStdString(
        FormatC("%s: %.1f %s", map->YLabel().c_str(), y, map->YUnits().c_str()));
    Place(view_->XToPixel(x), view_->YToPixel(y));
}

void MapPointValueDisplay::ShowPoint(const MapPoint& point) {
    if (point.value == nullptr) return;
    SetText(point.x, point.value->GetValue());
}

QRect MapPointValueDisplay::LowerLineArea() const {
    return QRect(QPoint(2 + kBorder, 19 + kBorder), QPoint(width_ - 2, 38));
}

void MapPointValueDisplay::Place(int px, int py) {
    const QFontMetrics fm(StockVariableFont());
    width_ = std::max(fm.horizontalAdvance(xText_), fm.horizontalAdvance(yText_)) + 12;
    const graph::DisplayPlacement placed = graph::PlaceValueDisplay(px, py, width_, view_->width());
    px = placed.column;
    if (placed.rect == lastRect_) return;
    view_->InvalidateRect(placed.rect.United(lastRect_));
    setGeometry(ToQRect(placed.rect));
    lastRect_ = placed.rect;
    // The first line shows the same x as long as the column has not changed.
    if (px == lastX_) {
        repaint(LowerLineArea());
    } else {
        repaint();
    }
    lastX_ = px;
}

void MapPointValueDisplay::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QPalette& pal = palette();
    // Clearing every time keeps a repaint of the lower line from drawing the new
    // text over the old one.
    p.fillRect(rect(), pal.color(kWindowRole));
    p.setPen(pal.color(kWindowTextRole));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
    p.translate(kBorder, kBorder);
    p.drawLine(0, 18, width() - 2 * kBorder - 1, 18);
    p.setFont(StockVariableFont());
    const int ascent = QFontMetrics(p.font()).ascent();
    p.drawText(3, 3 + ascent, xText_);
    p.drawText(3, 21 + ascent, yText_);
}

void MapPointValueDisplay::mousePressEvent(QMouseEvent* event) {
    Hide();
    QWidget::mousePressEvent(event);
}

}  // namespace qx::gui
