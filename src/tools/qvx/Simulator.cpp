#include "tools/qvx/Simulator.h"

#include "emulator/PtyEmulator.h"

namespace qx::qvx {
namespace {

class PtySimulatedModule final : public SimulatedModule {
  public:
    explicit PtySimulatedModule(const emu::EmulatorConfig& config) : emulator_(config) {}
    bool Begin(std::string& error) { return emulator_.Start(&error); }
    std::string DevicePath() const override { return emulator_.SlavePath(); }

  private:
    emu::PtyEmulator emulator_;
};

}  // namespace

std::unique_ptr<SimulatedModule> SimulatedModule::Start(int baud, std::string& error) {
    emu::EmulatorConfig config;
    config.baud = baud;
    auto module = std::make_unique<PtySimulatedModule>(config);
    if (!module->Begin(error)) return nullptr;
    return module;
}

}  // namespace qx::qvx
