// The monitor window on a scripted module and the virtual clock: the profile
// settings, the open/closed/empty states, the geometry it takes from the graph,
// the values it shows, Reset Peak Acceleration and postponed commands.
#include <QImage>
#include <QLabel>
#include <QPaintEvent>
#include <QTest>
#include <map>

#include "MonitorTestSupport.h"
#include "core/host/CommandIds.h"
#include "core/maps/ModuleMap.h"
#include "gui/graph/GraphGeometry.h"
#include "gui/monitor/LiveFramePacer.h"
#include "gui/monitor/MonitorsDialog.h"
#include "model/LinkedTestSupport.h"

namespace qx::test {
namespace {

using gui::MonitorWindow;
constexpr int kToggle0 = cmd::kMonitorToggleFirst;

class MonitorWindowState : public MonitorWindowTest {
  protected:
    void SetUp() override {
        MonitorWindowTest::SetUp();
        SetProfile("Monitor Window Width", 150);
    }
    void DragRightBorderTo(int clientWidth) {
        const QPoint to(clientWidth + 2 * MonitorWindow::kFrame - 2, 60);
        QTest::mousePress(window, Qt::LeftButton, {}, QPoint(window->width() - 2, 50));
        QTest::mouseMove(window, to);
        QTest::mouseRelease(window, Qt::LeftButton, {}, to);
    }
};

TEST_F(MonitorWindowState, SavedDisplaysComeBackInRowsAtTheSavedWidth) {
    MonitorWindow& w = Make(5, 1);
    EXPECT_EQ(w.ActiveCount(), 2);
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(w.RowOf(0), 0);
    EXPECT_EQ(w.RowOf(2), 1);  // "Peak Accel." in row 1, without a gap
    for (int i : {1, 3, 4, 5, 6}) EXPECT_EQ(w.RowOf(i), -1) << i;
    EXPECT_EQ(w.ClientWidth(), 150);
    // The client fills the view's height from its top-left corner; only the
    // right border lies inside the view.
    EXPECT_EQ(w.mapToParent(w.ClientRect().topLeft()), QPoint(0, 0));
    EXPECT_EQ(w.ClientRect().height(), 600);
    EXPECT_EQ(w.geometry().right() + 1, 150 + MonitorWindow::kFrame);
    EXPECT_FALSE(w.Display(1)->IsActive());
    EXPECT_FALSE(w.Display(1)->RowFrame()->isVisible());

    Destroy();
    MonitorWindow& closed = Make(5, 0);
    EXPECT_EQ(closed.ActiveCount(), 2);
    EXPECT_FALSE(closed.isVisible());
    EXPECT_EQ(closed.MonitorWidth(), 0);
}

TEST_F(MonitorWindowState, HandEditedProfileValuesAndDragsCannotBreakTheWindow) {
    // Bits above the seven displays name nothing and are dropped; the width is
    // clamped to what the view holds.
    SetProfile("Monitor Window Width", 100000);
    MonitorWindow& w = Make(static_cast<int>(0x7FFFFF80u | 5u), 1);
    EXPECT_EQ(w.MonitorMask(), 5);
    EXPECT_EQ(w.ActiveCount(), 2);
    EXPECT_EQ(view->MonitorWidth(), 584 / 2);  // half the plot: see the test below
    EXPECT_GE(view->PlotWidth(), MonitorWindow::kMinPlotWidth);
    DragRightBorderTo(1);
    EXPECT_EQ(w.ClientWidth(), MonitorWindow::kMinClientWidth);
    DragRightBorderTo(5000);
    EXPECT_EQ(view->MonitorWidth(), 584 / 2);
    Destroy();
    EXPECT_EQ(ProfileInt("Monitors"), 5);
    EXPECT_LE(ProfileInt("Monitor Window Width"), 800);

    SetProfile("Monitor Window Width", -40);
    EXPECT_EQ(Make().ClientWidth(), MonitorWindow::kMinClientWidth);
}

// However wide the profile or a drag asks for, the map keeps at least half of
// its plot: at 800 pixels the plot is 584 pixels wide without the displays
// (800 less 10 + 5 + 6 + 6 per cent).
TEST_F(MonitorWindowState, TheDisplaysNeverTakeMoreThanHalfThePlot) {
    for (int asked : {2147483647, 100000, 600}) {
        SCOPED_TRACE(asked);
        SetProfile("Monitor Window Width", asked);
        MonitorWindow& w = Make(1, 1);
        ASSERT_EQ(view->width(), 800);
        EXPECT_GE(view->PlotWidth(), 584 / 2);
        EXPECT_LE(view->MonitorWidth(), 584 / 2);
        DragRightBorderTo(5000);
        EXPECT_GE(view->PlotWidth(), 584 / 2);
        EXPECT_GT(w.ClientWidth(), 150);
        Destroy();
    }
}

TEST_F(MonitorWindowState, TurningTheLastDisplayOffClosesAndSavesTheDraggedWidth) {
    MonitorWindow& w = Make(1, 1);
    DragRightBorderTo(200);
    EXPECT_EQ(view->MonitorWidth(), 200 + 2 * MonitorWindow::kFrame);
    w.ToggleMonitor(kToggle0);
    EXPECT_EQ(w.ActiveCount(), 0);
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(view->MonitorWidth(), 0);
    EXPECT_EQ(ProfileInt("Monitor Window Width"), 200);
    // One display on again reopens the window at that width.
    w.ToggleMonitor(kToggle0 + 4);
    EXPECT_TRUE(w.IsOpen());
    EXPECT_EQ(w.ClientWidth(), 200);
    EXPECT_EQ(w.RowOf(4), 0);
    EXPECT_EQ(w.MonitorMask(), 1 << 4);
}

TEST_F(MonitorWindowState, CancelAllKeepsTheChoiceForTheNextStartWithTheWindowClosed) {
    MonitorWindow& w = Make(6, 1);
    ASSERT_TRUE(w.HandleCommand(cmd::kCancelAllMonitors));
    EXPECT_EQ(w.ActiveCount(), 0);
    EXPECT_FALSE(w.IsOpen());
    gui::ViewCommandState s;
    ASSERT_TRUE(w.UpdateCommand(cmd::kMonitorWindow, s));
    EXPECT_FALSE(s.enabled);

    MonitorWindow& again = Restart();
    EXPECT_EQ(again.RowOf(1), 0);
    EXPECT_EQ(again.RowOf(2), 1);
    EXPECT_FALSE(again.IsOpen());
    EXPECT_EQ(ProfileInt("Monitor Window Open"), 0);
    ASSERT_TRUE(again.HandleCommand(cmd::kMonitorWindow));  // View > Monitor Window
    EXPECT_TRUE(again.IsOpen());
    EXPECT_EQ(again.ClientWidth(), 150);
    ASSERT_TRUE(again.UpdateCommand(cmd::kMonitorWindow, s));
    EXPECT_TRUE(s.checked);
}

TEST_F(MonitorWindowState, TheGraphMakesRoomForTheOpenWindowAndFollowsItsHeight) {
    MonitorWindow& w = Make(1, 0);
    const int plotWidth = view->PlotWidth();
    ASSERT_EQ(view->PlotLeft(), 128);
    ASSERT_TRUE(w.HandleCommand(cmd::kMonitorWindow));
    const int full = 150 + 2 * MonitorWindow::kFrame;
    EXPECT_EQ(w.MonitorWidth(), full);
    EXPECT_EQ(view->PlotLeft(), 128 + full);
    EXPECT_EQ(view->PlotWidth(), plotWidth - full);
    EXPECT_EQ(view->CalcGraphFrame().left, 48 + full);
    EXPECT_EQ(view->XToPixel(view->Axes().xmin), 128 + full);

    // A view too narrow for the width shows less of it and gives it back later.
    view->resize(200, 450);
    QCoreApplication::processEvents();
    EXPECT_LT(w.ClientWidth(), 150);
    EXPECT_GE(view->PlotWidth(), MonitorWindow::kMinPlotWidth);
    view->resize(800, 600);
    QCoreApplication::processEvents();
    EXPECT_EQ(w.ClientWidth(), 150);
}

// ---- Values, on both firmware generations -------------------------------------------

class MonitorValues : public MonitorWindowTest, public ::testing::WithParamInterface<uint8_t> {
  protected:
    uint8_t Firmware() const { return GetParam(); }
    uint16_t Address(int i) const {
        const MonitoredQuantity& q = kMonitoredQuantities[static_cast<std::size_t>(i)];
        return OldFirmware(Firmware()) ? q.address0 : q.address1;
    }
    std::vector<uint8_t> Packet(uint8_t speedHigh, uint8_t peak = 0) {
        return MonitorPacket(Firmware(), {{Address(0), speedHigh},
                                          {static_cast<uint16_t>(Address(0) + 1), 100},
                                          {Address(5), 200},
                                          {Address(2), peak},
                                          {Address(3), 30},
                                          {Address(6), 7}});
    }
    // Every display active and the window open, showing one packet.
    MonitorWindow& MakeShowing(const std::vector<uint8_t>& packet, int monitors = 0x7F) {
        MonitorWindow& w = Make(monitors, 1);
        LinkStreaming(Firmware(), packet);
        EXPECT_TRUE(ReadOnePacket());
        w.RefreshDisplays(true);
        return w;
    }
};

TEST_P(MonitorValues, RawBytesShowInUserUnitsAndOnlyWhileMonitoring) {
    MonitorWindow& w = MakeShowing(Packet(0, 3));
    const std::vector<std::string> shown = {" 1611.3", " 0.0",  " 48.0", " 30.0",
                                            "",        " 12.5", " 7.0"};
    for (int i : {0, 1, 2, 3, 5, 6}) EXPECT_EQ(BoxText(i), shown[i]) << i;
    // What the boxes show on screen: white with the text's ink, blank when empty.
    QWidget* client = w.findChild<QWidget*>(QStringLiteral("MonitorClient"));
    auto inkIn = [&](int display) {
        QCoreApplication::processEvents();
        const QImage shot = client->grab().toImage();
        const QRect box = gui::MonitorDisplay::BoxRect(w.RowOf(display));
        for (const QPoint corner :
             {box.topLeft(), box.topRight(), box.bottomLeft(), box.bottomRight()})
            EXPECT_EQ(shot.pixel(corner), qRgb(255, 255, 255));
        return DarkPixels(shot, box, 160);
    };
    EXPECT_GT(inkIn(0), 20);
    const int inkOfSeven = inkIn(6);
    EXPECT_GT(inkOfSeven, 5);
    EXPECT_LT(inkOfSeven, inkIn(0));  // " 7.0" has less ink than " 1611.3"
    // A display turned off takes its box with it.
    const QRect lastBox = gui::MonitorDisplay::BoxRect(w.RowOf(6));
    w.SetDisplayActive(6, false);  // as the dialog does
    QCoreApplication::processEvents();
    EXPECT_NE(client->grab().toImage().pixel(lastBox.center()), qRgb(255, 255, 255));
    // A paced frame falling due while a write has put the stream off.
    auto* pacer = w.findChild<gui::LiveFramePacer*>();
    ASSERT_NE(pacer, nullptr);
    ASSERT_TRUE(RamMonitor::Instance().Suspend());
    Q_EMIT pacer->heldBackDue();
    EXPECT_EQ(BoxText(0), shown[0]) << "the boxes blink blank during an edit's write";

    RamMonitor::Instance().Stop();
    w.RefreshDisplays(true);
    for (int i = 0; i < MonitorWindow::kDisplayCount; ++i) EXPECT_EQ(BoxText(i), "") << i;
    EXPECT_EQ(inkIn(0), 0);
    Feed(Firmware(), Packet(0));
    ASSERT_EQ(BoxText(5), " 12.5");
    Port().BreakLink();
    w.ClearStaleDisplays();
    for (int i = 0; i < MonitorWindow::kDisplayCount; ++i) EXPECT_EQ(BoxText(i), "") << i;
}

TEST_P(MonitorValues, APacketRepaintsOnlyChangedBoxesAndTheLiveBarStrips) {
    MonitorWindow& w = MakeShowing(Packet(0));
    QCoreApplication::processEvents();
    // Counts paint events per widget and keeps the areas painted.
    struct Spy : QObject {
        std::map<QObject*, int> paints;
        std::map<QObject*, QRegion> areas;
        bool eventFilter(QObject* watched, QEvent* event) override {
            if (event->type() != QEvent::Paint) return false;
            ++paints[watched];
            areas[watched] += static_cast<QPaintEvent*>(event)->region();
            return false;
        }
    } spy;
    QWidget* client = w.findChild<QWidget*>(QStringLiteral("MonitorClient"));
    for (QObject* o : std::vector<QObject*>{view.get(), &w, client}) o->installEventFilter(&spy);
    for (int i = 0; i < MonitorWindow::kDisplayCount; ++i)
        w.Display(i)->RowFrame()->installEventFilter(&spy);

    w.RefreshDisplays(false);  // the same packet again: nothing is painted
    QCoreApplication::processEvents();
    EXPECT_TRUE(spy.paints.empty());

    const int oldBar = view->XToPixel(view->CurrentMap()->LiveX());
    Feed(Firmware(), Packet(1));  // only the engine speed changes
    const int newBar = view->XToPixel(view->CurrentMap()->LiveX());
    QCoreApplication::processEvents();
    EXPECT_EQ(BoxText(0), " 5736.3");
    EXPECT_EQ(spy.paints[client], 1);
    EXPECT_EQ(spy.areas[client], QRegion(gui::MonitorDisplay::BoxRect(w.RowOf(0))));
    EXPECT_EQ(spy.paints.size(), 2u);  // that box and the view
    ASSERT_NE(oldBar, newBar);
    QRegion allowed;
    for (int bar : {oldBar, newBar}) {
        const graph::PixelRect a = graph::LiveBarStrip(view->Size(), bar);
        allowed += QRegion(a.left, a.top, a.Width(), a.Height());
    }
    EXPECT_FALSE(spy.areas[view.get()].isEmpty());
    EXPECT_TRUE((spy.areas[view.get()] - allowed).isEmpty());
}

TEST_P(MonitorValues, ResetPeakAccelerationWritesZeroOnlyForANonZeroPeakOnALiveLink) {
    // The "Peak Accel." display is off: the peak still comes from the last packet.
    MonitorWindow& w = MakeShowing(Packet(0, 0), 1);
    const auto write = WriteFrame(OldFirmware(Firmware()) ? 0x7D : 0x4B, 0);
    device.AlwaysAnswer(write, {0x06}, 2);
    w.ResetPeakAcceleration();
    EXPECT_EQ(device.CountOf(write), 0u);
    Feed(Firmware(), Packet(0, 9));
    w.ResetPeakAcceleration();
    EXPECT_EQ(device.CountOf(write), 1u);
    EXPECT_TRUE(host->Messages().empty());

    Feed(Firmware(), Packet(0, 5));
    Port().BreakLink();
    const std::size_t before = device.Received().size();
    w.ResetPeakAcceleration();
    EXPECT_EQ(device.Received().size(), before);
}

INSTANTIATE_TEST_SUITE_P(Firmware, MonitorValues, ::testing::Values(uint8_t{0x10}, uint8_t{0x1A}),
                         [](const auto& info) { return info.param == 0x10 ? "v1_0" : "v1_10"; });

TEST_F(MonitorWindowTest, TogglesArrivingWhileAPacketIsReadArePostponedAndReplayed) {
    MonitorWindow& w = Make();
    Link(0x1A);
    RamMonitor& m = RamMonitor::Instance();
    ASSERT_TRUE(m.Start());
    // The packet is awaited (the wait dispatches events) when the commands come.
    device.SendAt(host->NowMs() + 20, MonitorPacket(0x1A, {{0x48, 0}, {0x49, 100}}));
    bool reading = false;
    host->ScheduleEventIn(5, [&] {
        reading = m.IsReading();
        for (int id : {kToggle0, kToggle0 + 5, kToggle0, static_cast<int>(cmd::kSelectMonitors)})
            w.HandleCommand(id);
    });
    ASSERT_TRUE(m.UpdateRamImage(nullptr));
    ASSERT_TRUE(reading);
    EXPECT_EQ(w.ActiveCount(), 0);
    // The repeated toggle is kept once.
    const std::vector<int> postponed = {kToggle0, kToggle0 + 5, cmd::kSelectMonitors};
    EXPECT_EQ(m.PostponedCommands(), postponed);
    m.RunPostponedCommands();
    ASSERT_EQ(host->RoutedCommands(), postponed);
    int dialogs = 0;
    w.SetDialogRunner([&](gui::MonitorsDialog&) { return ++dialogs; });
    for (int id : host->RoutedCommands()) EXPECT_TRUE(w.HandleCommand(id));
    EXPECT_EQ(w.ActiveCount(), 2);
    EXPECT_EQ(dialogs, 1);
    // A replayed toggle suspends the stream first; the monitor loop restarts it.
    EXPECT_TRUE(m.IsSuspended());
    EXPECT_FALSE(m.IsRunning());
}

}  // namespace
}  // namespace qx::test
