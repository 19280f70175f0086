// The accelerators and the toolbar as the program builds them.
#include <QAction>
#include <QToolBar>

#include "AppFixture.h"
#include "core/host/CommandIds.h"
#include "gui/resources/Resources.h"
#include "gui/resources/ToolbarImages.h"

namespace qx::gui::testing {
namespace {

TEST_F(AppTest, EveryAcceleratorHasOneOwner) {
    Start();
    CMainFrame* f = app_->Frame();
    for (const res::Accelerator& acc : res::Accelerators()) {
        SCOPED_TRACE(std::string(acc.keys));
        const QKeySequence keys(QString::fromUtf8(acc.keys.data(), int(acc.keys.size())),
                                QKeySequence::PortableText);
        int owners = 0;
        for (QAction* a : f->findChildren<QAction*>())
            if (a->shortcuts().contains(keys)) {
                ++owners;
                EXPECT_EQ(a->data().toInt(), acc.id);
            }
        EXPECT_EQ(owners, 1);
    }
    // Write Serial has no key, menu item or button: only routing reaches it.
    for (QAction* a : f->findChildren<QAction*>()) EXPECT_NE(a->data().toInt(), cmd::kWriteSerial);
    EXPECT_TRUE(f->Commands().Handles(cmd::kWriteSerial));
}

TEST_F(AppTest, ToolbarHasSeventeenButtonsWithTipsAndLinkColours) {
    Start();
    std::vector<int> ids;
    for (QAction* a : app_->Frame()->ToolBar()->actions())
        if (!a->isSeparator()) {
            ids.push_back(a->data().toInt());
            const res::CommandStrings* s = res::FindCommandStrings(a->data().toInt());
            ASSERT_NE(s, nullptr);
            EXPECT_EQ(a->toolTip().toStdString(), s->toolTip);
            EXPECT_EQ(a->statusTip().toStdString(), s->prompt);
        }
    EXPECT_EQ(ids, (std::vector<int>{cmd::kFileNew, cmd::kFileOpen, cmd::kFileSave, cmd::kEditUndo,
                                     cmd::kEditRedo, cmd::kLink, cmd::kUpload, cmd::kDownload,
                                     cmd::kMapFirst, cmd::kMapFirst + 1, cmd::kMapFirst + 2,
                                     cmd::kMapFirst + 3, cmd::kMapFirst + 4, cmd::kMapFirst + 5,
                                     cmd::kToggleMonitoring, cmd::kBasicSettings, cmd::kAppAbout}));
    // The link button is red when down and green when up; the rest is the same.
    const QImage down = ToolbarStrip(false).toImage();
    const QImage up = ToolbarStrip(true).toImage();
    ASSERT_EQ(down.size(), QSize(17 * 32, 28));
    const QPoint lamp(kLinkButtonIndex * 32 + 26, 6);
    EXPECT_GT(qRed(down.pixel(lamp)), 150);
    EXPECT_LT(qGreen(down.pixel(lamp)), 80);
    EXPECT_GT(qGreen(up.pixel(lamp)), 150);
    EXPECT_LT(qRed(up.pixel(lamp)), 80);
    EXPECT_EQ(down.copy(0, 0, 160, 28), up.copy(0, 0, 160, 28));
    EXPECT_EQ(down.copy(192, 0, 352, 28), up.copy(192, 0, 352, 28));
    // Undo and Redo: arrows turning opposite ways, neither blank.
    const QImage undo = down.copy(96, 0, 32, 28);
    const QImage redo = down.copy(128, 0, 32, 28);
    EXPECT_NE(undo, redo);
    EXPECT_GT(qAlpha(undo.pixel(6, 12)), 0);   // the undo arrow's head at the left
    EXPECT_GT(qAlpha(redo.pixel(25, 12)), 0);  // the redo arrow's head at the right
}

}  // namespace
}  // namespace qx::gui::testing
