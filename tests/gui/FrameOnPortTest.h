#pragma once
// Fixture of the tests that link the program's main frame through a real
// serial port (a pseudo-terminal of the module emulator): the program's own
// host, a profile of its own, a new document, and the frame made of them.
#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>
#include <memory>
#include <string>

#include "core/host/Profile.h"
#include "core/link/CommPort.h"
#include "core/model/ModuleState.h"
#include "core/monitor/RamMonitor.h"
#include "core/serial/SerialPort.h"
#include "gui/GuiTestSupport.h"
#include "gui/app/MainFrame.h"
#include "gui/shell/LiveSamples.h"
#include "gui/shell/QtHost.h"

namespace qx::test {

class FrameOnPortTest : public ::testing::Test {
  protected:
    void SetUp() override {
        TestApp();
        RamMonitor::ResetInstance();
        CommPort::ResetInstance();
        ASSERT_TRUE(dir.isValid());
        previousProfile = ExchangeAppProfile(
            std::make_unique<Profile>(QDir(dir.path()).filePath("QuorvexI.ini").toStdString()));
        host = std::make_unique<gui::QtHost>();
        previousHost = SetCurrentHost(host.get());
        host->SetMessageAnswerer([](const gui::MessageRecord& m) -> std::optional<MsgResult> {
            return m.buttons == MsgButtons::YesNo ? MsgResult::No : MsgResult::Ok;
        });
        CommPort::Instance().SetPortOpener([this](int, serial::OpenError* error) {
            return serial::OpenPosixPort(serial::PortSettings{device, 9600}, error);
        });
        document.OnNewDocument();
        samples = std::make_unique<gui::LiveSamples>(RamMonitor::Instance().Samples());
        frame = std::make_unique<gui::CMainFrame>(
            *host, document, AppProfile(), CommPort::Instance(), RamMonitor::Instance(), *samples);
        host->SetMainWindow(frame.get());
        QObject::connect(host.get(), &gui::QtHost::commandRequested, frame.get(),
                         [this](int id) { frame->Commands().Route(id); });
    }
    void TearDown() override {
        if (CommPort::Exists() && CommPort::Instance().IsLinked()) CommPort::Instance().BreakLink();
        RamMonitor::ResetInstance();
        CommPort::ResetInstance();
        frame.reset();
        QCoreApplication::processEvents();
        SetCurrentHost(previousHost);
        host.reset();
        ExchangeAppProfile(std::move(previousProfile));
    }

    QTemporaryDir dir;
    std::string device;  // the port the link opens
    std::unique_ptr<Profile> previousProfile;
    std::unique_ptr<gui::QtHost> host;
    Host* previousHost = nullptr;
    ModuleState document;
    std::unique_ptr<gui::LiveSamples> samples;
    std::unique_ptr<gui::CMainFrame> frame;
};

}  // namespace qx::test
