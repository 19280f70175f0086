// Engine logs: opening a one-hour log (54,000 rows at 15 packets a second),
// drawing the chart of an hour and of a minute at 1200 pixels and of an hour
// filling a 1920 x 1080 screen (from the rows, and again with only the cursor
// moved), and one second
// of playback at 8x with every display, the live bar and the chart updated at
// the playback timer's 30 frames a second and repainted by Qt (processor time
// per second of playback is the share of a core it takes).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QImage>
#include <cmath>
#include <memory>

#include "core/host/Clock.h"
#include "core/host/Host.h"
#include "core/host/Profile.h"
#include "core/link/CommPort.h"
#include "core/log/LogFormat.h"
#include "core/log/LogPlayer.h"
#include "core/log/LogReader.h"
#include "core/model/ModuleState.h"
#include "core/monitor/RamMonitor.h"
#include "gui/app/LinkActivity.h"
#include "gui/chart/ChartView.h"
#include "gui/graph/MapGraphView.h"
#include "gui/monitor/MonitorWindow.h"
#include "gui/shell/LiveSamples.h"

namespace {

const std::vector<int> kAll = {0, 1, 2, 3, 4, 5, 6};

// Pulls every 6 s, as the emulator's engine does.
std::string RideText(int rows) {
    std::string text = qx::LogHeader(kAll);
    for (int i = 0; i < rows; ++i) {
        const double phase = std::fmod(i * 0.0656 / 6.0, 1.0) * 2 * 3.14159265;
        const double rpm = 1000 + 2500 * (1 - std::cos(phase));
        text += qx::LogRow(i * 66 + i / 3, kAll,
                           {qx::LogValueOf(0, qx::LogRawOf(0, rpm)),
                            qx::LogValueOf(1, qx::LogRawOf(1, 2000 * (1 + std::sin(phase)))),
                            qx::LogValueOf(2, 255), 10 + 25 * (1 - std::cos(phase)) / 2,
                            10 + 24 * (1 - std::cos(phase)) / 2, qx::LogValueOf(5, 220),
                            std::floor(8 * (1 - std::cos(phase)) / 2)});
    }
    return text;
}

constexpr int kHourRows = 54000;

const std::string& HourText() {
    static const std::string text = RideText(kHourRows);
    return text;
}

std::shared_ptr<qx::EngineLog> Read(const std::string& text) {
    auto log = std::make_shared<qx::EngineLog>();
    std::string error;
    if (!qx::ReadEngineLog(text, *log, error)) std::abort();
    return log;
}

void App() {
    static int argc = 1;
    static char name[] = "log_bench";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        qx::SetAppProfile(QDir::temp().filePath("qx-log-bench.ini").toStdString());
        qx::AppProfile().WriteInt("Settings", "Monitors", 0x7F);
        qx::AppProfile().WriteInt("Settings", "Monitor Window Open", 1);
        return new QApplication(argc, argv);
    }();
    (void)app;
}

void BM_OpenHourLog(benchmark::State& state) {
    const std::string& text = HourText();
    for (auto _ : state) benchmark::DoNotOptimize(Read(text));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
    state.counters["MB"] = static_cast<double>(text.size()) / 1e6;
}
BENCHMARK(BM_OpenHourLog)->Unit(benchmark::kMillisecond);

// full: every row reduced and drawn again; else only the cursor moves.
void ChartBench(benchmark::State& state, int rows, QSize size, bool full = true) {
    App();
    const auto log = Read(rows == kHourRows ? HourText() : RideText(rows));
    qx::gui::ChartView chart;
    chart.resize(size);
    chart.SetLog(log.get(), false);
    chart.SetQuantityMask(0x7F);
    chart.SetCursorMs(log->EndMs() / 2);
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    int64_t step = 0;
    for (auto _ : state) {
        if (full) chart.SetLog(log.get(), false);
        chart.SetCursorMs(log->EndMs() / 2 + (++step % 100) * 1000);
        chart.render(&image);
        benchmark::ClobberMemory();
    }
}
void BM_ChartHour1200px(benchmark::State& state) {
    ChartBench(state, kHourRows, QSize(1200, 160));
}
void BM_ChartMinute1200px(benchmark::State& state) {
    ChartBench(state, 900, QSize(1200, 160));
}
void BM_ChartHour1920x1080(benchmark::State& state) {
    ChartBench(state, kHourRows, QSize(1920, 1080));
}
// The pane as the program shows it across a 1920 x 1080 screen.
void BM_ChartHour1920x160(benchmark::State& state) {
    ChartBench(state, kHourRows, QSize(1920, 160));
}
void BM_ChartHour1920x1080Cursor(benchmark::State& state) {
    ChartBench(state, kHourRows, QSize(1920, 1080), false);
}
BENCHMARK(BM_ChartHour1200px)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ChartMinute1200px)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ChartHour1920x1080)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ChartHour1920x160)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ChartHour1920x1080Cursor)->Unit(benchmark::kMillisecond);

void BM_PlaybackSecondAt8x(benchmark::State& state) {
    App();
    qx::VirtualClock clock;
    qx::RamMonitor& monitor = qx::RamMonitor::Instance();
    qx::SampleChannel& samples = monitor.Samples();
    qx::LogPlayer player(Read(HourText()), clock, samples);
    const qx::SampleChannel::Hold front = samples.PutInFront(player);
    qx::ModuleState document;
    document.InitializeDefaults();
    // The program's windows on the offscreen screen: Qt repaints what the
    // displays, the live bar and the chart invalidate, as it does on a desktop.
    qx::gui::LinkActivity activity(qx::CommPort::Instance(), monitor);
    qx::gui::MapGraphView view(qx::CurrentHost(), activity, qx::AppProfile());
    view.resize(900, 560);
    view.SetDocument(&document);
    view.OnInitialUpdate();
    qx::gui::LiveSamples live(samples);
    new qx::gui::MonitorWindow(&view, qx::AppProfile(), monitor, live);  // the view's child
    qx::gui::ChartView chart;
    chart.resize(1200, 160);
    chart.SetLog(&player.Log(), false);
    chart.SetQuantityMask(0x7F);
    view.show();
    chart.show();
    QCoreApplication::processEvents();
    // The window shows each row itself (it follows the live samples), and
    // the chart's cursor follows, as playback moves it.
    QObject::connect(&live, &qx::gui::LiveSamples::sampleArrived, &chart,
                     [&] { chart.SetCursorMs(player.PositionMs()); });
    player.SetSpeed(8.0);
    player.Play();
    for (auto _ : state) {
        for (int frame = 0; frame < 30; ++frame) {  // the playback timer's 33 ms
            clock.Advance(33);
            if (!player.Tick() && !player.IsPlaying()) {
                player.ToStart();
                player.Play();
            }
            QCoreApplication::processEvents();
        }
    }
}
BENCHMARK(BM_PlaybackSecondAt8x)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
