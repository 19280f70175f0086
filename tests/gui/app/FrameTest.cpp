// The main frame against the emulated module: command states, the link
// command and its upload offer, closing while linked, the file round trip,
// the wait window and a picture of the main window.
#include <QAction>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QScreen>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QWindow>
#include <climits>

#include "AppFixture.h"
#include "core/host/CommandIds.h"
#include "core/host/Numbers.h"
#include "core/maps/ModuleMap.h"
#include "gui/GuiTestSupport.h"
#include "gui/graph/GraphGeometry.h"
#include "gui/graph/GraphStyle.h"
#include "gui/graph/MapGraphView.h"
#include "gui/shell/ModelessWait.h"

namespace qx::gui::testing {
namespace {

// The link command with the upload offer answered No, then (after a break) Yes,
// the command states that follow the link, and closing while linked.
TEST_F(AppTest, LinkCommandStatesAndTheUploadOffer) {
    Start();
    UseEmulatedModule();
    CMainFrame* f = app_->Frame();
    QAction* link = MenuAction(cmd::kLink);
    ASSERT_NE(link, nullptr);
    auto expectStates = [&](bool linked) {
        f->OnIdle();
        EXPECT_EQ(link->text(), linked ? QStringLiteral("Break Module &Link\tCtrl+L")
                                       : QStringLiteral("Establish Module &Link\tCtrl+L"));
        EXPECT_EQ(link->isChecked(), linked);
        for (int id : {cmd::kUpload, cmd::kDownload, cmd::kToggleMonitoring})
            EXPECT_EQ(MenuAction(id)->isEnabled(), linked) << id;
        EXPECT_FALSE(MenuAction(cmd::kToggleMonitoring)->isChecked());
        EXPECT_FALSE(MenuAction(cmd::kResetPeakAcceleration)->isEnabled());
        EXPECT_EQ(f->Commands().StateOf(cmd::kWriteSerial).enabled, linked);
        EXPECT_EQ(f->LinkStripUp(), linked);
    };
    expectStates(false);
    Link(false);
    ASSERT_TRUE(CommPort::Instance().IsLinked());
    EXPECT_TRUE(Asked("Do you want to upload the current module settings?"));
    EXPECT_FALSE(app_->Document().IsModified());
    EXPECT_EQ(InSyncCount(), 0);
    expectStates(true);

    Link(false);  // breaks
    EXPECT_TRUE(Asked("Connection to Module Has Been Broken"));
    expectStates(false);

    // Upload and download are off while the upload runs.
    bool uploadEnabledDuring = true;
    Link(true, [&] {
        uploadEnabledDuring =
            MenuAction(cmd::kUpload)->isEnabled() || MenuAction(cmd::kDownload)->isEnabled();
    });
    ASSERT_TRUE(CommPort::Instance().IsLinked());
    EXPECT_TRUE(busyWhenRun_);
    EXPECT_FALSE(uploadEnabledDuring);
    EXPECT_TRUE(app_->Document().IsModified());
    EXPECT_EQ(InSyncCount(), kBasicValueCount);
    EXPECT_FALSE(app_->Document().TransferInProgress());
    EXPECT_EQ(app_->Host().WaitWindow(), nullptr);
    expectStates(true);

    // Closing while linked breaks before the save question; Cancel keeps the window.
    AnswerSave(MsgResult::Cancel);
    ClearMessages();
    EXPECT_FALSE(f->close());
    const int broken = IndexOfMessage("Connection to Module Has Been Broken");
    ASSERT_GE(broken, 0);
    EXPECT_GT(IndexOfMessage("Save changes to Untitled?"), broken);
    EXPECT_FALSE(CommPort::Instance().IsLinked());
    EXPECT_TRUE(app_->Document().IsModified());
}

TEST_F(AppTest, NewSaveOpenRoundTrip) {
    Start();
    CMainFrame* f = app_->Frame();
    EXPECT_EQ(f->windowTitle(), QStringLiteral("Untitled - Quorvex I"));
    ModuleState& doc = app_->Document();
    ASSERT_TRUE(doc.revLimit().SetValue(8192, false));
    doc.SetModifiedFlag(true);
    const QString saved = dir_.filePath(QStringLiteral("bench.qvx"));
    int asked = 0;
    app_->SetFileChooser([&](bool save, const QString&) -> std::optional<QString> {
        ++asked;
        return save ? dir_.filePath(QStringLiteral("bench")) : saved;
    });
    Route(cmd::kFileSave);  // Save of an untitled document asks for a name
    EXPECT_EQ(asked, 1);
    ASSERT_TRUE(QFile::exists(saved));  // the extension is added, in lower case
    EXPECT_EQ(QFile(saved).size(), 3676);
    EXPECT_FALSE(doc.IsModified());
    EXPECT_EQ(f->windowTitle(), QStringLiteral("bench.qvx - Quorvex I"));
    Route(cmd::kFileNew);  // New: not modified, so no question
    EXPECT_FALSE(Asked("Save changes to bench.qvx?"));
    EXPECT_EQ(f->windowTitle(), QStringLiteral("Untitled - Quorvex I"));
    EXPECT_NE(doc.revLimit().GetValue(), 8192);
    Route(cmd::kFileOpen);  // Open
    EXPECT_EQ(asked, 2);
    EXPECT_DOUBLE_EQ(doc.revLimit().GetValue(), 8192);
    EXPECT_EQ(f->windowTitle(), QStringLiteral("bench.qvx - Quorvex I"));

    // A file that cannot be opened ends the start.
    Start(dir_.filePath(QStringLiteral("missing.qvx")));
    EXPECT_FALSE(started_);
}

TEST_F(AppTest, WaitWindowIsPaintedWithoutDispatching) {
    Start();
    app_->Frame()->show();
    app_->Host().ShowWaitWindow("...while the module settings are uploaded");
    ModelessWait* w = app_->Host().WaitWindow();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Please wait..."));
    // No event was dispatched since the show: the screen must hold it fully drawn.
    auto onScreen = [w] {
        return w->screen()->grabWindow(w->winId()).toImage().convertToFormat(QImage::Format_RGB32);
    };
    auto grabbed = [w] { return w->grab().toImage().convertToFormat(QImage::Format_RGB32); };
    const QImage painted = onScreen();
    EXPECT_EQ(painted, grabbed());
    const QRect text = w->Control(ModelessWait::kMessageId)->geometry().adjusted(3, 3, -3, -3);
    EXPECT_GT(qx::test::DarkPixels(painted, text, 100), 30);
    // A new text is drawn at once as well.
    app_->Host().ShowWaitWindow("...while the module settings are downloaded");
    EXPECT_EQ(w->Message(), QStringLiteral("...while the module settings are downloaded"));
    EXPECT_EQ(onScreen(), grabbed());
    EXPECT_NE(onScreen(), painted);
    app_->Host().CloseWaitWindow();
    EXPECT_EQ(app_->Host().WaitWindow(), nullptr);
}

// Whenever a message can be seen during the link command, a wait window is
// either gone or still says what it waits for.
TEST_F(AppTest, WaitWindowIsGoneOrSaysWhatItWaitsForBehindEveryMessage) {
    Start();
    UseEmulatedModule();
    app_->Frame()->show();
    std::vector<std::pair<std::string, QString>> seen;  // message, wait window's text
    answer_ = [&](const MessageRecord& m) -> std::optional<MsgResult> {
        ModelessWait* w = app_->Host().WaitWindow();
        seen.emplace_back(m.text, w == nullptr ? QStringLiteral("(none)") : w->Message());
        return DefaultAnswer(m);
    };
    Route(cmd::kLink);
    ASSERT_TRUE(CommPort::Instance().IsLinked());
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].first.rfind("Connection to Module Successfully Established", 0), 0u);
    EXPECT_EQ(seen[0].second,
              QStringLiteral("...while the communications link is established with the module"));
    EXPECT_EQ(seen[1].first, "Do you want to upload the current module settings?");
    EXPECT_EQ(seen[1].second, QStringLiteral("(none)"));
}

