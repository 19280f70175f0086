// The monitor window on a scripted module and the virtual clock: the profile
// settings, the open/closed/empty states, the geometry it takes from the graph,
// the values it shows, Reset Peak Acceleration and postponed commands.
#include <QCoreApplication>
#include <QLabel>
#include <QPaintEvent>
#include <QTest>
#include <algorithm>

#include "MonitorTestSupport.h"
#include "graph/GraphGeometry.h"
#include "link/Request.h"
#include "maps/ModuleMap.h"
#include "monitor/MonitorsDialog.h"

namespace qx::test {
namespace {

using gui::MonitorDisplay;
using gui::MonitorWindow;

std::vector<uint8_t> WriteRequest(uint16_t address, uint8_t value) {
    uint8_t buffer[16];
    const std::size_t n = Request::Write(address, value).BuildFrame(buffer);
    return {buffer, buffer + n};
}

// Counts paint events per widget and keeps the areas painted in the view.
class PaintSpy : public QObject {
  public:
    std::map<QObject*, int> paints;
    std::vector<QRegion> viewAreas;
    QObject* view = nullptr;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            ++paints[watched];
            if (watched == view) viewAreas.push_back(static_cast<QPaintEvent*>(event)->region());
        }
        return false;
    }
};

class MonitorWindowState : public MonitorWindowTest {
  protected:
    void SetUp() override {
        MonitorWindowTest::SetUp();
        SetProfile("Monitor Window Width", 150);
    }
    void DragRightBorderTo(int clientWidth) {
        MonitorWindow& w = *window;
        const QPoint grab(w.width() - 2, 50);
        QTest::mousePress(&w, Qt::LeftButton, {}, grab);
        QTest::mouseMove(&w, QPoint(clientWidth + 2 * MonitorWindow::kFrame - 2, 60));
        QTest::mouseRelease(&w, Qt::LeftButton, {},
                            QPoint(clientWidth + 2 * MonitorWindow::kFrame - 2, 60));
    }
};

TEST_F(MonitorWindowState, SavedDisplaysComeBackInRowsAtTheSavedWidth) {
    SetProfile("Monitors", 5);
    SetProfile("Monitor Window Open", 1);
    MonitorWindow& w = Make();
    EXPECT_EQ(w.ActiveCount(), 2);
    EXPECT_TRUE(w.IsOpen());
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(w.RowOf(0), 0);
    EXPECT_EQ(w.RowOf(2), 1);
    for (int i : {1, 3, 4, 5, 6}) EXPECT_EQ(w.RowOf(i), -1) << i;
    EXPECT_EQ(w.ClientWidth(), 150);
    // The client fills the view's height from its top-left corner; only the
    // right border lies inside the view.
    EXPECT_EQ(w.mapToParent(w.ClientRect().topLeft()), QPoint(0, 0));
    EXPECT_EQ(w.ClientRect().height(), 600);
    EXPECT_EQ(w.geometry().right() + 1, 150 + MonitorWindow::kFrame);
    // Rows stack without gaps: "Peak Accel." sits in row 1.
    EXPECT_EQ(w.Display(2)->ValueBox()->geometry(), MonitorDisplay::BoxRect(1));
    EXPECT_EQ(w.Display(0)->ValueBox()->geometry(), MonitorDisplay::BoxRect(0));
    EXPECT_TRUE(w.Display(2)->ValueBox()->isVisible());
    EXPECT_FALSE(w.Display(1)->ValueBox()->isVisible());
    EXPECT_EQ(MonitorDisplay::BoxRect(1), QRect(9, 42 + 22, 50, 14));
    EXPECT_EQ(MonitorDisplay::FrameRect(1, 150), QRect(QPoint(2, 44), QPoint(148, 83)));
}

TEST_F(MonitorWindowState, SavedDisplaysWithTheWindowClosedStayClosed) {
    SetProfile("Monitors", 5);
    SetProfile("Monitor Window Open", 0);
    MonitorWindow& w = Make();
    EXPECT_EQ(w.ActiveCount(), 2);
    EXPECT_FALSE(w.IsOpen());
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(w.MonitorWidth(), 0);
}

