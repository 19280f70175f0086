// Closing, quitting and swapping the document while module work runs inside a
// nested loop, and the hand-over from a second start.
#include <QDropEvent>
#include <QFile>
#include <QLocalSocket>
#include <QMimeData>
#include <QUrl>

#include "AppFixture.h"

namespace qx::gui::testing {
namespace {

class DuringUploadTest : public AppTest {
  protected:
    // Links with the upload offer accepted; when the upload starts, posts
    // action so that the upload's own waits dispatch it.
    void LinkAndUploadWith(std::function<void()> action) {
        auto prev = answer_;
        answer_ = [this, action, prev](const MessageRecord& m) -> std::optional<MsgResult> {
            if (m.caption == "Upload Module Settings") {
                app_->Host().Post([this, action] {
                    transferWhenRun_ = app_->Document().TransferInProgress();
                    action();
                    transferAfterRun_ = app_->Document().TransferInProgress();
                });
                return MsgResult::Yes;
            }
            return prev ? prev(m) : DefaultAnswer(m);
        };
        app_->Frame()->Commands().Route(32774);
        answer_ = prev;
    }
    bool transferWhenRun_ = false;
    bool transferAfterRun_ = false;
    bool dropAccepted_ = false;
};

TEST_F(DuringUploadTest, NewDuringAnUploadWaitsForItsEnd) {
    Start();
    UseEmulatedModule();
    answer_ = [](const MessageRecord& m) -> std::optional<MsgResult> {
        if (m.text.rfind("Save changes", 0) == 0) return MsgResult::No;
        return DefaultAnswer(m);
    };
    app_->Frame()->Commands().Route(32779);
    ASSERT_EQ(app_->Document().CurrentMap(), 3);
    LinkAndUploadWith([this] { app_->Frame()->Commands().Route(57600); });
    EXPECT_EQ(app_->Document().CurrentMap(), 3);
    // The command arrived inside the upload and was held back.
    EXPECT_TRUE(transferWhenRun_);
    EXPECT_TRUE(transferAfterRun_);
    ASSERT_TRUE(CommPort::Instance().IsLinked());
    EXPECT_FALSE(Asked("Unable to Upload Module Settings"));
    EXPECT_FALSE(Asked("Save changes to Untitled?"));
    // Replayed from the main loop: the uploaded document is modified, so the
    // usual question comes, and No gives a fresh document.
    Settle();
    EXPECT_TRUE(Asked("Save changes to Untitled?"));
    EXPECT_FALSE(app_->Document().IsModified());
    EXPECT_EQ(app_->Document().CurrentMap(), 0);  // a fresh document shows the first map
}

TEST_F(DuringUploadTest, OpenAndDropDuringAnUploadRunAfterIt) {
    Start();
    // A file to open, saved from a document with a recognisable value.
    ASSERT_TRUE(app_->Document().revLimit().SetValue(8192, false));
    const QString path = dir_.filePath(QStringLiteral("kept.qvx"));
    ASSERT_TRUE(app_->DoSave(path, false));
    app_->Frame()->Commands().Route(57600);
    UseEmulatedModule();
    int chooserCalls = 0;
    app_->SetFileChooser([&](bool, const QString&) {
        ++chooserCalls;
        return std::optional<QString>(path);
    });
    answer_ = [](const MessageRecord& m) -> std::optional<MsgResult> {
        if (m.text.rfind("Save changes", 0) == 0) return MsgResult::No;
        return DefaultAnswer(m);
    };
    LinkAndUploadWith([this] { app_->Frame()->Commands().Route(57601); });
    EXPECT_TRUE(transferWhenRun_);
    EXPECT_EQ(chooserCalls, 0);  // not even the file dialog while the upload ran
    Settle();
    EXPECT_EQ(chooserCalls, 1);
    EXPECT_DOUBLE_EQ(app_->Document().revLimit().GetValue(), 8192);
    EXPECT_EQ(app_->Document().GetPathName(), path.toStdString());

    // A file dropped on the window during the next upload.
    app_->Frame()->Commands().Route(32774);  // break
    ASSERT_FALSE(CommPort::Instance().IsLinked());
    app_->Frame()->Commands().Route(57600);
    transferWhenRun_ = transferAfterRun_ = false;
    LinkAndUploadWith([this, path] {
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(path)});
        // A drag enters the window first, then the file is dropped.
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton,
                              Qt::NoModifier);
        QCoreApplication::sendEvent(app_->Frame(), &enter);
        dropAccepted_ = enter.isAccepted();
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(app_->Frame(), &drop);
        dropAccepted_ = dropAccepted_ && drop.isAccepted();
    });
    EXPECT_TRUE(dropAccepted_);
    EXPECT_TRUE(transferWhenRun_);
    EXPECT_TRUE(transferAfterRun_);
    EXPECT_NE(app_->Document().GetPathName(), path.toStdString());
    Settle();
    EXPECT_EQ(app_->Document().GetPathName(), path.toStdString());
    EXPECT_DOUBLE_EQ(app_->Document().revLimit().GetValue(), 8192);
}

