#include "gui/monitor/MonitorDisplay.h"

#include <qdrawutil.h>

#include <QFontMetrics>
#include <QPainter>
#include <QRegion>
#include <QWidget>

#include "core/model/ModuleValue.h"
#include "core/monitor/LiveSource.h"
#include "core/monitor/SampleChannel.h"
#include "gui/graph/GraphStyle.h"

namespace qx::gui {

// The etched lines above and below a row. It paints nothing else and lets the
// mouse through, so the window's drawing under it stays visible and usable.
class MonitorRowFrame : public QWidget {
  public:
    explicit MonitorRowFrame(QWidget* parent) : QWidget(parent) {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setObjectName(QStringLiteral("MonitorRowFrame"));
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        const int w = width();
        qDrawShadeLine(&p, 0, 0, w - 1, 0, palette(), true, 1, 0);
        qDrawShadeLine(&p, 0, height() - 2, w - 1, height() - 2, palette(), true, 1, 0);
    }
    // Only the two lines belong to the frame: a value box repainting inside
    // it then does not repaint the frame as well.
    void resizeEvent(QResizeEvent*) override {
        const int w = width();
        const int h = height();
        setMask(h > 4 ? QRegion(0, 0, w, 2) + QRegion(0, h - 2, w, 2) : QRegion(rect()));
    }
};

MonitorDisplay::MonitorDisplay(std::string label, std::string units, MonitoredModuleValue* value,
                               int bit, const SampleChannel& samples)
    : value_(value),
      samples_(samples),
      label_(std::move(label)),
      units_(std::move(units)),
      bit_(bit) {}

bool MonitorDisplay::SourceBacksValues() const {
    const LiveSource* source = samples_.Active();
    return source != nullptr && source->BacksValues();
}

MonitorDisplay::~MonitorDisplay() = default;

void MonitorDisplay::CreateControls(QWidget* parent) {
    client_ = parent;
    font_ = StockVariableFont();
    rowFrame_ = new MonitorRowFrame(parent);
    rowFrame_->setGeometry(0, 0, 0, 0);
    rowFrame_->setVisible(active_);
}

QWidget* MonitorDisplay::RowFrame() const {
    return rowFrame_;
}

bool MonitorDisplay::ToggleActive() {
    active_ = !active_;
    if (!active_) {
        // Turned on again later, it must not show a value from before.
        row_ = -1;
        shown_.clear();
        text_.Set(QString(), font_);
    }
    if (rowFrame_ != nullptr) rowFrame_->setVisible(active_);
    return active_;
}

QRect MonitorDisplay::BoxRect(int row) {
    return QRect(kBoxLeft, row * kRowHeight + kBoxTop, kBoxWidth, kBoxHeight);
}

QRect MonitorDisplay::FrameRect(int row, int clientWidth) {
    // The client width one pixel wider, a 44-pixel band, 2 pixels in on every side.
    const int top = row * kRowHeight;
    return QRect(QPoint(2, top + 2), QPoint(clientWidth + 1 - 2 - 1, top + 44 - 2 - 1));
}

void MonitorDisplay::Layout(int row, int clientWidth) {
    row_ = row;
    const QRect frame = FrameRect(row, clientWidth);
    if (rowFrame_ != nullptr && rowFrame_->geometry() != frame) rowFrame_->setGeometry(frame);
}

void MonitorDisplay::Paint(QPainter& p, int row, const QPalette& palette,
                           const QRegion& area) const {
    // A packet repaints only boxes: their rows' texts are not laid out again.
    const int y0 = row * kRowHeight;
    const QRect box = BoxRect(row);
    const QRect edge = box.adjusted(-2, -2, 2, 2);
    const QRegion aroundBox = area - QRegion(box);
    if (aroundBox.intersects(edge)) qDrawWinPanel(&p, edge, palette, true);
    if (aroundBox.intersects(QRect(0, y0, QWIDGETSIZE_MAX, kRowHeight))) {
        const QFontMetrics fm(p.font());
        p.drawText(kBoxLeft, y0 + kLabelTop + fm.ascent(), QString::fromStdString(label_));
        p.drawText(kUnitsLeft, y0 + kBoxTop + fm.ascent(), QString::fromStdString(units_));
    }
    if (!area.intersects(box)) return;
    p.fillRect(box, Qt::white);
    if (text_.Text().isEmpty()) return;
    text_.Set(text_.Text(), p.font());
    const QPen pen = p.pen();
    p.setPen(palette.color(QPalette::Active, kWindowTextRole));
    const bool clip = text_.Width() > box.width();
    if (clip) {
        p.save();
        p.setClipRect(box, Qt::IntersectClip);
    }
    text_.Draw(p, box.left(), box.top() + (box.height() - text_.Height()) / 2);
    if (clip) p.restore();
    p.setPen(pen);
}

bool MonitorDisplay::SetText(const std::string& text) {
    if (text == shown_) return false;
    shown_ = text;
    text_.Set(QString::fromStdString(text), font_);
    if (client_ != nullptr && active_ && row_ >= 0) client_->update(BoxRect(row_));
    return true;
}

bool MonitorDisplay::RefreshValue() {
    if (value_ == nullptr) return false;
    value_->Refresh();
    // A value the source does not hold (a log without its column) stays blank, not 0.0.
    return SetText(SourceBacksValues() && value_->InSync() ? value_->FormatValue() : std::string());
}

bool MonitorDisplay::ClearIfStale() {
    if (shown_.empty() || SourceBacksValues()) return false;
    return SetText(std::string());
}

}  // namespace qx::gui
