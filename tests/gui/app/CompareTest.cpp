// Comparing the edited tune with a file or with the module: the curve drawn
// under the edited one, the marks on the Maps menu and toolbar, and the
// Differences window with its jump and its Use Other Value.
#include <QAction>
#include <QDockWidget>
#include <QHeaderView>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QToolBar>
#include <QTreeWidget>
#include <cmath>
#include <fstream>
#include <map>

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
// takes the other value into the tune or the module: docked, and floated by the user.
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
    for (bool floating : {false, true}) {
        SCOPED_TRACE(floating ? "floating" : "docked");
        if (floating) {
            Compare().DifferencesDock()->setFloating(true);
            ASSERT_TRUE(QTest::qWaitForWindowExposed(Compare().DifferencesDock()));
            ASSERT_NE(w->window(), f);
        }
        Doc().OnSelectMap(cmd::kMapFirst + 3);
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
    }
    // Alt+U is the button's only while the keys are in the panel: on the
    // graph it would take the value of a row the tuner is not looking at.
    Compare().DifferencesDock()->setFloating(false);
    f->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(f));
    f->View()->setFocus();
    QTest::keyClick(f->View(), Qt::Key_U, Qt::AltModifier);
    QCoreApplication::processEvents();
    EXPECT_EQ(Doc().StoreContents(), tune) << "Alt+U on the graph took the other value";
    w->List()->setFocus();
    ASSERT_EQ(QApplication::focusWidget(), w->List());
    QTest::keyClick(w->List(), Qt::Key_U, Qt::AltModifier);
    EXPECT_EQ(Doc().Map(1)->Point(2).value->GetValue(), 20.0);
}

// The list shows the panel's numbers as qvx diff writes them (three decimals at
// most), and the other column is titled with what the tune is compared with.
TEST_F(CompareTest, ValuesReadAsQvxWritesThemUnderTheComparisonsName) {
    Start();
    // Start Mode Enter steps by 1024/30 rpm, Base Dwell's points lie 16/15 volts apart.
    Doc().History().Perform("Set", {{SettingKey::Basic(kStartModeEnter), 400.0},
                                    {SettingKey::Point(4, 1), 5.0},
                                    {SettingKey::Basic(kRevLimit), 5120.0}});
    const QString path = dir_.filePath(QStringLiteral("Sunday ride.qvx"));
    ASSERT_EQ(Doc().OnSaveDocument(path.toStdString()), DocStatus::Done);
    Doc().History().Undo();
    CompareWith(path);
    Route(cmd::kDifferencesWindow);
    DifferencesWindow* w = Compare().Differences();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->List()->headerItem()->text(2), QStringLiteral("This Tune"));
    EXPECT_EQ(w->List()->headerItem()->text(3), QStringLiteral("Sunday ride.qvx"));
    std::map<QString, QStringList> rows;
    for (int i = 0; i < w->List()->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = w->List()->topLevelItem(i);
        rows[item->text(0)] = {item->text(1), item->text(2), item->text(3), item->text(4)};
    }
    ASSERT_EQ(rows.size(), 3u);
    // 10 steps of 1024/30 = 341.333..., 12 steps = 409.6; the difference -68.2666...
    EXPECT_EQ(rows[QStringLiteral("Start Mode Enter")],
              QStringList({QString(), QStringLiteral("341.333 rpm"), QStringLiteral("409.6 rpm"),
                           QStringLiteral("-68.267 rpm")}));
    EXPECT_EQ(rows[QStringLiteral("Rev Limit")],
              QStringList({QString(), QStringLiteral("6144 rpm"), QStringLiteral("5120 rpm"),
                           QStringLiteral("+1024 rpm")}));
    const QString dwell =
        QString::fromStdString(Doc().Map(4)->Title()) + QStringLiteral(" point 2");
    EXPECT_EQ(rows[dwell], QStringList({QStringLiteral("1.067 volts"), QStringLiteral("0 msec"),
                                        QStringLiteral("5 msec"), QStringLiteral("-5 msec")}));
}

