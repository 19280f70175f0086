#include <QImage>
#include <QRandomGenerator>
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

// A paint of part of the graph (the live bar's strips, say) leaves out what
// lies outside it: it must still draw every pixel inside it as a whole paint does.
TEST_F(GraphRender, PartsPaintedAloneMatchTheWhole) {
    QRandomGenerator random(23);
    for (int index = 0; index < kMapCount; ++index) {
        SCOPED_TRACE(index);
        ShowMap(index);
        QCoreApplication::processEvents();
        QImage whole(view->size(), QImage::Format_ARGB32_Premultiplied);
        whole.fill(Qt::magenta);
        view->render(&whole);
        std::vector<QRect> parts;
        const graph::GraphSize s = view->Size();
        for (int i = 0; i < Map().GridLines().x; ++i) {
            const int x = view->XToPixel(Map().GetGridX(i));
            for (int dx : {-4, -1, 0, 1, 4}) {
                const graph::PixelRect strip = graph::LiveBarStrip(s, x + dx);
                parts.push_back(QRect(strip.left, strip.top, strip.Width(), strip.Height()));
            }
        }
        for (int i = 0; i < Map().GridLines().y; ++i) {
            const int y = view->YToPixel(Map().GetGridY(i));
            parts.push_back(QRect(view->PlotLeft() - 14 + i % 5, y - 3, 20, 7));
            parts.push_back(QRect(0, y - 1, view->width(), 3));
        }
        // Thin bands through the tick labels and titles below and left of the plot.
        for (int y = view->PlotTop() + view->PlotHeight() - 2; y < view->height(); y += 4)
            parts.push_back(QRect(0, y, view->width(), 5));
        for (int x = 0; x < view->PlotLeft() + 2; x += 4)
            parts.push_back(QRect(x, 0, 5, view->height()));
        for (int n = 0; n < 40; ++n) {
            const int x = random.bounded(view->width() - 1);
            const int y = random.bounded(view->height() - 1);
            parts.push_back(QRect(x, y, 1 + random.bounded(view->width() - x),
                                  1 + random.bounded(std::min(60, view->height() - y))));
        }
        for (const QRect& part : parts) {
            SCOPED_TRACE(testing::PrintToString(
                std::make_tuple(part.x(), part.y(), part.width(), part.height())));
            QImage alone(view->size(), QImage::Format_ARGB32_Premultiplied);
            alone.fill(Qt::magenta);
            view->render(&alone, part.topLeft(), QRegion(part));
            int differing = 0;
            const QRect inside = part.intersected(alone.rect());
            for (int y = inside.top(); y <= inside.bottom(); ++y)
                for (int x = inside.left(); x <= inside.right(); ++x)
                    differing += alone.pixel(x, y) != whole.pixel(x, y);
            ASSERT_EQ(differing, 0);
        }
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
