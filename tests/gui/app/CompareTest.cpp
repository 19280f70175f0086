// Comparing the edited tune with a file or with the module: the curve drawn
// under the edited one, the marks on the Maps menu and toolbar, and the
// Differences window with its jump and its Use Other Value.
#include <QAction>
#include <QFile>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QToolBar>
#include <QTreeWidget>

#include "AppFixture.h"
#include "edit/CompareCommands.h"
#include "edit/DifferencesWindow.h"
#include "edit/TuneComparison.h"
#include "graph/MapGraphView.h"
#include "gui/GuiTestSupport.h"

namespace qx::gui::testing {
namespace {

class CompareTest : public AppTest {
  protected:
    ModuleState& Doc() { return app_->Document(); }
    CompareCommands& Compare() { return *app_->Frame()->Compare(); }
    void CompareWith(const QString& path) {
        Compare().SetChooser([path] { return std::optional<QString>(path); });
        Route(cmd::kCompareWithFile);
    }
    QString MenuText(int id) {
        app_->Frame()->OnIdle();
        for (QAction* a : app_->Frame()->Commands().ActionsFor(id))
            if (!app_->Frame()->ToolBar()->actions().contains(a)) return a->text();
        return {};
    }
    QColor ButtonCorner(int id) {
        for (QAction* a : app_->Frame()->ToolBar()->actions())
            if (a->data().toInt() == id) {
                const QImage img = a->icon().pixmap(QSize(32, 28)).toImage();
                return img.pixelColor(img.width() - 4, 4);
            }
        return {};
    }
    // A file holding the new document with Rev Limit 8000 and map 1 point 3 at 20.
    QString SavedTune() {
        Doc().History().Perform(
            "Set", {{SettingKey::Basic(kRevLimit), 8000.0}, {SettingKey::Point(0, 2), 20.0}});
        const QString path = dir_.filePath(QStringLiteral("last-week.qvx"));
        EXPECT_EQ(Doc().OnSaveDocument(path.toStdString()), DocStatus::Done);
        Doc().History().Undo();
        return path;
    }
};

TEST_F(CompareTest, AFileIsDrawnMarkedListedAndTakenIntoTheTuneAsAnEdit) {
    Start();
    SetMirrorSetting(true);
    const QString path = SavedTune();
    const bool modified = Doc().IsModified();
    CompareWith(path);
    const TuneComparison& c = Compare().Comparison();
    ASSERT_TRUE(c.Active());
    EXPECT_EQ(c.Name(), "last-week.qvx");
    MapGraphView* view = app_->Frame()->View();
    EXPECT_EQ(view->Comparison(), &c);
    // Both spark advance maps moved (they are paired); the others did not.
    const std::vector<TuneDifference> want = {{SettingKey::Basic(kRevLimit), 6144.0, 8064.0},
                                              {SettingKey::Point(0, 2), 0.0, 20.0},
                                              {SettingKey::Point(1, 2), 0.0, 20.0}};
    EXPECT_EQ(c.Differences(), want);
    EXPECT_TRUE(MenuText(cmd::kMapFirst).contains(QStringLiteral("\u25CF")));
    EXPECT_TRUE(MenuText(cmd::kMapFirst + 1).contains(QStringLiteral("\u25CF")));
    EXPECT_FALSE(MenuText(cmd::kMapFirst + 2).contains(QStringLiteral("\u25CF")));
    EXPECT_EQ(ButtonCorner(cmd::kMapFirst), QColor(255, 140, 0));
    EXPECT_NE(ButtonCorner(cmd::kMapFirst + 2), QColor(255, 140, 0));
    EXPECT_EQ(Doc().IsModified(), modified);  // comparing edits nothing

    app_->Frame()->resize(900, 620);
    app_->Frame()->show();
    QCoreApplication::processEvents();
    qx::test::SavePicture(view->grab().toImage(), QStringLiteral("graph-with-comparison.png"));

    Route(cmd::kDifferencesWindow);
    DifferencesWindow* w = Compare().Differences();
    ASSERT_NE(w, nullptr);
    ASSERT_EQ(w->List()->topLevelItemCount(), 3);
    EXPECT_EQ(w->List()->topLevelItem(0)->text(0), QStringLiteral("Rev Limit"));
    EXPECT_EQ(w->List()->topLevelItem(0)->text(3), QStringLiteral("-1920 rpm"));
    qx::test::SavePicture(w->grab().toImage(), QStringLiteral("differences-window.png"));

    // A double click shows the point's map with the point selected.
    Doc().OnSelectMap(cmd::kMapFirst + 3);
    QTreeWidgetItem* rear = w->List()->topLevelItem(2);
    const QRect r = w->List()->visualItemRect(rear);
    QTest::mouseClick(w->List()->viewport(), Qt::LeftButton, {}, r.center());
    QTest::mouseDClick(w->List()->viewport(), Qt::LeftButton, {}, r.center());
    EXPECT_EQ(Doc().CurrentMap(), 1);
    EXPECT_EQ(view->SelectedIndex(), 2);

    // The list was made again for the new map; the row stays current.
    ASSERT_NE(w->List()->currentItem(), nullptr);
    EXPECT_EQ(w->List()->indexOfTopLevelItem(w->List()->currentItem()), 2);

    // Use Other Value: the rear point, its front twin along, one step.
    QTest::mouseClick(w->UseButton(), Qt::LeftButton);
    EXPECT_EQ(Doc().Map(1)->Point(2).value->GetValue(), 20.0);
    EXPECT_EQ(Doc().Map(0)->Point(2).value->GetValue(), 20.0);
    EXPECT_EQ(Doc().History().UndoText(), "Undo Use Other Map 2 Point 3");
    EXPECT_EQ(w->List()->topLevelItemCount(), 1);
    EXPECT_FALSE(MenuText(cmd::kMapFirst).contains(QStringLiteral("\u25CF")));
    Route(cmd::kEditUndo);
    EXPECT_EQ(Doc().Map(0)->Point(2).value->GetValue(), 0.0);
    EXPECT_EQ(w->List()->topLevelItemCount(), 3);

    Route(cmd::kHideComparison);
    EXPECT_FALSE(c.Active());
    EXPECT_EQ(view->Comparison(), nullptr);
    EXPECT_FALSE(w->isVisible());
    EXPECT_FALSE(MenuText(cmd::kMapFirst).contains(QStringLiteral("\u25CF")));
}

TEST_F(CompareTest, ABadFileIsRefusedAndTheComparisonStaysAsItWas) {
    Start();
    const QString good = SavedTune();
    CompareWith(good);
    const QString bad = dir_.filePath(QStringLiteral("garbage.qvx"));
    {
        QFile f(bad);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("not a tune at all");
    }
    const auto before = Compare().Comparison().Differences();
    const bool modified = Doc().IsModified();
    const std::size_t messages = app_->Host().Messages().size();
    CompareWith(bad);
    EXPECT_EQ(app_->Host().Messages().size(), messages + 1);
    EXPECT_EQ(Compare().Comparison().Name(), "last-week.qvx");
    EXPECT_EQ(Compare().Comparison().Differences(), before);
    EXPECT_EQ(Doc().IsModified(), modified);

    CompareWith(dir_.filePath(QStringLiteral("missing.qvx")));
    EXPECT_EQ(app_->Host().Messages().size(), messages + 2);
    EXPECT_EQ(Compare().Comparison().Name(), "last-week.qvx");
}

TEST_F(CompareTest, TheModuleIsUploadedAsideWithoutTouchingTheEditedTune) {
    Start();
    Doc().History().Perform("Set", {{SettingKey::Point(2, 4), 7.0}});  // not in the module
    UseEmulatedModule();
    Link(false);
    ASSERT_TRUE(CommPort::Instance().IsLinked());
    const std::vector<uint8_t> edited = Doc().StoreContents();
    const std::size_t steps = Doc().History().StepCount();
    device_->Core().ResetCounters();
    Route(cmd::kCompareWithModule);
    const TuneComparison& c = Compare().Comparison();
    ASSERT_TRUE(c.Active());
    EXPECT_EQ(c.Name(), "Module");
    EXPECT_TRUE(device_->Core().Counters().writes.empty());
    EXPECT_EQ(Doc().StoreContents(), edited);
    EXPECT_EQ(Doc().History().StepCount(), steps);
    EXPECT_NE(FindDifference(c.Differences(), SettingKey::Point(2, 4)), nullptr);
}

}  // namespace
}  // namespace qx::gui::testing
