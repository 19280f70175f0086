#pragma once
// Fixture of the graph tests: a scripted host and profile, a new settings
// document, and an 800 x 600 graph view shown on the offscreen platform with a
// caption bar of 18 pixels. Tests that need a module link one (emulated or
// scripted) through the model tests' support.
#include <QApplication>
#include <QPaintEvent>
#include <QTest>
#include <memory>
#include <vector>

#include "graph/MapGraphView.h"
#include "graph/MapPointMarker.h"
#include "graph/MapPointValueDisplay.h"
#include "maps/ModuleMap.h"
#include "model/LinkedTestSupport.h"
#include "model/ModuleState.h"

namespace qx::test {

// The one QApplication of the test program, with stable widget metrics.
inline QApplication& TestApp() {
    static int argc = 1;
    static char name[] = "graph_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        auto* a = new QApplication(argc, argv);
        QApplication::setStyle(QStringLiteral("Fusion"));
        return a;
    }();
    return *app;
}

// Records the areas of the paint events of the widgets it watches.
class PaintSpy : public QObject {
  public:
    std::vector<QRect> rects;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) rects.push_back(static_cast<QPaintEvent*>(e)->rect());
        return false;
    }
};

class GraphTest : public LinkedTest {
  protected:
    GraphTest() {
        TestApp();
        document.InitializeDefaults();
        view = std::make_unique<gui::MapGraphView>();
        view->SetCaptionHeight(18);
        view->resize(800, 600);
        view->SetDocument(&document);
        view->OnInitialUpdate();
        view->show();
        view->setFocus();
        QCoreApplication::processEvents();
    }
    ~GraphTest() override {
        view.reset();
        QCoreApplication::processEvents();
    }

    ModuleMap& Map() { return *view->CurrentMap(); }
    double Value(int i) { return Map().Point(i).value->GetValue(); }
    gui::MapPointMarker& Marker(int i) { return *view->Marker(i); }
    void ShowMap(int index) { document.OnSelectMap(kCmdSelectMap1 + index); }
    void Key(int key, Qt::KeyboardModifiers mods = {}) {
        QTest::keyClick(view.get(), static_cast<Qt::Key>(key), mods);
    }

    // Real mouse events on marker i: press, move by dy pixels (negative is up)
    // in steps, release.
    void Drag(int i, int dy, Qt::MouseButton button = Qt::LeftButton) {
        gui::MapPointMarker& m = Marker(i);
        QTest::mousePress(&m, button, {}, QPoint(5, 5));
        for (int s = 1; s <= 4; ++s) QTest::mouseMove(&m, QPoint(5, 5 + dy * s / 4));
        QTest::mouseRelease(&m, button, {}, QPoint(5, 5 + dy));
        QCoreApplication::processEvents();
    }

    ModuleState document;
    std::unique_ptr<gui::MapGraphView> view;
};

}  // namespace qx::test
