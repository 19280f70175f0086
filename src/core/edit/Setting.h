#pragma once
// Names a setting of a settings document by position rather than by pointer:
// a basic setting by its file-order index, a map point by map and point index.
// Edits and comparisons keep keys, never value pointers, because a new document
// or an open (which a nested event loop can run) replaces every map.
#include <compare>
#include <string>
#include <vector>

namespace qx {

class ModuleState;
class ModuleValue;
class ModuleMap;

struct SettingKey {
    int map = -1;   // -1: a basic setting; else the map index 0 .. 5
    int index = 0;  // the basic setting (0 .. 11) or the point (0 .. 15)

    static SettingKey Basic(int setting) { return {-1, setting}; }
    static SettingKey Point(int map, int point) { return {map, point}; }
    bool IsBasic() const { return map < 0; }
    auto operator<=>(const SettingKey&) const = default;
};

// The value key names in doc, or null when doc has no such setting now.
ModuleValue* FindValue(ModuleState& doc, SettingKey key);
const ModuleValue* FindValue(const ModuleState& doc, SettingKey key);

// The index of map in doc, or -1 when doc does not hold it.
int MapIndexOf(const ModuleState& doc, const ModuleMap* map);

// Every setting of doc: the basic settings in file order, then each map's points.
std::vector<SettingKey> AllSettingKeys(const ModuleState& doc);

// The short name a user reads in menus: "Rev Limit", "Map 1 Point 5" (both
// counted from 1, as the Maps menu counts).
std::string SettingLabel(SettingKey key);
// The long name of lists: "Rev Limit", "Front Cylinder Spark Advance point 5".
std::string SettingLongName(const ModuleState& doc, SettingKey key);
// The unit of the setting's value ("" when none).
std::string SettingUnit(const ModuleState& doc, SettingKey key);

}  // namespace qx
