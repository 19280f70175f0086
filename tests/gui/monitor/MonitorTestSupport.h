#pragma once
// Fixture of the monitor window tests: a scripted module on the virtual clock
// (firmware chosen per test), a new settings document and an 800 x 600 graph
// view on the offscreen platform, with the monitor window made on demand so a
// test can prepare the profile first and "restart" by making it again.
#include <memory>
#include <string>
#include <vector>

#include "core/link/Request.h"
#include "core/model/ModuleState.h"
#include "gui/GuiTestSupport.h"
#include "gui/graph/MapGraphView.h"
#include "gui/monitor/MonitorDisplay.h"
#include "gui/monitor/MonitorWindow.h"
#include "gui/shell/LiveSamples.h"
#include "link/LinkFixture.h"

namespace qx::test {

inline bool OldFirmware(uint8_t firmware) {
    return firmware == 0x10 || firmware == 0xFF;
}

// The monitor start request of the block that firmware byte streams.
inline std::vector<uint8_t> MonitorStartFrame(uint8_t firmware) {
    const bool old = OldFirmware(firmware);
    uint8_t buffer[16];
    const std::size_t n =
        Request::MonitorStart(old ? 0x45 : 0x40, old ? 57 : 14).BuildFrame(buffer);
    return {buffer, buffer + n};
}

// A monitor packet for firmware with the given bytes at module addresses.
struct Poke {
    uint16_t address;
    uint8_t value;
};
inline std::vector<uint8_t> MonitorPacket(uint8_t firmware, const std::vector<Poke>& pokes) {
    const bool old = OldFirmware(firmware);
    std::vector<uint8_t> data(old ? 57 : 14, 0);
    for (const Poke& p : pokes) data.at(p.address - (old ? 0x45u : 0x40u)) = p.value;
    return Frame(0x83, data);
}

class MonitorWindowTest : public LinkFixture {
  protected:
    MonitorWindowTest() : view(ShowGraph(document)) {}
    ~MonitorWindowTest() override {
        view.reset();
        QCoreApplication::processEvents();
    }

    // Makes the monitor window in the view (as the program does at start-up),
    // after writing the given "Monitors" and "Monitor Window Open" unless negative.
    gui::MonitorWindow& Make(int monitors = -1, int open = -1) {
        if (monitors >= 0) SetProfile("Monitors", monitors);
        if (open >= 0) SetProfile("Monitor Window Open", open);
        samples = std::make_unique<gui::LiveSamples>(RamMonitor::Instance().Samples());
        window = new gui::MonitorWindow(view.get(), AppProfile(), RamMonitor::Instance(), *samples);
        QCoreApplication::processEvents();
        return *window;
    }
    // Destroys it (as the program does at its end), writing its settings.
    void Destroy() {
        delete window;
        window = nullptr;
        view->SetMonitorWidth(0);
    }
    // Destroys and makes it again: what a restart of the program sees.
    gui::MonitorWindow& Restart() {
        Destroy();
        return Make();
    }

    int ProfileInt(const char* key) const { return AppProfile().GetInt("Settings", key, -12345); }

    // Links a module of firmware that streams packet after the start request.
    void LinkStreaming(uint8_t firmware, const std::vector<uint8_t>& packet) {
        Link(firmware);
        device.StreamOnRequest(MonitorStartFrame(firmware), packet, 30);
    }
    // Starts the stream and reads one packet into the image; true when it was good.
    bool ReadOnePacket() {
        RamMonitor& m = RamMonitor::Instance();
        return m.Start() && Port().WaitForData(m.PacketLength()) && m.UpdateRamImage(nullptr);
    }
    // Stops the stream, streams packet instead and shows one of it.
    void Feed(uint8_t firmware, const std::vector<uint8_t>& packet, bool redrawLiveBar = false) {
        RamMonitor::Instance().Stop();
        device.StreamOnRequest(MonitorStartFrame(firmware), packet, 30);
        ASSERT_TRUE(ReadOnePacket());
        window->RefreshDisplays(redrawLiveBar);
    }

    std::string BoxText(int i) { return window->Display(i)->Text(); }

    ModuleState document;
    std::unique_ptr<gui::MapGraphView> view;
    std::unique_ptr<gui::LiveSamples> samples;  // what the program's root makes
    gui::MonitorWindow* window = nullptr;       // child of view
};

}  // namespace qx::test
