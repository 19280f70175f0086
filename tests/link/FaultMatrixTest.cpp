// Every fault the emulator can inject, struck during each operation of the
// program's core, through the real link on a pseudo-terminal. For each: no
// crash, at most one failure message besides the operation's own summary, a
// link state that holds together (and a new link that works), a document that
// a failed upload left alone, and a module holding only writes the host meant.
//
// The pty runs in real time, so nothing here depends on whether an exchange
// that may fail does fail: only what must hold in every outcome is checked.
#include <gtest/gtest.h>

#include <memory>

#include "core/link/CommPort.h"
#include "core/model/ModuleState.h"
#include "core/monitor/RamMonitor.h"
#include "core/serial/SerialPort.h"
#include "emulator/PtyEmulator.h"
#include "support/Eventually.h"
#include "support/FakeHost.h"
#include "support/ModuleMemory.h"

namespace qx::test {
namespace {

enum class Op { Link, Upload, Download, Monitor, Edit };
const char* const kOpNames[] = {"Link", "Upload", "Download", "Monitor", "Edit"};

// Beyond the 100 ms the host waits for an answer: it comes during the recovery.
constexpr int64_t kSlowUs = 150'000;
constexpr double kEditedRevLimit = 7424.0;  // a step of the value
const char* const kSummaries[] = {"Unable to Upload Module Settings",
                                  "Unable to Download Settings to Module"};

class FaultMatrix : public testing::TestWithParam<Op> {
  protected:
    void SetUp() override {
        host->SetSleepsInRealTime(true);
        RamMonitor::ResetInstance();
        CommPort::ResetInstance();
        // Short waits keep the failing exchanges short.
        for (const auto& [key, value] :
             {std::pair{"Timeout", 50}, {"Retries", 1}, {"Wait Retries", 1}, {"Delay", 10}}) {
            AppProfile().WriteInt("Settings", key, value);
        }
        CommPort::Instance().SetPortOpener([this](int, serial::OpenError* why) {
            return serial::OpenPosixPort({.device = module->SlavePath(), .baud = 115200}, why);
        });
    }
    void TearDown() override {
        RamMonitor::ResetInstance();
        CommPort::ResetInstance();
    }

    void StartModule() {
        module = std::make_unique<emu::PtyEmulator>(
            emu::EmulatorConfig{.baud = 115200, .slowUs = kSlowUs});
        ASSERT_TRUE(module->Start());
    }

    // Failure messages, leaving out the link's greeting and the operation's summary.
    std::vector<std::string> Failures() {
        std::vector<std::string> texts;
        for (const auto& m : host->Messages()) {
            const bool greeting = m.text.rfind("Connection to Module Successfully", 0) == 0;
            const bool summary = m.text == kSummaries[0] || m.text == kSummaries[1];
            if (!greeting && !summary) texts.push_back(m.caption + ": " + m.text);
        }
        return texts;
    }

