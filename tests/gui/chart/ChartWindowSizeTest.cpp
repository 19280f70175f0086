// The main window with the chart, seven monitor boxes and a log open on a
// small screen: it fits 800 x 600 with a window manager's title bar, the chart
// has a plot worth reading and its height can be dragged either way.
#include <QFile>
#include <QSplitter>
#include <QTest>

#include "core/host/CommandIds.h"
#include "core/host/Profile.h"
#include "core/log/LogFormat.h"
#include "gui/GuiTestSupport.h"
#include "gui/app/AppFixture.h"
#include "gui/chart/ChartView.h"
#include "gui/graph/MapGraphView.h"
#include "gui/playback/EngineLogs.h"
#include "gui/playback/TransportBar.h"
#include "gui/resources/Resources.h"

namespace qx::test {
namespace {

class ChartWindowSize : public gui::testing::AppTest {
  protected:
    void SetUp() override {
        TestApp();
        AppTest::SetUp();
    }
    // All seven monitor boxes, a log in playback (the transport bar under
    // the chart) and View > Chart.
    void StartWithEverythingOpen() {
        {
            Profile profile(profile_.toStdString());
            profile.WriteInt("Settings", "Monitors", 0x7F);
            profile.WriteInt("Settings", "Monitor Window Open", 1);
        }
        Start();
        const std::vector<int> all = {0, 1, 2, 3, 4, 5, 6};
        std::string text = LogHeader(all);
        for (int i = 0; i < 50; ++i)
            text += LogRow(100 * i, all, {LogValueOf(0, 10 * i), 0, 0, 0, 0, 0, 0});
        const QString path = dir_.filePath(QStringLiteral("pull.csv"));
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text.data(), static_cast<qint64>(text.size()));
        f.close();
        ASSERT_TRUE(app_->Logs()->OpenLog(path));
        Route(res::kViewChart);
        ASSERT_FALSE(app_->Logs()->Transport()->isHidden());
        ASSERT_FALSE(Chart()->isHidden());
        app_->Frame()->show();
        QCoreApplication::processEvents();
    }
    gui::ChartView* Chart() { return app_->Logs()->Chart(); }
    QSplitter* Splitter() { return app_->Frame()->findChild<QSplitter*>(); }
    void Resize(int w, int h) {
        app_->Frame()->resize(w, h);
        QCoreApplication::processEvents();
    }
    // Drags the handle between graph and chart dy pixels down.
    void Drag(int dy) {
        QSplitterHandle* handle = Splitter()->handle(1);
        const QPoint at(handle->width() / 2, handle->height() / 2);
        QTest::mousePress(handle, Qt::LeftButton, {}, at);
        QTest::mouseMove(handle, at + QPoint(0, dy));
        QTest::mouseRelease(handle, Qt::LeftButton, {}, at + QPoint(0, dy));
        QCoreApplication::processEvents();
    }
};

TEST_F(ChartWindowSize, EverythingOpenFitsASmallScreenAndTheChartIsReadable) {
    StartWithEverythingOpen();
    // 600 rows less a window manager's title bar of up to 60.
    EXPECT_LE(app_->Frame()->minimumSizeHint().height(), 540);
    EXPECT_LE(app_->Frame()->minimumSizeHint().width(), 800);
    Resize(800, 560);
    EXPECT_GE(Chart()->PlotRect().height(), 80) << "chart height " << Chart()->height();
    // The graph keeps room for the column of seven monitor boxes of 42 pixels.
    EXPECT_GE(app_->Frame()->View()->height(), 7 * 42);
}

TEST_F(ChartWindowSize, TheSplitMovesBothWaysEvenAtTheSmallestWindow) {
    StartWithEverythingOpen();
    for (const int h : {560, app_->Frame()->minimumSizeHint().height()}) {
        SCOPED_TRACE(h);
        Resize(800, h);
        ASSERT_EQ(app_->Frame()->height(), h);
        const int before = Chart()->height();
        Drag(-10);
        EXPECT_EQ(Chart()->height(), before + 10) << "dragged up";
        Drag(20);
        EXPECT_EQ(Chart()->height(), before - 10) << "dragged down";
        Drag(-10);
    }
    // On a large screen the chart takes the height it is given.
    Resize(1900, 1000);
    const int graph = app_->Frame()->View()->height();
    Drag(-300);
    EXPECT_EQ(app_->Frame()->View()->height(), graph - 300);
}

}  // namespace
}  // namespace qx::test
