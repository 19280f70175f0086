// Live monitoring in the whole program: the main window with the monitor
// window (all seven displays) and the chart shown, linked to the built-in
// module emulator at 9600 baud, monitoring for a number of seconds of real
// time. Gives the processor time as a share of one core, for the process
// (the emulator's thread included) and for the program's own thread alone.
// With --port the program links to that device instead (quorvexi-sim in a
// process of its own, say), and the process figure is the program's alone.
// With --playback it plays an hour's ride back at 8x instead, with no link
// (--coverage shades the map coverage meanwhile).
//
//   live_bench [--brief] [--seconds N] [--no-chart] [--port PATH] [--playback [--coverage]]
//              [--json PATH]
#include <sys/resource.h>
#include <time.h>

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QTimer>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>

#include "core/host/Numbers.h"
#include "core/host/Profile.h"
#include "core/link/CommPort.h"
#include "core/log/LogFormat.h"
#include "core/log/LogPlayer.h"
#include "core/monitor/LiveSource.h"
#include "core/monitor/RamMonitor.h"
#include "core/serial/SerialPort.h"
#include "gui/app/CalderixApp.h"
#include "gui/app/MainFrame.h"
#include "gui/chart/ChartView.h"
#include "gui/playback/EngineLogs.h"
#include "gui/resources/Resources.h"
#include "gui/shell/QtHost.h"

namespace {

double Seconds(const timespec& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}
double Now(clockid_t id) {
    timespec t{};
    clock_gettime(id, &t);
    return Seconds(t);
}
double ProcessCpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-6;
}

// An hour at 15 rows a second with a pull every 6 s, all seven values.
std::string RideText() {
    const std::vector<int> all = {0, 1, 2, 3, 4, 5, 6};
    std::string text = qx::LogHeader(all);
    for (int i = 0; i < 54000; ++i) {
        const double phase = std::fmod(i * 0.0656 / 6.0, 1.0) * 2 * 3.14159265;
        const double rpm = 1000 + 2500 * (1 - std::cos(phase));
        text += qx::LogRow(i * 66 + i / 3, all,
                           {qx::LogValueOf(0, qx::LogRawOf(0, rpm)),
                            qx::LogValueOf(1, qx::LogRawOf(1, 2000 * (1 + std::sin(phase)))),
                            qx::LogValueOf(2, 255), 10 + 25 * (1 - std::cos(phase)) / 2,
                            10 + 24 * (1 - std::cos(phase)) / 2, qx::LogValueOf(5, 220),
                            std::floor(8 * (1 - std::cos(phase)) / 2)});
    }
    return text;
}