    ScopedFakeHost host;
    std::unique_ptr<emu::PtyEmulator> module;
};

TEST_P(FaultMatrix, EveryFaultLeavesTheLinkTheDocumentAndTheModuleSound) {
    const Op op = GetParam();
    CommPort& link = CommPort::Instance();
    RamMonitor& monitor = RamMonitor::Instance();
    for (int f = 0; f < emu::kFaultCount; ++f) {
        const auto fault = static_cast<emu::Fault>(f);
        SCOPED_TRACE(emu::FaultName(fault));
        StartModule();
        ModuleState doc;
        ASSERT_EQ(doc.OnNewDocument(), DocStatus::Done);
        if (op != Op::Link) {
            ASSERT_TRUE(link.EstablishLink());
        }
        // A flood or a vanish lasts by itself; a burst of slow answers is enough
        // (a slow line that works makes a download of 108 writes long); every
        // other fault strikes each exchange from now on.
        const bool once = fault == emu::Fault::Flood || fault == emu::Fault::Vanish;
        module->ArmFault(fault, once ? 1 : fault == emu::Fault::Slow ? 3 : 1'000'000);
        host->ClearRecords();
        const std::vector<uint8_t> before = doc.StoreContents();
        // What the operation may write: the document, or the edited value.
        ModuleState edited;
        ASSERT_EQ(edited.OnNewDocument(), DocStatus::Done);
        edited.revLimit().StoreValue(kEditedRevLimit);
        ModuleMemory meant = DownloadBytes(op == Op::Edit ? edited : doc);

        bool ok = true;
        switch (op) {
            case Op::Link:
                ok = link.EstablishLink();
                break;
            case Op::Upload:
                doc.OnUpload();
                for (const auto& m : host->Messages()) ok = ok && m.text != kSummaries[0];
                break;
            case Op::Download:
                doc.OnDownload();
                break;
            case Op::Monitor: {
                // The user stops monitoring after ten packets, or 300 ms without them
                // (packets arriving in real time do not move the virtual clock).
                int packets = 0;
                const SampleChannel::Hold counting =
                    monitor.Samples().Subscribe([&](LiveSource&, bool) {
                        if (++packets == 10) monitor.Stop();
                    });
                host->ScheduleEventIn(300, [&] { monitor.Stop(); });
                monitor.Run();
                break;
            }
            case Op::Edit:
                ok = doc.revLimit().SetValue(kEditedRevLimit, false);
                break;
        }

        EXPECT_LE(Failures().size(), 1u) << testing::PrintToString(Failures());
        EXPECT_EQ(link.HasOpenPort(), link.IsLinked());
        EXPECT_EQ(link.BusyCount(), 0);
        EXPECT_FALSE(monitor.IsRunActive());
        EXPECT_FALSE(monitor.IsRunning() || monitor.IsSuspended());
        if (op == Op::Upload && !ok) {
            EXPECT_EQ(doc.StoreContents(), before) << "a failed upload changed the document";
        }
        // Only writes the operation meant (a write whose ACK was lost may be
        // stored all the same), and every value marked in sync holds in the module.
        for (ModuleValue* v : doc.ModuleValues()) {
            if (v->InSync() && op != Op::Upload) {
                EXPECT_EQ(module->Peek(v->GetAddress()), v->EncodeBytes()[0]) << v->GetAddress();
            }
        }
        for (const emu::WriteRecord& w : module->Counters().writes) {
            EXPECT_EQ(meant.count(w.address) ? meant[w.address] : -1, w.value) << w.address;
        }
        // A stream the host cancelled ends once the cancel has crossed the line. A
        // module that floods on regardless is found by the next exchange.
        if (link.IsLinked() && fault != emu::Fault::Flood) {
            EXPECT_TRUE(Eventually([&] { return !module->IsStreaming(); }))
                << "the module was left streaming";
        }
        // A new link works once the fault is gone.
        module->ClearFaults();
        // A vanish under way takes the device a moment later.
        if (module->Counters().faultsFired[static_cast<int>(emu::Fault::Vanish)] > 0) {
            ASSERT_TRUE(Eventually([&] { return module->IsGone(); }))
                << "a vanish that fired never took the device";
            StartModule();
        }
        if (link.IsLinked()) link.BreakLink(CommPort::BreakNotice::Quiet);
        // The short time-out was for the fault; a loaded machine may take longer
        // to drain what a flood left behind.
        ASSERT_TRUE(link.SetTimeout(1000));
        ASSERT_TRUE(link.EstablishLink()) << testing::PrintToString(Failures());
        uint8_t block[17];
        EXPECT_TRUE(link.ReadModuleMemoryBlock(block, 0xB661, 17));
        link.BreakLink(CommPort::BreakNotice::Quiet);
        ASSERT_TRUE(link.SetTimeout(50));
    }
}

INSTANTIATE_TEST_SUITE_P(Operations, FaultMatrix,
                         testing::Values(Op::Link, Op::Upload, Op::Download, Op::Monitor, Op::Edit),
                         [](const auto& info) { return kOpNames[static_cast<int>(info.param)]; });

}  // namespace
}  // namespace qx::test
