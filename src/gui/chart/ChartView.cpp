#include "gui/chart/ChartView.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QWheelEvent>
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>

#include "core/host/Numbers.h"
#include "core/log/ChartAxes.h"
#include "core/log/ColumnReduce.h"
#include "core/log/LogReader.h"
#include "core/model/MonitoredQuantities.h"
#include "gui/playback/PlaybackTime.h"

namespace qx::gui {

ChartView::ChartView(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("ChartView"));
    setMinimumHeight(80);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);  // the legend reads the values under the pointer
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

void ChartView::SetLanes(bool on) {
    if (on == lanes_) return;
    lanes_ = on;
    update();
}

void ChartView::SetScaleQuantity(int quantity) {
    scaleQuantity_ = quantity;
    update();
}

int ChartView::DrawnMask() const {
    int drawn = 0;
    for (int q = 0; q < kMonitoredQuantityCount; ++q)
        if (((mask_ >> q) & 1) != 0 && log_ != nullptr && log_->Has(q)) drawn |= 1 << q;
    return drawn;
}

int ChartView::ScaleQuantity() const {
    const int drawn = DrawnMask();
    if (drawn == 0) return -1;
    if (scaleQuantity_ >= 0 && ((drawn >> scaleQuantity_) & 1) != 0) return scaleQuantity_;
    int first = 0;
    while (((drawn >> first) & 1) == 0) ++first;
    return first;
}

std::vector<int> ChartView::DrawnQuantities() const {
    std::vector<int> drawn;
    const int mask = DrawnMask();
    for (int q = 0; q < kMonitoredQuantityCount; ++q)
        if (((mask >> q) & 1) != 0) drawn.push_back(q);
    return drawn;
}

void ChartView::SetCursorMs(int64_t t, bool repaint) {
    if (t == cursor_ && !live_) return;
    cursor_ = t;
    if (!repaint) return;
    // Down to the plot's bottom: the time labels under it stand still, and
    // so do the scales beside it, which such a frame leaves as they are.
    update(0, 0, width(), CurrentLayout().plot.bottom() + 1);
    cursorFrame_ = true;
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
    // The newest row in the last column, at "now": a log shorter than the
    // span leaves the left of the plot empty.
    if (log_ != nullptr && log_->Rows() > 0) grid.first = grid.ColumnOf(log_->EndMs()) + 1 - w;
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
    return CurrentLayout().plot;
}

const ChartView::Layout& ChartView::CurrentLayout() const {
    Layout& l = layout_;
    const int scale = ScaleQuantity();
    const int drawn = DrawnMask();
    if (l.width == width() && l.height == height() && l.mask == mask_ && l.drawn == drawn &&
        l.lanes == lanes_ && l.scale == scale && l.font == font())
        return l;
    l.drawn = drawn;
    l.width = width();
    l.height = height();
    l.mask = mask_;
    l.lanes = lanes_;
    l.scale = scale;
    l.font = font();
    const QFontMetrics fm(font());
    // Each entry: swatch, label, room for the widest value, unit; the value
    // changes at every packet but the entries stay put.
    l.quantities.clear();
    l.entryWidths.clear();
    for (int q = 0; q < kMonitoredQuantityCount; ++q) {
        if (((mask_ >> q) & 1) == 0) continue;
        const MonitoredQuantity& m = kMonitoredQuantities[static_cast<std::size_t>(q)];
        int value = 0;
        for (const double v : {m.min, m.max})
            value = std::max(value,
                             fm.horizontalAdvance(QLatin1Char(' ') +
                                                  QString::fromStdString(FormatDouble("%.1f", v))));
        l.valueWidth[q] = value;
        l.quantities.push_back(q);
        l.entryWidths.push_back(
            14 + fm.horizontalAdvance(QString::fromLatin1(m.label)) + value +
            fm.horizontalAdvance(QLatin1Char(' ') + QString::fromLatin1(m.unit)));
    }
    const int lineHeight = std::max(kLegendHeight, fm.height() + 3);
    const std::vector<LegendSlot> slots = LayOutLegend(l.entryWidths, 4, width() - 4, 12);
    l.entries.clear();
    for (const LegendSlot& s : slots) l.entries.emplace_back(s.x, s.line * lineHeight);
    l.lines = LegendLines(slots);
    l.axisHeight = fm.height() + 5;  // tick marks, then their labels
    l.plot = QRect(QPoint(4, l.lines * lineHeight + 2),
                   QPoint(width() - 5, height() - 1 - l.axisHeight));
    // The scales beside the plot take the room their labels need.
    int scaleWidth = 0;
    // Lanes too thin for a label each would show nothing: then the values share the plot.
    const int n = std::popcount(static_cast<unsigned>(drawn));
    l.lanesDrawn = lanes_ && n > 1 && (l.plot.height() + 1) / n - 1 >= fm.height() + 2;
    PaintValueScales(nullptr, l.plot, l.lanesDrawn, &scaleWidth);
    if (scaleWidth > 0) l.plot.setLeft(std::min(l.plot.right(), 4 + scaleWidth + 6));
    return l;
}

