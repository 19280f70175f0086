// Every fault the emulator can inject, struck part way through each qvx command
// that talks to the module: the command ends with exit 1 (0 where the fault
// cannot touch it), shows at most one failure message besides its own summary,
// does not crash, leaves the file it was to write as it was, and the module
// holds no write the command did not mean.
#include <gtest/gtest.h>

#include <map>

#include "ToolTestUtil.h"
#include "emulator/PtyEmulator.h"

namespace qx::qvx::test {
namespace {

enum class Op { Identify, Upload, Download, Monitor };
const char* const kOpNames[] = {"Identify", "Upload", "Download", "Monitor"};

// A timeout of 50 ms keeps failing exchanges short.
constexpr const char* kQuickProfile =
    "[Settings]\nTimeout=50\nRetries=1\nWait Retries=1\nDelay=10\n";
constexpr int64_t kSlowUs = 400'000;  // beyond the 100 ms the host waits for an answer

bool Once(emu::Fault fault) {
    return fault == emu::Fault::Flood || fault == emu::Fault::Vanish;
}

// The module's messages that report a failure (every one but the link's greeting).
Strings FailureMessages(const std::string& messages) {
    Strings failures;
    for (const std::string& line : Split(messages)) {
        if (!Has(line, "Successfully Established")) failures.push_back(line);
    }
    return failures;
}

// qvx's own summary lines.
long SummaryLines(const std::string& err) {
    const Strings lines = Split(err);
    return std::count_if(lines.begin(), lines.end(),
                         [](const std::string& l) { return l.rfind("qvx: ", 0) == 0; });
}

class QvxFaultMatrix : public ToolTest, public testing::WithParamInterface<Op> {
  protected:
    void SetUp() override {
        ToolTest::SetUp();
        std::ofstream(profile) << kQuickProfile;
        tune = ReadFileBytes(NewFile("tune.qvx", {"Rev Limit=6100", "VOES[1]=7"}));
    }

    Strings Args(Op op, const std::string& device) {
        switch (op) {
            case Op::Identify:
                return {"identify", "--port", device};
            case Op::Upload:
                return {"upload", Path("tune.qvx"), "--port", device};
            case Op::Download:
                return {"download", Path("tune.qvx"), "--port", device};
            case Op::Monitor:
                return {"monitor", "--seconds", "0.3", "--port", device};
        }
        return {};
    }

    std::vector<uint8_t> tune;
};

TEST_P(QvxFaultMatrix, EveryFaultEndsTheCommandCleanly) {
    const Op op = GetParam();
    // What a download means to write, from a run without faults.
    std::map<uint16_t, uint8_t> meant;
    if (op == Op::Download) {
        emu::PtyEmulator clean(emu::EmulatorConfig{.baud = 115200});
        ASSERT_TRUE(clean.Start());
        ASSERT_EQ(Run(Args(op, clean.SlavePath())).code, 0);
        for (const auto& w : clean.Counters().writes) meant[w.address] = w.value;
        ASSERT_EQ(meant.size(), 108u);
    }
    for (int f = 0; f < emu::kFaultCount; ++f) {
        const auto fault = static_cast<emu::Fault>(f);
        SCOPED_TRACE(emu::FaultName(fault));
        emu::PtyEmulator module(emu::EmulatorConfig{.baud = 115200, .slowUs = kSlowUs});
        ASSERT_TRUE(module.Start());
        WriteFileBytes(Path("tune.qvx"), tune);  // a run that succeeded rewrote it
        // From the link's IDENTIFY on for Identify, from the first exchange after it otherwise.
        module.ArmFault(fault, Once(fault) ? 1 : 1'000'000, op == Op::Identify ? 0 : 1);

        const RunResult r = Run(Args(op, module.SlavePath()));
        // Only writes are acknowledged, and an ACK is no frame to damage.
        const bool damagesFrame =
            fault == emu::Fault::CorruptChecksum || fault == emu::Fault::DropByte;
        const bool untouched = op == Op::Download ? damagesFrame : fault == emu::Fault::SwallowAck;
        EXPECT_EQ(r.code, untouched ? 0 : 1) << r.err << r.messages;
        EXPECT_LE(FailureMessages(r.messages).size(), 1u) << r.messages;
        EXPECT_EQ(SummaryLines(r.err), r.code == 0 ? 0 : 1) << r.err;
        if (r.code != 0) {
            EXPECT_EQ(ReadFileBytes(Path("tune.qvx")), tune);
        }
        EXPECT_FALSE(std::filesystem::exists(Path("tune.qvx.part")));

        for (const emu::WriteRecord& w : module.Counters().writes) {
            const auto it = meant.find(w.address);
            EXPECT_TRUE(it != meant.end() && it->second == w.value)
                << "stray write at " << w.address;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Commands, QvxFaultMatrix,
                         testing::Values(Op::Identify, Op::Upload, Op::Download, Op::Monitor),
                         [](const auto& info) { return kOpNames[static_cast<int>(info.param)]; });

}  // namespace
}  // namespace qx::qvx::test
