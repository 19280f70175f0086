// Property: nothing out of range reaches the module. Many random and mutated
// settings files are opened; each that opens is downloaded, edited in every way
// the editor and qvx set can edit, and read back. Every byte the module receives
// must decode inside the internal range of the value at its address, every value
// marked in sync must match what the module holds, and every file the program
// writes afterwards must open again.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <map>
#include <random>

#include "ToolTestUtil.h"
#include "core/host/Numbers.h"
#include "core/model/ModuleState.h"
#include "model/LinkedTestSupport.h"
#include "support/ModuleTable.h"
#include "tools/qvx/Settings.h"

namespace qx::qvx::test {
namespace {

using Bytes = std::vector<uint8_t>;
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kBig = std::numeric_limits<double>::max();

// Record r of a settings file: the 12 basic records, then 6 x 16 map points.
std::size_t RecordOffset(std::size_t r) {
    return r < 12 ? r * 34 : 412 + (r - 12) * 34;
}
using qx::test::FieldAt;
using qx::test::PutField;

// Every value of the document by its module address.
std::map<uint16_t, ModuleValue*> ValuesByAddress(ModuleState& doc) {
    std::map<uint16_t, ModuleValue*> all;
    for (ModuleValue* v : doc.ModuleValues()) all[v->GetAddress()] = v;
    return all;
}

// The module's integer in a written byte, sign-magnitude for signed values.
int DecodeByte(const ModuleValue& v, uint8_t b) {
    return v.IsSigned() && (b & 0x80) ? -(b & 0x7F) : b;
}

class FileMaker {
  public:
    explicit FileMaker(uint32_t start) : random_(start) {}

    int Int(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random_); }

    double AnyDouble(double min, double max) {
        const double picks[] = {
            0.0,       -0.0,      0.2,       0.4,       45.0,           255.0, -1.0,
            1e-300,    4.9e-324,  kBig,      -kBig,     kInf,           -kInf, NAN,
            min - 0.5, max + 0.5, min - 1e9, max * 2.0, (min + max) / 2};
        switch (Int(0, 3)) {
            case 0:
                return picks[Int(0, std::size(picks) - 1)];
            case 1:
                return std::uniform_real_distribution<double>(-2000, 12000)(random_);
            default:  // near the range, where rounding and stepping decide
                if (!std::isfinite(max - min)) return min;
                return std::uniform_real_distribution<double>(min - (max - min) / 4,
                                                              max + (max - min) / 4)(random_);
        }
    }
    int32_t AnyInt() {
        const int32_t picks[] = {0,   1,    -1,  15,  -15, 32,    -32,       45,
                                 127, -127, 128, 255, 256, 65535, INT32_MIN, INT32_MAX};
        if (Int(0, 1) == 0) return Int(-50, 300);
        return picks[Int(0, std::size(picks) - 1)];
    }

    // One to three changes to fields of records, or raw bytes.
    void Mutate(Bytes& b) {
        for (int n = Int(1, 3); n > 0; --n) {
            if (b.size() != kSettingsFileSize || Int(0, 9) == 0) {
                if (b.empty()) continue;
                b[static_cast<std::size_t>(Int(0, static_cast<int>(b.size()) - 1))] ^=
                    static_cast<uint8_t>(1 << Int(0, 7));
                continue;
            }
            const std::size_t at = RecordOffset(static_cast<std::size_t>(Int(0, 107)));
            const double min = FieldAt<double>(b, at + 10);
            const double max = FieldAt<double>(b, at + 18);
            // Value, Min, Max (doubles at 2, 10, 18), MinInternal, MaxInternal (at 26, 30).
            // Mostly the value alone: most changed ranges are refused.
            const int field = Int(0, 7) != 0 ? 0 : Int(0, 4);
            if (field < 3) {
                PutField(b, at + 2 + 8 * static_cast<std::size_t>(field), AnyDouble(min, max));
            } else {
                PutField(b, at + 26 + 4 * static_cast<std::size_t>(field - 3), AnyInt());
            }
        }
    }

