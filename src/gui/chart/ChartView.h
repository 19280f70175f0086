#pragma once
// The chart pane: the chosen live values against time, each on its own scale
// (the quantity's range) and colour, with units in the legend. Live, the
// newest row lies at the right edge ("now") and the plot scrolls over the
// last span (10 s to 10 min; the wheel changes it); in playback it shows the
// whole log with a cursor at the playback position, a click or drag asks to
// move the playback there, and the wheel zooms time round the pointer.
//
// The legend, broken into as many lines as the width needs, shows the values
// at the cursor, or at the pointer while it is over the plot. Time has ticks
// at round steps; the values share the plot, the scale of one of them (a
// click on its legend entry chooses it) at the left, or each has a lane of
// its own with its own scale.
//
// Each pixel column is reduced to its minimum and maximum before drawing, so
// an hour draws as fast as a minute; live, the plot scrolls and only the
// columns the new rows touch are drawn. Where no row came for a while
// (GapThresholdMs: monitoring was held up by a modal window, or the module
// went quiet) the trace is broken rather than drawn straight across.
//
// Ownership: the chart does not own the log it shows; the caller keeps it
// alive (and unchanged except for rows appended) while the chart shows it.
#include <QImage>
#include <QRect>
#include <QStaticText>
#include <QWidget>
#include <array>
#include <cstdint>
#include <vector>

#include "core/log/ColumnReduce.h"
#include "gui/chart/ChartRaster.h"
#include "gui/graph/GlyphText.h"

namespace qx {
struct EngineLog;
}

namespace qx::gui {

class ChartView : public QWidget {
    Q_OBJECT
  public:
    static constexpr std::array<int64_t, 6> kLiveSpansMs = {10000,  30000,  60000,
                                                            120000, 300000, 600000};
    static constexpr int kLegendHeight = 18;  // a line of the legend

    explicit ChartView(QWidget* parent = nullptr);

    // live: the newest rows at the right edge over LiveSpanMs; else the whole
    // log (or the zoomed part) with the cursor.
    void SetLog(const EngineLog* log, bool live);
    const EngineLog* Log() const { return log_; }
    bool IsLive() const { return live_; }
    // Bit i set: quantity i is drawn (the monitor window's active displays).
    void SetQuantityMask(int mask);
    int QuantityMask() const { return mask_; }
    // Each value in a lane of its own, else all over the whole plot.
    void SetLanes(bool on);
    bool Lanes() const { return lanes_; }
    // Whether they are drawn so: lanes too thin for a label each are not.
    bool LanesDrawn() const { return CurrentLayout().lanesDrawn; }
    // The value whose scale is shown beside the shared plot (-1: the first drawn).
    void SetScaleQuantity(int quantity);
    int ScaleQuantity() const;
    // repaint false: a live row held back for a later frame.
    void SetCursorMs(int64_t t, bool repaint = true);
    int64_t CursorMs() const { return cursor_; }
    void SetLiveSpanMs(int64_t span);
    int64_t LiveSpanMs() const { return liveSpan_; }
    // The time window drawn now.
    int64_t ViewStartMs() const;
    int64_t ViewEndMs() const;
    // Log time at pixel x of the plot, and back.
    int64_t TimeAt(int x) const;
    int XOf(int64_t t) const;
    QRect PlotRect() const;
    // The legend text of quantity q with its value at the cursor (or pointer).
    QString LegendText(int quantity) const;
    // Its value there alone; empty when the log has none then.
    QString LegendValue(int quantity) const;
    // The time the legend's values are read at: the pointer's over the plot,
    // else the cursor's.
    int64_t LegendTimeMs() const;
    // The legend entry at p; -1 for none.
    int LegendEntryAt(QPoint p) const;
    // The lines the legend takes at the present width.
    int LegendLineCount() const;
    // The quantities drawn, in drawing order (the lanes from the top).
    std::vector<int> DrawnQuantities() const;
    static QColor ColorOf(int quantity);

  Q_SIGNALS:
    void seekRequested(qint64 timeMs);
    // The user turned lanes on or off (from the context menu).
    void lanesToggled(bool on);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

  private:
    // Where things go at the present size, font and quantities.
    struct Layout {
        int width = -1;
        int height = -1;
        int mask = -1;
        int drawn = -1;  // the quantities of the mask the log has
        bool lanes = false;
        bool lanesDrawn = false;  // the lanes asked for, when the height has room for them
        int scale = -1;
        QFont font;
        std::vector<int> quantities;  // legend order
        std::vector<QPoint> entries;  // top left of each legend entry
        std::vector<int> entryWidths;
        int valueWidth[7] = {};
        int lines = 1;
        int axisHeight = 0;
        QRect plot;
    };
    const Layout& CurrentLayout() const;
    int DrawnMask() const;
    void PaintLegend(QPainter& p, const Layout& l) const;
    void PaintTimeAxis(QPainter& p, const QRect& plot) const;
    // Draws the value scales beside plot; with no painter only measures
    // the room their labels take.
    void PaintValueScales(QPainter* p, const QRect& plot, bool lanes, int* width) const;
    QString ValueText(int quantity, int64_t t) const;
    // Live, the columns are fixed to time (the span over the plot's width) and
    // the newest row lies in the last one; else they divide the window.
    ColumnGrid Grid() const;
    // Fills the series to draw from the reduced columns (true: strokes) or the
    // rows themselves (false: lines, when there are fewer rows than columns).
    // The trace breaks where the rows are more than gapMs apart.
    bool BuildSeries(const QRect& plot, const ColumnGrid& grid, int64_t t0, int64_t t1, bool lanes,
                     int64_t gapMs) const;

    const EngineLog* log_ = nullptr;
    bool live_ = true;
    int mask_ = 0;
    bool lanes_ = false;
    int scaleQuantity_ = -1;
    int hoverX_ = -1;                   // the pointer over the plot; -1 when elsewhere
    mutable bool cursorFrame_ = false;  // the next paint is for the cursor
    int64_t cursor_ = 0;
    int64_t liveSpan_ = 30000;
    int64_t zoomStart_ = 0;  // playback zoom; an empty window means the whole log
    int64_t zoomEnd_ = 0;

    // The drawn plot of the last paint and what it was drawn from.
    struct Drawn {
        const EngineLog* log = nullptr;
        std::size_t rows = 0;
        int64_t firstTime = 0;
        int64_t lastTime = 0;
        int64_t t0 = 0;
        int64_t t1 = 0;
        int64_t firstColumn = 0;
        int64_t span = 0;
        int64_t gap = 0;  // the rows' gap threshold
        QSize size;
        int mask = 0;
        bool live = false;
        bool lanes = false;
        bool strokes = false;
        QImage layer;
    };
    mutable Drawn drawn_;
    mutable std::array<std::vector<ColumnRange>, 7> columns_;
    mutable std::vector<ChartSeries> series_;
    mutable ChartRaster raster_;
    // A legend entry: its label and unit, which stand still, drawn once into
    // images; its value, which changes at every packet, glyph by glyph.
    struct LegendEntry {
        QImage label;
        QImage unit;
        QFont font;
        qreal dpr = 0;
        GlyphText value;
    };
    mutable std::array<LegendEntry, 7> legend_;
    mutable Layout layout_;
    // Tick labels laid out once each.
    mutable std::vector<std::pair<QString, QStaticText>> tickLabels_;
    const QStaticText& TickLabel(const QString& text) const;
};

}  // namespace qx::gui
