// The settings document: defaults, the file image, all-or-nothing loading, safe
// saving, and the document's own commands.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <cstring>
#include <filesystem>

#include "core/host/Profile.h"
#include "core/model/ModuleState.h"
#include "host/FileSizeLimit.h"
#include "model/ModelTestSupport.h"
#include "support/FileBytes.h"

namespace qx::test {
namespace {

using Bytes = std::vector<uint8_t>;

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}
Bytes RecordAt(const Bytes& b, std::size_t at) {
    return Bytes(b.begin() + at, b.begin() + at + 34);
}
Bytes Encoded(const ValueRecord& r) {
    Bytes out;
    EncodeValueRecord(r, out);
    return out;
}

// Offsets of basic record i and of map m's point p; +2 value, +10 min, +18 max, +26/+30 internal.
constexpr std::size_t Basic(int i) {
    return static_cast<std::size_t>(i) * 34;
}
constexpr std::size_t Point(int m, int p) {
    return 412 + static_cast<std::size_t>(m * 544 + p * 34);
}

class RecordingObserver : public DocumentObserver {
  public:
    void OnUpdate(DocumentBase&, int, ModuleMap* map) override { maps.push_back(map); }
    std::vector<ModuleMap*> maps;
};

class SettingsFileTest : public ModelTest {
  protected:
    SettingsFileTest() {
        doc.AddObserver(&observer);
        EXPECT_EQ(doc.OnNewDocument(), DocStatus::Done);
    }
    std::string Path(const char* name) const { return host.TempDir() + "/" + name; }

