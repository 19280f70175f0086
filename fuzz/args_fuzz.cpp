// The qvx command line. The input is argv, split at NUL bytes. Nothing may
// crash; an accepted command line asks for help or the version, or names a
// known command with the right number of arguments and options that belong
// to it, and written out again in a canonical form it parses to the same
// options.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/host/Numbers.h"
#include "tools/qvx/Args.h"

namespace {

using qx::qvx::Options;

void Require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "args: %s\n", what);
        std::abort();
    }
}

std::vector<std::string> Canonical(const Options& o) {
    std::vector<std::string> argv;
    if (o.port) argv.push_back("--port=" + *o.port);
    if (o.baud) argv.push_back("--baud=" + std::to_string(*o.baud));
    if (o.simulate) argv.push_back("--simulate");
    if (o.profile) argv.push_back("--profile=" + *o.profile);
    if (o.yes) argv.push_back("--yes");
    if (o.help) argv.push_back("--help");
    if (o.version) argv.push_back("--version");
    if (o.verify) argv.push_back("--verify");
    if (o.changedOnly) argv.push_back("--changed-only");
    if (o.against) argv.push_back("--against=" + *o.against);
    if (o.json) argv.push_back("--json");
    if (o.csv) argv.push_back("--csv=" + *o.csv);
    if (o.seconds) argv.push_back("--seconds=" + qx::FormatDouble("%.17g", *o.seconds));
    if (!o.values.empty()) {
        std::string list;
        for (const std::string& v : o.values) list += (list.empty() ? "" : ",") + v;
        argv.push_back("--values=" + list);
    }
    argv.push_back("--");
    // An empty first word still counts as the command ("qvx '' x --help").
    if (!o.command.empty() || !o.args.empty()) argv.push_back(o.command);
    argv.insert(argv.end(), o.args.begin(), o.args.end());
    return argv;
}

bool Same(const Options& a, const Options& b) {
    return a.command == b.command && a.args == b.args && a.port == b.port && a.baud == b.baud &&
           a.simulate == b.simulate && a.profile == b.profile && a.yes == b.yes &&
           a.help == b.help && a.version == b.version && a.verify == b.verify &&
           a.changedOnly == b.changedOnly && a.against == b.against && a.json == b.json &&
           a.csv == b.csv && a.seconds == b.seconds && a.values == b.values;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    std::vector<std::string> argv;
    std::string current;
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            argv.push_back(current);
            current.clear();
        } else {
            current += static_cast<char>(data[i]);
        }
    }
    if (size > 0) argv.push_back(current);

    const qx::qvx::ParseResult r = qx::qvx::ParseArgs(argv);
    const Options& o = r.options;
    if (!r.error.empty()) {
        // The message quotes arguments as given, so only theirs may break its line.
        bool argBreaks = false;
        for (const std::string& a : argv) argBreaks |= a.find('\n') != std::string::npos;
        Require(argBreaks || r.error.find('\n') == std::string::npos, "the error is not one line");
        return 0;
    }
    if (o.command.empty()) {
        Require(o.help || o.version, "no command, no help and no version accepted");
    } else {
        Require(qx::qvx::IsCommand(o.command), "an unknown command accepted");
        Require(!qx::qvx::CommandHelp(o.command).empty(), "a command without help");
    }
    Require(!o.verify || o.command == "download", "--verify outside download");
    Require((!o.changedOnly && !o.against) || o.command == "download",
            "--changed-only or --against outside download");
    // Help and the version need no arguments; a command to run needs its
    // pair of options whole.
    Require(o.help || o.version || o.changedOnly == o.against.has_value(),
            "--changed-only without --against or the reverse");
    Require(!o.against || !o.against->empty(), "an empty --against");
    Require(!o.json || o.command == "show", "--json outside show");
    Require((!o.csv && !o.seconds && o.values.empty()) || o.command == "monitor",
            "a monitor option outside monitor");
    Require(!o.port || !o.port->empty(), "an empty port");
    Require(!o.baud || (*o.baud > 0 && *o.baud <= 4000000), "a line speed out of range");
    Require(!o.seconds || (*o.seconds > 0 && *o.seconds <= 1e7), "seconds out of range");
    for (const std::string& v : o.values) {
        Require(!v.empty() && v.find(',') == std::string::npos, "a bad value name");
    }

    const qx::qvx::ParseResult again = qx::qvx::ParseArgs(Canonical(o));
    Require(again.error.empty(), "the canonical command line is refused");
    Require(Same(again.options, o), "the canonical command line parses differently");
    return 0;
}
