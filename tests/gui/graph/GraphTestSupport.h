#pragma once
// Fixture of the graph tests: a scripted host and profile, a new settings
// document, and an 800 x 600 graph view shown on the offscreen platform with a
// caption bar of 18 pixels. Tests that need a module link one (emulated or
// scripted) through the model tests' support.
#include <QApplication>
#include <QTest>
#include <memory>

#include "graph/MapGraphView.h"
#include "graph/MapPointMarker.h"
#include "graph/MapPointValueDisplay.h"
#include "maps/ModuleMap.h"
#include "model/LinkedTestSupport.h"
#include "model/ModuleState.h"

namespace qx::test {

// The one QApplication of the test program.
QApplication& TestApp();

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

    // Real mouse events on marker i: press, move by dy pixels (negative is up)
    // in steps, release.
    void Drag(int i, int dy, Qt::MouseButton button = Qt::LeftButton) {
        gui::MapPointMarker& m = Marker(i);
        const QPoint start(5, 5);
        QTest::mousePress(&m, button, {}, start);
        const int steps = 4;
        for (int s = 1; s <= steps; ++s) {
            QTest::mouseMove(&m, start + QPoint(0, dy * s / steps));
        }
        QTest::mouseRelease(&m, button, {}, start + QPoint(0, dy));
        QCoreApplication::processEvents();
    }

    ModuleState document;
    std::unique_ptr<gui::MapGraphView> view;
};

}  // namespace qx::test
