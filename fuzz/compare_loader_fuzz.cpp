// A file to compare against, loaded as Compare With... loads it (a blank
// document given the plain load) and compared with the open tune. No input
// may crash; a refused file is reported once; an accepted one compares the
// same both ways, not at all with itself, and in module terms never finds a
// difference that the values themselves do not show.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/compare/TuneCompare.h"
#include "core/edit/Setting.h"
#include "core/model/DocumentBase.h"
#include "core/model/ModuleState.h"
#include "core/model/ModuleValue.h"
#include "support/FakeHost.h"

namespace {

void Require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "compare loader: %s\n", what);
        std::abort();
    }
}

const std::string& InputPath() {
    static const std::string path = [] {
        const char* dir = std::getenv("TMPDIR");
        return std::string(dir != nullptr ? dir : "/tmp") + "/qx_compare_loader_" +
               std::to_string(::getpid()) + ".qvx";
    }();
    return path;
}

std::vector<qx::SettingKey> Keys(const std::vector<qx::TuneDifference>& diffs) {
    std::vector<qx::SettingKey> keys;
    for (const qx::TuneDifference& d : diffs) keys.push_back(d.key);
    return keys;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    static qx::ScopedFakeHost host;  // silent message boxes, a private profile
    host->ClearRecords();

    // The open tune, one value moved off its default.
    qx::ModuleState ours;
    ours.InitializeDefaults();
    ours.revLimit().SetValue(8000.0, false);

    {
        std::FILE* f = std::fopen(InputPath().c_str(), "wb");
        if (f == nullptr) return 0;
        if (size > 0) std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    qx::ModuleState theirs;
    theirs.InitializeDefaults();
    const qx::DocStatus status = theirs.qx::DocumentBase::OnOpenDocument(InputPath());
    std::remove(InputPath().c_str());

    const std::vector<uint8_t> input(data, data + size);
    const bool acceptable = theirs.CheckContents(input).empty();
    if (status != qx::DocStatus::Done) {
        Require(!acceptable, "an acceptable file was refused");
        Require(host->Messages().size() == 1, "a refused file was not reported once");
        return 0;
    }
    Require(acceptable, "an unacceptable file was loaded");

    for (qx::CompareMode mode : {qx::CompareMode::Exact, qx::CompareMode::Module}) {
        Require(qx::CompareTunes(theirs, theirs, mode).empty(), "a tune differs from itself");
    }
    const std::vector<qx::TuneDifference> exact =
        qx::CompareTunes(ours, theirs, qx::CompareMode::Exact);
    const std::vector<qx::TuneDifference> module =
        qx::CompareTunes(ours, theirs, qx::CompareMode::Module);
    Require(Keys(exact) == Keys(qx::CompareTunes(theirs, ours, qx::CompareMode::Exact)),
            "the tunes differ in other settings one way than the other");
    for (const qx::TuneDifference& d : exact) {
        const qx::ModuleValue* a = qx::FindValue(ours, d.key);
        const qx::ModuleValue* b = qx::FindValue(theirs, d.key);
        Require(a != nullptr && b != nullptr, "a difference names no setting");
        Require(d.ours == a->GetValue() && d.theirs == b->GetValue(),
                "a difference gives other values than the tunes hold");
        Require(d.ours != d.theirs, "equal values listed as differing");
    }
    // The open tune's ranges are the built-in ones: a file may narrow them, never widen.
    for (const qx::SettingKey key : qx::AllSettingKeys(ours)) {
        const double v = qx::FindValue(theirs, key)->GetValue();
        const qx::ModuleValue* own = qx::FindValue(ours, key);
        if (own->Min() == own->Max()) continue;  // a setting without a range, as a mode
        if (!(v >= own->Min() && v <= own->Max())) {
            std::fprintf(stderr, "%s = %.17g, outside %.17g to %.17g\n",
                         qx::SettingLabel(key).c_str(), v, own->Min(), own->Max());
            Require(false, "a value outside the built-in range");
        }
    }
    for (const qx::TuneDifference& d : module) {
        Require(qx::FindDifference(exact, d.key) != nullptr, "equal values differ in module terms");
    }
    return 0;
}