    ModuleState doc;
    RecordingObserver observer;
};

TEST_F(SettingsFileTest, NewDocumentAndItsFileByteForByte) {
    EXPECT_EQ(doc.nosArmingRpm().GetValue(), 4096.0);  // stored unstepped
    EXPECT_EQ(doc.startModeEnter().GetValue(), 350.0);
    for (int i = 0; i < kBasicValueCount; ++i) EXPECT_FALSE(doc.BasicValue(i).InSync());
    EXPECT_EQ(dynamic_cast<MirroredModuleValue&>(*doc.Map(0)->Point(9).value).Partner(),
              doc.Map(1)->Point(9).value.get());
    EXPECT_EQ(observer.maps, std::vector<ModuleMap*>{doc.Map(0)});

    const std::string path = Path("new.qvx");
    ASSERT_EQ(doc.OnSaveDocument(path), DocStatus::Done);
    const Bytes b = ReadFileBytes(path);
    ASSERT_EQ(b.size(), 3676u);
    EXPECT_EQ(b, doc.StoreContents());
    Bytes ignitionMode(34, 0);  // 61 B6, 2.0, 0.0, 0.0, 0, 0
    ignitionMode[0] = 0x61;
    ignitionMode[1] = 0xB6;
    ignitionMode[9] = 0x40;
    EXPECT_EQ(RecordAt(b, 0), ignitionMode);
    EXPECT_EQ(FieldAt<int32_t>(b, 408), 6);
    EXPECT_EQ(RecordAt(b, Basic(kRevLimit)), Encoded({0xB662, 6144.0, 1904.0, 10096.0, -32, 32}));
    EXPECT_EQ(RecordAt(b, Point(4, 15)), Encoded({0xB64F, 0.0, 0.0, 15.0, 0, 255}));
    EXPECT_EQ(doc.GetTitle(), "new.qvx");
    EXPECT_FALSE(doc.IsModified());
}

TEST_F(SettingsFileTest, LoadingReplacesEverythingAndSteps) {
    Bytes b = doc.StoreContents();
    PutField(b, Basic(kRevLimit) + 2, 6100.0);  // between steps
    PutField(b, Point(0, 2) + 2, 12.0);
    PutField(b, Point(4, 3) + 2, 2.6);           // stepped to 2.5
    PutField(b, Point(2, 1) + 18, 10.0);         // a point with a narrower range,
    PutField<int32_t>(b, Point(2, 1) + 30, 10);  // the same conversion
    PutField(b, Point(2, 1) + 2, 10.4);          // stepped to 10
    const std::string path = Path("edited.qvx");
    WriteFileBytes(path, b);

    doc.Map(3)->Point(0).value->StoreValue(9.0);  // an edit the file replaces
    doc.OnSelectMap(cmd::kMapFirst + 2);
    doc.SetModifiedFlag();
    observer.maps.clear();
    ASSERT_EQ(doc.OnOpenDocument(path), DocStatus::Done);

    EXPECT_EQ(doc.revLimit().GetValue(), 6144.0);
    EXPECT_FALSE(doc.revLimit().InSync());
    EXPECT_EQ(doc.Map(0)->Point(2).value->GetValue(), 12.0);
    EXPECT_EQ(doc.Map(4)->Point(3).value->GetValue(), 2.5);
    EXPECT_EQ(doc.Map(2)->Point(1).value->GetValue(), 10.0);
    EXPECT_EQ(doc.Map(3)->Point(0).value->GetValue(), 0.0);
    EXPECT_EQ(doc.CurrentMap(), 2);  // kept
    EXPECT_EQ(observer.maps, std::vector<ModuleMap*>{doc.Map(2)});
    EXPECT_FALSE(doc.IsModified());
    EXPECT_EQ(doc.GetPathName(), path);
    EXPECT_EQ(dynamic_cast<MirroredModuleValue&>(*doc.Map(1)->Point(2).value).Partner(),
              doc.Map(0)->Point(2).value.get());
    EXPECT_TRUE(host->Messages().empty());
}

struct BadFile {
    void (*spoil)(Bytes&);
    const char* mentioned;  // a word the message must contain
};

const BadFile kBadFiles[] = {
    {[](Bytes& b) { b.resize(3675); }, "3675 bytes"},
    {[](Bytes& b) { b.clear(); }, "0 bytes"},
    {[](Bytes& b) { b.push_back(0); }, "longer"},
    {[](Bytes& b) { PutField<int32_t>(b, 408, 5); }, "map count"},
    {[](Bytes& b) { PutField<int32_t>(b, 408, 7); }, "map count"},
    {[](Bytes& b) { PutField(b, Basic(kRevLimit) + 2, std::nan("")); }, "finite"},
    {[](Bytes& b) { PutField(b, Point(3, 3) + 18, HUGE_VAL); }, "finite"},
    {[](Bytes& b) { PutField(b, Basic(kRevLimit) + 10, 20000.0); }, "minimum"},  // above max
    {[](Bytes& b) { PutField<uint16_t>(b, Point(5, 15), 0xB7FE); }, "0xB7FE"},   // serial
    {[](Bytes& b) { b[0] = 0x62; }, "address"},                                  // not its own
    {[](Bytes& b) { PutField<int32_t>(b, Basic(kCamSensorOffset) + 30, 0); }, "internal"},  // equal
    {[](Bytes& b) { PutField<int32_t>(b, Basic(kRevLimit) + 26, -200); },
     "internal"},                                                                 // signed byte
    {[](Bytes& b) { PutField<int32_t>(b, Point(4, 0) + 30, 300); }, "internal"},  // byte
    {[](Bytes& b) { PutField(b, Point(2, 1) + 2, 21.5); }, "outside its range"},  // max 20
    // Points are named as the graph numbers them, from 1.
    {[](Bytes& b) { PutField(b, Point(2, 10) + 2, 21.5); }, "point 11: "},
    // No range: the two values the Basic Setup dialog offers and nothing else.
    {[](Bytes& b) { PutField(b, Basic(kIgnitionMode) + 2, 1e6); }, "1 (single fire) or 2"},
    {[](Bytes& b) { PutField(b, Basic(kIgnitionMode) + 2, 200.0); },
     "Ignition Mode\": the value 200"},
    {[](Bytes& b) { PutField(b, Basic(kIgnitionMode) + 2, 0.0); }, "1 (single fire) or 2"},
    {[](Bytes& b) { PutField(b, Basic(kIgnitionMode) + 2, 1.5); }, "1 (single fire) or 2"},
    {[](Bytes& b) { PutField(b, Basic(kSwitchLockout) + 2, 1.0); }, "170 (on) or 0 (off)"},
    {[](Bytes& b) {  // the value steps to 0.0, internal -45: once 0xAD on the wire
         PutField(b, Point(0, 0) + 10, 0.2);
         PutField(b, Point(0, 0) + 18, 0.4);
         PutField(b, Point(0, 0) + 2, 0.3);
     },
     "internal range 0 to 45"},
    {[](Bytes& b) {  // each end finite, their difference not
         PutField(b, Point(0, 1) + 10, -1.7e308);
         PutField(b, Point(0, 1) + 18, 1.7e308);
     },
     "finite"},
    {[](Bytes& b) { PutField(b, Point(4, 1) + 18, 14.8); }, "converts otherwise"},  // 15: 258
    // A file never widens what the module takes: 200 deg of advance at 0xB600.
    {[](Bytes& b) {
         PutField(b, Point(0, 0) + 18, 255.0);
         PutField<int32_t>(b, Point(0, 0) + 30, 255);
         PutField(b, Point(0, 0) + 2, 200.0);
     },
     "wider than the module's 0 to 45"},
    {[](Bytes& b) {  // no range at all
         PutField(b, Point(0, 0) + 18, 0.0);
         PutField<int32_t>(b, Point(0, 0) + 30, 0);
         PutField(b, Point(0, 0) + 2, 200.0);
     },
     "no range where the module's is 0 to 45"},
    {[](Bytes& b) { PutField<int32_t>(b, Basic(kRevLimit) + 30, 127); },
     "internal range -32 to 127"},
    {[](Bytes& b) { PutField(b, Point(0, 1) + 18, 0.0); }, "no range over internal range 0 to 45"},
};

TEST_F(SettingsFileTest, BadFilesAreRefusedAndTheOpenDocumentStaysAsItWas) {
    // An open document with edits, a path and a current map.
    const std::string original = Path("original.qvx");
    doc.Map(0)->Point(4).value->SetValue(17.0, true);
    doc.revLimit().SetValue(8000.0, false);
    ASSERT_EQ(doc.OnSaveDocument(original), DocStatus::Done);
    doc.OnSelectMap(cmd::kMapFirst + 4);
    doc.SetModifiedFlag();
    const Bytes good = doc.StoreContents();
    ModuleMap* mapBefore = doc.Map(4);
    observer.maps.clear();
    const std::string path = Path("bad.qvx");

    for (const BadFile& bad : kBadFiles) {
        SCOPED_TRACE(&bad - kBadFiles);
        Bytes b = good;
        bad.spoil(b);
        WriteFileBytes(path, b);
        host->ClearRecords();
        EXPECT_NE(doc.CheckContents(b), "");
        EXPECT_EQ(doc.OnOpenDocument(path), DocStatus::Failed);
        ASSERT_EQ(host->Messages().size(), 1u);
        const std::string& text = host->Messages()[0].text;
        EXPECT_TRUE(Contains(text, path) && Contains(text, bad.mentioned)) << text;
        EXPECT_EQ(doc.StoreContents(), good);
        EXPECT_EQ(doc.Map(4), mapBefore);
        EXPECT_EQ(doc.CurrentMap(), 4);
        EXPECT_TRUE(doc.IsModified());
        EXPECT_EQ(doc.GetPathName(), original);
        EXPECT_TRUE(observer.maps.empty());
    }
    host->ClearRecords();
    EXPECT_EQ(doc.OnOpenDocument(Path("missing.qvx")), DocStatus::Failed);
    EXPECT_EQ(host->Messages().size(), 1u);
    EXPECT_EQ(doc.OnOpenDocument(host.TempDir()), DocStatus::Failed);  // a folder
    EXPECT_EQ(doc.StoreContents(), good);
}

TEST_F(SettingsFileTest, FilesThisSystemWritesAlwaysLoad) {
    // Extremes of every range, and the values an upload can produce.
    doc.revLimit().SetValue(1e9, false);
    doc.auxRevLimit().SetValue(-1e9, false);
    doc.camSensorSync().SetValue(-15.0, false);
    doc.switchLockout().SetValue(170.0, false);
    EXPECT_FALSE(doc.ignitionMode().SetValue(1e6, false));  // more than its byte holds
    // Defaults are stored unstepped and stepped on loading; step them here so
    // that the file must come back byte for byte.
    doc.startModeEnter().SetValue(350.0, false);
    doc.nosArmingRpm().SetValue(4096.0, false);
    for (int m = 0; m < kMapCount; ++m) {
        for (int p = 0; p < 16; ++p) doc.Map(m)->Point(p).value->SetValue(p * 100.0, false);
    }
    const std::string path = Path("extremes.qvx");
    ASSERT_EQ(doc.OnSaveDocument(path), DocStatus::Done);
    ModuleState other;
    ASSERT_EQ(other.OnOpenDocument(path), DocStatus::Done) << host->LastMessage().text;
    EXPECT_EQ(other.StoreContents(), doc.StoreContents());

    // Every byte an upload can read, into every value.
    for (int byte = 0; byte < 256; ++byte) {
        for (int i = 0; i < kBasicValueCount; ++i) doc.BasicValue(i).SetFromInternal(byte);
        for (int m = 0; m < kMapCount; ++m) {
            for (int p = 0; p < 16; ++p) doc.Map(m)->Point(p).value->SetFromInternal(byte);
        }
        EXPECT_EQ(doc.CheckContents(doc.StoreContents()), "") << byte;
    }
}

TEST_F(SettingsFileTest, SavingNeverDestroysThePreviousFile) {
    const std::string path = Path("keep.qvx");
    ASSERT_EQ(doc.OnSaveDocument(path), DocStatus::Done);
    const Bytes first = ReadFileBytes(path);
    ::chmod(path.c_str(), 0640);
    doc.revLimit().SetValue(9000.0, false);
    ASSERT_EQ(doc.OnSaveDocument(path), DocStatus::Done);
    EXPECT_NE(ReadFileBytes(path), first);
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);  // permissions kept