int ChartView::LegendLineCount() const {
    return CurrentLayout().lines;
}

int ChartView::LegendEntryAt(QPoint p) const {
    const Layout& l = CurrentLayout();
    const int lineHeight = l.lines > 0 ? (l.plot.top() - 2) / l.lines : kLegendHeight;
    for (std::size_t i = 0; i < l.entries.size(); ++i)
        if (QRect(l.entries[i], QSize(l.entryWidths[i], lineHeight)).contains(p))
            return l.quantities[i];
    return -1;
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

int64_t ChartView::LegendTimeMs() const {
    return hoverX_ >= 0 ? TimeAt(hoverX_) : cursor_;
}

QString ChartView::ValueText(int q, int64_t t) const {
    const MonitoredQuantity& m = kMonitoredQuantities[static_cast<std::size_t>(q)];
    // Before the first row (the empty left of a young live chart) nothing was read.
    if (log_ == nullptr || !log_->Has(q) || log_->Rows() == 0 || t < log_->StartMs())
        return QString();
    const std::size_t row = log_->RowAt(t);
    const double v = static_cast<double>(log_->values[static_cast<std::size_t>(q)][row]);
    return QString::fromStdString(FormatDouble("%.1f", std::clamp(v, m.min, m.max)));
}

QString ChartView::LegendValue(int q) const {
    return ValueText(q, LegendTimeMs());
}

QString ChartView::LegendText(int q) const {
    const MonitoredQuantity& m = kMonitoredQuantities[static_cast<std::size_t>(q)];
    const QString value = LegendValue(q);
    return QString::fromLatin1(m.label) + QLatin1Char(' ') + value +
           (value.isEmpty() ? QString() : QStringLiteral(" ")) + QString::fromLatin1(m.unit);
}

bool ChartView::BuildSeries(const QRect& plot, const ColumnGrid& grid, int64_t t0, int64_t t1,
                            bool lanes, int64_t gapMs) const {
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
    const std::vector<int> drawn = DrawnQuantities();
    for (std::size_t i = 0; i < drawn.size(); ++i) {
        const int q = drawn[i];
        const MonitoredQuantity& m = kMonitoredQuantities[static_cast<std::size_t>(q)];
        const auto& values = log_->values[static_cast<std::size_t>(q)];
        const Lane lane =
            lanes ? LaneOf(h, static_cast<int>(i), static_cast<int>(drawn.size())) : Lane{0, h};
        // A value beyond the scale (a live module of another firmware) stays on its edge.
        auto y = [&](double v) { return RowOfValue(v, m.min, m.max, lane); };
        if (series_.size() <= count) series_.resize(count + 1);
        ChartSeries& s = series_[count++];
        s.color = ColorOf(q).rgb();
        s.line.clear();
        s.strokes.clear();
        if (!strokes) {
            const std::size_t from = first > 0 ? first - 1 : 0;
            const std::size_t to = std::min(values.size(), last + 1);
            for (std::size_t i = from; i < to; ++i)
                s.line.push_back({Clamped(grid.ColumnOf(times[i]) - grid.first), y(values[i]),
                                  i > from && IsGap(times[i - 1], times[i], gapMs)});
            if (s.line.size() == 1) s.line.push_back({s.line[0].x + 1, s.line[0].y});
            continue;
        }
        std::vector<ColumnRange>& cols = columns_[static_cast<std::size_t>(q)];
        ReduceGridInto(times.data(), values.data(), values.size(), grid, cols, gapMs);
        // Each stroke stretched to meet the column before, unless a gap lies between.
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
            if (prev && !r.gapBefore) {
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

const QStaticText& ChartView::TickLabel(const QString& text) const {
    for (const auto& [t, label] : tickLabels_)
        if (t == text) return label;
    // Room for every label of a full screen (time ticks and a scale per lane)
    // so that a frame never lays them out again; beyond it the oldest make way.
    if (tickLabels_.size() >= 256) tickLabels_.erase(tickLabels_.begin(), tickLabels_.begin() + 64);
    QStaticText label(text);
    label.setTextFormat(Qt::PlainText);
    label.prepare(QTransform(), font());
    tickLabels_.emplace_back(text, label);
    return tickLabels_.back().second;
}

void ChartView::PaintLegend(QPainter& p, const Layout& l) const {
    for (std::size_t i = 0; i < l.quantities.size(); ++i) {
        const int q = l.quantities[i];
        const MonitoredQuantity& m = kMonitoredQuantities[static_cast<std::size_t>(q)];
        LegendEntry& e = legend_[static_cast<std::size_t>(q)];
        if (e.label.isNull() || e.font != font() || e.dpr != devicePixelRatioF()) {
            e.font = font();
            e.dpr = devicePixelRatioF();
            e.label = TextImage(QString::fromLatin1(m.label), e.font, e.dpr);
            e.unit = TextImage(QLatin1Char(' ') + QString::fromLatin1(m.unit), e.font, e.dpr);
        }
        int x = l.entries[i].x();
        const int y = l.entries[i].y();
        p.fillRect(x, y + 5, 10, 8, ColorOf(q));
        // The value whose scale is shown is underlined in its colour.
        if (!l.lanesDrawn && q == l.scale && l.quantities.size() > 1)
            p.fillRect(x, y + 15, l.entryWidths[i], 2, ColorOf(q));
        x += 14;
        p.drawImage(x, y + 4, e.label);
        x += static_cast<int>(e.label.deviceIndependentSize().width());
        const QString value = LegendValue(q);
        e.value.Set(value.isEmpty() ? value : QLatin1Char(' ') + value, font());
        p.setPen(Qt::black);
        e.value.Draw(p, x, y + 4);
        x += static_cast<int>(e.value.Width() + 0.5);
        p.drawImage(x, y + 4, e.unit);
    }
}

void ChartView::PaintTimeAxis(QPainter& p, const QRect& plot) const {
    const int64_t t0 = ViewStartMs();
    const int64_t t1 = ViewEndMs();
    const int w = plot.width();
    if (w <= 0 || t1 <= t0) return;
    const QFontMetrics fm(font());
    // Live times are the host clock's: only the time back from now means anything.
    const QString widest =
        live_ ? QStringLiteral("-10:00") : QString::fromStdString(TimeTickLabel(t1, 100, false));
    const int64_t step = TimeTickStep(t1 - t0, w, fm.horizontalAdvance(widest) + 16);
    const int top = plot.bottom() + 1;
    const int labelTop = top + 3;
    p.setPen(QColor(120, 120, 120));
    int lastRight = std::numeric_limits<int>::min();
    for (const int64_t t : TicksBetween(t0, t1, step, live_ ? t1 : 0)) {
        // Pixel of t across the window, the right edge's time on the last column.
        const int x = plot.left() + static_cast<int>(std::min<int64_t>(
                                        (t - t0) * w / (t1 - t0), static_cast<int64_t>(w) - 1));
        p.drawLine(x, top, x, top + 2);
        const QStaticText& label =
            TickLabel(QString::fromStdString(TimeTickLabel(live_ ? t - t1 : t, step, live_)));
        const int lw = static_cast<int>(label.size().width() + 0.5);
        const int lx = std::clamp(x - lw / 2, 0, std::max(0, width() - lw - 1));
        if (lx <= lastRight + 4) continue;  // a neighbour pushed in from the edge
        p.drawStaticText(lx, labelTop, label);
        lastRight = lx + lw;
    }
}

void ChartView::PaintValueScales(QPainter* p, const QRect& plot, bool lanes, int* width) const {
    const std::vector<int> drawn = DrawnQuantities();
    const int scale = ScaleQuantity();
    if (drawn.empty()) {
        if (width != nullptr) *width = 0;
        return;
    }
    const QFontMetrics fm(font());
    const int rowHeight = fm.height() + 2;
    int widest = 0;
    for (std::size_t i = 0; i < drawn.size(); ++i) {
        const int q = drawn[i];
        if (!lanes && q != scale) continue;
        const MonitoredQuantity& m = kMonitoredQuantities[static_cast<std::size_t>(q)];
        const Lane lane =
            lanes ? LaneOf(plot.height(), static_cast<int>(i), static_cast<int>(drawn.size()))
                  : Lane{0, plot.height()};
        ValueTicks ticks = NiceValueTicks(m.min, m.max, lane.height / rowHeight);
        if (ticks.values.size() < 2) {
            // Room for one label: the top of the scale says more than a round value in it.
            ticks.values = {m.max};
            ticks.decimals = m.max == std::floor(m.max) ? 0 : 1;
        }
        if (p != nullptr) p->setPen(ColorOf(q));
        for (const double v : ticks.values) {
            const QStaticText& label =
                TickLabel(QString::fromStdString(ValueTickLabel(v, ticks.decimals)));
            const int lw = static_cast<int>(label.size().width() + 0.5);
            widest = std::max(widest, lw);
            if (p == nullptr) continue;
            const int y = plot.top() + RowOfValue(v, m.min, m.max, lane);
            p->drawLine(plot.left() - 3, y, plot.left() - 1, y);
            // Centred on its row, kept inside the lane (or the widget).
            const int lh = fm.height();
            // Not above the plot: a frame of the cursor repaints the legend there.
            const int top = lanes ? plot.top() + lane.top : plot.top();
            const int bottom = lanes ? plot.top() + lane.top + lane.height - lh + 1 : height() - lh;
            const int ly = std::clamp(y - lh / 2, top, std::max(top, bottom));
            p->drawStaticText(plot.left() - 5 - lw, ly, label);
        }
    }
    if (width != nullptr) *width = widest;
}

void ChartView::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    const Layout& l = CurrentLayout();
    const QRect plot = l.plot;
    // A frame of the cursor alone (nothing else asked for in between) keeps
    // what lies beside the plot: the widget paints opaquely, so it stays.
    const bool cursorOnly =
        cursorFrame_ && event->rect() == QRect(0, 0, width(), plot.bottom() + 1);
    cursorFrame_ = false;
    // Around the plot only: the layer covers the plot itself.
    p.fillRect(0, 0, width(), plot.top(), Qt::white);
    if (!cursorOnly) {
        p.fillRect(0, plot.bottom() + 1, width(), height() - plot.bottom() - 1, Qt::white);
        p.fillRect(0, plot.top(), plot.left(), plot.height(), Qt::white);
        p.fillRect(plot.right() + 1, plot.top(), width() - plot.right() - 1, plot.height(),
                   Qt::white);
    }
    const ColumnGrid grid = Grid();
    const int64_t t0 = grid.StartOf(grid.first);
    const int64_t t1 = grid.StartOf(grid.first + grid.count);
    // A live frame repaints the legend and the plot alone: the rest stands still.
    const QRegion& area = event->region();
    if (area.intersects(QRect(0, plot.bottom() + 1, width(), height()))) PaintTimeAxis(p, plot);
    if (!cursorOnly && area.intersects(QRect(0, plot.top() - 8, plot.left(), plot.height() + 16)))
        PaintValueScales(&p, plot, l.lanesDrawn, nullptr);
    if (area.boundingRect().top() < plot.top()) PaintLegend(p, l);

    // The plot is kept between paints: a moving cursor only copies it, and a
    // live plot given new rows scrolls and draws the columns they touch.
    Drawn& d = drawn_;
    const std::size_t rows = log_ != nullptr ? log_->Rows() : 0;
    const int64_t firstTime = rows > 0 ? log_->StartMs() : 0;
    const int64_t lastTime = rows > 0 ? log_->EndMs() : 0;
    const int64_t gap = GapThresholdMs(rows > 0 ? log_->timeMs.data() : nullptr, rows);
    const bool unchanged = d.log == log_ && d.rows == rows && d.firstTime == firstTime &&
                           d.lastTime == lastTime && d.t0 == t0 && d.t1 == t1 && d.gap == gap &&
                           d.size == plot.size() && d.mask == mask_ && d.live == live_ &&
                           d.lanes == l.lanesDrawn;
    if (!unchanged && !plot.isEmpty()) {
        if (d.layer.size() != plot.size()) {
            // Opaque, so that showing it is a copy, not a blend.
            d.layer = QImage(plot.size(), QImage::Format_RGB32);
            d.log = nullptr;
        }
        const bool strokes = rows > 0 && BuildSeries(plot, grid, t0, t1, l.lanesDrawn, gap);
        if (rows == 0) series_.clear();
        const int w = plot.width();
        const ChartPixels pixels{reinterpret_cast<uint32_t*>(d.layer.bits()), w, plot.height(),
                                 d.layer.bytesPerLine() / 4};
        // Rows only appended since (the log is trimmed at its start now and then).
        const bool appended = live_ && d.live && d.log == log_ && d.size == plot.size() &&
                              d.mask == mask_ && d.lanes == l.lanesDrawn && d.span == grid.span &&
                              d.gap == gap && d.strokes == strokes && d.rows > 0 &&
                              rows >= d.rows && firstTime == d.firstTime &&
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
        d.gap = gap;
        d.size = plot.size();
        d.mask = mask_;
        d.live = live_;
        d.lanes = l.lanesDrawn;
        d.strokes = strokes;
    }
    if (!plot.isEmpty()) p.drawImage(plot.topLeft(), d.layer);
    if (l.lanesDrawn) {
        // The row between two lanes, which no trace reaches.
        const int n = static_cast<int>(series_.size());
        p.setPen(QColor::fromRgb(kChartFrame));
        for (int i = 0; i + 1 < n; ++i) {
            const Lane lane = LaneOf(plot.height(), i, n);
            const int y = plot.top() + lane.top + lane.height;
            p.drawLine(plot.left(), y, plot.right(), y);
        }
    }
    if (mask_ == 0) {
        p.setPen(Qt::gray);
        p.drawText(plot, Qt::AlignCenter,
                   QStringLiteral("Choose values with Monitors > Select... to chart them"));
    }
    if (!live_ && log_ != nullptr) {
        const int cx = XOf(cursor_);
        if (cx >= plot.left() && cx <= plot.right()) {
            p.setPen(QPen(Qt::black, 1, Qt::DashLine));
            p.drawLine(cx, plot.top(), cx, plot.bottom());
        }
    }
    if (hoverX_ >= plot.left() && hoverX_ <= plot.right() && log_ != nullptr) {
        // The time under the pointer, whose values the legend shows.
        p.setPen(QColor(150, 150, 150));
        p.drawLine(hoverX_, plot.top(), hoverX_, plot.bottom());
        const int64_t at = TimeAt(hoverX_);
        const QString text = QString::fromStdString(
            live_ ? TimeTickLabel(at - ViewEndMs(), 100, true) : TimeTickLabel(at, 100, false));
        const QFontMetrics fm(font());
        const QRect box(std::clamp(hoverX_ - fm.horizontalAdvance(text) / 2 - 2, 0,
                                   std::max(0, width() - fm.horizontalAdvance(text) - 5)),
                        plot.bottom() + 1, fm.horizontalAdvance(text) + 4,
                        height() - plot.bottom() - 1);
        p.fillRect(box, QColor(255, 255, 225));
        p.setPen(Qt::black);
        p.drawText(box, Qt::AlignCenter, text);
    }
}

void ChartView::mousePressEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    if (event->button() != Qt::LeftButton) return;
    if (at.y() < PlotRect().top()) {
        // A legend entry: its scale beside the plot.
        const int q = LegendEntryAt(at);
        if (q >= 0) SetScaleQuantity(q);
        return;
    }
    if (!live_ && log_ != nullptr) Q_EMIT seekRequested(TimeAt(at.x()));
}

void ChartView::mouseMoveEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    const QRect plot = PlotRect();
    const int hover = plot.contains(at) ? at.x() : -1;
    if (hover != hoverX_) {
        hoverX_ = hover;
        update();
    }
    if (!live_ && log_ != nullptr && (event->buttons() & Qt::LeftButton) && at.y() >= plot.top())
        Q_EMIT seekRequested(TimeAt(at.x()));
}

void ChartView::leaveEvent(QEvent*) {
    if (hoverX_ < 0) return;
    hoverX_ = -1;
    update();
}

void ChartView::contextMenuEvent(QContextMenuEvent* event) {
    // Shown without a loop of its own: nothing runs nested under it.
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    QAction* lanes = menu->addAction(QStringLiteral("Separate Lanes"));
    lanes->setCheckable(true);
    lanes->setChecked(lanes_);
    connect(lanes, &QAction::toggled, this, [this](bool on) {
        SetLanes(on);
        Q_EMIT lanesToggled(on);
    });
    menu->popup(event->globalPos());
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