// The prompt of a menu item or a button under the pointer replaces "Ready",
// which comes back when the pointer has left it.
TEST_F(AppTest, StatusBarShowsReadyAgainAfterAPrompt) {
    Start();
    CMainFrame* f = app_->Frame();
    f->show();
    EXPECT_EQ(f->statusBar()->currentMessage(), QStringLiteral("Ready"));
    QStatusTipEvent over(QStringLiteral("Open an existing document"));
    QCoreApplication::sendEvent(f, &over);
    EXPECT_EQ(f->statusBar()->currentMessage(), QStringLiteral("Open an existing document"));
    QStatusTipEvent left{QString()};
    QCoreApplication::sendEvent(f, &left);
    EXPECT_EQ(f->statusBar()->currentMessage(), QStringLiteral("Ready"));
}

// However small the main window is made, every map's title stays inside its
// band and neighbouring tick labels stay apart, also beside the monitor window.
TEST_F(AppTest, MainWindowCannotShrinkUntilTheGraphIsIllegible) {
    Start();
    CMainFrame* f = app_->Frame();
    f->show();
    Settle();
    MapGraphView* view = f->View();
    for (bool monitorOpen : {false, true}) {
        SCOPED_TRACE(monitorOpen);
        if (monitorOpen) Route(cmd::kMonitorToggleFirst);  // a monitor display on: its window opens
        Settle();
        f->resize(50, 50);
        Settle();
        ASSERT_GT(view->width(), 100);
        ASSERT_GT(view->height(), 100);
        const graph::GraphSize s = view->Size();
        EXPECT_EQ(s.monitorWidth > 0, monitorOpen);
        for (int m = 0; m < kMapCount; ++m) {
            const ModuleMap& map = *app_->Document().Map(m);
            const QFontMetrics caption(ArialFont(graph::CaptionFontHeight(s), true));
            EXPECT_LE(graph::CaptionTextOrigin(s).x +
                          caption.horizontalAdvance(QString::fromStdString(map.Title())),
                      graph::FrameRight(s))
                << map.Title();
            const QFontMetrics ticks(StockVariableFont());
            int previousRight = INT_MIN;
            for (int i = 0; i < map.GridLines().x; ++i) {
                const double x = map.GetGridX(i);
                const int half =
                    ticks.horizontalAdvance(QString::fromStdString(FormatDouble("%.0lf", x))) / 2;
                const int centre = graph::XToPixel(
                    s, {map.ValueMin().x, map.ValueMax().x, map.ValueMin().y, map.ValueMax().y}, x);
                EXPECT_LT(previousRight, centre - half) << map.Title() << " tick " << i;
                previousRight = centre + half;
            }
            EXPECT_GE(graph::TitleHeight(s), 12);
            const QFontMetrics titles(ArialFont(graph::TitleHeight(s), false));
            EXPECT_GE(graph::XTitleOrigin(s, 0, titles.height()).y,
                      graph::PlotBottom(s) + 5 + ticks.height());
        }
    }
}

