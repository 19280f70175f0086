// The command table puts off every command that talks to the module or opens
// a modal window while the module is busy, and the monitor replays it after.
#include "DialogTestSupport.h"
#include "core/link/CommPort.h"
#include "core/monitor/RamMonitor.h"
#include "gui/app/MainFrame.h"
#include "gui/dialogs/SettingsDialogs.h"
#include "gui/monitor/MonitorCommands.h"
#include "gui/playback/EngineLogs.h"
#include "gui/resources/Resources.h"
#include "gui/sheet/SheetCommands.h"
#include "gui/shell/LiveSamples.h"
#include "gui/shell/QtHost.h"

namespace qx::test {
namespace {

class PostponedCommandsTest : public DialogTest {
  protected:
    PostponedCommandsTest() {
        // The scripted host stays the current one: replays are recorded, not run.
        frame = std::make_unique<gui::CMainFrame>(qtHost, document, CommPort::Instance(),
                                                  RamMonitor::Instance(), samples);
        gui::InstallSettingsDialogs(frame->Services(), document, qtHost, AppProfile(),
                                    CommPort::Instance());
        gui::InstallEngineLogs(
            frame->Services(),
            gui::InstallMonitorWindow(frame->Services(), AppProfile(), RamMonitor::Instance()),
            AppProfile(), RamMonitor::Instance(), CurrentHost());
        gui::InstallTuneSheet(frame->Services(), qtHost, document);
    }
    ~PostponedCommandsTest() override { frame.reset(); }

    gui::QtHost qtHost;
    gui::LiveSamples samples{RamMonitor::Instance().Samples()};
    std::unique_ptr<gui::CMainFrame> frame;
};

struct Case {
    int id;
    bool postponed;  // false: it runs at once, busy or not
};

TEST_F(PostponedCommandsTest, ModuleCommandsArrivingWhileBusyAreReplayedAfter) {
    LinkModule();
    const Case cases[] = {
        {cmd::kUpload, true},
        {cmd::kDownload, true},
        {cmd::kLink, true},
        {cmd::kToggleMonitoring, true},
        {cmd::kBasicSettings, true},
        {cmd::kSerialPort, true},
        {cmd::kWriteSerial, true},
        {cmd::kEditUndo, true},
        {cmd::kEditRedo, true},
        {cmd::kEditPaste, true},
        {cmd::kCurveInterpolate, true},
        {cmd::kCurveSmooth, true},
        {cmd::kCurveScale, true},
        {cmd::kCurveOffset, true},
        {cmd::kCurveSetAll, true},
        {cmd::kCompareWithFile, true},
        {cmd::kCompareWithModule, true},
        {cmd::kUseOtherValue, true},
        {cmd::kFilePrint, true},
        {cmd::kExportTuneSheet, true},
        {cmd::kRecordLog, true},
        {cmd::kOpenLog, true},
        {cmd::kHelpFinder, true},
        {cmd::kResetPeakAcceleration, true},
        {cmd::kSelectMonitors, true},
        {cmd::kMonitorToggleFirst + 2, true},
        {cmd::kSetYValue, true},
        // Nothing of the module: these run at once.
        {cmd::kViewToolbar, false},
        {cmd::kMapFirst + 1, false},
    };
    RamMonitor& monitor = RamMonitor::Instance();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        host->ClearRecords();
        {
            CommandBusyScope busy(false, false);  // a module command runs
            frame->Commands().Route(c.id);
            EXPECT_EQ(monitor.PostponedCommands(),
                      c.postponed ? std::vector<int>{c.id} : std::vector<int>{});
        }
        monitor.RunPostponedCommands();
        EXPECT_TRUE(monitor.PostponedCommands().empty());
        EXPECT_EQ(host->RoutedCommands(),
                  c.postponed ? std::vector<int>{c.id} : std::vector<int>{});
    }
    EXPECT_EQ(document.CurrentMap(), 1);
}

}  // namespace
}  // namespace qx::test
