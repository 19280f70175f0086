#include <gtest/gtest.h>

#include "core/maps/CalibrationMaps.h"
#include "model/ModelTestSupport.h"

namespace qx::test {
namespace {

struct Expected {
    uint16_t base;
    double xMax, yMax;
    int internalYMax;
    double step;
    int gridLinesX;
    double gridX1, gridY1, liveStep;
    uint16_t liveAddress0, liveAddress1;
    int liveSize;
};

const Expected kMaps[kMapCount] = {
    {0xB600, 8250.0, 45.0, 45, 1.0, 7, 1375, 9, 16.11328125, 0x78, 0x48, 2},
    {0xB610, 8250.0, 45.0, 45, 1.0, 7, 1375, 9, 16.11328125, 0x78, 0x48, 2},
    {0xB620, 8250.0, 20.0, 20, 1.0, 7, 1375, 4, 16.11328125, 0x78, 0x48, 2},
    {0xB630, 4080.0, 15.0, 15, 1.0, 7, 680, 3, 15.9375, 0x7C, 0x4A, 1},
    {0xB640, 16.0, 15.0, 255, 0.5, 9, 2, 3, 15.0 / 255.0, 0x45, 0x40, 1},
    {0xB650, 4080.0, 15.0, 15, 0.5, 7, 680, 3, 15.9375, 0x7C, 0x4A, 1},
};

std::unique_ptr<ModuleMap> Built(int index) {
    std::unique_ptr<ModuleMap> map = MakeMap(index);
    map->InitializeMap();
    return map;
}

class MapTest : public ModelTest {};

TEST_F(MapTest, EveryMapHasItsConstantsPointsAndGrid) {
    for (int m = 0; m < kMapCount; ++m) {
        SCOPED_TRACE(m);
        const Expected& e = kMaps[m];
        std::unique_ptr<ModuleMap> map = MakeMap(m);
        ASSERT_NE(map, nullptr);
        EXPECT_FALSE(map->Initialized());
        EXPECT_EQ(map->ValueMax(), (XYpair<double>{e.xMax, e.yMax}));
        EXPECT_EQ(map->LiveValue().GetSize(), e.liveSize);
        EXPECT_DOUBLE_EQ(map->LiveValue().Delta(), e.liveStep);
        EXPECT_EQ(map->LiveValue().Address0(), e.liveAddress0);
        EXPECT_EQ(map->LiveValue().Address1(), e.liveAddress1);

        map->InitializeMap();
        ASSERT_TRUE(map->Initialized());
        ASSERT_EQ(map->PointCount(), 16);
        for (int i = 0; i < 16; ++i) {
            const MapPoint& p = map->Point(i);
            EXPECT_EQ(p.value->GetAddress(), e.base + i);
            EXPECT_FALSE(p.value->InSync() || p.value->GetValue() != 0.0);
            EXPECT_EQ(p.value->Delta(), e.step);
            EXPECT_EQ(p.value->MaxInternal(), e.internalYMax);
            EXPECT_EQ(dynamic_cast<MirroredModuleValue*>(p.value.get()) != nullptr, m < 2);
        }
        // The grid starts at 0, ends at the maximum, and clamps indexes outside it.
        ASSERT_EQ(map->GridLines(), (XYpair<int>{e.gridLinesX, 6}));
        EXPECT_DOUBLE_EQ(map->GetGridX(1), e.gridX1);
        EXPECT_DOUBLE_EQ(map->GetGridY(1), e.gridY1);
        EXPECT_EQ(map->GetGridX(-1), 0.0);
        EXPECT_EQ(map->GetGridX(e.gridLinesX - 1), e.xMax);
        EXPECT_EQ(map->GetGridX(e.gridLinesX), e.xMax);
        EXPECT_EQ(map->GetGridY(1000), e.yMax);
    }
    EXPECT_EQ(MakeMap(6), nullptr);
    EXPECT_EQ(MakeMap(-1), nullptr);
    EXPECT_EQ(Built(3)->Point(3).x, 816.0);
    EXPECT_EQ(Built(0)->Point(15).x, 8250.0);
}

TEST_F(MapTest, PointValuesKeepTheirRangeAndStep) {
    auto advance = Built(0), voes = Built(2), dwell = Built(4), accelDwell = Built(5);
    struct Case {
        ModuleMap* map;
        double set, got;
        uint8_t byte;  // what the stored value encodes to
        double readBack;
    };
    const Case cases[] = {
        {advance.get(), 50.0, 45.0, 0x2D, 45.0}, {advance.get(), 12.0, 12.0, 0x0C, 12.0},
        {voes.get(), 21.0, 20.0, 0x14, 20.0},    {dwell.get(), 99.0, 15.0, 0xFF, 15.0},
        {dwell.get(), 2.3, 2.5, 0x2A, 2.5},       // 42.5 truncated
        {accelDwell.get(), 2.5, 2.5, 0x02, 2.0},  // the module holds no half step here
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.set);
        ModuleValue& v = *c.map->Point(0).value;
        EXPECT_TRUE(v.SetValue(c.set, true));
        EXPECT_EQ(v.GetValue(), c.got);
        EXPECT_EQ(v.EncodeBytes(), std::vector<uint8_t>{c.byte});
        v.SetFromInternal(c.byte);
        EXPECT_EQ(v.GetValue(), c.readBack);
    }
}

TEST_F(MapTest, LinkMirrorsPairsOnlyMirroredPoints) {
    auto front = Built(0), rear = Built(1), voes = Built(2), accel = Built(3);
    voes->LinkMirrors(*accel);
    front->LinkMirrors(*voes);
    auto* f0 = dynamic_cast<MirroredModuleValue*>(front->Point(0).value.get());
    ASSERT_NE(f0, nullptr);
    EXPECT_EQ(f0->Partner(), nullptr);
    front->LinkMirrors(*rear);
    for (int i = 0; i < 16; ++i) {
        auto* f = dynamic_cast<MirroredModuleValue*>(front->Point(i).value.get());
        auto* r = dynamic_cast<MirroredModuleValue*>(rear->Point(i).value.get());
        EXPECT_EQ(f->Partner(), r);
        EXPECT_EQ(r->Partner(), f);
    }
    // Rebuilding one map leaves no dangling partner in the other.
    rear->InitializeMap();
    EXPECT_EQ(f0->Partner(), nullptr);
    EXPECT_TRUE(f0->SetValue(10.0, true));
}

// A spark advance map whose live value holds what the test stores in it.
class HeldLiveValue : public WordMonitoredModuleValue {
  public:
    bool Refresh() override { return true; }
};

class HeldSparkMap : public ModuleMap {
  public:
    HeldSparkMap() : ModuleMap(MakeByteValue, &live) {
        Constants c{};
        c.title = c.xLabel = c.xUnits = c.yLabel = c.yUnits = "";
        c.pointCount = 16;
        c.valueMax = {8250.0, 45.0};
        c.internalMax = {512, 45};
        c.step = 1.0;
        c.gridLines = {7, 6};
        SetConstants(c);
    }
    HeldLiveValue live;
};

TEST_F(MapTest, LiveXIsTheNearestPoint) {
    HeldSparkMap map;
    map.InitializeMap();
    const std::pair<double, double> cases[] = {
        {0.0, 0.0},      {274.9, 0.0},     {275.0, 550.0},   {824.9, 550.0},
        {825.0, 1100.0}, {8250.0, 8250.0}, {8600.0, 8800.0},  // past the last point: no clamp
    };
    for (auto [rpm, x] : cases) {
        map.live.StoreValue(rpm);
        map.UpdateLiveX();
        EXPECT_EQ(map.LiveX(), x) << rpm;
    }

    auto real = Built(0);  // no monitor packet: the image is zero and not valid
    real->UpdateLiveX();
    EXPECT_EQ(real->LiveX(), 0.0);
    EXPECT_FALSE(real->LiveValue().InSync());
}

}  // namespace
}  // namespace qx::test
