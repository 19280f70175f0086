#include "compare/TuneCompare.h"

#include <algorithm>

#include "model/ModuleState.h"

namespace qx {

std::vector<TuneDifference> CompareTunes(const ModuleState& ours, const ModuleState& theirs,
                                         CompareMode mode) {
    std::vector<TuneDifference> diffs;
    for (SettingKey key : AllSettingKeys(ours)) {
        const ModuleValue* a = FindValue(ours, key);
        const ModuleValue* b = FindValue(theirs, key);
        if (a == nullptr || b == nullptr) continue;
        const double va = a->GetValue();
        const double vb = b->GetValue();
        bool differ;
        if (mode == CompareMode::Module) {
            differ = a->ToInternal(va) != a->ToInternal(vb);
        } else {
            differ = !(va == vb) && !(va != va && vb != vb);
        }
        if (differ) diffs.push_back({key, va, vb});
    }
    return diffs;
}

bool MapDiffers(const std::vector<TuneDifference>& diffs, int map) {
    return std::any_of(diffs.begin(), diffs.end(),
                       [map](const TuneDifference& d) { return d.key.map == map; });
}

const TuneDifference* FindDifference(const std::vector<TuneDifference>& diffs, SettingKey key) {
    auto it = std::find_if(diffs.begin(), diffs.end(),
                           [key](const TuneDifference& d) { return d.key == key; });
    return it == diffs.end() ? nullptr : &*it;
}

}  // namespace qx
