// Closing, quitting and swapping the document while module work runs inside a
// nested loop, and the hand-over from a second start.
#include <QDropEvent>
#include <QLocalSocket>
#include <QMimeData>
#include <QTest>
#include <QUrl>

#include "AppFixture.h"
#include "core/host/CommandIds.h"

namespace qx::gui::testing {
namespace {

// New, Open and a dropped file arriving inside an upload are held back until it
// has ended, then carried out from the main loop.
TEST_F(AppTest, DocumentCommandsDuringAnUploadWaitForItsEnd) {
    Start();
    ASSERT_TRUE(app_->Document().revLimit().SetValue(8192, false));
    const QString path = dir_.filePath(QStringLiteral("kept.qvx"));
    ASSERT_TRUE(app_->DoSave(path, false));
    int chooserCalls = 0;
    app_->SetFileChooser([&](bool, const QString&) {
        ++chooserCalls;
        return std::optional<QString>(path);
    });
    auto drop = [&] {
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(path)});
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, {});
        QCoreApplication::sendEvent(app_->Frame(), &enter);
        QDropEvent dropped(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, {});
        QCoreApplication::sendEvent(app_->Frame(), &dropped);
        EXPECT_TRUE(enter.isAccepted() && dropped.isAccepted());
    };
    const std::vector<std::pair<const char*, std::function<void()>>> cases = {
        {"new", [&] { Route(cmd::kFileNew); }},
        {"open", [&] { Route(cmd::kFileOpen); }},
        {"drop", drop}};
    UseEmulatedModule();
    AnswerSave(MsgResult::No);
    for (const auto& [name, action] : cases) {
        SCOPED_TRACE(name);
        const bool isNew = std::string(name) == "new";
        Route(cmd::kFileNew);
        Route(cmd::kMapFirst + 3);  // a map a fresh document does not show
        ClearMessages();
        busyWhenRun_ = busyAfterRun_ = false;
        const int chooserBefore = chooserCalls;
        Link(true, action);
        ASSERT_TRUE(CommPort::Instance().IsLinked());
        EXPECT_TRUE(busyWhenRun_);
        EXPECT_TRUE(busyAfterRun_);
        EXPECT_FALSE(Asked("Unable to Upload Module Settings"));
        EXPECT_FALSE(Asked("Save changes to Untitled?"));
        EXPECT_EQ(chooserCalls, chooserBefore);  // not even the file dialog ran
        EXPECT_EQ(app_->Document().CurrentMap(), 3);
        EXPECT_TRUE(app_->Document().GetPathName().empty());
        Settle();
        EXPECT_TRUE(Asked("Save changes to Untitled?"));  // the upload modified it
        EXPECT_EQ(chooserCalls, chooserBefore + (std::string(name) == "open" ? 1 : 0));
        EXPECT_EQ(app_->Document().GetPathName(), isNew ? "" : path.toStdString());
        EXPECT_EQ(app_->Document().revLimit().GetValue() == 8192, !isNew);
        EXPECT_FALSE(app_->Document().IsModified());
        Link(false);  // breaks
        ASSERT_FALSE(CommPort::Instance().IsLinked());
    }
}

// A close asked for inside the upload or the monitor loop waits until that
// has unwound, then breaks the link and asks the save question.
TEST_F(AppTest, CloseDuringATransferOrMonitoringWaitsAndKeepsTheDocument) {
    for (bool monitoring : {false, true}) {
        SCOPED_TRACE(monitoring ? "monitoring" : "upload");
        Start();
        UseEmulatedModule();
        AnswerSave(MsgResult::Cancel);
        int closedInside = -1;
        auto close = [&] { closedInside = app_->Frame()->close(); };
        Link(!monitoring, monitoring ? std::function<void()>() : close);
        ASSERT_TRUE(CommPort::Instance().IsLinked());
        if (monitoring) {
            app_->Host().Post([&] {  // runs once the monitor loop waits
                EXPECT_EQ(app_->Frame()->MonitorNesting(), 1);
                close();
            });
            Route(cmd::kToggleMonitoring);  // Run: returns when monitoring ends
            EXPECT_FALSE(RamMonitor::Instance().IsRunning());
            EXPECT_EQ(app_->Frame()->MonitorNesting(), 0);
        }
        EXPECT_EQ(closedInside, 0);
        EXPECT_TRUE(app_->Frame()->IsClosePending());
        // The upload finished in full before anything was torn down.
        EXPECT_FALSE(Asked("Unable to Upload Module Settings"));
        EXPECT_EQ(InSyncCount(), monitoring ? 0 : kBasicValueCount);
        EXPECT_EQ(app_->Document().IsModified(), !monitoring);
        Settle();
        EXPECT_FALSE(app_->Frame()->IsClosePending());
        EXPECT_FALSE(CommPort::Instance().IsLinked());
        const int broken = IndexOfMessage("Connection to Module Has Been Broken");
        EXPECT_GE(broken, 0);
        if (!monitoring) {
            EXPECT_GT(IndexOfMessage("Save changes to Untitled?"), broken);
        }
        EXPECT_EQ(app_->Document().IsModified(), !monitoring);  // Cancel kept it
    }
}

TEST_F(AppTest, SecondStartHandsItsFileToTheRunningCopy) {
    Start({}, true);
    ASSERT_TRUE(started_);
    // What a handed-over file asks runs a nested loop, in which the second
    // start hangs up: the running copy goes on without its socket.
    const QString missing = dir_.filePath(QStringLiteral("missing.qvx"));
    bool socketGone = false;
    bool asked = false;
    answer_ = [&](const MessageRecord& m) -> std::optional<MsgResult> {
        if (m.text.find("missing.qvx") == std::string::npos) return DefaultAnswer(m);
        asked = true;
        socketGone =
            QTest::qWaitFor([&] { return app_->findChildren<QLocalSocket*>().isEmpty(); }, 60'000);
        return DefaultAnswer(m);
    };
    {
        CCalderixApp first;
        EXPECT_FALSE(first.InitInstance({false, profile_, missing, false, true}));
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return asked; }, 60'000));
    EXPECT_TRUE(socketGone);
    const QString given = dir_.filePath(QStringLiteral("given.qvx"));
    ASSERT_TRUE(app_->DoSave(given, false));
    Route(cmd::kFileNew);
    // A second start on the same profile gives its file away and ends.
    CCalderixApp second;
    EXPECT_FALSE(second.InitInstance({false, profile_, given, false, true}));
    EXPECT_TRUE(second.HandedToRunningCopy());
    EXPECT_EQ(second.Frame(), nullptr);
    // The hand-over crosses a local socket: a real wait, bounded.
    EXPECT_TRUE(QTest::qWaitFor([&] { return !app_->Document().GetPathName().empty(); }, 60'000));
    EXPECT_EQ(app_->Document().GetPathName(), given.toStdString());
    // Another profile is another channel: no hand-over there.
    EXPECT_NE(CCalderixApp::InstanceName(profile_),
              CCalderixApp::InstanceName(dir_.filePath(QStringLiteral("other.ini"))));
}

}  // namespace
}  // namespace qx::gui::testing
