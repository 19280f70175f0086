// Recording, playback and coverage in the whole program: the emulated module on
// an in-memory line and the virtual clock, so a ride of minutes runs in a moment.
#include <signal.h>
#include <sys/resource.h>

#include <QDialog>
#include <QFileDialog>
#include <QLabel>
#include <QProgressDialog>
#include <QSlider>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <fstream>
#include <set>

#include "core/host/CommandIds.h"
#include "core/host/Profile.h"
#include "core/log/LogFormat.h"
#include "core/log/LogPlayer.h"
#include "core/log/LogReader.h"
#include "core/maps/ModuleMap.h"
#include "gui/GuiTestSupport.h"
#include "gui/app/AppFixture.h"
#include "gui/chart/ChartView.h"
#include "gui/dialogs/DialogTestSupport.h"
#include "gui/graph/MapGraphView.h"
#include "gui/graph/MapPointValueDisplay.h"
#include "gui/monitor/MonitorDisplay.h"
#include "gui/monitor/MonitorWindow.h"
#include "gui/playback/EngineLogs.h"
#include "gui/playback/PlaybackTime.h"
#include "gui/playback/TransportBar.h"
#include "gui/resources/Resources.h"

namespace qx::gui::testing {
namespace {

class EngineLogsTest : public AppTest {
  protected:
    EngineLogs& Logs() { return *app_->Logs(); }
    MonitorWindow* Window() {
        return app_->Frame()->View()->findChild<MonitorWindow*>(QStringLiteral("MonitorWindow"));
    }
    std::string Shown(int display) { return Window()->Display(display)->Text(); }
    QString Path(const char* name) { return dir_.filePath(QString::fromLatin1(name)); }
    void Write(const QString& path, const std::string& text) {
        std::ofstream(path.toStdString(), std::ios::binary) << text;
    }
    // The log in the file name, read as any log is.
    EngineLog ReadBack(const char* name) {
        EngineLog log;
        std::string error;
        EXPECT_TRUE(ReadEngineLogFile(Path(name).toStdString(), log, error)) << error;
        return log;
    }
    // A log of rows every 100 ms: engine speed steps 0, 10, 20 ... (module integers).
    std::string Ramp(int rows) {
        std::string text = LogHeader({0, 3, 5});
        for (int i = 0; i < rows; ++i)
            text +=
                LogRow(100 * i, {0, 3, 5},
                       {LogValueOf(0, 10 * i), static_cast<double>(i % 40), LogValueOf(5, 200)});
        return text;
    }
    // Opens a ramp of rows written to the file name.
    bool OpenRamp(const char* name, int rows = 40) {
        Write(Path(name), Ramp(rows));
        return Logs().OpenLog(Path(name));
    }
};

TEST_F(EngineLogsTest, RecordingTakesEveryPacketFlushesEachSecondAndEndsWithMonitoring) {
    Start();
    LinkEmulatedModule();
    ASSERT_TRUE(Logs().StartRecording(Path("ride.csv")));  // before monitoring starts
    std::size_t onDiskAt45 = 0;
    Monitor(60, [&](int n) {
        if (n == 2) Logs().Poll();
        if (n != 45) return;
        // Three seconds in: what is on disk is all but the last second.
        onDiskAt45 = ReadBack("ride.csv").Rows();
        Logs().Poll();
        EXPECT_TRUE(Logs().StatusLabel()->isVisible() || !app_->Frame()->isVisible());
        EXPECT_TRUE(
            Logs().StatusLabel()->text().startsWith(QStringLiteral("Recording ride.csv  0:0")))
            << Logs().StatusLabel()->text().toStdString();
        EXPECT_TRUE(Logs().StatusLabel()->text().endsWith(QStringLiteral("  45 rows")));
    });
    EXPECT_GE(onDiskAt45, 30u);
    EXPECT_TRUE(Logs().IsRecording());
    Logs().Poll();  // the monitor loop has ended: so has the recording
    EXPECT_FALSE(Logs().IsRecording());
    const EngineLog log = ReadBack("ride.csv");
    EXPECT_FALSE(log.droppedPartialLine);
    EXPECT_EQ(log.quantities, (std::vector<int>{0, 1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(log.Rows(), static_cast<std::size_t>(Logs().Writer().Rows()));
    ASSERT_GE(log.Rows(), 60u);
    EXPECT_GT(log.EndMs() - log.StartMs(), 3000);  // 15 packets a second
    EXPECT_GT(log.values[5][10], 10.0f);           // the emulated battery
    // The coverage counted the same packets: the engine idles near 1100 rpm.
    EXPECT_GT(Logs().CoverageData().TotalMs(), 3000);
    EXPECT_TRUE(Logs().CoverageData().Used(2));
    EXPECT_FALSE(Logs().CoverageData().Used(15));
}

TEST_F(EngineLogsTest, AWriteErrorStopsTheRecordingWithAMessageAndMonitoringGoesOn) {
    Start();
    LinkEmulatedModule();
    ASSERT_TRUE(Logs().StartRecording(Path("big.csv")));
    // The file may not grow beyond 2 kB: the write fails as on a full disk.
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    const auto previous = signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 2048;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    bool stoppedWhileMonitoring = false;
    Monitor(150, [&](int) {
        if (!Logs().IsRecording() && RamMonitor::Instance().IsRunning())
            stoppedWhileMonitoring = true;
    });
    setrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, previous);
    EXPECT_TRUE(stoppedWhileMonitoring);
    Settle();
    EXPECT_TRUE(Asked("Recording stopped: the log " + Path("big.csv").toStdString() +
                      " could not be written:\nFile too large"));
    EXPECT_FALSE(Logs().StatusLabel()->isVisible());
    ReadBack("big.csv");  // what was written before the error is a log
}

TEST_F(EngineLogsTest, RecordingToAnImpossibleFileSaysWhy) {
    Start();
    EXPECT_FALSE(Logs().StartRecording(QStringLiteral("/dev/full")));
    EXPECT_TRUE(Asked("Unable to record to /dev/full:\nNo space left on device"));
    EXPECT_FALSE(Logs().IsRecording());
}

TEST_F(EngineLogsTest, PlaybackDrivesTheDisplaysAndTheLiveBarWithoutALink) {
    ShowMonitors(0x29);  // 0, 3 and 5
    Start();
    ASSERT_TRUE(OpenRamp("pull.csv"));
    EXPECT_EQ(app_->Frame()->windowTitle(),
              QStringLiteral("Untitled (playback of pull.csv) - Quorvex I"));
    EXPECT_FALSE(Logs().Transport()->isHidden());
    EXPECT_EQ(Shown(0), " 0.0");
    EXPECT_EQ(Shown(5), " 12.5");  // raw 200, as the monitor shows it
    Route(res::kLogStepForward);
    Route(res::kLogStepForward);
    EXPECT_EQ(Shown(0), " 322.3");  // 20 steps of 16.11 rpm
    EXPECT_EQ(Shown(3), " 2.0");
    Route(res::kPlayPause);
    clock_.Advance(1000);
    Logs().Pump();
    EXPECT_EQ(Logs().Player()->Row(), 12u);
    EXPECT_EQ(Logs().Transport()->Slider()->value(), 1200);
    ModuleMap* map = app_->Frame()->View()->CurrentMap();
    EXPECT_DOUBLE_EQ(map->LiveX(), 2200.0);  // 1933.6 rpm: nearest the point at 2200
    Route(res::kLogEnd);
    EXPECT_EQ(Shown(3), " 39.0");
    // The editor goes on working: a map change and an edit reach the document.
    Route(cmd::kMapFirst + 1);
    EXPECT_EQ(app_->Document().CurrentMap(), 1);
    Route(res::kCloseLog);
    EXPECT_EQ(Shown(0), "");  // nothing backs the values now
    EXPECT_EQ(RamMonitor::Instance().Samples().Front(), nullptr);
    EXPECT_FALSE(app_->Frame()->windowTitle().contains(QStringLiteral("playback")));
    EXPECT_TRUE(Logs().Transport()->isHidden());
}

// One set of displays, two sources: the packets of the emulated module and
// then their recording show the same text in every box and the same place of
// the live bar, row by row.
TEST_F(EngineLogsTest, TheDisplaysShowARecordingExactlyAsTheyShowedTheModule) {
    ShowMonitors(0x7F);
    Start();
    LinkEmulatedModule();
    const QString path = Path("ride.csv");
    ASSERT_TRUE(Logs().StartRecording(path));
    std::vector<std::vector<std::string>> shown;
    std::vector<double> liveX;
    std::vector<bool> framed;  // packets held back for a later frame show older values
    Monitor(60, [&](int) {
        std::vector<std::string> row;
        for (int d = 0; d < 7; ++d) row.push_back(Shown(d));
        shown.push_back(row);
        liveX.push_back(app_->Frame()->View()->CurrentMap()->LiveX());
        framed.push_back(Window()->Pacer().LastShown());
    });
    Logs().StopRecording();
    ASSERT_TRUE(Logs().OpenLog(path));
    ASSERT_EQ(Logs().Player()->Log().Rows(), shown.size());
    std::set<std::string> speeds;
    for (std::size_t i = 0; i < shown.size(); ++i) {
        if (i > 0) Route(res::kLogStepForward);
        ASSERT_EQ(Logs().Player()->Row(), i);
        if (!framed[i]) continue;
        for (int d = 0; d < 7; ++d) {
            EXPECT_NE(shown[i][static_cast<std::size_t>(d)], "") << i << " display " << d;
            EXPECT_EQ(Shown(d), shown[i][static_cast<std::size_t>(d)]) << i << " display " << d;
        }
        EXPECT_DOUBLE_EQ(app_->Frame()->View()->CurrentMap()->LiveX(), liveX[i]) << i;
        speeds.insert(shown[i][0]);
    }
    EXPECT_GT(speeds.size(), 3u);  // the engine moved: not one row compared 60 times
    EXPECT_GE(std::count(framed.begin(), framed.end(), true), 20);
}

// Opened and closed from inside the monitor loop: the displays follow the log,
// then the module again, while the recorder keeps taking the module's packets.
TEST_F(EngineLogsTest, ALogOpenedWhileMonitoringTakesOverTheDisplaysUntilClosed) {
    ShowMonitors(0x08);  // front advance
    Start();
    LinkEmulatedModule();
    const QString log = Path("pull.csv");
    Write(log, Ramp(40));
    ASSERT_TRUE(Logs().StartRecording(Path("live.csv")));
    std::string duringPlayback;
    std::string afterClose;
    QString sourceDuringPlayback;
    QString sourceAfterClose;
    QString noteAtOpen;
    QString noteAfterClose;
    // Opened as the tuner does, through the file dialog: the monitor is
    // suspended while it shows.
    std::unique_ptr<qx::test::ModalDriver> chooser;
    Monitor(40, [&](int n) {
        if (n == 10) {
            chooser = qx::test::ModalDriver::When<QFileDialog>([&](QFileDialog& d) {
                d.selectFile(log);
                QMetaObject::invokeMethod(&d, "accept");
            });
            app_->Host().Post([this] { Route(res::kOpenLog); });
        }
        if (n == 11) {
            EXPECT_NE(Logs().Player(), nullptr);
            noteAtOpen = app_->Frame()->statusBar()->currentMessage();
            Route(res::kLogEnd);
        }
        if (n == 20) {
            duringPlayback = Shown(3);
            sourceDuringPlayback = Logs().SourceLabel()->text();
        }
        if (n == 30) Route(res::kCloseLog);
        if (n == 31) {
            afterClose = Shown(3);
            sourceAfterClose = Logs().SourceLabel()->text();
            noteAfterClose = app_->Frame()->statusBar()->currentMessage();
        }
    });
    EXPECT_TRUE(chooser->Ran());
    EXPECT_EQ(duringPlayback, " 39.0");
    EXPECT_EQ(sourceDuringPlayback, QStringLiteral("Log: pull.csv"));
    EXPECT_EQ(sourceAfterClose, QStringLiteral("Live"));
    EXPECT_TRUE(noteAtOpen.contains(QStringLiteral("monitoring goes on behind the log")))
        << noteAtOpen.toStdString();
    EXPECT_FALSE(noteAfterClose.contains(QStringLiteral("pull.csv")))
        << noteAfterClose.toStdString();
    EXPECT_NE(afterClose, "");
    EXPECT_NE(afterClose, " 39.0");
    Logs().StopRecording();
    const EngineLog recorded = ReadBack("live.csv");
    EXPECT_GE(recorded.Rows(), 40u);
    for (float advance : recorded.values[3]) EXPECT_NE(advance, 39.0f);  // never the log's rows
}

// Closing the program while it records and monitors leaves a complete file.
TEST_F(EngineLogsTest, ClosingTheProgramWhileRecordingLeavesACompleteFile) {
    Start();
    LinkEmulatedModule();
    ASSERT_TRUE(Logs().StartRecording(Path("last.csv")));
    AnswerSave(MsgResult::No);
    int packets = 0;
    // The close ends the monitor loop first.
    Monitor(
        20, [&](int n) { packets = n; }, [this] { app_->Frame()->close(); });
    Settle();
    app_.reset();
    const EngineLog log = ReadBack("last.csv");
    EXPECT_FALSE(log.droppedPartialLine);
    EXPECT_EQ(log.Rows(), static_cast<std::size_t>(packets));
}

TEST_F(EngineLogsTest, TheChartShowsTheActiveDisplaysAndMovesThePlayback) {
    ShowMonitors(0x09);  // engine speed, front advance
    Start();
    ASSERT_TRUE(OpenRamp("pull.csv"));
    Route(res::kLogStepForward);
    Route(res::kViewChart);
    ChartView* chart = Logs().Chart();
    EXPECT_FALSE(chart->isHidden());
    EXPECT_FALSE(chart->IsLive());
    EXPECT_EQ(chart->QuantityMask(), 0x09);
    EXPECT_EQ(chart->CursorMs(), 100);
    Route(res::kCancelAllMonitors);
    app_->Frame()->OnIdle();
    // The profile's mask stays; the chart follows the displays.
    EXPECT_EQ(chart->QuantityMask(), 0);
    Q_EMIT chart->seekRequested(2550);
    EXPECT_EQ(Logs().Player()->Row(), 25u);
    EXPECT_EQ(chart->CursorMs(), 2550);
    Route(res::kCloseLog);
    EXPECT_TRUE(chart->IsLive());
}

// The graph's keys stay the graph's while a log is open; the transport has
// keys of its own, which no key of the graph is.
TEST_F(EngineLogsTest, TheGraphKeepsItsKeysDuringPlaybackAndTheTransportHasItsOwn) {
    Start();
    app_->Frame()->show();
    QApplication::setActiveWindow(app_->Frame());
    MapGraphView* view = app_->Frame()->View();
    ASSERT_TRUE(OpenRamp("pull.csv"));
    Settle();
    view->setFocus();
    const int last = view->MarkerCount() - 1;
    const struct {
        QKeyCombination key;
        int selected;     // the graph's point afterwards (-1: as it was)
        std::size_t row;  // the log's row afterwards
        bool playing;
    } steps[] = {
        {Qt::Key_End, last, 0, false},
        {Qt::Key_Home, 0, 0, false},
        {Qt::Key_Right, 1, 0, false},
        {Qt::Key_Space, -1, 0, false},  // the point's value box, not play
        {QKeyCombination(Qt::ControlModifier, Qt::Key_Period), -1, 39, false},
        {Qt::Key_Comma, -1, 38, false},
        {QKeyCombination(Qt::ControlModifier, Qt::Key_Comma), -1, 0, false},
        {Qt::Key_Period, -1, 1, false},
        {Qt::Key_F5, -1, 1, true},
        {Qt::Key_F5, -1, 1, false},
        {Qt::Key_End, last, 1, false},
    };
    bool valueShown = view->ValueDisplay()->isVisible();
    for (const auto& step : steps) {
        const int before = view->SelectedIndex();
        QTest::keyClick(view, step.key.key(), step.key.keyboardModifiers());
        SCOPED_TRACE(QKeySequence(step.key).toString().toStdString());
        EXPECT_EQ(view->SelectedIndex(), step.selected < 0 ? before : step.selected);
        EXPECT_EQ(Logs().Player()->Row(), step.row);
        EXPECT_EQ(Logs().Player()->IsPlaying(), step.playing);
        if (step.key.key() == Qt::Key_Space) {
            EXPECT_NE(view->ValueDisplay()->isVisible(), valueShown);
            valueShown = view->ValueDisplay()->isVisible();
        }
    }
    // No key of the frame is one the graph answers, with or without Shift or Ctrl.
    std::vector<QKeySequence> graphKeys;
    for (Qt::Key key : {Qt::Key_Space, Qt::Key_Home, Qt::Key_End, Qt::Key_Left, Qt::Key_Right,
                        Qt::Key_Up, Qt::Key_Down, Qt::Key_PageUp, Qt::Key_PageDown, Qt::Key_Return,
                        Qt::Key_Enter, Qt::Key_Escape})
        for (Qt::KeyboardModifiers mods :
             {Qt::KeyboardModifiers(), Qt::KeyboardModifiers(Qt::ShiftModifier),
              Qt::KeyboardModifiers(Qt::ControlModifier)})
            graphKeys.emplace_back(QKeyCombination(mods, key));
    for (QAction* a : app_->Frame()->findChildren<QAction*>())
        for (const QKeySequence& keys : a->shortcuts())
            EXPECT_EQ(std::count(graphKeys.begin(), graphKeys.end(), keys), 0)
                << keys.toString().toStdString() << " is taken by command " << a->data().toInt();
    // The transport's buttons name the keys that press them.
    EXPECT_EQ(Logs().Transport()->PlayAction()->toolTip(), QStringLiteral("Play/Pause (F5)"));
    Route(res::kCloseLog);
    Settle();
    view->setFocus();
    QTest::keyClick(view, Qt::Key_Home);
    EXPECT_EQ(view->SelectedIndex(), 0);
}

// The file dialog runs a loop of its own: a close meanwhile waits for it.
TEST_F(EngineLogsTest, ACloseWhileTheLogDialogIsOpenWaitsForIt) {
    Start();
    AnswerSave(MsgResult::No);
    bool pendingWhileOpen = false;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        app_->Frame()->close();
        pendingWhileOpen = app_->Frame()->IsClosePending();
        dialog->reject();
    });
    Route(res::kOpenLog);
    EXPECT_TRUE(pendingWhileOpen);
    EXPECT_EQ(Logs().Player(), nullptr);
    Settle();  // the close goes through now
    EXPECT_FALSE(app_->Frame()->IsClosePending());
}

TEST_F(EngineLogsTest, OpenLogRefusesOtherFilesNamingTheLine) {
    Start();
    const QString path = Path("tune.csv");
    Write(path, "Time,Engine Speed\nms,rpm\n0,1611.3\n66,lots\n");
    EXPECT_FALSE(Logs().OpenLog(path));
    EXPECT_TRUE(Asked("Unable to open " + path.toStdString() +
                      " as a log:\nline 4: Engine Speed \"lots\" is not a number"));
    EXPECT_EQ(Logs().Player(), nullptr);
    EXPECT_TRUE(Logs().Transport()->isHidden());

    // A log in playback and the document stay as they were when another is refused.
    ASSERT_TRUE(OpenRamp("ride.csv", 30));
    const LogPlayer* playing = Logs().Player();
    const std::string title = app_->Frame()->windowTitle().toStdString();
    const std::vector<std::string> junk = {"", "PK\x03\x04", std::string(100000, 'q')};
    for (const std::string& text : junk) {
        Write(path, text);
        EXPECT_FALSE(Logs().OpenLog(path));
        EXPECT_EQ(Logs().Player(), playing);
        EXPECT_EQ(Logs().Player()->Log().Rows(), 30u);
        EXPECT_FALSE(app_->Document().IsModified());
        EXPECT_EQ(app_->Frame()->windowTitle().toStdString(), title);
    }
}

TEST_F(EngineLogsTest, ALogOpenedWithACutLastLineOrValuesOffScaleSaysSoInTheStatusBar) {
    Start();
    const struct {
        std::string text;
        const char* note;
    } cases[] = {
        {Ramp(30) + "3000,99", "crash.csv: line 33 was cut short and is left out"},
        {Ramp(30) + "3000,9999,0,12.5\n3100,10,-4,12.5\n",
         "crash.csv: 2 value(s) beyond their range are shown at its limit"},
        {Ramp(30) + "3000,9999,0,12.5\n31",
         "crash.csv: line 34 was cut short and is left out; 1 value(s) beyond their range are "
         "shown at its limit"},
        // A spreadsheet's own columns are left out, by name.
        {"Lambda,Time,Engine Speed\n,ms,rpm\n0.9,0,1611.3\n",
         "crash.csv: the column \"Lambda\" is not a monitored value and is left out"},
        {"\xEF\xBB\xBFTime,Engine Speed,Lambda,Gear\r\nms,rpm,,\r\n0,1611.3,0.9,2\r\n,,,\r\n",
         "crash.csv: the columns \"Lambda\", \"Gear\" are not monitored values and are left out"},
        {"A,B,Time,C,D,Engine Speed,E,F\n,,ms,,,rpm,,\n1,2,0,3,4,1611.3,5,6\n",
         "crash.csv: the columns \"A\", \"B\", \"C\", \"D\", 2 more are not monitored values "
         "and are left out"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 40));
        Write(Path("crash.csv"), c.text);
        ASSERT_TRUE(Logs().OpenLog(Path("crash.csv")));
        EXPECT_EQ(app_->Frame()->statusBar()->currentMessage().toStdString(), c.note);
        Logs().CloseLog();
    }
}

TEST_F(EngineLogsTest, CoverageShadesThePointsTheEngineUsedUpToTheCursor) {
    Start();
    ASSERT_TRUE(OpenRamp("pull.csv"));  // 0 .. 6284 rpm
    Route(res::kViewCoverage);
    EXPECT_TRUE(Logs().CoverageShown());
    EXPECT_TRUE(Logs().CoverageApplies());
    Route(res::kLogEnd);
    const Coverage& c = Logs().CoverageData();
    EXPECT_TRUE(c.Used(0) && c.Used(11));
    EXPECT_FALSE(c.Used(12) || c.Used(15));
    MapGraphView* view = app_->Frame()->View();
    view->resize(800, 500);
    const QImage shot = view->grab().toImage();
    const int y = view->PlotTop() + view->PlotHeight() / 3;
    auto shaded = [&](double rpm) {
        const QColor px = shot.pixelColor(view->XToPixel(rpm) + 6, y);
        return px.red() > px.blue() + 40;  // the amber wash on the black background
    };
    EXPECT_TRUE(shaded(1100.0));
    EXPECT_FALSE(shaded(7700.0));
    Route(res::kResetCoverage);
    EXPECT_EQ(Logs().CoverageData().TotalMs(), 0);
    Route(res::kLogStart);
    Route(res::kLogEnd);  // from the reset point (the end) onwards: one row
    EXPECT_TRUE(Logs().CoverageData().Used(11));
    EXPECT_FALSE(Logs().CoverageData().Used(0));
    // A map on another axis is not shaded.
    Route(cmd::kMapFirst + 3);
    EXPECT_FALSE(Logs().CoverageApplies());
}

// Playback counts each row before the cursor until the next row and the
// cursor's own row as long as the one before it, whichever way the cursor
// came. Rows 0, 100, 300, 600 and 1000 ms at 0, 600, 650, 1100 and 1100 rpm:
// map points 0, 1, 1, 2 and 2 (550 rpm apart); times worked out by hand.
TEST_F(EngineLogsTest, PlaybackCoverageCountsTheRowsUpToTheCursorWhicheverWayItMoved) {
    Start();
    std::string text = LogHeader({0});
    const int times[] = {0, 100, 300, 600, 1000};
    const double rpm[] = {0, 600, 650, 1100, 1100};
    for (int i = 0; i < 5; ++i) text += LogRow(times[i], {0}, {rpm[i]});
    const QString path = Path("steps.csv");
    Write(path, text);
    ASSERT_TRUE(Logs().OpenLog(path));
    Route(res::kViewCoverage);  // Reset Coverage is there only then
    const struct {
        int command;
        const char* what;
        int64_t at0, at1, at2;
    } steps[] = {
        {res::kLogStart, "row 0 alone holds nothing", 0, 0, 0},
        {res::kLogStepForward, "row 1 held as row 0", 100, 100, 0},
        {res::kLogStepForward, "row 1 until row 2, row 2 held as row 1", 100, 400, 0},
        {res::kLogStepForward, "row 2 until row 3, row 3 held as row 2", 100, 500, 300},
        {res::kLogStepBack, "back at row 2", 100, 400, 0},
        {res::kResetCoverage, "counted from row 2 on", 0, 0, 0},
        {res::kLogStepForward, "rows 2 and 3 since the reset", 0, 300, 300},
        {res::kLogEnd, "to the end since the reset", 0, 300, 800},
        {res::kLogStart, "before the reset nothing counts", 0, 0, 0},
    };
    for (const auto& step : steps) {
        Route(step.command);
        const Coverage& c = Logs().CoverageData();
        const int64_t expected[] = {step.at0, step.at1, step.at2};
        EXPECT_EQ(c.TotalMs(), step.at0 + step.at1 + step.at2) << step.what;
        for (int p = 0; p < 3; ++p)
            EXPECT_NEAR(c.Share(p) * static_cast<double>(c.TotalMs()),
                        static_cast<double>(expected[p]), 1e-6)
                << step.what << ", point " << p;
    }
}

// A log of some values only: the others are blank, not 0.0, and without the
// map's x value the graph shows no live bar.
TEST_F(EngineLogsTest, ValuesALogLacksAreBlankAndWithoutItsXValueNoLiveBar) {
    ShowMonitors(0x7F);
    Start();
    app_->Frame()->resize(800, 600);
    const struct {
        std::string text;
        std::vector<std::string> shown;  // the seven boxes
        bool bar;
    } cases[] = {
        {"Time,Engine Speed,Battery Voltage\nms,rpm,volts\n0,1611.3,12.5\n",
         {" 1611.3", "", "", "", "", " 12.5", ""},
         true},
        {"Time,Battery Voltage\nms,volts\n0,12.5\n", {"", "", "", "", "", " 12.5", ""}, false},
        {LogHeader({0, 1, 2, 3, 4, 5, 6}) + "0,1611.3,0.0,0.0,0.0,0.0,0.0,0.0\n",
         {" 1611.3", " 0.0", " 0.0", " 0.0", " 0.0", " 0.0", " 0.0"},
         true},
    };
    MapGraphView* view = app_->Frame()->View();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        Write(Path("some.csv"), c.text);
        ASSERT_TRUE(Logs().OpenLog(Path("some.csv")));
        for (int d = 0; d < 7; ++d)
            EXPECT_EQ(Shown(d), c.shown[static_cast<std::size_t>(d)]) << "display " << d;
        // Engine speed 1611.3 rpm: the bar stands at the point for 1650 rpm.
        const QImage shot = view->grab().toImage();
        const int x = view->XToPixel(c.bar ? 1650.0 : 0.0);
        const int red =
            qx::test::PixelsOf(shot, QRect(x, view->PlotTop(), 1, view->PlotHeight()), Qt::red);
        EXPECT_EQ(red > view->PlotHeight() / 2, c.bar) << red;
        Logs().CloseLog();
    }
}

