// The settings document: defaults, the file image, all-or-nothing loading, safe
// saving, and the document's own commands.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>

#include "host/Profile.h"
#include "model/ModelTestSupport.h"
#include "model/ModuleState.h"

namespace qx::test {
namespace {

std::vector<uint8_t> ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteAll(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

double DoubleAt(const std::vector<uint8_t>& b, std::size_t at) {
    double d;
    std::memcpy(&d, b.data() + at, 8);  // the build machine is little-endian, as the file
    return d;
}

int32_t IntAt(const std::vector<uint8_t>& b, std::size_t at) {
    int32_t v;
    std::memcpy(&v, b.data() + at, 4);
    return v;
}

void PutDouble(std::vector<uint8_t>& b, std::size_t at, double d) {
    std::memcpy(b.data() + at, &d, 8);
}
void PutInt(std::vector<uint8_t>& b, std::size_t at, int32_t v) {
    std::memcpy(b.data() + at, &v, 4);
}

constexpr std::size_t kRecord = 34;
constexpr std::size_t kMaps = 412;
std::size_t MapPointAt(int map, int point) {
    return kMaps + static_cast<std::size_t>(map) * 544 + static_cast<std::size_t>(point) * kRecord;
}

class RecordingObserver : public DocumentObserver {
  public:
    void OnUpdate(DocumentBase&, int hint, ModuleMap* map) override {
        hints.push_back(hint);
        maps.push_back(map);
    }
    std::vector<int> hints;
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

TEST_F(SettingsFileTest, NewDocumentHasTheDefaults) {
    EXPECT_EQ(doc.ignitionMode().GetValue(), 2.0);
    EXPECT_EQ(doc.nosArmingRpm().GetValue(), 4096.0);  // stored unstepped
    EXPECT_EQ(doc.startModeEnter().GetValue(), 350.0);
    EXPECT_EQ(doc.revLimit().Delta(), 128.0);
    EXPECT_EQ(doc.CurrentMap(), 0);
    EXPECT_FALSE(doc.IsModified());
    EXPECT_EQ(doc.GetTitle(), "Untitled");
    for (int i = 0; i < kBasicValueCount; ++i) EXPECT_FALSE(doc.BasicValue(i).InSync());
    for (int m = 0; m < kMapCount; ++m) {
        ASSERT_NE(doc.Map(m), nullptr);
        for (int p = 0; p < 16; ++p) {
            EXPECT_EQ(doc.Map(m)->Point(p).value->GetValue(), 0.0);
            EXPECT_FALSE(doc.Map(m)->Point(p).value->InSync());
        }
    }
    auto* front = dynamic_cast<MirroredModuleValue*>(doc.Map(0)->Point(9).value.get());
    ASSERT_NE(front, nullptr);
    EXPECT_EQ(front->Partner(), doc.Map(1)->Point(9).value.get());
    ASSERT_EQ(observer.maps.size(), 1u);
    EXPECT_EQ(observer.maps[0], doc.Map(0));
    EXPECT_EQ(doc.Map(6), nullptr);
}

TEST_F(SettingsFileTest, NewDocumentFileByteForByte) {
    const std::string path = Path("new.qvx");
    ASSERT_EQ(doc.OnSaveDocument(path), DocStatus::Done);
    const std::vector<uint8_t> b = ReadAll(path);
    ASSERT_EQ(b.size(), 3676u);
    EXPECT_EQ(b, doc.StoreContents());
    // Ignition mode: 61 B6, 2.0, 0.0, 0.0, 0, 0.
    EXPECT_EQ(b[0], 0x61);
    EXPECT_EQ(b[1], 0xB6);
    EXPECT_EQ(DoubleAt(b, 2), 2.0);
    EXPECT_EQ(DoubleAt(b, 10), 0.0);
    EXPECT_EQ(DoubleAt(b, 18), 0.0);
    EXPECT_EQ(IntAt(b, 26), 0);
    EXPECT_EQ(IntAt(b, 30), 0);
    // Rev limit, the sixth record.
    const std::size_t rev = 5 * kRecord;
    EXPECT_EQ(b[rev], 0x62);
    EXPECT_EQ(DoubleAt(b, rev + 2), 6144.0);
    EXPECT_EQ(DoubleAt(b, rev + 10), 1904.0);
    EXPECT_EQ(DoubleAt(b, rev + 18), 10096.0);
    EXPECT_EQ(IntAt(b, rev + 26), -32);
    EXPECT_EQ(IntAt(b, rev + 30), 32);
    EXPECT_EQ(IntAt(b, 408), 6);
    // Map 4 point 15: address 0xB64F, 0 msec, range 0 to 15, internal 0 to 255.
    const std::size_t p = MapPointAt(4, 15);
    EXPECT_EQ(b[p], 0x4F);
    EXPECT_EQ(b[p + 1], 0xB6);
    EXPECT_EQ(DoubleAt(b, p + 18), 15.0);
    EXPECT_EQ(IntAt(b, p + 30), 255);
    EXPECT_EQ(doc.GetTitle(), "new.qvx");
    EXPECT_FALSE(doc.IsModified());
}

TEST_F(SettingsFileTest, LoadingReplacesEverythingAndSteps) {
    std::vector<uint8_t> b = doc.StoreContents();
    PutDouble(b, 5 * kRecord + 2, 6100.0);      // rev limit between steps
    PutDouble(b, MapPointAt(0, 2) + 2, 12.0);   // front spark point 2
    PutDouble(b, MapPointAt(4, 3) + 2, 2.6);    // base dwell point 3, stepped to 2.5
    PutDouble(b, MapPointAt(2, 1) + 18, 10.0);  // a point with its own range
    PutDouble(b, MapPointAt(2, 1) + 2, 15.0);
    const std::string path = Path("edited.qvx");
    WriteAll(path, b);

    doc.Map(3)->Point(0).value->StoreValue(9.0);  // an edit the file replaces
    doc.OnSelectMap(kCmdSelectMap1 + 2);
    doc.SetModifiedFlag();
    observer.maps.clear();
    ASSERT_EQ(doc.OnOpenDocument(path), DocStatus::Done);

    EXPECT_EQ(doc.revLimit().GetValue(), 6144.0);
    EXPECT_FALSE(doc.revLimit().InSync());
    EXPECT_EQ(doc.revLimit().Delta(), 128.0);
    EXPECT_EQ(doc.Map(0)->Point(2).value->GetValue(), 12.0);
    EXPECT_EQ(doc.Map(4)->Point(3).value->GetValue(), 2.5);
    EXPECT_EQ(doc.Map(2)->Point(1).value->GetValue(), 10.0);
    EXPECT_EQ(doc.Map(2)->Point(1).value->Max(), 10.0);
    EXPECT_EQ(doc.Map(3)->Point(0).value->GetValue(), 0.0);
    EXPECT_EQ(doc.CurrentMap(), 2);  // kept
    ASSERT_EQ(observer.maps.size(), 1u);
    EXPECT_EQ(observer.maps[0], doc.Map(2));
    EXPECT_FALSE(doc.IsModified());
    EXPECT_EQ(doc.GetPathName(), path);
    auto* rear = dynamic_cast<MirroredModuleValue*>(doc.Map(1)->Point(2).value.get());
    ASSERT_NE(rear, nullptr);
    EXPECT_EQ(rear->Partner(), doc.Map(0)->Point(2).value.get());
    EXPECT_TRUE(host->Messages().empty());
}

struct BadFile {
    const char* what;
    void (*spoil)(std::vector<uint8_t>&);
    const char* mentioned;  // a word the message must contain
};

const BadFile kBadFiles[] = {
    {"too short", [](std::vector<uint8_t>& b) { b.resize(3675); }, "3675 bytes"},
    {"empty", [](std::vector<uint8_t>& b) { b.clear(); }, "0 bytes"},
    {"too long", [](std::vector<uint8_t>& b) { b.push_back(0); }, "longer"},
    {"map count 5", [](std::vector<uint8_t>& b) { PutInt(b, 408, 5); }, "map count"},
    {"map count 7", [](std::vector<uint8_t>& b) { PutInt(b, 408, 7); }, "map count"},
    {"NaN value", [](std::vector<uint8_t>& b) { PutDouble(b, 5 * kRecord + 2, std::nan("")); },
     "finite"},
    {"infinite max",
     [](std::vector<uint8_t>& b) {
         PutDouble(b, MapPointAt(3, 3) + 18, std::numeric_limits<double>::infinity());
     },
     "finite"},
    {"min above max", [](std::vector<uint8_t>& b) { PutDouble(b, 5 * kRecord + 10, 20000.0); },
     "minimum"},
    {"serial number address in a map",
     [](std::vector<uint8_t>& b) {
         b[MapPointAt(5, 15)] = 0xFE;
         b[MapPointAt(5, 15) + 1] = 0xB7;
     },
     "0xB7FE"},
    {"another setting's address", [](std::vector<uint8_t>& b) { b[0] = 0x62; }, "address"},
    {"range with equal internal limits",
     [](std::vector<uint8_t>& b) { PutInt(b, 3 * kRecord + 30, 0); }, "internal"},
    {"internal range too wide for a signed byte",
     [](std::vector<uint8_t>& b) { PutInt(b, 5 * kRecord + 26, -200); }, "internal"},
    {"internal range too wide for a byte",
     [](std::vector<uint8_t>& b) { PutInt(b, MapPointAt(4, 0) + 30, 300); }, "internal"},
};

TEST_F(SettingsFileTest, BadFilesAreRefusedAndTheOpenDocumentStaysAsItWas) {
    // An open document with edits, a path and a current map.
    const std::string original = Path("original.qvx");
    doc.Map(0)->Point(4).value->SetValue(17.0, true);
    doc.revLimit().SetValue(8000.0, false);
    ASSERT_EQ(doc.OnSaveDocument(original), DocStatus::Done);
    doc.OnSelectMap(kCmdSelectMap1 + 4);
    doc.SetModifiedFlag();
    const std::vector<uint8_t> good = doc.StoreContents();
    ModuleMap* mapBefore = doc.Map(4);
    observer.maps.clear();

    for (const BadFile& bad : kBadFiles) {
        SCOPED_TRACE(bad.what);
        std::vector<uint8_t> b = good;
        bad.spoil(b);
        const std::string path = Path("bad.qvx");
        WriteAll(path, b);
        host->ClearRecords();
        EXPECT_NE(doc.CheckContents(b), "");
        EXPECT_EQ(doc.OnOpenDocument(path), DocStatus::Failed);
        ASSERT_EQ(host->Messages().size(), 1u);
        EXPECT_NE(host->Messages()[0].text.find(path), std::string::npos);
        EXPECT_NE(host->Messages()[0].text.find(bad.mentioned), std::string::npos)
            << host->Messages()[0].text;
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
    doc.ignitionMode().SetValue(1e6, false);
    // Defaults are stored unstepped and stepped on loading; step them here so
    // that the file must come back byte for byte.
    doc.startModeEnter().SetValue(350.0, false);
    doc.nosArmingRpm().SetValue(4096.0, false);
    for (int m = 0; m < kMapCount; ++m) {
        for (int p = 0; p < 16; ++p) doc.Map(m)->Point(p).value->SetValue(p * 100.0, false);
    }
    const std::string path = Path("extremes.qvx");
    ASSERT_EQ(doc.OnSaveDocument(path), DocStatus::Done);
    const std::vector<uint8_t> saved = doc.StoreContents();
    ModuleState other;
    ASSERT_EQ(other.OnOpenDocument(path), DocStatus::Done) << host->LastMessage().text;
    const std::vector<uint8_t> loaded = other.StoreContents();
    ASSERT_EQ(loaded.size(), saved.size());
    for (std::size_t i = 0; i < saved.size(); ++i) {
        ASSERT_EQ(loaded[i], saved[i]) << "first difference at byte " << i;
    }
}

TEST_F(SettingsFileTest, SavingNeverDestroysThePreviousFile) {
    const std::string path = Path("keep.qvx");
    ASSERT_EQ(doc.OnSaveDocument(path), DocStatus::Done);
    const std::vector<uint8_t> first = ReadAll(path);
    ::chmod(path.c_str(), 0640);

    doc.revLimit().SetValue(9000.0, false);
    ASSERT_EQ(doc.OnSaveDocument(path), DocStatus::Done);
    EXPECT_NE(ReadAll(path), first);
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);  // permissions kept

    // A target that cannot be replaced (a folder) fails and is left alone.
    const std::string folder = Path("folder.qvx");
    ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
    WriteAll(folder + "/inside", {1, 2, 3});
    host->ClearRecords();
    doc.SetModifiedFlag();
    EXPECT_EQ(doc.OnSaveDocument(folder), DocStatus::Failed);
    ASSERT_EQ(host->Messages().size(), 1u);
    EXPECT_NE(host->Messages()[0].text.find(folder), std::string::npos);
    EXPECT_TRUE(doc.IsModified());
    EXPECT_EQ(doc.GetPathName(), path);
    EXPECT_EQ(ReadAll(folder + "/inside"), (std::vector<uint8_t>{1, 2, 3}));
    // No folder to write in at all.
    EXPECT_EQ(doc.OnSaveDocument(Path("nowhere/x.qvx")), DocStatus::Failed);

    // No temporary file is left behind.
    DIR* dir = ::opendir(host.TempDir().c_str());
    ASSERT_NE(dir, nullptr);
    std::vector<std::string> names;
    while (dirent* e = ::readdir(dir)) names.emplace_back(e->d_name);
    ::closedir(dir);
    for (const std::string& n : names) EXPECT_EQ(n.find(".keep.qvx."), std::string::npos) << n;
    for (const std::string& n : names) EXPECT_EQ(n.find(".folder.qvx."), std::string::npos) << n;
}

TEST_F(SettingsFileTest, ReplacingIsRefusedWhileAModuleCommandRuns) {
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

TEST_F(SettingsFileTest, MapSelectionMirrorToggleAndBasicSettingsHook) {
    observer.maps.clear();
    doc.OnSelectMap(kCmdSelectMap1 + 3);  // Ctrl+4
    EXPECT_EQ(doc.CurrentMap(), 3);
    EXPECT_TRUE(doc.OnUpdateSelectMap(kCmdSelectMap1 + 3));
    EXPECT_FALSE(doc.OnUpdateSelectMap(kCmdSelectMap1));
    ASSERT_EQ(observer.maps.size(), 1u);
    EXPECT_EQ(observer.maps[0], doc.Map(3));
    EXPECT_EQ(observer.maps[0]->Title(), "Acceleration Correction");
    doc.OnSelectMap(kCmdSelectMap6 + 1);  // not a map command
    EXPECT_EQ(doc.CurrentMap(), 3);

    const int before = AppProfile().GetInt("Settings", "Mirror", 1);
    EXPECT_EQ(doc.OnUpdateToggleMirror(), before != 0);
    doc.OnToggleMirror();
    EXPECT_EQ(AppProfile().GetInt("Settings", "Mirror", 1), before != 0 ? 0 : 1);
    EXPECT_EQ(doc.OnUpdateToggleMirror(), before == 0);
    doc.OnToggleMirror();
    EXPECT_EQ(AppProfile().GetInt("Settings", "Mirror", 1), before);
    EXPECT_EQ(doc.OnUpdateToggleMirror(), before != 0);

    // A new document reads the setting from the profile.
    AppProfile().WriteInt("Settings", "Mirror", 0);
    ASSERT_EQ(doc.OnNewDocument(), DocStatus::Done);
    EXPECT_FALSE(MirrorSetting());
    EXPECT_EQ(doc.CurrentMap(), 0);

    int shown = 0;
    doc.SetBasicSettingsHook([&] { ++shown; });
    doc.OnBasicSettings();
    EXPECT_EQ(shown, 1);
    {
        CommandBusyScope busy(false);  // postponed while a command runs
        doc.OnBasicSettings();
    }
    EXPECT_EQ(shown, 1);
}

TEST_F(SettingsFileTest, ObserversAreToldExceptTheSender) {
    RecordingObserver second;
    doc.AddObserver(&second);
    doc.AddObserver(&second);  // once only
    observer.maps.clear();
    doc.UpdateAllViews(&observer, 0, doc.Map(1));
    EXPECT_TRUE(observer.maps.empty());
    EXPECT_EQ(second.maps, std::vector<ModuleMap*>{doc.Map(1)});
    doc.RemoveObserver(&second);
    doc.UpdateAllViews(nullptr);
    EXPECT_EQ(second.maps.size(), 1u);
    EXPECT_EQ(observer.maps.size(), 1u);
}

}  // namespace
}  // namespace qx::test