    // A target that cannot be replaced (a folder) fails and is left alone.
    const std::string folder = Path("folder.qvx");
    ASSERT_TRUE(std::filesystem::create_directory(folder));
    host->ClearRecords();
    doc.SetModifiedFlag();
    EXPECT_EQ(doc.OnSaveDocument(folder), DocStatus::Failed);
    ASSERT_EQ(host->Messages().size(), 1u);
    EXPECT_TRUE(Contains(host->Messages()[0].text, folder));
    EXPECT_TRUE(doc.IsModified());
    EXPECT_EQ(doc.GetPathName(), path);
    EXPECT_TRUE(std::filesystem::is_directory(folder));
    EXPECT_EQ(doc.OnSaveDocument(Path("nowhere/x.qvx")), DocStatus::Failed);  // no folder at all

    // The real case: the file exists and the write fails part way (as on a full disk).
    const Bytes saved = ReadFileBytes(path);
    doc.revLimit().SetValue(7040.0, false);
    host->ClearRecords();
    DocStatus status;
    {
        FileSizeLimit limit(1000);
        status = doc.OnSaveDocument(path);
    }
    EXPECT_EQ(status, DocStatus::Failed);
    ASSERT_EQ(host->Messages().size(), 1u);
    EXPECT_EQ(host->Messages()[0].text, "Unable to save \"" + path +
                                            "\":\nFile too large.\nThe previous file has not "
                                            "been changed.");
    EXPECT_EQ(ReadFileBytes(path), saved);
    EXPECT_TRUE(doc.IsModified());

