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
    // The setting found by name, or the error text when ok is false.
    SettingRef Find(const std::string& name, std::string* error = nullptr) {
        SettingRef ref;
        std::string text;
        EXPECT_EQ(FindSetting(doc, name, ref, text), error == nullptr) << name << ": " << text;
        if (error) *error = text;
        return ref;
    }
    // Sets name to text; the value afterwards, or NaN when refused.
    double Set(const std::string& name, const std::string& text) {
        SettingRef ref = Find(name);
        std::string error;
        return SetSetting(ref, text, error) ? ref.value->GetValue() : std::nan("");
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
    const std::pair<const char*, const char*> bad[] = {
        {"rev", "ambiguous"},  // Rev Limit, Rev Limit Rate
        {"acceleration[1]", "ambiguous"},
        {"Turbo Boost", "unknown"},
        {"front[16]", "0 to 15"},
        {"front[-1]", "0 to 15"},
        {"front[x]", "0 to 15"},
        {"", "unknown"}};
    for (const auto& [name, says] : bad) {
        std::string error;
        Find(name, &error);
        EXPECT_NE(error.find(says), std::string::npos) << name << ": " << error;
    }
}

TEST_F(QvxSettings, ValuesAreClampedAndSteppedAsTheEditorDoes) {
    EXPECT_EQ(Set("Rev Limit", "6100"), 6144.0);
    EXPECT_FALSE(doc.revLimit().InSync());
    EXPECT_EQ(Set("Rev Limit", "99999"), 10112.0);  // clamped, then onto the 128 grid
    EXPECT_EQ(Set("Base Dwell[2]", " 2.3 "), 2.5);
    EXPECT_EQ(Set("Base Dwell[2]", "-4"), 0.0);
    SettingRef rev = Find("Rev Limit");
    for (const char* text : {"", "abc", "12abc", "1,5", "nan", "inf"}) {
        std::string error;
        EXPECT_FALSE(SetSetting(rev, text, error)) << text;
        EXPECT_NE(error.find("not a number"), std::string::npos) << text;
    }
    EXPECT_EQ(doc.revLimit().GetValue(), 10112.0);

    // Two-state settings take only their two values.
    EXPECT_EQ(Set("Ignition Mode", "single"), 1.0);
    EXPECT_EQ(Set("Ignition Mode", "2"), 2.0);
    EXPECT_TRUE(std::isnan(Set("Ignition Mode", "3")));
    EXPECT_TRUE(std::isnan(Set("Ignition Mode", "1.5")));
    EXPECT_EQ(doc.ignitionMode().GetValue(), 2.0);
    EXPECT_EQ(Set("Switch Lockout On", "on"), 170.0);
    EXPECT_EQ(Set("Switch Lockout On", "0"), 0.0);
    EXPECT_TRUE(std::isnan(Set("Switch Lockout On", "1")));
}

TEST(QvxFormat, NumbersNamesAndQuotingWhateverTheLocale) {
    const std::string saved = std::setlocale(LC_NUMERIC, nullptr);
    std::setlocale(LC_NUMERIC, "de_DE.UTF-8");  // a decimal comma where it is installed
    EXPECT_EQ(FormatNumber(6144), "6144");
    EXPECT_EQ(FormatNumber(1024.0 / 3.0), "341.333");
    EXPECT_EQ(FormatNumber(2.5), "2.5");
    EXPECT_EQ(FormatNumber(-0.0001), "0");
    EXPECT_EQ(FormatNumber(std::nan("")), "nan");
    std::string a, b;
    FormatPair(1.0, 1.00001, a, b);  // would look equal with three decimals
    EXPECT_NE(a, b);
    FormatPair(2.0, 3.0, a, b);
    EXPECT_EQ(a + " " + b, "2 3");
    EXPECT_EQ(JsonNumber(0.1), "0.1");
    EXPECT_EQ(JsonNumber(0.25), "0.25");
    EXPECT_EQ(JsonNumber(550), "550");
    EXPECT_EQ(JsonNumber(-0.0), "0");
    EXPECT_EQ(JsonNumber(1e20), "1e+20");
    EXPECT_EQ(JsonNumber(16.0 / 15.0), "1.0666666666666667");
    EXPECT_EQ(JsonNumber(std::numeric_limits<double>::infinity()), "null");
    std::setlocale(LC_NUMERIC, saved.c_str());
    EXPECT_EQ(JsonString("a\"b\\c\n\x01"), "\"a\\\"b\\\\c\\n\\u0001\"");
    EXPECT_EQ(CsvField("rpm / sec"), "rpm / sec");
    EXPECT_EQ(CsvField("a,b"), "\"a,b\"");
    EXPECT_EQ(CsvField("say \"hi\""), "\"say \"\"hi\"\"\"");
    EXPECT_EQ(NameKey("Engine Accel."), "engineaccel");
}

TEST(QvxProgress, DrawsOnlyWhenEnabledAndWhenThePercentageChanges) {
    std::ostringstream out, quiet, failed;
    {
        ProgressBar bar(out, true, "Uploading", 200);
        for (int done : {0, 1, 100, 101}) bar.Update(done);  // 0, 0, 50, 50 %
        EXPECT_EQ(bar.ShownPercent(), 50);
        bar.Update(1000);  // clamped
        EXPECT_EQ(bar.ShownPercent(), 100);
        bar.Complete();
        ProgressBar off(quiet, false, "Uploading", 10);
        off.Update(5);
        off.Complete();
        ProgressBar stopped(failed, true, "Downloading", 10);
        stopped.Update(3);
    }  // the line is ended even when the transfer stopped half way
    const std::string text = out.str();
    EXPECT_EQ(std::count(text.begin(), text.end(), '\r'), 3);  // 0, 50 and 100 %
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1);
    EXPECT_NE(text.find("Uploading [###############...............] 50 %"), std::string::npos);
    EXPECT_EQ(quiet.str(), "");
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
