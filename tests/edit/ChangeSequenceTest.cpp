// Random sequences of everything a tuner and a cable can do, against the module
// emulator with its faults, on the virtual clock. After every step: each byte on
// the wire lies inside the module's table, the emulator holds what the program
// believes it holds, synchronized maps agree, a write never carries a value the
// document did not hold, and a finished Write Changes or Download All leaves the
// module equal to the document.
//
// QX_SEQUENCES sets how many sequences run (default below), QX_SEQUENCE_FROM
// the first one's number, QX_SEQUENCE_STEPS their length. A failure names the sequence's key and a
// shortened sequence that still fails; QX_SEQUENCE_KEY runs that one alone, QX_SEQUENCE_TRACE
// prints each step.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "core/compare/TuneCompare.h"
#include "core/host/Numbers.h"
#include "core/maps/CurveTools.h"
#include "core/model/ModuleState.h"
#include "core/model/Relink.h"
#include "model/LinkedTestSupport.h"
#include "support/ModuleTable.h"

namespace qx::test {
namespace {

uint16_t AddressOf(SettingKey key) {
    static const uint16_t kBasic[kBasicValueCount] = {0xB661, 0xB670, 0xB66C, 0xB668,
                                                      0xB669, 0xB662, 0xB66B, 0xB66A,
                                                      0xB66D, 0xB671, 0xB66F, 0xB667};
    if (key.IsBasic()) return kBasic[key.index];
    return static_cast<uint16_t>(0xB600 + 16 * key.map + key.index);
}

enum class Op {
    EditPoint,
    EditBasic,
    Curve,
    Paste,
    UseOther,
    Undo,
    Redo,
    Upload,
    DownloadAll,
    WriteChanges,
    Pull,
    ReplugSame,
    ReplugOther,
    Faults,
    Monitor,
};
constexpr const char* kOpNames[] = {"edit-point",   "edit-basic",    "curve",  "paste",
                                    "use-other",    "undo",          "redo",   "upload",
                                    "download-all", "write-changes", "pull",   "replug",
                                    "replug-other", "faults",        "monitor"};

struct Step {
    Op op;
    uint32_t a = 0, b = 0, c = 0;  // the step's own random draws
    double x = 0.0;
};

std::string Describe(const std::vector<Step>& steps) {
    std::ostringstream out;
    for (const Step& s : steps) {
        out << "  " << kOpNames[static_cast<int>(s.op)] << " " << s.a << " " << s.b << " " << s.c
            << " " << s.x << "\n";
    }
    return out.str();
}

std::vector<Step> MakeSteps(uint32_t key, int count) {
    std::mt19937 rng(key);
    // Weights: edits and undo/redo most, cables and transfers less often.
    const std::vector<std::pair<Op, int>> weights = {
        {Op::EditPoint, 20},  {Op::EditBasic, 6},    {Op::Curve, 6},  {Op::Paste, 4},
        {Op::UseOther, 5},    {Op::Undo, 12},        {Op::Redo, 6},   {Op::Upload, 3},
        {Op::DownloadAll, 2}, {Op::WriteChanges, 3}, {Op::Pull, 3},   {Op::ReplugSame, 5},
        {Op::ReplugOther, 1}, {Op::Faults, 3},       {Op::Monitor, 3}};
    int total = 0;
    for (const auto& w : weights) total += w.second;
    std::vector<Step> steps;
    for (int i = 0; i < count; ++i) {
        int pick = static_cast<int>(rng() % static_cast<uint32_t>(total));
        Op op = weights.back().first;
        for (const auto& w : weights) {
            if (pick < w.second) {
                op = w.first;
                break;
            }
            pick -= w.second;
        }
        Step s{op, static_cast<uint32_t>(rng()), static_cast<uint32_t>(rng()),
               static_cast<uint32_t>(rng()),
               std::uniform_real_distribution<double>(-0.2, 1.2)(rng)};
        steps.push_back(s);
    }
    return steps;
}

// A module memory within the table, front and rear maps alike.
void FillModule(emu::EmulatorCore& core, uint32_t key) {
    std::mt19937 rng(key);
    for (int m = 0; m < 6; ++m) {
        for (int p = 0; p < 16; ++p) {
            if (m == 1) continue;
            const uint16_t a = AddressOf(SettingKey::Point(m, p));
            uint8_t b = 0;
            do {
                b = static_cast<uint8_t>(rng() % (rng() % 2 == 0 ? 46u : 256u));
            } while (!TableAllowsByte(a, b));
            core.Poke(a, b);
            if (m == 0) core.Poke(AddressOf(SettingKey::Point(1, p)), b);
        }
    }
    for (int i = 0; i < kBasicValueCount; ++i) {
        const uint16_t a = AddressOf(SettingKey::Basic(i));
        uint8_t b = 0;
        do {
            b = static_cast<uint8_t>(rng() % (rng() % 2 == 0 ? 16u : 256u));
        } while (!TableAllowsByte(a, b));
        core.Poke(a, b);
    }
}

struct Stats {
    long steps = 0, linkedSteps = 0, writes = 0, fullChecks = 0;
};

class Sequence {
  public:
    Sequence(ScopedFakeHost& host, uint32_t key, Stats& stats)
        : host_(host), stats_(stats), key_(key) {}
    // The link goes before the module it talks to.
    ~Sequence() { CommPort::ResetInstance(); }

