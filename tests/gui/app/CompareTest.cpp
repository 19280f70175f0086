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
#include <cmath>

#include "AppFixture.h"
#include "gui/GuiTestSupport.h"
#include "gui/edit/CompareCommands.h"
#include "gui/edit/DifferencesWindow.h"
#include "gui/edit/TuneComparison.h"
#include "gui/graph/MapGraphView.h"
#include "gui/resources/ToolbarImages.h"

namespace qx::gui::testing {
namespace {

// How far apart two colours are (red, green and blue each 0 to 255).
double Distance(const QColor& a, const QColor& b) {
    const int dr = a.red() - b.red(), dg = a.green() - b.green(), db = a.blue() - b.blue();
    return std::sqrt(double(dr * dr + dg * dg + db * db));
}

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
    EXPECT_TRUE(MenuText(cmd::kMapFirst).contains(QStringLiteral("\u2260")));
    EXPECT_TRUE(MenuText(cmd::kMapFirst + 1).contains(QStringLiteral("\u2260")));
    EXPECT_FALSE(MenuText(cmd::kMapFirst + 2).contains(QStringLiteral("\u2260")));
    // The mark on a differing map's button is plain to see and not to be taken
    // for the link button's lamp, lit or dark.
    const QColor mark = ButtonCorner(cmd::kMapFirst);
    EXPECT_NE(mark, ButtonCorner(cmd::kMapFirst + 2));
    for (bool up : {false, true})
        EXPECT_GT(Distance(mark, LinkLampColor(up)), 150) << "like the lamp " << up;
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
    EXPECT_EQ(w->List()->topLevelItem(0)->text(4), QStringLiteral("-1920 rpm"));
    // Where a point lies: its map's x with the unit; a basic setting has none.
    EXPECT_EQ(w->List()->topLevelItem(0)->text(1), QString());
    EXPECT_EQ(w->List()->topLevelItem(2)->text(1), QStringLiteral("1100 rpm"));
    // Numbered from 1, as the graph and qvx number points.
    EXPECT_EQ(w->List()->topLevelItem(2)->text(0),
              QString::fromStdString(Doc().Map(1)->Title()) + QStringLiteral(" point 3"));
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
    EXPECT_FALSE(MenuText(cmd::kMapFirst).contains(QStringLiteral("\u2260")));
    Route(cmd::kEditUndo);
    EXPECT_EQ(Doc().Map(0)->Point(2).value->GetValue(), 0.0);
    EXPECT_EQ(w->List()->topLevelItemCount(), 3);

    Route(cmd::kHideComparison);
    EXPECT_FALSE(c.Active());
    EXPECT_EQ(view->Comparison(), nullptr);
    EXPECT_FALSE(w->isVisible());
    EXPECT_FALSE(MenuText(cmd::kMapFirst).contains(QStringLiteral("\u2260")));
}

// Enter (pressed by reflex) jumps to the point and hands the keys back to the graph, and never
// takes the other value into the tune or the module.
TEST_F(CompareTest, EnterJumpsBackToTheGraphAndNeverTakesTheOtherValue) {
    Start();
    SetMirrorSetting(true);
    CompareWith(SavedTune());
    CMainFrame* f = app_->Frame();
    f->show();
    f->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(f));
    Route(cmd::kDifferencesWindow);
    DifferencesWindow* w = Compare().Differences();
    ASSERT_NE(w, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w));

    const std::vector<uint8_t> tune = Doc().StoreContents();
    const std::size_t steps = Doc().History().StepCount();
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w));
    w->List()->setFocus();
    w->List()->setCurrentItem(w->List()->topLevelItem(2));  // the rear point
    QTest::keyClick(w->List(), Qt::Key_Return);
    QCoreApplication::processEvents();
    EXPECT_EQ(Doc().StoreContents(), tune) << "Enter took the other value";
    EXPECT_EQ(Doc().History().StepCount(), steps);
    EXPECT_EQ(Doc().CurrentMap(), 1);
    EXPECT_EQ(f->View()->SelectedIndex(), 2);
    EXPECT_EQ(QApplication::activeWindow(), f) << "the keys stay in the Differences window";
    EXPECT_TRUE(f->View()->hasFocus());

    // Not from the button with the focus either, nor with the keypad's Enter.
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w));
    w->UseButton()->setFocus();
    QTest::keyClick(w->UseButton(), Qt::Key_Return);
    QTest::keyClick(w->UseButton(), Qt::Key_Enter);
    QCoreApplication::processEvents();
    EXPECT_EQ(Doc().StoreContents(), tune);
    // The button itself does take it.
    QTest::mouseClick(w->UseButton(), Qt::LeftButton);
    EXPECT_EQ(Doc().Map(1)->Point(2).value->GetValue(), 20.0);
}

// The Differences window opens beside the main window where the screen has
// room, not over the graph.
TEST(DifferencesPlacement, BesideTheMainWindowWhereTheScreenHasRoom) {
    const QRect screen(0, 0, 1920, 1080);
    const QSize window(680, 360);
    const struct {
        QRect frame;
        QPoint at;
    } cases[] = {
        {{0, 0, 800, 600}, {808, 0}},       // room on the right
        {{1100, 40, 800, 600}, {412, 40}},  // only on the left
        {{200, 0, 1500, 900}, {1240, 0}},   // none: against the screen's edge
        {{0, 900, 800, 600}, {808, 720}},   // kept on the screen vertically
    };
    for (const auto& c : cases) {
        const QPoint at = BesidePosition(c.frame, window, screen);
        EXPECT_EQ(at, c.at) << c.frame.x() << "," << c.frame.y();
        if (c.frame.width() < 1000) {
            EXPECT_FALSE(QRect(at, window).intersects(c.frame)) << c.frame.x();
        }
    }
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
    const std::size_t messages = Messages().size();
    CompareWith(bad);
    EXPECT_EQ(Messages().size(), messages + 1);
    EXPECT_EQ(Compare().Comparison().Name(), "last-week.qvx");
    EXPECT_EQ(Compare().Comparison().Differences(), before);
    EXPECT_EQ(Doc().IsModified(), modified);

    CompareWith(dir_.filePath(QStringLiteral("missing.qvx")));
    EXPECT_EQ(Messages().size(), messages + 2);
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
