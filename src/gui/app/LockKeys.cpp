#include "gui/app/LockKeys.h"

#include <dlfcn.h>

#include <QGuiApplication>

namespace qx::gui {

namespace {

// The X library is loaded at run time, so the program needs no X headers to
// build and runs where there is no X at all.
struct Xkb {
    using OpenDisplay = void* (*)(const char*);
    using GetIndicatorState = int (*)(void*, unsigned, unsigned*);
    void* display = nullptr;
    GetIndicatorState getState = nullptr;

    Xkb() {
        void* lib = dlopen("libX11.so.6", RTLD_LAZY | RTLD_LOCAL);
        if (!lib) return;
        auto open = reinterpret_cast<OpenDisplay>(dlsym(lib, "XOpenDisplay"));
        getState = reinterpret_cast<GetIndicatorState>(dlsym(lib, "XkbGetIndicatorState"));
        if (open && getState) display = open(nullptr);
    }
};

constexpr unsigned kUseCoreKeyboard = 0x0100;

}  // namespace

std::optional<LockKeys> ReadLockKeys() {
    if (QGuiApplication::platformName() != QStringLiteral("xcb")) return std::nullopt;
    static Xkb xkb;
    if (!xkb.display) return std::nullopt;
    unsigned state = 0;
    if (xkb.getState(xkb.display, kUseCoreKeyboard, &state) != 0) return std::nullopt;
    // The first two indicators of the core keyboard are Caps Lock and Num Lock.
    return LockKeys{(state & 1u) != 0, (state & 2u) != 0};
}

}  // namespace qx::gui