    // Empty when every check held; else what broke, at which step.
    std::string Run(const std::vector<Step>& steps) {
        doc_.InitializeDefaults();
        emu::EmulatorConfig config;
        config.randomKey = key_;
        emulator_ = std::make_unique<emu::EmulatorLine>(config);
        FillModule(emulator_->Core(), key_);
        if (!Link()) return "the first link failed";
        CheckLinkedModule(doc_);
        for (std::size_t i = 0; i < steps.size(); ++i) {
            seen_ = emulator_->Core().Counters().writes.size();
            twinsEqual_ = TwinsEqual();
            uploaded_ = false;
            Do(steps[i]);
            ++stats_.steps;
            stats_.linkedSteps += Linked() ? 1 : 0;
            if (std::getenv("QX_SEQUENCE_TRACE")) {
                std::fprintf(stderr, "%s linked %d writes %zu msgs %zu front4 %g rear4 %g\n",
                             kOpNames[static_cast<int>(steps[i].op)], Linked(),
                             emulator_->Core().Counters().writes.size() - seen_,
                             host_->Messages().size(), doc_.Map(0)->Point(3).value->GetValue(),
                             doc_.Map(1)->Point(3).value->GetValue());
            }
            std::string why = Check(steps[i]);
            if (!why.empty()) {
                return "step " + std::to_string(i + 1) + " (" +
                       kOpNames[static_cast<int>(steps[i].op)] + "): " + why;
            }
        }
        return {};
    }

  private:
    bool Link() {
        emulator_->Core().ClearFaults();
        emulator_->Core().Replug();
        emu::EmulatorLine* device = emulator_.get();
        CommPort::Instance().SetPortOpener(
            [this, device](int, serial::OpenError*) -> std::unique_ptr<serial::SerialPort> {
                auto line = std::make_unique<serial::MemoryLine>(host_->clock(), device);
                device->AttachLine(line.get());
                return line;
            });
        return CommPort::Instance().EstablishLink();
    }

    bool TwinsEqual() const {
        for (int p = 0; p < 16; ++p) {
            if (doc_.Map(0)->Point(p).value->GetValue() != doc_.Map(1)->Point(p).value->GetValue())
                return false;
        }
        return true;
    }

    bool Linked() const { return CommPort::Instance().IsLinked(); }

    double ValueIn(const ModuleValue& v, double fraction) const {
        return v.Min() + fraction * (v.Max() - v.Min());
    }

