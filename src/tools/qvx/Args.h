#pragma once
// The command line of qvx: one command, its own arguments and options, and the
// common options, which may stand before or after the command's arguments.
#include <optional>
#include <string>
#include <vector>

namespace qx::qvx {

// The process exit codes.
enum ExitCode : int {
    kExitOk = 0,
    kExitCommFailure = 1,
    kExitUsage = 2,
    kExitBadFile = 3,
    kExitDifferences = 4,
};

struct Options {
    std::string command;            // empty when none was given
    std::vector<std::string> args;  // the command's positional arguments

    // Common options. A port or speed given here holds for this run only.
    std::optional<std::string> port;  // "COM1".."COM4" or a device path
    std::optional<int> baud;
    bool simulate = false;
    std::optional<std::string> profile;
    bool yes = false;
    bool help = false;
    bool version = false;  // print the program's version and nothing else

    // Options of single commands.
    bool verify = false;                 // download
    bool changedOnly = false;            // download: only what differs from against
    std::optional<std::string> against;  // download --changed-only: the tune last sent
    bool json = false;                   // show
    std::optional<std::string> csv;      // monitor
    std::optional<double> seconds;       // monitor
    std::vector<std::string> values;     // monitor, one name per entry
};

struct ParseResult {
    Options options;
    std::string error;  // one line; non-empty means a usage error
};

// argv without the program name.
ParseResult ParseArgs(const std::vector<std::string>& argv);

// The help of the whole program, or of one command (empty text for an unknown command).
std::string GeneralHelp();
std::string CommandHelp(const std::string& command);
bool IsCommand(const std::string& command);

}  // namespace qx::qvx
