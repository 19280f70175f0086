// Upload, download and single-value writes against a module on the in-memory line.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "model/LinkedTestSupport.h"
#include "model/ModuleState.h"

namespace qx::test {
namespace {

constexpr const char* kWriteFailure =
    "Unable to Resync Communication with Module!\nModuleValue::SyncModuleWithHost";

// The basic bytes a new document downloads, in order.
const std::vector<emu::WriteRecord> kNewDocumentBasics = {
    {0xB661, 0x02}, {0xB670, 0x00}, {0xB66C, 0x00}, {0xB668, 0x01}, {0xB669, 0x00}, {0xB662, 0x01},
    {0xB66B, 0x85}, {0xB66A, 0x00}, {0xB66D, 0x01}, {0xB671, 0x04}, {0xB66F, 0x00}, {0xB667, 0x07},
};

class TransferTest : public LinkedTest {
  protected:
    TransferTest() { EXPECT_EQ(doc.OnNewDocument(), DocStatus::Done); }

    void ExpectEverythingInSync(bool inSync) {
        for (int i = 0; i < kBasicValueCount; ++i) {
            EXPECT_EQ(doc.BasicValue(i).InSync(), inSync) << kBasicSettings[i].label;
        }
        for (int m = 0; m < kMapCount; ++m) {
            for (int p = 0; p < 16; ++p) {
                EXPECT_EQ(doc.Map(m)->Point(p).value->InSync(), inSync) << m << "/" << p;
            }
        }
    }

