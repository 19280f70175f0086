// The dialogs reached through the main window's commands.
#include "DialogTestSupport.h"
#include "app/MainFrame.h"
#include "app/QtHost.h"
#include "dialogs/BasicSetupDialog.h"
#include "dialogs/SetSerialPortDialog.h"
#include "dialogs/SettingsDialogs.h"
#include "dialogs/WriteSerialDialog.h"
#include "resources/Resources.h"

namespace qx::test {
namespace {

class SettingsCommandsTest : public DialogTest {
  protected:
    SettingsCommandsTest() {
        // The scripted host stays the current one; the frame only needs a Qt host.
        frame = std::make_unique<gui::CMainFrame>(qtHost, document);
        gui::InstallSettingsDialogs(*frame, document);
    }
    ~SettingsCommandsTest() override { frame.reset(); }

    // Routes id; true when a modal window of type W opened (it is then cancelled).
    template <class W>
    bool RouteOpens(int id, QWidget** parent = nullptr) {
        auto modal = ModalDriver::When<W>([parent](W& w) {
            if (parent) *parent = w.parentWidget();
            w.reject();
        });
        frame->Commands().Route(id);
        return modal->Ran();
    }

    gui::QtHost qtHost;
    std::unique_ptr<gui::CMainFrame> frame;
};

TEST_F(SettingsCommandsTest, EachCommandRunsItsDialogModally) {
    QWidget* parent = nullptr;
    EXPECT_TRUE(RouteOpens<gui::BasicSetupDialog>(res::kBasicSettings, &parent));
    EXPECT_EQ(parent, frame.get());
    EXPECT_TRUE(RouteOpens<gui::SetSerialPortDialog>(res::kSerialPort, &parent));
    EXPECT_EQ(parent, frame.get());  // no parent given: the main window owns it
    // Write Serial is enabled only while linked.
    EXPECT_FALSE(RouteOpens<gui::WriteSerialDialog>(res::kWriteSerial));
    LinkModule();
    EXPECT_TRUE(RouteOpens<gui::WriteSerialDialog>(res::kWriteSerial, &parent));
    EXPECT_EQ(parent, frame.get());
}

TEST_F(SettingsCommandsTest, BasicSettingsWhileTheModuleIsBusyIsPostponed) {
    CommandBusyScope busy(false);
    EXPECT_FALSE(RouteOpens<gui::BasicSetupDialog>(res::kBasicSettings));
    EXPECT_EQ(RamMonitor::Instance().PostponedCommands(), (std::vector<int>{res::kBasicSettings}));
}

}  // namespace
}  // namespace qx::test
