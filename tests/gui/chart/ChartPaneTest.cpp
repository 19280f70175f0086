// The chart under the graph: its height dragged on the splitter and kept in
// the profile, as is the choice of lanes.
#include <gtest/gtest.h>

#include <QSplitter>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "core/host/Profile.h"
#include "gui/GuiTestSupport.h"
#include "gui/chart/ChartPane.h"
#include "gui/chart/ChartView.h"

namespace qx::test {
namespace {

struct Pane {
    std::unique_ptr<QSplitter> splitter;
    gui::ChartView* chart = nullptr;
};

// A graph stand-in and the chart in an 800 x 600 window, the chart shown as
// View > Chart shows it.
Pane ShowPane(Profile& profile) {
    TestApp();
    auto* graph = new QWidget;
    graph->setMinimumHeight(100);
    auto* chart = new gui::ChartView;
    chart->hide();
    Pane pane{std::unique_ptr<QSplitter>(gui::PlaceChartUnderGraph(graph, chart, profile)), chart};
    pane.splitter->resize(800, 600);
    pane.splitter->show();
    chart->show();
    QCoreApplication::processEvents();
    return pane;
}

TEST(ChartPane, TheChartKeepsTheHeightDraggedToAcrossRuns) {
    QTemporaryDir dir;
    Profile profile(dir.filePath(QStringLiteral("profile.ini")).toStdString());
    {
        Pane pane = ShowPane(profile);
        EXPECT_EQ(pane.chart->height(), gui::kDefaultChartHeight);
        EXPECT_TRUE(pane.chart->Lanes()) << "lanes unless the user turned them off";
        // Drag the handle 100 pixels up.
        QSplitterHandle* handle = pane.splitter->handle(1);
        const QPoint at(handle->width() / 2, handle->height() / 2);
        QTest::mousePress(handle, Qt::LeftButton, {}, at);
        QTest::mouseMove(handle, at + QPoint(0, -100));
        QTest::mouseRelease(handle, Qt::LeftButton, {}, at + QPoint(0, -100));
        const int dragged = gui::kDefaultChartHeight + 100;
        EXPECT_EQ(pane.chart->height(), dragged);
        // A larger window gives the graph the room; one too small for both leaves
        // the chart 16 pixels above its least height of 80, so that the handle
        // still moves either way; made larger again, the chart gets its height back.
        const struct { int window, chart; } sizes[] = {{900, dragged}, {380, 96}, {700, dragged}};
        for (const auto& size : sizes) {
            pane.splitter->resize(800, size.window);
            QCoreApplication::processEvents();
            EXPECT_EQ(pane.chart->height(), size.chart) << size.window;
        }
        Q_EMIT pane.chart->lanesToggled(false);
    }
    EXPECT_EQ(profile.GetInt("Settings", gui::kChartHeightKey, 0), gui::kDefaultChartHeight + 100);
    {
        Pane pane = ShowPane(profile);
        EXPECT_EQ(pane.chart->height(), gui::kDefaultChartHeight + 100);
        EXPECT_FALSE(pane.chart->Lanes());
        // Closed and opened again at the same height.
        pane.chart->hide();
        QCoreApplication::processEvents();
        pane.chart->show();
        QCoreApplication::processEvents();
        EXPECT_EQ(pane.chart->height(), gui::kDefaultChartHeight + 100);
    }
    // A height the window cannot give leaves the graph room for seven
    // monitor boxes of 42 pixels and the view's edge: 300.
    profile.WriteInt("Settings", gui::kChartHeightKey, 5000);
    {
        Pane pane = ShowPane(profile);
        EXPECT_EQ(pane.chart->height(), 600 - pane.splitter->handleWidth() - 300);
    }
}

}  // namespace
}  // namespace qx::test