// Beside the graph in the main window, on the smallest screen and maximised on
// a large one: no point of this tune or the other, and not the legend, is
// under the panel, and every column shows its text whole with room between
// neighbouring numbers.
TEST_F(CompareTest, TheDifferencesPanelNeverHidesTheGraphAndItsColumnsFitTheirText) {
    for (const QSize size : {QSize(800, 600), QSize(1920, 1080)}) {
        SCOPED_TRACE(size.width());
        Start();
        SetMirrorSetting(true);
        // Points 11 to 16 of the front advance map, high and low, and values of many digits.
        std::vector<EditTarget> set = {{SettingKey::Basic(kRevLimit), 7040.0},
                                       {SettingKey::Basic(kStartModeEnter), 400.0},
                                       {SettingKey::Point(4, 1), 5.0}};
        for (int p = 10; p < 16; ++p) set.push_back({SettingKey::Point(0, p), p % 2 ? 45.0 : 30.0});
        Doc().History().Perform("Set", set);
        const QString path = dir_.filePath(QStringLiteral("other.qvx"));
        ASSERT_EQ(Doc().OnSaveDocument(path.toStdString()), DocStatus::Done);
        Doc().History().Undo();
        CompareWith(path);
        CMainFrame* f = app_->Frame();
        Doc().OnSelectMap(cmd::kMapFirst);
        f->resize(size);
        f->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(f));
        Route(cmd::kDifferencesWindow);
        DifferencesWindow* w = Compare().Differences();
        ASSERT_NE(w, nullptr);
        QCoreApplication::processEvents();
        ASSERT_TRUE(w->isVisible());
        qx::test::SavePicture(f->grab().toImage(),
                              QStringLiteral("differences-panel-%1.png").arg(size.width()));

        MapGraphView* view = f->View();
        const QWidget* panel = w->window() == f ? Compare().DifferencesDock() : w->window();
        const QRect panelRect(panel->mapToGlobal(QPoint()), panel->size());
        const QRect viewRect(view->mapToGlobal(QPoint()), view->size());
        EXPECT_FALSE(panelRect.intersects(viewRect)) << "over the graph";
        EXPECT_TRUE(QRect(f->mapToGlobal(QPoint()), f->size()).contains(panelRect))
            << "not in the main window's room";
        // The main window did not grow for it, and on the smallest screen
        // still fits under a window manager's title bar.
        EXPECT_EQ(f->size(), size);
        if (size.height() == 600) {
            EXPECT_LE(f->minimumSizeHint().height(), 570);
        }
        const ModuleMap* map = Doc().Map(0);
        const ModuleState* other = Compare().Comparison().Other();
        ASSERT_NE(other, nullptr);
        for (int p = 0; p < map->PointCount(); ++p) {
            for (double y :
                 {map->Point(p).value->GetValue(), other->Map(0)->Point(p).value->GetValue()}) {
                const QPoint at(view->XToPixel(map->Point(p).x), view->YToPixel(y));
                EXPECT_TRUE(view->rect().contains(at)) << "point " << p + 1;
                EXPECT_FALSE(panelRect.contains(view->mapToGlobal(at))) << "point " << p + 1;
            }
        }

        const QTreeWidget* list = w->List();
        const QFontMetrics fm = list->fontMetrics();
        const int em = fm.horizontalAdvance(QLatin1Char('M'));
        int total = 0;
        for (int c = 0; c < list->columnCount(); ++c) {
            const int width = list->header()->sectionSize(c);
            total += width;
            int widest = fm.horizontalAdvance(list->headerItem()->text(c));
            for (int i = 0; i < list->topLevelItemCount(); ++i)
                widest = std::max(widest, fm.horizontalAdvance(list->topLevelItem(i)->text(c)));
            EXPECT_GE(width, widest + em) << "column " << c;
        }
        EXPECT_LE(total, list->viewport()->width()) << "the last column is cut off";
    }
}

TEST_F(CompareTest, ABadFileIsRefusedAndTheComparisonStaysAsItWas) {
    Start();
    const QString good = SavedTune();
    CompareWith(good);
    const QString bad = dir_.filePath(QStringLiteral("garbage.qvx"));
    std::ofstream(bad.toStdString()) << "not a tune at all";
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
    LinkEmulatedModule();
    const std::vector<uint8_t> edited = Doc().StoreContents();
    const std::size_t steps = Doc().History().StepCount();
    device_->Core().ResetCounters();
    Route(cmd::kCompareWithModule);
    const TuneComparison& c = Compare().Comparison();
    ASSERT_TRUE(c.Active());
    EXPECT_EQ(c.Name(), "Module");
    Route(cmd::kDifferencesWindow);
    ASSERT_NE(Compare().Differences(), nullptr);
    EXPECT_EQ(Compare().Differences()->List()->headerItem()->text(3), QStringLiteral("Module"));
    EXPECT_TRUE(device_->Core().Counters().writes.empty());
    EXPECT_EQ(Doc().StoreContents(), edited);
    EXPECT_EQ(Doc().History().StepCount(), steps);
    EXPECT_NE(FindDifference(c.Differences(), SettingKey::Point(2, 4)), nullptr);
}

}  // namespace
}  // namespace qx::gui::testing
