#pragma once
// Fixture of the graph tests: a scripted host and profile, a new settings
// document, and an 800 x 600 graph view shown on the offscreen platform with a
// caption bar of 18 pixels. Tests that need a module link one (emulated or
// scripted) through the model tests' support.
#include <QTest>
#include <functional>
#include <memory>

#include "core/maps/ModuleMap.h"
#include "core/model/ModuleState.h"
#include "gui/GuiTestSupport.h"
#include "gui/graph/MapGraphView.h"
#include "gui/graph/MapPointMarker.h"
#include "gui/graph/MapPointValueDisplay.h"
#include "model/LinkedTestSupport.h"

namespace qx::test {

class GraphTest : public LinkedTest {
  protected:
    GraphTest() : view(ShowGraph(document)) {
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
    void ShowMap(int index) { document.OnSelectMap(cmd::kMapFirst + index); }
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

    // Starts the monitor and reads a packet, running action from the read's
    // wait (which dispatches events).
    void DuringMonitorRead(const std::function<void()>& action) {
        RamMonitor& monitor = RamMonitor::Instance();
        ASSERT_TRUE(monitor.Start());
        bool reading = false;
        host->QueueEvent([&] {
            reading = monitor.IsReading();
            action();
        });
        ASSERT_TRUE(monitor.UpdateRamImage(nullptr));
        ASSERT_TRUE(reading);
    }

    ModuleState document;
    std::unique_ptr<gui::MapGraphView> view;
};

}  // namespace qx::test