// Ctrl+M with a log open: the log keeps the displays unless the user chooses
// to close it; Enter (the default) and Escape keep it.
TEST_F(EngineLogsTest, StartingMonitoringWithALogOpenClosesItOnlyWhenChosen) {
    Start();
    LinkEmulatedModule();
    ASSERT_TRUE(OpenRamp("pull.csv"));
    EXPECT_EQ(Logs().SourceLabel()->text(), QStringLiteral("Log: pull.csv"));
    const std::string question =
        "The displays show a log being played back.\n\n"
        "Close the log and show the module's live values instead?";
    auto answer = [&](MsgResult r) {
        answer_ = [=](const MessageRecord& m) -> std::optional<MsgResult> {
            return m.text == question ? r : DefaultAnswer(m);
        };
    };
    // Monitoring started anyway would run until stopped: stopped at its first packet.
    bool started = false;
    SampleChannel::Hold counting =
        RamMonitor::Instance().Samples().Subscribe([&](LiveSource& s, bool) {
            if (&s != &RamMonitor::Instance() || started) return;
            started = true;
            app_->Host().Post([this] { Route(res::kToggleMonitoring); });
        });
    {
        answer(MsgResult::No);  // "Keep the Log", also what Enter and Escape give
        const std::size_t asked = Messages().size();
        Route(res::kToggleMonitoring);
        EXPECT_FALSE(started);
        ASSERT_EQ(Messages().size(), asked + 1);
        EXPECT_EQ(Messages().back().text, question);
        EXPECT_EQ(Messages().back().buttons, MsgButtons::YesNo);  // two choices, no third alike
        EXPECT_NE(Logs().Player(), nullptr);
        EXPECT_FALSE(RamMonitor::Instance().IsRunning());
        EXPECT_EQ(Logs().SourceLabel()->text(), QStringLiteral("Log: pull.csv"));
    }
    counting.Reset();
    answer(MsgResult::Yes);
    std::vector<QString> sources;
    Monitor(3, [&](int) { sources.push_back(Logs().SourceLabel()->text()); });
    EXPECT_EQ(Logs().Player(), nullptr);
    EXPECT_EQ(sources, (std::vector<QString>(sources.size(), QStringLiteral("Live"))));
    Settle();
    EXPECT_TRUE(Logs().SourceLabel()->isHidden());  // neither a log nor the module now
}

