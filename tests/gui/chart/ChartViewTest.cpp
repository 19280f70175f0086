// The chart pane drawn off screen: series on their own scales, the cursor,
// seeking by mouse and zooming by wheel.
#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>
#include <QWheelEvent>

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