    void Do(const Step& s) {
        checkEqual_ = false;
        EditHistory& history = doc_.History();
        switch (s.op) {
            case Op::EditPoint: {
                const SettingKey key =
                    SettingKey::Point(static_cast<int>(s.a % 6), static_cast<int>(s.b % 16));
                const double value = s.c % 50 == 0 ? NAN : ValueIn(*FindValue(doc_, key), s.x);
                history.Perform("Edit", {{key, value}});
                break;
            }
            case Op::EditBasic: {
                const SettingKey key = SettingKey::Basic(static_cast<int>(s.a % kBasicValueCount));
                ModuleValue& v = *FindValue(doc_, key);
                // Settings without a range take small whole numbers.
                const double value =
                    v.Min() == v.Max() ? static_cast<double>(s.b % 8) : ValueIn(v, s.x);
                history.Perform("Edit", {{key, value}});
                break;
            }
            case Op::Curve: {
                const int m = static_cast<int>(s.a % 6);
                ModuleMap& map = *doc_.Map(m);
                std::vector<double> y;
                for (int i = 0; i < 16; ++i) y.push_back(map.Point(i).value->GetValue());
                int first = static_cast<int>(s.b % 16), last = static_cast<int>(s.c % 16);
                if (first > last) std::swap(first, last);
                const CurveRange r{first, last};
                const CurveScale scale = ScaleOf(map);
                std::vector<double> out;
                switch (s.c % 4) {
                    case 0:
                        out = Interpolate(y, r, scale);
                        break;
                    case 1:
                        out = Smooth(y, r, scale);
                        break;
                    case 2:
                        out = ScaleBy(y, r, scale, 50.0 + 100.0 * s.x);
                        break;
                    default:
                        out = Offset(y, r, scale, (s.x - 0.5) * 10.0);
                        break;
                }
                std::vector<EditTarget> targets;
                for (int i = first; i <= last; ++i)
                    targets.push_back({SettingKey::Point(m, i), out[i]});
                history.Perform("Curve", targets);
                break;
            }
            case Op::Paste: {
                // What a spreadsheet puts on the clipboard: tab-separated with a
                // header, semicolons with decimal commas, or comma-separated x,y.
                const int m = static_cast<int>(s.a % 6);
                const ModuleMap& map = *doc_.Map(m);
                const int first = static_cast<int>(s.b % 16);
                const int count = 1 + static_cast<int>(s.c % static_cast<uint32_t>(16 - first));
                std::mt19937 rng(s.c);
                std::string text = s.a % 3 == 0 ? "RPM,Advance\n" : s.a % 3 == 1 ? "x\ty\n" : "";
                for (int i = first; i < first + count; ++i) {
                    // Now and then a value past the range, which must refuse the paste.
                    const double fraction =
                        std::uniform_real_distribution<double>(-0.05, 1.05)(rng);
                    const double y = std::round(ValueIn(*map.Point(i).value, fraction) * 2) / 2;
                    const double x = map.Point(i).x;
                    char line[64];
                    if (s.a % 3 == 0) {
                        std::snprintf(line, sizeof line, "%.0f,%g\n", x, y);
                    } else if (s.a % 3 == 1) {
                        std::snprintf(line, sizeof line, "%.4f\t%g\n", x, y);
                    } else {
                        std::snprintf(line, sizeof line, "%g\r\n", y);
                        for (char* c = line; *c; ++c)
                            if (*c == '.') *c = ',';
                    }
                    text += line;
                }
                std::vector<PastedPoint> pasted;
                std::string why;
                std::vector<double> y;
                for (int i = 0; i < 16; ++i) y.push_back(map.Point(i).value->GetValue());
                if (!ParsePointsText(text, pasted, why) ||
                    !PlacePastedPoints(pasted, AxisOf(map), first, y, why))
                    break;
                std::vector<EditTarget> targets;
                for (int i = 0; i < 16; ++i) targets.push_back({SettingKey::Point(m, i), y[i]});
                history.Perform("Paste", targets);
                break;
            }
            case Op::UseOther: {
                ModuleState other;
                other.InitializeDefaults();
                std::mt19937 rng(s.a);
                for (SettingKey key : AllSettingKeys(other)) {
                    ModuleValue& v = *FindValue(other, key);
                    const double fraction = std::uniform_real_distribution<double>(0, 1)(rng);
                    v.StoreValue(v.Quantize(v.Min() == v.Max() ? 2.0 : ValueIn(v, fraction)));
                }
                // Mostly a tune whose advance maps agree, sometimes one whose do not.
                if (s.b % 4 != 0) {
                    for (int p = 0; p < 16; ++p)
                        other.Map(1)->Point(p).value->StoreValue(
                            other.Map(0)->Point(p).value->GetValue());
                }
                const std::vector<SettingKey> keys = AllSettingKeys(doc_);
                const SettingKey key = keys[s.c % keys.size()];
                std::string why;
                const std::vector<EditTarget> targets = OtherValueTargets(doc_, other, key, why);
                if (!targets.empty()) history.Perform("Use Other", targets);
                break;
            }
            case Op::Undo:
                history.Undo();
                break;
            case Op::Redo:
                history.Redo();
                break;
            case Op::Upload:
                uploaded_ = doc_.UploadSettings();
                break;
            case Op::DownloadAll:
                checkEqual_ = doc_.DownloadSettings();
                break;
            case Op::WriteChanges: {
                const ModuleState::ChangedWrite r = doc_.WriteChangedSettings(s.a % 2 == 0);
                checkWritten_ = r.ok;
                break;
            }
            case Op::Pull:
                if (!Linked()) break;
                // Away part way through one of the next exchanges.
                emulator_->Core().ArmFault(emu::Fault::Vanish, 1, static_cast<int>(s.a % 12));
                break;
            case Op::ReplugSame:
            case Op::ReplugOther: {
                if (Linked()) CommPort::Instance().BreakLink(CommPort::BreakNotice::Quiet);
                if (s.op == Op::ReplugOther) {
                    emu::EmulatorConfig config;
                    config.randomKey = s.a;
                    // Modules are told apart by serial number: each one its own.
                    config.serialNumber = static_cast<uint16_t>(100 + ++modules_);
                    emulator_ = std::make_unique<emu::EmulatorLine>(config);
                    FillModule(emulator_->Core(), s.b);
                    seen_ = 0;  // a module of its own, with its own record
                }
                if (!Link()) break;
                const LinkedModuleCheck check = CheckLinkedModule(doc_);
                if (std::getenv("QX_SEQUENCE_TRACE"))
                    std::fprintf(stderr, "relink: %d changed %d lacking %d\n",
                                 static_cast<int>(check.what), check.changed, check.lacking);
                if (!Linked()) break;
                if (check.what == AfterLink::WriteChanges) {
                    checkWritten_ = doc_.WriteChangedSettings(true).ok;
                } else if (check.what == AfterLink::OtherModule ||
                           check.what == AfterLink::OfferUpload) {
                    if (s.c % 2 == 0) {
                        checkEqual_ = doc_.DownloadSettings();
                    } else {
                        uploaded_ = doc_.UploadSettings();
                    }
                }
                break;
            }
            case Op::Monitor: {
                // Live values streaming, or not: every write must stop and
                // restart the stream around itself.
                RamMonitor& monitor = RamMonitor::Instance();
                if (monitor.IsRunning()) {
                    monitor.Stop();
                } else if (Linked()) {
                    monitor.Start();
                }
                host_->AdvanceMs(static_cast<int64_t>(s.a % 300));
                host_->RunPosted();
                break;
            }
            case Op::Faults: {
                emu::EmulatorCore& core = emulator_->Core();
                core.ClearFaults();
                const emu::Fault kinds[] = {emu::Fault::Silent,          emu::Fault::Nak,
                                            emu::Fault::CorruptChecksum, emu::Fault::DropByte,
                                            emu::Fault::Garbage,         emu::Fault::SwallowAck};
                if (s.a % 3 != 0) {
                    for (emu::Fault fault : kinds)
                        core.SetFaultProbability(fault, (s.b % 5) * 0.01);
                }
                break;
            }
        }
        if (std::getenv("QX_SEQUENCE_TRACE")) {
            for (const auto& m : host_->Messages())
                std::fprintf(stderr, "  message: %s\n", m.text.c_str());
            const auto& w = emulator_->Core().Counters().writes;
            for (std::size_t i = seen_; i < w.size(); ++i)
                std::fprintf(stderr, "  stored %04X=%02X\n", w[i].address, w[i].value);
        }
        host_->ClearRecords();
    }

