// The menus, accelerators, toolbar and dialog templates as the program builds them.
#include <QAction>
#include <QMenu>
#include <QToolBar>

#include "AppFixture.h"
#include "gui/resources/Resources.h"
#include "gui/resources/ToolbarImages.h"

namespace qx::gui::testing {
namespace {

using res::MenuEntry;

// Compares a built menu with its table entry by entry, recursively.
void ExpectMenuMatches(QMenu* menu, const std::vector<MenuEntry>& entries, const QString& path) {
    QList<QAction*> actions;
    for (QAction* a : menu->actions())
        if (a->isVisible() || a->isSeparator()) actions.append(a);
    ASSERT_EQ(actions.size(), static_cast<int>(entries.size())) << path.toStdString();
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const MenuEntry& e = entries[i];
        QAction* a = actions[static_cast<int>(i)];
        SCOPED_TRACE(path.toStdString() + " #" + std::to_string(i));
        EXPECT_EQ(a->isSeparator(), e.kind == MenuEntry::Kind::Separator);
        if (e.kind == MenuEntry::Kind::Separator) continue;
        // The key after the tab is the accelerator table's (tested below).
        const std::string text = e.kind == MenuEntry::Kind::Item
                                     ? a->text().section(QLatin1Char('\t'), 0, 0).toStdString()
                                     : a->text().toStdString();
        EXPECT_EQ(text, std::string(e.text.substr(0, e.text.find('\t'))));
        if (e.kind == MenuEntry::Kind::Item) {
            EXPECT_EQ(a->data().toInt(), e.id);
        }
        if (e.kind != MenuEntry::Kind::Popup) continue;
        ASSERT_NE(a->menu(), nullptr);
        ExpectMenuMatches(a->menu(), e.children, a->text());
    }
}

TEST_F(AppTest, MenusAndAcceleratorsFollowTheTables) {
    Start();
    CMainFrame* f = app_->Frame();
    const auto& table = res::MainMenu();
    std::vector<QMenu*> menus = f->Menus();
    ASSERT_EQ(menus.size(), table.size());
    const char* titles[] = {"&File", "&Edit", "&View", "&Maps", "Mo&nitors", "&Settings", "&Help"};
    for (std::size_t i = 0; i < menus.size(); ++i) {
        EXPECT_EQ(menus[i]->title().toStdString(), titles[i]);
        if (menus[i]->title() != QStringLiteral("&Settings")) {
            ExpectMenuMatches(menus[i], table[i].children, menus[i]->title());
            continue;
        }
        // The demo choice is the program's own addition to the Settings menu.
        QList<QAction*> rest = menus[i]->actions();
        ASSERT_GE(rest.size(), 3);
        EXPECT_EQ(rest[2]->text(), QStringLiteral("Use the &Module Emulator (Demo)"));
    }
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
    for (QAction* a : f->findChildren<QAction*>()) EXPECT_NE(a->data().toInt(), 32790);
    EXPECT_TRUE(f->Commands().Handles(32790));
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
    EXPECT_EQ(ids, (std::vector<int>{57600, 57601, 57603, 57643, 57644, 32774, 32771, 32772, 32776,
                                     32777, 32778, 32779, 32780, 32781, 32807, 32783, 57664}));
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
