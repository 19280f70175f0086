#include "chart/ChartView.h"

#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <cstring>

#include "host/Numbers.h"
#include "log/ColumnReduce.h"
#include "log/LogReader.h"
#include "model/MonitoredQuantities.h"
#include "playback/PlaybackTime.h"

namespace qx::gui {

ChartView::ChartView(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("ChartView"));
    setMinimumHeight(120);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

QColor ChartView::ColorOf(int quantity) {
    static const QColor colors[kMonitoredQuantityCount] = {
        QColor(220, 30, 30), QColor(30, 140, 30), QColor(120, 60, 160), QColor(20, 90, 220),
        QColor(0, 160, 170), QColor(200, 120, 0), QColor(90, 90, 90)};
    return colors[std::clamp(quantity, 0, kMonitoredQuantityCount - 1)];
}

void ChartView::SetLog(const EngineLog* log, bool live) {
    log_ = log;
    live_ = live;
    zoomStart_ = zoomEnd_ = 0;
    drawn_.log = nullptr;  // drawn again; the buffers are kept
    update();
}

void ChartView::SetQuantityMask(int mask) {
    if (mask == mask_) return;
    mask_ = mask;
    update();
}

void ChartView::SetCursorMs(int64_t t, bool repaint) {
    if (t == cursor_ && !live_) return;
    cursor_ = t;
    // The time labels under the plot do not move with the cursor.
    if (repaint) update(0, 0, width(), PlotRect().bottom() + 1);
}

void ChartView::SetLiveSpanMs(int64_t span) {
    liveSpan_ = std::clamp(span, kLiveSpansMs.front(), kLiveSpansMs.back());
    update();
}

ColumnGrid ChartView::Grid() const {
    const int w = std::max(1, PlotRect().width());
    if (!live_) {
        const int64_t t0 = ViewStartMs();
        return ColumnGrid{t0, std::max<int64_t>(1, ViewEndMs() - t0), w, 0, w};
    }
    ColumnGrid grid{0, liveSpan_, w, 0, w};
    // The newest row in the last column; a log shorter than the span from the left edge.
    if (log_ != nullptr && log_->Rows() > 0)
        grid.first =
            std::max(grid.ColumnOf(log_->EndMs()) + 1, grid.ColumnOf(log_->StartMs()) + w) - w;
    return grid;
}

int64_t ChartView::ViewEndMs() const {
    if (live_) {
        const ColumnGrid grid = Grid();
        return grid.StartOf(grid.first + grid.count);
    }
    if (log_ == nullptr || log_->Rows() == 0) return 1;
    if (zoomEnd_ > zoomStart_) return zoomEnd_;
    return std::max(log_->EndMs(), log_->StartMs() + 1);
}

int64_t ChartView::ViewStartMs() const {
    if (live_) {
        const ColumnGrid grid = Grid();
        return grid.StartOf(grid.first);
    }
    if (log_ == nullptr || log_->Rows() == 0) return 0;
    if (zoomEnd_ > zoomStart_) return zoomStart_;
    return log_->StartMs();
}

QRect ChartView::PlotRect() const {
    return rect().adjusted(4, kLegendHeight + 2, -4, -14);
}

int64_t ChartView::TimeAt(int x) const {
    const QRect plot = PlotRect();
    const int64_t t0 = ViewStartMs();
    const int64_t t1 = ViewEndMs();
    const double f =
        std::clamp(static_cast<double>(x - plot.left()) / std::max(1, plot.width()), 0.0, 1.0);
    return t0 + static_cast<int64_t>(f * static_cast<double>(t1 - t0) + 0.5);
}

namespace {

// Far off the plot a point only gives its line's direction.
int Clamped(int64_t column) {
    constexpr int64_t kFar = int64_t{1} << 28;
    return static_cast<int>(std::clamp(column, -kFar, kFar));
}

// Black text on white, as wide as its advance and as tall as the font.
QImage TextImage(const QString& text, const QFont& font, qreal dpr) {
    const QFontMetricsF fm(font);
    const QSizeF size(std::ceil(fm.horizontalAdvance(text)), std::ceil(fm.height()));
    QImage image((size * dpr).toSize(), QImage::Format_RGB32);
    image.setDevicePixelRatio(dpr);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setFont(font);
    p.setPen(Qt::black);
    p.drawText(QPointF(0, fm.ascent()), text);
    return image;
}

}  // namespace

int ChartView::XOf(int64_t t) const {
    const ColumnGrid grid = Grid();
    return PlotRect().left() + Clamped(grid.ColumnOf(t) - grid.first);
}

QString ChartView::LegendValue(int q) const {
    const MonitoredQuantity& m = kMonitoredQuantities[static_cast<std::size_t>(q)];
    if (log_ == nullptr || !log_->Has(q) || log_->Rows() == 0) return QString();
    const std::size_t row = log_->RowAt(cursor_);
    const double v = static_cast<double>(log_->values[static_cast<std::size_t>(q)][row]);
    return QString::fromStdString(FormatDouble("%.1f", std::clamp(v, m.min, m.max)));
}

QString ChartView::LegendText(int q) const {
    const MonitoredQuantity& m = kMonitoredQuantities[static_cast<std::size_t>(q)];
    const QString value = LegendValue(q);
    return QString::fromLatin1(m.label) + QLatin1Char(' ') + value +
           (value.isEmpty() ? QString() : QStringLiteral(" ")) + QString::fromLatin1(m.unit);
}

bool ChartView::BuildSeries(const QRect& plot, const ColumnGrid& grid, int64_t t0,
                            int64_t t1) const {
    const int w = plot.width();
    const int h = plot.height();
    const std::vector<int64_t>& times = log_->timeMs;
    const auto first =
        static_cast<std::size_t>(std::lower_bound(times.begin(), times.end(), t0) - times.begin());
    const auto last =
        static_cast<std::size_t>(std::lower_bound(times.begin(), times.end(), t1) - times.begin());
    // Fewer rows than columns: a line through the rows themselves, from the
    // row before the window to the one after it. Else one vertical stroke a
    // column from its minimum to its maximum: the cost follows the width.
    const bool strokes = last - first > static_cast<std::size_t>(w);
    std::size_t count = 0;
    for (int q = 0; q < kMonitoredQuantityCount; ++q) {
        if (((mask_ >> q) & 1) == 0 || !log_->Has(q)) continue;
        const MonitoredQuantity& m = kMonitoredQuantities[static_cast<std::size_t>(q)];
        const auto& values = log_->values[static_cast<std::size_t>(q)];
        const double range = m.max - m.min;
        // A value beyond the scale (a live module of another firmware) stays on its edge.
        auto y = [&](double v) {
            const double f = std::clamp((v - m.min) / range, 0.0, 1.0);
            return (h - 1) - static_cast<int>(f * (h - 1) + 0.5);
        };
        if (series_.size() <= count) series_.resize(count + 1);
        ChartSeries& s = series_[count++];
        s.color = ColorOf(q).rgb();
        s.line.clear();
        s.strokes.clear();
        if (!strokes) {
            const std::size_t from = first > 0 ? first - 1 : 0;
            const std::size_t to = std::min(values.size(), last + 1);
            for (std::size_t i = from; i < to; ++i)
                s.line.push_back({Clamped(grid.ColumnOf(times[i]) - grid.first), y(values[i])});
            if (s.line.size() == 1) s.line.push_back({s.line[0].x + 1, s.line[0].y});
            continue;
        }
        std::vector<ColumnRange>& cols = columns_[static_cast<std::size_t>(q)];
        ReduceGridInto(times.data(), values.data(), values.size(), grid, cols);
        // Each stroke stretched to meet the column before.
        s.strokes.assign(cols.size(), ChartStroke{});
        int prevLo = 0;
        int prevHi = 0;
        bool prev = false;
        for (std::size_t c = 0; c < cols.size(); ++c) {
            const ColumnRange& r = cols[c];
            if (!r.any) {
                prev = false;
                continue;
            }
            int lo = y(r.max);  // pixels grow downwards
            int hi = y(r.min);
            if (prev) {
                lo = std::min(lo, prevHi);
                hi = std::max(hi, prevLo);
            }
            prevLo = y(r.max);
            prevHi = y(r.min);
            prev = true;
            s.strokes[c] = {lo, hi};
        }
    }
    series_.resize(count);
    return strokes;
}

void ChartView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QRect plot = PlotRect();
    // Around the plot only: the layer covers the plot itself.
    p.fillRect(0, 0, width(), plot.top(), Qt::white);
    p.fillRect(0, plot.bottom() + 1, width(), height() - plot.bottom() - 1, Qt::white);
    p.fillRect(0, plot.top(), plot.left(), plot.height(), Qt::white);
    p.fillRect(plot.right() + 1, plot.top(), width() - plot.right() - 1, plot.height(), Qt::white);
    const ColumnGrid grid = Grid();
    const int64_t t0 = grid.StartOf(grid.first);
    const int64_t t1 = grid.StartOf(grid.first + grid.count);
    p.setPen(Qt::black);
    // Live times are the host clock's: only the span means anything.
    const QString labels[2] = {
        live_ ? QStringLiteral("-%1 s").arg(liveSpan_ / 1000) : PlaybackTimeText(t0),
        live_ ? QStringLiteral("now") : PlaybackTimeText(t1)};
    for (std::size_t i = 0; i < 2; ++i) {
        if (timeLabels_[i].text() != labels[i]) {
            timeLabels_[i].setTextFormat(Qt::PlainText);
            timeLabels_[i].setText(labels[i]);
        }
    }
    const int labelTop = height() - 2 - QFontMetrics(font()).ascent();
    p.drawStaticText(plot.left(), labelTop, timeLabels_[0]);
    p.drawStaticText(plot.right() - static_cast<int>(timeLabels_[1].size().width() + 0.5), labelTop,
                     timeLabels_[1]);

