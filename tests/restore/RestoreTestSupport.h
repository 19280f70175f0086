#pragma once
// A restore-point store in a test's own folder, timed by the fake host's
// virtual clock, installed as the process's for the life of the scope.
#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/restore/RestorePoints.h"
#include "support/FakeHost.h"
#include "support/SwappedFileCalls.h"

namespace qx::test {

// 2026-12-07 22:18:34 UTC, worked out by hand from the calendar.
inline constexpr int64_t kDecemberSeventhMs = int64_t{1796681914} * 1000;

class ScopedRestorePoints {
  public:
    ScopedRestorePoints(ScopedFakeHost& host, RestoreLimits limits = {})
        : folder_(host.TempDir() + "/data/quorvexi/restore-points") {
        // The virtual clock reads kDecemberSeventhMs at the start of the test.
        previous_ = ExchangeAppRestorePoints(std::make_unique<RestorePoints>(
            folder_, host->clock(), kDecemberSeventhMs - host->clock().NowMs(), limits));
    }
    ~ScopedRestorePoints() { ExchangeAppRestorePoints(std::move(previous_)); }
    ScopedRestorePoints(const ScopedRestorePoints&) = delete;
    ScopedRestorePoints& operator=(const ScopedRestorePoints&) = delete;

    RestorePoints& Store() { return *AppRestorePoints(); }
    const std::string& Folder() const { return folder_; }
    // The point files in the folder, by name.
    std::vector<std::string> Files() const {
        std::vector<std::string> names;
        std::error_code ec;
        for (const auto& e : std::filesystem::directory_iterator(folder_, ec)) {
            const std::string name = e.path().filename().string();
            if (name.size() > 4 && name.substr(name.size() - 4) == ".qvx") names.push_back(name);
        }
        std::sort(names.begin(), names.end());
        return names;
    }

  private:
    std::string folder_;
    std::unique_ptr<RestorePoints> previous_;
};

}  // namespace qx::test
