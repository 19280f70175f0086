// The main window's title carries "*" before the document's name while the
// document differs from its file, following the history's saved position.
#include <QTest>

#include "AppFixture.h"
#include "gui/graph/MapGraphView.h"

namespace qx::gui::testing {
namespace {

TEST_F(AppTest, TitleMarksUnsavedChangesAndFollowsUndoToTheSavedState) {
    Start();
    CMainFrame* f = app_->Frame();
    const QString file = dir_.filePath(QStringLiteral("ex.qvx"));
    app_->SetFileChooser([&](bool, const QString&) -> std::optional<QString> { return file; });
    f->show();
    f->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(f));
    MapGraphView* view = f->View();
    view->setFocus();

    const struct {
        int key;
        Qt::KeyboardModifiers modifiers;
        const char* title;
    } steps[] = {
        {Qt::Key_Up, Qt::NoModifier, "*Untitled - Quorvex I"},
        {Qt::Key_S, Qt::ControlModifier, "ex.qvx - Quorvex I"},  // saved as ex.qvx
        {Qt::Key_Up, Qt::NoModifier, "*ex.qvx - Quorvex I"},
        {Qt::Key_Z, Qt::ControlModifier, "ex.qvx - Quorvex I"},   // back at the saved state
        {Qt::Key_Z, Qt::ControlModifier, "*ex.qvx - Quorvex I"},  // before it
        {Qt::Key_Y, Qt::ControlModifier, "ex.qvx - Quorvex I"},
        {Qt::Key_Y, Qt::ControlModifier, "*ex.qvx - Quorvex I"},
    };
    EXPECT_EQ(f->windowTitle(), QStringLiteral("Untitled - Quorvex I"));
    int n = 0;
    for (const auto& s : steps) {
        f->OnIdle();  // as after any input: the commands' states follow the history
        QTest::keyClick(view, static_cast<Qt::Key>(s.key), s.modifiers);
        QCoreApplication::processEvents();
        EXPECT_EQ(f->windowTitle().toStdString(), s.title) << "after key " << n;
        EXPECT_EQ(app_->Document().IsModified(), s.title[0] == '*') << "after key " << n;
        ++n;
    }
}

}  // namespace
}  // namespace qx::gui::testing
