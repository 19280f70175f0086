#pragma once
// The commands of qvx and what they share. Internal to the program.
#include <ostream>
#include <string>
#include <vector>

#include "core/host/ConsoleHost.h"
#include "core/model/ModuleState.h"
#include "tools/qvx/Args.h"
#include "tools/qvx/Qvx.h"

namespace qx {
class CommPort;
class Profile;
class RamMonitor;
}  // namespace qx

namespace qx::qvx {

struct Context {
    const Options& options;
    std::ostream& out;
    std::ostream& err;
    const RunEnv& env;
    ConsoleHost& host;
    Profile& profile;
    bool progress;  // draw progress bars on err
};

// "qvx: text" on the error stream.
void Fail(Context& c, const std::string& text);

// Loads path into doc (a new document first); kExitOk, or kExitBadFile with a
// one-line reason already printed.
int LoadDocument(Context& c, const std::string& path, ModuleState& doc);
// Saves doc to path safely (a temporary file renamed over path).
int SaveDocument(Context& c, const std::string& path, ModuleState& doc);

struct Difference {
    std::string name;  // setting name, or map title and point with its x
    std::string a;     // value and unit of the first side
    std::string b;
};
// Every setting that differs between a and b. In module mode a setting counts as
// equal when both values convert to the same module integer (what a download
// would write); otherwise the values are compared exactly.
std::vector<Difference> CompareDocuments(ModuleState& a, ModuleState& b, bool moduleMode);
// Prints each difference as "NAME: A in nameA, B in nameB"; returns kExitOk or kExitDifferences.
int ReportDifferences(Context& c, const std::vector<Difference>& diffs, const std::string& nameA,
                      const std::string& nameB);

int CmdNew(Context& c);
int CmdShow(Context& c);
int CmdSet(Context& c);
int CmdDiff(Context& c);

// The commands that talk to the module get the run's one link (and monitor).
int CmdPorts(Context& c);
int CmdIdentify(Context& c, CommPort& comm);
int CmdUpload(Context& c, CommPort& comm);
int CmdDownload(Context& c, CommPort& comm);
int CmdVerify(Context& c, CommPort& comm);
int CmdMonitor(Context& c, CommPort& comm, RamMonitor& monitor);
int CmdRestorePoints(Context& c);

// A restore point's name as "qvx restore-points" lists it stands for its file in
// the restore-point folder (unless a file of that name is here); any other
// argument is returned as given.
std::string RestorePointPath(const std::string& given);

}  // namespace qx::qvx
