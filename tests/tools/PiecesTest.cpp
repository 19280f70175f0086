// The pieces the commands are built from: setting names and how values are
// set, and number texts whatever the locale.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>

#include "core/host/Clock.h"
#include "core/model/ModuleState.h"
#include "support/FakeHost.h"
#include "support/MemoryLine.h"
#include "tools/qvx/Format.h"
#include "tools/qvx/Settings.h"

namespace qx::qvx {
namespace {

TEST(QvxSettings, NamesMatchLooselyAndTwoStateSettingsTakeOnlyTheirValues) {
    ScopedFakeHost host;  // the link stays down: values only step
    ModuleState doc;
    doc.InitializeDefaults();
    auto find = [&](const std::string& name, std::string* error = nullptr) {
        SettingRef ref;
        std::string text;
        EXPECT_EQ(FindSetting(doc, name, ref, text), error == nullptr) << name << ": " << text;
        if (error) *error = text;
        return ref;
    };
    const auto all = AllSettings(doc);
    ASSERT_EQ(all.size(), 12u + 6u * 16u);
    for (const auto& s : all) EXPECT_EQ(find(s.name).value, s.value) << s.name;
    EXPECT_EQ(find("REV_LIMIT").value, &doc.revLimit());
    EXPECT_EQ(find("revLimitRate").value, &doc.revLimitRate());  // member names work too
    EXPECT_EQ(find("nos").value, &doc.nosArmingRpm());
    // Points are numbered from 1, as the graph and the Differences window number them.
    EXPECT_EQ(find("base dwell [16]").value, doc.Map(4)->Point(15).value.get());
    EXPECT_EQ(find("front[1]").value, doc.Map(0)->Point(0).value.get());
    for (const auto& [name, says] : {std::pair{"rev", "ambiguous"},
                                     {"acceleration[1]", "ambiguous"},
                                     {"front[-1]", "1 to 16"},
                                     {"front[0]", "1 to 16"},
                                     {"front[17]", "1 to 16"},
                                     {"", "unknown"}}) {
        std::string error;
        find(name, &error);
        EXPECT_NE(error.find(says), std::string::npos) << name << ": " << error;
    }
    auto set = [&](const std::string& name, const std::string& text) {
        SettingRef ref = find(name);
        std::string error;
        return SetSetting(doc, ref, text, error) ? ref.value->GetValue() : std::nan("");
    };
    EXPECT_EQ(set("Rev Limit", "10100"), 10112.0);          // onto the 128 grid
    EXPECT_EQ(doc.History().UndoText(), "Undo Rev Limit");  // an edit like any other
    EXPECT_FALSE(doc.revLimit().InSync());
    // Not numbers, and numbers outside 1920 to 10112 (refused, not clamped).
    for (const char* text : {"12abc", "1,5", "nan", "inf", "99999", "1e9", "10113", "1919"})
        EXPECT_TRUE(std::isnan(set("Rev Limit", text))) << text;
    EXPECT_EQ(doc.revLimit().GetValue(), 10112.0);
    EXPECT_EQ(set("Rev Limit", "1920"), 1920.0);
    EXPECT_EQ(set("Ignition Mode", "single"), 1.0);
    EXPECT_TRUE(std::isnan(set("Ignition Mode", "1.5")));
    EXPECT_EQ(set("Switch Lockout On", "on"), 170.0);
    EXPECT_EQ(set("Switch Lockout On", "0"), 0.0);
    EXPECT_TRUE(std::isnan(set("Switch Lockout On", "1")));
}

TEST(QvxFormat, NumbersWhateverTheLocaleAndQuoting) {
    const std::string saved = std::setlocale(LC_NUMERIC, nullptr);
    std::setlocale(LC_NUMERIC, "de_DE.UTF-8");  // a decimal comma where it is installed
    EXPECT_EQ(FormatNumber(1024.0 / 3.0), "341.333");
    EXPECT_EQ(FormatNumber(-0.0001), "0");
    std::string a, b;
    FormatPair(1.0, 1.00001, a, b);  // would look equal with three decimals
    EXPECT_NE(a, b);
    EXPECT_EQ(JsonNumber(0.1), "0.1");
    EXPECT_EQ(JsonNumber(16.0 / 15.0), "1.0666666666666667");
    EXPECT_EQ(JsonNumber(std::numeric_limits<double>::infinity()), "null");
    std::setlocale(LC_NUMERIC, saved.c_str());
    EXPECT_EQ(JsonString("a\"b\\c\n\x01"), "\"a\\\"b\\\\c\\n\\u0001\"");
}

}  // namespace
}  // namespace qx::qvx
