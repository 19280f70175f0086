// The Edit menu: Undo and Redo name the step they take, follow the history
// and the module's state.
#include <QTest>

#include "AppFixture.h"
#include "core/host/CommandIds.h"
#include "core/link/CommPort.h"
#include "gui/graph/MapGraphView.h"

namespace qx::gui::testing {
namespace {

TEST_F(AppTest, UndoAndRedoNameTheStepAndFollowTheHistory) {
    Start();
    CMainFrame* f = app_->Frame();
    MapGraphView* view = f->View();
    ModuleValue& point = *app_->Document().Map(0)->Point(0).value;
    auto enabled = [&](int id) { return f->Commands().StateOf(id).enabled; };
    EXPECT_EQ(MenuText(cmd::kEditUndo), QStringLiteral("&Undo\tCtrl+Z"));
    EXPECT_FALSE(enabled(cmd::kEditUndo));
    EXPECT_FALSE(enabled(cmd::kEditRedo));

    view->setFocus();
    QTest::keyClick(view, Qt::Key_Up);
    ASSERT_EQ(point.GetValue(), 1.0);
    EXPECT_EQ(MenuText(cmd::kEditUndo), QStringLiteral("&Undo Step Map 1 Point 1\tCtrl+Z"));
    EXPECT_TRUE(app_->Document().IsModified());

    {
        CommandBusyScope busy(false, false);  // a module command runs
        EXPECT_FALSE(enabled(cmd::kEditUndo));
    }
    Route(cmd::kEditUndo);
    EXPECT_EQ(point.GetValue(), 0.0);
    EXPECT_FALSE(app_->Document().IsModified());
    EXPECT_EQ(MenuText(cmd::kEditRedo), QStringLiteral("&Redo Step Map 1 Point 1\tCtrl+Y"));
    EXPECT_FALSE(enabled(cmd::kEditUndo));

    Route(cmd::kEditRedo);
    EXPECT_EQ(point.GetValue(), 1.0);
    EXPECT_FALSE(enabled(cmd::kEditRedo));
}

}  // namespace
}  // namespace qx::gui::testing