// Packets that waited while the window was busy keep the times they came
// off the line instead of sharing the moment they were read.
TEST_F(EngineLogsTest, TheRecorderTimesEachPacketWhenItCameOffTheLine) {
    Start();
    LinkEmulatedModule();
    ASSERT_TRUE(Logs().StartRecording(Path("busy.csv")));
    // Every fifth packet the window is busy for 0.4 s: about six packets wait meanwhile.
    Monitor(40, [&](int n) {
        if (n % 5 == 0) clock_.Advance(400);
    });
    Logs().StopRecording();
    const EngineLog log = ReadBack("busy.csv");
    ASSERT_GE(log.Rows(), 40u);
    // 8N1 at the line's 1042 us a byte: one packet's bytes apart.
    const double packetMs = static_cast<double>(RamMonitor::Instance().PacketLength()) * 1.042;
    for (std::size_t i = 2; i < log.Rows(); ++i) {
        const auto gap = static_cast<double>(log.timeMs[i] - log.timeMs[i - 1]);
        EXPECT_GE(gap, 0.75 * packetMs) << "row " << i;
        EXPECT_LE(gap, 1.25 * packetMs) << "row " << i;
    }
}

// A long read shows its progress and can be cancelled; cancelling leaves the
// log that was open as it was, without a word.
TEST_F(EngineLogsTest, ALongLogShowsProgressAndCancelKeepsWhatWasOpen) {
    Start();
    ASSERT_TRUE(OpenRamp("short.csv", 30));
    Route(res::kLogStepForward);
    std::string text = LogHeader({0, 3, 5});
    for (int i = 0; i < 60000; ++i)  // about 1.3 MB
        text += LogRow(66 * static_cast<int64_t>(i), {0, 3, 5},
                       {LogValueOf(0, i % 500), static_cast<double>(i % 40), LogValueOf(5, 200)});
    Write(Path("long.csv"), text);
    std::vector<int> steps;
    bool cancel = true;
    bool dialogSeen = false;
    QObject::connect(&Logs(), &EngineLogs::logReadProgress, app_->Frame(), [&](int step) {
        steps.push_back(step);
        auto* dialog = app_->Frame()->findChild<QProgressDialog*>();
        dialogSeen = dialogSeen || (dialog != nullptr && dialog->labelText().contains("long.csv"));
        if (cancel && dialog != nullptr) dialog->cancel();
    });
    const LogPlayer* before = Logs().Player();
    const QString title = app_->Frame()->windowTitle();
    const std::size_t messages = Messages().size();
    EXPECT_FALSE(Logs().OpenLog(Path("long.csv")));
    EXPECT_TRUE(dialogSeen);
    EXPECT_EQ(steps.size(), 1u);  // stopped at the first step
    EXPECT_EQ(Logs().Player(), before);
    EXPECT_EQ(Logs().Player()->Log().Rows(), 30u);
    EXPECT_EQ(Logs().Player()->Row(), 1u);
    EXPECT_EQ(app_->Frame()->windowTitle(), title);
    EXPECT_EQ(Messages().size(), messages);

    cancel = false;
    steps.clear();
    ASSERT_TRUE(Logs().OpenLog(Path("long.csv")));
    EXPECT_EQ(Logs().Player()->Log().Rows(), 60000u);
    ASSERT_GE(steps.size(), 2u);
    EXPECT_TRUE(std::is_sorted(steps.begin(), steps.end()));
    EXPECT_LE(steps.back(), EngineLogs::kProgressSteps);
    EXPECT_EQ(app_->Frame()->findChild<QProgressDialog*>(), nullptr);  // gone with the read
}

