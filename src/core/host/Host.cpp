#include "core/host/Host.h"

#include <cstdlib>
#include <string_view>

#include "core/host/Clock.h"
#include "core/host/ConsoleHost.h"

namespace qx {

namespace {
Host* g_current = nullptr;
}

int32_t Host::ElapsedSysTime() {
    return GetClock().ElapsedSysTime();
}

void Host::Sleep(int ms) {
    GetClock().SleepMs(ms);
}

bool TraceRequested() {
    const char* env = std::getenv("QUORVEXI_TRACE");
    return env != nullptr && *env != '\0' && std::string_view(env) != "0";
}

Host& CurrentHost() {
    if (g_current) return *g_current;
    // Programs that never install a host still get one that answers without a window.
    static ConsoleHost fallback;
    return fallback;
}

Host* SetCurrentHost(Host* host) {
    Host* previous = g_current;
    g_current = host;
    return previous;
}

WaitCursorScope::WaitCursorScope(bool show) : host_(show ? &CurrentHost() : nullptr) {
    if (host_) host_->BeginWaitCursor();
}

// Ends on the host that began it, even if another host was installed meanwhile.
WaitCursorScope::~WaitCursorScope() {
    if (host_) host_->EndWaitCursor();
}

}  // namespace qx
