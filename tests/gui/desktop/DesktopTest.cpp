// The program on a desktop with a window manager (run by run-under-wm.sh on
// Xvfb and openbox): the titles the window manager shows, the "Please wait..."
// window while a slow module links, as the screen shows it to the user, and
// the least size of the main window with everything open.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <QPalette>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>

#include "XDesktop.h"
#include "core/host/CommandIds.h"
#include "core/host/Profile.h"
#include "core/link/CommPort.h"
#include "core/log/LogFormat.h"
#include "core/serial/SerialPort.h"
#include "emulator/PtyEmulator.h"
#include "gui/GuiTestSupport.h"
#include "gui/app/AboutDlg.h"
#include "gui/app/CalderixApp.h"
#include "gui/app/MainFrame.h"
#include "gui/dialogs/BasicSetupDialog.h"
#include "gui/dialogs/SetSerialPortDialog.h"
#include "gui/graph/MapGraphView.h"
#include "gui/playback/EngineLogs.h"
#include "gui/resources/Resources.h"
#include "gui/shell/ModelessWait.h"
#include "gui/shell/QtHost.h"
#include "support/Eventually.h"

namespace qx::test {
namespace {

using gui::CCalderixApp;

// Runs events until done() or the deadline; the answer is done(). The X server
// and the window manager are other processes: this is a real wait.
bool ProcessUntil(const std::function<bool()>& done, int ms = 10'000) {
    return Eventually(
        [&] {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            return done();
        },
        std::chrono::milliseconds(ms));
}

class Desktop : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(x.Ok()) << "no X display";
        ASSERT_TRUE(ProcessUntil([this] { return x.WindowManagerRuns(); }))
            << "no window manager came up";
        ASSERT_TRUE(dir.isValid());
    }
    void TearDown() override {
        if (CommPort::Exists() && CommPort::Instance().IsLinked()) CommPort::Instance().BreakLink();
        app.reset();
        QCoreApplication::processEvents();
    }
    CCalderixApp& Start(gui::QtHost::Answerer answerer = {}) {
        app = std::make_unique<CCalderixApp>();
        app->SetMessageAnswerer(std::move(answerer));
        gui::StartOptions options;
        options.profile = dir.filePath(QStringLiteral("QuorvexI.ini"));
        options.singleInstance = false;
        EXPECT_TRUE(app->InitInstance(options));
        app->Frame()->resize(900, 640);
        const xcb_window_t frame = app->Frame()->winId();
        EXPECT_TRUE(ProcessUntil([&] { return !x.AllowedActions(frame).empty(); }))
            << "the main window was never managed";
        return *app;
    }

    XDesktop x;
    QTemporaryDir dir;
    std::unique_ptr<CCalderixApp> app;
};

// The window manager shows each title as the program set it (the program's
// name once in the main window's, a dialog's and a message box's caption
// whole), and offers to maximise the main window only. (openbox offers
// minimise on every window with a title bar whatever the program asks.)
TEST_F(Desktop, TitlesAndMaximiseAsTheWindowManagerShowsThem) {
    Start();
    const auto maximise = [&](xcb_window_t w) {
        std::string found;
        for (const std::string& a : x.AllowedActions(w))
            if (a.rfind("_NET_WM_ACTION_MAXIMIZE", 0) == 0) found += a + " ";
        return found;
    };
    EXPECT_EQ(x.Title(app->Frame()->winId()), "Untitled - Quorvex I");
    EXPECT_NE(maximise(app->Frame()->winId()), "") << "the main window keeps them";
    const auto expectDialog = [&](QWidget& w, const std::string& title) {
        w.show();
        ASSERT_TRUE(ProcessUntil([&] { return !x.AllowedActions(w.winId()).empty(); })) << title;
        EXPECT_EQ(x.Title(w.winId()), title);
        EXPECT_EQ(maximise(w.winId()), "") << title;
    };
    {
        gui::BasicSetupDialog setup(app->Document(), CurrentHost(), app->Frame());
        expectDialog(setup, "Basic Setup");
    }
    {
        gui::SetSerialPortDialog port(app->Host(), AppProfile(), CommPort::Instance(),
                                      app->Frame());
        expectDialog(port, "Serial Port Settings");
    }
    {
        gui::CAboutDlg about(CommPort::Instance(), app->Frame());
        expectDialog(about, "About Quorvex I");
    }
    app->Host().ShowWaitWindow("...while the module settings are uploaded");
    gui::ModelessWait* wait = app->Host().WaitWindow();
    ASSERT_NE(wait, nullptr);
    expectDialog(*wait, "Please wait...");
    app->Host().CloseWaitWindow();

    // A message box, asked for through the host, read while it waits for an answer.
    std::string boxTitle = "never shown";
    std::string boxMaximise;
    QTimer::singleShot(0, [&] {
        QWidget* box = nullptr;
        ProcessUntil([&] {
            box = QApplication::activeModalWidget();
            return box != nullptr && !x.AllowedActions(box->winId()).empty();
        });
        if (box == nullptr) return;
        boxTitle = x.Title(box->winId());
        boxMaximise = maximise(box->winId());
        static_cast<QDialog*>(box)->reject();
    });
    app->Host().MessageBox("Connection to Module Has Been Broken", "Communications Status...",
                           MsgButtons::Ok, MsgIcon::Information);
    EXPECT_EQ(boxTitle, "Communications Status...");
    EXPECT_EQ(boxMaximise, "") << "a message box";
}