// Monitors the built-in emulator (or the module at port) for the seconds
// given, after a second to start the stream.
int Monitor(qx::gui::CCalderixApp& app, double seconds, bool chart, const std::string& port,
            const std::string& jsonPath) {
    app.Frame()->Commands().Route(32774);  // Link
    if (!qx::CommPort::Instance().IsLinked()) {
        std::fprintf(stderr, "live_bench: no link to the module\n");
        return 1;
    }
    if (chart) app.Frame()->Commands().Route(qx::res::kViewChart);
    for (int i = 0; i < 20; ++i) QCoreApplication::processEvents();

    int packets = 0;
    qx::SampleChannel::Hold counting =
        qx::RamMonitor::Instance().Samples().Subscribe([&](qx::LiveSource&, bool) { ++packets; });
    double wall0 = 0;
    double process0 = 0;
    double thread0 = 0;
    int packets0 = 0;
    // The first second starts the stream; the measuring starts after it.
    QTimer::singleShot(1000, [&] {
        wall0 = Now(CLOCK_MONOTONIC);
        process0 = ProcessCpuSeconds();
        thread0 = Now(CLOCK_THREAD_CPUTIME_ID);
        packets0 = packets;
    });
    double wall = 0;
    double process = 0;
    double thread = 0;
    QTimer::singleShot(static_cast<int>(1000 + seconds * 1000), [&] {
        wall = Now(CLOCK_MONOTONIC) - wall0;
        process = ProcessCpuSeconds() - process0;
        thread = Now(CLOCK_THREAD_CPUTIME_ID) - thread0;
        packets -= packets0;
        app.Host().Post([&] { app.Frame()->Commands().Route(qx::res::kToggleMonitoring); });
    });
    app.Frame()->Commands().Route(qx::res::kToggleMonitoring);  // returns when stopped
    counting.Reset();
    const bool chartShown = app.Frame()->findChild<qx::gui::ChartView*>() != nullptr &&
                            app.Frame()->findChild<qx::gui::ChartView*>()->isVisible();
    const double withEmulator = wall > 0 ? process / wall * 100 : 0;
    const double programOnly = wall > 0 ? thread / wall * 100 : 0;
    std::printf("%-10s %-9s %8s %8s %14s %14s\n", "chart", "emulator", "seconds", "packets",
                "process cpu %", "program cpu %");
    std::printf("%-10s %-9s %8.2f %8d %14.3f %14.3f\n", chartShown ? "shown" : "hidden",
                port.empty() ? "inside" : "apart", wall, packets, withEmulator, programOnly);
    std::ofstream(jsonPath) << qx::FormatC(
        "{\n  \"benchmark\": \"live\",\n  \"baud\": 9600,\n  \"chart\": %s,\n"
        "  \"emulator_in_process\": %s,\n"
        "  \"seconds\": %.3f,\n  \"packets\": %d,\n  \"cpu_percent_process\": %.3f,\n"
        "  \"cpu_percent_program_thread\": %.3f\n}\n",
        chartShown ? "true" : "false", port.empty() ? "true" : "false", wall, packets, withEmulator,
        programOnly);
    const int result = packets > 0 && wall > 0 ? 0 : 1;
    if (qx::CommPort::Instance().IsLinked()) qx::CommPort::Instance().BreakLink();
    return result;
}