TEST_F(MonitorWindowState, HandEditedProfileValuesCannotBreakTheWindow) {
    // Bits above the seven displays name nothing and are dropped.
    SetProfile("Monitors", static_cast<int>(0x7FFFFF80u | 5u));
    SetProfile("Monitor Window Open", 1);
    SetProfile("Monitor Window Width", 100000);
    MonitorWindow& w = Make();
    EXPECT_EQ(w.MonitorMask(), 5);
    EXPECT_EQ(w.ActiveCount(), 2);
    // Clamped to what the view holds: the plot keeps a width.
    EXPECT_EQ(w.ClientWidth(), w.MaxClientWidth());
    EXPECT_GE(view->PlotWidth(), MonitorWindow::kMinPlotWidth);
    Destroy();
    EXPECT_EQ(ProfileInt("Monitors"), 5);
    EXPECT_LE(ProfileInt("Monitor Window Width"), 800);

    SetProfile("Monitor Window Width", -40);
    MonitorWindow& again = Make();
    EXPECT_EQ(again.ClientWidth(), MonitorWindow::kMinClientWidth);
    EXPECT_GT(again.MonitorWidth(), 0);
}

TEST_F(MonitorWindowState, TurningTheLastDisplayOffClosesAndSavesTheDraggedWidth) {
    SetProfile("Monitors", 1);
    SetProfile("Monitor Window Open", 1);
    MonitorWindow& w = Make();
    DragRightBorderTo(200);
    EXPECT_EQ(w.ClientWidth(), 200);
    EXPECT_EQ(view->MonitorWidth(), 200 + 2 * MonitorWindow::kFrame);

    w.ToggleMonitor(gui::kCmdMonitorToggleFirst);
    EXPECT_EQ(w.ActiveCount(), 0);
    EXPECT_FALSE(w.IsOpen());
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(view->MonitorWidth(), 0);
    EXPECT_EQ(ProfileInt("Monitor Window Width"), 200);
    EXPECT_EQ(w.MonitorMask(), 0);

    // One display on again reopens the window at that width.
    w.ToggleMonitor(gui::kCmdMonitorToggleFirst + 4);
    EXPECT_TRUE(w.IsOpen());
    EXPECT_EQ(w.ClientWidth(), 200);
    EXPECT_EQ(w.RowOf(4), 0);
    EXPECT_EQ(w.MonitorMask(), 1 << 4);
}

TEST_F(MonitorWindowState, TheDragStopsWhereTheGraphWouldVanish) {
    SetProfile("Monitors", 1);
    SetProfile("Monitor Window Open", 1);
    MonitorWindow& w = Make();
    DragRightBorderTo(5000);
    EXPECT_EQ(w.ClientWidth(), w.MaxClientWidth());
    EXPECT_GE(view->PlotWidth(), MonitorWindow::kMinPlotWidth);
    DragRightBorderTo(1);
    EXPECT_EQ(w.ClientWidth(), MonitorWindow::kMinClientWidth);
}

TEST_F(MonitorWindowState, CancelAllKeepsTheChoiceForTheNextStartWithTheWindowClosed) {
    SetProfile("Monitors", 6);
    SetProfile("Monitor Window Open", 1);
    MonitorWindow& w = Make();
    ASSERT_TRUE(w.HandleCommand(gui::kCmdCancelAllMonitors));
    EXPECT_EQ(w.ActiveCount(), 0);
    EXPECT_FALSE(w.IsOpen());
    EXPECT_EQ(w.MonitorMask(), 6);
    gui::ViewCommandState s;
    ASSERT_TRUE(w.UpdateCommand(gui::kCmdMonitorWindow, s));
    EXPECT_FALSE(s.enabled);

    MonitorWindow& again = Restart();
    EXPECT_EQ(again.ActiveCount(), 2);
    EXPECT_EQ(again.RowOf(1), 0);
    EXPECT_EQ(again.RowOf(2), 1);
    EXPECT_FALSE(again.IsOpen());
    EXPECT_EQ(ProfileInt("Monitor Window Open"), 0);
    // View > Monitor Window opens it.
    ASSERT_TRUE(again.UpdateCommand(gui::kCmdMonitorWindow, s));
    EXPECT_TRUE(s.enabled);
    EXPECT_FALSE(s.checked);
    ASSERT_TRUE(again.HandleCommand(gui::kCmdMonitorWindow));
    EXPECT_TRUE(again.IsOpen());
    EXPECT_EQ(again.ClientWidth(), 150);
    ASSERT_TRUE(again.UpdateCommand(gui::kCmdMonitorWindow, s));
    EXPECT_TRUE(s.checked);
}

TEST_F(MonitorWindowState, AWindowNeverOpenedKeepsTheSavedWidth) {
    SetProfile("Monitor Window Width", 210);
    Make();
    Destroy();
    EXPECT_EQ(ProfileInt("Monitor Window Width"), 210);
    EXPECT_EQ(ProfileInt("Monitors"), 0);
    EXPECT_EQ(ProfileInt("Monitor Window Open"), 0);
}

