#include <gtest/gtest.h>

#include <cmath>

#include "maps/CalibrationMaps.h"
#include "model/ModelTestSupport.h"

namespace qx::test {
namespace {

struct Expected {
    const char* title;
    const char* xLabel;
    const char* xUnits;
    const char* yLabel;
    const char* yUnits;
    uint16_t base;
    double xMax;
    double yMax;
    int internalYMax;
    double step;
    std::vector<double> gridX;
    std::vector<double> gridY;
    double liveStep;
    uint16_t liveAddress0;
    uint16_t liveAddress1;
    int liveSize;
};

const Expected kMaps[kMapCount] = {
    {"Front Cylinder Spark Advance",
     "Engine Speed",
     "rpm",
     "Advance",
     "deg",
     0xB600,
     8250.0,
     45.0,
     45,
     1.0,
     {0, 1375, 2750, 4125, 5500, 6875, 8250},
     {0, 9, 18, 27, 36, 45},
     16.11328125,
     0x78,
     0x48,
     2},
    {"Rear Cylinder Spark Advance",
     "Engine Speed",
     "rpm",
     "Advance",
     "deg",
     0xB610,
     8250.0,
     45.0,
     45,
     1.0,
     {0, 1375, 2750, 4125, 5500, 6875, 8250},
     {0, 9, 18, 27, 36, 45},
     16.11328125,
     0x78,
     0x48,
     2},
    {"VOES Retard",
     "Engine Speed",
     "rpm",
     "Retard",
     "deg",
     0xB620,
     8250.0,
     20.0,
     20,
     1.0,
     {0, 1375, 2750, 4125, 5500, 6875, 8250},
     {0, 4, 8, 12, 16, 20},
     16.11328125,
     0x78,
     0x48,
     2},
    {"Acceleration Correction",
     "Engine Acceleration Rate",
     "rpm / sec",
     "Advance",
     "deg",
     0xB630,
     4080.0,
     15.0,
     15,
     1.0,
     {0, 680, 1360, 2040, 2720, 3400, 4080},
     {0, 3, 6, 9, 12, 15},
     15.9375,
     0x7C,
     0x4A,
     1},
    {"Base Dwell",
     "Voltage",
     "volts",
     "Dwell",
     "msec",
     0xB640,
     16.0,
     15.0,
     255,
     0.5,
     {0, 2, 4, 6, 8, 10, 12, 14, 16},
     {0, 3, 6, 9, 12, 15},
     15.0 / 255.0,
     0x45,
     0x40,
     1},
    {"Acceleration Dwell Correction",
     "Engine Acceleration Rate",
     "rpm / sec",
     "Dwell",
     "msec",
     0xB650,
     4080.0,
     15.0,
     15,
     0.5,
     {0, 680, 1360, 2040, 2720, 3400, 4080},
     {0, 3, 6, 9, 12, 15},
     15.9375,
     0x7C,
     0x4A,
     1},
};

class MapTest : public ModelTest {};

TEST_F(MapTest, EveryMapHasItsConstantsPointsAndGrid) {
    for (int m = 0; m < kMapCount; ++m) {
        SCOPED_TRACE(m);
        const Expected& e = kMaps[m];
        std::unique_ptr<ModuleMap> map = MakeMap(m);
        ASSERT_NE(map, nullptr);
        EXPECT_FALSE(map->Initialized());
        EXPECT_EQ(map->Title(), e.title);
        EXPECT_EQ(map->XLabel(), e.xLabel);
        EXPECT_EQ(map->XUnits(), e.xUnits);
        EXPECT_EQ(map->YLabel(), e.yLabel);
        EXPECT_EQ(map->YUnits(), e.yUnits);
        EXPECT_EQ(map->BaseAddress(), e.base);
        EXPECT_EQ(map->PointCount(), 16);
        EXPECT_EQ(map->Step(), e.step);
        EXPECT_EQ(map->ValueMax(), (XYpair<double>{e.xMax, e.yMax}));
        EXPECT_EQ(map->InternalMax().y, e.internalYMax);
        EXPECT_EQ(map->LiveValue().GetSize(), e.liveSize);
        EXPECT_DOUBLE_EQ(map->LiveValue().Delta(), e.liveStep);
        EXPECT_EQ(map->LiveValue().Address0(), e.liveAddress0);
        EXPECT_EQ(map->LiveValue().Address1(), e.liveAddress1);

        map->InitializeMap();
        ASSERT_TRUE(map->Initialized());
        for (int i = 0; i < 16; ++i) {
            const MapPoint& p = map->Point(i);
            EXPECT_DOUBLE_EQ(p.x, e.xMax * i / 15.0);
            EXPECT_EQ(p.value->GetAddress(), e.base + i);
            EXPECT_EQ(p.value->GetValue(), 0.0);
            EXPECT_FALSE(p.value->InSync());
            EXPECT_EQ(p.value->Delta(), e.step);
            EXPECT_EQ(p.value->MaxInternal(), e.internalYMax);
            EXPECT_EQ(dynamic_cast<MirroredModuleValue*>(p.value.get()) != nullptr, m < 2);
        }
        ASSERT_EQ(map->GridLines().x, static_cast<int>(e.gridX.size()));
        for (std::size_t k = 0; k < e.gridX.size(); ++k) {
            EXPECT_DOUBLE_EQ(map->GetGridX(static_cast<int>(k)), e.gridX[k]);
        }
        for (std::size_t k = 0; k < e.gridY.size(); ++k) {
            EXPECT_DOUBLE_EQ(map->GetGridY(static_cast<int>(k)), e.gridY[k]);
        }
        // Indexes outside the grid are clamped.
        EXPECT_EQ(map->GetGridX(-1), e.gridX.front());
        EXPECT_EQ(map->GetGridX(map->GridLines().x), e.gridX.back());
        EXPECT_EQ(map->GetGridY(1000), e.gridY.back());
    }
    EXPECT_EQ(MakeMap(6), nullptr);
    EXPECT_EQ(MakeMap(-1), nullptr);
    // Point 3 of map 3 sits at 816 rpm / sec.
    auto accel = MakeMap(3);
    accel->InitializeMap();
    EXPECT_EQ(accel->Point(3).x, 816.0);
}

TEST_F(MapTest, PointValuesKeepTheirRangeAndStep) {
    auto advance = MakeMap(0);
    auto voes = MakeMap(2);
    auto dwell = MakeMap(4);
    auto accelDwell = MakeMap(5);
    for (auto* m : {advance.get(), voes.get(), dwell.get(), accelDwell.get()}) m->InitializeMap();
    ModuleValue& a = *advance->Point(0).value;
    EXPECT_TRUE(a.SetValue(50.0, true));
    EXPECT_EQ(a.GetValue(), 45.0);
    a.StoreValue(12.0);
    EXPECT_EQ(a.EncodeBytes(), std::vector<uint8_t>{0x0C});
    ModuleValue& v = *voes->Point(0).value;
    EXPECT_TRUE(v.SetValue(21.0, true));
    EXPECT_EQ(v.GetValue(), 20.0);
    ModuleValue& d = *dwell->Point(0).value;
    EXPECT_TRUE(d.SetValue(2.3, true));
    EXPECT_EQ(d.GetValue(), 2.5);
    EXPECT_TRUE(d.SetValue(99.0, true));
    EXPECT_EQ(d.GetValue(), 15.0);
    d.StoreValue(2.5);
    EXPECT_EQ(d.EncodeBytes(), std::vector<uint8_t>{0x2A});  // 42.5 truncated
    d.SetFromInternal(0x2A);
    EXPECT_EQ(d.GetValue(), 2.5);
    ModuleValue& ad = *accelDwell->Point(0).value;
    ad.StoreValue(2.5);
    EXPECT_EQ(ad.EncodeBytes(), std::vector<uint8_t>{0x02});
    ad.SetFromInternal(0x02);
    EXPECT_EQ(ad.GetValue(), 2.0);
}

TEST_F(MapTest, StoredMapIsSixteenRecordsAndLoadingRebuildsThePoints) {
    auto map = MakeMap(4);
    map->InitializeMap();
    map->Point(2).value->SetValue(7.5, false);
    std::vector<uint8_t> bytes;
    map->Store(bytes);
    ASSERT_EQ(bytes.size(), 16 * kValueRecordSize);
    EXPECT_EQ(DecodeValueRecord(bytes.data() + 2 * kValueRecordSize).value, 7.5);
    EXPECT_EQ(DecodeValueRecord(bytes.data() + 15 * kValueRecordSize).address, 0xB64F);
    EXPECT_EQ(map->CheckRecords(bytes.data()), "");

    map->Point(2).value->SetValue(1.0, false);
    map->Point(9).value->SetValue(3.0, false);
    map->LoadRecords(bytes.data());
    EXPECT_EQ(map->Point(2).value->GetValue(), 7.5);
    EXPECT_EQ(map->Point(9).value->GetValue(), 0.0);

    // Another map's records do not belong here.
    auto other = MakeMap(5);
    other->InitializeMap();
    std::vector<uint8_t> foreign;
    other->Store(foreign);
    EXPECT_NE(map->CheckRecords(foreign.data()).find("point 0"), std::string::npos);
}

TEST_F(MapTest, LinkMirrorsPairsOnlyMirroredPoints) {
    auto front = MakeMap(0);
    auto rear = MakeMap(1);
    auto voes = MakeMap(2);
    auto accel = MakeMap(3);
    for (auto* m : {front.get(), rear.get(), voes.get(), accel.get()}) m->InitializeMap();
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
        SetConstants({"t",
                      "x",
                      "rpm",
                      "y",
                      "deg",
                      16,
                      0xB600,
                      {0, 0},
                      {512, 45},
                      {0.0, 0.0},
                      {8250.0, 45.0},
                      1.0,
                      {7, 6}});
        live.Setup(0x78, 0x48, 0.0, 0.0, 8250.0, 0, 512, 0.0);
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
}

TEST_F(MapTest, LiveValueReadsTheMonitorImage) {
    auto map = MakeMap(0);
    map->InitializeMap();
    map->UpdateLiveX();  // no monitor packet: the image is zero and not valid
    EXPECT_EQ(map->LiveX(), 0.0);
    EXPECT_FALSE(map->LiveValue().InSync());
}

TEST(XYpairTest, EncodesXThenYLittleEndian) {
    std::vector<uint8_t> out;
    EncodeXYpair(XYpair<int>{512, -1}, out);
    EXPECT_EQ(out, (std::vector<uint8_t>{0x00, 0x02, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(DecodeXYpairInt(out.data()), (XYpair<int>{512, -1}));
    out.clear();
    EncodeXYpair(XYpair<double>{8250.0, 45.0}, out);
    ASSERT_EQ(out.size(), 16u);
    EXPECT_EQ(DecodeXYpairDouble(out.data()), (XYpair<double>{8250.0, 45.0}));
}

}  // namespace
}  // namespace qx::test
