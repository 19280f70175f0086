// The dialogs reached through the main window's commands.
#include "DialogTestSupport.h"
#include "gui/app/MainFrame.h"
#include "gui/dialogs/BasicSetupDialog.h"
#include "gui/dialogs/SetSerialPortDialog.h"
#include "gui/dialogs/SettingsDialogs.h"
#include "gui/dialogs/WriteSerialDialog.h"
#include "gui/resources/Resources.h"
#include "gui/shell/LiveSamples.h"
#include "gui/shell/QtHost.h"

namespace qx::test {
namespace {

class SettingsCommandsTest : public DialogTest {
  protected:
    SettingsCommandsTest() {
        // The scripted host stays the current one; the frame only needs a Qt host.
        frame = std::make_unique<gui::CMainFrame>(qtHost, document, CommPort::Instance(),
                                                  RamMonitor::Instance(), samples);
        gui::InstallSettingsDialogs(frame->Services(), document, *host, AppProfile(),
                                    CommPort::Instance());
    }
    ~SettingsCommandsTest() override { frame.reset(); }

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

// Each command runs its dialog modally, owned by the main window.
TEST_F(SettingsCommandsTest, EachCommandRunsItsDialogModally) {
    EXPECT_TRUE(RouteOpens<gui::BasicSetupDialog>(res::kBasicSettings));
    EXPECT_TRUE(RouteOpens<gui::SetSerialPortDialog>(res::kSerialPort));
    EXPECT_FALSE(RouteOpens<gui::WriteSerialDialog>(res::kWriteSerial));  // only while linked
    LinkModule();
    EXPECT_TRUE(RouteOpens<gui::WriteSerialDialog>(res::kWriteSerial));
}

TEST_F(SettingsCommandsTest, TheDialogCommandsAreHeldBackWhileTheModuleIsBusy) {
    CommandBusyScope busy(false);
    EXPECT_FALSE(RouteOpens<gui::BasicSetupDialog>(res::kBasicSettings));
    EXPECT_FALSE(RouteOpens<gui::SetSerialPortDialog>(res::kSerialPort));
    EXPECT_EQ(RamMonitor::Instance().PostponedCommands(),
              (std::vector<int>{res::kBasicSettings, res::kSerialPort}));
}

}  // namespace
}  // namespace qx::test
