#include "core/model/ModuleValue.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "core/host/Host.h"
#include "core/host/Numbers.h"
#include "core/host/Profile.h"
#include "core/link/CommPort.h"
#include "core/model/LittleEndian.h"
#include "core/model/ModulePicture.h"
#include "core/monitor/LiveSource.h"
#include "core/monitor/RamMonitor.h"

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
    tableMin_ = min;
    tableMax_ = max;
    tableMinInternal_ = minInternal;
    tableMaxInternal_ = maxInternal;
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
    tableMin_ = min_;
    tableMax_ = max_;
    tableMinInternal_ = minInternal_;
    tableMaxInternal_ = maxInternal_;
}

bool ModuleValue::SetValue(double value, bool /*propagate*/) {
    // A NaN or infinity from a degenerate drag or typed text must never reach
    // the module or a file.
    if (!std::isfinite(value)) return false;
    const double old = value_;
    const double stepped = Quantize(value);
    if (stepped == old) return true;
    // Refused with the link down too, so that the document never holds (nor
    // saves) a value that could not be downloaded.
    if (EncodeBytes(stepped).empty()) return false;
    value_ = stepped;
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

int64_t ModuleValue::InternalFromRaw(uint32_t raw) const {
    if (GetSize() == 2) raw = ((raw & 0xFFu) << 8) | ((raw >> 8) & 0xFFu);
    if (IsSigned() && (raw & 0x80u) != 0) return -static_cast<int64_t>(raw & ~0x80u);
    return raw;
}

std::vector<uint8_t> ModuleValue::ModuleBytes() const {
    if (picture_ == nullptr) return moduleBytes_;
    return picture_->Held(GetAddress(), static_cast<std::size_t>(GetSize()));
}

void ModuleValue::SetModuleBytes(const std::vector<uint8_t>& bytes) {
    if (picture_ == nullptr) {
        moduleBytes_ = bytes;
        return;
    }
    const uint16_t address = GetAddress();
    picture_->Forget(address, static_cast<std::size_t>(GetSize()));
    if (bytes.size() != static_cast<std::size_t>(GetSize())) return;
    for (std::size_t i = 0; i < bytes.size(); ++i)
        picture_->Written(static_cast<uint16_t>(address + i), bytes[i]);
}

void ModuleValue::NoteModuleHolds(const std::vector<uint8_t>& bytes) {
    if (picture_ == nullptr) {
        moduleBytes_ = bytes;
        return;
    }
    picture_->Read(GetAddress(), bytes, EncodeBytes());
}

void ModuleValue::LearnModuleBytes(const std::vector<uint8_t>& bytes) {
    if (picture_ == nullptr) {
        moduleBytes_ = bytes;
        return;
    }
    picture_->Read(GetAddress(), bytes, {});
}

bool ModuleValue::ModuleHoldsValue() const {
    const std::vector<uint8_t> held = ModuleBytes();
    if (held.empty()) return false;
    return held == EncodeBytes();
}

bool ModuleValue::NeedsWrite() const {
    const std::vector<uint8_t> held = ModuleBytes();
    if (held.empty()) return true;
    const std::vector<uint8_t> mine = EncodeBytes();
    if (held == mine) return false;
    if (picture_ == nullptr) return true;
    return picture_->Agreed(GetAddress(), static_cast<std::size_t>(GetSize())) != mine;
}

bool ModuleValue::InSync() const {
    return picture_ != nullptr ? ModuleHoldsValue() : inSync_;
}

void ModuleValue::SetFromInternal(uint32_t raw) {
    std::vector<uint8_t> held;
    for (int i = 0; i < GetSize(); ++i) held.push_back(static_cast<uint8_t>(raw >> (8 * i)));
    const int64_t internal =
        std::clamp<int64_t>(InternalFromRaw(raw), std::numeric_limits<int32_t>::min(),
                            std::numeric_limits<int32_t>::max());
    const double external = Quantize(ToExternal(static_cast<int32_t>(internal)));
    // An odd range can give NaN, infinity or a value that could not be written
    // back: such a value is never stored, nor shown as in sync.
    const std::vector<uint8_t> mine = EncodeBytes(external);
    if (picture_ != nullptr) {
        // A byte that is none of a two-state setting's values is nothing to
        // show: the value stays, standing for it, so it is not written unasked.
        const bool kept = mine.empty() && !choices_.empty();
        picture_->Read(GetAddress(), held, kept ? EncodeBytes() : mine);
    } else {
        moduleBytes_ = held;
    }
    if (mine.empty()) {
        inSync_ = false;
        return;
    }
    StoreValue(external);
    // A byte off the program's step (or out of its range) is not what the
    // program would write back: not in sync, though nothing was changed.
    inSync_ = mine == held;
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
    const double stepped = RoundTo(x / delta_, 0) * delta_;
    return std::isfinite(stepped) ? stepped : x;
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

std::vector<uint8_t> ModuleValue::EncodeBytes(double value) const {
    if (!std::isfinite(value)) return {};
    // A two-state setting's other bytes mean nothing to the module.
    if (!choices_.empty() && std::find(choices_.begin(), choices_.end(), value) == choices_.end())
        return {};
    const bool ranged = min_ != max_;
    if (ranged) {
        // A conversion factor that is not finite truncates to nonsense.
        const double e = max_ - min_;
        const double r = static_cast<double>(maxInternal_) - static_cast<double>(minInternal_);
        if (!std::isfinite(e) || !std::isfinite(r / e * (value - min_))) return {};
    }
    const int64_t internal = ToInternal(value);
    if (ranged && (internal < std::min(minInternal_, maxInternal_) ||
                   internal > std::max(minInternal_, maxInternal_))) {
        return {};
    }
    // Whatever a file declared, the program's own table bounds every byte.
    if (tableMin_ != tableMax_ && (internal < std::min(tableMinInternal_, tableMaxInternal_) ||
                                   internal > std::max(tableMinInternal_, tableMaxInternal_))) {
        return {};
    }
    // Negatives are sign-magnitude in every class; whether the bytes hold the
    // integer is settled by reading them back as an upload would.
    const int size = GetSize();
    const uint64_t bits =
        internal < 0 ? (static_cast<uint64_t>(-internal) | 0x80u) : static_cast<uint64_t>(internal);
    if ((bits >> (8 * size)) != 0) return {};
    std::vector<uint8_t> bytes;
    uint32_t asRead = 0;  // first byte in the low bits
    for (int i = size - 1; i >= 0; --i) {
        const auto b = static_cast<uint8_t>(bits >> (8 * i));
        asRead |= static_cast<uint32_t>(b) << (8 * bytes.size());
        bytes.push_back(b);
    }
    if (InternalFromRaw(asRead) != internal) return {};
    return bytes;
}

bool ModuleValue::SyncModuleWithHost(bool /*propagate*/) {
    const std::vector<uint8_t> bytes = EncodeBytes();
    if (bytes.empty()) {
        CurrentHost().MessageBox(
            FormatC("The value %.10g is outside the range of module address 0x%04X; nothing was "
                    "written.\nModuleValue::SyncModuleWithHost",
                    value_, GetAddress()),
            kAppTitle, MsgButtons::Ok, MsgIcon::Error);
        return false;
    }
    return WriteToModule(bytes);
}

bool ModuleValue::TableHolds(const std::vector<uint8_t>& bytes) const {
    if (bytes.size() != static_cast<std::size_t>(GetSize())) return false;
    if (tableMin_ == tableMax_) return true;
    uint32_t raw = 0;  // first byte in the low bits, as read
    for (std::size_t i = 0; i < bytes.size(); ++i)
        raw |= static_cast<uint32_t>(bytes[i]) << (8 * i);
    const int64_t internal = InternalFromRaw(raw);
    return internal >= std::min(tableMinInternal_, tableMaxInternal_) &&
           internal <= std::max(tableMinInternal_, tableMaxInternal_);
}

bool ModuleValue::WriteToModule(const std::vector<uint8_t>& bytes) {
    if (!TableHolds(bytes)) return false;
    CommPort& port = CommPort::Instance();
    CommandBusyScope busy(true);
    PumpBlockScope noPump;
    const uint16_t first = GetAddress();
    uint16_t address = first;
    for (uint8_t b : bytes) {
        if (!port.WriteModuleByte(address, b)) {
            // An unacknowledged byte may or may not have arrived.
            if (picture_ != nullptr) {
                picture_->Forget(address, static_cast<std::size_t>(first + GetSize() - address));
            } else {
                moduleBytes_.clear();
            }
            return false;
        }
        if (picture_ != nullptr) picture_->Written(address, b);
        address = static_cast<uint16_t>(address + 1);
    }
    if (picture_ == nullptr) moduleBytes_ = bytes;
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

namespace {

// A value of another's size, sign and step holding a record as LoadRecord
// leaves it, so that a record is judged by the very conversions it would get.
class RecordProbe final : public ModuleValue {
  public:
    RecordProbe(const ModuleValue& like, const ValueRecord& r)
        : size_(like.GetSize()), signed_(like.IsSigned()) {
        address0_ = address1_ = r.address;
        delta_ = like.Delta();
        LoadRecord(r);
    }
    int GetSize() const override { return size_; }
    bool IsSigned() const override { return signed_; }

  private:
    int size_;
    bool signed_;
};

}  // namespace

std::string ModuleValue::CheckAgainstTable(const ValueRecord& r) const {
    const bool tableRanged = tableMin_ != tableMax_;
    const bool recordRanged = r.min != r.max;
    if (!tableRanged) {
        if (recordRanged) {
            return FormatC("the range %g to %g is not the module's (this value has none)", r.min,
                           r.max);
        }
        return {};
    }
    const double lo = std::min(tableMin_, tableMax_);
    const double hi = std::max(tableMin_, tableMax_);
    const int32_t iLo = std::min(tableMinInternal_, tableMaxInternal_);
    const int32_t iHi = std::max(tableMinInternal_, tableMaxInternal_);
    const std::string table = FormatC("%g to %g over internal range %d to %d", tableMin_, tableMax_,
                                      tableMinInternal_, tableMaxInternal_);
    if (!recordRanged) return "no range where the module's is " + table;
    const double tolerance = 1e-9 * std::max(1.0, hi - lo);
    if (r.min < lo - tolerance || r.max > hi + tolerance) {
        return FormatC("the range %g to %g is wider than the module's ", r.min, r.max) + table;
    }
    if (r.minInternal < iLo || r.minInternal > iHi || r.maxInternal < iLo || r.maxInternal > iHi) {
        return FormatC("the internal range %d to %d is wider than the module's ", r.minInternal,
                       r.maxInternal) +
               table;
    }
    // The record's ends must sit where the table's conversion puts them.
    const double slope =
        (static_cast<double>(tableMaxInternal_) - tableMinInternal_) / (tableMax_ - tableMin_);
    auto internalAt = [&](double x) { return tableMinInternal_ + slope * (x - tableMin_); };
    if (std::fabs(internalAt(r.min) - r.minInternal) > 1e-6 ||
        std::fabs(internalAt(r.max) - r.maxInternal) > 1e-6) {
        return FormatC(
                   "the range %g to %g over internal %d to %d converts otherwise than the "
                   "module's ",
                   r.min, r.max, r.minInternal, r.maxInternal) +
               table;
    }
    return {};
}

std::string ModuleValue::CheckRecord(const ValueRecord& r) const {
    if (!std::isfinite(r.value) || !std::isfinite(r.min) || !std::isfinite(r.max)) {
        return "a number is not finite";
    }
    if (!std::isfinite(r.max - r.min)) {
        return FormatC("the width of the range %g to %g is not a finite number", r.min, r.max);
    }
    if (r.min > r.max) return "the minimum lies above the maximum";
    if (r.address != address0_ || address0_ != address1_) {
        return FormatC("address 0x%04X is not the value's own (0x%04X)", r.address, address0_);
    }
    if (r.min < r.max && r.minInternal == r.maxInternal) {
        return "a range with equal internal limits";
    }
    // Without a range the value is its own integer; internal limits would
    // turn every upload into Min.
    if (r.min == r.max && r.minInternal != r.maxInternal) {
        return FormatC("no range over internal range %d to %d", r.minInternal, r.maxInternal);
    }
    // The program's table is the authority: a record may narrow its range with
    // the same conversion, never widen it or change the conversion.
    if (std::string why = CheckAgainstTable(r); !why.empty()) return why;
    const int64_t lo = IsSigned() ? -0x7F : 0;
    const int64_t hi = IsSigned() ? 0x7F : (GetSize() == 2 ? 0xFFFF : 0xFF);
    auto fits = [&](int32_t v) { return v >= lo && v <= hi; };
    if (!fits(r.minInternal) || !fits(r.maxInternal)) {
        return FormatC("internal range %d to %d does not fit in the value's %d byte(s)",
                       r.minInternal, r.maxInternal, GetSize());
    }
    // Stepping may leave a value up to half a step outside its range; more is
    // not a value this program writes.
    const double slack = std::fabs(delta_);
    if (r.min < r.max && (r.value < r.min - slack || r.value > r.max + slack)) {
        return FormatC("the value %g lies outside its range %g to %g", r.value, r.min, r.max);
    }
    if (!choices_.empty() &&
        std::find(choices_.begin(), choices_.end(), r.value) == choices_.end()) {
        std::string list;
        for (double c : choices_) list += (list.empty() ? "" : ", ") + FormatC("%g", c);
        return FormatC("the value %g is none of those it takes (%s)", r.value, list.c_str());
    }
    const RecordProbe probe(*this, r);
    if (probe.EncodeBytes().empty()) {
        if (r.min == r.max) {
            return FormatC("the value %g does not fit in the value's %d byte(s)", r.value,
                           GetSize());
        }
        return FormatC("the value %g is outside the internal range %d to %d", probe.GetValue(),
                       r.minInternal, r.maxInternal);
    }
    // Stepping and conversion are monotonic, so when both ends can be sent,
    // every value an edit can reach can be.
    if (r.min < r.max && (probe.EncodeBytes(probe.Quantize(r.min)).empty() ||
                          probe.EncodeBytes(probe.Quantize(r.max)).empty())) {
        return FormatC("the range %g to %g steps outside the internal range %d to %d", r.min, r.max,
                       r.minInternal, r.maxInternal);
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
    LiveSource* source = RamMonitor::Instance().Samples().Active();
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