    int x = 4;
    for (int q = 0; q < kMonitoredQuantityCount && x < width(); ++q) {
        if (((mask_ >> q) & 1) == 0) continue;
        const MonitoredQuantity& m = kMonitoredQuantities[static_cast<std::size_t>(q)];
        LegendEntry& e = legend_[static_cast<std::size_t>(q)];
        if (e.label.isNull() || e.font != font() || e.dpr != devicePixelRatioF()) {
            e.font = font();
            e.dpr = devicePixelRatioF();
            e.label = TextImage(QString::fromLatin1(m.label), e.font, e.dpr);
            e.unit = TextImage(QLatin1Char(' ') + QString::fromLatin1(m.unit), e.font, e.dpr);
        }
        p.fillRect(x, 5, 10, 8, ColorOf(q));
        x += 14;
        p.drawImage(x, 4, e.label);
        x += static_cast<int>(e.label.deviceIndependentSize().width());
        const QString value = LegendValue(q);
        e.value.Set(value.isEmpty() ? value : QLatin1Char(' ') + value, font());
        p.setPen(Qt::black);
        e.value.Draw(p, x, 4);
        x += static_cast<int>(e.value.Width() + 0.5);
        p.drawImage(x, 4, e.unit);
        x += static_cast<int>(e.unit.deviceIndependentSize().width()) + 12;
    }

