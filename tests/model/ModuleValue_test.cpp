#include "model/ModuleValue.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "host/Profile.h"
#include "model/ModelTestSupport.h"
#include "model/MonitoredQuantities.h"

namespace qx::test {
namespace {

// The basic settings used by the cases below, set up as the document does.
void SetupRevLimit(ModuleValue& v, double value = 6144.0) {
    v.Setup(0xB662, 0xB662, value, 1904.0, 10096.0, -32, 32, 0.0);
}
void SetupStartMode(ModuleValue& v, double value = 350.0) {
    v.Setup(0xB66B, 0xB66B, value, 0.0, 1024.0, -15, 15, 0.0);
}

TEST(RoundingTest, HalvesGoUpAndConversionNeverOverflows) {
    EXPECT_EQ(RoundTo(0.5, 0), 1.0);
    EXPECT_EQ(RoundTo(-0.5, 0), 0.0);
    EXPECT_EQ(RoundTo(-2.5, 0), -2.0);
    EXPECT_EQ(RoundTo(47.5, 0), 48.0);
    EXPECT_EQ(RoundTo(2.4999, 0), 2.0);
    EXPECT_DOUBLE_EQ(RoundTo(1.25, 1), 1.3);

    EXPECT_EQ(TruncateToInt32(-2.7), -2);
    EXPECT_EQ(TruncateToInt32(2.7), 2);
    EXPECT_EQ(TruncateToInt32(1e20), std::numeric_limits<int32_t>::max());
    EXPECT_EQ(TruncateToInt32(-1e20), std::numeric_limits<int32_t>::min());
    EXPECT_EQ(TruncateToInt32(std::numeric_limits<double>::infinity()),
              std::numeric_limits<int32_t>::max());
    EXPECT_EQ(TruncateToInt32(std::nan("")), 0);
}

TEST(QuantizeTest, StepsCountFromZeroNotFromMin) {
    ByteSignedModuleValue rev;
    SetupRevLimit(rev);
    EXPECT_EQ(rev.Delta(), 128.0);
    EXPECT_EQ(rev.Quantize(10096.0), 10112.0);
    EXPECT_EQ(rev.Quantize(1904.0), 1920.0);
    EXPECT_EQ(rev.Quantize(6080.0), 6144.0);  // 47.5 steps round up
    EXPECT_EQ(rev.Quantize(99999.0), 10112.0);

    ByteSignedModuleValue cam;
    cam.Setup(0xB66C, 0xB66C, 0.0, -15.0, 15.0, -15, 15, 0.0);
    EXPECT_EQ(cam.Quantize(-2.5), -2.0);

    ByteModuleValue noRange;
    noRange.Setup(0xB661, 0xB661, 0.0, 0.0, 0.0, 0, 0, 0.0);
    EXPECT_EQ(noRange.Delta(), 0.0);
    EXPECT_EQ(noRange.Quantize(12345.6), 12345.6);
    EXPECT_EQ(noRange.ToInternal(12345.6), 12345);
    EXPECT_EQ(noRange.ToExternal(77), 77.0);

    // An explicit step wins over the computed one.
    ByteModuleValue dwell;
    dwell.Setup(0xB640, 0xB640, 0.0, 0.0, 15.0, 0, 255, 0.5);
    EXPECT_EQ(dwell.Delta(), 0.5);
    // A ranged value without a step is clamped, never divided by zero.
    ByteModuleValue noStep;
    noStep.Setup(1, 1, 0.0, 0.0, 10.0, 5, 5, 0.0);
    EXPECT_EQ(noStep.Quantize(12.0), 10.0);
}

TEST(ConversionTest, InternalValuesAndSignMagnitudeBytes) {
    ByteSignedModuleValue start;
    SetupStartMode(start);
    // 10 x 1024/30 must convert to exactly 10 counts above the bottom; an
    // extended-precision intermediate gives one count lower.
    const double stepped = 10.0 * (1024.0 / 30.0);
    EXPECT_EQ(start.Quantize(350.0), stepped);
    EXPECT_EQ(start.ToInternal(stepped), -5);
    start.StoreValue(start.Quantize(350.0));
    EXPECT_EQ(start.EncodeBytes(), std::vector<uint8_t>{0x85});

    ByteSignedModuleValue rev;
    SetupRevLimit(rev);
    EXPECT_EQ(rev.ToInternal(6144.0), 1);
    EXPECT_EQ(rev.EncodeBytes(), std::vector<uint8_t>{0x01});
    EXPECT_EQ(rev.ToExternal(1), 6128.0);
    rev.SetFromInternal(0x01);
    EXPECT_EQ(rev.GetValue(), 6144.0);
    EXPECT_TRUE(rev.InSync());
    rev.SetFromInternal(0xA0);  // -32
    EXPECT_EQ(rev.GetValue(), 1920.0);

    ByteSignedModuleValue cam;
    cam.Setup(0xB66C, 0xB66C, 0.0, -15.0, 15.0, -15, 15, 0.0);
    cam.SetFromInternal(0x85);
    EXPECT_EQ(cam.GetValue(), -5.0);
    ByteModuleValue plain;
    plain.Setup(0xB661, 0xB661, 0.0, 0.0, 0.0, 0, 0, 0.0);
    plain.SetFromInternal(0x85);
    EXPECT_EQ(plain.GetValue(), 133.0);
}

TEST(ConversionTest, WordsAreBigEndianInTheModule) {
    SerialNumberModuleValue serial;
    EXPECT_EQ(serial.Address0(), 0xB7FE);
    EXPECT_EQ(serial.Address1(), 0xB7FE);
    EXPECT_EQ(serial.GetSize(), 2);
    serial.StoreValue(12345.0);
    EXPECT_EQ(serial.EncodeBytes(), (std::vector<uint8_t>{0x30, 0x39}));
    // Read bytes 0x30, 0x39 in address order: the first byte is the low one.
    serial.SetFromInternal(0x3930);
    EXPECT_EQ(serial.GetValue(), 12345.0);
    // Bits above the two bytes are dropped.
    serial.SetFromInternal(0xFFFF3930u);
    EXPECT_EQ(serial.GetValue(), 12345.0);

    FirmwareVersionModuleValue fw;
    EXPECT_EQ(fw.Address0(), 0xFFD5);
    EXPECT_EQ(fw.GetSize(), 1);
    fw.SetFromInternal(0x21);
    EXPECT_EQ(fw.GetValue(), 33.0);
}

TEST(ConversionTest, BytesNeverWrap) {
    ByteModuleValue mode;
    mode.Setup(0xB661, 0xB661, 300.0, 0.0, 0.0, 0, 0, 0.0);
    EXPECT_EQ(mode.EncodeBytes(), std::vector<uint8_t>{0xFF});
    mode.StoreValue(-5.0);  // sign-magnitude for every class
    EXPECT_EQ(mode.EncodeBytes(), std::vector<uint8_t>{0x85});
    mode.StoreValue(-500.0);
    EXPECT_EQ(mode.EncodeBytes(), std::vector<uint8_t>{0xFF});

    ByteSignedModuleValue sign;
    sign.Setup(1, 1, 200.0, 0.0, 0.0, 0, 0, 0.0);
    EXPECT_EQ(sign.EncodeBytes(), std::vector<uint8_t>{0x7F});  // never reads back negative

    SerialNumberModuleValue serial;
    serial.StoreValue(1e12);
    EXPECT_EQ(serial.EncodeBytes(), (std::vector<uint8_t>{0xFF, 0xFF}));
}

class ValueTest : public ModelTest {};

TEST_F(ValueTest, SetValueWithTheLinkDown) {
    ByteSignedModuleValue rev;
    SetupRevLimit(rev);
    rev.SetInSync(true);
    // Quantizes to the current value: nothing changes.
    EXPECT_TRUE(rev.SetValue(6100.0, false));
    EXPECT_TRUE(rev.InSync());
    EXPECT_TRUE(rev.SetValue(7000.0, false));
    EXPECT_EQ(rev.GetValue(), 7040.0);
    EXPECT_FALSE(rev.InSync());

    // A value that is not finite never gets in.
    rev.SetInSync(true);
    EXPECT_FALSE(rev.SetValue(std::nan(""), false));
    EXPECT_FALSE(rev.SetValue(std::numeric_limits<double>::infinity(), false));
    EXPECT_EQ(rev.GetValue(), 7040.0);
    EXPECT_TRUE(rev.InSync());
}

TEST_F(ValueTest, MirroredValuesFollowTheSetting) {
    ByteMirroredModuleValue front;
    ByteMirroredModuleValue rear;
    front.Setup(0xB600, 0xB600, 0.0, 0.0, 45.0, 0, 45, 1.0);
    rear.Setup(0xB610, 0xB610, 0.0, 0.0, 45.0, 0, 45, 1.0);
    front.SetPartner(&rear);
    EXPECT_EQ(rear.Partner(), &front);

    SetMirrorSetting(false);
    EXPECT_TRUE(front.SetValue(12.0, true));
    EXPECT_EQ(front.GetValue(), 12.0);
    EXPECT_EQ(rear.GetValue(), 0.0);

    SetMirrorSetting(true);
    EXPECT_TRUE(front.SetValue(20.4, true));
    EXPECT_EQ(rear.GetValue(), 20.0);
    // Without propagation only the value itself moves.
    EXPECT_TRUE(rear.SetValue(30.0, true));
    EXPECT_EQ(front.GetValue(), 30.0);
    EXPECT_TRUE(rear.SetValue(31.0, false));
    EXPECT_EQ(front.GetValue(), 30.0);

    {
        ByteMirroredModuleValue other;
        other.SetPartner(&front);  // takes front away from rear
        EXPECT_EQ(front.Partner(), &other);
        EXPECT_EQ(rear.Partner(), nullptr);
    }
    // A destroyed partner unlinks itself.
    EXPECT_EQ(front.Partner(), nullptr);
    EXPECT_TRUE(front.SetValue(1.0, true));
}

TEST_F(ValueTest, SetupFromProfileReadsEveryField) {
    Profile& p = AppProfile();
    p.WriteInt("Val", "Address0", 0xB662);
    p.WriteInt("Val", "Address1", 0xB663);
    p.WriteString("Val", "Min", "1904.0");
    p.WriteString("Val", "Max", "10096");
    p.WriteString("Val", "Value", "6144.5x");
    p.WriteInt("Val", "MinInternal", -32);
    p.WriteInt("Val", "MaxInternal", 32);
    ByteSignedModuleValue v;
    v.SetupFromProfile("Val");
    EXPECT_EQ(v.Address0(), 0xB662);
    EXPECT_EQ(v.Address1(), 0xB663);
    EXPECT_EQ(v.Min(), 1904.0);
    EXPECT_EQ(v.Max(), 10096.0);
    EXPECT_EQ(v.GetValue(), 6144.5);
    EXPECT_EQ(v.MinInternal(), -32);
    EXPECT_EQ(v.MaxInternal(), 32);
    EXPECT_EQ(v.Delta(), 128.0);

    ByteModuleValue empty;
    empty.SetupFromProfile("Missing");
    EXPECT_EQ(empty.Address0(), 0);
    EXPECT_EQ(empty.Delta(), 0.0);
}

TEST_F(ValueTest, MonitoredValuesReadTheImageAndNeverWrite) {
    auto speed = MakeMonitoredValue(0);
    ASSERT_NE(speed, nullptr);
    EXPECT_EQ(speed->GetSize(), 2);
    EXPECT_DOUBLE_EQ(speed->Delta(), 16.11328125);
    speed->SetFromInternal(0x6400);  // bytes 0x00, 0x64: raw 100
    EXPECT_EQ(speed->FormatValue(), " 1611.3");
    EXPECT_FALSE(speed->SyncModuleWithHost(true));

    auto battery = MakeMonitoredValue(5);
    battery->SetFromInternal(200);
    EXPECT_EQ(battery->FormatValue(), " 12.5");
    EXPECT_DOUBLE_EQ(battery->Delta(), 16.0 / 255.0);
    EXPECT_EQ(MakeMonitoredValue(7), nullptr);
    EXPECT_EQ(MakeMonitoredValue(-1), nullptr);

    // No monitor packet yet: the image is not valid, so the value is not in sync.
    battery->SetInSync(true);
    EXPECT_TRUE(battery->Refresh());
    EXPECT_FALSE(battery->InSync());
    EXPECT_EQ(battery->GetValue(), 0.0);
}

TEST(ValueRecordTest, LayoutIsLittleEndianAndThirtyFourBytes) {
    ByteSignedModuleValue rev;
    SetupRevLimit(rev);
    std::vector<uint8_t> out;
    ValueRecord r{0xB662, 6144.0, 1904.0, 10096.0, -32, 32};
    EncodeValueRecord(r, out);
    ASSERT_EQ(out.size(), kValueRecordSize);
    EXPECT_EQ(out[0], 0x62);
    EXPECT_EQ(out[1], 0xB6);
    // 6144.0 = 0x40B8000000000000
    EXPECT_EQ(out[9], 0x40);
    EXPECT_EQ(out[8], 0xB8);
    EXPECT_EQ(out[2], 0x00);
    // -32 as a little-endian 32-bit integer
    EXPECT_EQ(out[26], 0xE0);
    EXPECT_EQ(out[29], 0xFF);
    EXPECT_EQ(out[30], 0x20);
    const ValueRecord back = DecodeValueRecord(out.data());
    EXPECT_EQ(back.address, r.address);
    EXPECT_EQ(back.value, r.value);
    EXPECT_EQ(back.min, r.min);
    EXPECT_EQ(back.max, r.max);
    EXPECT_EQ(back.minInternal, r.minInternal);
    EXPECT_EQ(back.maxInternal, r.maxInternal);
}

TEST(ValueRecordTest, LoadingStepsAndClearsSync) {
    ByteSignedModuleValue rev;
    SetupRevLimit(rev);
    rev.SetInSync(true);
    ValueRecord r{0xB662, 6100.0, 1904.0, 10096.0, -32, 32};
    EXPECT_EQ(rev.CheckRecord(r), "");
    rev.LoadRecord(r);
    EXPECT_EQ(rev.GetValue(), 6144.0);
    EXPECT_FALSE(rev.InSync());
    EXPECT_EQ(rev.Delta(), 128.0);  // the step is kept
}

TEST(ValueRecordTest, UnusableRecordsAreNamed) {
    ByteSignedModuleValue rev;
    SetupRevLimit(rev);
    const ValueRecord good{0xB662, 6144.0, 1904.0, 10096.0, -32, 32};
    EXPECT_EQ(rev.CheckRecord(good), "");

    auto bad = [&](auto change) {
        ValueRecord r = good;
        change(r);
        return rev.CheckRecord(r);
    };
    EXPECT_NE(bad([](ValueRecord& r) { r.value = std::nan(""); }), "");
    EXPECT_NE(bad([](ValueRecord& r) { r.max = std::numeric_limits<double>::infinity(); }), "");
    EXPECT_NE(bad([](ValueRecord& r) { r.min = 20000.0; }), "");
    EXPECT_NE(bad([](ValueRecord& r) { r.address = 0xB7FE; }), "");
    EXPECT_NE(bad([](ValueRecord& r) { r.maxInternal = r.minInternal; }), "");
    EXPECT_NE(bad([](ValueRecord& r) { r.minInternal = -200; }), "");
    EXPECT_NE(bad([](ValueRecord& r) { r.maxInternal = 128; }), "");
    // No range at all is fine.
    EXPECT_EQ(bad([](ValueRecord& r) {
                  r.min = r.max = 0.0;
                  r.minInternal = r.maxInternal = 0;
              }),
              "");

    ByteModuleValue unsignedByte;
    unsignedByte.Setup(0xB640, 0xB640, 0.0, 0.0, 15.0, 0, 255, 0.5);
    EXPECT_EQ(unsignedByte.CheckRecord({0xB640, 2.5, 0.0, 15.0, 0, 255}), "");
    EXPECT_NE(unsignedByte.CheckRecord({0xB640, 2.5, 0.0, 15.0, -1, 255}), "");
    EXPECT_NE(unsignedByte.CheckRecord({0xB640, 2.5, 0.0, 15.0, 0, 256}), "");
}

}  // namespace
}  // namespace qx::test
