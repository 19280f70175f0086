#include <QImage>

#include "GraphTestSupport.h"
#include "graph/MapPointValueDisplay.h"

namespace qx::test {
namespace {

using gui::MapPointMarker;

// At 800 x 600 the plot is 387 pixels high: on the 0 to 45 deg spark advance
// map 43 pixels are 5 deg.
constexpr int kFiveDegrees = 43;

class MarkerDrag : public GraphTest {};

TEST_F(MarkerDrag, LeftDragUpMovesTheValueByTheDraggedDistance) {
    Drag(4, -kFiveDegrees);
    EXPECT_DOUBLE_EQ(Value(4), 5.0);
    EXPECT_TRUE(document.IsModified());
    EXPECT_EQ(view->SelectedIndex(), 4);
    EXPECT_EQ(Marker(4).WindowRect(), Marker(4).PointRect());
    EXPECT_EQ(Marker(4).WindowRect().top, view->YToPixel(5.0) - 5);
    EXPECT_TRUE(Marker(4).IsDrawn());
    EXPECT_FALSE(view->RubberBandActive());
    EXPECT_EQ(Marker(4).State(), MapPointMarker::kIdle);
    // The edit is relative: a second drag adds to the value.
    Drag(4, -kFiveDegrees);
    EXPECT_DOUBLE_EQ(Value(4), 10.0);
    Drag(4, kFiveDegrees);
    EXPECT_DOUBLE_EQ(Value(4), 5.0);
}

TEST_F(MarkerDrag, ClickWithoutMovementChangesNothing) {
    Drag(3, 0);
    EXPECT_DOUBLE_EQ(Value(3), 0.0);
    EXPECT_FALSE(document.IsModified());
    EXPECT_EQ(view->SelectedIndex(), 3);
    EXPECT_TRUE(Marker(3).IsDrawn());
}

TEST_F(MarkerDrag, DragPastTheLimitsClampsToTheRange) {
    Drag(2, -2000);
    EXPECT_DOUBLE_EQ(Value(2), 45.0);
    Drag(2, 2000);
    EXPECT_DOUBLE_EQ(Value(2), 0.0);
    // The other points are untouched.
    EXPECT_DOUBLE_EQ(Value(1), 0.0);
    EXPECT_DOUBLE_EQ(Value(3), 0.0);
}

TEST_F(MarkerDrag, RubberBandFollowsTheCursorInsideTheMarkersColumn) {
    MapPointMarker& m = Marker(5);
    QTest::mousePress(&m, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_FALSE(m.IsDrawn());
    QTest::mouseMove(&m, QPoint(400, -1000));
    ASSERT_TRUE(view->RubberBandActive());
    // Clamped to the marker's column and to 5 pixels above the plot.
    EXPECT_EQ(view->RubberBandPoint().y, view->PlotTop() - 5);
    EXPECT_EQ(view->RubberBandPoint().x, m.Centre().x);
    QTest::mouseRelease(&m, Qt::LeftButton, {}, QPoint(400, -1000));
    EXPECT_DOUBLE_EQ(Value(5), 45.0);
    EXPECT_FALSE(view->RubberBandActive());
}

TEST_F(MarkerDrag, RightDragShowsTheValueAndReleasingHidesIt) {
    MapPointMarker& m = Marker(4);
    gui::MapPointValueDisplay& display = *view->ValueDisplay();
    QTest::mousePress(&m, Qt::RightButton, {}, QPoint(5, 5));
    EXPECT_TRUE(display.IsShown());
    QTest::mouseMove(&m, QPoint(5, 5 - kFiveDegrees));
    EXPECT_EQ(display.YText(), QStringLiteral("Advance: 5.0 deg"));
    EXPECT_EQ(display.XText(), QStringLiteral("Engine Speed: 2200 rpm"));
    QTest::mouseRelease(&m, Qt::RightButton, {}, QPoint(5, 5 - kFiveDegrees));
    EXPECT_FALSE(display.IsShown());
    EXPECT_DOUBLE_EQ(Value(4), 5.0);
}

TEST_F(MarkerDrag, BothButtonsEndOnlyWhenTheLastIsReleased) {
    MapPointMarker& m = Marker(6);
    gui::MapPointValueDisplay& display = *view->ValueDisplay();
    QTest::mousePress(&m, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_FALSE(display.IsShown());  // a left drag does not show it
    QTest::mousePress(&m, Qt::RightButton, {}, QPoint(5, 5));
    EXPECT_EQ(m.State(), MapPointMarker::kBothButtons);
    EXPECT_TRUE(display.IsShown());
    QTest::mouseMove(&m, QPoint(5, 5 - kFiveDegrees));
    // Releasing the right button first leaves a left drag, display hidden.
    QTest::mouseRelease(&m, Qt::RightButton, {}, QPoint(5, 5 - kFiveDegrees));
    EXPECT_EQ(m.State(), MapPointMarker::kLeftDrag);
    EXPECT_FALSE(display.IsShown());
    EXPECT_DOUBLE_EQ(Value(6), 0.0);
    QTest::mouseRelease(&m, Qt::LeftButton, {}, QPoint(5, 5 - kFiveDegrees));
    EXPECT_EQ(m.State(), MapPointMarker::kIdle);
    EXPECT_DOUBLE_EQ(Value(6), 5.0);

    // Started with the right button, released left first: the drag goes on.
    QTest::mousePress(&m, Qt::RightButton, {}, QPoint(5, 5));
    QTest::mousePress(&m, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseMove(&m, QPoint(5, 5 - kFiveDegrees));
    QTest::mouseRelease(&m, Qt::LeftButton, {}, QPoint(5, 5 - kFiveDegrees));
    EXPECT_EQ(m.State(), MapPointMarker::kRightDrag);
    EXPECT_DOUBLE_EQ(Value(6), 5.0);
    QTest::mouseRelease(&m, Qt::RightButton, {}, QPoint(5, 5 - kFiveDegrees));
    EXPECT_DOUBLE_EQ(Value(6), 10.0);
}

TEST_F(MarkerDrag, TinyViewIgnoresDrags) {
    view->resize(60, 30);
    QCoreApplication::processEvents();
    ASSERT_LE(view->PlotHeight(), 0);
    MapPointMarker& m = Marker(1);
    QTest::mousePress(&m, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseMove(&m, QPoint(5, -30));
    QTest::mouseRelease(&m, Qt::LeftButton, {}, QPoint(5, -30));
    EXPECT_EQ(m.State(), MapPointMarker::kIdle);
    EXPECT_DOUBLE_EQ(Value(1), 0.0);
    EXPECT_FALSE(document.IsModified());
}

class LinkedMarkerDrag : public GraphTest {};

TEST_F(LinkedMarkerDrag, MirroredMapFollowsOnlyWithTheMirrorSettingOn) {
    LinkEmulator();
    SetMirrorSetting(true);
    Drag(4, -kFiveDegrees);
    EXPECT_DOUBLE_EQ(Value(4), 5.0);
    EXPECT_DOUBLE_EQ(document.Map(1)->Point(4).value->GetValue(), 5.0);
    EXPECT_EQ(emulator->Core().Peek(0xB604), 5);
    EXPECT_EQ(emulator->Core().Peek(0xB614), 5);
    EXPECT_TRUE(Map().Point(4).value->InSync());

    SetMirrorSetting(false);
    Drag(4, -kFiveDegrees);
    EXPECT_DOUBLE_EQ(Value(4), 10.0);
    EXPECT_DOUBLE_EQ(document.Map(1)->Point(4).value->GetValue(), 5.0);
    EXPECT_EQ(emulator->Core().Peek(0xB604), 10);
    EXPECT_EQ(emulator->Core().Peek(0xB614), 5);
}

TEST_F(LinkedMarkerDrag, PartnersFailedWriteStillKeepsTheFirstChange) {
    LinkScripted();
    SetMirrorSetting(true);
    scripted->AlwaysAnswer(WriteFrame(0xB604, 5), {wire::ACK});
    // The rear map's byte is never acknowledged.
    Drag(4, -kFiveDegrees);
    EXPECT_DOUBLE_EQ(Value(4), 5.0);
    EXPECT_TRUE(document.IsModified());
    EXPECT_EQ(Marker(4).WindowRect().top, view->YToPixel(5.0) - 5);
    EXPECT_GE(scripted->CountOf(WriteFrame(0xB604, 5)), 1u);
    EXPECT_GE(scripted->CountOf(WriteFrame(0xB614, 5)), 1u);
    EXPECT_FALSE(host->Messages().empty());  // the partner's failure tells the user
}

TEST_F(LinkedMarkerDrag, DragEndingWhileTheMonitorReadsAppliesAfterTheRead) {
    LinkEmulator();
    RamMonitor& monitor = RamMonitor::Instance();
    ASSERT_TRUE(monitor.Start());
    MapPointMarker& m = Marker(4);
    QTest::mousePress(&m, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseMove(&m, QPoint(5, 5 - kFiveDegrees));
    bool readingAtRelease = false;
    host->QueueEvent([&] {
        readingAtRelease = monitor.IsReading();
        QTest::mouseRelease(&m, Qt::LeftButton, {}, QPoint(5, 5 - kFiveDegrees));
    });
    ASSERT_TRUE(monitor.UpdateRamImage(nullptr));
    ASSERT_TRUE(readingAtRelease);
    EXPECT_DOUBLE_EQ(Value(4), 0.0);
    EXPECT_TRUE(m.HasPendingChange());
    EXPECT_FALSE(m.IsDrawn());
    QCoreApplication::sendPostedEvents();
    EXPECT_DOUBLE_EQ(Value(4), 5.0);
    EXPECT_FALSE(m.HasPendingChange());
    EXPECT_TRUE(m.IsDrawn());
    EXPECT_EQ(emulator->Core().Peek(0xB604), 5);
}

TEST_F(LinkedMarkerDrag, DragEndingDuringACommandWaitsForItsEnd) {
    LinkEmulator();
    MapPointMarker& m = Marker(7);
    {
        CommandBusyScope busy(false);
        Drag(7, -kFiveDegrees);
        EXPECT_DOUBLE_EQ(Value(7), 0.0);
        EXPECT_TRUE(m.HasPendingChange());
        // Nothing is reposted while the command runs: no busy loop.
        EXPECT_EQ(host->RunPosted(), 0u);
        EXPECT_DOUBLE_EQ(Value(7), 0.0);
    }
    host->RunPosted();
    EXPECT_DOUBLE_EQ(Value(7), 5.0);
    EXPECT_FALSE(m.HasPendingChange());
    EXPECT_EQ(emulator->Core().Peek(0xB607), 5);
}

TEST_F(LinkedMarkerDrag, MarkerColourFollowsInSync) {
    auto colourAt = [this](int i) {
        const QImage shot = view->grab().toImage();
        const QPoint c = Marker(i).geometry().topLeft() + QPoint(1, 1);
        return shot.pixelColor(c);
    };
    const QColor notInSync = gui::ToQColor(view->NotInSyncColor());
    const QColor inSync = gui::ToQColor(view->InSyncColor());
    EXPECT_EQ(colourAt(8), notInSync);
    // Edited while the link is down: still not in sync.
    Drag(8, -kFiveDegrees);
    EXPECT_EQ(colourAt(8), notInSync);
    LinkEmulator();
    Drag(8, -kFiveDegrees);
    EXPECT_TRUE(Map().Point(8).value->InSync());
    EXPECT_EQ(colourAt(8), inSync);
    // The selected marker carries an inner square in the complement colour.
    const QImage shot = view->grab().toImage();
    const QPoint inner = Marker(8).geometry().topLeft() + QPoint(4, 4);
    EXPECT_EQ(shot.pixelColor(inner), gui::ToQColor(gui::Complement(view->InSyncColor())));
}

}  // namespace
}  // namespace qx::test