TEST_F(MonitorWindowState, TheGraphMakesRoomForTheOpenWindowAndFollowsItsHeight) {
    SetProfile("Monitors", 1);
    SetProfile("Monitor Window Open", 0);
    MonitorWindow& w = Make();
    const int left = view->PlotLeft();
    const int plotWidth = view->PlotWidth();
    const graph::PixelRect frame = view->CalcGraphFrame();
    EXPECT_EQ(left, 80 + 48);

    ASSERT_TRUE(w.HandleCommand(gui::kCmdMonitorWindow));
    const int full = w.MonitorWidth();
    EXPECT_EQ(full, 150 + 2 * MonitorWindow::kFrame);
    EXPECT_EQ(view->PlotLeft(), left + full);
    EXPECT_EQ(view->PlotWidth(), plotWidth - full);
    EXPECT_EQ(view->CalcGraphFrame().left, frame.left + full);
    EXPECT_EQ(view->XToPixel(view->Axes().xmin), left + full);

    view->resize(700, 450);
    QCoreApplication::processEvents();
    EXPECT_EQ(w.ClientRect().height(), 450);
    EXPECT_EQ(w.ClientWidth(), 150);
    EXPECT_EQ(w.mapToParent(w.ClientRect().topLeft()), QPoint(0, 0));

    // A view too narrow for the width shows less of it and gives it back later.
    view->resize(200, 450);
    QCoreApplication::processEvents();
    EXPECT_LT(w.ClientWidth(), 150);
    EXPECT_GE(view->PlotWidth(), MonitorWindow::kMinPlotWidth);
    view->resize(800, 600);
    QCoreApplication::processEvents();
    EXPECT_EQ(w.ClientWidth(), 150);
}

TEST_F(MonitorWindowState, ToggleCommandsAndTheirStates) {
    MonitorWindow& w = Make();
    gui::ViewCommandState s;
    // 32797 is the view's own; it never reaches the monitor window.
    EXPECT_FALSE(w.UpdateCommand(gui::kCmdSetYValue, s));
    EXPECT_FALSE(w.HandleCommand(gui::kCmdSetYValue));
    EXPECT_FALSE(w.HandleCommand(32790));
    for (int id = 32798; id <= gui::kCmdMonitorToggleLast; ++id) {
        EXPECT_TRUE(w.HandleCommand(id));
        EXPECT_EQ(w.ActiveCount(), 0) << id;
        ASSERT_TRUE(w.UpdateCommand(id, s));
        EXPECT_FALSE(s.checked);
    }
    EXPECT_TRUE(w.HandleCommand(gui::kCmdMonitorToggleFirst + 5));
    EXPECT_TRUE(w.IsOpen());
    ASSERT_TRUE(w.UpdateCommand(gui::kCmdMonitorToggleFirst + 5, s));
    EXPECT_TRUE(s.checked);
    ASSERT_TRUE(w.UpdateCommand(gui::kCmdCancelAllMonitors, s));
    EXPECT_TRUE(s.enabled);
    // Closing keeps the displays; the toggle state does not follow the window.
    EXPECT_TRUE(w.HandleCommand(gui::kCmdMonitorWindow));
    EXPECT_FALSE(w.IsOpen());
    ASSERT_TRUE(w.UpdateCommand(gui::kCmdMonitorToggleFirst + 5, s));
    EXPECT_TRUE(s.checked);
}

// ---- Values -------------------------------------------------------------------------

class MonitorValues : public MonitorWindowTest, public ::testing::WithParamInterface<uint8_t> {
  protected:
    uint8_t Firmware() const { return GetParam(); }
    bool Old() const { return Firmware() == 0x10; }
    uint16_t Address(int i) const {
        const MonitoredQuantity& q = kMonitoredQuantities[static_cast<std::size_t>(i)];
        return Old() ? q.address0 : q.address1;
    }
    // Every display active, the window open.
    MonitorWindow& MakeAllActive() {
        SetProfile("Monitors", 0x7F);
        SetProfile("Monitor Window Open", 1);
        return Make();
    }
    std::vector<uint8_t> Packet(uint8_t speedHigh, uint8_t speedLow, uint8_t battery,
                                uint8_t peak = 0) {
        return MonitorPacket(Firmware(), {{Address(0), speedHigh},
                                          {static_cast<uint16_t>(Address(0) + 1), speedLow},
                                          {Address(5), battery},
                                          {Address(2), peak},
                                          {Address(3), 30},
                                          {Address(6), 7}});
    }
};

