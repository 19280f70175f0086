// qvx restore-points: what the module held before each overwrite, and at each read.
#include <filesystem>

#include "core/host/Numbers.h"
#include "core/restore/RestorePoints.h"
#include "tools/qvx/Commands.h"
#include "tools/qvx/Format.h"

namespace qx::qvx {
namespace {

std::string FirmwareText(int firmware) {
    return firmware < 0 ? std::string() : FormatC("%d.%d", (firmware >> 4) & 0x0F, firmware & 0x0F);
}

}  // namespace

std::string RestorePointPath(const std::string& given) {
    RestorePoints* store = AppRestorePoints();
    int64_t time = 0;
    int serial = 0;
    if (store == nullptr || given.find('/') != std::string::npos ||
        !ParseRestorePointName(given, time, serial)) {
        return given;
    }
    std::error_code ec;
    if (std::filesystem::exists(given, ec)) return given;
    return store->Folder() + "/" + given;
}

int CmdRestorePoints(Context& c) {
    RestorePoints* store = AppRestorePoints();
    if (store == nullptr) {
        Fail(c, "restore points are not kept in this run");
        return kExitUsage;
    }
    const std::vector<RestorePoint> points = store->List();
    if (c.options.json) {
        c.out << "{\"folder\": " << JsonString(store->Folder()) << ",\n \"points\": [";
        bool first = true;
        for (const RestorePoint& p : points) {
            c.out << (first ? "\n" : ",\n") << "  {\"path\": " << JsonString(store->PathOf(p))
                  << ", \"time\": " << JsonString(FormatRestoreTime(p.timeMs) + " UTC")
                  << ", \"timeMs\": " << p.timeMs << ", \"serial\": "
                  << (p.serial < 0 ? std::string("null") : std::to_string(p.serial))
                  << ", \"firmware\": "
                  << (p.firmware < 0 ? std::string("null") : JsonString(FirmwareText(p.firmware)))
                  << ", \"next\": " << JsonString(p.next)
                  << ", \"tunerFile\": " << JsonString(p.tunerFile)
                  << ", \"inexact\": " << p.inexact << "}";
            first = false;
        }
        c.out << (points.empty() ? "]}\n" : "\n ]}\n");
        return kExitOk;
    }
    if (points.empty()) {
        c.err << "no restore points in " << store->Folder() << '\n';
        return kExitOk;
    }
    for (const RestorePoint& p : points) {
        c.out << FormatRestoreTime(p.timeMs) << " UTC  serial "
              << (p.serial < 0 ? std::string("unknown") : FormatC("%05d", p.serial))
              << "  firmware "
              << (p.firmware < 0 ? std::string("unknown") : FirmwareText(p.firmware)) << "  "
              << (p.next.empty() ? std::string("(not known)") : p.next);
        if (!p.tunerFile.empty()) c.out << "  tune " << p.tunerFile;
        if (p.inexact > 0) c.out << "  (" << p.inexact << " setting(s) not as held)";
        c.out << "\n  " << store->PathOf(p) << '\n';
    }
    return kExitOk;
}

}  // namespace qx::qvx