// Plays the ride at 8x for the seconds given, after a second to settle.
int Playback(qx::gui::CCalderixApp& app, double seconds, bool chart, bool coverage,
             const std::string& jsonPath) {
    const QString ride =
        QDir::temp().filePath(QStringLiteral("qx-live-bench-%1.csv").arg(getpid()));
    { std::ofstream(ride.toStdString()) << RideText(); }
    qx::gui::EngineLogs* logs = app.Logs();
    const bool opened = logs->OpenLog(ride);
    QFile::remove(ride);
    if (!opened) return 1;
    if (chart) app.Frame()->Commands().Route(qx::res::kViewChart);
    if (coverage) app.Frame()->Commands().Route(qx::res::kViewCoverage);
    logs->Player()->SetSpeed(8.0);
    app.Frame()->Commands().Route(qx::res::kPlayPause);
    for (int i = 0; i < 20; ++i) QCoreApplication::processEvents();
    int rows = 0;
    qx::SampleChannel::Hold counting =
        qx::RamMonitor::Instance().Samples().Subscribe([&](qx::LiveSource&, bool) { ++rows; });
    QEventLoop loop;
    double wall0 = 0;
    double process0 = 0;
    double thread0 = 0;
    int rows0 = 0;
    QTimer::singleShot(1000, [&] {
        wall0 = Now(CLOCK_MONOTONIC);
        process0 = ProcessCpuSeconds();
        thread0 = Now(CLOCK_THREAD_CPUTIME_ID);
        rows0 = rows;
    });
    double wall = 0;
    double process = 0;
    double thread = 0;
    QTimer::singleShot(static_cast<int>(1000 + seconds * 1000), [&] {
        wall = Now(CLOCK_MONOTONIC) - wall0;
        process = ProcessCpuSeconds() - process0;
        thread = Now(CLOCK_THREAD_CPUTIME_ID) - thread0;
        rows -= rows0;
        loop.quit();
    });
    loop.exec();
    counting.Reset();
    const bool shown = logs->Chart()->isVisible();
    const bool shaded = logs->CoverageShown() && logs->CoverageApplies();
    const double withAll = wall > 0 ? process / wall * 100 : 0;
    const double programOnly = wall > 0 ? thread / wall * 100 : 0;
    const QString platform = QGuiApplication::platformName();
    std::printf("%-10s %-9s %-10s %8s %8s %14s %14s\n", "chart", "coverage", "screen", "seconds",
                "frames", "process cpu %", "program cpu %");
    std::printf("%-10s %-9s %-10s %8.2f %8d %14.3f %14.3f\n", shown ? "shown" : "hidden",
                shaded ? "shaded" : "off", platform.toLatin1().constData(), wall, rows, withAll,
                programOnly);
    std::ofstream(jsonPath) << qx::FormatC(
        "{\n  \"benchmark\": \"playback\",\n  \"speed\": 8,\n  \"chart\": %s,\n"
        "  \"coverage\": %s,\n  \"screen\": \"%s\",\n"
        "  \"seconds\": %.3f,\n  \"row_changes\": %d,\n  \"cpu_percent_process\": %.3f,\n"
        "  \"cpu_percent_program_thread\": %.3f\n}\n",
        shown ? "true" : "false", shaded ? "true" : "false", platform.toLatin1().constData(), wall,
        rows, withAll, programOnly);
    app.Frame()->Commands().Route(qx::res::kCloseLog);
    return rows > 0 && wall > 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    double seconds = 20.0;
    bool chart = true;
    std::string port;
    bool playback = false;
    bool coverage = false;
    std::string jsonPath = "live_bench.json";
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--brief") {
            seconds = 3.0;
        } else if (a == "--seconds" && i + 1 < argc) {
            seconds = std::stod(argv[++i]);
        } else if (a == "--no-chart") {
            chart = false;
        } else if (a == "--port" && i + 1 < argc) {
            port = argv[++i];
        } else if (a == "--playback") {
            playback = true;
        } else if (a == "--coverage") {
            coverage = true;
        } else if (a == "--json" && i + 1 < argc) {
            jsonPath = argv[++i];
        } else {
            std::fprintf(stderr,
                         "usage: live_bench [--brief] [--seconds N] [--no-chart] [--port PATH] "
                         "[--playback [--coverage]] [--json PATH]\n");
            return 2;
        }
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication qapp(argc, argv);
    const QString profile =
        QDir::temp().filePath(QStringLiteral("qx-live-bench-%1.ini").arg(getpid()));
    qx::SetAppProfile(profile.toStdString());
    qx::AppProfile().WriteInt("Settings", "Monitors", 0x7F);
    qx::AppProfile().WriteInt("Settings", "Monitor Window Open", 1);

    int result = 1;
    {
        qx::gui::CCalderixApp app;
        // No questions: the document is not uploaded when the link comes up.
        app.SetMessageAnswerer([](const qx::gui::MessageRecord& m) -> std::optional<qx::MsgResult> {
            if (m.buttons == qx::MsgButtons::YesNo) return qx::MsgResult::No;
            if (m.buttons == qx::MsgButtons::Ok) return qx::MsgResult::Ok;
            return qx::MsgResult::Cancel;
        });
        if (!port.empty()) {
            qx::CommPort::Instance().SetPortOpener([port](int, qx::serial::OpenError* error) {
                qx::serial::PortSettings settings;
                settings.device = port;
                settings.baud = 9600;
                return qx::serial::OpenPosixPort(settings, error);
            });
        }
        if (!app.InitInstance({port.empty() && !playback, profile, {}, true, false})) return 1;
        app.Frame()->resize(1280, 900);
        if (playback) {
            result = Playback(app, seconds, chart, coverage, jsonPath);
        } else {
            result = Monitor(app, seconds, chart, port, jsonPath);
        }
        app.Host().ClearQuitting();
    }
    QFile::remove(profile);
    return result;
}
