// The comparison of two tunes shared by the command-line diff and the
// Differences window.
#include <gtest/gtest.h>

#include "core/compare/TuneCompare.h"
#include "core/model/ModuleState.h"
#include "model/ModelTestSupport.h"

namespace qx::test {
namespace {

class TuneCompareTest : public ModelTest {
  protected:
    TuneCompareTest() {
        EXPECT_EQ(ours.OnNewDocument(), DocStatus::Done);
        EXPECT_EQ(theirs.OnNewDocument(), DocStatus::Done);
    }
    ModuleState ours;
    ModuleState theirs;
};

TEST_F(TuneCompareTest, ListsEverySettingThatDiffersInDocumentOrder) {
    EXPECT_TRUE(CompareTunes(ours, theirs, CompareMode::Exact).empty());
    theirs.Map(4)->Point(15).value->StoreValue(2.5);
    theirs.revLimit().StoreValue(8064.0);
    theirs.Map(0)->Point(3).value->StoreValue(12.0);
    // Start Mode Enter: 350 as typed and 341.33 stepped write the same module integer.
    theirs.startModeEnter().StoreValue(1024.0 / 3.0);

    const auto exact = CompareTunes(ours, theirs, CompareMode::Exact);
    EXPECT_EQ(exact, (std::vector<TuneDifference>{
                         {SettingKey::Basic(kRevLimit), 6144.0, 8064.0},
                         {SettingKey::Basic(kStartModeEnter), 350.0, 1024.0 / 3.0},
                         {SettingKey::Point(0, 3), 0.0, 12.0},
                         {SettingKey::Point(4, 15), 0.0, 2.5},
                     }));
    const auto module = CompareTunes(ours, theirs, CompareMode::Module);
    ASSERT_EQ(module.size(), 3u);
    EXPECT_EQ(FindDifference(module, SettingKey::Basic(kStartModeEnter)), nullptr);
    ASSERT_NE(FindDifference(module, SettingKey::Point(0, 3)), nullptr);
    EXPECT_EQ(FindDifference(module, SettingKey::Point(0, 3))->theirs, 12.0);

    const bool mapDiffers[6] = {true, false, false, false, true, false};
    for (int m = 0; m < 6; ++m) EXPECT_EQ(MapDiffers(exact, m), mapDiffers[m]) << m;
}

}  // namespace
}  // namespace qx::test
