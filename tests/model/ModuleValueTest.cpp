#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>

#include "core/model/ModuleValue.h"
#include "core/model/MonitoredQuantities.h"
#include "model/ModelTestSupport.h"

namespace qx::test {
namespace {

using Bytes = std::vector<uint8_t>;
constexpr double kInf = std::numeric_limits<double>::infinity();

// Set up as the document does: rev limit, start mode, cam sensor sync, and a value without range.
template <class V>
std::unique_ptr<V> Made(uint16_t address, double value, double min, double max, int32_t minI,
                        int32_t maxI, double step = 0.0) {
    auto v = std::make_unique<V>();
    v->Setup(address, address, value, min, max, minI, maxI, step);
    return v;
}
std::unique_ptr<ByteSignedModuleValue> RevLimit() {
    return Made<ByteSignedModuleValue>(0xB662, 6144.0, 1904.0, 10096.0, -32, 32);
}
std::unique_ptr<ByteSignedModuleValue> CamSync() {
    return Made<ByteSignedModuleValue>(0xB66C, 0.0, -15.0, 15.0, -15, 15);
}

TEST(RoundingTest, HalvesGoUpAndConversionNeverOverflows) {
    const std::pair<double, double> rounded[] = {
        {0.5, 1.0}, {-0.5, 0.0}, {-2.5, -2.0}, {47.5, 48.0}, {2.4999, 2.0}};
    for (auto [in, out] : rounded) EXPECT_EQ(RoundTo(in, 0), out) << in;
    EXPECT_DOUBLE_EQ(RoundTo(1.25, 1), 1.3);

    const std::pair<double, int32_t> truncated[] = {
        {-2.7, -2}, {2.7, 2}, {1e20, INT32_MAX}, {-1e20, INT32_MIN}, {kInf, INT32_MAX}, {NAN, 0}};
    for (auto [in, out] : truncated) EXPECT_EQ(TruncateToInt32(in), out) << in;
}

TEST(QuantizeTest, StepsCountFromZeroNotFromMin) {
    auto rev = RevLimit();
    EXPECT_EQ(rev->Delta(), 128.0);
    // 10096 is 78.875 steps of 128 from zero; 6080 is 47.5 steps and rounds up.
    const std::pair<double, double> cases[] = {
        {10096.0, 10112.0}, {1904.0, 1920.0}, {6080.0, 6144.0}, {99999.0, 10112.0}};
    for (auto [in, out] : cases) EXPECT_EQ(rev->Quantize(in), out) << in;
    EXPECT_EQ(CamSync()->Quantize(-2.5), -2.0);

    auto noRange = Made<ByteModuleValue>(0xB661, 0.0, 0.0, 0.0, 0, 0);
    EXPECT_EQ(noRange->Delta(), 0.0);
    EXPECT_EQ(noRange->Quantize(12345.6), 12345.6);
    EXPECT_EQ(noRange->ToInternal(12345.6), 12345);
    EXPECT_EQ(noRange->ToExternal(77), 77.0);
    // An explicit step wins; a ranged value without a step is clamped, never divided by zero.
    EXPECT_EQ((Made<ByteModuleValue>(0xB640, 0.0, 0.0, 15.0, 0, 255, 0.5)->Delta()), 0.5);
    EXPECT_EQ((Made<ByteModuleValue>(1, 0.0, 0.0, 10.0, 5, 5)->Quantize(12.0)), 10.0);
}

TEST(ConversionTest, InternalValuesAndSignMagnitudeBytes) {
    auto start = Made<ByteSignedModuleValue>(0xB66B, 350.0, 0.0, 1024.0, -15, 15);
    // 10 x 1024/30 must convert to exactly 10 counts above the bottom; an
    // extended-precision intermediate gives one count lower.
    const double stepped = 10.0 * (1024.0 / 30.0);
    EXPECT_EQ(start->Quantize(350.0), stepped);
    EXPECT_EQ(start->ToInternal(stepped), -5);
    start->StoreValue(stepped);
    EXPECT_EQ(start->EncodeBytes(), Bytes{0x85});

    auto rev = RevLimit();
    EXPECT_EQ(rev->EncodeBytes(), Bytes{0x01});
    EXPECT_EQ(rev->ToExternal(1), 6128.0);
    rev->SetFromInternal(0xA0);  // -32
    EXPECT_EQ(rev->GetValue(), 1920.0);
    rev->SetFromInternal(0x01);
    EXPECT_EQ(rev->GetValue(), 6144.0);
    EXPECT_TRUE(rev->InSync());

    auto cam = CamSync();
    cam->SetFromInternal(0x85);
    EXPECT_EQ(cam->GetValue(), -5.0);
    auto plain = Made<ByteModuleValue>(0xB661, 0.0, 0.0, 0.0, 0, 0);
    plain->SetFromInternal(0x85);
    EXPECT_EQ(plain->GetValue(), 133.0);
}

TEST(ConversionTest, NothingOutsideTheInternalRangeBecomesAByte) {
    auto rev = RevLimit();
    auto cam = CamSync();
    auto plain = Made<ByteModuleValue>(0xB661, 0.0, 0.0, 0.0, 0, 0);
    auto low = Made<ByteMirroredModuleValue>(0xB600, 0.0, 0.2, 0.4, 0, 45, 1.0);
    auto inverted = Made<ByteModuleValue>(0xB630, 0.0, 0.0, 15.0, 15, 0, 1.0);
    auto wide = Made<ByteMirroredModuleValue>(0xB601, 0.0, -1.7e308, 1.7e308, 0, 45, 1.0);
    auto tiny = Made<ByteModuleValue>(0xB620, 0.0, 0.0, 1e-320, 0, 20, 1.0);
    struct Case {
        const ModuleValue* value;
        double x;
        Bytes bytes;  // empty: refused
    };
    const Case cases[] = {
        {rev.get(), 10112.0, {0x20}},  // a step above Max is still internal 32
        {rev.get(), 1920.0, {0xA0}},   // -32, sign-magnitude
        {rev.get(), 10240.0, {}},      // 33
        {cam.get(), -15.0, {0x8F}},
        {cam.get(), 16.0, {}},
        {plain.get(), 255.0, {0xFF}},  // no range: what the byte holds
        {plain.get(), 256.0, {}},
        {plain.get(), -5.0, {}},  // would read back as 133
        {low.get(), 0.0, {}},     // internal -45: once 0xAD
        {low.get(), 0.4, {0x2D}},
        {inverted.get(), 0.0, {0x0F}},  // either order of the internal limits
        {inverted.get(), 15.0, {0x00}},
        {inverted.get(), 16.0, {}},
        {wide.get(), 0.0, {}},  // the conversion overflows
        {tiny.get(), 0.0, {}},
        {plain.get(), std::nan(""), {}},
        {plain.get(), kInf, {}},
    };
    for (const Case& c : cases) EXPECT_EQ(c.value->EncodeBytes(c.x), c.bytes) << c.x;

    auto signedPlain = Made<ByteSignedModuleValue>(0xB66C, 0.0, 0.0, 0.0, 0, 0);
    EXPECT_EQ(signedPlain->EncodeBytes(-127.0), Bytes{0xFF});
    EXPECT_EQ(signedPlain->EncodeBytes(-128.0), Bytes{});  // its byte would read back as 0
    EXPECT_EQ(signedPlain->EncodeBytes(128.0), Bytes{});   // would read back as 0

    // An upload through a range too wide for doubles, or through internal
    // limits without a range (every byte reads as Min, 300, which no byte
    // holds), keeps the value, out of sync.
    auto flat = Made<ByteModuleValue>(0xB602, 7.0, 300.0, 300.0, 0, 45);
    for (ModuleValue* v :
         {static_cast<ModuleValue*>(wide.get()), static_cast<ModuleValue*>(flat.get())}) {
        const double before = v->GetValue();
        v->SetInSync(true);
        v->SetFromInternal(3);
        EXPECT_EQ(v->GetValue(), before);
        EXPECT_FALSE(v->InSync());
    }
}

TEST(ConversionTest, WordsAreBigEndianInTheModule) {
    SerialNumberModuleValue serial;
    serial.StoreValue(12345.0);
    EXPECT_EQ(serial.EncodeBytes(), (Bytes{0x30, 0x39}));
    serial.StoreValue(65535.0);
    EXPECT_EQ(serial.EncodeBytes(), (Bytes{0xFF, 0xFF}));
    serial.StoreValue(65536.0);
    EXPECT_EQ(serial.EncodeBytes(), Bytes{});
    // Read bytes 0x30, 0x39 in address order: the first byte is the low one;
    // bits above the two bytes are dropped.
    serial.SetFromInternal(0xFFFF3930u);
    EXPECT_EQ(serial.GetValue(), 12345.0);
}

class ValueTest : public ModelTest {};

TEST_F(ValueTest, SetValueWithTheLinkDown) {
    auto rev = RevLimit();
    rev->SetInSync(true);
    EXPECT_TRUE(rev->SetValue(6100.0, false));  // quantizes to the current value
    EXPECT_TRUE(rev->InSync());
    EXPECT_TRUE(rev->SetValue(7000.0, false));
    EXPECT_EQ(rev->GetValue(), 7040.0);
    EXPECT_FALSE(rev->InSync());

    rev->SetInSync(true);  // a value that is not finite never gets in
    EXPECT_FALSE(rev->SetValue(std::nan(""), false));
    EXPECT_FALSE(rev->SetValue(kInf, false));
    EXPECT_EQ(rev->GetValue(), 7040.0);
    EXPECT_TRUE(rev->InSync());

    // Nor does one the module could not hold, so no file can carry it.
    auto mode = Made<ByteModuleValue>(0xB661, 2.0, 0.0, 0.0, 0, 0);
    EXPECT_FALSE(mode->SetValue(1e6, false));
    EXPECT_EQ(mode->GetValue(), 2.0);
    auto low = Made<ByteModuleValue>(0xB600, 0.3, 0.2, 0.4, 0, 45, 1.0);
    EXPECT_FALSE(low->SetValue(0.25, false));  // steps to 0.0, internal -45
    EXPECT_EQ(low->GetValue(), 0.3);
}

TEST_F(ValueTest, MirroredValuesFollowTheSetting) {
    auto front = Made<ByteMirroredModuleValue>(0xB600, 0.0, 0.0, 45.0, 0, 45, 1.0);
    auto rear = Made<ByteMirroredModuleValue>(0xB610, 0.0, 0.0, 45.0, 0, 45, 1.0);
    front->SetPartner(rear.get());
    EXPECT_EQ(rear->Partner(), front.get());

    SetMirrorSetting(false);
    EXPECT_TRUE(front->SetValue(12.0, true));
    EXPECT_EQ(front->GetValue(), 12.0);
    EXPECT_EQ(rear->GetValue(), 0.0);

    SetMirrorSetting(true);
    EXPECT_TRUE(front->SetValue(20.4, true));
    EXPECT_EQ(rear->GetValue(), 20.0);
    EXPECT_TRUE(rear->SetValue(31.0, false));  // without propagation only the value moves
    EXPECT_EQ(front->GetValue(), 20.0);
}

TEST_F(ValueTest, MonitoredValuesReadTheImageAndNeverWrite) {
    auto battery = MakeMonitoredValue(5);
    ASSERT_NE(battery, nullptr);
    EXPECT_FALSE(battery->SyncModuleWithHost(true));
    EXPECT_EQ(MakeMonitoredValue(7), nullptr);
    // No monitor packet yet: the image is not valid, so the value is not in sync.
    battery->SetFromInternal(200);
    battery->SetInSync(true);
    EXPECT_TRUE(battery->Refresh());
    EXPECT_FALSE(battery->InSync());
    EXPECT_EQ(battery->GetValue(), 0.0);
}

TEST(ValueRecordTest, LoadingStepsAndUnusableRecordsAreNamed) {
    auto rev = RevLimit();
    rev->SetInSync(true);
    const ValueRecord good{0xB662, 6100.0, 1904.0, 10096.0, -32, 32};
    EXPECT_EQ(rev->CheckRecord(good), "");
    rev->LoadRecord(good);
    EXPECT_EQ(rev->GetValue(), 6144.0);
    EXPECT_FALSE(rev->InSync());
    EXPECT_EQ(rev->Delta(), 128.0);  // the step is kept

    // Unusable records (the document's file tests cover each kind): a record
    // without a range would write its value as the byte, whatever the table says.
    EXPECT_NE(rev->CheckRecord({0xB662, 6100.0, 1904.0, 10096.0, -32, -32}), "");
    EXPECT_NE(rev->CheckRecord({0xB662, 100.0, 0.0, 0.0, 0, 0}), "");
    EXPECT_NE(rev->CheckRecord({0xB662, 6100.0, 0.0, 0.0, 0, 0}), "");  // not in a byte
    auto unsignedByte = Made<ByteModuleValue>(0xB640, 0.0, 0.0, 15.0, 0, 255, 0.5);
    EXPECT_EQ(unsignedByte->CheckRecord({0xB640, 2.5, 0.0, 15.0, 0, 255}), "");
    EXPECT_NE(unsignedByte->CheckRecord({0xB640, 2.5, 0.0, 15.0, -1, 255}), "");
    EXPECT_NE(unsignedByte->CheckRecord({0xB640, 2.5, 0.0, 15.0, 0, 256}), "");
}

}  // namespace
}  // namespace qx::test