TEST_P(MonitorValues, RawBytesShowInUserUnitsWithOneDecimalAfterABlank) {
    MonitorWindow& w = MakeAllActive();
    LinkStreaming(Firmware(), Packet(0, 100, 200, 3));
    ASSERT_TRUE(ReadOnePacket());
    w.RefreshDisplays(true);
    EXPECT_EQ(BoxText(0), " 1611.3");
    EXPECT_EQ(BoxText(5), " 12.5");
    EXPECT_EQ(BoxText(2), " 48.0");
    EXPECT_EQ(BoxText(3), " 30.0");
    EXPECT_EQ(BoxText(6), " 7.0");
    EXPECT_EQ(BoxText(1), " 0.0");
    EXPECT_EQ(w.Display(0)->ValueBox()->text().toStdString(), " 1611.3");
}

TEST_P(MonitorValues, BoxesAreEmptyWhileTheMonitorIsStoppedOrTheLinkDown) {
    MonitorWindow& w = MakeAllActive();
    LinkStreaming(Firmware(), Packet(0, 100, 200));
    ASSERT_TRUE(ReadOnePacket());
    w.RefreshDisplays(true);
    ASSERT_EQ(BoxText(0), " 1611.3");
    RamMonitor::Instance().Stop();
    w.RefreshDisplays(true);
    for (int i = 0; i < MonitorWindow::kDisplayCount; ++i) EXPECT_EQ(BoxText(i), "") << i;
    EXPECT_TRUE(w.Display(0)->ValueBox()->text().isEmpty());

    ASSERT_TRUE(ReadOnePacket());
    w.RefreshDisplays(false);
    ASSERT_EQ(BoxText(5), " 12.5");
    Port().BreakLink();
    w.ClearStaleDisplays();
    for (int i = 0; i < MonitorWindow::kDisplayCount; ++i) EXPECT_EQ(BoxText(i), "") << i;
}

TEST_P(MonitorValues, APacketRepaintsOnlyChangedBoxesAndTheLiveBarStrips) {
    MonitorWindow& w = MakeAllActive();
    LinkStreaming(Firmware(), Packet(0, 100, 200));
    ASSERT_TRUE(ReadOnePacket());
    w.RefreshDisplays(true);
    QCoreApplication::processEvents();

    PaintSpy spy;
    spy.view = view.get();
    view->installEventFilter(&spy);
    for (int i = 0; i < MonitorWindow::kDisplayCount; ++i)
        w.Display(i)->ValueBox()->installEventFilter(&spy);
    w.installEventFilter(&spy);
    w.findChild<QWidget*>(QStringLiteral("MonitorClient"))->installEventFilter(&spy);

    // The same packet again: nothing changes, nothing is painted.
    w.RefreshDisplays(false);
    QCoreApplication::processEvents();
    EXPECT_TRUE(spy.paints.empty());

    // Only the engine speed changes: its box and the live bar's two strips.
    RamMonitor::Instance().Stop();
    device.StreamOnRequest(MonitorStartFrame(Firmware()), Packet(1, 100, 200), 30);
    const int oldBar = view->XToPixel(view->CurrentMap()->LiveX());
    ASSERT_TRUE(ReadOnePacket());
    w.RefreshDisplays(false);
    const int newBar = view->XToPixel(view->CurrentMap()->LiveX());
    QCoreApplication::processEvents();
    EXPECT_EQ(BoxText(0), " 5736.3");
    EXPECT_EQ(spy.paints[w.Display(0)->ValueBox()], 1);
    for (int i = 1; i < MonitorWindow::kDisplayCount; ++i)
        EXPECT_EQ(spy.paints.count(w.Display(i)->ValueBox()), 0u) << i;
    EXPECT_EQ(spy.paints.count(&w), 0u);
    EXPECT_EQ(spy.paints.count(w.findChild<QWidget*>(QStringLiteral("MonitorClient"))), 0u);
    ASSERT_NE(oldBar, newBar);
    ASSERT_FALSE(spy.viewAreas.empty());
    const graph::GraphSize s = view->Size();
    const graph::PixelRect a = graph::LiveBarStrip(s, oldBar);
    const graph::PixelRect b = graph::LiveBarStrip(s, newBar);
    QRegion allowed = QRegion(a.left, a.top, a.Width(), a.Height()) +
                      QRegion(b.left, b.top, b.Width(), b.Height());
    for (const QRegion& r : spy.viewAreas) EXPECT_TRUE((r - allowed).isEmpty());
}