    std::string Check(const Step& s) {
        // Let what is on the wire land: a request whose ACK was taken from
        // noise is still on its way to the module.
        if (Linked()) {
            host_->AdvanceMs(100);
            CommPort::Instance().ReceiveCount();
        }
        const emu::EmulatorCore& core = emulator_->Core();
        std::ostringstream why;
        const auto& writes = core.Counters().writes;
        std::map<uint16_t, uint8_t> last;
        for (std::size_t i = seen_; i < writes.size(); ++i) {
            if (!TableAllowsByte(writes[i].address, writes[i].value)) {
                why << FormatC("0x%02X written to 0x%04X, outside the table", writes[i].value,
                               writes[i].address);
                return why.str();
            }
            last[writes[i].address] = writes[i].value;
        }
        std::map<uint16_t, SettingKey> keyAt;
        for (SettingKey key : AllSettingKeys(doc_)) keyAt[AddressOf(key)] = key;
        for (const auto& [address, byte] : last) {
            const auto it = keyAt.find(address);
            if (it == keyAt.end()) return FormatC("a write to 0x%04X, no setting's", address);
            const std::vector<uint8_t> mine = FindValue(doc_, it->second)->EncodeBytes();
            const std::vector<uint8_t> held = doc_.Picture().Held(address, 1);
            // An undo puts back the byte the module held; a pull that cut off
            // its ACK leaves that byte unknown to the program.
            const bool restored =
                s.op == Op::Undo && (held == std::vector<uint8_t>{byte} || held.empty());
            if (mine != std::vector<uint8_t>{byte} && !restored) {
                return FormatC("0x%02X written to 0x%04X where the document holds %g", byte,
                               address, FindValue(doc_, it->second)->GetValue());
            }
        }
        for (const auto& [address, known] : doc_.Picture().Bytes()) {
            if (core.Peek(address) != known.held) {
                return FormatC("the program believes 0x%04X holds 0x%02X; it holds 0x%02X", address,
                               known.held, core.Peek(address));
            }
        }
        // Nothing but an upload of a module that holds them apart (after a
        // pull between two twins' writes) parts synchronized maps; undoing back
        // towards such an upload may part them again, so the check rests until
        // an upload of equal twins starts a fresh history.
        if (uploaded_) partedByUpload_ = !TwinsEqual();
        if (MirrorSetting() && twinsEqual_ && !partedByUpload_) {
            for (int p = 0; p < 16; ++p) {
                const double front = doc_.Map(0)->Point(p).value->GetValue();
                const double rear = doc_.Map(1)->Point(p).value->GetValue();
                if (front != rear)
                    return FormatC("synchronized point %d: front %g, rear %g", p + 1, front, rear);
            }
        }
        if (checkEqual_) {
            for (SettingKey key : AllSettingKeys(doc_)) {
                const uint16_t a = AddressOf(key);
                if (FindValue(doc_, key)->EncodeBytes() != std::vector<uint8_t>{core.Peek(a)})
                    return FormatC("after Download All 0x%04X holds 0x%02X", a, core.Peek(a));
            }
        }
        if (checkWritten_) {
            for (SettingKey key : AllSettingKeys(doc_)) {
                const ModuleValue& v = *FindValue(doc_, key);
                if (v.NeedsWrite())
                    return FormatC("after Write Changes 0x%04X still needs writing",
                                   AddressOf(key));
            }
        }
        stats_.writes += writes.size() - seen_;
        stats_.fullChecks += (checkEqual_ || checkWritten_) ? 1 : 0;
        checkEqual_ = checkWritten_ = false;
        return {};
    }