  private:
    std::mt19937 random_;
};

// Values the editor and qvx set may be handed.
const double kInputs[] = {kBig, -kBig, 1e-300, -1e-300, -1.0, 0.0, 1e6, NAN, kInf, -kInf};

// A document that takes a file's bytes as opening the file would, without the
// file: thousands of files are made, and only the reading of them is skipped.
class Document : public ModuleState {
  public:
    bool Open(const Bytes& bytes) {
        if (!CheckContents(bytes).empty()) return false;
        LoadContents(bytes);
        return true;
    }
};

class NothingOutOfRange : public ::qx::test::LinkedTest {
  protected:
    std::string Path(const std::string& name) const { return host.TempDir() + "/" + name; }

    // Every edit kind on every value whose index is share modulo shares: typed and
    // dragged values (extreme inputs), arrow steps at both range edges.
    static void Edit(ModuleState& doc, int share, int shares) {
        int index = 0;
        for (auto [address, v] : ValuesByAddress(doc)) {
            if (index++ % shares != share) continue;
            const bool isPoint = address < kBasicBlockAddress;
            for (double x : kInputs) v->SetValue(x, isPoint);
            if (!isPoint) continue;
            const double step = doc.Map((address - 0xB600) / 16)->Step();
            for (double edge : {v->Min(), v->Max()}) {
                v->SetValue(v->Quantize(edge), true);
                for (double d : {step, -step, step, step}) {
                    v->SetValue(v->Quantize(v->GetValue() + d), true);
                }
            }
        }
    }

    // Checks every write since the last reset and, unless after an upload (which
    // keeps a module byte past the range as the range's end), that every value in
    // sync matches what the module holds.
    void CheckModule(ModuleState& doc, const char* phase, bool uploaded = false) {
        const auto values = ValuesByAddress(doc);
        for (const emu::WriteRecord& w : emulator->Core().Counters().writes) {
            auto it = values.find(w.address);
            ASSERT_NE(it, values.end()) << phase << ": write to 0x" << std::hex << w.address;
            // Against the module's table, not the range the file declared.
            EXPECT_TRUE(qx::test::TableAllowsByte(w.address, w.value))
                << phase << std::hex << ": 0x" << int(w.value) << " at 0x" << w.address;
        }
        emulator->Core().ResetCounters();
        for (auto [address, v] : values) {
            if (!v->InSync()) continue;
            EXPECT_TRUE(std::isfinite(v->GetValue())) << phase << " 0x" << std::hex << address;
            if (uploaded) continue;
            EXPECT_EQ(DecodeByte(*v, emulator->Core().Peek(address)), v->ToInternal(v->GetValue()))
                << phase << ": in sync at 0x" << std::hex << address;
        }
    }