// With every monitor display, a log in playback and the chart open, the main
// window at its least size and the window manager's frame round it fit an
// 800 x 600 screen, status bar included.
TEST_F(Desktop, EverythingOpenTheWindowStillFitsASmallScreen) {
    {
        Profile profile(dir.filePath(QStringLiteral("QuorvexI.ini")).toStdString());
        profile.WriteInt("Settings", "Monitors", 0x7F);
        profile.WriteInt("Settings", "Monitor Window Open", 1);
    }
    Start();
    const std::vector<int> all = {0, 1, 2, 3, 4, 5, 6};
    std::string text = LogHeader(all);
    for (int i = 0; i < 50; ++i) text += LogRow(100 * i, all, {0, 0, 0, 0, 0, 0, 0});
    const QString path = dir.filePath(QStringLiteral("pull.csv"));
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text.data(), static_cast<qint64>(text.size()));
    }
    ASSERT_TRUE(app->Logs()->OpenLog(path));
    app->Frame()->Commands().Route(res::kViewChart);
    const xcb_window_t frame = app->Frame()->winId();
    std::pair<int, int> least;
    std::vector<uint32_t> extents;
    ASSERT_TRUE(ProcessUntil([&] {
        least = x.MinimumSize(frame);
        extents = x.FrameExtents(frame);
        return extents.size() == 4 && least.second == app->Frame()->minimumSizeHint().height();
    })) << "asked for "
        << least.second << ", the layout's least " << app->Frame()->minimumSizeHint().height();
    EXPECT_LE(least.first + static_cast<int>(extents[0] + extents[1]), 800);
    EXPECT_LE(least.second + static_cast<int>(extents[2] + extents[3]), 600)
        << "least height " << least.second << ", title bar " << extents[2];
}

// While a module that answers each request after 150 ms links, the screen
// shows the wait window with its text, not the graph under it. The screen is
// read from another thread: the program's own thread is inside the exchange
// and may dispatch nothing for a long time.
TEST_F(Desktop, WaitWindowIsReadableWhileASlowModuleLinks) {
    emu::EmulatorConfig config;
    config.turnaroundUs = 150'000;
    emu::PtyEmulator module(config);
    std::string why;
    ASSERT_TRUE(module.Start(&why)) << why;
    Start([](const gui::MessageRecord& m) -> std::optional<MsgResult> {
        return m.buttons == MsgButtons::YesNo ? MsgResult::No : MsgResult::Ok;
    });
    CommPort::Instance().SetPortOpener([device = module.SlavePath()](int, serial::OpenError* e) {
        serial::PortSettings settings;
        settings.device = device;
        settings.baud = 9600;
        return serial::OpenPosixPort(settings, e);
    });
    ASSERT_TRUE(ProcessUntil([&] {
        return x.FindViewable("Untitled - Quorvex I") != 0 &&
               app->Frame()->windowHandle()->isExposed();
    })) << "the main window never came on screen";

    const QRgb face = QApplication::palette().color(QPalette::Window).rgb() & 0xFFFFFF;
    const QRgb graph = gui::ToQColor(app->Frame()->View()->BackgroundColor()).rgb() & 0xFFFFFF;
    // Mostly the window's face, with some text on it.
    const auto painted = [face](const ScreenArea& area) {
        int faceCount = 0;
        int dark = 0;
        for (int y = 0; y < area.height; ++y)
            for (int x = 0; x < area.width; ++x) {
                const uint32_t p = area.At(x, y);
                faceCount += p == face;
                dark += qGray(static_cast<QRgb>(p)) < 100;
            }
        return area.width * area.height > 1000 && faceCount > 0.6 * area.width * area.height &&
               dark > 30;
    };
    // The program's thread is inside the exchange the whole time the window is
    // up, so a readable picture before the link ends is one it painted then.
    std::atomic<bool> stop{false};
    std::atomic<bool> seen{false};
    ScreenArea shot;
    std::thread watcher([&] {
        XDesktop desktop;
        Eventually(
            [&] {
                if (stop) return true;
                const xcb_window_t w = desktop.FindViewable("Please wait...");
                if (w == 0) return false;
                shot = desktop.Grab(w);
                seen = painted(shot);
                return seen.load();
            },
            std::chrono::seconds(60));
    });
    app->Frame()->Commands().Route(res::kLink);
    stop = true;
    watcher.join();
    EXPECT_TRUE(CommPort::Instance().IsLinked());
    ASSERT_TRUE(seen) << "the wait window never showed its text while the module linked";

    QImage image(shot.width, shot.height, QImage::Format_RGB32);
    int graphCount = 0;
    for (int y = 0; y < shot.height; ++y)
        for (int x = 0; x < shot.width; ++x) {
            const uint32_t p = shot.At(x, y);
            image.setPixel(x, y, 0xFF000000u | p);
            graphCount += p == graph;
        }
    SavePicture(image, QStringLiteral("desktop-wait-window.png"));
    const double total = shot.width * shot.height;
    if (face != graph) {
        EXPECT_LT(graphCount / total, 0.2) << "the graph shows through";
    }
}

}  // namespace
}  // namespace qx::test

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    qx::gui::SetApplicationNames();
    QApplication app(argc, argv);
    if (QGuiApplication::platformName() != QStringLiteral("xcb")) {
        std::fprintf(stderr,
                     "needs QT_QPA_PLATFORM=xcb under a window manager "
                     "(tests/gui/desktop/run-under-wm.sh)\n");
        return 1;
    }
    return RUN_ALL_TESTS();
}
