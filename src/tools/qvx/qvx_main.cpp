// qvx: the command-line companion of the tuning program.
#include <iostream>
#include <string>
#include <vector>

#include "core/host/ConsoleHost.h"
#include "core/restore/RestorePoints.h"
#include "tools/qvx/Qvx.h"

int main(int argc, char** argv) {
    // Ctrl+C ends a wait as a quit would, so monitoring stops the stream cleanly.
    qx::ConsoleHost::InstallSignalHandlers();
    qx::EnableUserRestorePoints();
    std::vector<std::string> args(argv + 1, argv + argc);
    return qx::qvx::RunQvx(args, std::cout, std::cerr);
}