    // The plot is kept between paints: a moving cursor only copies it, and a
    // live plot given new rows scrolls and draws the columns they touch.
    Drawn& d = drawn_;
    const std::size_t rows = log_ != nullptr ? log_->Rows() : 0;
    const int64_t firstTime = rows > 0 ? log_->StartMs() : 0;
    const int64_t lastTime = rows > 0 ? log_->EndMs() : 0;
    const bool unchanged = d.log == log_ && d.rows == rows && d.firstTime == firstTime &&
                           d.lastTime == lastTime && d.t0 == t0 && d.t1 == t1 &&
                           d.size == plot.size() && d.mask == mask_ && d.live == live_;
    if (!unchanged && !plot.isEmpty()) {
        if (d.layer.size() != plot.size()) {
            // Opaque, so that showing it is a copy, not a blend.
            d.layer = QImage(plot.size(), QImage::Format_RGB32);
            d.log = nullptr;
        }
        const bool strokes = rows > 0 && BuildSeries(plot, grid, t0, t1);
        if (rows == 0) series_.clear();
        const int w = plot.width();
        const ChartPixels pixels{reinterpret_cast<uint32_t*>(d.layer.bits()), w, plot.height(),
                                 d.layer.bytesPerLine() / 4};
        // Rows only appended since (the log is trimmed at its start now and then).
        const bool appended = live_ && d.live && d.log == log_ && d.size == plot.size() &&
                              d.mask == mask_ && d.span == grid.span && d.strokes == strokes &&
                              d.rows > 0 && rows >= d.rows && firstTime == d.firstTime &&
                              log_->timeMs[d.rows - 1] == d.lastTime &&
                              grid.first >= d.firstColumn && grid.first - d.firstColumn < w;
        if (appended) {
            const int shift = static_cast<int>(grid.first - d.firstColumn);
            if (shift > 0) {
                for (int y = 0; y < pixels.height; ++y) {
                    uint32_t* row = pixels.Row(y);
                    std::memmove(row, row + shift, static_cast<std::size_t>(w - shift) * 4);
                }
            }
            // From the column of the old newest row (its stroke and the next
            // one's may grow) to the new one's; scrolled, to the right edge,
            // taking in the old edge's frame, and the left edge too.
            const int64_t from = std::max<int64_t>(grid.ColumnOf(d.lastTime) - grid.first, 0);
            if (shift == 0) {
                raster_.Draw(pixels, series_, static_cast<int>(from),
                             static_cast<int>(grid.ColumnOf(lastTime) - grid.first + 1));
            } else {
                raster_.Draw(pixels, series_, 0, 1);
                raster_.Draw(pixels, series_,
                             static_cast<int>(std::min<int64_t>(from, w - 1 - shift)), w);
            }
        } else {
            raster_.Draw(pixels, series_, 0, w);
        }
        d.log = log_;
        d.rows = rows;
        d.firstTime = firstTime;
        d.lastTime = lastTime;
        d.t0 = t0;
        d.t1 = t1;
        d.firstColumn = grid.first;
        d.span = grid.span;
        d.size = plot.size();
        d.mask = mask_;
        d.live = live_;
        d.strokes = strokes;
    }
    if (!plot.isEmpty()) p.drawImage(plot.topLeft(), d.layer);
    if (mask_ == 0) {
        p.setPen(Qt::gray);
        p.drawText(plot, Qt::AlignCenter,
                   QStringLiteral("Turn on values in the monitor window to chart them"));
    }
    if (!live_ && log_ != nullptr) {
        const int cx = XOf(cursor_);
        if (cx >= plot.left() && cx <= plot.right()) {
            p.setPen(QPen(Qt::black, 1, Qt::DashLine));
            p.drawLine(cx, plot.top(), cx, plot.bottom());
        }
    }
}

