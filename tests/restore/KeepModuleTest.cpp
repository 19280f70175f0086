// Every transfer that reads or overwrites the module's settings leaves a
// restore point holding what the module held, read from the emulator's memory
// before the transfer.
#include <gtest/gtest.h>

#include "core/model/ModuleState.h"
#include "core/model/Relink.h"
#include "model/LinkedTestSupport.h"
#include "restore/RestoreTestSupport.h"
#include "support/ModuleMemory.h"

namespace qx::test {
namespace {

class KeepModuleTest : public LinkedDocumentTest {
  protected:
    ModuleMemory Module() const {
        return SettingBytes([this](uint16_t a) { return emulator->Core().Peek(a); });
    }
    // A tune unlike the defaults, every byte one the program would write.
    void PokeATune(int shift) {
        // Base dwell (map 4) steps 0.5 msec at 1/17 msec a count: counts 8.5 k, truncated.
        const uint8_t dwell[16] = {0,  8,  17, 25, 34,  42,  51,  59,
                                   68, 76, 85, 93, 102, 110, 119, 127};
        const int tops[6] = {45, 45, 20, 15, 0, 15};
        for (int map = 0; map < 6; ++map) {
            for (int i = 0; i < 16; ++i) {
                const auto a = static_cast<uint16_t>(0xB600 + 16 * map + i);
                const int b =
                    map == 4 ? dwell[(i + shift) % 16] : (i * 3 + shift + map) % (tops[map] + 1);
                emulator->Core().Poke(a, static_cast<uint8_t>(b));
            }
        }
        emulator->Core().Poke(0xB662, static_cast<uint8_t>(2 + shift % 3));  // rev limit
        emulator->Core().Poke(0xB671, static_cast<uint8_t>(shift % 9));      // rev limit rate
    }
    ModuleMemory PointMemory(const RestorePoint& point) {
        return FileDownloadBytes(points.Store().PathOf(point));
    }
    void Unlink() { CommPort::Instance().BreakLink(); }
    void Relink() { Open(emulator.get()); }

    ScopedRestorePoints points{host};
};

TEST_F(KeepModuleTest, DownloadAllKeepsWhatTheModuleHeldBeforeIt) {
    LinkEmulator();
    PokeATune(1);
    const ModuleMemory before = Module();
    doc.SetPathName("/t/tune.qvx");
    doc.OnDownload();

    EXPECT_TRUE(host->Messages().empty());
    EXPECT_EQ(emulator->Core().Counters().writes.size(), 108u);
    EXPECT_EQ(emulator->Core().Peek(0xB603), 0);  // the new document's
    const std::vector<RestorePoint> list = points.Store().List();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(PointMemory(list[0]), before);
    EXPECT_EQ(list[0].serial, 42);
    EXPECT_EQ(list[0].firmware, 0x10);
    EXPECT_EQ(list[0].next, "download");
    EXPECT_EQ(list[0].tunerFile, "/t/tune.qvx");
    EXPECT_EQ(list[0].inexact, 0);
}

TEST_F(KeepModuleTest, WriteChangesAfterARelinkKeepsTheModuleNotWhatWasKnownOfIt) {
    LinkEmulator();
    CheckLinkedModule(doc);  // as the link does
    PokeATune(2);
    ASSERT_TRUE(doc.UploadSettings());
    ASSERT_EQ(points.Store().List().size(), 1u);
    EXPECT_EQ(points.Store().List()[0].next, "upload");

    // Away, the module is written by something else, and the tune is edited.
    Unlink();
    PokeATune(5);
    const ModuleMemory before = Module();
    ModuleValue& edited = *doc.Map(3)->Point(2).value;
    ASSERT_TRUE(edited.SetValue(edited.GetValue() == 0 ? 1 : 0, true));
    Relink();
    ASSERT_EQ(CheckLinkedModule(doc).what, AfterLink::WriteChanges);
    host->ClearRecords();
    host->clock().Advance(1000);
    const ModuleState::ChangedWrite written = doc.WriteChangedSettings(true);
    EXPECT_TRUE(written.ok);
    EXPECT_EQ(written.written, 1);

    const std::vector<RestorePoint> list = points.Store().List();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].next, "write changes");
    EXPECT_EQ(PointMemory(list[0]), before);
    EXPECT_TRUE(host->Messages().empty());

    // Nothing to write: nothing read, nothing kept.
    host->clock().Advance(1000);
    EXPECT_TRUE(doc.WriteChangedSettings(false).ok);
    EXPECT_EQ(points.Store().List().size(), 2u);
}

TEST_F(KeepModuleTest, UploadsKeepOnceAndSayWhatAFileCannotGiveBack) {
    LinkEmulator();
    PokeATune(3);
    const ModuleMemory before = Module();
    ASSERT_TRUE(doc.UploadSettings());
    host->clock().Advance(1000);
    ASSERT_TRUE(doc.UploadSettings());
    std::vector<RestorePoint> list = points.Store().List();
    ASSERT_EQ(list.size(), 1u);  // the same bytes twice
    EXPECT_EQ(PointMemory(list[0]), before);

    // 0xFF past the VOES map's range: kept as an upload reads it, and said so.
    emulator->Core().Poke(0xB62F, 0xFF);
    host->clock().Advance(1000);
    ASSERT_TRUE(doc.UploadSettings());
    list = points.Store().List();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].inexact, 1);
    EXPECT_EQ(PointMemory(list[0]).at(0xB62F), 20);  // the top of its range
}

TEST_F(KeepModuleTest, AFullDiskIsToldOnceAndTheTransfersGoOn) {
    LinkEmulator();
    SwappedFileCalls calls;
    calls->write = SwappedFileCalls::NoSpace;
    PokeATune(4);
    doc.OnDownload();
    EXPECT_EQ(emulator->Core().Peek(0xB603), 0);
    ASSERT_TRUE(doc.Map(0)->Point(3).value->SetValue(9.0, true));
    PokeATune(6);
    doc.OnDownload();
    ASSERT_TRUE(doc.UploadSettings());

    EXPECT_EQ(emulator->Core().Peek(0xB603), 9);  // the second download went through
    ASSERT_EQ(host->Messages().size(), 1u);
    EXPECT_NE(host->Messages()[0].text.find("could not be kept as a restore point"),
              std::string::npos);
    EXPECT_NE(host->Messages()[0].text.find(std::strerror(ENOSPC)), std::string::npos);
    EXPECT_EQ(host->Messages()[0].icon, MsgIcon::Warning);
    EXPECT_TRUE(points.Files().empty());
}

TEST_F(KeepModuleTest, AModuleThatCannotBeReadIsNotOverwritten) {
    LinkScripted();
    scripted->GoSilent();
    doc.OnDownload();
    EXPECT_EQ(scripted->CountOf(WriteFrame(0xB661, 0x02)), 0u);
    ASSERT_FALSE(host->Messages().empty());
    EXPECT_EQ(host->Messages().back().text, "Unable to Download Settings to Module");
    EXPECT_TRUE(points.Files().empty());
}

}  // namespace
}  // namespace qx::test
