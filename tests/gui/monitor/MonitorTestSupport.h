#pragma once
// Fixture of the monitor window tests: a scripted module on the virtual clock
// (firmware chosen per test), a new settings document and an 800 x 600 graph
// view on the offscreen platform, with the monitor window made on demand so a
// test can prepare the profile first and "restart" by making it again.
#include <QApplication>
#include <QImage>
#include <QString>
#include <memory>
#include <string>
#include <vector>

#include "graph/MapGraphView.h"
#include "link/LinkFixture.h"
#include "model/ModuleState.h"
#include "monitor/MonitorDisplay.h"
#include "monitor/MonitorWindow.h"

namespace qx::test {

// The one QApplication of the test program.
QApplication& TestApp();

// Saves image under $QX_BUILD_DIR (else the working folder) as name; returns the path.
std::string SavePicture(const QImage& image, const QString& name);

// The monitor start request of the block that firmware byte streams.
std::vector<uint8_t> MonitorStartFrame(uint8_t firmware);
// A monitor packet for firmware with the given bytes at module addresses.
struct Poke {
    uint16_t address;
    uint8_t value;
};
std::vector<uint8_t> MonitorPacket(uint8_t firmware, const std::vector<Poke>& pokes);

class MonitorWindowTest : public LinkFixture {
  protected:
    MonitorWindowTest();
    ~MonitorWindowTest() override;

    // Makes the monitor window in the view (as the program does at start-up).
    gui::MonitorWindow& Make();
    // Destroys it (as the program does at its end), writing its settings.
    void Destroy();
    // Destroys and makes it again: what a restart of the program sees.
    gui::MonitorWindow& Restart();

    int ProfileInt(const char* key, int fallback = -12345) const;

    // Links a module of firmware that streams packet after the start request.
    void LinkStreaming(uint8_t firmware, const std::vector<uint8_t>& packet, int periodMs = 30);
    // Starts the stream and reads one packet into the image; true when it was good.
    bool ReadOnePacket();

    std::string BoxText(int i) { return window->Display(i)->Text(); }

    ModuleState document;
    std::unique_ptr<gui::MapGraphView> view;
    gui::MonitorWindow* window = nullptr;  // child of view
};

}  // namespace qx::test
