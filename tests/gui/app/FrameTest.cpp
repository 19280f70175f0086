// The main frame against the emulated module: command states, the link
// command and its upload offer, closing while linked, the file round trip,
// the wait window and a picture of the main window.
#include <QAction>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QMenu>
#include <QScreen>
#include <QToolBar>
#include <QWindow>

#include "AppFixture.h"
#include "app/AboutDlg.h"
#include "app/ModelessWait.h"
#include "graph/MapGraphView.h"

namespace qx::gui::testing {
namespace {

QAction* MenuAction(CMainFrame* f, int id) {
    for (QAction* a : f->Commands().ActionsFor(id))
        if (!f->ToolBar()->actions().contains(a) && !a->text().isEmpty()) return a;
    return nullptr;
}

TEST_F(AppTest, CommandStatesFollowTheLink) {
    Start();
    UseEmulatedModule();
    CMainFrame* f = app_->Frame();
    f->OnIdle();
    QAction* link = MenuAction(f, 32774);
    ASSERT_NE(link, nullptr);
    EXPECT_EQ(link->text(), QStringLiteral("Establish Module &Link\tCtrl+L"));
    EXPECT_FALSE(link->isChecked());
    EXPECT_FALSE(MenuAction(f, 32771)->isEnabled());
    EXPECT_FALSE(MenuAction(f, 32772)->isEnabled());
    EXPECT_FALSE(MenuAction(f, 32807)->isEnabled());
    EXPECT_FALSE(MenuAction(f, 32808)->isEnabled());
    EXPECT_FALSE(f->Commands().StateOf(32790).enabled);
    EXPECT_TRUE(MenuAction(f, 32776)->isChecked());
    EXPECT_FALSE(MenuAction(f, 32777)->isChecked());
    EXPECT_FALSE(f->LinkStripUp());

    Link(false);
    ASSERT_TRUE(CommPort::Instance().IsLinked());
    f->OnIdle();
    EXPECT_EQ(link->text(), QStringLiteral("Break Module &Link\tCtrl+L"));
    EXPECT_TRUE(link->isChecked());
    EXPECT_TRUE(MenuAction(f, 32771)->isEnabled());
    EXPECT_TRUE(MenuAction(f, 32772)->isEnabled());
    EXPECT_TRUE(MenuAction(f, 32807)->isEnabled());
    EXPECT_FALSE(MenuAction(f, 32807)->isChecked());
    EXPECT_FALSE(MenuAction(f, 32808)->isEnabled());
    EXPECT_TRUE(f->Commands().StateOf(32790).enabled);
    EXPECT_TRUE(f->LinkStripUp());

    // Map selection is checked for the current map only.
    f->Commands().Route(32779);
    f->OnIdle();
    EXPECT_TRUE(MenuAction(f, 32779)->isChecked());
    EXPECT_FALSE(MenuAction(f, 32776)->isChecked());

    Link(false);  // breaks
    EXPECT_FALSE(CommPort::Instance().IsLinked());
    EXPECT_TRUE(Asked("Connection to Module Has Been Broken"));
    f->OnIdle();
    EXPECT_EQ(link->text(), QStringLiteral("Establish Module &Link\tCtrl+L"));
    EXPECT_FALSE(f->LinkStripUp());
}

TEST_F(AppTest, LinkOfferedUploadAnsweredYesFillsTheDocument) {
    Start();
    UseEmulatedModule();
    ModuleState& doc = app_->Document();
    EXPECT_FALSE(doc.IsModified());
    Link(true);
    ASSERT_TRUE(CommPort::Instance().IsLinked());
    EXPECT_TRUE(Asked("Do you want to upload the current module settings?"));
    // An upload marks every value in sync and the document modified.
    EXPECT_TRUE(doc.IsModified());
    for (int i = 0; i < kBasicValueCount; ++i) EXPECT_TRUE(doc.BasicValue(i).InSync()) << i;
    EXPECT_FALSE(doc.TransferInProgress());
    // The wait window is gone once the command has returned.
    EXPECT_EQ(app_->Host().WaitWindow(), nullptr);
}

TEST_F(AppTest, LinkOfferedUploadAnsweredNoLeavesTheDocument) {
    Start();
    UseEmulatedModule();
    ModuleState& doc = app_->Document();
    Link(false);
    ASSERT_TRUE(CommPort::Instance().IsLinked());
    EXPECT_TRUE(Asked("Do you want to upload the current module settings?"));
    EXPECT_FALSE(doc.IsModified());
    for (int i = 0; i < kBasicValueCount; ++i) EXPECT_FALSE(doc.BasicValue(i).InSync()) << i;
}

TEST_F(AppTest, FailedLinkOffersNoUpload) {
    Start();
    CommPort::Instance().SetPortOpener([](int, serial::OpenError*) { return nullptr; });
    Link(true);
    EXPECT_FALSE(CommPort::Instance().IsLinked());
    EXPECT_TRUE(Asked("Unable to Initialize Serial Port."));
    EXPECT_FALSE(Asked("Do you want to upload the current module settings?"));
    EXPECT_EQ(app_->Host().WaitWindow(), nullptr);
}

TEST_F(AppTest, ClosingWhileLinkedBreaksBeforeTheSaveQuestion) {
    Start();
    UseEmulatedModule();
    Link(true);  // the upload leaves the document modified
    ASSERT_TRUE(app_->Document().IsModified());
    answer_ = [](const MessageRecord& m) -> std::optional<MsgResult> {
        if (m.text.rfind("Save changes to", 0) == 0) return MsgResult::Cancel;
        return DefaultAnswer(m);
    };
    app_->Host().ClearMessages();
    EXPECT_FALSE(app_->Frame()->close());  // Cancel keeps the window
    const int broken = IndexOfMessage("Connection to Module Has Been Broken");
    const int save = IndexOfMessage("Save changes to Untitled?");
    ASSERT_GE(broken, 0);
    ASSERT_GE(save, 0);
    EXPECT_LT(broken, save);
    EXPECT_FALSE(CommPort::Instance().IsLinked());
    EXPECT_TRUE(app_->Document().IsModified());
}

TEST_F(AppTest, NewSaveOpenRoundTripThroughTheFrame) {
    Start();
    CMainFrame* f = app_->Frame();
    EXPECT_EQ(f->windowTitle(), QStringLiteral("Untitled - Quorvex I"));
    ModuleState& doc = app_->Document();
    ASSERT_TRUE(doc.revLimit().SetValue(8192, false));
    doc.SetModifiedFlag(true);
    const QString chosen = dir_.filePath(QStringLiteral("bench"));
    int asked = 0;
    app_->SetFileChooser([&](bool save, const QString&) -> std::optional<QString> {
        ++asked;
        return save ? chosen : dir_.filePath(QStringLiteral("bench.qvx"));
    });
    f->Commands().Route(57603);  // Save of an untitled document asks for a name
    EXPECT_EQ(asked, 1);
    const QString saved = dir_.filePath(QStringLiteral("bench.qvx"));
    ASSERT_TRUE(QFile::exists(saved));  // the extension is added, in lower case
    EXPECT_EQ(QFile(saved).size(), 3676);
    EXPECT_FALSE(doc.IsModified());
    EXPECT_EQ(f->windowTitle(), QStringLiteral("bench.qvx - Quorvex I"));

    f->Commands().Route(57600);  // New: not modified, so no question
    EXPECT_FALSE(Asked("Save changes to bench.qvx?"));
    EXPECT_EQ(f->windowTitle(), QStringLiteral("Untitled - Quorvex I"));
    EXPECT_NE(doc.revLimit().GetValue(), 8192);

    f->Commands().Route(57601);  // Open
    EXPECT_EQ(asked, 2);
    EXPECT_DOUBLE_EQ(doc.revLimit().GetValue(), 8192);
    EXPECT_EQ(f->windowTitle(), QStringLiteral("bench.qvx - Quorvex I"));
    // The file heads the recent-file list kept in the profile.
    ASSERT_FALSE(app_->RecentFiles().empty());
    EXPECT_EQ(app_->RecentFiles().front(), saved.toStdString());
}

TEST_F(AppTest, RecentFileListKeepsFourNewestFirst) {
    Start();
    for (int i = 0; i < 6; ++i) {
        const QString path = dir_.filePath(QStringLiteral("f%1.qvx").arg(i));
        app_->SetFileChooser([&](bool, const QString&) { return std::optional<QString>(path); });
        app_->Frame()->Commands().Route(57604);
    }
    const auto files = app_->RecentFiles();
    ASSERT_EQ(files.size(), 4u);
    EXPECT_EQ(files[0], dir_.filePath(QStringLiteral("f5.qvx")).toStdString());
    EXPECT_EQ(files[3], dir_.filePath(QStringLiteral("f2.qvx")).toStdString());
    // A new start reads them back from the profile.
    app_.reset();
    Start();
    EXPECT_EQ(app_->RecentFiles(), files);
}

TEST_F(AppTest, StartWithAFileThatCannotBeOpenedFails) {
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
    // What the screen holds now (no event was dispatched since the show) must
    // be the fully drawn window, text included.
    auto onScreen = [w] {
        return w->screen()->grabWindow(w->winId()).toImage().convertToFormat(QImage::Format_RGB32);
    };
    const QImage painted = onScreen();
    const QImage fresh = w->grab().toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(painted.size(), fresh.size());
    EXPECT_EQ(painted, fresh);
    // The text control holds dark text pixels.
    const QRect text = w->Control(ModelessWait::kMessageId)->geometry().adjusted(3, 3, -3, -3);
    int dark = 0;
    for (int y = text.top(); y <= text.bottom(); ++y)
        for (int x = text.left(); x <= text.right(); ++x)
            if (qGray(painted.pixel(x, y)) < 100) ++dark;
    EXPECT_GT(dark, 30);
    // A new text is drawn at once as well.
    app_->Host().ShowWaitWindow("...while the module settings are downloaded");
    EXPECT_EQ(w->Message(), QStringLiteral("...while the module settings are downloaded"));
    EXPECT_EQ(onScreen(), w->grab().toImage().convertToFormat(QImage::Format_RGB32));
    EXPECT_NE(onScreen(), painted);
    app_->Host().CloseWaitWindow();
    EXPECT_EQ(app_->Host().WaitWindow(), nullptr);
}

TEST_F(AppTest, AboutBoxShowsModuleNumbersOnlyWhileLinked) {
    Start();
    UseEmulatedModule();
    {
        CAboutDlg about(app_->Frame());
        about.show();
        EXPECT_EQ(about.Text(CAboutDlg::kSerialField), QStringLiteral("#####"));
        EXPECT_EQ(about.Text(CAboutDlg::kFirmwareField), QStringLiteral("#####"));
    }
    EXPECT_TRUE(lines_.empty());  // no port was touched
    Link(false);
    CAboutDlg about(app_->Frame());
    about.show();
    EXPECT_EQ(about.Text(CAboutDlg::kSerialField), QStringLiteral("00042"));
    EXPECT_EQ(about.Text(CAboutDlg::kFirmwareField),
              FirmwareText(CommPort::Instance().FirmwareVersion()));
    EXPECT_EQ(FirmwareText(0x1A), QStringLiteral("1.10"));
}

TEST_F(AppTest, HelpOpensTheInstalledGuide) {
    Start();
    QString opened;
    app_->Frame()->SetUrlOpener([&](const QString& p) {
        opened = p;
        return true;
    });
    for (int id : {57667, 57669, 57670}) {
        opened.clear();
        app_->Frame()->Commands().Route(id);
        EXPECT_TRUE(opened.endsWith(QStringLiteral("quorvexi-guide.html"))) << id;
        EXPECT_TRUE(QFile::exists(opened));
    }
}

TEST_F(AppTest, MainWindowRendersToPng) {
    Start();
    CMainFrame* f = app_->Frame();
    f->resize(900, 620);
    f->show();
    Settle(3);
    const QImage image = f->grab().toImage();
    ASSERT_FALSE(image.isNull());
    const QByteArray buildDir = qgetenv("QX_BUILD_DIR");
    const QString folder = buildDir.isEmpty() ? QDir::tempPath() : QString::fromLocal8Bit(buildDir);
    const QString path = QDir(folder).filePath(QStringLiteral("quorvexi-main-window.png"));
    ASSERT_TRUE(image.save(path));
    EXPECT_EQ(f->objectName(), QStringLiteral("CalderixMainWindow"));
    EXPECT_NE(f->View(), nullptr);
    EXPECT_EQ(f->centralWidget(), static_cast<QWidget*>(f->View()));
    EXPECT_EQ(f->CapsPaneText(), QString());  // offscreen: no lock state to show
}

}  // namespace
}  // namespace qx::gui::testing

namespace qx::gui::testing {
namespace {

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
    for (int i = 0; i < kBasicValueCount; ++i) EXPECT_TRUE(app_->Document().BasicValue(i).InSync());
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