    ScopedFakeHost& host_;
    Stats& stats_;
    std::unique_ptr<emu::EmulatorLine> emulator_;
    uint32_t key_;
    ModuleState doc_;
    std::size_t seen_ = 0;
    bool checkEqual_ = false;
    bool checkWritten_ = false;
    bool twinsEqual_ = true;
    bool uploaded_ = false;
    bool partedByUpload_ = false;
    int modules_ = 0;
};

// Under the sanitizers a sequence costs several times as much: fewer there.
#if defined(__SANITIZE_ADDRESS__)
constexpr int kDefaultSequences = 1000;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr int kDefaultSequences = 1000;
#else
constexpr int kDefaultSequences = 2000;
#endif
#else
constexpr int kDefaultSequences = 2000;
#endif

int FromEnvironment(const char* name, int fallback) {
    const char* text = std::getenv(name);
    if (text == nullptr || *text == '\0') return fallback;
    return std::max(1, std::atoi(text));
}

class ChangeSequenceTest : public ModelTest {
  protected:
    std::string RunOnce(uint32_t key, const std::vector<Step>& steps) {
        ResetLink();
        SetMirrorSetting(key % 8 != 0);  // now and then the maps apart
        std::string why;
        {
            Sequence sequence(host, key, stats);
            why = sequence.Run(steps);
            RamMonitor::ResetInstance();
        }
        ResetLink();
        return why;
    }