    // No temporary file is left behind.
    for (const auto& e : std::filesystem::directory_iterator(host.TempDir())) {
        const std::string n = e.path().filename();
        EXPECT_TRUE(n == "keep.qvx" || n == "folder.qvx") << n;
    }
}

TEST_F(SettingsFileTest, MapSelectionMirrorToggleAndCommandsRefusedWhileBusy) {
    observer.maps.clear();
    doc.OnSelectMap(cmd::kMapFirst + 3);  // Ctrl+4
    doc.OnSelectMap(cmd::kMapLast + 1);   // not a map command
    EXPECT_EQ(doc.CurrentMap(), 3);
    EXPECT_TRUE(doc.OnUpdateSelectMap(cmd::kMapFirst + 3));
    EXPECT_FALSE(doc.OnUpdateSelectMap(cmd::kMapFirst));
    EXPECT_EQ(observer.maps, std::vector<ModuleMap*>{doc.Map(3)});

    for (int expected : {0, 1}) {
        doc.OnToggleMirror();
        EXPECT_EQ(AppProfile().GetInt("Settings", "Mirror", -1), expected);
        EXPECT_EQ(doc.OnUpdateToggleMirror(), expected == 1);
    }
    // A new document reads the setting from the profile.
    AppProfile().WriteInt("Settings", "Mirror", 0);
    ASSERT_EQ(doc.OnNewDocument(), DocStatus::Done);
    EXPECT_FALSE(MirrorSetting());
    EXPECT_EQ(doc.CurrentMap(), 0);

    // While a module command runs, replacing the document is refused (Basic
    // Setup is put off by its command's rule in the window's command table).
    const std::string path = Path("x.qvx");
    ASSERT_EQ(doc.OnSaveDocument(path), DocStatus::Done);
    doc.revLimit().SetValue(9000.0, false);
    ModuleMap* before = doc.Map(0);
    host->ClearRecords();
    {
        CommandBusyScope busy(false);
        EXPECT_FALSE(doc.CanReplaceContents());
        EXPECT_EQ(doc.OnNewDocument(), DocStatus::Busy);
        EXPECT_EQ(doc.OnOpenDocument(path), DocStatus::Busy);
    }
    EXPECT_EQ(doc.Map(0), before);
    EXPECT_EQ(doc.revLimit().GetValue(), 8960.0);
    EXPECT_TRUE(host->Messages().empty());
    EXPECT_TRUE(doc.CanReplaceContents());
}

}  // namespace
}  // namespace qx::test
