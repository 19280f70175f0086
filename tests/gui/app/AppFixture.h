#pragma once
// Shared set-up of the application tests: a QApplication for the whole run, a
// fresh profile per test, and the module emulator on an in-memory line driven
// by a virtual clock, so the link runs at full speed and never sleeps.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QTemporaryDir>
#include <QToolBar>
#include <functional>
#include <memory>
#include <string>

#include "core/host/Clock.h"
#include "core/host/CommandIds.h"
#include "core/host/Profile.h"
#include "core/link/CommPort.h"
#include "core/model/ModuleState.h"
#include "core/monitor/RamMonitor.h"
#include "gui/GuiTestSupport.h"
#include "gui/app/CalderixApp.h"
#include "gui/app/MainFrame.h"
#include "gui/shell/QtHost.h"
#include "support/EmulatorLine.h"
#include "support/MemoryLine.h"
#include "support/MessageRecorder.h"

namespace qx::gui::testing {

using Answerer = std::function<std::optional<MsgResult>(const MessageRecord&)>;

class AppTest : public ::testing::Test {
  protected:
    void SetUp() override {
        qx::test::TestApp();
        ASSERT_TRUE(dir_.isValid());
        profile_ = dir_.filePath(QStringLiteral("QuorvexI.ini"));
    }
    void TearDown() override {
        if (app_ && app_->Frame()) app_->Host().ClearQuitting();
        app_.reset();
    }

    // Starts the application hidden on its own profile; questions go to answer_.
    CCalderixApp& Start(const QString& file = {}, bool singleInstance = false) {
        TearDown();
        app_ = std::make_unique<CCalderixApp>();
        app_->SetMessageAnswerer(recorder_.Recording(
            [this](const MessageRecord& m) { return answer_ ? answer_(m) : DefaultAnswer(m); }));
        started_ = app_->InitInstance({false, profile_, file, false, singleInstance});
        if (started_) app_->Host().SetClock(clock_);
        return *app_;
    }
    static std::optional<MsgResult> DefaultAnswer(const MessageRecord& m) {
        if (m.buttons == MsgButtons::Ok) return MsgResult::Ok;
        return m.buttons == MsgButtons::YesNo ? MsgResult::No : MsgResult::Cancel;
    }
    // Answers the question about unsaved changes with r.
    void AnswerSave(MsgResult r) {
        answer_ = [r](const MessageRecord& m) -> std::optional<MsgResult> {
            return m.text.rfind("Save changes", 0) == 0 ? r : DefaultAnswer(m);
        };
    }
    void Route(int id) { app_->Frame()->Commands().Route(id); }
    // The menu item (not the toolbar button) of command id, its state brought up to date.
    QAction* MenuAction(int id) {
        app_->Frame()->OnIdle();
        for (QAction* a : app_->Frame()->Commands().ActionsFor(id))
            if (!app_->Frame()->ToolBar()->actions().contains(a) && !a->text().isEmpty()) return a;
        return nullptr;
    }
    QString MenuText(int id) { return MenuAction(id) ? MenuAction(id)->text() : QString(); }
    // Writes the monitor displays of mask, their window open, for the next start.
    void ShowMonitors(int mask) {
        Profile profile(profile_.toStdString());
        profile.WriteInt("Settings", "Monitors", mask);
        profile.WriteInt("Settings", "Monitor Window Open", 1);
    }

    // Points the link at an emulated module on an in-memory line.
    void UseEmulatedModule() {
        CommPort::Instance().SetPortOpener([this](int, serial::OpenError*) {
            device_ = std::make_unique<emu::EmulatorLine>();
            auto line = std::make_unique<serial::MemoryLine>(clock_, device_.get());
            line->SetByteTimeUs(1042);
            device_->AttachLine(line.get());
            return std::unique_ptr<serial::SerialPort>(std::move(line));
        });
    }

    // Establishes or breaks the link through the frame's command; the upload
    // offer is answered with upload. With duringUpload, that runs from the
    // upload's own waits, and busyWhenRun_/busyAfterRun_ tell whether the
    // transfer was in progress around it.
    void Link(bool upload, std::function<void()> duringUpload = {}) {
        Answerer saved = answer_;
        answer_ = [=, this](const MessageRecord& m) -> std::optional<MsgResult> {
            if (m.caption != "Upload Module Settings") return saved ? saved(m) : DefaultAnswer(m);
            if (duringUpload)
                app_->Host().Post([this, duringUpload] {
                    busyWhenRun_ = app_->Document().TransferInProgress();
                    duringUpload();
                    busyAfterRun_ = app_->Document().TransferInProgress();
                });
            return upload ? MsgResult::Yes : MsgResult::No;
        };
        Route(cmd::kLink);
        answer_ = saved;
    }
    // Links the emulated module, declining the upload offer.
    void LinkEmulatedModule() {
        UseEmulatedModule();
        Link(false);
        ASSERT_TRUE(CommPort::Instance().IsLinked());
    }

    // Monitors until packets good packets came in, calling each(n) after packet n;
    // then stop (by default the monitoring command again) ends the monitor loop.
    void Monitor(int packets, const std::function<void(int)>& each = {},
                 std::function<void()> stop = {}) {
        if (!stop) stop = [this] { Route(cmd::kToggleMonitoring); };
        int n = 0;
        SampleChannel::Hold counting =
            RamMonitor::Instance().Samples().Subscribe([&](LiveSource& s, bool) {
                if (&s != &RamMonitor::Instance()) return;
                ++n;
                if (each) each(n);
                if (n == packets) app_->Host().Post(stop);
            });
        Route(cmd::kToggleMonitoring);  // Run: returns when monitoring stops
        counting.Reset();
        ASSERT_GE(n, packets);
    }

    // Runs the main loop's pending work (posted replays, deferred closes).
    void Settle() {
        for (int i = 0; i < 20; ++i) {
            QCoreApplication::processEvents(QEventLoop::AllEvents);
            app_->Frame()->OnIdle();
        }
    }
    // Position of the message with this text among those shown, or -1.
    int IndexOfMessage(const std::string& text) const {
        const auto& all = Messages();
        for (std::size_t i = 0; i < all.size(); ++i)
            if (all[i].text == text) return static_cast<int>(i);
        return -1;
    }
    bool Asked(const std::string& text) const { return IndexOfMessage(text) >= 0; }
    // Every message box asked for since the start (or the last clear).
    const std::vector<MessageRecord>& Messages() const { return recorder_.Messages(); }
    void ClearMessages() { recorder_.Clear(); }
    int InSyncCount() const {
        int n = 0;
        for (int i = 0; i < kBasicValueCount; ++i) n += app_->Document().BasicValue(i).InSync();
        return n;
    }

    QTemporaryDir dir_;
    QString profile_;
    VirtualClock clock_;
    std::unique_ptr<emu::EmulatorLine> device_;
    qx::test::MessageRecorder recorder_;  // outlives the application that calls it
    std::unique_ptr<CCalderixApp> app_;
    Answerer answer_;
    bool started_ = false;
    bool busyWhenRun_ = false;
    bool busyAfterRun_ = false;
};

}  // namespace qx::gui::testing
