#include "GraphTestSupport.h"

namespace qx::test {
namespace {

using GraphKeys = GraphTest;

TEST_F(GraphKeys, PageKeysWrapAndSelectionKeysStopAtTheEnds) {
    Key(Qt::Key_PageUp);
    EXPECT_EQ(document.CurrentMap(), 5);
    EXPECT_EQ(Marker(0).Point(), &document.Map(5)->Point(0));
    Key(Qt::Key_PageDown);
    Key(Qt::Key_PageDown);
    EXPECT_EQ(view->CurrentMap(), document.Map(1));

    const struct {
        int key;
        int selected;
    } steps[] = {{Qt::Key_Left, 0}, {Qt::Key_Right, 1},   {Qt::Key_Right, 2},
                 {Qt::Key_End, 15}, {Qt::Key_Right, 15},  {Qt::Key_Home, 0},
                 {Qt::Key_End, 15}, {Qt::Key_PageDown, 0}};  // a new map selects the first marker
    for (const auto& s : steps) {
        Key(s.key);
        EXPECT_EQ(view->SelectedIndex(), s.selected) << s.key;
    }
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
    EXPECT_EQ(Marker(1).WindowRect(), Marker(1).PointRect());
    Key(Qt::Key_Right, Qt::ControlModifier);  // Ctrl does not change Left and Right
    EXPECT_EQ(view->SelectedIndex(), 2);
    ShowMap(4);  // a dwell map steps in halves
    Key(Qt::Key_Up);
    EXPECT_DOUBLE_EQ(Value(0), 0.5);
}

TEST_F(GraphKeys, UpAtTheTopInvalidatesNothing) {
    for (int i = 0; i < 10; ++i) Key(Qt::Key_Up, Qt::ControlModifier);
    ASSERT_DOUBLE_EQ(Value(0), 45.0);
    QCoreApplication::processEvents();
    PaintSpy spy;
    view->installEventFilter(&spy);
    document.SetModifiedFlag(false);
    Key(Qt::Key_Up);
    QCoreApplication::processEvents();
    EXPECT_FALSE(document.IsModified());
    EXPECT_TRUE(spy.rects.empty());
}

TEST_F(GraphKeys, EnterEqualsSpaceAndEscHides) {
    gui::MapPointValueDisplay& display = *view->ValueDisplay();
    const struct {
        int key;
        bool shown;
    } steps[] = {{Qt::Key_Space, true},  {Qt::Key_Space, false}, {Qt::Key_Return, true},
                 {Qt::Key_Enter, false}, {Qt::Key_Return, true}, {Qt::Key_Escape, false}};
    for (const auto& s : steps) {
        Key(s.key);
        EXPECT_EQ(display.IsShown(), s.shown) << s.key;
    }
    Key(Qt::Key_Space);
    EXPECT_EQ(display.XText(), QStringLiteral("Engine Speed: 0 rpm"));
    Key(Qt::Key_Up);  // the common tail refreshes a shown display
    EXPECT_EQ(display.YText(), QStringLiteral("Advance: 1.0 deg"));
}

TEST_F(GraphKeys, ArrowsAreDroppedWhileBusyAndDeferredWhileTheMonitorReads) {
    {
        CommandBusyScope busy(false, false);
        Key(Qt::Key_Up);
        QCoreApplication::processEvents();
        EXPECT_DOUBLE_EQ(Value(0), 0.0);
    }
    LinkEmulator();
    // Pressed and released during the read.
    DuringMonitorRead([&] { Key(Qt::Key_Up, Qt::ControlModifier); });
    EXPECT_DOUBLE_EQ(Value(0), 0.0);
    EXPECT_FALSE(view->IsKeyDown(Qt::Key_Up));
    // The deferred step passes the key-released rule; Ctrl was released with it.
    QCoreApplication::sendPostedEvents();
    EXPECT_DOUBLE_EQ(Value(0), 1.0);
    EXPECT_EQ(emulator->Core().Peek(0xB600), 1);
}

}  // namespace
}  // namespace qx::test
