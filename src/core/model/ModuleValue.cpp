#include "model/ModuleValue.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "host/Numbers.h"
#include "host/Profile.h"
#include "link/CommPort.h"
#include "model/LittleEndian.h"
#include "monitor/LiveSource.h"
#include "monitor/RamMonitor.h"

namespace qx {

namespace {

bool g_mirror = true;

// The delta rule shared by Setup and SetupFromProfile.
double ChooseDelta(double delta, double min, double max, int32_t minInternal, int32_t maxInternal) {
    if (delta != 0.0 || minInternal == maxInternal) return delta;
    return (max - min) / (static_cast<double>(maxInternal) - static_cast<double>(minInternal));
}

}  // namespace

double RoundTo(double x, int digits) {
    if (digits == 0) {
        const double f = std::floor(x);
        return (x - f >= 0.5) ? f + 1.0 : f;
    }
    const double scale = std::pow(10.0, digits);
    return RoundTo(x * scale, 0) / scale;
}

int32_t TruncateToInt32(double x) {
    if (std::isnan(x)) return 0;
    constexpr double lo = static_cast<double>(std::numeric_limits<int32_t>::min());
    constexpr double hi = static_cast<double>(std::numeric_limits<int32_t>::max());
    if (x <= lo) return std::numeric_limits<int32_t>::min();
    if (x >= hi) return std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(x);
}

bool MirrorSetting() {
    return g_mirror;
}
void SetMirrorSetting(bool on) {
    g_mirror = on;
}
void LoadMirrorSetting() {
    g_mirror = AppProfile().GetInt("Settings", "Mirror", 1) != 0;
}

void EncodeValueRecord(const ValueRecord& record, std::vector<uint8_t>& out) {
    le::Put(out, record.address, 2);
    le::PutDouble(out, record.value);
    le::PutDouble(out, record.min);
    le::PutDouble(out, record.max);
    le::Put(out, static_cast<uint32_t>(record.minInternal), 4);
    le::Put(out, static_cast<uint32_t>(record.maxInternal), 4);
}

ValueRecord DecodeValueRecord(const uint8_t* bytes) {
    ValueRecord r;
    r.address = static_cast<uint16_t>(le::Get(bytes, 2));
    r.value = le::GetDouble(bytes + 2);
    r.min = le::GetDouble(bytes + 10);
    r.max = le::GetDouble(bytes + 18);
    r.minInternal = static_cast<int32_t>(static_cast<uint32_t>(le::Get(bytes + 26, 4)));
    r.maxInternal = static_cast<int32_t>(static_cast<uint32_t>(le::Get(bytes + 30, 4)));
    return r;
}

// ---- ModuleValue ----------------------------------------------------------

void ModuleValue::Setup(uint16_t address0, uint16_t address1, double value, double min, double max,
                        int32_t minInternal, int32_t maxInternal, double delta) {
    address0_ = address0;
    address1_ = address1;
    value_ = value;
    min_ = min;
    max_ = max;
    minInternal_ = minInternal;
    maxInternal_ = maxInternal;
    delta_ = ChooseDelta(delta, min, max, minInternal, maxInternal);
}

void ModuleValue::SetupFromProfile(std::string_view section) {
    const Profile& p = AppProfile();
    minInternal_ = p.GetInt(section, "MinInternal", 0);
    maxInternal_ = p.GetInt(section, "MaxInternal", 0);
    min_ = AtoF(p.GetString(section, "Min", "0.0"));
    max_ = AtoF(p.GetString(section, "Max", "0.0"));
    value_ = AtoF(p.GetString(section, "Value", "0.0"));
    address0_ = static_cast<uint16_t>(p.GetInt(section, "Address0", 0));
    address1_ = static_cast<uint16_t>(p.GetInt(section, "Address1", 0));
    delta_ = ChooseDelta(AtoF(p.GetString(section, "Delta", "0.0")), min_, max_, minInternal_,
                         maxInternal_);
}

bool ModuleValue::SetValue(double value, bool /*propagate*/) {
    // A NaN or infinity from a degenerate drag or typed text must never reach
    // the module or a file.
    if (!std::isfinite(value)) return false;
    const double old = value_;
    value_ = Quantize(value);
    if (value_ == old) return true;
    if (CommPort::Instance().IsLinked()) {
        if (SyncModuleWithHost(false)) {
            inSync_ = true;
            return true;
        }
        value_ = old;
        return false;
    }
    inSync_ = false;
    return true;
}

void ModuleValue::StoreValue(double value) {
    value_ = value;
}

void ModuleValue::SetFromInternal(uint32_t raw) {
    if (GetSize() == 2) raw = ((raw & 0xFFu) << 8) | ((raw >> 8) & 0xFFu);
    int64_t internal = raw;
    if (IsSigned() && (raw & 0x80u) != 0) internal = -static_cast<int64_t>(raw & ~0x80u);
    internal = std::clamp<int64_t>(internal, std::numeric_limits<int32_t>::min(),
                                   std::numeric_limits<int32_t>::max());
    StoreValue(Quantize(ToExternal(static_cast<int32_t>(internal))));
    inSync_ = true;
}

double ModuleValue::GetValue() const {
    return value_;
}

uint16_t ModuleValue::GetAddress() const {
    const uint8_t fw = CommPort::Instance().FirmwareVersion();
    return (fw == 0x10 || fw == 0xFF) ? address0_ : address1_;
}

double ModuleValue::Quantize(double x) const {
    if (min_ == max_) return x;
    x = std::clamp(x, min_, max_);
    // A ranged value always has a step; without one the value is only clamped.
    if (delta_ == 0.0 || !std::isfinite(delta_)) return x;
    return RoundTo(x / delta_, 0) * delta_;
}

double ModuleValue::ToExternal(int32_t internal) const {
    const double r = static_cast<double>(maxInternal_) - static_cast<double>(minInternal_);
    if (r == 0.0) return static_cast<double>(internal);
    const double e = max_ - min_;
    return min_ + e / r * (static_cast<double>(internal) - static_cast<double>(minInternal_));
}

int32_t ModuleValue::ToInternal(double x) const {
    const double e = max_ - min_;
    if (e == 0.0) return TruncateToInt32(x);
    const double r = static_cast<double>(maxInternal_) - static_cast<double>(minInternal_);
    const int32_t scaled = TruncateToInt32(r / e * (x - min_));
    const int64_t sum = static_cast<int64_t>(minInternal_) + scaled;
    return static_cast<int32_t>(std::clamp<int64_t>(sum, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

std::vector<uint8_t> ModuleValue::EncodeBytes() const {
    const int size = GetSize();
    int64_t raw = ToInternal(value_);
    // Clamp to what the bytes hold so that nothing wraps: a positive value fills
    // the bytes (7 bits when signed), a negative one is one sign-magnitude byte.
    const int64_t top = IsSigned() ? 0x7F : (size == 2 ? 0xFFFF : 0xFF);
    uint32_t bits;
    if (raw < 0) {
        bits = static_cast<uint32_t>(std::min<int64_t>(-raw, 0x7F)) | 0x80u;
    } else {
        bits = static_cast<uint32_t>(std::min(raw, top));
    }
    std::vector<uint8_t> bytes;
    for (int i = size - 1; i >= 0; --i) bytes.push_back(static_cast<uint8_t>(bits >> (8 * i)));
    return bytes;
}

bool ModuleValue::SyncModuleWithHost(bool /*propagate*/) {
    CommPort& port = CommPort::Instance();
    CommandBusyScope busy(true);
    PumpBlockScope noPump;
    const std::vector<uint8_t> bytes = EncodeBytes();
    uint16_t address = GetAddress();
    for (uint8_t b : bytes) {
        if (!port.WriteModuleByte(address, b)) return false;
        address = static_cast<uint16_t>(address + 1);
    }
    inSync_ = true;
    return true;
}

bool ModuleValue::Refresh() {
    CommPort& port = CommPort::Instance();
    CommandBusyScope busy(true);
    PumpBlockScope noPump;
    uint8_t buffer[4] = {};
    if (!port.ReadModuleMemoryBlock(buffer, GetAddress(), static_cast<uint16_t>(GetSize()))) {
        return false;
    }
    SetFromInternal(static_cast<uint32_t>(le::Get(buffer, 4)));
    return true;
}

ValueRecord ModuleValue::ToRecord() const {
    return ValueRecord{GetAddress(), value_, min_, max_, minInternal_, maxInternal_};
}

std::string ModuleValue::CheckRecord(const ValueRecord& r) const {
    if (!std::isfinite(r.value) || !std::isfinite(r.min) || !std::isfinite(r.max)) {
        return "a number is not finite";
    }
    if (r.min > r.max) return "the minimum lies above the maximum";
    if (r.address != address0_ || address0_ != address1_) {
        return FormatC("address 0x%04X is not the value's own (0x%04X)", r.address, address0_);
    }
    if (r.min < r.max && r.minInternal == r.maxInternal) {
        return "a range with equal internal limits";
    }
    const int64_t lo = IsSigned() ? -0x7F : 0;
    const int64_t hi = IsSigned() ? 0x7F : (GetSize() == 2 ? 0xFFFF : 0xFF);
    auto fits = [&](int32_t v) { return v >= lo && v <= hi; };
    if (!fits(r.minInternal) || !fits(r.maxInternal)) {
        return FormatC("internal range %d to %d does not fit in the value's %d byte(s)",
                       r.minInternal, r.maxInternal, GetSize());
    }
    return {};
}

void ModuleValue::LoadRecord(const ValueRecord& r) {
    address0_ = r.address;
    value_ = r.value;
    min_ = r.min;
    max_ = r.max;
    minInternal_ = r.minInternal;
    maxInternal_ = r.maxInternal;
    value_ = Quantize(value_);
    address1_ = address0_;
    inSync_ = false;
}

// ---- MirroredModuleValue --------------------------------------------------

MirroredModuleValue::~MirroredModuleValue() {
    SetPartner(nullptr);
}

void MirroredModuleValue::SetPartner(MirroredModuleValue* other) {
    if (partner_ == other) return;
    if (partner_ != nullptr && partner_->partner_ == this) partner_->partner_ = nullptr;
    partner_ = other;
    if (other != nullptr) {
        if (other->partner_ != nullptr && other->partner_ != this) {
            other->partner_->partner_ = nullptr;
        }
        other->partner_ = this;
    }
}

bool MirroredModuleValue::SetValue(double value, bool propagate) {
    if (!ModuleValue::SetValue(value, false)) return false;
    if (propagate && MirrorSetting() && partner_ != nullptr) {
        return partner_->SetValue(value, false);
    }
    return true;
}

bool MirroredModuleValue::SyncModuleWithHost(bool propagate) {
    if (!ModuleValue::SyncModuleWithHost(false)) return false;
    if (propagate && MirrorSetting() && partner_ != nullptr) {
        return partner_->SyncModuleWithHost(false);
    }
    return true;
}

// ---- MonitoredModuleValue -------------------------------------------------

bool MonitoredModuleValue::SyncModuleWithHost(bool /*propagate*/) {
    return false;
}

bool MonitoredModuleValue::Refresh() {
    uint8_t buffer[4] = {};
    // The monitor's image or a log being played back, whichever feeds the displays.
    LiveSource* source = ActiveLiveSource();
    if (source == nullptr) source = &RamMonitor::Instance();
    const bool valid =
        source->GetImageBytes(buffer, GetAddress(), static_cast<std::size_t>(GetSize()));
    SetFromInternal(static_cast<uint32_t>(le::Get(buffer, 4)));
    inSync_ = valid;
    return true;
}

std::string MonitoredModuleValue::FormatValue() const {
    return FormatDouble(" %.1f", value_);
}

// ---- Fixed-address values -------------------------------------------------

SerialNumberModuleValue::SerialNumberModuleValue() {
    Setup(kSerialNumberAddress, kSerialNumberAddress, 0.0, 0.0, 0.0, 0, 0, 0.0);
}

FirmwareVersionModuleValue::FirmwareVersionModuleValue() {
    Setup(kFirmwareVersionAddress, kFirmwareVersionAddress, 0.0, 0.0, 0.0, 0, 0, 0.0);
}

}  // namespace qx