TEST(PlaybackTimeText, MinutesUnderAnHourAndHoursFromThere) {
    const struct {
        int64_t ms;
        int64_t span;
        const char* text;
    } cases[] = {
        {0, 0, "0:00.0"},
        {66, 0, "0:00.0"},
        {59999, 0, "0:59.9"},
        {3599999, 0, "59:59.9"},
        {3600000, 0, "1:00:00.0"},
        {1000, 3600000, "0:00:01.0"},  // beside a length of an hour or more
        {360000000, 0, "100:00:00.0"},
        {(int64_t{1} << 31) + 5000, 0, "596:31:28.6"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PlaybackTimeText(c.ms, c.span).toStdString(), c.text) << c.ms;
    EXPECT_EQ(ElapsedText(3725000).toStdString(), "1:02:05");
    EXPECT_EQ(ElapsedText(65000).toStdString(), "1:05");
}

// Logs longer than an hour read in hours; times past 2^31 ms reach the
// slider, which steps through them in larger steps: as few whole milliseconds
// as keep its steps within 2^30.
TEST_F(EngineLogsTest, LongLogsReadInHoursAndTheSliderReachesEveryTime) {
    Start();
    const struct {
        int64_t end;
        const char* endText;
        int64_t step;  // ms a step of the slider
    } cases[] = {
        {3900, "0:03.9", 1},
        {90 * 60000, "1:30:00.0", 1},
        {360000000, "100:00:00.0", 1},
        {(int64_t{1} << 31) + 5000, "596:31:28.6", 3},
        {(int64_t{1} << 33) + 100, "2386:05:34.6", 9},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.endText);
        std::string text = LogHeader({0});
        for (int64_t t : {int64_t{0}, int64_t{1000}, c.end / 2, c.end})
            text += LogRow(t, {0}, {LogValueOf(0, 100)});
        Write(Path("long.csv"), text);
        ASSERT_TRUE(Logs().OpenLog(Path("long.csv")));
        QSlider* slider = Logs().Transport()->Slider();
        Route(res::kLogEnd);
        EXPECT_EQ(Logs().Transport()->TimeLabel()->text().toStdString(),
                  std::string(c.endText) + " / " + c.endText);
        EXPECT_EQ(slider->value(), slider->maximum());
        EXPECT_GT(slider->maximum(), 0);
        slider->setValue(slider->maximum() / 2);
        EXPECT_LE(std::llabs(Logs().Player()->PositionMs() - c.end / 2), c.step);
        slider->setValue(1);
        EXPECT_EQ(Logs().Player()->PositionMs(), c.step);
        slider->setValue(slider->maximum());
        EXPECT_EQ(Logs().Player()->Row(), 3u);
        Logs().CloseLog();
    }
}

}  // namespace
}  // namespace qx::gui::testing
