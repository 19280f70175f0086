#include "core/edit/Setting.h"

#include "core/model/ModuleState.h"

namespace qx {

ModuleValue* FindValue(ModuleState& doc, SettingKey key) {
    return const_cast<ModuleValue*>(FindValue(static_cast<const ModuleState&>(doc), key));
}

const ModuleValue* FindValue(const ModuleState& doc, SettingKey key) {
    if (key.IsBasic()) {
        if (key.index < 0 || key.index >= kBasicValueCount) return nullptr;
        return &doc.BasicValue(key.index);
    }
    const ModuleMap* map = doc.Map(key.map);
    if (map == nullptr || !map->Initialized() || key.index < 0 || key.index >= map->PointCount()) {
        return nullptr;
    }
    return map->Point(key.index).value.get();
}

int MapIndexOf(const ModuleState& doc, const ModuleMap* map) {
    for (int m = 0; m < doc.MapCount(); ++m) {
        if (map != nullptr && doc.Map(m) == map) return m;
    }
    return -1;
}

std::vector<SettingKey> AllSettingKeys(const ModuleState& doc) {
    std::vector<SettingKey> keys;
    for (int i = 0; i < kBasicValueCount; ++i) keys.push_back(SettingKey::Basic(i));
    for (int m = 0; m < doc.MapCount(); ++m) {
        const ModuleMap* map = doc.Map(m);
        if (map == nullptr || !map->Initialized()) continue;
        for (int p = 0; p < map->PointCount(); ++p) keys.push_back(SettingKey::Point(m, p));
    }
    return keys;
}

std::string SettingLabel(SettingKey key) {
    if (key.IsBasic()) {
        if (key.index < 0 || key.index >= kBasicValueCount) return "Setting";
        return kBasicSettings[static_cast<std::size_t>(key.index)].label;
    }
    return "Map " + std::to_string(key.map + 1) + " Point " + std::to_string(key.index + 1);
}

std::string SettingLongName(const ModuleState& doc, SettingKey key) {
    if (key.IsBasic()) return SettingLabel(key);
    const ModuleMap* map = doc.Map(key.map);
    if (map == nullptr) return SettingLabel(key);
    return map->Title() + " point " + std::to_string(key.index + 1);
}

std::string SettingUnit(const ModuleState& doc, SettingKey key) {
    if (key.IsBasic()) {
        if (key.index < 0 || key.index >= kBasicValueCount) return {};
        return kBasicSettings[static_cast<std::size_t>(key.index)].unit;
    }
    const ModuleMap* map = doc.Map(key.map);
    return map == nullptr ? std::string() : map->YUnits();
}

}  // namespace qx
