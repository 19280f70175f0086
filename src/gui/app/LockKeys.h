#pragma once
// The caps-lock and num-lock state where the platform gives it (XKB on X11).
#include <optional>

namespace qx::gui {

struct LockKeys {
    bool caps = false;
    bool num = false;
};

// Nothing on platforms that do not tell (Wayland, offscreen, no X library).
std::optional<LockKeys> ReadLockKeys();

}  // namespace qx::gui
