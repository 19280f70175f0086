// The chart pane drawn off screen: series on their own scales, the cursor,
// seeking by mouse and zooming by wheel.
#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>
#include <QWheelEvent>
#include <random>

#include "chart/ChartView.h"
#include "gui/GuiTestSupport.h"
#include "log/LogFormat.h"
#include "log/LogReader.h"

namespace qx::test {
namespace {

// Engine speed at its top for the second half of a minute, the battery steady.
EngineLog Pull() {
    std::string text = LogHeader({0, 5});
    for (int i = 0; i <= 600; ++i)
        text += LogRow(100 * i, {0, 5}, {i >= 300 ? 8250.0 : 0.0, LogValueOf(5, 128)});
    EngineLog log;
    std::string error;
    EXPECT_TRUE(ReadEngineLog(text, log, error)) << error;
    return log;
}

class Chart : public ::testing::Test {
  protected:
    Chart() {
        chart.resize(600, 160);
        chart.SetLog(&log, false);
        chart.SetQuantityMask(0x21);
    }
    bool Drawn(const QImage& img, int x, int y, int quantity) const {
        return img.pixelColor(x, y) == gui::ChartView::ColorOf(quantity);
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
    bool battery = false;
    for (int dy = -1; dy <= 1; ++dy) battery |= Drawn(img, chart.XOf(20000), half + dy, 5);
    EXPECT_TRUE(battery);
    // Where the engine speed's stroke climbs through the battery's line, the
    // battery (drawn later) stays on top and the stroke shows above and below.
    const int step = chart.XOf(30000);
    int climb = -1;
    for (int x = step - 1; x <= step + 1 && climb < 0; ++x)
        if (Drawn(img, x, half - 10, 0) && Drawn(img, x, half + 10, 0)) climb = x;
    ASSERT_GE(climb, 0);
    bool onTop = false;
    for (int dy = -1; dy <= 1; ++dy) onTop |= Drawn(img, climb, half + dy, 5);
    EXPECT_TRUE(onTop);
    EXPECT_EQ(chart.LegendText(0), QStringLiteral("Engine Speed 8250.0 rpm"));
    EXPECT_EQ(chart.LegendText(5), QStringLiteral("Battery Voltage 8.0 volts"));
    SavePicture(img, QStringLiteral("chart.png"));

    // Fewer rows than pixel columns: a line through the rows themselves.
    EngineLog sparse;
    std::string error;
    ASSERT_TRUE(ReadEngineLog(LogHeader({0}) + "0,0.0\n1000,8250.0\n2000,8250.0\n", sparse, error));
    chart.SetLog(&sparse, false);
    chart.SetQuantityMask(0x01);
    const QImage few = chart.grab().toImage();
    EXPECT_TRUE(Drawn(few, chart.XOf(1500), plot.top(), 0));
    EXPECT_TRUE(Drawn(few, chart.XOf(500), (plot.top() + plot.bottom()) / 2, 0));  // the rise
}

// The reduced drawing against every sample plotted on its own: each sample's
// pixel is drawn, and no column is drawn beyond its own samples and the
// previous column's (a column's stroke reaches back to meet the one before).
TEST_F(Chart, TheReducedDrawingCoversEverySampleAndNothingElseOnRandomData) {
    std::mt19937 random(7);
    for (int round = 0; round < 4; ++round) {
        EngineLog noise;
        noise.quantities = {0};
        int64_t t = 0;
        float v = 4000;
        for (int i = 0; i < 20000; ++i) {
            t += 1 + static_cast<int64_t>(random() % (round == 3 ? 400 : 20));
            v = std::clamp(v + static_cast<float>(static_cast<int>(random() % 1601) - 800), 0.0f,
                           8250.0f);
            noise.timeMs.push_back(t);
            noise.raw[0].push_back(0);
            noise.values[0].push_back(v);
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

TEST_F(Chart, ValuesBeyondTheScaleStayOnItsEdges) {
    // Rows the reader would have clamped, as a live source may still hold them.
    for (const bool many : {false, true}) {
        EngineLog wild;
        wild.quantities = {0};
        const int rows = many ? 5000 : 4;
        for (int i = 0; i < rows; ++i) {
            wild.timeMs.push_back(i * 10);
            wild.raw[0].push_back(0);
            wild.values[0].push_back(i < rows / 2 ? 20000.0f : -3000.0f);
        }
        chart.SetLog(&wild, false);
        chart.SetQuantityMask(0x01);
        const QImage img = chart.grab().toImage();
        const QRect plot = chart.PlotRect();
        EXPECT_TRUE(Drawn(img, chart.XOf(wild.EndMs() / 6), plot.top(), 0)) << many;
        EXPECT_TRUE(Drawn(img, chart.XOf(wild.EndMs() * 5 / 6), plot.bottom(), 0)) << many;
        EXPECT_EQ(chart.LegendText(0), QStringLiteral("Engine Speed 8250.0 rpm"));
    }
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
    EXPECT_EQ(chart.ViewEndMs(), 60000);
    EXPECT_EQ(chart.ViewStartMs(), 50000);
}

}  // namespace
}  // namespace qx::test
