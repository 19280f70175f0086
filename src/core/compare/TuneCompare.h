#pragma once
// The one comparison of two tunes, used by the command-line diff and verify
// and by the Differences window, so that both always agree on what differs.
#include <string>
#include <vector>

#include "core/edit/EditHistory.h"
#include "core/edit/Setting.h"

namespace qx {

class ModuleState;

enum class CompareMode {
    Exact,   // the values compared as numbers
    Module,  // equal when both convert to the same module integer (what a download writes)
};

struct TuneDifference {
    SettingKey key;
    double ours = 0.0;    // the value in the first document
    double theirs = 0.0;  // the value in the second
    bool operator==(const TuneDifference&) const = default;
};

// Every setting that differs, in the order of AllSettingKeys of ours. Settings
// the other document lacks are left out. In module mode both values go through
// ours' conversion.
std::vector<TuneDifference> CompareTunes(const ModuleState& ours, const ModuleState& theirs,
                                         CompareMode mode);

// What taking theirs' value of key into ours sets: the value of key, and with
// the advance maps synchronized the twin too, from theirs' twin, so that no
// value is set that neither tune holds. Empty with why set when that cannot
// be: synchronized, and theirs holds the two twins apart.
std::vector<EditTarget> OtherValueTargets(const ModuleState& ours, const ModuleState& theirs,
                                          SettingKey key, std::string& why);

// True when some difference lies on map (index 0 .. 5).
bool MapDiffers(const std::vector<TuneDifference>& diffs, int map);
// The difference of key, or null when key does not differ.
const TuneDifference* FindDifference(const std::vector<TuneDifference>& diffs, SettingKey key);

}  // namespace qx
