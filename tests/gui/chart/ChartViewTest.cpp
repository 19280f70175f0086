// The chart pane drawn off screen: series on their own scales, the cursor,
// seeking by mouse and zooming by wheel, the legend, ticks and scales, lanes.
#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>
#include <QWheelEvent>
#include <random>

#include "core/log/LogFormat.h"
#include "core/log/LogReader.h"
#include "gui/GuiTestSupport.h"
#include "gui/chart/ChartView.h"

namespace qx::test {
namespace {

EngineLog Read(const std::string& text) {
    EngineLog log;
    std::string error;
    EXPECT_TRUE(ReadEngineLog(text, log, error)) << error;
    return log;
}

// Engine speed at its top for the second half of a minute, the battery steady.
EngineLog Pull() {
    std::string text = LogHeader({0, 5});
    for (int i = 0; i <= 600; ++i)
        text += LogRow(100 * i, {0, 5}, {i >= 300 ? 8250.0 : 0.0, LogValueOf(5, 128)});
    return Read(text);
}

// A row of engine speed alone, as a live source appends it (the reader's
// clamping not applied).
void Append(EngineLog& log, int64_t t, float rpm) {
    log.quantities = {0};
    log.timeMs.push_back(t);
    log.raw[0].push_back(0);
    log.values[0].push_back(rpm);
}

// Where two pictures first differ; (-1, -1) when they are the same.
QPoint FirstDifference(const QImage& a, const QImage& b) {
    if (a.size() != b.size()) return QPoint(0, 0);
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (a.pixel(x, y) != b.pixel(x, y)) return QPoint(x, y);
    return QPoint(-1, -1);
}

class Chart : public ::testing::Test {
  protected:
    Chart() {
        chart.resize(600, 160);
        chart.SetLog(&log, false);
        chart.SetQuantityMask(0x21);
    }
    static bool Drawn(const QImage& img, int x, int y, int quantity, int reach = 0) {
        for (int dy = -reach; dy <= reach; ++dy)
            if (img.pixelColor(x, y + dy) == gui::ChartView::ColorOf(quantity)) return true;
        return false;
    }
    // Where the first legend entry of quantity starts on the legend's first line.
    static int Swatch(const QImage& img, int quantity, int from = 0) {
        for (int x = from; x < img.width(); ++x)
            if (Drawn(img, x, 8, quantity)) return x;
        return -1;
    }
    // The application exists before the chart.
    static QWidget* NoParent() {
        TestApp();
        return nullptr;
    }
    EngineLog log = Pull();
    gui::ChartView chart{NoParent()};
};

TEST_F(Chart, EachSeriesOnItsOwnScaleWithValuesAtTheCursor) {
    chart.SetCursorMs(45000);
    const QImage img = chart.grab().toImage();
    const QRect plot = chart.PlotRect();
    // Engine speed: at the bottom before 30 s, at the top after.
    EXPECT_TRUE(Drawn(img, chart.XOf(10000), plot.bottom(), 0));
    EXPECT_TRUE(Drawn(img, chart.XOf(50000), plot.top(), 0));
    EXPECT_FALSE(Drawn(img, chart.XOf(10000), plot.top(), 0));
    // 128 of 255 on a 0 .. 16 V scale: half way up.
    const int half = plot.bottom() - (plot.height() - 1) / 2;
    EXPECT_TRUE(Drawn(img, chart.XOf(20000), half, 5, 1));
    // Where the engine speed's stroke climbs through the battery's line, the
    // battery (drawn later) stays on top and the stroke shows above and below.
    const int step = chart.XOf(30000);
    int climb = -1;
    for (int x = step - 1; x <= step + 1 && climb < 0; ++x)
        if (Drawn(img, x, half - 10, 0) && Drawn(img, x, half + 10, 0)) climb = x;
    ASSERT_GE(climb, 0);
    EXPECT_TRUE(Drawn(img, climb, half, 5, 1)) << "the battery on top";
    EXPECT_EQ(chart.LegendText(0), QStringLiteral("Engine Speed 8250.0 rpm"));
    EXPECT_EQ(chart.LegendText(5), QStringLiteral("Battery Voltage 8.0 volts"));
    // The legend as drawn: the first entry's text, then the second's swatch
    // where that text ends.
    const int swatch = Swatch(img, 5, 20);
    const int text = QFontMetrics(chart.font()).horizontalAdvance(chart.LegendText(0));
    EXPECT_NEAR(swatch, 4 + 14 + text + 12, 3);
    EXPECT_GT(DarkPixels(img, QRect(QPoint(18, 4), QPoint(swatch - 13, 17)), 128), text)
        << "the text is there";
    SavePicture(img, QStringLiteral("chart.png"));

    // Fewer rows than pixel columns: a line through the rows themselves.
    EngineLog sparse = Read(LogHeader({0}) + "0,0.0\n1000,8250.0\n2000,8250.0\n");
    chart.SetLog(&sparse, false);
    chart.SetQuantityMask(0x01);
    const QImage few = chart.grab().toImage();
    EXPECT_TRUE(Drawn(few, chart.XOf(1500), plot.top(), 0));
    // Half way up half way along, to the pixel's rounding.
    EXPECT_TRUE(Drawn(few, chart.XOf(500), (plot.top() + plot.bottom()) / 2, 0, 1));
}

// The reduced drawing against every sample plotted on its own: each sample's
// pixel is drawn, and no column is drawn beyond its own samples and the
// previous column's (a column's stroke reaches back to meet the one before).
TEST_F(Chart, TheReducedDrawingCoversEverySampleAndNothingElseOnRandomData) {
    std::mt19937 random(7);
    for (int round = 0; round < 4; ++round) {
        EngineLog noise;
        int64_t t = 0;
        float v = 4000;
        for (int i = 0; i < 20000; ++i) {
            t += 1 + static_cast<int64_t>(random() % (round == 3 ? 400 : 20));
            v = std::clamp(v + static_cast<float>(static_cast<int>(random() % 1601) - 800), 0.0f,
                           8250.0f);
            Append(noise, t, v);
        }
        chart.SetLog(&noise, false);
        chart.SetQuantityMask(0x01);
        chart.SetCursorMs(-1000000000);  // off the plot: its dashed line would hide samples
        const QImage img = chart.grab().toImage();
        const QRect plot = chart.PlotRect();
        const int64_t t0 = chart.ViewStartMs();
        const int64_t t1 = chart.ViewEndMs();
        const int w = plot.width();
        auto y = [&](float value) {
            return plot.bottom() -
                   static_cast<int>(static_cast<double>(value) / 8250.0 * (plot.height() - 1) +
                                    0.5);
        };
        std::vector<int> top(static_cast<std::size_t>(w), plot.bottom() + 1);
        std::vector<int> bottom(static_cast<std::size_t>(w), plot.top() - 1);
        for (std::size_t i = 0; i < noise.Rows(); ++i) {
            if (noise.timeMs[i] < t0 || noise.timeMs[i] >= t1) continue;
            const auto c = static_cast<std::size_t>((noise.timeMs[i] - t0) * w / (t1 - t0));
            const int py = y(noise.values[0][i]);
            ASSERT_TRUE(Drawn(img, plot.left() + static_cast<int>(c), py, 0))
                << round << " sample " << i << " column " << c << " y " << py << " "
                << img.pixelColor(plot.left() + static_cast<int>(c), py).name().toStdString();
            top[c] = std::min(top[c], py);
            bottom[c] = std::max(bottom[c], py);
        }
        for (int c = 1; c < w; ++c) {
            const auto k = static_cast<std::size_t>(c);
            const int hi = std::min(top[k], top[k - 1]);
            const int lo = std::max(bottom[k], bottom[k - 1]);
            for (int py = plot.top() + 1; py < plot.bottom(); ++py) {
                if (py >= hi && py <= lo) continue;
                ASSERT_FALSE(Drawn(img, plot.left() + c, py, 0))
                    << round << " column " << c << " y " << py;
            }
        }
    }
}

// Live, the plot scrolls and draws only the columns new rows touch: after every
// packet it must be the picture a chart drawing the same rows afresh makes.
TEST_F(Chart, ALiveChartScrolledPacketByPacketMatchesOneDrawnAfresh) {
    std::mt19937 random(31);
    struct Case {
        int64_t span;
        int64_t step;  // ms between rows, at most
        int packets;
        bool lanes;
        int pauseEvery = 0;  // packets between pauses of 3 s (monitoring held up)
    };
    // Fewer rows than columns (a line), then many more (strokes), each
    // filling the span and scrolling on past it; in lanes too; with gaps.
    for (const Case c : {Case{10000, 60, 400, false}, Case{10000, 12, 1200, false},
                         Case{10000, 60, 400, true}, Case{10000, 12, 1200, true},
                         Case{10000, 60, 400, false, 70}, Case{10000, 12, 1200, true, 230}}) {
        EngineLog live;
        live.quantities = {0, 1, 2, 3, 4, 5, 6};
        chart.SetLog(&live, true);
        chart.SetQuantityMask(0x6D);
        chart.SetLiveSpanMs(c.span);
        chart.SetLanes(c.lanes);
        gui::ChartView fresh{NoParent()};
        fresh.SetLanes(c.lanes);
        fresh.resize(chart.size());
        fresh.SetQuantityMask(0x6D);
        fresh.SetLiveSpanMs(c.span);
        int64_t t = 1000;
        for (int packet = 0; packet < c.packets; ++packet) {
            if (c.pauseEvery > 0 && packet % c.pauseEvery == c.pauseEvery - 1) t += 3000;
            for (int row = 0, rows = 1 + static_cast<int>(random() % 4); row < rows; ++row) {
                t += static_cast<int64_t>(random() % static_cast<unsigned>(c.step));
                live.timeMs.push_back(t);
                for (int q = 0; q < 7; ++q) {
                    const auto k = static_cast<std::size_t>(q);
                    const float top = q == 0 ? 9000.0f : 300.0f;  // some beyond the scale
                    live.raw[k].push_back(0);
                    live.values[k].push_back(static_cast<float>(random() % 1000) / 1000 * top);
                }
            }
            if (packet == c.packets / 2) {
                // Trimmed at the start, as the program keeps only the last minutes.
                const std::ptrdiff_t keep = static_cast<std::ptrdiff_t>(live.Rows() / 3);
                live.timeMs.erase(live.timeMs.begin(), live.timeMs.begin() + keep);
                for (auto& v : live.values) v.erase(v.begin(), v.begin() + keep);
                for (auto& r : live.raw) r.erase(r.begin(), r.begin() + keep);
            }
            chart.SetCursorMs(t);
            const QImage scrolled = chart.grab().toImage();
            if (packet % 25 != 0 && packet != c.packets - 1) continue;
            fresh.SetLog(&live, true);
            fresh.SetCursorMs(t);
            ASSERT_EQ(FirstDifference(scrolled, fresh.grab().toImage()), QPoint(-1, -1))
                << "span " << c.span << " packet " << packet << " rows " << live.Rows();
        }
        EXPECT_GT(live.EndMs() - live.StartMs(), c.span) << "the chart scrolled";
    }
}

// While monitoring was held up no row came: the trace stops at the last row
// before the gap and starts again at the first after it, with nothing drawn
// between, whether it is a line through the rows or strokes a column.
TEST_F(Chart, AGapInTheRowsBreaksTheTrace) {
    chart.SetQuantityMask(0x01);
    const QRect plot = chart.PlotRect();
    auto inkBetween = [&](const QImage& img, int x, int fromY, int toY) {
        int ink = 0;
        for (int y = std::max(fromY, plot.top() + 1); y <= std::min(toY, plot.bottom() - 1); ++y)
            ink += Drawn(img, x, y, 0) ? 1 : 0;
        return ink;
    };
    {
        // Live, a row every 100 ms: fewer rows than columns, a line. Four
        // seconds with one row in the middle of them.
        EngineLog live;
        for (int64_t t = 1000; t <= 10000; t += 100) Append(live, t, 2000.0f);
        Append(live, 12000, 4000.0f);
        for (int64_t t = 14000; t <= 20000; t += 100) Append(live, t, 6000.0f);
        chart.SetLog(&live, true);
        chart.SetLiveSpanMs(30000);
        chart.SetCursorMs(20000);
        const QImage img = chart.grab().toImage();
        ASSERT_LT(live.Rows(), static_cast<std::size_t>(plot.width()));
        EXPECT_TRUE(
            Drawn(img, chart.XOf(9000), plot.bottom() - (plot.height() - 1) * 2000 / 8250, 0, 1));
        EXPECT_TRUE(
            Drawn(img, chart.XOf(15000), plot.bottom() - (plot.height() - 1) * 6000 / 8250, 0, 1));
        EXPECT_TRUE(
            Drawn(img, chart.XOf(12000), plot.bottom() - (plot.height() - 1) * 4000 / 8250, 0, 1))
            << "the row alone in the gap is a dot";
        for (int x = chart.XOf(10000) + 1; x < chart.XOf(14000); ++x) {
            if (x == chart.XOf(12000)) continue;
            EXPECT_EQ(inkBetween(img, x, plot.top(), plot.bottom()), 0) << "column " << x;
        }
    }
    {
        // Playback of 11 minutes, a row every 20 ms: many more rows than
        // columns of about 1.2 s, strokes. A gap of 0.8 s from the last row of
        // one column to the first of the next, the value going from 1000 to 7000.
        auto build = [](int64_t gap, int64_t missing) {
            EngineLog log;
            for (int64_t t = 0; t <= 660000; t += 20)
                if (t <= gap || t >= gap + missing) Append(log, t, t <= gap ? 1000.0f : 7000.0f);
            return log;
        };
        EngineLog log = build(300000, 800);
        chart.SetLog(&log, false);
        chart.SetCursorMs(-1000000000);
        int64_t gap = 300000;
        while (chart.XOf(gap + 800) != chart.XOf(gap) + 1 || chart.XOf(gap + 20) == chart.XOf(gap))
            gap += 20;
        log = build(gap, 800);
        chart.SetLog(&log, false);
        ASSERT_GT(log.Rows(), static_cast<std::size_t>(plot.width()));
        const QImage img = chart.grab().toImage();
        const int low = plot.bottom() - (plot.height() - 1) * 1000 / 8250;
        const int high = plot.bottom() - (plot.height() - 1) * 7000 / 8250;
        const int before = chart.XOf(gap);
        EXPECT_TRUE(Drawn(img, before, low, 0, 1));
        EXPECT_TRUE(Drawn(img, before + 1, high, 0, 1));
        EXPECT_EQ(inkBetween(img, before, high + 2, low - 2), 0);
        EXPECT_EQ(inkBetween(img, before + 1, high + 2, low - 2), 0) << "no stroke down to meet it";
        // Without the gap the stroke does meet the column before.
        EngineLog joined = build(gap, 0);
        chart.SetLog(&joined, false);
        const QImage met = chart.grab().toImage();
        EXPECT_GT(inkBetween(met, before + 1, high + 2, low - 2), 0);
    }
}

TEST_F(Chart, ValuesBeyondTheScaleStayOnItsEdges) {
    // Rows the reader would have clamped, as a live source may still hold them.
    for (const bool many : {false, true}) {
        EngineLog wild;
        const int rows = many ? 5000 : 4;
        for (int i = 0; i < rows; ++i) Append(wild, i * 10, i < rows / 2 ? 20000.0f : -3000.0f);
        chart.SetLog(&wild, false);
        chart.SetQuantityMask(0x01);
        const QImage img = chart.grab().toImage();
        const QRect plot = chart.PlotRect();
        EXPECT_TRUE(Drawn(img, chart.XOf(wild.EndMs() / 6), plot.top(), 0)) << many;
        EXPECT_TRUE(Drawn(img, chart.XOf(wild.EndMs() * 5 / 6), plot.bottom(), 0)) << many;
        EXPECT_EQ(chart.LegendText(0), QStringLiteral("Engine Speed 8250.0 rpm"));
    }
}

TEST_F(Chart, LiveRowsShorterThanTheSpanEndAtNowOnTheRight) {
    // Engine speed steady at the top for the last 5 s of a live chart of 30 s.
    EngineLog live;
    for (int64_t t = 1000; t <= 6000; t += 100) Append(live, t, 8250.0f);
    chart.SetLog(&live, true);
    chart.SetQuantityMask(0x01);
    chart.SetLiveSpanMs(30000);
    chart.SetCursorMs(6000);
    const QImage img = chart.grab().toImage();
    const QRect plot = chart.PlotRect();
    // 5 s of 30 s: the last sixth of the width, the rest empty.
    const int from = plot.right() - plot.width() / 6;
    EXPECT_EQ(chart.XOf(6000), plot.right());
    EXPECT_NEAR(chart.XOf(1000), from, 2);
    EXPECT_TRUE(Drawn(img, plot.right() - 1, plot.top(), 0));
    EXPECT_TRUE(Drawn(img, from + 3, plot.top(), 0));
    for (int x = plot.left() + 1; x < from - 3; ++x)
        ASSERT_FALSE(Drawn(img, x, plot.top(), 0)) << "nothing was read at " << x;
    // Read before the first row there is no value.
    chart.show();
    QTest::mouseMove(&chart, QPoint(plot.left() + plot.width() / 2, plot.center().y()));
    EXPECT_EQ(chart.LegendValue(0), QString());
    QTest::mouseMove(&chart, QPoint(plot.right() - 2, plot.center().y()));
    EXPECT_EQ(chart.LegendValue(0), QStringLiteral("8250.0"));
}

// All seven quantities, steady, in one log.
EngineLog AllSeven() {
    std::string text = LogHeader({0, 1, 2, 3, 4, 5, 6});
    for (int i = 0; i <= 100; ++i)
        text += LogRow(100 * i, {0, 1, 2, 3, 4, 5, 6}, {4000, 2000, 50, 20, 20, 12.5, 3});
    return Read(text);
}

// The chart of an 800-pixel window: every entry of the legend is drawn whole.
TEST_F(Chart, EveryLegendEntryFitsTheWidthOnAsManyLinesAsItNeeds) {
    EngineLog all = AllSeven();
    chart.SetLog(&all, false);
    chart.SetQuantityMask(0x7F);
    chart.SetCursorMs(5000);
    for (const int w : {790, 1900}) {
        chart.resize(w, 240);
        const QImage img = chart.grab().toImage();
        const QRect plot = chart.PlotRect();
        const QFontMetrics fm(chart.font());
        for (int q = 0; q < 7; ++q) {
            // The swatch, then the text after it ends inside the window.
            QPoint swatch(-1, -1);
            for (int y = 0; y + 7 < plot.top() && swatch.x() < 0; ++y)
                for (int x = 0; x + 9 < w && swatch.x() < 0; ++x)
                    if (Drawn(img, x, y, q) && Drawn(img, x + 9, y + 7, q)) swatch = QPoint(x, y);
            ASSERT_GE(swatch.x(), 0) << "entry " << q << " at width " << w;
            EXPECT_LE(swatch.x() + 14 + fm.horizontalAdvance(chart.LegendText(q)), w)
                << "entry " << q << " at width " << w;
            EXPECT_EQ(chart.LegendEntryAt(swatch + QPoint(20, 2)), q);
        }
        EXPECT_GE(plot.height(), 100) << "the plot keeps its room at " << w;
        if (w == 1900) {
            EXPECT_EQ(chart.LegendLineCount(), 1);
        } else {
            EXPECT_GE(chart.LegendLineCount(), 2);
        }
    }
}

// The tick marks under the plot: equally spaced at one round step of time,
// the first at the start of the log, each with its label under it.
TEST_F(Chart, TimeTicksFallOnRoundTimesWithTheirLabels) {
    for (const int w : {600, 1200}) {
        chart.resize(w, 160);
        const QImage img = chart.grab().toImage();
        const QRect plot = chart.PlotRect();
        std::vector<int> marks;
        for (int x = 0; x < w; ++x)
            if (img.pixelColor(x, plot.bottom() + 2) == QColor(120, 120, 120)) marks.push_back(x);
        ASSERT_GE(marks.size(), 3u) << w;
        EXPECT_EQ(marks.front(), plot.left());
        EXPECT_EQ(marks.back(), plot.right()) << "the minute ends the log and the plot";
        // Pixels back to log time by hand: 60 s over the plot's width.
        const int64_t step = ((marks[1] - plot.left()) * 60000 / plot.width() + 500) / 1000 * 1000;
        EXPECT_TRUE(step == 5000 || step == 10000 || step == 15000 || step == 30000) << step;
        EXPECT_EQ(60000 % step, 0);
        EXPECT_EQ(static_cast<int64_t>(marks.size()), 60000 / step + 1) << w;
        for (std::size_t k = 0; k < marks.size(); ++k) {
            const int64_t t = (marks[k] - plot.left()) * 60000 / plot.width();
            EXPECT_NEAR(static_cast<double>(t), static_cast<double>(k) * step, 2 * 60000.0 / w + 1);
            const QRect label(QPoint(std::max(0, marks[k] - 20), plot.bottom() + 4),
                              QPoint(std::min(w, marks[k] + 20) - 1, img.height() - 1));
            EXPECT_GT(DarkPixels(img, label, 128), 10) << "a label under the mark at " << marks[k];
        }
        EXPECT_GT(marks[1] - marks[0], 40) << "labels need room";
    }
}

TEST_F(Chart, TheScaleBesideThePlotIsThatOfTheValueChosenInTheLegend) {
    chart.resize(600, 300);
    chart.SetCursorMs(45000);
    chart.show();
    QImage img = chart.grab().toImage();
    QRect plot = chart.PlotRect();
    const QRect scale(0, plot.top(), plot.left(), plot.height());
    EXPECT_GT(plot.left(), 20) << "room for the labels";
    EXPECT_GT(PixelsOf(img, scale, gui::ChartView::ColorOf(0)), 0);
    EXPECT_EQ(PixelsOf(img, scale, gui::ChartView::ColorOf(5)), 0);
    // The mark of 8000 rpm, worked out by hand: 8000 / 8250 of the plot's height up.
    const int row = plot.bottom() - static_cast<int>(8000.0 / 8250 * (plot.height() - 1) + 0.5);
    EXPECT_TRUE(img.pixelColor(plot.left() - 2, row) == gui::ChartView::ColorOf(0)) << row;
    EXPECT_TRUE(img.pixelColor(plot.left() - 2, plot.bottom()) == gui::ChartView::ColorOf(0));

    // A click on the battery's legend entry gives its scale instead.
    const int battery = Swatch(img, 5);
    ASSERT_GE(battery, 0);
    QSignalSpy seeks(&chart, &gui::ChartView::seekRequested);
    QTest::mouseClick(&chart, Qt::LeftButton, {}, QPoint(battery + 30, 10));
    EXPECT_EQ(chart.ScaleQuantity(), 5);
    img = chart.grab().toImage();
    plot = chart.PlotRect();
    const QRect scale5(0, plot.top(), plot.left(), plot.height());
    EXPECT_GT(PixelsOf(img, scale5, gui::ChartView::ColorOf(5)), 0);
    EXPECT_EQ(PixelsOf(img, scale5, gui::ChartView::ColorOf(0)), 0);
    // 0 .. 16 V: a mark half way up at 8 V (the round steps take it in, 2 or 4 V apart).
    const int half = plot.bottom() - static_cast<int>(0.5 * (plot.height() - 1) + 0.5);
    EXPECT_TRUE(img.pixelColor(plot.left() - 2, half) == gui::ChartView::ColorOf(5)) << half;
    EXPECT_EQ(seeks.size(), 0) << "a click on the legend moves no playback";
}

TEST_F(Chart, ThePointerOverThePlotReadsTheValuesAtItsTime) {
    chart.SetCursorMs(10000);
    chart.show();
    const QRect plot = chart.PlotRect();
    EXPECT_EQ(chart.LegendText(0), QStringLiteral("Engine Speed 0.0 rpm"));
    QTest::mouseMove(&chart, QPoint(chart.XOf(50000), plot.center().y()));
    EXPECT_EQ(chart.LegendText(0), QStringLiteral("Engine Speed 8250.0 rpm"));
    EXPECT_EQ(chart.LegendText(5), QStringLiteral("Battery Voltage 8.0 volts"));
    EXPECT_NEAR(static_cast<double>(chart.LegendTimeMs()), 50000, 150);
    const QImage img = chart.grab().toImage();
    EXPECT_EQ(img.pixelColor(chart.XOf(50000), plot.center().y() + 20), QColor(150, 150, 150))
        << "a line marks the time read";
    // Off the plot the legend goes back to the cursor.
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(&chart, &leave);
    EXPECT_EQ(chart.LegendText(0), QStringLiteral("Engine Speed 0.0 rpm"));
    EXPECT_EQ(chart.CursorMs(), 10000) << "hovering moves no playback";
}

TEST_F(Chart, LanesGiveEachValueABandOfItsOwn) {
    chart.resize(600, 300);
    chart.SetLanes(true);
    const QImage img = chart.grab().toImage();
    const QRect plot = chart.PlotRect();
    const int middle = plot.top() + plot.height() / 2;
    // Engine speed in the upper half: its top at the plot's top, its 0 above the middle.
    EXPECT_TRUE(Drawn(img, chart.XOf(50000), plot.top(), 0));
    bool idle = false;
    for (int y = middle - 4; y < middle; ++y) idle |= Drawn(img, chart.XOf(10000), y, 0);
    EXPECT_TRUE(idle);
    EXPECT_EQ(PixelsOf(img, QRect(plot.left(), middle + 1, plot.width(), plot.bottom() - middle),
                       gui::ChartView::ColorOf(0)),
              0);
    // The battery at half its scale: half way down the lower half.
    const int quarter = plot.top() + plot.height() * 3 / 4;
    EXPECT_TRUE(Drawn(img, chart.XOf(20000), quarter, 5, 2));
    EXPECT_EQ(PixelsOf(img, QRect(plot.left(), plot.top(), plot.width(), plot.height() / 2 - 1),
                       gui::ChartView::ColorOf(5)),
              0);
    // Each lane has its scale.
    const QRect scale(0, plot.top() - 8, plot.left(), plot.height() + 16);
    EXPECT_GT(PixelsOf(img, scale, gui::ChartView::ColorOf(0)), 0);
    EXPECT_GT(PixelsOf(img, scale, gui::ChartView::ColorOf(5)), 0);
    SavePicture(img, QStringLiteral("chart-lanes.png"));
    // Too short for a label a lane: the values share the plot again.
    EXPECT_TRUE(chart.LanesDrawn());
    EngineLog all = AllSeven();
    chart.SetLog(&all, false);
    chart.SetQuantityMask(0x7F);
    chart.resize(1900, 400);
    EXPECT_TRUE(chart.LanesDrawn());
    chart.resize(1900, 80);
    EXPECT_TRUE(chart.Lanes());
    EXPECT_FALSE(chart.LanesDrawn());
    // Engine speed steady at 4000 of 8250 rpm: just under half way up the whole plot.
    const QImage shared = chart.grab().toImage();
    const QRect small = chart.PlotRect();
    const int row = small.bottom() - static_cast<int>(4000.0 / 8250 * (small.height() - 1) + 0.5);
    EXPECT_TRUE(Drawn(shared, chart.XOf(5000), row, 0)) << row;
}

TEST_F(Chart, ClickAndDragAskToMovePlaybackAndTheWheelZoomsTime) {
    chart.show();
    QSignalSpy seeks(&chart, &gui::ChartView::seekRequested);
    const QRect plot = chart.PlotRect();
    QTest::mousePress(&chart, Qt::LeftButton, {}, QPoint(plot.left() + plot.width() / 2, 80));
    ASSERT_EQ(seeks.size(), 1);
    EXPECT_NEAR(seeks[0][0].toLongLong(), 30000, 150);
    const QPoint at(plot.left() + plot.width() / 4, 80);
    QWheelEvent in(at, chart.mapToGlobal(at), {}, {0, 120}, Qt::NoButton, {}, Qt::NoScrollPhase,
                   false);
    QCoreApplication::sendEvent(&chart, &in);
    EXPECT_EQ(chart.ViewEndMs() - chart.ViewStartMs(), 30000);
    EXPECT_NEAR(chart.TimeAt(at.x()), 15000, 150);  // the time under the pointer stays
    // Live: the wheel picks the span, 10 s to 10 min.
    chart.SetLog(&log, true);
    QCoreApplication::sendEvent(&chart, &in);
    EXPECT_EQ(chart.LiveSpanMs(), 10000);
    QCoreApplication::sendEvent(&chart, &in);
    EXPECT_EQ(chart.LiveSpanMs(), 10000);
    // The newest row in the last pixel column, whose time the window ends with.
    const int64_t column = 10000 / plot.width() + 1;
    EXPECT_LE(chart.ViewEndMs() - column, 60000);
    EXPECT_GT(chart.ViewEndMs(), 60000);
    EXPECT_NEAR(chart.ViewEndMs() - chart.ViewStartMs(), 10000, 1);
    EXPECT_EQ(chart.XOf(60000), plot.right());
}

}  // namespace
}  // namespace qx::test
