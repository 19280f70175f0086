#include <QImage>
#include <algorithm>

#include "GraphTestSupport.h"

namespace qx::test {
namespace {

class GraphRender : public GraphTest {
  protected:
    QImage Shot() { return view->grab().toImage(); }
};

TEST_F(GraphRender, EachMapRendersToAPicture) {
    for (int index = 0; index < kMapCount; ++index) {
        SCOPED_TRACE(index);
        ShowMap(index);
        const int n = Map().PointCount();
        for (int i = 0; i < n; ++i) Marker(i).SetPointValue(Map().ValueMax().y * i / (n - 1));
        QCoreApplication::processEvents();
        const QImage shot = Shot();
        ASSERT_EQ(shot.size(), QSize(800, 600));
        SavePicture(shot, QStringLiteral("graph-map%1.png").arg(index));
        EXPECT_EQ(shot.pixel(60, 200), gui::ToQColor(view->BackgroundColor()).rgb());
        EXPECT_EQ(shot.pixel(600, 40), view->palette().color(gui::kCaptionRole).rgb());
        EXPECT_EQ(shot.pixel(10, 300), view->palette().color(gui::kWorkspaceRole).rgb());
        EXPECT_EQ(shot.pixel(view->PlotLeft(), 300), gui::ToQColor(view->GridColor()).rgb());
        // The curve passes through the middle of the first segment.
        const int mx = (view->XToPixel(Map().Point(0).x) + view->XToPixel(Map().Point(1).x)) / 2;
        bool curve = false;
        for (int y = view->PlotTop(); y <= view->PlotTop() + view->PlotHeight(); ++y) {
            curve = curve || shot.pixelColor(mx, y) == gui::ToQColor(view->MapLineColor());
        }
        EXPECT_TRUE(curve);
    }
}

TEST_F(GraphRender, LiveBarAndValueDisplayShowOnTheGraph) {
    LinkEmulator();
    RamMonitor& monitor = RamMonitor::Instance();
    ASSERT_TRUE(monitor.Start());
    ASSERT_TRUE(monitor.UpdateRamImage(nullptr));
    for (int i = 0; i < Map().PointCount(); ++i) Marker(i).SetPointValue(10 + i);
    view->UpdateLiveXBar(true);
    view->SelectMarkerByIndex(6);
    Key(Qt::Key_Space);
    QCoreApplication::processEvents();
    const QImage shot = Shot();
    SavePicture(shot, QStringLiteral("graph-map0-live-bar-and-value.png"));
    const QPoint bar(view->XToPixel(Map().LiveX()), view->PlotTop() + 10);
    EXPECT_EQ(shot.pixelColor(bar), QColor(255, 0, 0));
    EXPECT_TRUE(view->ValueDisplay()->isVisible());
    EXPECT_EQ(view->ValueDisplay()->YText(), QStringLiteral("Advance: 16.0 deg"));
    ASSERT_TRUE(monitor.Stop());
    view->UpdateLiveXBar(true);
    QCoreApplication::processEvents();
    EXPECT_NE(Shot().pixelColor(bar), QColor(255, 0, 0));
}

TEST_F(GraphRender, ValueDisplayPlacementAndLimitedRepaint) {
    gui::MapPointValueDisplay& display = *view->ValueDisplay();
    display.Show();
    display.SetText(2200, 12);
    EXPECT_EQ(display.XText(), QStringLiteral("Engine Speed: 2200 rpm"));
    EXPECT_EQ(display.YText(), QStringLiteral("Advance: 12.0 deg"));
    EXPECT_EQ(display.geometry().topLeft(),
              QPoint(view->XToPixel(2200) + 14, view->YToPixel(12) - 18));
    EXPECT_EQ(display.height(), 40);

    PaintSpy paints;
    display.installEventFilter(&paints);
    auto lowerLinePainted = [&] {
        return std::count(paints.rects.begin(), paints.rects.end(), display.LowerLineArea()) > 0;
    };
    display.SetText(2200, 12);  // the same again: nothing repainted
    EXPECT_TRUE(paints.rects.empty());
    display.SetText(2200, 13);  // only y changed: the lower line is redrawn at once
    EXPECT_TRUE(lowerLinePainted());
    paints.rects.clear();
    display.SetText(2750, 13);  // a new column: the whole box
    EXPECT_FALSE(lowerLinePainted());
    display.removeEventFilter(&paints);

    display.SetText(8250, 12);  // flips to the left of the point near the right edge
    EXPECT_EQ(display.geometry().right() + 1, view->XToPixel(8250) - 14);
}

}  // namespace
}  // namespace qx::test
