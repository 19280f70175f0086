// The range of points on the graph, the curve tools and Copy and Paste,
// driven through the real widgets and the command table, with the emulator's
// write log for what reaches the module.
#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QTimer>

#include "GraphTestSupport.h"
#include "core/monitor/RamMonitor.h"
#include "gui/edit/CurveCommands.h"
#include "gui/edit/NumberDialog.h"
#include "gui/shell/CommandTable.h"
#include "gui/shell/ModuleGate.h"

namespace qx::test {
namespace {

using Writes = std::vector<emu::WriteRecord>;

class CurveEditTest : public GraphTest {
  protected:
    CurveEditTest() : curves(nullptr, *host, table, document, view.get()) {}

    void Set(int map, std::vector<double> ys) {
        std::vector<EditTarget> t;
        for (std::size_t i = 0; i < ys.size(); ++i)
            t.push_back({SettingKey::Point(map, static_cast<int>(i)), ys[i]});
        document.History().Perform("Set", t);
    }
    std::vector<double> Values(int map, int count) {
        std::vector<double> y;
        for (int i = 0; i < count; ++i) y.push_back(document.Map(map)->Point(i).value->GetValue());
        return y;
    }
    Writes Log() { return emulator->Core().Counters().writes; }
    // Runs id; the number dialog it opens gets each of typed in turn, then OK.
    void RunWithDialog(int id, std::vector<QString> typed) {
        auto left = std::make_shared<std::vector<QString>>(std::move(typed));
        auto answer = std::make_shared<std::function<void()>>();
        *answer = [left, weak = std::weak_ptr(answer)] {
            auto* d = qobject_cast<gui::NumberDialog*>(QApplication::activeModalWidget());
            if (d == nullptr || left->empty()) {
                if (auto f = weak.lock(); f && !left->empty()) QTimer::singleShot(5, *f);
                return;
            }
            d->Field()->setText(left->front());
            left->erase(left->begin());
            d->accept();
            if (auto f = weak.lock(); f && !left->empty()) QTimer::singleShot(0, *f);
        };
        QTimer::singleShot(0, *answer);
        table.Route(id);
        EXPECT_TRUE(left->empty());
    }

