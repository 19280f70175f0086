#include <QImage>

#include "GraphTestSupport.h"

namespace qx::test {
namespace {

using gui::MapPointMarker;

// At 800 x 600 the plot is 387 pixels high: on the 0 to 45 deg spark advance
// map 43 pixels are 5 deg.
constexpr int kFiveDegrees = 43;
const QPoint kAt(5, 5);
const QPoint kUp(5, 5 - kFiveDegrees);

class MarkerDrag : public GraphTest {
  protected:
    void ExpectAt(int i, double value) {
        EXPECT_DOUBLE_EQ(Value(i), value);
        EXPECT_EQ(Marker(i).WindowRect().top, view->YToPixel(value) - 5);
    }
};

TEST_F(MarkerDrag, LeftDragMovesByTheDistanceAndClampsAtTheLimits) {
    Drag(3, 0);  // a click without movement
    EXPECT_FALSE(document.IsModified());
    EXPECT_EQ(view->SelectedIndex(), 3);
    Drag(4, -kFiveDegrees);
    ExpectAt(4, 5.0);
    EXPECT_TRUE(document.IsModified());
    EXPECT_EQ(view->SelectedIndex(), 4);
    EXPECT_TRUE(Marker(4).IsDrawn());
    EXPECT_FALSE(view->RubberBandActive());
    Drag(4, -kFiveDegrees);  // relative to the current value
    ExpectAt(4, 10.0);
    Drag(2, 2000);
    EXPECT_DOUBLE_EQ(Value(2), 0.0);
    // The rubber band stays in the marker's column, 5 pixels above the plot.
    MapPointMarker& m = Marker(2);
    QTest::mousePress(&m, Qt::LeftButton, {}, kAt);
    EXPECT_FALSE(m.IsDrawn());
    QTest::mouseMove(&m, QPoint(400, -1000));
    ASSERT_TRUE(view->RubberBandActive());
    EXPECT_EQ(view->RubberBandPoint().y, view->PlotTop() - 5);
    EXPECT_EQ(view->RubberBandPoint().x, m.Centre().x);
    QTest::mouseRelease(&m, Qt::LeftButton, {}, QPoint(400, -1000));
    ExpectAt(2, 45.0);
    EXPECT_DOUBLE_EQ(Value(3), 0.0);
    EXPECT_DOUBLE_EQ(Value(1), 0.0);
}

TEST_F(MarkerDrag, RightAndBothButtons) {
    MapPointMarker& m = Marker(6);
    gui::MapPointValueDisplay& display = *view->ValueDisplay();
    // A step: press (+1), move up 5 deg (0) or release (-1) of a button; then
    // the state, whether the value display shows, and the value.
    const struct {
        int act;
        Qt::MouseButton button;
        int state;
        bool shown;
        double value;
    } steps[] = {
        {+1, Qt::RightButton, MapPointMarker::kRightDrag, true, 0},
        {0, Qt::RightButton, MapPointMarker::kRightDrag, true, 0},
        {-1, Qt::RightButton, MapPointMarker::kIdle, false, 5},
        {+1, Qt::LeftButton, MapPointMarker::kLeftDrag, false, 5},
        {+1, Qt::RightButton, MapPointMarker::kBothButtons, true, 5},
        {0, Qt::LeftButton, MapPointMarker::kBothButtons, true, 5},
        {-1, Qt::RightButton, MapPointMarker::kLeftDrag, false, 5},
        {-1, Qt::LeftButton, MapPointMarker::kIdle, false, 10},
        {+1, Qt::RightButton, MapPointMarker::kRightDrag, true, 10},
        {+1, Qt::LeftButton, MapPointMarker::kBothButtons, true, 10},
        {0, Qt::LeftButton, MapPointMarker::kBothButtons, true, 10},
        {-1, Qt::LeftButton, MapPointMarker::kRightDrag, true, 10},
        {-1, Qt::RightButton, MapPointMarker::kIdle, false, 15},
    };
    for (std::size_t i = 0; i < std::size(steps); ++i) {
        const auto& s = steps[i];
        SCOPED_TRACE(i);
        if (s.act > 0) QTest::mousePress(&m, s.button, {}, kAt);
        if (s.act == 0) QTest::mouseMove(&m, kUp);
        if (s.act < 0) QTest::mouseRelease(&m, s.button, {}, kUp);
        EXPECT_EQ(m.State(), s.state);
        EXPECT_EQ(display.IsShown(), s.shown);
        EXPECT_DOUBLE_EQ(Value(6), s.value);
        if (i == 1) {
            EXPECT_EQ(display.YText(), QStringLiteral("Advance: 5.0 deg"));
        }
    }
}

TEST_F(MarkerDrag, TinyViewIgnoresDrags) {
    view->resize(60, 30);
    QCoreApplication::processEvents();
    ASSERT_LE(view->PlotHeight(), 0);
    Drag(1, -35);
    EXPECT_EQ(Marker(1).State(), MapPointMarker::kIdle);
    EXPECT_FALSE(document.IsModified());
}

TEST_F(MarkerDrag, MirroredMapFollowsOnlyWithTheMirrorSettingOn) {
    LinkEmulator();
    SetMirrorSetting(true);
    Drag(4, -kFiveDegrees);
    EXPECT_DOUBLE_EQ(document.Map(1)->Point(4).value->GetValue(), 5.0);
    EXPECT_EQ(emulator->Core().Peek(0xB604), 5);
    EXPECT_EQ(emulator->Core().Peek(0xB614), 5);
    EXPECT_TRUE(Map().Point(4).value->InSync());
    SetMirrorSetting(false);
    Drag(4, -kFiveDegrees);
    EXPECT_DOUBLE_EQ(document.Map(1)->Point(4).value->GetValue(), 5.0);
    EXPECT_EQ(emulator->Core().Peek(0xB604), 10);
    EXPECT_EQ(emulator->Core().Peek(0xB614), 5);
}

TEST_F(MarkerDrag, PartnersFailedWriteStillKeepsTheFirstChange) {
    LinkScripted();
    SetMirrorSetting(true);
    scripted->AlwaysAnswer(WriteFrame(0xB604, 5), {wire::ACK});
    Drag(4, -kFiveDegrees);  // the rear map's byte is never acknowledged
    ExpectAt(4, 5.0);
    EXPECT_TRUE(document.IsModified());
    EXPECT_GE(scripted->CountOf(WriteFrame(0xB614, 5)), 1u);
    EXPECT_FALSE(host->Messages().empty());
}

TEST_F(MarkerDrag, DragEndingWhileTheMonitorReadsOrACommandRunsAppliesLater) {
    LinkEmulator();
    MapPointMarker& m = Marker(4);
    QTest::mousePress(&m, Qt::LeftButton, {}, kAt);
    QTest::mouseMove(&m, kUp);
    DuringMonitorRead([&] { QTest::mouseRelease(&m, Qt::LeftButton, {}, kUp); });
    EXPECT_DOUBLE_EQ(Value(4), 0.0);
    EXPECT_TRUE(view->HasPendingChange(m.Index()));
    EXPECT_FALSE(m.IsDrawn());
    QCoreApplication::sendPostedEvents();
    EXPECT_FALSE(view->HasPendingChange(m.Index()));
    EXPECT_TRUE(m.IsDrawn());
    EXPECT_EQ(emulator->Core().Peek(0xB604), 5);
    ASSERT_TRUE(RamMonitor::Instance().Stop());

    {
        CommandBusyScope busy(false);
        Drag(7, -kFiveDegrees);
        EXPECT_TRUE(view->HasPendingChange(7));
        EXPECT_EQ(host->RunPosted(), 0u);  // nothing reposted while it runs: no busy loop
        EXPECT_DOUBLE_EQ(Value(7), 0.0);
    }
    host->RunPosted();
    EXPECT_FALSE(view->HasPendingChange(7));
    EXPECT_EQ(emulator->Core().Peek(0xB607), 5);
}

// A held-back change belongs to the point it was dragged on, in value units:
// switching maps meanwhile does not move it to another map's point (which is
// drawn where it is, with no band where the drag ended), and a document
// replaced meanwhile drops it.
TEST_F(MarkerDrag, HeldBackDragStaysOnItsPointOrIsDroppedWithItsDocument) {
    LinkEmulator();
    const double otherBefore = document.Map(2)->Point(4).value->GetValue();
    const auto byteBefore = emulator->Core().Peek(0xB624);
    {
        CommandBusyScope busy(false);
        Drag(4, -kFiveDegrees);
        ASSERT_TRUE(view->HasPendingChange(4));
        ASSERT_TRUE(view->RubberBandActive());
        Key(Qt::Key_PageDown);
        Key(Qt::Key_PageDown);
        ASSERT_EQ(view->CurrentMap(), document.Map(2));
        EXPECT_TRUE(view->HasPendingChange(4));
        EXPECT_FALSE(view->RubberBandActive());
        EXPECT_TRUE(Marker(4).IsDrawn());
        EXPECT_EQ(Marker(4).WindowRect().top, view->YToPixel(otherBefore) - 5);
    }
    host->RunPosted();
    EXPECT_FALSE(view->HasPendingChange(4));
    EXPECT_TRUE(Marker(4).IsDrawn());
    EXPECT_DOUBLE_EQ(document.Map(0)->Point(4).value->GetValue(), 5.0);
    EXPECT_EQ(emulator->Core().Peek(0xB604), 5);
    EXPECT_DOUBLE_EQ(document.Map(2)->Point(4).value->GetValue(), otherBefore);
    EXPECT_EQ(emulator->Core().Peek(0xB624), byteBefore);
    EXPECT_EQ(Marker(4).WindowRect().top, view->YToPixel(otherBefore) - 5);

    ShowMap(0);
    const auto sixBefore = emulator->Core().Peek(0xB606);
    MapPointMarker& m = Marker(6);
    QTest::mousePress(&m, Qt::LeftButton, {}, kAt);
    QTest::mouseMove(&m, kUp);
    DuringMonitorRead([&] {
        QTest::mouseRelease(&m, Qt::LeftButton, {}, kUp);
        ASSERT_TRUE(view->HasPendingChange(m.Index()));
        ASSERT_EQ(document.OnNewDocument(), DocStatus::Done);
    });
    QCoreApplication::sendPostedEvents();
    EXPECT_FALSE(view->HasPendingChange(m.Index()));
    EXPECT_TRUE(m.IsDrawn());
    EXPECT_DOUBLE_EQ(Value(6), 0.0);
    EXPECT_EQ(emulator->Core().Peek(0xB606), sixBefore);
    EXPECT_FALSE(document.IsModified());
    ASSERT_TRUE(RamMonitor::Instance().Stop());
}

TEST_F(MarkerDrag, MarkerColourFollowsInSync) {
    auto colourAt = [this](int i, int offset) {
        return view->grab().toImage().pixelColor(Marker(i).geometry().topLeft() +
                                                 QPoint(offset, offset));
    };
    const QColor notInSync = gui::ToQColor(view->NotInSyncColor());
    EXPECT_EQ(colourAt(8, 1), notInSync);
    Drag(8, -kFiveDegrees);  // edited while the link is down
    EXPECT_EQ(colourAt(8, 1), notInSync);
    LinkEmulator();
    Drag(8, -kFiveDegrees);
    EXPECT_TRUE(Map().Point(8).value->InSync());
    EXPECT_EQ(colourAt(8, 1), gui::ToQColor(view->InSyncColor()));
    // The selected marker carries an inner square in the complement colour.
    EXPECT_EQ(colourAt(8, 4), gui::ToQColor(gui::Complement(view->InSyncColor())));
}

}  // namespace
}  // namespace qx::test
