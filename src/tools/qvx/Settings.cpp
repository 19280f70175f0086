#include "tools/qvx/Settings.h"

#include <cctype>
#include <cmath>

#include "core/host/Numbers.h"
#include "tools/qvx/Format.h"

namespace qx::qvx {
namespace {

// Splits "Title[3]" into the title and the index; false when there is no index.
bool SplitPointName(std::string_view name, std::string_view& title, int& index) {
    std::size_t end = name.find_last_not_of(" \t");
    if (end == std::string_view::npos || name[end] != ']') return false;
    std::size_t open = name.rfind('[', end);
    if (open == std::string_view::npos) return false;
    auto n = ParseInt(name.substr(open + 1, end - open - 1));
    if (!n || *n < 0 || *n > 10000) {
        index = -1;
    } else {
        index = static_cast<int>(*n);
    }
    title = name.substr(0, open);
    return true;
}

// The candidate whose key equals key, else the only one that begins with it.
// Returns -1 for none and -2 when several begin with it.
int MatchKey(const std::vector<std::string>& keys, const std::string& key) {
    if (key.empty()) return -1;
    for (std::size_t i = 0; i < keys.size(); ++i) {
        if (keys[i] == key) return static_cast<int>(i);
    }
    int found = -1;
    for (std::size_t i = 0; i < keys.size(); ++i) {
        if (keys[i].rfind(key, 0) == 0) {
            if (found >= 0) return -2;
            found = static_cast<int>(i);
        }
    }
    return found;
}

SettingRef BasicRef(ModuleState& doc, int i) {
    SettingRef r;
    r.name = kBasicSettings[static_cast<std::size_t>(i)].label;
    r.unit = kBasicSettings[static_cast<std::size_t>(i)].unit;
    r.value = &doc.BasicValue(i);
    r.basicIndex = i;
    return r;
}

SettingRef PointRef(ModuleMap& map, int mapIndex, int point) {
    SettingRef r;
    // Numbered from 1, as the graph and the program's messages number them.
    r.name = map.Title() + "[" + std::to_string(point + 1) + "]";
    r.unit = map.YUnits();
    r.value = map.Point(point).value.get();
    r.mapIndex = mapIndex;
    r.pointIndex = point;
    r.x = map.Point(point).x;
    r.xUnit = map.XUnits();
    return r;
}

}  // namespace

std::vector<SettingRef> AllSettings(ModuleState& doc) {
    std::vector<SettingRef> all;
    for (int i = 0; i < kBasicValueCount; ++i) all.push_back(BasicRef(doc, i));
    for (int m = 0; m < doc.MapCount(); ++m) {
        ModuleMap* map = doc.Map(m);
        if (!map || !map->Initialized()) continue;
        for (int p = 0; p < map->PointCount(); ++p) all.push_back(PointRef(*map, m, p));
    }
    return all;
}

bool FindSetting(ModuleState& doc, std::string_view name, SettingRef& found, std::string& error) {
    std::string_view title;
    int index = 0;
    if (SplitPointName(name, title, index)) {
        std::vector<std::string> keys;
        for (int m = 0; m < doc.MapCount(); ++m) {
            keys.push_back(doc.Map(m) ? NameKey(doc.Map(m)->Title()) : std::string());
        }
        int m = MatchKey(keys, NameKey(title));
        if (m < 0) {
            error = std::string(m == -2 ? "ambiguous" : "unknown") + " map name \"" +
                    std::string(title) + "\"";
            return false;
        }
        ModuleMap& map = *doc.Map(m);
        if (index < 1 || index > map.PointCount()) {
            error = "no point \"" + std::string(name) + "\": " + map.Title() + " has points 1 to " +
                    std::to_string(map.PointCount());
            return false;
        }
        found = PointRef(map, m, index - 1);
        return true;
    }
    std::vector<std::string> keys;
    for (const auto& info : kBasicSettings) keys.push_back(NameKey(info.label));
    int i = MatchKey(keys, NameKey(name));
    if (i < 0) {
        error = std::string(i == -2 ? "ambiguous" : "unknown") + " setting name \"" +
                std::string(name) + "\"";
        return false;
    }
    found = BasicRef(doc, i);
    return true;
}

SettingKey SettingKeyOf(const SettingRef& setting) {
    return setting.mapIndex >= 0 ? SettingKey::Point(setting.mapIndex, setting.pointIndex)
                                 : SettingKey::Basic(setting.basicIndex);
}

SettingRange RangeOf(const ModuleValue& value) {
    if (value.Min() == value.Max()) return {};
    return {true, value.Quantize(value.Min()), value.Quantize(value.Max())};
}

namespace {

const BasicSettingInfo* ChoicesOf(const SettingRef& setting) {
    if (setting.basicIndex < 0) return nullptr;
    const BasicSettingInfo& info = kBasicSettings[static_cast<std::size_t>(setting.basicIndex)];
    return info.HasChoices() ? &info : nullptr;
}

}  // namespace

bool SetSetting(ModuleState& doc, SettingRef& setting, std::string_view text, std::string& error) {
    std::optional<double> value;
    // Not "\"" + s: g++ 12 at -O3 reports a false -Wrestrict for it.
    const std::string quoted = std::string(1, '"').append(text) + "\"";
    if (const BasicSettingInfo* info = ChoicesOf(setting)) {
        const std::string key = NameKey(text);
        for (const SettingChoice& c : info->choices) {
            if (c.word != nullptr && key == NameKey(c.word)) value = c.value;
        }
        if (!value) value = ParseDouble(text);
        if (!value || info->ChoiceOf(*value) == nullptr) {
            error = setting.name + " takes " + info->ChoicesText() + ", not " + quoted;
            return false;
        }
    } else {
        value = ParseDouble(text);
        if (!value || !std::isfinite(*value)) {
            error = quoted + " is not a number (" + setting.name + ")";
            return false;
        }
        // Refused, not clamped: the range stated is what the setting can show.
        if (const SettingRange r = RangeOf(*setting.value); r.ranged) {
            const double slack = 1e-9 * std::max(1.0, std::fabs(r.max - r.min));
            if (!(*value >= r.min - slack && *value <= r.max + slack)) {
                error = quoted + " is outside " + FormatNumber(r.min) + " to " +
                        FormatNumber(r.max) + (setting.unit.empty() ? "" : " " + setting.unit) +
                        " (" + setting.name + ")";
                return false;
            }
        }
    }
    // Basic settings change alone, as in the Basic Setup dialog; map points as
    // the graph editor sets them, with the twin spark advance point along. A
    // value already there records no step.
    const double before = setting.value->GetValue();
    doc.History().Perform(setting.name, {{SettingKeyOf(setting), *value}});
    if (setting.value->Quantize(*value) != setting.value->GetValue() &&
        setting.value->GetValue() == before) {
        error = "could not set " + setting.name;
        return false;
    }
    return true;
}

std::string SettingNamesHelp() {
    ModuleState doc;
    doc.InitializeDefaults();
    std::string text =
        "Setting names (case, spaces and punctuation do not matter; a unique beginning\n"
        "of a name is enough, as in \"rev limit rate\" or \"front[4]\"):\n";
    for (int i = 0; i < kBasicValueCount; ++i) {
        const ModuleValue& v = doc.BasicValue(i);
        const auto& info = kBasicSettings[static_cast<std::size_t>(i)];
        text += "  ";
        text += info.label;
        if (info.HasChoices()) {
            std::string words;
            for (const SettingChoice& c : info.choices) {
                if (c.word != nullptr) words += (words.empty() ? "" : ", ") + std::string(c.word);
            }
            text += "  " + info.ChoicesText() + "; also " + words;
        } else {
            const SettingRange r = RangeOf(v);
            text += "  " + FormatNumber(r.min) + " to " + FormatNumber(r.max);
            if (*info.unit) text += std::string(" ") + info.unit;
            text += ", step " + FormatNumber(v.Delta());
        }
        text += "\n";
    }
    text += "Map points, N from 1 to 16 as the graph numbers them:\n";
    for (int m = 0; m < doc.MapCount(); ++m) {
        const ModuleMap& map = *doc.Map(m);
        const SettingRange r = RangeOf(*map.Point(0).value);
        text += "  " + map.Title() + "[N]  " + FormatNumber(r.min) + " to " + FormatNumber(r.max) +
                " " + map.YUnits() + ", step " + FormatNumber(map.Step()) + "; point N at " +
                map.XLabel() + " " + FormatNumber(map.Point(1).x) + " x (N - 1) " + map.XUnits() +
                "\n";
    }
    text +=
        "With \"Advance Maps Synchronized\" on (profile \"Mirror\", default 1), setting a\n"
        "point of either spark advance map sets the same point of the other as well.\n"
        "Assignments are applied in the order given.\n";
    return text;
}

}  // namespace qx::qvx