    gui::CommandTable table{[](int id, bool suspend) {
        return gui::PostponeIfModuleBusy(RamMonitor::Instance(), id, suspend);
    }};
    gui::CurveCommands curves;
};

TEST_F(CurveEditTest, ARangeIsMadeByShiftKeysShiftClickAndSweepingTheMouse) {
    Key(Qt::Key_Right);
    Key(Qt::Key_Right, Qt::ShiftModifier);
    Key(Qt::Key_Right, Qt::ShiftModifier);
    Key(Qt::Key_Right, Qt::ShiftModifier);
    EXPECT_EQ(view->RangeFirst(), 1);
    EXPECT_EQ(view->RangeLast(), 4);
    Key(Qt::Key_Left, Qt::ShiftModifier);
    EXPECT_EQ(view->RangeLast(), 3);
    Key(Qt::Key_Left);  // without Shift the range goes
    EXPECT_FALSE(view->HasRange());
    EXPECT_EQ(view->RangeFirst(), 2);

    QTest::mouseClick(&Marker(6), Qt::LeftButton, Qt::ShiftModifier, QPoint(5, 5));
    EXPECT_EQ(view->RangeFirst(), 2);
    EXPECT_EQ(view->RangeLast(), 6);
    EXPECT_EQ(Value(6), 0.0);  // a Shift+click is no drag

    // A sweep beside the markers from between points 8 and 9 to past point 11.
    const int y = view->PlotTop() + 10;
    const int from = (Marker(8).Centre().x + Marker(9).Centre().x) / 2;
    const int to = Marker(11).Centre().x + 3;
    QTest::mousePress(view.get(), Qt::LeftButton, {}, QPoint(from, y));
    QTest::mouseMove(view.get(), QPoint(to, y));
    QTest::mouseRelease(view.get(), Qt::LeftButton, {}, QPoint(to, y));
    EXPECT_EQ(view->RangeFirst(), 9);
    EXPECT_EQ(view->RangeLast(), 11);
    SavePicture(view->grab().toImage(), QStringLiteral("graph-selected-range.png"));

    ShowMap(2);  // another map starts without a range
    EXPECT_FALSE(view->HasRange());
}

TEST_F(CurveEditTest, ToolsShapeTheRangeAsOneStepWritingOnlyMovedPointsAndMirrors) {
    SetMirrorSetting(true);
    LinkEmulator();
    Set(0, {0, 10, 3, 7, 30, 45});
    view->SelectRange(1, 4);
    emulator->Core().ResetCounters();
    const std::size_t steps = document.History().StepCount();

    table.Route(cmd::kCurveInterpolate);  // 10 .. 30: 17 and 23 between; the ends stay
    EXPECT_EQ(Values(0, 6), (std::vector<double>{0, 10, 17, 23, 30, 45}));
    EXPECT_EQ(Values(1, 6), Values(0, 6));
    EXPECT_EQ(Log(), (Writes{{0xB602, 17}, {0xB612, 17}, {0xB603, 23}, {0xB613, 23}}));
    EXPECT_EQ(document.History().StepCount(), steps + 1);
    EXPECT_EQ(document.History().UndoText(), "Undo Interpolate Map 1");

    emulator->Core().ResetCounters();
    ASSERT_TRUE(document.History().Undo());
    EXPECT_EQ(Values(0, 6), (std::vector<double>{0, 10, 3, 7, 30, 45}));
    // In reverse, each point with its twin.
    EXPECT_EQ(Log(), (Writes{{0xB613, 7}, {0xB603, 7}, {0xB612, 3}, {0xB602, 3}}));

    // Scale refuses text that is not a number, then takes 150 %: clamped at 45.
    emulator->Core().ResetCounters();
    host->ClearRecords();
    view->SelectRange(3, 5);
    RunWithDialog(cmd::kCurveScale, {QStringLiteral("lots"), QStringLiteral("150")});
    ASSERT_EQ(host->Messages().size(), 1u);
    EXPECT_EQ(host->Messages()[0].text, "\"lots\" is not a number.");
    EXPECT_EQ(Values(0, 6), (std::vector<double>{0, 10, 3, 11, 45, 45}));
    EXPECT_EQ(Log(), (Writes{{0xB603, 11}, {0xB613, 11}, {0xB604, 45}, {0xB614, 45}}));
    EXPECT_EQ(document.History().UndoText(), "Undo Scale Map 1");

    RunWithDialog(cmd::kCurveOffset, {QStringLiteral("-2,5")});  // decimal comma; whole steps
    EXPECT_EQ(Values(0, 6), (std::vector<double>{0, 10, 3, 9, 43, 43}));
    RunWithDialog(cmd::kCurveSetAll, {QStringLiteral("12")});
    EXPECT_EQ(Values(0, 6), (std::vector<double>{0, 10, 3, 12, 12, 12}));
    view->SelectRange(1, 5);
    table.Route(cmd::kCurveSmooth);  // inner points half way to their neighbours' mean
    EXPECT_EQ(Values(0, 6), (std::vector<double>{0, 10, 7, 10, 12, 12}));
    EXPECT_EQ(Values(1, 6), Values(0, 6));
}

TEST_F(CurveEditTest, ToolsOnAHalfStepMapKeepHalvesAndTheRange) {
    ShowMap(4);  // dwell correction: steps of a half
    const ModuleMap& map = *document.Map(4);
    const double step = map.Step();
    ASSERT_EQ(step, 0.5);
    Set(4, {map.ValueMin().y, map.ValueMin().y + 3.0});
    view->SelectRange(0, 1);
    table.Route(cmd::kCurveSmooth);  // no inner point: nothing to smooth
    EXPECT_FALSE(table.StateOf(cmd::kCurveSmooth).enabled);
    RunWithDialog(cmd::kCurveOffset, {QStringLiteral("0.3")});  // 0.3 is nearer 0.5
    EXPECT_EQ(Values(4, 2), (std::vector<double>{map.ValueMin().y + 0.5, map.ValueMin().y + 3.5}));
    RunWithDialog(cmd::kCurveOffset, {QStringLiteral("-1000")});
    EXPECT_EQ(Values(4, 2), (std::vector<double>{map.ValueMin().y, map.ValueMin().y}));
}

TEST_F(CurveEditTest, CopyPutsTheRangeOrTheWholeMapOnTheClipboard) {
    Set(0, {1, 2, 3});
    Key(Qt::Key_Right, Qt::ShiftModifier);
    table.Route(cmd::kEditCopy);
    const QString copied = QApplication::clipboard()->text();
    EXPECT_EQ(copied,
              QStringLiteral(
                  "Engine Speed (rpm)\tFront Cylinder Spark Advance: Advance (deg)\n%1\t1\n%2\t2\n")
                  .arg(Map().Point(0).x)
                  .arg(Map().Point(1).x))
        << copied.toStdString();
    Key(Qt::Key_Left);
    table.Route(cmd::kEditCopy);  // no range: the whole map
    EXPECT_EQ(QApplication::clipboard()->text().count(QLatin1Char('\n')), Map().PointCount() + 1);
}

// Each way CurveCommands takes a paste, as one undoable step, or refuses it; the
// reading and checking of the text itself is the maps tests' (PointsText),
// through the same functions.
TEST_F(CurveEditTest, APasteIsOneStepOrRefusedRatherThanGuessedAndPartlyFilledIsSaid) {
    Set(0, {1, 2, 3});
    // A spreadsheet's sixteen rows, x at the map's points (550 rpm apart), y 10 up by one.
    std::string sheet = "RPM,Advance\n";
    for (int i = 0; i < 16; ++i)
        sheet += std::to_string(550 * i) + "," + std::to_string(10 + i) + "\n";
    const std::vector<double> before = {1, 2, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    struct Case {
        const char* name;
        int first, last;  // the selected point or range
        std::string text;
        std::vector<double> want;  // every point; empty when refused
        std::string message;       // empty: none
    } cases[] = {
        // Here y alone, and x with y on points 4 and 5 (3 * 550 and 4 * 550 rpm).
        {"spreadsheet column, decimal comma",
         3,
         3,
         "7,4\n8\n",
         {1, 2, 3, 7, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
         "Pasted 2 points, points 4 to 5 of 16."},
        {"semicolons with x",
         3,
         3,
         "1650;9\n2200;44,6\n",
         {1, 2, 3, 9, 45, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
         "Pasted 2 points, points 4 to 5 of 16."},
        {"words",
         3,
         3,
         "x\n1\nlots\n",
         {},
         "The clipboard does not hold points to paste:\nline 3: \"lots\" is not a number."},
        {"more than the range",
         0,
         1,
         "4\n5\n6\n",
         {},
         "The clipboard holds 3 points, but only 2 are selected."},
        {"a comma-separated sheet",
         0,
         0,
         sheet,
         {10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25},
         ""},
        {"above the range",
         3,
         3,
         "5\n60\n",
         {},
         "Nothing was pasted:\nline 2: 60 is outside 0 to 45 deg."},
        {"CR line ends",
         3,
         3,
         "7\r8\r9\r",
         {1, 2, 3, 7, 8, 9, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
         "Pasted 3 points, points 4 to 6 of 16."},
        {"fewer than the range",
         2,
         5,
         "5\n6\n",
         {},
         "The clipboard holds 2 points, but 4 are selected.\nSelect as many points, or one point "
         "to paste from it on."},
        {"more than follow the point",
         14,
         14,
         "1\n2\n3\n",
         {},
         "The clipboard holds 3 points, but only 2 follow the selected point."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.first == c.last) {
            view->ClearRange();
            view->SelectMarkerByIndex(c.first);
        } else {
            view->SelectRange(c.first, c.last);
        }
        host->ClearRecords();
        const std::size_t at = document.History().Position();
        QApplication::clipboard()->setText(QString::fromStdString(c.text));
        table.Route(cmd::kEditPaste);
        EXPECT_EQ(Values(0, 16), c.want.empty() ? before : c.want);
        std::vector<std::string> said;
        for (const auto& m : host->Messages()) said.push_back(m.text);
        EXPECT_EQ(said, c.message.empty() ? std::vector<std::string>{} : std::vector{c.message});
        EXPECT_EQ(document.History().Position(), at + (c.want.empty() ? 0 : 1));
        if (c.want.empty()) continue;
        EXPECT_EQ(document.History().UndoText(), "Undo Paste Map 1");
        document.History().Undo();
        EXPECT_EQ(Values(0, 16), before);
    }
}

TEST_F(CurveEditTest, EveryMapsOwnCopyPastesBackExactly) {
    for (int m = 0; m < kMapCount; ++m) {
        ShowMap(m);
        const int n = Map().PointCount();
        // A zigzag of whole steps inside the range: from the top, down one step a point.
        std::vector<double> want;
        for (int i = 0; i < n; ++i) want.push_back(Map().ValueMax().y - Map().Step() * (i % 5));
        Set(m, want);
        view->ClearRange();
        view->SelectMarkerByIndex(0);
        table.Route(cmd::kEditCopy);
        Set(m, std::vector<double>(static_cast<std::size_t>(n), Map().ValueMin().y));
        host->ClearRecords();
        table.Route(cmd::kEditPaste);
        EXPECT_EQ(Values(m, n), want) << Map().Title();
        EXPECT_TRUE(host->Messages().empty()) << Map().Title();
    }
}

TEST_F(CurveEditTest, WhileLinkedAPasteWritesOnlyTheChangedPointsAndTheirTwins) {
    SetMirrorSetting(true);
    LinkEmulator();
    Set(0, {5, 5, 5});
    emulator->Core().ResetCounters();
    view->SelectMarkerByIndex(0);
    QApplication::clipboard()->setText(QStringLiteral("5\n6\n5\n"));
    table.Route(cmd::kEditPaste);
    EXPECT_EQ(Log(), (Writes{{0xB601, 6}, {0xB611, 6}}));
    emulator->Core().ResetCounters();
    ASSERT_TRUE(document.History().Undo());
    EXPECT_EQ(Log(), (Writes{{0xB611, 5}, {0xB601, 5}}));
    EXPECT_TRUE(document.Map(1)->Point(1).value->InSync());
}

TEST_F(CurveEditTest, ToolsAndPasteArrivingDuringAnExchangeArePostponed) {
    Set(0, {0, 10, 3});
    view->SelectRange(0, 2);
    QApplication::clipboard()->setText(QStringLiteral("5\n"));
    {
        CommandBusyScope busy(false);
        EXPECT_FALSE(table.StateOf(cmd::kCurveInterpolate).enabled);
        table.Route(cmd::kCurveInterpolate);
        table.Route(cmd::kEditPaste);
        EXPECT_EQ(Values(0, 3), (std::vector<double>{0, 10, 3}));
    }
    RamMonitor::Instance().RunPostponedCommands();
    EXPECT_EQ(host->RoutedCommands(), (std::vector<int>{cmd::kCurveInterpolate, cmd::kEditPaste}));
}

}  // namespace
}  // namespace qx::test