    // The file the program would save now must open again.
    void CheckOwnFileOpens(ModuleState& doc, const char* phase) {
        const std::string why = doc.CheckContents(doc.StoreContents());
        EXPECT_EQ(why, "") << phase;
    }
};

TEST_F(NothingOutOfRange, RandomAndMutatedFiles) {
    std::vector<Bytes> starts;
    const std::filesystem::path corpus =
        std::filesystem::path(QX_SOURCE_DIR) / "fuzz/corpus/file_loader";
    ASSERT_TRUE(std::filesystem::is_directory(corpus)) << corpus;
    std::vector<std::filesystem::path> files;
    for (const auto& e : std::filesystem::directory_iterator(corpus)) files.push_back(e.path());
    std::sort(files.begin(), files.end());
    for (const auto& name : files) starts.push_back(ReadFileBytes(name.string()));
    ASSERT_GE(starts.size(), 5u);
    {
        ModuleState fresh;
        fresh.InitializeDefaults();
        starts.push_back(fresh.StoreContents());
        // As an upload leaves it, from module bytes of every kind.
        FileMaker bytes(7);
        for (auto [address, v] : ValuesByAddress(fresh)) {
            v->SetFromInternal(static_cast<uint32_t>(bytes.Int(0, 255)));
        }
        starts.push_back(fresh.StoreContents());
        // The two reported cases: a point whose value lies below its own range,
        // and a range whose width is not a finite number.
        Bytes low = starts[starts.size() - 2];
        PutField(low, RecordOffset(12) + 10, 0.2);
        PutField(low, RecordOffset(12) + 18, 0.4);
        starts.push_back(low);
        Bytes wide = starts[starts.size() - 3];
        PutField(wide, RecordOffset(13) + 10, -1.7e308);
        PutField(wide, RecordOffset(13) + 18, 1.7e308);
        starts.push_back(wide);
    }

    LinkEmulator();
    // Every start once as it is (the corpus may have grown with what a fuzzer
    // found), then mutations of the starts that open, so the share of files
    // worth editing does not depend on how many the corpus holds.
    std::vector<std::size_t> good;
    FileMaker maker(20261207);
    int opened = 0;
    std::vector<std::string> forQvx;
    const int rounds = static_cast<int>(starts.size()) + 4000;
    for (int round = 0; round < rounds; ++round) {
        SCOPED_TRACE(round);
        const bool replay = round < static_cast<int>(starts.size());
        if (!replay && good.empty()) break;
        const std::size_t from = replay ? static_cast<std::size_t>(round)
                                        : good[static_cast<std::size_t>(round) % good.size()];
        Bytes file = starts[from];
        if (!replay) maker.Mutate(file);
        Document doc;
        if (!doc.Open(file)) continue;
        if (replay)
            good.push_back(from);
        else
            ++opened;
        if ((replay ? good.size() : static_cast<std::size_t>(opened)) % 20 == 1) {
            forQvx.push_back(Path("q" + std::to_string(round) + ".qvx"));
            WriteFileBytes(forQvx.back(), file);
        }
        emulator->Core().ResetCounters();
        doc.DownloadSettings();
        CheckModule(doc, "download");
        Edit(doc, round % 12, 12);
        CheckModule(doc, "edits");
        CheckOwnFileOpens(doc, "edited");
        doc.UploadSettings();
        CheckModule(doc, "upload", true);
        CheckOwnFileOpens(doc, "uploaded");
        if (HasFailure()) break;  // one failing file tells enough
    }
    EXPECT_GE(good.size(), 4u);  // at least the four made above
    EXPECT_GT(opened, 60);       // enough to mean something; the table refuses most mutated ranges

    // qvx set with the same inputs, then a download of what it wrote. An input
    // outside the range of the setting in that file is refused, the file left
    // as it was; the range's end nearest to it is set instead.
    for (std::size_t i = 0; i < forQvx.size(); ++i) {
        Document file;
        ASSERT_TRUE(file.Open(ReadFileBytes(forQvx[i])));
        const std::vector<SettingRef> settings = AllSettings(file);
        // One run per file with every finite input, each for another setting
        // (not the two-state ones, which take only their two values).
        Strings args = {"set", forQvx[i]};
        for (std::size_t k = 0; k < std::size(kInputs); ++k) {
            if (!std::isfinite(kInputs[k])) continue;  // qvx refuses these as text
            const SettingRef& s = settings[2 + (i * 13 + k * 11) % (settings.size() - 2)];
            const SettingRange r = RangeOf(*s.value);
            double x = kInputs[k];
            // Rounding slack aside (-1e-300 is 0).
            const double slack = 1e-6 * std::max(1.0, r.max - r.min);
            if (r.ranged && (x < r.min - slack || x > r.max + slack)) {
                const Bytes before = ReadFileBytes(forQvx[i]);
                std::ostringstream out, err;
                const Strings refused = {"set", forQvx[i], s.name + "=" + FormatC("%.17g", x)};
                EXPECT_EQ(RunQvx(refused, out, err, RunEnv{}), kExitUsage) << refused[2];
                EXPECT_NE(err.str().find(" is outside "), std::string::npos) << err.str();
                EXPECT_EQ(ReadFileBytes(forQvx[i]), before);
                x = x < r.min ? r.min : r.max;
            }
            args.push_back(s.name + "=" + FormatC("%.17g", x));
        }
        std::ostringstream out, err;
        EXPECT_EQ(RunQvx(args, out, err, RunEnv{}), kExitOk) << err.str();
    }
    ResetLink();  // qvx releases the link it had; this test's link may still be up
    LinkEmulator();
    for (const std::string& path : forQvx) {
        SCOPED_TRACE(path);
        ModuleState doc;
        ASSERT_EQ(doc.OnOpenDocument(path), DocStatus::Done) << host->LastMessage().text;
        emulator->Core().ResetCounters();
        doc.DownloadSettings();
        CheckModule(doc, "qvx set");
    }
}

}  // namespace
}  // namespace qx::qvx::test
