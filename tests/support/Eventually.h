#pragma once
// Waits in real time for what another thread or process does (an emulator on a
// pseudo-terminal, the X server): everything else runs on the virtual clock.
// It polls, so a fast machine is not slowed down, and the bound only ends a
// failing test, so it is far beyond what a loaded machine needs.
#include <chrono>
#include <thread>

namespace qx::test {

template <class F>
bool Eventually(F condition, std::chrono::milliseconds bound = std::chrono::seconds(60)) {
    const auto end = std::chrono::steady_clock::now() + bound;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

}  // namespace qx::test