    Stats stats;

    // Drops steps one at a time while the sequence still fails.
    std::vector<Step> Shorten(uint32_t key, std::vector<Step> steps) {
        for (std::size_t i = steps.size(); i-- > 0;) {
            std::vector<Step> fewer = steps;
            fewer.erase(fewer.begin() + static_cast<std::ptrdiff_t>(i));
            if (!RunOnce(key, fewer).empty()) steps = std::move(fewer);
        }
        return steps;
    }
};

TEST_F(ChangeSequenceTest, EveryStepKeepsTheModuleAndTheDocumentHonest) {
    const int sequences = FromEnvironment("QX_SEQUENCES", kDefaultSequences);
    const int from = std::getenv("QX_SEQUENCE_FROM") ? FromEnvironment("QX_SEQUENCE_FROM", 0) : 0;
    const int length = FromEnvironment("QX_SEQUENCE_STEPS", 150);
    int failures = 0;
    // Keys of sequences that once failed, run first whatever the count.
    const uint32_t kOnceFailed[] = {
        147990771,  // an undo putting back a module's byte, its ACK cut off by a pull
    };
    const int once = static_cast<int>(std::size(kOnceFailed));
    for (int n = -once; n < sequences && failures < 1; ++n) {
        uint32_t key =
            n < 0 ? kOnceFailed[n + once] : 0x5EC0u + static_cast<uint32_t>(from + n) * 7919u;
        // One sequence alone, to follow it with QX_SEQUENCE_TRACE.
        if (const char* only = std::getenv("QX_SEQUENCE_KEY")) {
            if (n > -once) break;
            key = static_cast<uint32_t>(std::strtoul(only, nullptr, 10));
        }
        const std::vector<Step> steps = MakeSteps(key, length);
        const std::string why = RunOnce(key, steps);
        if (why.empty()) continue;
        ++failures;
        const std::vector<Step> shortest = Shorten(key, steps);
        stats = {};
        ADD_FAILURE() << "sequence key " << key << ": " << why << "\nshortened to "
                      << shortest.size() << " steps (" << RunOnce(key, shortest) << "):\n"
                      << Describe(shortest);
    }
    std::printf("%d sequences, %ld steps (%ld linked), %ld bytes written, %ld full checks\n",
                sequences, stats.steps, stats.linkedSteps, stats.writes, stats.fullChecks);
    std::fflush(stdout);
}

}  // namespace
}  // namespace qx::test
