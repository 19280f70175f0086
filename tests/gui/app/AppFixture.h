#pragma once
// Shared set-up of the application tests: a QApplication for the whole run, a
// fresh profile per test, and the module emulator on an in-memory line driven
// by a virtual clock, so the link runs at full speed and never sleeps.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QTemporaryDir>
#include <functional>
#include <memory>
#include <string>

#include "app/CalderixApp.h"
#include "app/MainFrame.h"
#include "app/QtHost.h"
#include "emulator/EmulatorLine.h"
#include "host/Clock.h"
#include "link/CommPort.h"
#include "model/ModuleState.h"
#include "monitor/RamMonitor.h"
#include "serial/MemoryLine.h"

namespace qx::gui::testing {

class AppTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        profile_ = dir_.filePath(QStringLiteral("QuorvexI.ini"));
    }
    void TearDown() override {
        if (app_ && app_->Frame()) app_->Host().ClearQuitting();
        app_.reset();
        lines_.clear();
    }

    // Starts the application hidden on its own profile, no single-instance check.
    CCalderixApp& Start(const QString& file = {}) {
        app_ = std::make_unique<CCalderixApp>();
        StartOptions o;
        o.profile = profile_;
        o.file = file;
        o.show = false;
        o.singleInstance = false;
        // Every question is answered; a test overrides answers through answer_.
        app_->SetMessageAnswerer([this](const MessageRecord& m) -> std::optional<MsgResult> {
            if (answer_) return answer_(m);
            return DefaultAnswer(m);
        });
        started_ = app_->InitInstance(o);
        if (started_) app_->Host().SetClock(clock_);
        return *app_;
    }

    static MsgResult DefaultAnswer(const MessageRecord& m) {
        switch (m.buttons) {
            case MsgButtons::Ok:
                return MsgResult::Ok;
            case MsgButtons::YesNo:
                return MsgResult::No;
            default:
                return MsgResult::Cancel;
        }
    }

    // Points the link at an emulated module on an in-memory line.
    void UseEmulatedModule(int byteTimeUs = 1042) {
        CommPort::Instance().SetPortOpener([this, byteTimeUs](int, serial::OpenError*) {
            device_ = std::make_unique<emu::EmulatorLine>();
            auto line = std::make_unique<serial::MemoryLine>(clock_, device_.get());
            line->SetByteTimeUs(byteTimeUs);
            device_->AttachLine(line.get());
            lines_.push_back(line.get());
            return std::unique_ptr<serial::SerialPort>(std::move(line));
        });
    }

    // Links through the frame's command; the upload offer is answered with upload.
    void Link(bool upload) {
        auto saved = answer_;
        answer_ = [this, upload, saved](const MessageRecord& m) -> std::optional<MsgResult> {
            if (m.caption == "Upload Module Settings")
                return upload ? MsgResult::Yes : MsgResult::No;
            return saved ? saved(m) : DefaultAnswer(m);
        };
        app_->Frame()->Commands().Route(32774);
        answer_ = saved;
    }

    // Runs the main loop's pending work (posted replays, deferred closes).
    void Settle(int passes = 20) {
        for (int i = 0; i < passes; ++i) {
            QCoreApplication::processEvents(QEventLoop::AllEvents);
            app_->Frame()->OnIdle();
        }
    }

    bool Asked(const std::string& text) const {
        for (const MessageRecord& m : app_->Host().Messages())
            if (m.text == text) return true;
        return false;
    }
    int IndexOfMessage(const std::string& text) const {
        const auto& all = app_->Host().Messages();
        for (std::size_t i = 0; i < all.size(); ++i)
            if (all[i].text == text) return static_cast<int>(i);
        return -1;
    }

    QTemporaryDir dir_;
    QString profile_;
    VirtualClock clock_;
    std::unique_ptr<emu::EmulatorLine> device_;
    std::vector<serial::MemoryLine*> lines_;  // owned by the link
    std::unique_ptr<CCalderixApp> app_;
    std::function<std::optional<MsgResult>(const MessageRecord&)> answer_;
    bool started_ = false;
};

}  // namespace qx::gui::testing
