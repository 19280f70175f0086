#pragma once
// The names by which the command line reaches each setting of a settings
// document: the basic settings by their Basic Setup labels ("Rev Limit"), map
// points by map title and point index ("Base Dwell[3]"). Names compare by
// NameKey (case, spaces and punctuation do not matter), and a unique beginning
// of a name is enough ("rev limit rate", "front[4]", points numbered from 1).
//
// A SettingRef points into the document it was made from; it is valid until the
// document replaces its maps (new document or open).
#include <string>
#include <string_view>
#include <vector>

#include "core/model/ModuleState.h"

namespace qx::qvx {

struct SettingRef {
    std::string name;              // "Rev Limit" or "Front Cylinder Spark Advance[3]"
    std::string unit;              // "" when the setting has none
    ModuleValue* value = nullptr;  // not owned
    int basicIndex = -1;           // 0 .. 11 for a basic setting
    int mapIndex = -1;             // 0 .. 5 for a map point
    int pointIndex = -1;
    double x = 0.0;     // the point's x
    std::string xUnit;  // the map's x unit
};

// Every setting of doc: the twelve basic settings in file order, then the map
// points, map by map. doc must have its maps (a new or loaded document).
std::vector<SettingRef> AllSettings(ModuleState& doc);

// The setting name refers to, or false with a one-line reason in error.
bool FindSetting(ModuleState& doc, std::string_view name, SettingRef& found, std::string& error);

// The values a ranged setting can take as the editor shows them: its range's
// ends stepped (Rev Limit steps by 128 from zero, so 1904 to 10096 shows as
// 1920 to 10112). Not ranged for a two-state setting.
struct SettingRange {
    bool ranged = false;
    double min = 0.0;
    double max = 0.0;
};
SettingRange RangeOf(const ModuleValue& value);

// Parses value for the setting and sets it as the editor does (stepped; map
// points pass the change on to the twin spark advance point while the mirror
// setting is on). False with a one-line reason when value is not a number, lies
// outside RangeOf (refused, never clamped), or is not one of the values a
// two-state setting takes (its table's choices).
// The change goes through the document's edit history, as every edit does.
bool SetSetting(ModuleState& doc, SettingRef& setting, std::string_view value, std::string& error);

// The key of the setting, as edits and comparisons name it.
SettingKey SettingKeyOf(const SettingRef& setting);

// The help text listing every name, with units and ranges.
std::string SettingNamesHelp();

}  // namespace qx::qvx
