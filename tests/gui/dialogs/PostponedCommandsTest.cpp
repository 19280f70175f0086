// The dialogs reached through the main window's commands, and the command
// table putting off every command that talks to the module or opens a modal
// window while the module is busy, for the monitor to replay after.
#include <QDialog>

#include "DialogTestSupport.h"
#include "core/link/CommPort.h"
#include "core/monitor/RamMonitor.h"
#include "gui/app/MainFrame.h"
#include "gui/dialogs/BasicSetupDialog.h"
#include "gui/dialogs/SetSerialPortDialog.h"
#include "gui/dialogs/SettingsDialogs.h"
#include "gui/dialogs/WriteSerialDialog.h"
#include "gui/monitor/MonitorCommands.h"
#include "gui/playback/EngineLogs.h"
#include "gui/resources/Resources.h"
#include "gui/sheet/SheetCommands.h"
#include "gui/shell/LiveSamples.h"
#include "gui/shell/QtHost.h"

namespace qx::test {
namespace {

class FrameCommandsTest : public DialogTest {
  protected:
    FrameCommandsTest() {
        // The scripted host stays the current one: replays are recorded, not run.
        frame = std::make_unique<gui::CMainFrame>(
            qtHost, document, AppProfile(), CommPort::Instance(), RamMonitor::Instance(), samples);
        gui::InstallSettingsDialogs(frame->Services(), document, *host, AppProfile(),
                                    CommPort::Instance());
        gui::InstallEngineLogs(
            frame->Services(),
            gui::InstallMonitorWindow(frame->Services(), AppProfile(), RamMonitor::Instance()),
            AppProfile(), RamMonitor::Instance(), CurrentHost());
        gui::InstallTuneSheet(frame->Services(), qtHost, document);
    }
    ~FrameCommandsTest() override { frame.reset(); }

    // Routes id; true when a modal window of type W owned by the frame opened
    // (it is then cancelled).
    template <class W>
    bool RouteOpens(int id) {
        auto modal = ModalDriver::When<W>([this](W& w) {
            EXPECT_TRUE(w.isModal());
            EXPECT_EQ(w.parentWidget(), frame.get());
            w.reject();
        });
        frame->Commands().Route(id);
        return modal->Ran();
    }

    gui::QtHost qtHost;
    gui::LiveSamples samples{RamMonitor::Instance().Samples()};
    std::unique_ptr<gui::CMainFrame> frame;
};

TEST_F(FrameCommandsTest, EachSettingsCommandRunsItsDialogModally) {
    EXPECT_TRUE(RouteOpens<gui::BasicSetupDialog>(res::kBasicSettings));
    EXPECT_TRUE(RouteOpens<gui::SetSerialPortDialog>(res::kSerialPort));
    EXPECT_FALSE(RouteOpens<gui::WriteSerialDialog>(res::kWriteSerial));  // only while linked
    LinkModule();
    EXPECT_TRUE(RouteOpens<gui::WriteSerialDialog>(res::kWriteSerial));
}

TEST_F(FrameCommandsTest, ModuleCommandsArrivingWhileBusyAreReplayedAfter) {
    LinkModule();
    RamMonitor& monitor = RamMonitor::Instance();
    auto check = [&](int id, bool heldBack) {
        SCOPED_TRACE(id);
        host->ClearRecords();
        // A modal window opened while busy would wait for a user: closed, it fails the row.
        auto modal = ModalDriver::When<QDialog>([](QDialog& w) { w.reject(); });
        {
            CommandBusyScope busy(false, false);  // a module command runs
            frame->Commands().Route(id);
            EXPECT_FALSE(modal->Ran()) << "a modal window opened";
            EXPECT_EQ(monitor.PostponedCommands(),
                      heldBack ? std::vector<int>{id} : std::vector<int>{});
        }
        monitor.RunPostponedCommands();
        EXPECT_TRUE(monitor.PostponedCommands().empty());
        EXPECT_EQ(host->RoutedCommands(), heldBack ? std::vector<int>{id} : std::vector<int>{});
    };
    // The link, the settings dialogs, the edits.
    for (int id : {cmd::kUpload, cmd::kDownload, cmd::kLink, cmd::kToggleMonitoring,
                   cmd::kBasicSettings, cmd::kSerialPort, cmd::kWriteSerial, cmd::kEditUndo,
                   cmd::kEditRedo, cmd::kEditPaste, cmd::kCurveInterpolate, cmd::kCurveSmooth,
                   cmd::kCurveScale, cmd::kCurveOffset, cmd::kCurveSetAll, cmd::kSetYValue})
        check(id, true);
    // Comparing, printing, logs, help and the monitor.
    for (int id : {cmd::kCompareWithFile, cmd::kCompareWithModule, cmd::kUseOtherValue,
                   cmd::kFilePrint, cmd::kExportTuneSheet, cmd::kRecordLog, cmd::kOpenLog,
                   cmd::kHelpFinder, cmd::kResetPeakAcceleration, cmd::kSelectMonitors,
                   cmd::CommandId(cmd::kMonitorToggleFirst + 2)})
        check(id, true);
    // Nothing of the module: these run at once, busy or not.
    for (int id : {cmd::kViewToolbar, cmd::CommandId(cmd::kMapFirst + 1)}) check(id, false);
    EXPECT_EQ(document.CurrentMap(), 1);
}

}  // namespace
}  // namespace qx::test
