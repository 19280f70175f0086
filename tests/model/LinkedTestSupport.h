#pragma once
// A linked module on an in-memory line and the host's virtual clock: either the
// module emulator or a scripted device for exact failure cases.
#include <memory>
#include <vector>

#include "core/link/Request.h"
#include "core/model/ModuleState.h"
#include "model/ModelTestSupport.h"
#include "support/EmulatorLine.h"
#include "support/MemoryLine.h"
#include "support/ScriptedDevice.h"

namespace qx::test {

inline std::vector<uint8_t> RequestFrame(const Request& r) {
    uint8_t buffer[16];
    return {buffer, buffer + r.BuildFrame(buffer)};
}
inline std::vector<uint8_t> WriteFrame(uint16_t address, uint8_t value) {
    return RequestFrame(Request::Write(address, value));
}

class LinkedTest : public ModelTest {
  protected:
    ~LinkedTest() override { ResetLink(); }  // before the devices go

    // Links to an emulated module; the records start empty afterwards.
    void LinkEmulator(const emu::EmulatorConfig& config = {}) {
        emulator = std::make_unique<emu::EmulatorLine>(config);
        Open(emulator.get());
        emulator->Core().ResetCounters();
    }

    // Links to a scripted module that identifies as firmware 1.0.
    void LinkScripted() {
        scripted = std::make_unique<ScriptedDevice>();
        scripted->AlwaysAnswer(RequestFrame(Request::Identify()), Frame(0x80, {0x10}));
        Open(scripted.get());
    }

    void Open(serial::LineDevice* device) {
        CommPort::Instance().SetPortOpener(
            [this, device](int, serial::OpenError*) -> std::unique_ptr<serial::SerialPort> {
                auto line = std::make_unique<serial::MemoryLine>(host->clock(), device);
                if (emulator) emulator->AttachLine(line.get());
                return line;
            });
        ASSERT_TRUE(CommPort::Instance().EstablishLink());
        host->ClearRecords();
    }

    std::unique_ptr<emu::EmulatorLine> emulator;
    std::unique_ptr<ScriptedDevice> scripted;
};

// A linked test on a new document.
class LinkedDocumentTest : public LinkedTest {
  protected:
    LinkedDocumentTest() { EXPECT_EQ(doc.OnNewDocument(), DocStatus::Done); }
    ModuleValue& At(int map, int point) { return *doc.Map(map)->Point(point).value; }
    EditHistory& History() { return doc.History(); }
    // What the emulated module has stored since its counters were last reset.
    std::vector<emu::WriteRecord> Writes() { return emulator->Core().Counters().writes; }

    ModuleState doc;
};

}  // namespace qx::test
