// A message box raised while the "Please wait..." window is up (a link that
// fails, a question in the middle of a transfer) is not shown with an empty
// wait window behind it: the wait window goes while the box is up and comes
// back for the work that goes on after the answer.
#include <QAbstractButton>
#include <QMessageBox>
#include <QTimer>

#include "AppFixture.h"
#include "gui/shell/ModelessWait.h"

namespace qx::gui::testing {
namespace {

TEST_F(AppTest, WaitWindowStepsAsideWhileAMessageBoxIsUp) {
    Start();
    app_->SetMessageAnswerer({});  // real boxes
    app_->Frame()->show();
    QtHost& host = app_->Host();
    host.ShowWaitWindow("...while the communications link is established with the module");
    ModelessWait* wait = host.WaitWindow();
    ASSERT_NE(wait, nullptr);
    ASSERT_TRUE(wait->isVisible());

    bool boxSeen = false;
    bool waitVisibleWithBox = true;
    QTimer poll;
    poll.setInterval(0);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || !box->isVisible()) return;
        boxSeen = true;
        waitVisibleWithBox = host.WaitWindow() != nullptr && host.WaitWindow()->isVisible();
        box->button(QMessageBox::Ok)->click();
    });
    poll.start();
    host.MessageBox("Unable to establish the link", "Communications Error", MsgButtons::Ok,
                    MsgIcon::Error);
    poll.stop();
    ASSERT_TRUE(boxSeen);
    EXPECT_FALSE(waitVisibleWithBox) << "an empty wait window stands with the message";
    ASSERT_EQ(host.WaitWindow(), wait);
    EXPECT_TRUE(wait->isVisible()) << "the work goes on: its window is back";
    host.CloseWaitWindow();
}

}  // namespace
}  // namespace qx::gui::testing