TEST_F(DuringUploadTest, CloseDuringATransferWaitsForItAndKeepsTheDocument) {
    Start();
    UseEmulatedModule();
    bool closedInside = true;
    LinkAndUploadWith([this, &closedInside] { closedInside = app_->Frame()->close(); });
    EXPECT_FALSE(closedInside);
    EXPECT_TRUE(app_->Frame()->IsClosePending());
    // The upload finished in full before anything was torn down.
    EXPECT_FALSE(Asked("Unable to Upload Module Settings"));
    EXPECT_TRUE(app_->Document().IsModified());
    for (int i = 0; i < kBasicValueCount; ++i) EXPECT_TRUE(app_->Document().BasicValue(i).InSync());
    // Then the close goes on: break, then the save question (answered No).
    answer_ = [](const MessageRecord& m) -> std::optional<MsgResult> {
        if (m.text.rfind("Save changes", 0) == 0) return MsgResult::Cancel;
        return DefaultAnswer(m);
    };
    Settle();
    EXPECT_FALSE(app_->Frame()->IsClosePending());
    EXPECT_FALSE(CommPort::Instance().IsLinked());
    const int broken = IndexOfMessage("Connection to Module Has Been Broken");
    const int save = IndexOfMessage("Save changes to Untitled?");
    EXPECT_GE(broken, 0);
    EXPECT_GT(save, broken);
    EXPECT_TRUE(app_->Document().IsModified());  // Cancel kept it
}

TEST_F(AppTest, CloseDuringMonitoringStopsTheLoopFirst) {
    Start();
    UseEmulatedModule();
    Link(false);
    ASSERT_TRUE(CommPort::Instance().IsLinked());
    bool closeTried = false;
    bool closedInside = true;
    int nestingSeen = 0;
    // Once the monitor loop runs, ask the window to close from inside it.
    app_->Host().Post([&] {
        closeTried = true;
        nestingSeen = app_->Frame()->MonitorNesting();
        closedInside = app_->Frame()->close();
    });
    app_->Frame()->Commands().Route(32807);  // Run: returns when monitoring ends
    EXPECT_TRUE(closeTried);
    EXPECT_EQ(nestingSeen, 1);
    EXPECT_FALSE(closedInside);
    EXPECT_FALSE(RamMonitor::Instance().IsRunning());
    EXPECT_EQ(app_->Frame()->MonitorNesting(), 0);
    Settle();
    EXPECT_FALSE(app_->Frame()->IsClosePending());
    EXPECT_FALSE(CommPort::Instance().IsLinked());
}

TEST_F(AppTest, SecondStartHandsItsFileToTheRunningCopy) {
    // The first copy, with the single-instance channel of its profile.
    app_ = std::make_unique<CCalderixApp>();
    StartOptions first;
    first.profile = profile_;
    first.show = false;
    app_->SetMessageAnswerer([](const MessageRecord& m) { return DefaultAnswer(m); });
    ASSERT_TRUE(app_->InitInstance(first));
    ASSERT_TRUE(app_->DoSave(dir_.filePath(QStringLiteral("given.qvx")), false));
    app_->Frame()->Commands().Route(57600);
    const QString given = dir_.filePath(QStringLiteral("given.qvx"));

    // A second start on the same profile gives its file away and ends.
    CCalderixApp second;
    StartOptions o;
    o.profile = profile_;
    o.file = given;
    o.show = false;
    EXPECT_FALSE(second.InitInstance(o));
    EXPECT_TRUE(second.IsSecondInstance());
    EXPECT_EQ(second.Frame(), nullptr);
    for (int i = 0; i < 200 && app_->Document().GetPathName().empty(); ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_EQ(app_->Document().GetPathName(), given.toStdString());

    // Another profile is another channel: no hand-over there.
    EXPECT_NE(CCalderixApp::InstanceName(profile_),
              CCalderixApp::InstanceName(dir_.filePath(QStringLiteral("other.ini"))));
}

TEST(CommandLine, OptionsAndFile) {
    QString error;
    auto o = ParseCommandLine({QStringLiteral("--simulate"), QStringLiteral("a.qvx")}, &error);
    ASSERT_TRUE(o);
    EXPECT_TRUE(o->simulate);
    EXPECT_EQ(o->file, QStringLiteral("a.qvx"));
    EXPECT_FALSE(ParseCommandLine({QStringLiteral("--bogus")}, &error));
    EXPECT_FALSE(ParseCommandLine({QStringLiteral("--profile")}, &error));
    EXPECT_FALSE(ParseCommandLine({QStringLiteral("a"), QStringLiteral("b")}, &error));
}

}  // namespace
}  // namespace qx::gui::testing