    ModuleState doc;
};

TEST_F(TransferTest, DownloadOfANewDocumentWritesEveryByteInOrder) {
    LinkEmulator();
    EXPECT_TRUE(doc.OnUpdateDownload());
    doc.OnDownload();

    const auto& writes = emulator->Core().Counters().writes;
    ASSERT_EQ(writes.size(), 12u + 96u);
    for (std::size_t i = 0; i < kNewDocumentBasics.size(); ++i) {
        EXPECT_EQ(writes[i], kNewDocumentBasics[i]) << "write " << i;
    }
    for (std::size_t i = 0; i < 96; ++i) {
        EXPECT_EQ(writes[12 + i].address, 0xB600 + i);
        EXPECT_EQ(writes[12 + i].value, 0);
    }
    ExpectEverythingInSync(true);
    EXPECT_TRUE(host->Messages().empty());
    ASSERT_EQ(host->Beeps().size(), 1u);
    EXPECT_EQ(host->Beeps()[0], BeepKind::Question);
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

    EXPECT_EQ(doc.ignitionMode().GetValue(), 2.0);
    EXPECT_EQ(doc.revLimit().GetValue(), 10112.0);
    EXPECT_EQ(doc.nosArmingRpm().GetValue(), 3850.0);
    EXPECT_EQ(doc.camSensorOffset().GetValue(), 8.0);
    EXPECT_EQ(doc.ignitionDelay().GetValue(), 0.0);
    EXPECT_EQ(doc.startModeExit().GetValue(), 1024.0);
    EXPECT_EQ(doc.startModeEnter().GetValue(), 0.0);
    EXPECT_EQ(doc.camSensorSync().GetValue(), -1.0);
    EXPECT_EQ(doc.auxRevLimit().GetValue(), 1920.0);
    EXPECT_EQ(doc.nitrousDelay().GetValue(), 0.0);
    EXPECT_EQ(doc.switchLockout().GetValue(), 170.0);
    EXPECT_EQ(doc.revLimitRate().GetValue(), 4.0);
    EXPECT_EQ(doc.Map(0)->Point(3).value->GetValue(), 12.0);
    EXPECT_EQ(doc.Map(4)->Point(0).value->GetValue(), 2.5);
    EXPECT_EQ(doc.Map(5)->Point(0).value->GetValue(), 2.0);
    EXPECT_EQ(doc.Map(2)->Point(15).value->GetValue(), 20.0);
    ExpectEverythingInSync(true);
    EXPECT_TRUE(doc.IsModified());
    EXPECT_TRUE(host->Messages().empty());
    EXPECT_EQ(host->WaitWindowCalls().at(0).text, "...while the module settings are uploaded");
    EXPECT_TRUE(emulator->Core().Counters().writes.empty());
}

TEST_F(TransferTest, MapHalfStepsSurviveOnlyWhereTheModuleHoldsThem) {
    LinkEmulator();
    ModuleValue& dwell = *doc.Map(4)->Point(0).value;
    ModuleValue& accelDwell = *doc.Map(5)->Point(0).value;
    ModuleValue& advance = *doc.Map(0)->Point(0).value;
    SetMirrorSetting(false);
    EXPECT_TRUE(dwell.SetValue(2.5, true));
    EXPECT_TRUE(accelDwell.SetValue(2.5, true));
    EXPECT_TRUE(advance.SetValue(12.0, true));
    EXPECT_EQ(emulator->Core().Peek(0xB640), 0x2A);
    EXPECT_EQ(emulator->Core().Peek(0xB650), 0x02);
    EXPECT_EQ(emulator->Core().Peek(0xB600), 0x0C);
    EXPECT_NE(emulator->Core().Peek(0xB610), 0x0C);  // mirror off: the rear map stays
    ASSERT_TRUE(doc.Map(4)->UploadFromModule());
    ASSERT_TRUE(doc.Map(5)->UploadFromModule());
    EXPECT_EQ(dwell.GetValue(), 2.5);
    EXPECT_EQ(accelDwell.GetValue(), 2.0);
}

TEST_F(TransferTest, MirroredEditsWriteBothSparkMaps) {
    LinkEmulator();
    ModuleValue& front = *doc.Map(0)->Point(5).value;
    ModuleValue& rear = *doc.Map(1)->Point(5).value;
    EXPECT_TRUE(front.SetValue(30.0, true));
    EXPECT_EQ(emulator->Core().Peek(0xB605), 30);
    EXPECT_EQ(emulator->Core().Peek(0xB615), 30);
    EXPECT_TRUE(front.InSync());
    EXPECT_TRUE(rear.InSync());
    EXPECT_EQ(rear.GetValue(), 30.0);
}

TEST_F(TransferTest, AddressFollowsTheFirmware) {
    ModuleValue& live = doc.Map(0)->LiveValue();
    EXPECT_EQ(live.GetAddress(), 0x78);  // no module has identified
    for (uint8_t fw : {0x10, 0x11, 0x20}) {
        ResetLink();
        emu::EmulatorConfig config;
        config.firmware = fw;
        LinkEmulator(config);
        EXPECT_EQ(live.GetAddress(), fw == 0x10 ? 0x78 : 0x48) << int(fw);
    }
}

TEST_F(TransferTest, ModuleThatStopsAnsweringEndsTheDownloadAtTheFirstValue) {
    LinkScripted();
    scripted->GoSilent();
    doc.OnDownload();

    const int rounds = CommPort::Instance().Retries() + 1;
    EXPECT_EQ(scripted->CountOf(WriteFrame(0xB661, 0x02)), static_cast<std::size_t>(rounds));
    EXPECT_EQ(scripted->CountOf(WriteFrame(0xB670, 0x00)), 0u);
    ASSERT_EQ(host->Messages().size(), 2u);
    EXPECT_EQ(host->Messages()[0].text, kWriteFailure);
    EXPECT_EQ(host->Messages()[1].text, "Unable to Download Settings to Module");
    EXPECT_EQ(host->Messages()[1].caption, "Communications Error");
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
    ASSERT_EQ(host->Messages().size(), 2u);
    EXPECT_EQ(host->Messages()[0].text, kWriteFailure);
    EXPECT_EQ(host->Messages()[1].text, "Unable to Download Settings to Module");
}

TEST_F(TransferTest, MapDownloadStopsAtTheFirstFailingPoint) {
    LinkScripted();
    for (int i = 0; i < 3; ++i) scripted->Expect(WriteFrame(0xB620 + i, 0x00), {0x06});
    EXPECT_FALSE(doc.Map(2)->DownloadToModule());
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(doc.Map(2)->Point(i).value->InSync(), i < 3) << i;
    }
    EXPECT_EQ(scripted->CountOf(WriteFrame(0xB624, 0x00)), 0u);
}

TEST_F(TransferTest, FailedReadsChangeNothing) {
    LinkScripted();
    scripted->GoSilent();
    ModuleMap& map = *doc.Map(3);
    map.Point(4).value->StoreValue(7.0);
    map.Point(4).value->SetInSync(true);
    EXPECT_FALSE(map.UploadFromModule());
    EXPECT_EQ(map.Point(4).value->GetValue(), 7.0);
    EXPECT_TRUE(map.Point(4).value->InSync());
    EXPECT_FALSE(map.Point(5).value->InSync());

    host->ClearRecords();
    doc.revLimit().StoreValue(7040.0);
    doc.OnUpload();
    EXPECT_EQ(doc.revLimit().GetValue(), 7040.0);
    ASSERT_FALSE(host->Messages().empty());
    EXPECT_EQ(host->Messages().back().text, "Unable to Upload Module Settings");
    EXPECT_FALSE(doc.IsModified());
}

TEST_F(TransferTest, PartnerWriteFailureReportsFailureButKeepsTheFirstValue) {
    LinkScripted();
    scripted->Expect(WriteFrame(0xB607, 20), {0x06});
    ModuleValue& front = *doc.Map(0)->Point(7).value;
    ModuleValue& rear = *doc.Map(1)->Point(7).value;
    EXPECT_FALSE(front.SetValue(20.0, true));
    EXPECT_EQ(front.GetValue(), 20.0);
    EXPECT_TRUE(front.InSync());
    EXPECT_EQ(rear.GetValue(), 0.0);
    EXPECT_EQ(host->Messages().size(), 1u);
}

TEST_F(TransferTest, FailedWriteRestoresTheOldValue) {
    LinkScripted();
    scripted->GoSilent();
    ModuleValue& rev = doc.revLimit();
    EXPECT_FALSE(rev.SetValue(8000.0, false));
    EXPECT_EQ(rev.GetValue(), 6144.0);
    EXPECT_FALSE(rev.InSync());
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
    // Save a file to try to open during the upload.
    const std::string path = host.TempDir() + "/other.qvx";
    doc.revLimit().StoreValue(8064.0);
    ASSERT_EQ(doc.OnSaveDocument(path), DocStatus::Done);
    ASSERT_EQ(doc.OnNewDocument(), DocStatus::Done);

    emu::EmulatorConfig slow;
    slow.turnaroundUs = 150'000;  // a slow module: the link's waits dispatch events
    LinkEmulator(slow);
    ModuleMap* mapBefore = doc.Map(0);
    std::vector<DocStatus> seen;
    bool commandsEnabled = true;
    bool ran = false;
    host->ScheduleEventIn(20, [&] {
        ran = true;
        commandsEnabled = doc.OnUpdateUpload() || doc.OnUpdateDownload();
        seen.push_back(doc.OnNewDocument());
        seen.push_back(doc.OnOpenDocument(path));
    });
    doc.OnUpload();

    ASSERT_TRUE(ran) << "the upload dispatched no event";
    EXPECT_FALSE(commandsEnabled);
    EXPECT_EQ(seen, (std::vector<DocStatus>{DocStatus::Busy, DocStatus::Busy}));
    EXPECT_EQ(doc.Map(0), mapBefore);
    EXPECT_NE(doc.revLimit().GetValue(), 8064.0);
    EXPECT_TRUE(doc.revLimit().InSync());  // the upload finished into the same document
    EXPECT_EQ(doc.GetPathName(), "");
    // Afterwards they work again.
    EXPECT_EQ(doc.OnNewDocument(), DocStatus::Done);
}

TEST_F(TransferTest, OpeningAFileWithTheLinkUpOffersADownload) {
    const std::string path = host.TempDir() + "/offer.qvx";
    ASSERT_EQ(doc.OnSaveDocument(path), DocStatus::Done);

    ASSERT_EQ(doc.OnOpenDocument(path), DocStatus::Done);
    EXPECT_TRUE(host->Messages().empty());  // link down: nothing asked

    LinkEmulator();
    host->QueueAnswer(MsgResult::No);
    ASSERT_EQ(doc.OnOpenDocument(path), DocStatus::Done);
    ASSERT_EQ(host->Messages().size(), 1u);
    EXPECT_EQ(host->Messages()[0].text, "Do you want to download these settings to the module?");
    EXPECT_EQ(host->Messages()[0].caption, "Download Module Settings");
    EXPECT_EQ(host->Messages()[0].buttons, MsgButtons::YesNo);
    EXPECT_TRUE(emulator->Core().Counters().writes.empty());

    host->QueueAnswer(MsgResult::Yes);
    ASSERT_EQ(doc.OnOpenDocument(path), DocStatus::Done);
    EXPECT_EQ(emulator->Core().Counters().writes.size(), 108u);
}

}  // namespace
}  // namespace qx::test
