// Playback's frames in the whole program: paced as the live displays are, the
// map coverage repainting only the bands that changed, and pictures of the
// chart under the graph in a small and a large window.
#include <QSplitter>
#include <QTimer>
#include <algorithm>
#include <fstream>

#include "core/host/Profile.h"
#include "core/log/LogFormat.h"
#include "core/log/LogPlayer.h"
#include "core/monitor/RamMonitor.h"
#include "gui/GuiTestSupport.h"
#include "gui/app/AppFixture.h"
#include "gui/chart/ChartPane.h"
#include "gui/chart/ChartView.h"
#include "gui/graph/MapGraphView.h"
#include "gui/playback/EngineLogs.h"
#include "gui/resources/Resources.h"

namespace qx::gui::testing {
namespace {

class PlaybackFrames : public AppTest {
  protected:
    void SetUp() override {
        AppTest::SetUp();
        ShowMonitors(0x7F);
    }
    EngineLogs& Logs() { return *app_->Logs(); }
    // Pulls every 10 s, rows 66 ms apart, all seven values.
    QString Pulls(int rows) {
        const std::vector<int> all = {0, 1, 2, 3, 4, 5, 6};
        std::string text = LogHeader(all);
        for (int i = 0; i < rows; ++i) {
            const double phase = (i % 150) / 150.0;
            text +=
                LogRow(66 * i, all,
                       {1000 + 5500 * phase * phase, 3000 * phase, 40 + 60 * phase, 10 + 25 * phase,
                        12 + 22 * phase, LogValueOf(5, 215), std::floor(6 * phase)});
        }
        const QString path = dir_.filePath(QStringLiteral("pulls.csv"));
        std::ofstream(path.toStdString(), std::ios::binary) << text;
        return path;
    }
    // The playback timer's next wake-up, in ms; -1 when it does not run.
    int NextFrameMs() {
        for (QTimer* t : Logs().findChildren<QTimer*>())
            if (t->isActive() && t->isSingleShot()) return t->interval();
        return -1;
    }
};

// At 8x rows come every 8 ms; the frames still come at most ten a second.
TEST_F(PlaybackFrames, PlayingFastShowsAtMostTenFramesASecond) {
    Start();
    ASSERT_TRUE(Logs().OpenLog(Pulls(900)));
    Route(res::kViewChart);
    const struct {
        double speed;
        int least, most;
    } cases[] = {// Rows 66 ms apart: due every 8 ms at 8x, every 264 ms at 0.25x.
                 {8.0, 100, 100},
                 {1.0, 100, 100},
                 {0.25, 100, 250}};
    for (const auto& c : cases) {
        Logs().Player()->ToStart();
        Logs().Player()->SetSpeed(c.speed);
        if (!Logs().Player()->IsPlaying()) Route(res::kPlayPause);
        ASSERT_TRUE(Logs().Player()->IsPlaying());
        for (int frame = 0; frame < 5; ++frame) {
            const int next = NextFrameMs();
            EXPECT_GE(next, c.least) << c.speed << "x frame " << frame;
            EXPECT_LE(next, c.most) << c.speed << "x frame " << frame;
            clock_.Advance(next);
            Logs().Pump();
        }
    }
}

// With the coverage shaded, a step of playback repaints the bands of the map
// points whose shade changed, not the whole graph.
TEST_F(PlaybackFrames, TheCoverageRepaintsOnlyTheBandsThatChanged) {
    Start();
    app_->Frame()->resize(1000, 700);
    app_->Frame()->show();
    ASSERT_TRUE(Logs().OpenLog(Pulls(900)));
    Route(res::kViewCoverage);
    ASSERT_TRUE(Logs().CoverageApplies());
    Q_EMIT Logs().Chart()->seekRequested(66 * 140);  // near the top of the first pull
    Settle();
    MapGraphView* view = app_->Frame()->View();
    qx::test::PaintSpy spy;
    view->installEventFilter(&spy);
    // One row on: the engine is at the same point, whose share grows, the
    // others' shrink; a band a point is at most a tenth of the plot.
    Route(res::kLogStepForward);
    Settle();
    ASSERT_FALSE(spy.rects.empty()) << "the shading changed";
    for (const QRect& r : spy.rects) EXPECT_NE(r, view->rect()) << "the whole graph was repainted";
    // Stepping back and forth over rows at the same point: the busiest band
    // stays the brightest, so a long stay changes ever fewer bands.
    spy.rects.clear();
    for (int i = 0; i < 3; ++i) Route(res::kLogStepForward);
    Settle();
    int area = 0;
    for (const QRect& r : spy.rects) area += r.width() * r.height();
    EXPECT_LT(area, view->width() * view->height() / 2);
    view->removeEventFilter(&spy);
}

// Pictures for a person: the window in playback with the chart and the map
// coverage, at 800 x 600 and at 1920 x 1080, and the chart of a few seconds of
// live monitoring.
TEST_F(PlaybackFrames, PicturesOfTheChartInASmallAndALargeWindow) {
    Start();
    ASSERT_TRUE(Logs().OpenLog(Pulls(900)));
    Route(res::kViewChart);
    Route(res::kViewCoverage);
    Q_EMIT Logs().Chart()->seekRequested(66 * 400);
    ChartView* chart = Logs().Chart();
    EXPECT_EQ(chart->CursorMs(), 66 * 400);
    EXPECT_TRUE(Logs().CoverageData().Used(2));
    app_->Frame()->show();
    for (const QSize size : {QSize(800, 600), QSize(1920, 1080)}) {
        app_->Frame()->resize(size);
        Settle();
        // At its first height where the window has room; else what the graph
        // leaves when it keeps its labels legible.
        if (size.height() == 1080) {
            EXPECT_EQ(chart->height(), kDefaultChartHeight);
        } else {
            EXPECT_GE(chart->height(), chart->minimumHeight());
        }
        // Seven values: two lines of legend in the small window, one in the large.
        EXPECT_EQ(chart->QuantityMask(), 0x7F);
        if (size.width() == 800) {
            EXPECT_GE(chart->LegendLineCount(), 2);
        } else {
            EXPECT_EQ(chart->LegendLineCount(), 1);
        }
        EXPECT_GT(
            qx::test::PixelsOf(chart->grab().toImage(), chart->PlotRect(), ChartView::ColorOf(0)),
            100)
            << "engine speed drawn";
        const QString name =
            QStringLiteral("chart-playback-%1x%2").arg(size.width()).arg(size.height());
        qx::test::SavePicture(app_->Frame()->grab().toImage(), name + QStringLiteral(".png"));
        chart->SetLanes(false);
        qx::test::SavePicture(app_->Frame()->grab().toImage(),
                              name + QStringLiteral("-overlaid.png"));
        chart->SetLanes(true);
    }
    Route(res::kCloseLog);
    LinkEmulatedModule();
    app_->Frame()->resize(800, 600);
    Monitor(120);
    Settle();
    ASSERT_TRUE(chart->IsLive());
    // Eight seconds of 30: the newest row at the right, the left empty.
    EXPECT_EQ(chart->XOf(chart->Log()->EndMs()), chart->PlotRect().right());
    EXPECT_GT(chart->XOf(chart->Log()->StartMs()), chart->PlotRect().center().x());
    qx::test::SavePicture(app_->Frame()->grab().toImage(),
                          QStringLiteral("chart-live-800x600.png"));
}

}  // namespace
}  // namespace qx::gui::testing
