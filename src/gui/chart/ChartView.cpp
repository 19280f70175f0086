#include "chart/ChartView.h"

#include <QMouseEvent>
#include <QPainter>
#include <QVarLengthArray>
#include <QWheelEvent>
#include <algorithm>

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
    reduced_.log = nullptr;  // drawn again; the buffers are kept
    update();
}

void ChartView::SetQuantityMask(int mask) {
    if (mask == mask_) return;
    mask_ = mask;
    update();
}

void ChartView::SetCursorMs(int64_t t) {
    if (t == cursor_ && !live_) return;
    cursor_ = t;
    // The time labels under the plot do not move with the cursor.
    update(0, 0, width(), PlotRect().bottom() + 1);
}

void ChartView::SetLiveSpanMs(int64_t span) {
    liveSpan_ = std::clamp(span, kLiveSpansMs.front(), kLiveSpansMs.back());
    update();
}

int64_t ChartView::ViewEndMs() const {
    if (log_ == nullptr || log_->Rows() == 0) return live_ ? liveSpan_ : 1;
    if (live_) return std::max(log_->EndMs(), log_->StartMs() + liveSpan_);
    if (zoomEnd_ > zoomStart_) return zoomEnd_;
    return std::max(log_->EndMs(), log_->StartMs() + 1);
}

