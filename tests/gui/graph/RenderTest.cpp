#include <QDir>
#include <QImage>
#include <QPaintEvent>
#include <algorithm>

#include "GraphTestSupport.h"

namespace qx::test {
namespace {

// Records the rectangles the value display is asked to paint.
class PaintRects : public QObject {
  public:
    std::vector<QRect> rects;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) rects.push_back(static_cast<QPaintEvent*>(e)->rect());
        return false;
    }
};

QString OutputDir() {
    const QByteArray build = qgetenv("QX_BUILD_DIR");
    QDir dir(build.isEmpty() ? QDir::currentPath() : QString::fromLocal8Bit(build));
    dir.mkpath(QStringLiteral("graph-renders"));
    return dir.filePath(QStringLiteral("graph-renders"));
}

class GraphRender : public GraphTest {
  protected:
    QImage Shot() { return view->grab().toImage(); }
};

TEST_F(GraphRender, EachMapRendersToAPicture) {
    const QString dir = OutputDir();
    for (int index = 0; index < kMapCount; ++index) {
        ShowMap(index);
        QCoreApplication::processEvents();
        // A recognisable curve: a rising ramp.
        for (int i = 0; i < Map().PointCount(); ++i) {
            Marker(i).SetPointValue(Map().ValueMax().y * i / (Map().PointCount() - 1));
        }
        QCoreApplication::processEvents();
        const QImage shot = Shot();
        ASSERT_EQ(shot.size(), QSize(800, 600));
        const QString file = dir + QStringLiteral("/graph-map%1.png").arg(index);
        ASSERT_TRUE(shot.save(file)) << file.toStdString();
        // The frame is the background colour, the caption band the caption colour.
        EXPECT_EQ(shot.pixel(60, 200), gui::ToQColor(view->BackgroundColor()).rgb());
        EXPECT_EQ(shot.pixel(600, 40), view->palette().color(gui::kCaptionRole).rgb());
        EXPECT_EQ(shot.pixel(10, 300), view->palette().color(gui::kWorkspaceRole).rgb());
        // The first grid line is solid green along the plot's left edge.
        EXPECT_EQ(shot.pixel(view->PlotLeft(), 300), gui::ToQColor(view->GridColor()).rgb());
        // The curve passes through the middle of the first segment.
        const auto& p0 = Map().Point(0);
        const auto& p1 = Map().Point(1);
        const int mx = (view->XToPixel(p0.x) + view->XToPixel(p1.x)) / 2;
        bool curve = false;
        for (int y = view->PlotTop(); y <= view->PlotTop() + view->PlotHeight(); ++y) {
            curve = curve || shot.pixelColor(mx, y) == gui::ToQColor(view->MapLineColor());
        }
        EXPECT_TRUE(curve) << "map " << index;
    }
}

TEST_F(GraphRender, LiveBarAndValueDisplayShowOnTheGraph) {
    LinkEmulator();
    RamMonitor& monitor = RamMonitor::Instance();
    ASSERT_TRUE(monitor.Start());
    ASSERT_TRUE(monitor.UpdateRamImage(nullptr));
    ASSERT_TRUE(monitor.IsRunning());
    for (int i = 0; i < Map().PointCount(); ++i) Marker(i).SetPointValue(10 + i);
    view->UpdateLiveXBar(true);
    view->SelectMarkerByIndex(6);
    QTest::keyClick(view.get(), Qt::Key_Space);
    QCoreApplication::processEvents();
    const QImage shot = Shot();
    ASSERT_TRUE(shot.save(OutputDir() + QStringLiteral("/graph-map0-live-bar-and-value.png")));
    const int px = view->XToPixel(Map().LiveX());
    EXPECT_EQ(shot.pixelColor(px, view->PlotTop() + 10), QColor(255, 0, 0));
    EXPECT_TRUE(view->ValueDisplay()->isVisible());
    EXPECT_EQ(view->ValueDisplay()->XText(), QStringLiteral("Engine Speed: 3300 rpm"));
    EXPECT_EQ(view->ValueDisplay()->YText(), QStringLiteral("Advance: 16.0 deg"));
    ASSERT_TRUE(monitor.Stop());
    EXPECT_FALSE(monitor.IsRunning() || monitor.IsSuspended());
    view->UpdateLiveXBar(true);
    QCoreApplication::processEvents();
    EXPECT_NE(Shot().pixelColor(px, view->PlotTop() + 10), QColor(255, 0, 0));
}

