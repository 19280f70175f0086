// Upload, download and single-value writes against a module on the in-memory line.
#include <gtest/gtest.h>

#include <string>

#include "core/model/ModuleState.h"
#include "model/LinkedTestSupport.h"

namespace qx::test {
namespace {

using Texts = std::vector<std::string>;
constexpr const char* kWriteFailure =
    "Unable to Resync Communication with Module!\nModuleValue::SyncModuleWithHost";
constexpr const char* kDownloadFailure = "Unable to Download Settings to Module";

class TransferTest : public LinkedDocumentTest {
  protected:
    // Every one of the 108 values in sync but out, if given.
    void ExpectEverythingInSync(const ModuleValue* out = nullptr) {
        const std::vector<ModuleValue*> values = doc.ModuleValues();
        ASSERT_EQ(values.size(), 108u);
        for (ModuleValue* v : values)
            EXPECT_EQ(v->InSync(), v != out) << std::hex << v->GetAddress();
    }
};

TEST_F(TransferTest, DownloadOfANewDocumentWritesEveryByteInOrder) {
    LinkEmulator();
    EXPECT_TRUE(doc.OnUpdateDownload());
    doc.OnDownload();

    std::vector<emu::WriteRecord> expected = {
        {0xB661, 0x02}, {0xB670, 0x00}, {0xB66C, 0x00}, {0xB668, 0x01},
        {0xB669, 0x00}, {0xB662, 0x01}, {0xB66B, 0x85}, {0xB66A, 0x00},
        {0xB66D, 0x01}, {0xB671, 0x04}, {0xB66F, 0x00}, {0xB667, 0x07},
    };
    for (uint16_t i = 0; i < 96; ++i) expected.push_back({static_cast<uint16_t>(0xB600 + i), 0});
    EXPECT_EQ(emulator->Core().Counters().writes, expected);
    ExpectEverythingInSync();
    EXPECT_TRUE(host->Messages().empty());
    EXPECT_EQ(host->Beeps(), std::vector<BeepKind>{BeepKind::Question});
    ASSERT_EQ(host->WaitWindowCalls().size(), 2u);
    EXPECT_EQ(host->WaitWindowCalls()[0].text, "...while the module settings are downloaded");
    EXPECT_FALSE(host->WaitWindowOpen());
    EXPECT_FALSE(doc.TransferInProgress());
    EXPECT_FALSE(doc.IsModified());  // a download changes no value
    EXPECT_EQ(CommPort::Instance().BusyCount(), 0);
}

TEST_F(TransferTest, UploadDecodesTheBasicBlockAndTheMaps) {
    LinkEmulator();
    const uint8_t block[17] = {0x02, 0x20, 0x33, 0x33, 0x33, 0x33, 0x07, 0x01, 0x00,
                               0x0F, 0x8F, 0x81, 0xA0, 0x33, 0x00, 0xAA, 0x04};
    for (int i = 0; i < 17; ++i) emulator->Core().Poke(static_cast<uint16_t>(0xB661 + i), block[i]);
    for (int i = 0; i < 96; ++i) emulator->Core().Poke(static_cast<uint16_t>(0xB600 + i), 0);
    emulator->Core().Poke(0xB603, 12);    // map 0 point 3
    emulator->Core().Poke(0xB640, 0x2A);  // map 4 point 0
    emulator->Core().Poke(0xB650, 0x02);  // map 5 point 0
    emulator->Core().Poke(0xB62F, 0xFF);  // map 2 point 15, past its range

    doc.OnUpload();

    // In file order: ignition mode, switch lockout, cam sync, cam offset, delay, rev limit,
    // start mode enter and exit, aux rev limit, rev limit rate, nitrous delay, NOS arming.
    const double basics[kBasicValueCount] = {2.0, 170.0,  -1.0,   8.0, 0.0, 10112.0,
                                             0.0, 1024.0, 1920.0, 4.0, 0.0, 3850.0};
    for (int i = 0; i < kBasicValueCount; ++i) {
        EXPECT_EQ(doc.BasicValue(i).GetValue(), basics[i]) << kBasicSettings[i].label;
    }
    EXPECT_EQ(At(0, 3).GetValue(), 12.0);
    EXPECT_EQ(At(4, 0).GetValue(), 2.5);
    EXPECT_EQ(At(5, 0).GetValue(), 2.0);
    EXPECT_EQ(At(2, 15).GetValue(), 20.0);
    // 0xFF is not what the program writes for 20 deg (0x14): shown out of sync.
    ExpectEverythingInSync(&At(2, 15));
    EXPECT_TRUE(doc.IsModified());
    EXPECT_TRUE(host->Messages().empty());
    EXPECT_EQ(host->WaitWindowCalls().at(0).text, "...while the module settings are uploaded");
    EXPECT_TRUE(emulator->Core().Counters().writes.empty());
}

TEST_F(TransferTest, MirrorsOnAndOffOnTheModule) {
    LinkEmulator();
    const auto peek = [&](uint16_t address) { return emulator->Core().Peek(address); };
    EXPECT_TRUE(At(0, 5).SetValue(30.0, true));  // mirror on: both spark maps
    EXPECT_EQ(peek(0xB605), 30);
    EXPECT_EQ(peek(0xB615), 30);
    EXPECT_TRUE(At(1, 5).InSync());
    EXPECT_EQ(At(1, 5).GetValue(), 30.0);

    SetMirrorSetting(false);
    EXPECT_TRUE(At(0, 0).SetValue(12.0, true));
    EXPECT_EQ(peek(0xB600), 0x0C);
    EXPECT_NE(peek(0xB610), 0x0C);  // the rear map stays
}

TEST_F(TransferTest, AValueOutsideItsInternalRangeNeverReachesTheModule) {
    LinkEmulator();
    // Range 0.2 to 0.4 over internal 0 to 45: 0.0 would be internal -45, 0xAD.
    At(0, 0).Setup(0xB600, 0xB600, 0.0, 0.2, 0.4, 0, 45, 1.0);
    doc.OnDownload();
    EXPECT_EQ(host->MessageTexts(),
              (Texts{"The value 0 is outside the range of module address "
                     "0xB600; nothing was written.\nModuleValue::SyncModuleWithHost",
                     kDownloadFailure}));
    EXPECT_EQ(host->Messages().at(0).caption, "Quorvex I");
    EXPECT_EQ(emulator->Core().Counters().writes.size(), 12u);  // the basic values only
    EXPECT_FALSE(At(0, 0).InSync());
    EXPECT_TRUE(host->Beeps().empty());

    // An edit that steps to such a value is refused before anything is sent.
    host->ClearRecords();
    At(0, 0).Setup(0xB600, 0xB600, 0.3, 0.2, 0.4, 0, 45, 1.0);
    EXPECT_FALSE(At(0, 0).SetValue(0.25, true));
    EXPECT_FALSE(doc.ignitionMode().SetValue(1e6, false));  // no range: more than a byte
    EXPECT_EQ(emulator->Core().Counters().writes.size(), 12u);
    EXPECT_EQ(At(0, 0).GetValue(), 0.3);
    EXPECT_EQ(At(1, 0).GetValue(), 0.0);  // the twin is not touched either
    EXPECT_TRUE(host->Messages().empty());
}

TEST_F(TransferTest, ATwoStateSettingSendsOnlyItsTwoValues) {
    LinkEmulator();
    // The bytes the Basic Setup dialog's choices stand for: ignition mode 1 or
    // 2 at 0xB661, switch lockout 0 or 0xAA at 0xB670. Any other byte is refused
    // before it is sent, whatever a caller hands the value.
    for (double odd : {0.0, 3.0, 200.0, 1.5}) EXPECT_FALSE(doc.ignitionMode().SetValue(odd, false));
    for (double odd : {1.0, 169.0, 255.0}) EXPECT_FALSE(doc.switchLockout().SetValue(odd, false));
    EXPECT_TRUE(emulator->Core().Counters().writes.empty());
    EXPECT_TRUE(doc.ignitionMode().SetValue(1.0, false));
    EXPECT_TRUE(doc.switchLockout().SetValue(170.0, false));
    EXPECT_EQ(emulator->Core().Counters().writes,
              (std::vector<emu::WriteRecord>{{0xB661, 0x01}, {0xB670, 0xAA}}));

    // A module holding another byte: shown as not in sync, never taken into
    // the document, whose file then still opens, and never written unasked.
    emulator->Core().Poke(0xB661, 200);
    doc.OnUpload();
    EXPECT_EQ(doc.ignitionMode().GetValue(), 1.0);
    EXPECT_FALSE(doc.ignitionMode().InSync());
    EXPECT_EQ(doc.CheckContents(doc.StoreContents()), "");
    EXPECT_EQ(doc.CountValuesToWrite(), 0);
    emulator->Core().ResetCounters();
    EXPECT_TRUE(doc.WriteChangedSettings(false).ok);
    EXPECT_TRUE(emulator->Core().Counters().writes.empty());
    EXPECT_EQ(emulator->Core().Peek(0xB661), 200);
    // Set by the tuner, it is written.
    EXPECT_TRUE(doc.ignitionMode().SetValue(2.0, false));
    EXPECT_EQ(emulator->Core().Peek(0xB661), 2);
}

TEST_F(TransferTest, ModuleThatStopsAnsweringEndsTheDownloadAtTheFirstValue) {
    LinkScripted();
    scripted->GoSilent();
    doc.OnDownload();

    const std::size_t rounds = static_cast<std::size_t>(CommPort::Instance().Retries() + 1);
    EXPECT_EQ(scripted->CountOf(WriteFrame(0xB661, 0x02)), rounds);
    EXPECT_EQ(scripted->CountOf(WriteFrame(0xB670, 0x00)), 0u);
    EXPECT_EQ(host->MessageTexts(), (Texts{kWriteFailure, kDownloadFailure}));
    EXPECT_EQ(host->Messages().at(1).caption, "Communications Error");
    EXPECT_TRUE(host->Beeps().empty());
    EXPECT_FALSE(doc.ignitionMode().InSync());
    EXPECT_FALSE(doc.TransferInProgress());
    EXPECT_FALSE(host->WaitWindowOpen());
}

TEST_F(TransferTest, DownloadFailingAtTheThirdValueKeepsWhatWasWritten) {
    LinkScripted();
    scripted->Expect(WriteFrame(0xB661, 0x02), {0x06});
    scripted->Expect(WriteFrame(0xB670, 0x00), {0x06});
    doc.OnDownload();

    EXPECT_TRUE(doc.ignitionMode().InSync());
    EXPECT_TRUE(doc.switchLockout().InSync());
    EXPECT_FALSE(doc.camSensorSync().InSync());
    EXPECT_GE(scripted->CountOf(WriteFrame(0xB66C, 0x00)), 1u);
    EXPECT_EQ(scripted->CountOf(WriteFrame(0xB668, 0x01)), 0u);
    EXPECT_EQ(host->MessageTexts(), (Texts{kWriteFailure, kDownloadFailure}));
}

TEST_F(TransferTest, PartnerWriteFailureReportsFailureButKeepsTheFirstValue) {
    LinkScripted();
    scripted->Expect(WriteFrame(0xB607, 20), {0x06});
    EXPECT_FALSE(At(0, 7).SetValue(20.0, true));
    EXPECT_EQ(At(0, 7).GetValue(), 20.0);
    EXPECT_TRUE(At(0, 7).InSync());
    EXPECT_EQ(At(1, 7).GetValue(), 0.0);
    EXPECT_EQ(host->Messages().size(), 1u);
}

TEST_F(TransferTest, FailedReadsAndWritesChangeNothing) {
    LinkScripted();
    scripted->GoSilent();
    At(3, 4).StoreValue(7.0);
    At(3, 4).SetModuleBytes(At(3, 4).EncodeBytes());  // the module is known to hold it
    EXPECT_FALSE(doc.Map(3)->UploadFromModule());
    EXPECT_EQ(At(3, 4).GetValue(), 7.0);
    EXPECT_TRUE(At(3, 4).InSync());
    EXPECT_FALSE(At(3, 5).InSync());

    EXPECT_FALSE(doc.revLimit().SetValue(8000.0, false));  // the old value comes back
    EXPECT_EQ(doc.revLimit().GetValue(), 6144.0);
    EXPECT_FALSE(doc.revLimit().InSync());

    host->ClearRecords();
    doc.revLimit().StoreValue(7040.0);
    doc.OnUpload();
    EXPECT_EQ(doc.revLimit().GetValue(), 7040.0);
    ASSERT_FALSE(host->Messages().empty());
    EXPECT_EQ(host->Messages().back().text, "Unable to Upload Module Settings");
    EXPECT_FALSE(doc.IsModified());
}

TEST_F(TransferTest, TransfersRefuseABusyLinkAndTheHandlersAreDisabled) {
    EXPECT_FALSE(doc.OnUpdateUpload());  // link down
    EXPECT_FALSE(doc.OnUpdateDownload());
    LinkEmulator();
    EXPECT_TRUE(doc.OnUpdateUpload());
    {
        CommandBusyScope busy(false);
        EXPECT_FALSE(doc.DownloadSettings());
        EXPECT_FALSE(doc.UploadSettings());
    }
    EXPECT_TRUE(emulator->Core().Counters().writes.empty());
    EXPECT_EQ(emulator->Core().Counters().framesByCommand[0x01], 0);
}

TEST_F(TransferTest, NewDocumentAndOpenAreRefusedWhileAnUploadRuns) {
    const std::string path = host.TempDir() + "/other.qvx";  // to open during the upload
    doc.revLimit().StoreValue(8064.0);
    ASSERT_EQ(doc.OnSaveDocument(path), DocStatus::Done);
    ASSERT_EQ(doc.OnNewDocument(), DocStatus::Done);

    emu::EmulatorConfig slow;
    slow.turnaroundUs = 150'000;  // a slow module: the link's waits dispatch events
    LinkEmulator(slow);
    ModuleMap* mapBefore = doc.Map(0);
    std::vector<DocStatus> seen;
    bool commandsEnabled = true;
    host->ScheduleEventIn(20, [&] {
        commandsEnabled = doc.OnUpdateUpload() || doc.OnUpdateDownload();
        seen.push_back(doc.OnNewDocument());
        seen.push_back(doc.OnOpenDocument(path));
    });
    doc.OnUpload();

    ASSERT_EQ(seen, (std::vector<DocStatus>{DocStatus::Busy, DocStatus::Busy}))
        << "the upload must dispatch the event and refuse both";
    EXPECT_FALSE(commandsEnabled);
    EXPECT_EQ(doc.Map(0), mapBefore);
    EXPECT_NE(doc.revLimit().GetValue(), 8064.0);
    EXPECT_TRUE(doc.revLimit().InSync());  // the upload finished into the same document
    EXPECT_EQ(doc.GetPathName(), "");
    EXPECT_EQ(doc.OnNewDocument(), DocStatus::Done);  // afterwards it works again
}

TEST_F(TransferTest, OpeningAFileWithTheLinkUpOffersADownload) {
    const std::string path = host.TempDir() + "/offer.qvx";
    ASSERT_EQ(doc.OnSaveDocument(path), DocStatus::Done);
    ASSERT_EQ(doc.OnOpenDocument(path), DocStatus::Done);
    EXPECT_TRUE(host->Messages().empty());  // link down: nothing asked

    LinkEmulator();
    host->QueueAnswer(MsgResult::No);
    ASSERT_EQ(doc.OnOpenDocument(path), DocStatus::Done);
    EXPECT_EQ(host->MessageTexts(), Texts{"Do you want to download these settings to the module?"});
    EXPECT_EQ(host->Messages().at(0).caption, "Download Module Settings");
    EXPECT_EQ(host->Messages().at(0).buttons, MsgButtons::YesNo);
    EXPECT_TRUE(emulator->Core().Counters().writes.empty());

    host->QueueAnswer(MsgResult::Yes);
    ASSERT_EQ(doc.OnOpenDocument(path), DocStatus::Done);
    EXPECT_EQ(emulator->Core().Counters().writes.size(), 108u);
}

}  // namespace
}  // namespace qx::test
