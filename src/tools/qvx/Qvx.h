#pragma once
// The qvx program as a library call, so that tests run it in-process.
#include <cstdio>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "tools/qvx/Args.h"

namespace qx::qvx {

struct RunEnv {
    // Where "qvx ports" looks for serial devices.
    std::string sysfsRoot = "/sys/class/tty";
    // Where it looks for the stable names of USB adapters.
    std::string byIdRoot = "/dev/serial/by-id";
    // The progress bar: on, off, or (unset) when stderr is a terminal.
    std::optional<bool> progress;
    // Where the system's messages go (one line each); not owned.
    std::FILE* messages = stderr;
};

// Runs one qvx command line (args without the program name). Results go to out,
// errors, progress and the summary of "monitor" to err. Returns the exit code.
// Installs a console host and the profile for the call and restores the host
// afterwards; the link and the monitor are released before it returns.
int RunQvx(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
           const RunEnv& env = {});

}  // namespace qx::qvx
