// "Active Monitors": the check boxes start from the active displays, OK
// applies the choice and opens or closes the monitor window, Cancel changes
// nothing. A picture of the dialog is kept under the build folder.
#include <QCheckBox>
#include <QPushButton>
#include <algorithm>

#include "MonitorTestSupport.h"
#include "gui/monitor/MonitorsDialog.h"

namespace qx::test {
namespace {

using gui::MonitorsDialog;
using gui::MonitorWindow;
constexpr int kOk = 1, kCancel = 2;

class ActiveMonitorsDialog : public MonitorWindowTest {
  protected:
    void SetUp() override {
        MonitorWindowTest::SetUp();
        SetProfile("Monitor Window Width", 140);
    }
    // Runs Select ... with the boxes of the given displays checked, then presses button.
    void Choose(std::vector<int> displays, int button) {
        window->SetDialogRunner([&, displays, button](MonitorsDialog& d) {
            d.show();
            QCoreApplication::processEvents();
            for (int i = 0; i < MonitorWindow::kDisplayCount; ++i) {
                const bool on = std::count(displays.begin(), displays.end(), i) > 0;
                d.ControlAs<QCheckBox>(MonitorsDialog::BoxOfDisplay(i))->setChecked(on);
            }
            d.ControlAs<QPushButton>(button)->click();
            ++runs;
            return d.result();
        });
        window->SelectMonitors();
    }
    int runs = 0;
};

TEST_F(ActiveMonitorsDialog, OkWithNoBoxClosesTheWindowAndCancelChangesNothing) {
    Make(3, 1);
    Choose({1, 3, 6}, kCancel);
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(window->MonitorMask(), 3);
    EXPECT_EQ(window->RowOf(1), 1);
    EXPECT_TRUE(window->IsOpen());
    Choose({}, kOk);
    EXPECT_EQ(window->ActiveCount(), 0);
    EXPECT_EQ(window->MonitorMask(), 0);
    EXPECT_FALSE(window->IsOpen());
    EXPECT_EQ(ProfileInt("Monitor Window Width"), 140);
}

TEST_F(ActiveMonitorsDialog, OkOpensAClosedWindowAtTheSavedWidthAndFillsTheBoxes) {
    Make(1, 0);
    LinkStreaming(0x1A, MonitorPacket(0x1A, {{0x48, 0}, {0x49, 100}, {0x40, 200}}));
    ASSERT_TRUE(ReadOnePacket());
    window->RefreshDisplays(true);
    ASSERT_EQ(BoxText(0), " 1611.3");
    // Unchanged choice: the window still opens. The dialog suspended the
    // stream, so the boxes wait for its restart.
    Choose({0}, kOk);
    EXPECT_TRUE(window->IsOpen());
    EXPECT_EQ(window->ClientWidth(), 140);
    EXPECT_TRUE(RamMonitor::Instance().IsSuspended());
    EXPECT_EQ(BoxText(0), "");
    ASSERT_TRUE(ReadOnePacket());
    window->RefreshDisplays(true);
    EXPECT_EQ(BoxText(0), " 1611.3");
}

}  // namespace
}  // namespace qx::test
