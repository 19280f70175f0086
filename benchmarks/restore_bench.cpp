// The restore-point folder after 1,000 links: each link keeps a tune of its
// own (the worst case: nothing is the same as the point before), a link every
// 43 minutes (all within 30 days) or every 9 hours (a year). Prints the files
// kept and the bytes of the folder; the time is the machine's, for reference.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "core/host/Clock.h"
#include "core/model/ModuleState.h"
#include "core/restore/RestorePoints.h"

namespace {

namespace fs = std::filesystem;

uint64_t FolderBytes(const std::string& folder) {
    uint64_t total = 0;
    for (const auto& e : fs::directory_iterator(folder)) total += e.file_size();
    return total;
}

void Run(const char* what, int64_t gapMs) {
    const std::string folder =
        (fs::temp_directory_path() / ("restore-bench-" + std::to_string(::getpid()))).string();
    fs::remove_all(folder);
    qx::VirtualClock clock;
    qx::RestorePoints store(folder, clock, int64_t{1796681914} * 1000);
    qx::ModuleState tune;
    tune.InitializeDefaults();
    const auto start = std::chrono::steady_clock::now();
    for (int link = 0; link < 1000; ++link) {
        clock.Advance(gapMs);
        // A different tune each time: one map point walks through its range.
        qx::ModuleValue& v = *tune.Map(link % 6)->Point(link / 6 % 16).value;
        v.StoreValue(v.Min() + (v.Max() - v.Min()) * ((link * 7) % 10) / 10.0);
        qx::RestorePoint about;
        about.serial = 42;
        about.firmware = 0x10;
        about.next = "upload";
        about.tunerFile = "/home/tuner/tunes/bike.qvx";
        std::string why;
        if (store.Keep(tune.StoreContents(), about, why) == qx::RestorePoints::Outcome::Failed) {
            std::fprintf(stderr, "restore_bench: %s\n", why.c_str());
            return;
        }
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const std::size_t kept = store.List().size();
    std::printf("%-28s %5zu points  %9llu bytes  (%.1f ms a link on this machine)\n", what, kept,
                static_cast<unsigned long long>(FolderBytes(folder)), seconds * 1000.0 / 1000);
    fs::remove_all(folder);
}

}  // namespace

int main() {
    Run("1000 links in 30 days:", int64_t{43} * 60 * 1000);
    Run("1000 links in a year:", int64_t{9} * 60 * 60 * 1000);
    return 0;
}