TEST_F(GraphRender, ValueDisplayPlacementAndLimitedRepaint) {
    gui::MapPointValueDisplay& display = *view->ValueDisplay();
    // Hidden: SetText changes nothing.
    display.SetText(2200, 12);
    EXPECT_TRUE(display.XText().isEmpty());
    display.Show();
    display.SetText(2200, 12);
    EXPECT_EQ(display.XText(), QStringLiteral("Engine Speed: 2200 rpm"));
    EXPECT_EQ(display.YText(), QStringLiteral("Advance: 12.0 deg"));
    const int px = view->XToPixel(2200);
    const int py = view->YToPixel(12);
    EXPECT_EQ(display.geometry().left(), px + 14);
    EXPECT_EQ(display.geometry().top(), py - 18);
    EXPECT_EQ(display.height(), 40);

    PaintRects paints;
    display.installEventFilter(&paints);
    display.SetText(2200, 12);  // the same again: nothing repainted
    EXPECT_TRUE(paints.rects.empty());
    display.SetText(2200, 13);  // only y changed: the lower line is redrawn at once
    EXPECT_NE(std::find(paints.rects.begin(), paints.rects.end(), display.LowerLineArea()),
              paints.rects.end());
    paints.rects.clear();
    display.SetText(2750, 13);  // a new column: the whole box
    EXPECT_EQ(std::find(paints.rects.begin(), paints.rects.end(), display.LowerLineArea()),
              paints.rects.end());
    EXPECT_EQ(display.geometry().top(), view->YToPixel(13) - 18);
    display.removeEventFilter(&paints);

    // Near the right edge the box flips to the left of the point.
    display.SetText(8250, 12);
    EXPECT_EQ(display.geometry().right() + 1, view->XToPixel(8250) - 14);

    // On the base dwell map x is whole, y has one decimal.
    ShowMap(4);
    display.Show();
    display.SetText(Map().Point(1).x, 2.5);
    EXPECT_EQ(display.XText(), QStringLiteral("Voltage: 1 volts"));
    EXPECT_EQ(display.YText(), QStringLiteral("Dwell: 2.5 msec"));

    // A click on the box hides it.
    QTest::mouseClick(&display, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_FALSE(display.IsShown());
    EXPECT_FALSE(display.isVisible());
}

TEST_F(GraphRender, OnUpdateIgnoresOtherHintsAndRebindsOnAMap) {
    Marker(3).SetPointValue(7);
    view->SelectMarkerByIndex(3);
    view->OnUpdate(nullptr);
    EXPECT_EQ(view->CurrentMap(), document.Map(0));
    EXPECT_EQ(view->SelectedIndex(), 3);
    view->OnUpdate(document.Map(2));
    EXPECT_EQ(view->CurrentMap(), document.Map(2));
    EXPECT_EQ(view->SelectedIndex(), 0);
    EXPECT_EQ(Marker(3).Point(), &document.Map(2)->Point(3));
    EXPECT_EQ(Marker(3).WindowRect(), Marker(3).PointRect());
}

TEST_F(GraphRender, NewDocumentRebindsTheMarkers) {
    ASSERT_EQ(document.OnNewDocument(), DocStatus::Done);
    view->OnInitialUpdate();
    EXPECT_EQ(Marker(5).Point(), &document.GetCurrentMap()->Point(5));
    QCoreApplication::processEvents();
    EXPECT_EQ(Shot().size(), QSize(800, 600));
}

}  // namespace
}  // namespace qx::test