TEST_P(MonitorValues, ResetPeakAccelerationWritesZeroAtTheFirmwaresAddress) {
    // The "Peak Accel." display is off: the peak still comes from the last packet.
    SetProfile("Monitors", 1);
    MonitorWindow& w = Make();
    LinkStreaming(Firmware(), Packet(0, 100, 200, 9));
    const auto write = WriteRequest(Old() ? 0x7D : 0x4B, 0);
    device.AlwaysAnswer(write, {0x06}, 2);
    ASSERT_TRUE(ReadOnePacket());
    w.RefreshDisplays(false);
    w.ResetPeakAcceleration();
    EXPECT_EQ(device.CountOf(write), 1u);
    EXPECT_TRUE(host->Messages().empty());
}

TEST_P(MonitorValues, ResetPeakAccelerationSendsNothingForAZeroPeakOrALinkDown) {
    SetProfile("Monitors", 4);
    MonitorWindow& w = Make();
    LinkStreaming(Firmware(), Packet(0, 100, 200, 0));
    const auto write = WriteRequest(Old() ? 0x7D : 0x4B, 0);
    device.AlwaysAnswer(write, {0x06}, 2);
    ASSERT_TRUE(ReadOnePacket());
    w.RefreshDisplays(false);
    w.ResetPeakAcceleration();
    EXPECT_EQ(device.CountOf(write), 0u);

    // A non-zero peak, but the link is broken before the reset.
    RamMonitor::Instance().Stop();
    device.StreamOnRequest(MonitorStartFrame(Firmware()), Packet(0, 100, 200, 5), 30);
    ASSERT_TRUE(ReadOnePacket());
    w.RefreshDisplays(false);
    ASSERT_EQ(BoxText(2), " 80.0");
    Port().BreakLink();
    const std::size_t before = device.Received().size();
    w.ResetPeakAcceleration();
    EXPECT_EQ(device.Received().size(), before);
    EXPECT_EQ(device.CountOf(write), 0u);
}

INSTANTIATE_TEST_SUITE_P(Firmware, MonitorValues, ::testing::Values(uint8_t{0x10}, uint8_t{0x1A}),
                         [](const auto& info) { return info.param == 0x10 ? "v1_0" : "v1_10"; });

// ---- Postponement -------------------------------------------------------------------

TEST_F(MonitorWindowTest, TogglesArrivingWhileAPacketIsReadArePostponedAndReplayed) {
    MonitorWindow& w = Make();
    Link(0x1A);
    RamMonitor& m = RamMonitor::Instance();
    ASSERT_TRUE(m.Start());
    const std::vector<uint8_t> packet = MonitorPacket(0x1A, {{0x48, 0}, {0x49, 100}});
    // The packet is awaited (the wait dispatches events) when the commands come.
    device.SendAt(host->NowMs() + 20, packet);
    bool reading = false;
    host->ScheduleEventIn(5, [&] {
        reading = m.IsReading();
        w.HandleCommand(gui::kCmdMonitorToggleFirst);
        w.HandleCommand(gui::kCmdMonitorToggleFirst + 5);
        w.HandleCommand(gui::kCmdMonitorToggleFirst);
        w.HandleCommand(gui::kCmdSelectMonitors);
    });
    ASSERT_TRUE(m.UpdateRamImage(nullptr));
    ASSERT_TRUE(reading);
    EXPECT_EQ(w.ActiveCount(), 0);
    EXPECT_EQ(m.PostponedCommands(), (std::vector<int>{32791, 32796, 32806}));

    m.RunPostponedCommands();
    ASSERT_EQ(host->RoutedCommands(), (std::vector<int>{32791, 32796, 32806}));
    int dialogs = 0;
    w.SetDialogRunner([&](gui::MonitorsDialog&) { return ++dialogs; });
    for (int id : host->RoutedCommands()) EXPECT_TRUE(w.HandleCommand(id));
    EXPECT_EQ(w.ActiveCount(), 2);
    EXPECT_TRUE(w.IsOpen());
    EXPECT_EQ(dialogs, 1);
    // A replayed toggle suspends the stream first; the monitor loop restarts it.
    EXPECT_TRUE(m.IsSuspended());
    EXPECT_FALSE(m.IsRunning());
}

}  // namespace
}  // namespace qx::test