TEST_F(AppTest, MainWindowRendersToPng) {
    Start();
    CMainFrame* f = app_->Frame();
    f->resize(900, 620);
    f->show();
    Settle();
    const QImage image = f->grab().toImage();
    ASSERT_FALSE(image.isNull());
    // A build folder that cannot take the picture (here: it is a file) sends
    // it to the temporary folder instead of failing the test.
    const QByteArray buildDir = qgetenv("QX_BUILD_DIR");
    const QString notAFolder = dir_.filePath(QStringLiteral("not-a-folder"));
    QFile(notAFolder).open(QIODevice::WriteOnly);
    qputenv("QX_BUILD_DIR", notAFolder.toLocal8Bit());
    const QString picture =
        QDir(qx::test::PictureFolder()).filePath(QStringLiteral("quorvexi-main-window.png"));
    QFile::remove(picture);
    qx::test::SavePicture(image, QStringLiteral("quorvexi-main-window.png"));
    qputenv("QX_BUILD_DIR", buildDir);
    EXPECT_TRUE(picture.startsWith(QDir::tempPath())) << picture.toStdString();
    EXPECT_TRUE(QFile::exists(picture));
    qx::test::SavePicture(image, QStringLiteral("quorvexi-main-window.png"));
    EXPECT_EQ(f->CapsPaneText(), QString());  // offscreen: no lock state to show
}

// The demo mode on a real pseudo-terminal: the waits sleep on the descriptor.
TEST_F(AppTest, DemoModeLinksAndUploadsOverAPseudoTerminal) {
    Start();
    app_->Host().SetClock(RealClock());
    QString error;
    ASSERT_TRUE(app_->StartDemo(&error)) << error.toStdString();
    EXPECT_TRUE(app_->DemoDevice().startsWith(QStringLiteral("/dev/")));
    EXPECT_TRUE(app_->Frame()->windowTitle().endsWith(QStringLiteral("[Demo]")));
    Link(true);
    ASSERT_TRUE(CommPort::Instance().IsLinked());
    EXPECT_FALSE(Asked("Unable to Upload Module Settings"));
    EXPECT_TRUE(app_->Document().IsModified());
    EXPECT_EQ(InSyncCount(), kBasicValueCount);
    Link(false);  // breaks
    EXPECT_FALSE(CommPort::Instance().IsLinked());
    // The emulator's device is this run's only: the profile keeps the user's port.
    QFile profile(profile_);
    if (profile.open(QIODevice::ReadOnly)) {
        const QByteArray text = profile.readAll();
        EXPECT_FALSE(text.contains("/dev/pts")) << text.toStdString();
        EXPECT_FALSE(text.contains("Port=")) << text.toStdString();
    }
}

}  // namespace
}  // namespace qx::gui::testing
