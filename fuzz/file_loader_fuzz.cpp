// The settings file loader: no input may crash it, and a refused input leaves
// the open document exactly as it was. An accepted one must give a document
// whose every value lives at a settings address and whose own file loads again.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/model/ModuleState.h"
#include "support/FakeHost.h"

namespace {

bool IsSettingsAddress(uint16_t address) {
    if (address >= 0xB600 && address <= 0xB65F) return true;
    for (const qx::BasicSettingInfo& info : qx::kBasicSettings) {
        if (info.address == address) return true;
    }
    return false;
}

void Require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "file loader: %s\n", what);
        std::abort();
    }
}

const std::string& InputPath() {
    static const std::string path = [] {
        const char* dir = std::getenv("TMPDIR");
        return std::string(dir != nullptr ? dir : "/tmp") + "/qx_file_loader_" +
               std::to_string(::getpid()) + ".qvx";
    }();
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    static qx::ScopedFakeHost host;  // silent message boxes, a private profile
    host->ClearRecords();

    qx::ModuleState doc;
    Require(doc.OnNewDocument() == qx::DocStatus::Done, "a new document failed");
    doc.revLimit().SetValue(8000.0, false);
    const std::vector<uint8_t> before = doc.StoreContents();
    qx::ModuleMap* mapBefore = doc.Map(0);

    {
        std::FILE* f = std::fopen(InputPath().c_str(), "wb");
        if (f == nullptr) return 0;
        if (size > 0) std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    const qx::DocStatus status = doc.OnOpenDocument(InputPath());
    std::remove(InputPath().c_str());

    const std::vector<uint8_t> input(data, data + size);
    const bool accepted = doc.CheckContents(input).empty();
    if (status != qx::DocStatus::Done) {
        Require(!accepted, "an acceptable file was refused");
        Require(doc.StoreContents() == before, "a refused file changed the document");
        Require(doc.Map(0) == mapBefore, "a refused file replaced the maps");
        Require(host->Messages().size() == 1, "a refused file was not reported once");
        return 0;
    }
    Require(accepted, "an unacceptable file was loaded");
    for (int i = 0; i < qx::kBasicValueCount; ++i) {
        Require(IsSettingsAddress(doc.BasicValue(i).GetAddress()), "a basic value moved");
        Require(doc.BasicValue(i).EncodeBytes().size() == 1, "a basic value changed size");
    }
    for (int m = 0; m < doc.MapCount(); ++m) {
        Require(doc.Map(m) != nullptr && doc.Map(m)->Initialized(), "a map is missing");
        for (int p = 0; p < doc.Map(m)->PointCount(); ++p) {
            Require(IsSettingsAddress(doc.Map(m)->Point(p).value->GetAddress()),
                    "a map point moved");
        }
    }
    const std::vector<uint8_t> saved = doc.StoreContents();
    Require(doc.CheckContents(saved).empty(), "the document's own file is refused");
    return 0;
}
