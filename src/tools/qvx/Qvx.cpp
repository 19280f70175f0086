#include "tools/qvx/Qvx.h"

#include <unistd.h>

#include <iostream>

#include "QxVersion.h"
#include "core/host/ConsoleHost.h"
#include "core/host/Host.h"
#include "core/host/Profile.h"
#include "core/link/CommPort.h"
#include "core/monitor/RamMonitor.h"
#include "tools/qvx/Commands.h"
#include "tools/qvx/Settings.h"

namespace qx::qvx {
namespace {

// Makes this call's host current and releases the link and the monitor on
// return, so that every call starts from the profile afresh.
class RunScope {
  public:
    explicit RunScope(Host& host) : previous_(SetCurrentHost(&host)) { Release(); }
    ~RunScope() {
        Release();
        SetCurrentHost(previous_);
    }
    RunScope(const RunScope&) = delete;
    RunScope& operator=(const RunScope&) = delete;

  private:
    static void Release() {
        if (RamMonitor::Exists()) RamMonitor::ResetInstance();
        if (CommPort::Exists()) CommPort::ResetInstance();
    }
    Host* previous_;
};

}  // namespace

int RunQvx(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
           const RunEnv& env) {
    ParseResult parsed = ParseArgs(args);
    const Options& o = parsed.options;
    if (!parsed.error.empty()) {
        err << "qvx: " << parsed.error << '\n';
        if (o.command.empty() || !IsCommand(o.command)) {
            err << "\"qvx --help\" lists the commands.\n";
        } else {
            err << "\"qvx " << o.command << " --help\" describes the command.\n";
        }
        return kExitUsage;
    }
    if (o.version) {
        out << "qvx " << kVersion << '\n';
        return kExitOk;
    }
    if (o.help) {
        if (o.command.empty()) {
            out << GeneralHelp();
        } else {
            out << CommandHelp(o.command);
            if (o.command == "set" || o.command == "diff" || o.command == "verify") {
                out << '\n' << SettingNamesHelp();
            }
        }
        return kExitOk;
    }

    if (o.profile) SetAppProfile(*o.profile);

    ConsoleHost host(o.yes);
    host.SetErrorStream(env.messages);
    RunScope scope(host);

    const bool progress =
        env.progress ? *env.progress : (&err == &std::cerr && isatty(STDERR_FILENO) == 1);
    Context c{o, out, err, env, host, AppProfile(), progress};

    const std::string& cmd = o.command;
    if (cmd == "ports") return CmdPorts(c);
    if (cmd == "diff") return CmdDiff(c);
    if (cmd == "show") return CmdShow(c);
    if (cmd == "new") return CmdNew(c);
    if (cmd == "set") return CmdSet(c);
    // The link and the monitor are made only for the commands that talk to the module.
    if (cmd == "identify") return CmdIdentify(c, CommPort::Instance());
    if (cmd == "upload") return CmdUpload(c, CommPort::Instance());
    if (cmd == "download") return CmdDownload(c, CommPort::Instance());
    if (cmd == "verify") return CmdVerify(c, CommPort::Instance());
    if (cmd == "monitor") {
        CommPort& link = CommPort::Instance();
        return CmdMonitor(c, link, RamMonitor::Instance());
    }
    if (cmd == "restore-points") return CmdRestorePoints(c);
    err << "qvx: unknown command \"" << cmd << "\"\n";
    return kExitUsage;
}

}  // namespace qx::qvx
