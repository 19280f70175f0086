#include "core/monitor/LiveSource.h"

#include <algorithm>
#include <vector>

#include "core/monitor/RamMonitor.h"

namespace qx {

namespace {

LiveSource* g_override = nullptr;

struct Observer {
    int id;
    SampleObserver fn;
};
std::vector<Observer>& Observers() {
    static std::vector<Observer> observers;
    return observers;
}
int g_nextId = 1;

}  // namespace

LiveSource::~LiveSource() {
    if (g_override == this) g_override = nullptr;
}

LiveSource* ActiveLiveSource() {
    if (g_override != nullptr) return g_override;
    return RamMonitor::Exists() ? &RamMonitor::Instance() : nullptr;
}

void SetLiveSourceOverride(LiveSource* source) {
    g_override = source;
}

LiveSource* LiveSourceOverride() {
    return g_override;
}

int AddSampleObserver(SampleObserver observer) {
    const int id = g_nextId++;
    Observers().push_back({id, std::move(observer)});
    return id;
}

void RemoveSampleObserver(int id) {
    auto& v = Observers();
    v.erase(std::remove_if(v.begin(), v.end(), [id](const Observer& o) { return o.id == id; }),
            v.end());
}

void NotifySample(LiveSource& source, bool first) {
    // Ids first: an observer may remove others (or itself) while we iterate.
    std::vector<int> ids;
    for (const Observer& o : Observers()) ids.push_back(o.id);
    for (int id : ids) {
        auto& v = Observers();
        auto it = std::find_if(v.begin(), v.end(), [id](const Observer& o) { return o.id == id; });
        if (it == v.end()) continue;
        SampleObserver fn = it->fn;  // a copy outlives its removal during the call
        fn(source, first);
    }
}

}  // namespace qx
