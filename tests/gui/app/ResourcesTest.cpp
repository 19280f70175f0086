// The menus, accelerators, toolbar and dialog templates as the program builds them.
#include <QAction>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QRadioButton>
#include <QToolBar>

#include "AppFixture.h"
#include "resources/DialogTemplates.h"
#include "resources/Resources.h"
#include "resources/TemplateDialog.h"
#include "resources/ToolbarImages.h"

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
        const std::string where = path.toStdString() + " #" + std::to_string(i);
        switch (e.kind) {
            case MenuEntry::Kind::Separator:
                EXPECT_TRUE(a->isSeparator()) << where;
                break;
            case MenuEntry::Kind::Popup:
                ASSERT_NE(a->menu(), nullptr) << where;
                EXPECT_EQ(a->text().toStdString(), e.text) << where;
                ExpectMenuMatches(a->menu(), e.children, a->text());
                break;
            case MenuEntry::Kind::Item:
                EXPECT_EQ(a->text().toStdString(), e.text) << where;
                EXPECT_EQ(a->data().toInt(), e.id) << where;
                break;
        }
    }
}

TEST_F(AppTest, MenuBarFollowsTheMenuTable) {
    Start();
    CMainFrame* f = app_->Frame();
    const auto& table = res::MainMenu();
    std::vector<QMenu*> menus = f->Menus();
    ASSERT_EQ(menus.size(), table.size());
    const char* titles[] = {"&File", "&View", "&Maps", "Mo&nitors", "&Settings", "&Help"};
    for (std::size_t i = 0; i < menus.size(); ++i) {
        EXPECT_EQ(menus[i]->title().toStdString(), titles[i]);
        if (menus[i]->title() == QStringLiteral("&Settings")) {
            // The demo choice is the program's own addition to the Settings menu.
            QList<QAction*> rest = menus[i]->actions();
            ASSERT_GE(rest.size(), 3);
            EXPECT_EQ(rest[2]->text(), QStringLiteral("Use the &Module Emulator (Demo)"));
            continue;
        }
        ExpectMenuMatches(menus[i], table[i].children, menus[i]->title());
    }
}

TEST_F(AppTest, AcceleratorsReachTheirCommands) {
    Start();
    CMainFrame* f = app_->Frame();
    for (const res::Accelerator& acc : res::Accelerators()) {
        const QKeySequence keys(QString::fromUtf8(acc.keys.data(), int(acc.keys.size())),
                                QKeySequence::PortableText);
        int owners = 0;
        for (QAction* a : f->findChildren<QAction*>())
            if (a->shortcuts().contains(keys)) {
                ++owners;
                EXPECT_EQ(a->data().toInt(), acc.id) << std::string(acc.keys);
            }
        EXPECT_EQ(owners, 1) << std::string(acc.keys);
    }
    // Write Serial has no key, menu item or button: only routing reaches it.
    for (QAction* a : f->findChildren<QAction*>()) EXPECT_NE(a->data().toInt(), 32790);
    EXPECT_TRUE(f->Commands().Handles(32790));
}

TEST_F(AppTest, ToolbarHasFifteenButtonsWithTipsAndLinkColours) {
    Start();
    CMainFrame* f = app_->Frame();
    std::vector<int> ids;
    for (QAction* a : f->ToolBar()->actions())
        if (!a->isSeparator()) {
            ids.push_back(a->data().toInt());
            const res::CommandStrings* s = res::FindCommandStrings(a->data().toInt());
            ASSERT_NE(s, nullptr);
            EXPECT_EQ(a->toolTip().toStdString(), s->toolTip);
            EXPECT_EQ(a->statusTip().toStdString(), s->prompt);
        }
    const std::vector<int> expected = {57600, 57601, 57603, 32774, 32771, 32772, 32776, 32777,
                                       32778, 32779, 32780, 32781, 32807, 32783, 57664};
    EXPECT_EQ(ids, expected);
    EXPECT_EQ(res::FindCommandStrings(32774)->prompt,
              "Establish/Break communication link with the module");
    // The link button is red in the link-down strip and green in the link-up one;
    // every other picture is the same in both.
    const QImage down = ToolbarStrip(false).toImage();
    const QImage up = ToolbarStrip(true).toImage();
    ASSERT_EQ(down.width(), 15 * 32);
    ASSERT_EQ(down.height(), 28);
    const QPoint lamp(kLinkButtonIndex * 32 + 26, 6);
    EXPECT_GT(qRed(down.pixel(lamp)), 150);
    EXPECT_LT(qGreen(down.pixel(lamp)), 80);
    EXPECT_GT(qGreen(up.pixel(lamp)), 150);
    EXPECT_LT(qRed(up.pixel(lamp)), 80);
    EXPECT_EQ(down.copy(0, 0, 96, 28), up.copy(0, 0, 96, 28));
    EXPECT_EQ(down.copy(128, 0, 352, 28), up.copy(128, 0, 352, 28));
}

