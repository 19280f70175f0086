#pragma once
// The module emulator of "--simulate": a module on a pseudo-terminal in this
// process, so that every command can be tried without a module. The link opens
// the device path like any serial device.
#include <memory>
#include <string>

namespace qx::qvx {

class SimulatedModule {
  public:
    // Starts the emulator at the given line speed; null with a reason on failure.
    // The caller owns the result; destroying it stops the emulator.
    static std::unique_ptr<SimulatedModule> Start(int baud, std::string& error);
    virtual ~SimulatedModule() = default;

    // The pseudo-terminal to open.
    virtual std::string DevicePath() const = 0;
};

}  // namespace qx::qvx