void ChartView::mousePressEvent(QMouseEvent* event) {
    if (!live_ && log_ != nullptr && event->button() == Qt::LeftButton)
        Q_EMIT seekRequested(TimeAt(event->position().toPoint().x()));
}

void ChartView::mouseMoveEvent(QMouseEvent* event) {
    if (!live_ && log_ != nullptr && (event->buttons() & Qt::LeftButton))
        Q_EMIT seekRequested(TimeAt(event->position().toPoint().x()));
}

void ChartView::wheelEvent(QWheelEvent* event) {
    const int steps = event->angleDelta().y() / 120;
    if (steps == 0 || log_ == nullptr) return;
    if (live_) {
        // Up: a shorter span, down: a longer one.
        auto it = std::find(kLiveSpansMs.begin(), kLiveSpansMs.end(), liveSpan_);
        int i = it == kLiveSpansMs.end() ? 1 : static_cast<int>(it - kLiveSpansMs.begin());
        i = std::clamp(i - steps, 0, static_cast<int>(kLiveSpansMs.size()) - 1);
        SetLiveSpanMs(kLiveSpansMs[static_cast<std::size_t>(i)]);
        return;
    }
    const int64_t t0 = ViewStartMs();
    const int64_t t1 = ViewEndMs();
    const int64_t at = TimeAt(event->position().toPoint().x());
    const double factor = steps > 0 ? 0.5 : 2.0;
    const int64_t whole = std::max<int64_t>(1, log_->EndMs() - log_->StartMs());
    const int64_t span = std::clamp<int64_t>(static_cast<int64_t>((t1 - t0) * factor), 1000, whole);
    // The time under the pointer stays under it.
    const double f =
        static_cast<double>(at - t0) / static_cast<double>(std::max<int64_t>(1, t1 - t0));
    int64_t start = at - static_cast<int64_t>(f * static_cast<double>(span));
    start = std::clamp(start, log_->StartMs(), log_->StartMs() + whole - span);
    zoomStart_ = start;
    zoomEnd_ = start + span;
    if (span >= whole) zoomStart_ = zoomEnd_ = 0;
    update();
}

}  // namespace qx::gui
