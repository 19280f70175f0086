// Monitoring in the demo setup: the program's host, frame and view with the
// monitor window, linked to the module emulator on a pseudo-terminal at 9600
// baud. Ctrl+M runs the monitor loop until the displays and the live bar have
// followed the emulated engine for a while and an arrow step has been written
// in between; a picture of the main window is kept for a reviewer.
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QTimer>
#include <set>
#include <string>

#include "MonitorTestSupport.h"
#include "core/maps/ModuleMap.h"
#include "emulator/EngineModel.h"
#include "emulator/PtyEmulator.h"
#include "gui/FrameOnPortTest.h"
#include "gui/monitor/MonitorCommands.h"
#include "gui/resources/Resources.h"

namespace qx::test {
namespace {

class DemoMonitoring : public FrameOnPortTest {
  protected:
    void SetUp() override {
        FrameOnPortTest::SetUp();
        std::string why;
        ASSERT_TRUE(emulator.Start(&why)) << why;
        device = emulator.SlavePath();
        AppProfile().WriteInt("Settings", "Monitors", 0x7F);
        AppProfile().WriteInt("Settings", "Monitor Window Open", 1);
        QObject::connect(host.get(), &gui::QtHost::idleDue, frame.get(), &gui::CMainFrame::OnIdle);
        window = gui::InstallMonitorWindow(frame->Services(), AppProfile(), RamMonitor::Instance());
        frame->View()->OnInitialUpdate();
        frame->resize(900, 640);
        frame->show();
        QCoreApplication::processEvents();
    }
    void TearDown() override {
        FrameOnPortTest::TearDown();
        emulator.Stop();
    }

    emu::PtyEmulator emulator;
    gui::MonitorWindow* window = nullptr;
};

// Monitoring ends when enough has been seen, not after a time: how many
// packets arrive in a second depends on the machine's load. The deadline is
// only there to end a run where nothing arrives at all.
TEST_F(DemoMonitoring, DisplaysAndTheLiveBarFollowTheEmulatedEngine) {
    ASSERT_EQ(window->ActiveCount(), 7);
    ASSERT_TRUE(frame->Commands().Route(res::kLink));
    ASSERT_TRUE(CommPort::Instance().IsLinked());
    gui::MapGraphView& view = *frame->View();

    std::set<std::string> speeds;
    std::set<int> barColumns;
    std::vector<std::pair<double, double>> battery;  // shown, and in the emulator's memory
    const ModuleValue& stepped = *view.CurrentMap()->Point(3).value;
    const double valueBefore = stepped.GetValue();
    bool stepSent = false;
    bool stopSent = false;
    QElapsedTimer clock;
    QTimer sampler;
    sampler.setInterval(50);
    QObject::connect(&sampler, &QTimer::timeout, [&] {
        if (!RamMonitor::Instance().IsRunning() || stopSent) return;
        const std::string speed = window->Display(0)->Text();
        if (speeds.empty() && speed.empty()) return;  // no packet shown yet
        speeds.insert(speed);
        barColumns.insert(view.XToPixel(view.CurrentMap()->LiveX()));
        const std::string shown = window->Display(5)->Text();
        if (!shown.empty())
            battery.emplace_back(std::stod(shown), emulator.Peek(0x45) * 16.0 / 255.0);
        if (!stepSent && speeds.size() >= 3) {
            // An arrow step while monitoring is written to the module between packets.
            stepSent = true;
            SavePicture(frame->grab().toImage(), QStringLiteral("monitor-main-window.png"));
            view.SelectMarkerByIndex(3);
            QKeyEvent press(QEvent::KeyPress, Qt::Key_Up, Qt::NoModifier);
            QCoreApplication::sendEvent(&view, &press);
            QKeyEvent release(QEvent::KeyRelease, Qt::Key_Up, Qt::NoModifier);
            QCoreApplication::sendEvent(&view, &release);
        }
        const bool seenEnough = stepSent && stepped.InSync() && speeds.size() >= 6 &&
                                barColumns.size() >= 4 && battery.size() >= 3;
        if (seenEnough || clock.elapsed() > 120'000) {
            stopSent = true;
            frame->Commands().Route(res::kToggleMonitoring);
        }
    });

    const auto packetsBefore = emulator.Counters().monitorPackets;
    clock.start();
    sampler.start();
    ASSERT_TRUE(frame->Commands().Route(res::kToggleMonitoring));  // returns when stopped
    sampler.stop();
    const int packets = emulator.Counters().monitorPackets - packetsBefore;

    EXPECT_FALSE(RamMonitor::Instance().IsRunning());
    EXPECT_GE(packets, 6);
    EXPECT_GE(speeds.size(), 6u);
    EXPECT_EQ(speeds.count(""), 0u);
    EXPECT_GE(barColumns.size(), 4u);
    ASSERT_FALSE(battery.empty());
    // The emulated battery wanders a little round its nominal voltage.
    for (const auto& [shown, expected] : battery) {
        EXPECT_NEAR(shown, emu::EngineModel::kBatteryVolts, 0.35);
        EXPECT_NEAR(shown, expected, 0.25);
    }
    EXPECT_TRUE(stepSent);
    EXPECT_EQ(stepped.GetValue(), valueBefore + view.CurrentMap()->Step());
    EXPECT_TRUE(stepped.InSync());
    EXPECT_EQ(window->Display(0)->Text(), "");  // stopped: emptied by the frame's refresh
}

}  // namespace
}  // namespace qx::test