TEST(DocTemplate, FieldsSplitAtLineFeeds) {
    EXPECT_EQ(res::DocTemplateField(res::DocField::WindowTitle), "Quorvex I");
    EXPECT_EQ(res::DocTemplateField(res::DocField::DocName), "");
    EXPECT_EQ(res::DocTemplateField(res::DocField::FileNewName), "QuorvexI");
    EXPECT_EQ(res::DocTemplateField(res::DocField::FilterName), "QuorvexI Files (*.qvx)");
    EXPECT_EQ(res::DocTemplateField(res::DocField::FilterExt), ".QVX");
    EXPECT_EQ(res::DocTemplateField(res::DocField::TypeName), "QuorvexI Document");
}

TEST_F(AppTest, TemplatesAreLaidOutInDialogUnits) {
    Start();
    for (const res::DialogTemplate* t : res::AllDialogTemplates()) {
        TemplateDialog d(*t);
        const DialogUnits& u = d.Units();
        const QFontMetrics fm(d.font());
        EXPECT_EQ(u.baseY, fm.height());
        EXPECT_EQ(d.width(), (t->width * u.baseX * 2 + 4) / 8) << t->id;
        EXPECT_EQ(d.windowTitle().toStdString(), t->caption);
        for (const res::ControlTemplate& c : t->controls) {
            if (c.id == res::kNoId) continue;
            QWidget* w = d.Control(c.id);
            ASSERT_NE(w, nullptr) << t->id << "/" << c.id;
            EXPECT_EQ(w->geometry(), u.ToPixels(c.x, c.y, c.width, c.height)) << c.id;
            EXPECT_EQ(w->isHidden(), (c.style & res::kHidden) != 0) << c.id;
        }
    }
    // Half units round to the nearest pixel.
    DialogUnits u{7, 15};
    EXPECT_EQ(u.ToPixelsX(2), 4);  // 3.5
    EXPECT_EQ(u.ToPixelsY(4), 8);  // 7.5
    EXPECT_EQ(u.ToPixelsY(8), 15);
}

TEST_F(AppTest, TemplateDialogExchangesDataById) {
    Start();
    TemplateDialog d(res::kBasicSetupDialog);
    // Radio groups: 1003/1004 form one group, separate from anything else.
    d.SetRadioIndex(1003, 1);
    EXPECT_TRUE(d.IsChecked(1004));
    EXPECT_FALSE(d.IsChecked(1003));
    EXPECT_EQ(d.RadioIndex(1003), 1);
    d.SetRadioIndex(1003, -1);
    EXPECT_EQ(d.RadioIndex(1003), -1);
    d.SetChecked(1017, true);
    EXPECT_TRUE(d.IsChecked(1017));
    EXPECT_TRUE(d.Control(1017)->isHidden());
    EXPECT_FALSE(d.Control(9)->isEnabled());
    // Numbers keep a decimal point under a decimal-comma locale.
    d.SetNumber(1006, "%.2f", 1.5);
    EXPECT_EQ(d.Text(1006), QStringLiteral("1.50"));
    d.SetText(1005, QStringLiteral(" 6100.25rpm"));
    EXPECT_DOUBLE_EQ(d.Number(1005), 6100.25);
    d.SetText(1005, QStringLiteral("abc"));
    EXPECT_DOUBLE_EQ(d.Number(1005), 0.0);
    EXPECT_EQ(d.Control(4242), nullptr);
    EXPECT_EQ(d.Text(4242), QString());

    TemplateDialog ports(res::kSerialPortDialog);
    ports.SetRadioIndex(1018, 2);
    EXPECT_TRUE(ports.IsChecked(1020));
    EXPECT_EQ(ports.RadioIndex(1018), 2);
}

}  // namespace
}  // namespace qx::gui::testing
