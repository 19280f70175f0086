// The pieces the commands are built from: setting names and how values are
// set, number texts, the progress bar and the byte-counting port.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>
#include <sstream>

#include "host/Clock.h"
#include "model/ModuleState.h"
#include "serial/MemoryLine.h"
#include "support/FakeHost.h"
#include "tools/qvx/CountingPort.h"
#include "tools/qvx/Format.h"
#include "tools/qvx/Progress.h"
#include "tools/qvx/Settings.h"

namespace qx::qvx {
namespace {

class QvxSettings : public ::testing::Test {
  protected:
    void SetUp() override { doc.InitializeDefaults(); }
    SettingRef Find(const std::string& name) {
        SettingRef ref;
        std::string error;
        EXPECT_TRUE(FindSetting(doc, name, ref, error)) << name << ": " << error;
        return ref;
    }
    std::string FindError(const std::string& name) {
        SettingRef ref;
        std::string error;
        EXPECT_FALSE(FindSetting(doc, name, ref, error)) << name;
        return error;
    }

    ScopedFakeHost host;  // the link stays down: values only step
    ModuleState doc;
};

TEST_F(QvxSettings, EveryBasicSettingAndMapPointHasAName) {
    auto all = AllSettings(doc);
    ASSERT_EQ(all.size(), 12u + 6u * 16u);
    EXPECT_EQ(all[5].name, "Rev Limit");
    EXPECT_EQ(all[5].unit, "rpm");
    EXPECT_EQ(all[5].value, &doc.revLimit());
    EXPECT_EQ(all[12].name, "Front Cylinder Spark Advance[0]");
    EXPECT_EQ(all[12 + 16 * 4 + 3].name, "Base Dwell[3]");
    EXPECT_DOUBLE_EQ(all[12 + 16 * 4 + 3].x, 3.2);
    EXPECT_EQ(all[12 + 16 * 4 + 3].xUnit, "volts");
    // Every name finds its own setting again.
    for (const auto& s : all) EXPECT_EQ(Find(s.name).value, s.value) << s.name;
}

TEST_F(QvxSettings, NamesIgnoreCaseSpacingAndPunctuationAndMayBeShortened) {
    EXPECT_EQ(Find("rev-limit").value, &doc.revLimit());
    EXPECT_EQ(Find("REV_LIMIT").value, &doc.revLimit());
    EXPECT_EQ(Find("revLimitRate").value, &doc.revLimitRate());  // member names work too
    EXPECT_EQ(Find("nos").value, &doc.nosArmingRpm());
    EXPECT_EQ(Find("front[3]").value, doc.Map(0)->Point(3).value.get());
    EXPECT_EQ(Find("base dwell [15]").value, doc.Map(4)->Point(15).value.get());
    EXPECT_EQ(Find("Acceleration Dwell[0]").value, doc.Map(5)->Point(0).value.get());

    EXPECT_NE(FindError("rev").find("ambiguous"), std::string::npos);  // Rev Limit, Rev Limit Rate
    EXPECT_NE(FindError("acceleration[1]").find("ambiguous"), std::string::npos);
    EXPECT_NE(FindError("Turbo Boost").find("unknown"), std::string::npos);
    EXPECT_NE(FindError("front[16]").find("0 to 15"), std::string::npos);
    EXPECT_NE(FindError("front[-1]").find("0 to 15"), std::string::npos);
    EXPECT_NE(FindError("front[x]").find("0 to 15"), std::string::npos);
    EXPECT_NE(FindError("").find("unknown"), std::string::npos);
}

TEST_F(QvxSettings, ValuesAreClampedAndSteppedAsTheEditorDoes) {
    std::string error;
    SettingRef rev = Find("Rev Limit");
    ASSERT_TRUE(SetSetting(rev, "6100", error)) << error;
    EXPECT_EQ(doc.revLimit().GetValue(), 6144.0);
    EXPECT_FALSE(doc.revLimit().InSync());
    ASSERT_TRUE(SetSetting(rev, "99999", error));
    EXPECT_EQ(doc.revLimit().GetValue(), 10112.0);  // clamped, then onto the 128 grid

    SettingRef dwell = Find("Base Dwell[2]");
    ASSERT_TRUE(SetSetting(dwell, " 2.3 ", error));
    EXPECT_EQ(dwell.value->GetValue(), 2.5);
    ASSERT_TRUE(SetSetting(dwell, "-4", error));
    EXPECT_EQ(dwell.value->GetValue(), 0.0);

    for (const char* bad : {"", "abc", "12abc", "1,5", "nan", "inf"}) {
        EXPECT_FALSE(SetSetting(rev, bad, error)) << bad;
        EXPECT_NE(error.find("not a number"), std::string::npos) << bad;
    }
    EXPECT_EQ(doc.revLimit().GetValue(), 10112.0);
}

TEST_F(QvxSettings, SparkAdvancePointsDragTheirTwinWhileMirroringIsOn) {
    std::string error;
    SettingRef front = Find("front[3]");
    SetMirrorSetting(true);
    ASSERT_TRUE(SetSetting(front, "12", error));
    EXPECT_EQ(doc.Map(1)->Point(3).value->GetValue(), 12.0);
    SetMirrorSetting(false);
    ASSERT_TRUE(SetSetting(front, "20", error));
    EXPECT_EQ(doc.Map(0)->Point(3).value->GetValue(), 20.0);
    EXPECT_EQ(doc.Map(1)->Point(3).value->GetValue(), 12.0);
    SetMirrorSetting(true);
}

TEST_F(QvxSettings, TwoStateSettingsTakeOnlyTheirTwoValues) {
    std::string error;
    SettingRef mode = Find("Ignition Mode");
    ASSERT_TRUE(SetSetting(mode, "single", error));
    EXPECT_EQ(doc.ignitionMode().GetValue(), 1.0);
    ASSERT_TRUE(SetSetting(mode, "2", error));
    EXPECT_EQ(doc.ignitionMode().GetValue(), 2.0);
    EXPECT_FALSE(SetSetting(mode, "3", error));
    EXPECT_FALSE(SetSetting(mode, "1.5", error));
    EXPECT_EQ(doc.ignitionMode().GetValue(), 2.0);

    SettingRef lockout = Find("Switch Lockout On");
    ASSERT_TRUE(SetSetting(lockout, "on", error));
    EXPECT_EQ(doc.switchLockout().GetValue(), 170.0);
    ASSERT_TRUE(SetSetting(lockout, "0", error));
    EXPECT_EQ(doc.switchLockout().GetValue(), 0.0);
    EXPECT_FALSE(SetSetting(lockout, "1", error));
}

TEST(QvxFormat, NumbersNamesAndQuoting) {
    EXPECT_EQ(FormatNumber(6144), "6144");
    EXPECT_EQ(FormatNumber(1024.0 / 3.0), "341.333");
    EXPECT_EQ(FormatNumber(2.5), "2.5");
    EXPECT_EQ(FormatNumber(-0.0001), "0");
    EXPECT_EQ(FormatNumber(std::nan("")), "nan");

    std::string a, b;
    FormatPair(1.0, 1.00001, a, b);  // would look equal with three decimals
    EXPECT_NE(a, b);
    FormatPair(2.0, 3.0, a, b);
    EXPECT_EQ(a, "2");
    EXPECT_EQ(b, "3");

    EXPECT_EQ(JsonNumber(0.1), "0.1");
    EXPECT_EQ(JsonNumber(550), "550");
    EXPECT_EQ(JsonNumber(-0.0), "0");
    EXPECT_EQ(JsonNumber(1e20), "1e+20");
    EXPECT_EQ(JsonNumber(16.0 / 15.0), "1.0666666666666667");
    EXPECT_EQ(JsonNumber(std::numeric_limits<double>::infinity()), "null");
    EXPECT_EQ(JsonString("a\"b\\c\n\x01"), "\"a\\\"b\\\\c\\n\\u0001\"");
    EXPECT_EQ(CsvField("rpm / sec"), "rpm / sec");
    EXPECT_EQ(CsvField("a,b"), "\"a,b\"");
    EXPECT_EQ(CsvField("say \"hi\""), "\"say \"\"hi\"\"\"");
    EXPECT_EQ(NameKey("Engine Accel."), "engineaccel");
}

TEST(QvxFormat, NumbersIgnoreTheLocale) {
    const char* old = std::setlocale(LC_NUMERIC, nullptr);
    std::string saved = old ? old : "C";
    if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8")) GTEST_SKIP() << "no de_DE locale";
    EXPECT_EQ(FormatNumber(2.5), "2.5");
    EXPECT_EQ(JsonNumber(0.25), "0.25");
    std::setlocale(LC_NUMERIC, saved.c_str());
}

TEST(QvxProgress, DrawsOnlyWhenEnabledAndWhenThePercentageChanges) {
    std::ostringstream out;
    {
        ProgressBar bar(out, true, "Uploading", 200);
        bar.Update(0);
        bar.Update(1);  // still 0 %
        bar.Update(100);
        bar.Update(101);  // still 50 %
        EXPECT_EQ(bar.ShownPercent(), 50);
        bar.Update(1000);  // clamped
        EXPECT_EQ(bar.ShownPercent(), 100);
        bar.Complete();
    }
    const std::string text = out.str();
    auto count = [&](const std::string& what) {
        std::size_t n = 0;
        for (std::size_t at = text.find(what); at != std::string::npos;
             at = text.find(what, at + 1))
            ++n;
        return n;
    };
    EXPECT_EQ(count("\r"), 3u);  // 0, 50 and 100 %
    EXPECT_EQ(count("\n"), 1u);
    EXPECT_NE(text.find("Uploading [###############...............] 50 %"), std::string::npos);

    std::ostringstream quiet;
    {
        ProgressBar bar(quiet, false, "Uploading", 10);
        bar.Update(5);
        bar.Complete();
    }
    EXPECT_EQ(quiet.str(), "");

    std::ostringstream failed;
    {
        ProgressBar bar(failed, true, "Downloading", 10);
        bar.Update(3);
    }  // the line is ended even when the transfer stopped half way
    EXPECT_EQ(failed.str().back(), '\n');
    EXPECT_NE(failed.str().find("30 %"), std::string::npos);
}

TEST(QvxCountingPort, CountsBothDirectionsAndTellsTheObserver) {
    VirtualClock clock;
    auto line = std::make_unique<serial::MemoryLine>(clock, nullptr);
    serial::MemoryLine* raw = line.get();
    CountingPort port(std::move(line));
    int notes = 0;
    port.SetObserver([&] { ++notes; });

    EXPECT_EQ(port.WriteByte(0x18), 0);
    EXPECT_EQ(port.WriteByte(0x02), 0);
    raw->Feed({1, 2, 3, 4, 5, 6});
    EXPECT_EQ(port.ReadByte(10), 1);
    uint8_t buffer[3];
    EXPECT_EQ(port.GetBuffer(buffer, 3, 10), 3u);
    EXPECT_EQ(port.ReadByte(0), 5);
    EXPECT_EQ(port.RXCount(), 1u);
    port.RXFlush();  // the flushed byte crossed the line as well
    EXPECT_EQ(port.ReadByte(0), serial::kReadTimeout);
    EXPECT_EQ(port.BytesWritten(), 2u);
    EXPECT_EQ(port.BytesRead(), 6u);
    EXPECT_EQ(notes, 5);

    raw->SetRefuseWrites(true);
    EXPECT_NE(port.WriteByte(0x03), 0);
    EXPECT_EQ(port.BytesWritten(), 2u);  // a refused byte did not cross
    EXPECT_EQ(raw->Written(), (std::vector<uint8_t>{0x18, 0x02}));
}

}  // namespace
}  // namespace qx::qvx