int64_t ChartView::ViewStartMs() const {
    if (log_ == nullptr || log_->Rows() == 0) return 0;
    if (live_) return ViewEndMs() - liveSpan_;
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

int ChartView::XOf(int64_t t) const {
    const QRect plot = PlotRect();
    const int64_t t0 = ViewStartMs();
    const int64_t t1 = ViewEndMs();
    return plot.left() + static_cast<int>(static_cast<double>(t - t0) * plot.width() /
                                          static_cast<double>(std::max<int64_t>(1, t1 - t0)));
}

QString ChartView::LegendText(int q) const {
    const MonitoredQuantity& m = kMonitoredQuantities[static_cast<std::size_t>(q)];
    QString text = QString::fromLatin1(m.label);
    if (log_ != nullptr && log_->Has(q) && log_->Rows() > 0) {
        const std::size_t row = log_->RowAt(cursor_);
        const double v = static_cast<double>(log_->values[static_cast<std::size_t>(q)][row]);
        text += QStringLiteral(" %1").arg(
            QString::fromStdString(FormatDouble("%.1f", std::clamp(v, m.min, m.max))));
    }
    return text + QStringLiteral(" ") + QString::fromLatin1(m.unit);
}

bool ChartView::DrawSeries(QPainter& p, int q, const QRect& plot, int64_t t0, int64_t t1,
                           std::vector<Span>& spans) const {
    const MonitoredQuantity& m = kMonitoredQuantities[static_cast<std::size_t>(q)];
    const auto& values = log_->values[static_cast<std::size_t>(q)];
    const double range = m.max - m.min;
    // A value beyond the scale (a live module of another firmware) stays on its edge.
    auto y = [&](double v) {
        const double f = std::clamp((v - m.min) / range, 0.0, 1.0);
        return plot.bottom() - static_cast<int>(f * (plot.height() - 1) + 0.5);
    };
    p.setPen(ColorOf(q));
    Reduced& cache = reduced_;
    const auto k = static_cast<std::size_t>(q);
    if (!cache.done[k]) {
        ReduceColumnsInto(log_->timeMs.data(), values.data(), values.size(), t0, t1, plot.width(),
                          cache.columns[k]);
        cache.done[k] = true;
    }
    const std::vector<ColumnRange>& cols = cache.columns[k];
    const auto first = static_cast<std::size_t>(
        std::lower_bound(log_->timeMs.begin(), log_->timeMs.end(), t0) - log_->timeMs.begin());
    const auto last = static_cast<std::size_t>(
        std::lower_bound(log_->timeMs.begin(), log_->timeMs.end(), t1) - log_->timeMs.begin());
    if (last - first <= cols.size()) {
        // Fewer rows than columns: a line through the rows themselves, from
        // the row before the window to the one after it.
        QPolygon line;
        const std::size_t from = first > 0 ? first - 1 : 0;
        const std::size_t to = std::min(values.size(), last + 1);
        for (std::size_t i = from; i < to; ++i) line << QPoint(XOf(log_->timeMs[i]), y(values[i]));
        if (line.size() == 1) line << line.front() + QPoint(1, 0);
        p.drawPolyline(line);
        return false;
    }
    // One vertical stroke a column from its minimum to its maximum, stretched
    // to meet the column before: the cost follows the width, not the rows.
    spans.assign(cols.size(), Span{});
    int prevLo = 0;
    int prevHi = 0;
    bool prev = false;
    for (int c = 0; c < static_cast<int>(cols.size()); ++c) {
        const ColumnRange& r = cols[static_cast<std::size_t>(c)];
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
        spans[static_cast<std::size_t>(c)] = {lo, hi};
    }
    return true;
}

void ChartView::DrawStrokes(QPainter& p, const QRect& plot) const {
    // Each pixel is drawn once, by the topmost series over it (the last one
    // drawn is on top): a screen of overlapping bands costs one screenful.
    Reduced& cache = reduced_;
    for (auto& rects : cache.rects) rects.clear();
    for (int c = 0; c < plot.width(); ++c) {
        const auto k = static_cast<std::size_t>(c);
        Span covered[kMonitoredQuantityCount];
        int coveredCount = 0;
        for (int q = kMonitoredQuantityCount - 1; q >= 0; --q) {
            const std::vector<Span>& spans = cache.spans[static_cast<std::size_t>(q)];
            if (k >= spans.size() || spans[k].lo > spans[k].hi) continue;
            // What is left of this stroke once the strokes above are taken out.
            Span pieces[kMonitoredQuantityCount + 1] = {spans[k]};
            int count = 1;
            for (int j = 0; j < coveredCount; ++j) {
                const Span over = covered[j];
                int kept = 0;
                Span next[kMonitoredQuantityCount + 1];
                for (int i = 0; i < count; ++i) {
                    const Span piece = pieces[i];
                    if (over.hi < piece.lo || over.lo > piece.hi) {
                        next[kept++] = piece;
                        continue;
                    }
                    if (piece.lo < over.lo) next[kept++] = {piece.lo, over.lo - 1};
                    if (over.hi < piece.hi) next[kept++] = {over.hi + 1, piece.hi};
                }
                std::copy(next, next + kept, pieces);
                count = kept;
            }
            auto& rects = cache.rects[static_cast<std::size_t>(q)];
            for (int i = 0; i < count; ++i)
                rects.push_back(
                    QRect(plot.left() + c, pieces[i].lo, 1, pieces[i].hi - pieces[i].lo + 1));
            covered[coveredCount++] = spans[k];
        }
    }
    // Filled rectangles a pixel wide: the painter fills them row by row
    // without the line stroker's work for each pixel.
    for (int q = 0; q < kMonitoredQuantityCount; ++q) {
        const QColor color = ColorOf(q);
        for (const QRect& r : cache.rects[static_cast<std::size_t>(q)]) p.fillRect(r, color);
    }
}

void ChartView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QRect plot = PlotRect();
    // Around the plot only: the layer covers the plot itself.
    p.fillRect(0, 0, width(), plot.top(), Qt::white);
    p.fillRect(0, plot.bottom() + 1, width(), height() - plot.bottom() - 1, Qt::white);
    p.fillRect(0, plot.top(), plot.left(), plot.height(), Qt::white);
    p.fillRect(plot.right() + 1, plot.top(), width() - plot.right() - 1, plot.height(), Qt::white);
    const int64_t t0 = ViewStartMs();
    const int64_t t1 = ViewEndMs();
    p.setPen(Qt::black);
    const QFontMetrics fm(font());
    const int base = height() - 2;
    // Live times are the host clock's: only the span means anything.
    p.drawText(plot.left(), base,
               live_ ? QStringLiteral("-%1 s").arg(liveSpan_ / 1000) : PlaybackTimeText(t0));
    const QString right = live_ ? QStringLiteral("now") : PlaybackTimeText(t1);
    p.drawText(plot.right() - fm.horizontalAdvance(right), base, right);

    int x = 4;
    for (int q = 0; q < kMonitoredQuantityCount; ++q) {
        if (((mask_ >> q) & 1) == 0) continue;
        // Laid out again only when its text changed: a live legend is drawn
        // at every packet and most of its values stand still.
        QStaticText& legend = legend_[static_cast<std::size_t>(q)];
        const QString text = LegendText(q);
        if (legend.text() != text) {
            legend.setText(text);
            legend.setTextFormat(Qt::PlainText);
            legend.prepare(QTransform(), font());
        }
        p.fillRect(x, 5, 10, 8, ColorOf(q));
        p.setPen(Qt::black);
        p.drawStaticText(x + 14, 4, legend);
        x += 14 + static_cast<int>(legend.size().width() + 0.5) + 12;
    }
    // The series are drawn into a layer kept while the rows, the window, the
    // size and the choice stay: a moving cursor only copies it.
    Reduced& cache = reduced_;
    const std::size_t rows = log_ != nullptr ? log_->Rows() : 0;
    if (cache.log != log_ || cache.rows != rows || cache.t0 != t0 || cache.t1 != t1 ||
        cache.width != plot.width() || cache.layer.size() != plot.size() || cache.mask != mask_) {
        cache.log = log_;
        cache.rows = rows;
        cache.t0 = t0;
        cache.t1 = t1;
        cache.width = plot.width();
        cache.mask = mask_;
        cache.done = {};
        // Opaque, so that showing it is a copy, not a blend; kept between redraws.
        if (cache.layer.size() != plot.size())
            cache.layer = QImage(plot.size(), QImage::Format_RGB32);
        cache.layer.fill(Qt::white);
        {
            QPainter lp(&cache.layer);
            lp.translate(-plot.topLeft());
            lp.setPen(QColor(200, 200, 200));
            lp.drawRect(plot.adjusted(0, 0, -1, -1));
            bool strokes = false;
            for (int q = 0; q < kMonitoredQuantityCount; ++q) {
                auto& spans = cache.spans[static_cast<std::size_t>(q)];
                spans.clear();
                if (((mask_ >> q) & 1) != 0 && rows > 0 && log_->Has(q))
                    strokes |= DrawSeries(lp, q, plot, t0, t1, spans);
            }
            if (strokes) DrawStrokes(lp, plot);
        }
    }
    p.drawImage(plot.topLeft(), cache.layer);
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
