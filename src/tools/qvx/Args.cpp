#include "tools/qvx/Args.h"

#include <algorithm>
#include <cmath>

#include "core/host/Numbers.h"
#include "core/serial/SerialPort.h"

namespace qx::qvx {
namespace {

struct CommandInfo {
    const char* name;
    int minArgs;
    int maxArgs;  // -1: no upper bound
    const char* synopsis;
    const char* help;
};

constexpr CommandInfo kCommands[] = {
    {"ports", 0, 0, "qvx ports",
     "Lists the serial devices of this machine, each by its stable name where it has\n"
     "one (the /dev/serial/by-id/ link of a USB adapter, which keeps meaning that\n"
     "adapter after a replug or a reboot) with its device now, maker and product,\n"
     "USB serial number, and the COM slots of the profile section \"Ports\" that\n"
     "point at it. Slots naming a device that is not plugged in are listed as well.\n"
     "--port and the profile accept the stable name.\n"},
    {"identify", 0, 0, "qvx identify",
     "Links to the module, prints its serial number and firmware version, and breaks\n"
     "the link again.\n"},
    {"upload", 1, 1, "qvx upload FILE",
     "Reads every setting of the module (the basic settings and the six maps) and\n"
     "saves them as the settings file FILE. The file is replaced only when the\n"
     "whole upload has succeeded.\n"},
    {"download", 1, 1, "qvx download FILE [--verify] [--changed-only --against OLD]",
     "Writes every setting of FILE into the module, in the download order: the twelve\n"
     "basic settings, then the six maps. FILE may be a restore point, by its path or\n"
     "by its name as \"qvx restore-points\" lists it.\n"
     "  --verify        read the whole module back afterwards and list what differs\n"
     "                  from FILE (exit 4), also after --changed-only\n"
     "  --changed-only  write only the settings whose bytes differ between FILE and\n"
     "                  the tune OLD given with --against (the one the module holds)\n"
     "  --against OLD   the settings file last sent to the module\n"
     "Ctrl+C does not cut the writes short: the download goes on to its end, so that\n"
     "the module is not left with part of the file, and says so (a second Ctrl+C\n"
     "stops at once); --verify is then skipped (exit 1). A download that fails part\n"
     "way says that the module may hold part of FILE: \"qvx verify FILE\" tells.\n"},
    {"verify", 1, 1, "qvx verify FILE",
     "Reads the module and compares it with FILE without writing anything. Each\n"
     "difference is listed with the setting name (or map title and point with its x)\n"
     "and both values in user units. A setting counts as equal when downloading the\n"
     "file would write the byte the module already holds.\n"},
    {"diff", 2, 2, "qvx diff FILE_A FILE_B",
     "Compares two settings files and lists every setting and map point that differs,\n"
     "with both values in user units.\n"},
    {"show", 1, 1, "qvx show FILE [--json]",
     "Prints the twelve basic settings with their units and the six maps, their\n"
     "points numbered 1 to 16.\n"
     "  --json     print the same as one JSON object\n"},
    {"new", 1, 1, "qvx new FILE",
     "Writes a new settings file with every setting at its default.\n"},
    {"set", 2, -1, "qvx set FILE NAME=VALUE ...",
     "Changes settings or map points in FILE, stepped exactly as the editor steps\n"
     "them (Rev Limit=6100 becomes 6144). A value outside the setting's range as\n"
     "listed below is refused, naming the range, never clamped. The file is written\n"
     "once, after every assignment has been accepted; a bad name or value leaves it\n"
     "untouched.\n"},
    {"monitor", 0, 0, "qvx monitor [--csv FILE] [--seconds N] [--values NAME,...]",
     "Streams the module's live values until N seconds have passed or Ctrl+C is\n"
     "pressed, then stops the stream so that the module is quiet again, and prints\n"
     "the packets received, the bad packets and the sample rate. When no packet\n"
     "arrives for 2 s (some thirty packet times at 9600 baud), it says so at once;\n"
     "a module silent for longer than that ends the run with exit 1.\n"
     "  --csv FILE     write the samples as CSV: a header row of names, a row of\n"
     "                 units, then one row per good packet; the first column is the\n"
     "                 time in milliseconds since the stream was asked for (the\n"
     "                 first packet arrives one packet time later)\n"
     "  --seconds N    stop after N seconds (default: run until Ctrl+C)\n"
     "  --values LIST  comma-separated names of the quantities to record (default:\n"
     "                 all seven); the option may be repeated\n"},
    {"restore-points", 0, 0, "qvx restore-points [--json]",
     "Lists the restore points, newest first: what the module held each time its\n"
     "settings were read and before anything overwrote them (upload, download,\n"
     "verify), as settings files in $XDG_DATA_HOME/quorvexi/restore-points\n"
     "(~/.local/share when unset). Each line names the time (UTC), the module's\n"
     "serial number and firmware, what happened next and the tune in use, then the\n"
     "file, which \"qvx download\" takes like any other.\n"
     "  --json     print the same as one JSON object\n"},
};

constexpr const char* kCommonHelp =
    "Common options (before or after the command's own arguments):\n"
    "  --port PORT    COM1..COM4 or a device path, such as a stable name from\n"
    "                 \"qvx ports\" (default: profile \"Port\")\n"
    "  --baud N       line speed (default: profile \"Baud Rate\", 9600)\n"
    "  --simulate     talk to the built-in module emulator instead of a module\n"
    "  --profile PATH use this profile file\n"
    "  --yes, -y      answer Yes to every question (default: No)\n"
    "  --help, -h     show help\n"
    "  --version      show the version of qvx\n"
    "A port or speed given here holds for this run only; the profile is not changed.\n"
    "An option that takes a value may be given once (monitor's list of values may be\n"
    "repeated).\n"
    "\n"
    "Exit codes: 0 success, 1 communication failure, 2 usage, 3 bad file,\n"
    "4 differences found.\n";

const CommandInfo* FindCommand(const std::string& name) {
    for (const auto& c : kCommands) {
        if (name == c.name) return &c;
    }
    return nullptr;
}

// Options of single commands, and which command owns each.
struct CommandOption {
    const char* name;
    const char* command;
    bool takesValue;
};
constexpr CommandOption kCommandOptions[] = {
    {"--verify", "download", false},       {"--json", "show", false},
    {"--json", "restore-points", false},   {"--csv", "monitor", true},
    {"--changed-only", "download", false}, {"--against", "download", true},
    {"--seconds", "monitor", true},        {"--values", "monitor", true},
};

void SplitValues(const std::string& list, std::vector<std::string>& out) {
    std::size_t start = 0;
    while (start <= list.size()) {
        std::size_t comma = list.find(',', start);
        if (comma == std::string::npos) comma = list.size();
        std::string item = list.substr(start, comma - start);
        if (!item.empty()) out.push_back(item);
        start = comma + 1;
    }
}

}  // namespace

bool IsCommand(const std::string& command) {
    return FindCommand(command) != nullptr;
}

std::string GeneralHelp() {
    std::string text =
        "qvx - settings files, upload, download and live values of the ignition module\n"
        "\n"
        "Commands:\n";
    for (const auto& c : kCommands) {
        text += "  ";
        text += c.synopsis;
        text += "\n";
    }
    text += "\n";
    text += kCommonHelp;
    text += "\n\"qvx COMMAND --help\" describes one command.\n";
    return text;
}

std::string CommandHelp(const std::string& command) {
    const CommandInfo* c = FindCommand(command);
    if (!c) return {};
    std::string text = "usage: ";
    text += c->synopsis;
    text += " [common options]\n\n";
    text += c->help;
    text += "\n";
    text += kCommonHelp;
    return text;
}

ParseResult ParseArgs(const std::vector<std::string>& argv) {
    ParseResult r;
    Options& o = r.options;
    std::vector<std::string> positional;
    struct Pending {
        std::string name;
        std::string value;
    };
    std::vector<Pending> commandOptions;  // checked once the command is known
    bool endOfOptions = false;
    // Options that take one value are refused when given twice: silently
    // taking the last of two tunes or ports would act on a guess.
    std::vector<std::string> valued;

    for (std::size_t i = 0; i < argv.size(); ++i) {
        const std::string& a = argv[i];
        if (endOfOptions || a.size() < 2 || a[0] != '-' || a == "-") {
            positional.push_back(a);
            continue;
        }
        if (a == "--") {
            endOfOptions = true;
            continue;
        }
        std::string name = a;
        std::optional<std::string> inlineValue;
        if (auto eq = a.find('='); eq != std::string::npos && a.rfind("--", 0) == 0) {
            name = a.substr(0, eq);
            inlineValue = a.substr(eq + 1);
        }
        auto takeValue = [&](std::string& out) -> bool {
            if (name != "--values") {
                if (std::find(valued.begin(), valued.end(), name) != valued.end()) {
                    r.error = "option " + name + " given more than once";
                    return false;
                }
                valued.push_back(name);
            }
            if (inlineValue) {
                out = *inlineValue;
                return true;
            }
            if (i + 1 >= argv.size()) {
                r.error = "option " + name + " needs a value";
                return false;
            }
            out = argv[++i];
            return true;
        };
        auto noValue = [&]() -> bool {
            if (inlineValue) {
                r.error = "option " + name + " takes no value";
                return false;
            }
            return true;
        };

        if (name == "--help" || name == "-h") {
            if (!noValue()) return r;
            o.help = true;
        } else if (name == "--version") {
            if (!noValue()) return r;
            o.version = true;
        } else if (name == "--simulate") {
            if (!noValue()) return r;
            o.simulate = true;
        } else if (name == "--yes" || name == "-y") {
            if (!noValue()) return r;
            o.yes = true;
        } else if (name == "--port") {
            std::string v;
            if (!takeValue(v)) return r;
            if (v.empty()) {
                r.error = "option --port needs a port name or a device path";
                return r;
            }
            o.port = v;
        } else if (name == "--baud") {
            std::string v;
            if (!takeValue(v)) return r;
            auto n = ParseInt(v);
            if (!n || *n < serial::kMinBaud || *n > serial::kMaxBaud) {
                r.error = "bad line speed \"" + v + "\" (from " + std::to_string(serial::kMinBaud) +
                          " to " + std::to_string(serial::kMaxBaud) + " baud)";
                return r;
            }
            o.baud = static_cast<int>(*n);
        } else if (name == "--profile") {
            std::string v;
            if (!takeValue(v)) return r;
            if (v.empty()) {
                r.error = "option --profile needs a path";
                return r;
            }
            o.profile = v;
        } else {
            const CommandOption* known = nullptr;
            for (const auto& co : kCommandOptions) {
                if (name == co.name) known = &co;
            }
            if (!known) {
                r.error = "unknown option " + name;
                return r;
            }
            Pending p{name, {}};
            if (known->takesValue) {
                if (!takeValue(p.value)) return r;
            } else if (!noValue()) {
                return r;
            }
            commandOptions.push_back(p);
        }
    }

    if (!positional.empty()) {
        o.command = positional.front();
        o.args.assign(positional.begin() + 1, positional.end());
    }
    if (o.command == "help") {
        // "qvx help [COMMAND]" is the same as "qvx [COMMAND] --help".
        o.help = true;
        o.command = o.args.empty() ? std::string() : o.args.front();
        o.args.clear();
    }
    if (o.command.empty()) {
        if (!o.help && !o.version) r.error = "no command given";
        if (!commandOptions.empty())
            r.error = "option " + commandOptions.front().name + " needs a command";
        return r;
    }
    const CommandInfo* info = FindCommand(o.command);
    if (!info) {
        r.error = "unknown command \"" + o.command + "\"";
        return r;
    }

    for (const auto& p : commandOptions) {
        // An option may belong to more than one command (--json).
        bool applies = false;
        for (const auto& c : kCommandOptions) {
            if (p.name == c.name && o.command == c.command) applies = true;
        }
        if (!applies) {
            r.error = "option " + p.name + " does not apply to " + o.command;
            return r;
        }
        if (p.name == "--verify") {
            o.verify = true;
        } else if (p.name == "--changed-only") {
            o.changedOnly = true;
        } else if (p.name == "--against") {
            if (p.value.empty()) {
                r.error = "option --against needs a file name";
                return r;
            }
            o.against = p.value;
        } else if (p.name == "--json") {
            o.json = true;
        } else if (p.name == "--csv") {
            if (p.value.empty()) {
                r.error = "option --csv needs a file name";
                return r;
            }
            o.csv = p.value;
        } else if (p.name == "--seconds") {
            auto s = ParseDouble(p.value);
            if (!s || !std::isfinite(*s) || *s <= 0 || *s > 1e7) {
                r.error = "bad number of seconds \"" + p.value + "\"";
                return r;
            }
            o.seconds = *s;
        } else if (p.name == "--values") {
            std::size_t before = o.values.size();
            SplitValues(p.value, o.values);
            if (o.values.size() == before) {
                r.error = "option --values needs at least one name";
                return r;
            }
        }
    }

    if (o.help || o.version) return r;  // "qvx COMMAND --help" needs no arguments
    const int n = static_cast<int>(o.args.size());
    if (n < info->minArgs || (info->maxArgs >= 0 && n > info->maxArgs)) {
        r.error = std::string(n < info->minArgs ? "missing" : "too many") +
                  " arguments; usage: " + info->synopsis;
        return r;
    }
    if (o.changedOnly != o.against.has_value()) {
        r.error = std::string("--changed-only and --against go together; usage: ") + info->synopsis;
        return r;
    }
    return r;
}

}  // namespace qx::qvx
