// The graph's painting cost: a full repaint at 1920 x 1080, and the repaint
// an arrow step asks for (the selected marker and its two neighbours), and an
// undo or redo of a whole-map edit with its repaint, and a full repaint with a
// comparison curve under the edited one.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <memory>

#include "core/host/Host.h"
#include "core/host/Profile.h"
#include "core/link/CommPort.h"
#include "core/maps/ModuleMap.h"
#include "core/model/ModuleState.h"
#include "core/monitor/RamMonitor.h"
#include "gui/app/LinkActivity.h"
#include "gui/edit/TuneComparison.h"
#include "gui/graph/MapGraphView.h"
#include "gui/graph/MapPointMarker.h"

namespace {

struct Scene {
    Scene() {
        document.InitializeDefaults();
        view.SetCaptionHeight(18);
        view.resize(1920, 1080);
        view.SetDocument(&document);
        view.OnInitialUpdate();
        // A widget never shown gets no resize event: it would lay the graph out
        // for 0 x 0 and the figures would measure drawing almost nothing.
        view.setAttribute(Qt::WA_DontShowOnScreen);
        view.show();
        QCoreApplication::processEvents();
        qx::ModuleMap& map = *view.CurrentMap();
        for (int i = 0; i < map.PointCount(); ++i) view.Marker(i)->SetPointValue(10 + i);
    }
    qx::ModuleState document;
    qx::gui::LinkActivity activity{qx::CommPort::Instance(), qx::RamMonitor::Instance()};
    qx::gui::MapGraphView view{qx::CurrentHost(), activity, qx::AppProfile()};
    QImage image{1920, 1080, QImage::Format_ARGB32_Premultiplied};
};

Scene& TheScene() {
    static int argc = 1;
    static char name[] = "graph_bench";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        return new QApplication(argc, argv);
    }();
    (void)app;
    // Before the scene: the view keeps the profile it is given.
    static const bool profiled = [] {
        qx::SetAppProfile(QDir::temp().filePath("qx-graph-bench.ini").toStdString());
        return true;
    }();
    (void)profiled;
    static Scene scene;
    return scene;
}

void Paint(Scene& s, const qx::graph::PixelRect& r) {
    QPainter p(&s.image);
    p.setClipRect(QRect(r.left, r.top, r.Width(), r.Height()));
    s.view.DrawGraph(p, r);
}

void BM_FullRepaint1920x1080(benchmark::State& state) {
    Scene& s = TheScene();
    for (auto _ : state) {
        Paint(s, {0, 0, 1920, 1080});
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_FullRepaint1920x1080)->Unit(benchmark::kMicrosecond);

void BM_ArrowStepRepaint(benchmark::State& state) {
    Scene& s = TheScene();
    qx::gui::MapGraphView& v = s.view;
    v.SelectMarkerByIndex(7);
    double delta = 1.0;
    for (auto _ : state) {
        // What an arrow step does: change the value, then repaint the union of
        // the marker's old and new places and its neighbours.
        qx::gui::MapPointMarker* m = v.GetSelectedMarker();
        qx::graph::PixelRect area = m->WindowRect();
        if (!m->AddDelta(delta)) {
            delta = -delta;
            m->AddDelta(delta);
        }
        area = area.United(m->WindowRect())
                   .United(v.GetPrevMarker()->WindowRect())
                   .United(v.GetNextMarker()->WindowRect());
        Paint(s, area);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_ArrowStepRepaint)->Unit(benchmark::kMicrosecond);

void BM_UndoRedo16PointsRepaint(benchmark::State& state) {
    // What Undo or Redo of a curve tool on the whole map costs without a link:
    // sixteen values through the history, the markers moved, a full repaint.
    Scene& s = TheScene();
    std::vector<qx::EditTarget> ramp;
    for (int p = 0; p < 16; ++p) ramp.push_back({qx::SettingKey::Point(0, p), 30.0 - p});
    s.document.History().Perform("Interpolate Map 1", ramp);
    bool undo = true;
    for (auto _ : state) {
        if (undo) {
            s.document.History().Undo();
        } else {
            s.document.History().Redo();
        }
        undo = !undo;
        s.view.RepositionMarkers();
        Paint(s, {0, 0, 1920, 1080});
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_UndoRedo16PointsRepaint)->Unit(benchmark::kMicrosecond);

void BM_FullRepaintWithComparison1920x1080(benchmark::State& state) {
    // The other tune differs at every other point, so every kind of marker is drawn.
    Scene& s = TheScene();
    qx::ModuleState other;
    other.InitializeDefaults();
    qx::ModuleMap& map = *other.Map(0);
    for (int i = 0; i < map.PointCount(); ++i) map.Point(i).value->StoreValue(10 + i + (i % 2) * 5);
    const std::string path = QDir::temp().filePath("qx-graph-bench-other.qvx").toStdString();
    if (other.OnSaveDocument(path) != qx::DocStatus::Done) {
        state.SkipWithError("cannot write the other tune");
        return;
    }
    qx::gui::TuneComparison comparison(nullptr, s.document, qx::CurrentHost(),
                                       qx::CommPort::Instance());
    if (!comparison.LoadFile(path)) {
        state.SkipWithError("cannot read the other tune");
        return;
    }
    s.view.SetComparison(&comparison);
    for (auto _ : state) {
        Paint(s, {0, 0, 1920, 1080});
        benchmark::ClobberMemory();
    }
    s.view.SetComparison(nullptr);
    s.image.save(QDir::temp().filePath("qx-graph-bench-comparison.png"), "PNG");
}
BENCHMARK(BM_FullRepaintWithComparison1920x1080)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
