#include "core/compare/TuneCompare.h"

#include <algorithm>

#include "core/host/Numbers.h"
#include "core/model/ModuleState.h"

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

std::vector<EditTarget> OtherValueTargets(const ModuleState& ours, const ModuleState& theirs,
                                          SettingKey key, std::string& why) {
    why.clear();
    const ModuleValue* mine = FindValue(ours, key);
    const ModuleValue* other = FindValue(theirs, key);
    if (mine == nullptr || other == nullptr) return {};
    std::vector<EditTarget> targets{{key, other->GetValue()}};
    const auto* mirrored = dynamic_cast<const MirroredModuleValue*>(mine);
    if (!MirrorSetting() || mirrored == nullptr || mirrored->Partner() == nullptr) return targets;
    for (int m = 0; m < ours.MapCount(); ++m) {
        const SettingKey twin = SettingKey::Point(m, key.index);
        if (m == key.map || FindValue(ours, twin) != mirrored->Partner()) continue;
        const ModuleValue* otherTwin = FindValue(theirs, twin);
        if (otherTwin == nullptr) return targets;
        if (mine->Quantize(otherTwin->GetValue()) != mine->Quantize(other->GetValue())) {
            why = FormatC(
                "The advance maps are synchronized, and the other tune holds %g and %g %s for "
                "this point of the two maps. Turn off Maps > Advance Maps Synchronized to take "
                "one of them alone.",
                other->GetValue(), otherTwin->GetValue(), SettingUnit(ours, key).c_str());
            return {};
        }
        targets.push_back({twin, otherTwin->GetValue()});
    }
    return targets;
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
