// The commands that work on settings files only: new, show, set, diff.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "core/compare/TuneCompare.h"
#include "core/host/Numbers.h"
#include "core/host/SafeFile.h"
#include "tools/qvx/Commands.h"
#include "tools/qvx/Format.h"
#include "tools/qvx/Settings.h"

namespace qx::qvx {

void Fail(Context& c, const std::string& text) {
    c.err << "qvx: " << text << '\n' << std::flush;
}

int LoadDocument(Context& c, const std::string& path, ModuleState& doc) {
    // Read once: a pipe (a shell's <(...)) cannot be read again. One byte more
    // than a settings file holds is read, so a longer file is recognised.
    std::vector<uint8_t> bytes;
    std::string why;
    if (!ReadFileLimited(path, kSettingsFileSize, bytes, why)) {
        Fail(c, path + ": " + why);
        return kExitBadFile;
    }
    why = doc.CheckContents(bytes);
    if (!why.empty()) {
        Fail(c, path + ": not a settings file: " + why);
        return kExitBadFile;
    }
    if (doc.OpenContents(path, bytes) != DocStatus::Done) {
        Fail(c, path + ": could not be loaded");
        return kExitBadFile;
    }
    return kExitOk;
}

int SaveDocument(Context& c, const std::string& path, ModuleState& doc) {
    if (doc.OnSaveDocument(path) != DocStatus::Done) {
        Fail(c, path + ": could not be written; any earlier file of that name is unchanged");
        return kExitBadFile;
    }
    return kExitOk;
}

namespace {

std::string WithUnit(const std::string& number, const std::string& unit) {
    return unit.empty() ? number : number + " " + unit;
}

std::string DisplayName(const SettingRef& s) {
    if (s.mapIndex < 0) return s.name;
    return s.name + " at " + WithUnit(FormatNumber(s.x), s.xUnit);
}

// The meaning of the two-state settings, shown after their number.
std::string StateNote(const SettingRef& s) {
    if (s.basicIndex < 0) return {};
    const BasicSettingInfo& info = kBasicSettings[static_cast<std::size_t>(s.basicIndex)];
    const SettingChoice* choice = info.ChoiceOf(s.value->GetValue());
    return choice != nullptr ? std::string(" (") + choice->meaning + ")" : std::string();
}

std::string Pad(const std::string& text, std::size_t width, bool right) {
    if (text.size() >= width) return text;
    std::string fill(width - text.size(), ' ');
    return right ? fill + text : text + fill;
}

void ShowText(Context& c, ModuleState& doc) {
    std::ostream& o = c.out;
    o << "Basic settings\n";
    std::vector<SettingRef> all = AllSettings(doc);
    std::size_t width = 0;
    for (const auto& s : all) {
        if (s.basicIndex >= 0) width = std::max(width, s.name.size());
    }
    for (const auto& s : all) {
        if (s.basicIndex < 0) continue;
        o << "  " << Pad(s.name, width, false) << "  "
          << WithUnit(FormatNumber(s.value->GetValue()), s.unit) << StateNote(s) << '\n';
    }
    for (int m = 0; m < doc.MapCount(); ++m) {
        const ModuleMap& map = *doc.Map(m);
        o << '\n' << map.Title() << " (" << map.YLabel() << " over " << map.XLabel() << ")\n";
        std::string xs = "  " + Pad(map.XUnits(), 9, false);
        std::string ys = "  " + Pad(map.YUnits(), 9, false);
        std::string is = "  " + Pad("point", 9, false);
        for (int p = 0; p < map.PointCount(); ++p) {
            std::string x = FormatNumber(map.Point(p).x);
            std::string y = FormatNumber(map.Point(p).value->GetValue());
            std::size_t w = std::max({x.size(), y.size(), std::size_t{4}}) + 1;
            // Numbered from 1, as set, verify, diff and the graph number them.
            is += Pad(std::to_string(p + 1), w, true);
            xs += Pad(x, w, true);
            ys += Pad(y, w, true);
        }
        o << is << '\n' << xs << '\n' << ys << '\n';
    }
}

void ShowJson(Context& c, ModuleState& doc) {
    std::ostream& o = c.out;
    o << "{\n  \"settings\": [\n";
    std::vector<SettingRef> all = AllSettings(doc);
    bool first = true;
    for (const auto& s : all) {
        if (s.basicIndex < 0) continue;
        o << (first ? "" : ",\n") << "    {\"name\": " << JsonString(s.name)
          << ", \"value\": " << JsonNumber(s.value->GetValue())
          << ", \"unit\": " << JsonString(s.unit) << ", \"min\": " << JsonNumber(s.value->Min())
          << ", \"max\": " << JsonNumber(s.value->Max()) << "}";
        first = false;
    }
    o << "\n  ],\n  \"maps\": [\n";
    for (int m = 0; m < doc.MapCount(); ++m) {
        const ModuleMap& map = *doc.Map(m);
        o << "    {\"index\": " << m << ", \"title\": " << JsonString(map.Title())
          << ", \"xLabel\": " << JsonString(map.XLabel())
          << ", \"xUnits\": " << JsonString(map.XUnits())
          << ", \"yLabel\": " << JsonString(map.YLabel())
          << ", \"yUnits\": " << JsonString(map.YUnits()) << ",\n     \"points\": [";
        for (int p = 0; p < map.PointCount(); ++p) {
            o << (p ? ", " : "") << "{\"x\": " << JsonNumber(map.Point(p).x)
              << ", \"y\": " << JsonNumber(map.Point(p).value->GetValue()) << "}";
        }
        o << "]}" << (m + 1 < doc.MapCount() ? ",\n" : "\n");
    }
    o << "  ]\n}\n";
}

}  // namespace

std::vector<Difference> CompareDocuments(ModuleState& a, ModuleState& b, bool moduleMode) {
    std::vector<Difference> diffs;
    const std::vector<SettingRef> names = AllSettings(a);
    for (const TuneDifference& t :
         CompareTunes(a, b, moduleMode ? CompareMode::Module : CompareMode::Exact)) {
        auto it = std::find_if(names.begin(), names.end(),
                               [&](const SettingRef& s) { return SettingKeyOf(s) == t.key; });
        if (it == names.end()) continue;
        Difference d;
        d.name = DisplayName(*it);
        std::string ta;
        std::string tb;
        FormatPair(t.ours, t.theirs, ta, tb);
        d.a = WithUnit(ta, it->unit);
        d.b = WithUnit(tb, it->unit);
        diffs.push_back(d);
    }
    return diffs;
}

int ReportDifferences(Context& c, const std::vector<Difference>& diffs, const std::string& nameA,
                      const std::string& nameB) {
    for (const auto& d : diffs) {
        c.out << d.name << ": " << d.a << " in " << nameA << ", " << d.b << " in " << nameB << '\n';
    }
    if (diffs.empty()) {
        c.err << "no differences\n";
        return kExitOk;
    }
    c.err << diffs.size() << (diffs.size() == 1 ? " difference\n" : " differences\n");
    return kExitDifferences;
}

int CmdNew(Context& c) {
    const std::string& path = c.options.args[0];
    std::error_code ec;
    // Asked as what will happen: a FIFO or a device is written through, never replaced.
    const std::filesystem::file_status st = std::filesystem::status(path, ec);
    if (std::filesystem::exists(st)) {
        std::string question = path + " exists. Replace it with a new settings file?";
        std::string refused = path + " exists and was left unchanged (--yes replaces it)";
        if (std::filesystem::is_fifo(st)) {
            question = path + " is a FIFO (named pipe). Write a new settings file into it?";
            refused = path + " is a FIFO; nothing was written into it (--yes writes)";
        } else if (std::filesystem::is_character_file(st) || std::filesystem::is_block_file(st)) {
            question = path + " is a device. Write a new settings file to it?";
            refused = path + " is a device; nothing was written to it (--yes writes)";
        }
        if (c.host.MessageBox(question, kAppTitle, MsgButtons::YesNo, MsgIcon::Question) !=
            MsgResult::Yes) {
            Fail(c, refused);
            return kExitBadFile;
        }
    }
    ModuleState doc;
    if (doc.OnNewDocument() != DocStatus::Done) {
        Fail(c, "could not make a new document");
        return kExitBadFile;
    }
    return SaveDocument(c, path, doc);
}

int CmdShow(Context& c) {
    ModuleState doc;
    if (int rc = LoadDocument(c, c.options.args[0], doc)) return rc;
    if (c.options.json) {
        ShowJson(c, doc);
    } else {
        ShowText(c, doc);
    }
    return kExitOk;
}

int CmdSet(Context& c) {
    const std::string& path = c.options.args[0];
    ModuleState doc;
    if (int rc = LoadDocument(c, path, doc)) return rc;
    LoadMirrorSetting();
    for (std::size_t i = 1; i < c.options.args.size(); ++i) {
        const std::string& assignment = c.options.args[i];
        const std::size_t eq = assignment.find('=');
        if (eq == std::string::npos) {
            Fail(c, "\"" + assignment + "\" is not NAME=VALUE; " + path + " is unchanged");
            return kExitUsage;
        }
        SettingRef setting;
        std::string error;
        if (!FindSetting(doc, assignment.substr(0, eq), setting, error) ||
            !SetSetting(doc, setting, assignment.substr(eq + 1), error)) {
            Fail(c, error + "; " + path + " is unchanged");
            return kExitUsage;
        }
        c.err << setting.name << " = "
              << WithUnit(FormatNumber(setting.value->GetValue()), setting.unit) << '\n';
    }
    return SaveDocument(c, path, doc);
}

int CmdDiff(Context& c) {
    ModuleState a;
    ModuleState b;
    if (int rc = LoadDocument(c, c.options.args[0], a)) return rc;
    if (int rc = LoadDocument(c, c.options.args[1], b)) return rc;
    // The rule of the Differences window: equal when a download writes the same byte.
    return ReportDifferences(c, CompareDocuments(a, b, true), c.options.args[0], c.options.args[1]);
}

}  // namespace qx::qvx
