#include <QPaintEvent>

#include "GraphTestSupport.h"

namespace qx::test {
namespace {

// Counts the view's paint events.
class PaintCounter : public QObject {
  public:
    int paints = 0;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) ++paints;
        return false;
    }
};

class GraphKeys : public GraphTest {
  protected:
    void Key(int key, Qt::KeyboardModifiers mods = {}) {
        QTest::keyClick(view.get(), static_cast<Qt::Key>(key), mods);
    }
};

TEST_F(GraphKeys, PageKeysWrapAroundTheSixMaps) {
    ASSERT_EQ(document.CurrentMap(), 0);
    Key(Qt::Key_PageUp);
    EXPECT_EQ(document.CurrentMap(), 5);
    EXPECT_EQ(view->CurrentMap(), document.Map(5));
    EXPECT_EQ(Marker(0).Point(), &document.Map(5)->Point(0));
    Key(Qt::Key_PageDown);
    EXPECT_EQ(document.CurrentMap(), 0);
    Key(Qt::Key_PageDown);
    Key(Qt::Key_PageDown);
    EXPECT_EQ(view->CurrentMap(), document.Map(2));
}

TEST_F(GraphKeys, SelectionKeysStopAtTheEnds) {
    Key(Qt::Key_Left);
    EXPECT_EQ(view->SelectedIndex(), 0);
    Key(Qt::Key_Right);
    Key(Qt::Key_Right);
    EXPECT_EQ(view->SelectedIndex(), 2);
    Key(Qt::Key_End);
    EXPECT_EQ(view->SelectedIndex(), 15);
    Key(Qt::Key_Right);
    EXPECT_EQ(view->SelectedIndex(), 15);
    Key(Qt::Key_Home);
    EXPECT_EQ(view->SelectedIndex(), 0);
    // A new map selects the first marker again.
    Key(Qt::Key_End);
    Key(Qt::Key_PageDown);
    EXPECT_EQ(view->SelectedIndex(), 0);
}

TEST_F(GraphKeys, ArrowsStepByTheMapsStepAndCtrlByFive) {
    Key(Qt::Key_Right);
    Key(Qt::Key_Up);
    EXPECT_DOUBLE_EQ(Value(1), 1.0);
    EXPECT_TRUE(document.IsModified());
    Key(Qt::Key_Up, Qt::ControlModifier);
    EXPECT_DOUBLE_EQ(Value(1), 6.0);
    Key(Qt::Key_Down);
    EXPECT_DOUBLE_EQ(Value(1), 5.0);
    // Ctrl does not change Left and Right.
    Key(Qt::Key_Right, Qt::ControlModifier);
    EXPECT_EQ(view->SelectedIndex(), 2);
    // The marker moved with its value.
    EXPECT_EQ(Marker(1).WindowRect(), Marker(1).PointRect());
    // A dwell map steps in halves.
    ShowMap(4);
    Key(Qt::Key_Up);
    EXPECT_DOUBLE_EQ(Value(0), 0.5);
}

TEST_F(GraphKeys, UpAtTheTopInvalidatesNothing) {
    for (int i = 0; i < 10; ++i) Key(Qt::Key_Up, Qt::ControlModifier);
    ASSERT_DOUBLE_EQ(Value(0), 45.0);
    QCoreApplication::processEvents();
    PaintCounter counter;
    view->installEventFilter(&counter);
    document.SetModifiedFlag(false);
    Key(Qt::Key_Up);
    QCoreApplication::processEvents();
    view->removeEventFilter(&counter);
    EXPECT_DOUBLE_EQ(Value(0), 45.0);
    EXPECT_FALSE(document.IsModified());
    EXPECT_EQ(counter.paints, 0);
}

TEST_F(GraphKeys, EnterEqualsSpaceAndEscHides) {
    gui::MapPointValueDisplay& display = *view->ValueDisplay();
    Key(Qt::Key_Space);
    EXPECT_TRUE(display.IsShown());
    EXPECT_EQ(display.XText(), QStringLiteral("Engine Speed: 0 rpm"));
    Key(Qt::Key_Space);
    EXPECT_FALSE(display.IsShown());
    Key(Qt::Key_Return);
    EXPECT_TRUE(display.IsShown());
    Key(Qt::Key_Enter);
    EXPECT_FALSE(display.IsShown());
    Key(Qt::Key_Return);
    Key(Qt::Key_Escape);
    EXPECT_FALSE(display.IsShown());
    // The common tail refreshes a shown display after a step.
    Key(Qt::Key_Space);
    Key(Qt::Key_Up);
    EXPECT_EQ(display.YText(), QStringLiteral("Advance: 1.0 deg"));
}

TEST_F(GraphKeys, ArrowsAreDroppedWhileACommandRuns) {
    CommandBusyScope busy(false, false);
    Key(Qt::Key_Up);
    QCoreApplication::processEvents();
    EXPECT_DOUBLE_EQ(Value(0), 0.0);
}

class LinkedGraphKeys : public GraphKeys {};

TEST_F(LinkedGraphKeys, ArrowIsDeferredWhileTheMonitorReads) {
    LinkEmulator();
    RamMonitor& monitor = RamMonitor::Instance();
    ASSERT_TRUE(monitor.Start());
    bool reading = false;
    host->QueueEvent([&] {
        reading = monitor.IsReading();
        // Pressed and released while the packet is read.
        Key(Qt::Key_Up, Qt::ControlModifier);
    });
    ASSERT_TRUE(monitor.UpdateRamImage(nullptr));
    ASSERT_TRUE(reading);
    EXPECT_DOUBLE_EQ(Value(0), 0.0);
    EXPECT_FALSE(view->IsKeyDown(Qt::Key_Up));
    // The deferred step passes the key-released rule and keeps Ctrl's five steps
    // only while Ctrl is still down: it was released with the key.
    QCoreApplication::sendPostedEvents();
    EXPECT_DOUBLE_EQ(Value(0), 1.0);
    EXPECT_EQ(emulator->Core().Peek(0xB600), 1);
}

}  // namespace
}  // namespace qx::test
