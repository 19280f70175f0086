#pragma once
// A module value: one quantity of the ignition module held in one or two bytes of
// module memory. The value is kept in the user's units (external, a double) and
// tied to the module's raw integer (internal) by a linear conversion with a range,
// a step and a byte encoding.
//
// Ownership: values are plain objects; whoever creates one owns it (the document
// its basic values, a map point its value, a map its live value, the monitor
// window its monitored values). A mirrored value's partner is never owned; the
// link is cleared on both sides when either value is destroyed.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qx {

class ModulePicture;

// Rounds x to digits decimal places with halves going up (towards +infinity).
double RoundTo(double x, int digits);

// The module integer of x: truncated towards zero after clamping to the signed
// 32-bit range; a NaN gives 0. Never undefined behaviour.
int32_t TruncateToInt32(double x);

// The process-wide "Advance Maps Synchronized" flag read by every mirrored value.
bool MirrorSetting();
// Changes the flag in memory only.
void SetMirrorSetting(bool on);
// Loads the flag from profile "Settings"/"Mirror" (default 1).
void LoadMirrorSetting();

// The 34-byte record of a value in the settings file (all little-endian):
// address u16, Value f64, Min f64, Max f64, MinInternal i32, MaxInternal i32.
inline constexpr std::size_t kValueRecordSize = 34;

struct ValueRecord {
    uint16_t address = 0;
    double value = 0.0;
    double min = 0.0;
    double max = 0.0;
    int32_t minInternal = 0;
    int32_t maxInternal = 0;
};

// Appends the 34 bytes of record to out.
void EncodeValueRecord(const ValueRecord& record, std::vector<uint8_t>& out);
// Reads a record from 34 bytes at bytes (the caller guarantees the length).
ValueRecord DecodeValueRecord(const uint8_t* bytes);

class ModuleValue {
  public:
    virtual ~ModuleValue() = default;
    ModuleValue(const ModuleValue&) = delete;
    ModuleValue& operator=(const ModuleValue&) = delete;

    // Stores both addresses, Value as passed (not stepped), the ranges; Delta is
    // delta when it is non-zero or the internal limits are equal, else E / R.
    // InSync is not touched.
    virtual void Setup(uint16_t address0, uint16_t address1, double value, double min, double max,
                       int32_t minInternal, int32_t maxInternal, double delta);
    // The same fields from the profile section given.
    virtual void SetupFromProfile(std::string_view section);
    // A value without a range that takes only these values (two-state settings);
    // empty: any its bytes hold. Kept by Setup and LoadRecord.
    void SetChoices(std::vector<double> values) { choices_ = std::move(values); }

    // The user's way to change a value: steps it and, with the link up, writes it
    // at once. A value that is not finite, or that steps to one the module cannot
    // hold (EncodeBytes), is refused: false, nothing changes, nothing is sent.
    virtual bool SetValue(double value, bool propagate);
    virtual void StoreValue(double value);
    // raw: the bytes as read from the module in address order, first byte in the
    // low bits. Converts, steps and stores; marks the value in sync. A result
    // EncodeBytes refuses (not finite, say) is not stored and leaves the value
    // out of sync.
    virtual void SetFromInternal(uint32_t raw);
    virtual double GetValue() const;
    // Address0 for the firmware bytes 0x10 and 0xFF, Address1 otherwise.
    virtual uint16_t GetAddress() const;
    virtual double Quantize(double x) const;
    virtual double ToExternal(int32_t internal) const;
    virtual int32_t ToInternal(double x) const;
    // Writes the value to the module, one acknowledged byte at a time, most
    // significant byte first. A value EncodeBytes refuses is reported to the
    // user and nothing is sent (false, InSync unchanged).
    virtual bool SyncModuleWithHost(bool propagate);
    // Writes bytes (in address order) to the value's addresses, one acknowledged
    // byte at a time; the picture learns each acknowledged byte, and the bytes
    // from a failed one on become unknown.
    // Bytes the program's table lets it write (the wrong size never).
    bool WriteToModule(const std::vector<uint8_t>& bytes);
    bool TableHolds(const std::vector<uint8_t>& bytes) const;
    // Reads the value back from the module.
    virtual bool Refresh();
    virtual bool IsSigned() const { return false; }
    virtual int GetSize() const = 0;

    // The one conversion of an external value into the bytes written to the
    // module, in address order. Empty when the module cannot hold value: it is
    // not finite, its integer lies outside [MinInternal, MaxInternal] or outside
    // the internal range the program was built with (either order; a value
    // without range: outside what its bytes hold, or none of its choices), or
    // the bytes would read back as another integer. Nothing is ever clamped or
    // wrapped.
    std::vector<uint8_t> EncodeBytes(double value) const;
    // The bytes of the current value.
    std::vector<uint8_t> EncodeBytes() const { return EncodeBytes(value_); }

    // The file record (address is GetAddress at the time of storing).
    ValueRecord ToRecord() const;
    // Empty when record can be loaded into this value, else what is wrong with it:
    // a number that is not finite, a range whose width is not, Min above Max,
    // another address than this value's own, a range with equal internal limits
    // or no range with unequal ones, a range or internal range that is not the
    // one this value was built with or a narrowing of it (same conversion),
    // an internal range the value's bytes cannot hold, a value outside its range
    // by more than a step or none of its choices, or a range (with this value's
    // step) in which the value or an edit could step to something the module
    // cannot hold.
    std::string CheckRecord(const ValueRecord& record) const;
    // Loads a record (Address1 = Address0, Value stepped, not in sync). The
    // step is kept. Callers check the record first.
    void LoadRecord(const ValueRecord& record);

    uint16_t Address0() const { return address0_; }
    uint16_t Address1() const { return address1_; }
    double Min() const { return min_; }
    double Max() const { return max_; }
    int32_t MinInternal() const { return minInternal_; }
    int32_t MaxInternal() const { return maxInternal_; }
    double Delta() const { return delta_; }
    // The module picture this value's bytes are kept in (its document's); null
    // for a value of its own, which then keeps what it knows itself.
    void AttachPicture(ModulePicture* picture) { picture_ = picture; }
    // The bytes the module is known to hold for this value, in address order:
    // what it sent (upload, refresh) or acknowledged (a whole write). Empty when
    // not known: a new or opened document, a write that failed part way.
    std::vector<uint8_t> ModuleBytes() const;
    // The module holds bytes and the document agrees to them (an acknowledged
    // write, or what the tune of a file says the module holds); empty forgets.
    void SetModuleBytes(const std::vector<uint8_t>& bytes);
    // The module is known to hold bytes, which the document makes into its
    // current value (as an upload does): in sync only when they are the value's.
    void NoteModuleHolds(const std::vector<uint8_t>& bytes);
    // The module holds bytes, read apart from this document's value (a
    // comparison with the module): in sync only when they are the value's.
    void LearnModuleBytes(const std::vector<uint8_t>& bytes);
    // True when the module is known to hold exactly the bytes of the value.
    bool ModuleHoldsValue() const;
    // True when writing the value would change what the tuner last saw agreed
    // with the module: its bytes are not known, or the value moved from both
    // what the module holds and what the document made of it. A value uploaded
    // off the program's step (or out of its range) and left alone needs no write.
    bool NeedsWrite() const;

    // In a document: the module is known to hold the value's bytes. A value of
    // its own keeps the flag it was given.
    bool InSync() const;
    void SetInSync(bool inSync) { inSync_ = inSync; }

  protected:
    ModuleValue() = default;

    // The module integer of raw bytes as read (first byte in the low bits).
    int64_t InternalFromRaw(uint32_t raw) const;
    // Empty when the record's range is the table's or a narrowing of it.
    std::string CheckAgainstTable(const ValueRecord& record) const;

    uint16_t address0_ = 0;
    uint16_t address1_ = 0;
    // The range the program was built with (Setup); a file may narrow the
    // value's range, never these.
    double tableMin_ = 0.0;
    double tableMax_ = 0.0;
    int32_t tableMinInternal_ = 0;
    int32_t tableMaxInternal_ = 0;
    double min_ = 0.0;
    double max_ = 0.0;
    int32_t minInternal_ = 0;
    int32_t maxInternal_ = 0;
    double value_ = 0.0;
    double delta_ = 0.0;
    std::vector<double> choices_;
    bool inSync_ = false;
    std::vector<uint8_t> moduleBytes_;  // a value of its own only
    ModulePicture* picture_ = nullptr;  // not owned
};

class ByteModuleValue : public ModuleValue {
  public:
    ByteModuleValue() = default;
    int GetSize() const override { return 1; }
};

class WordModuleValue : public ModuleValue {
  public:
    WordModuleValue() = default;
    int GetSize() const override { return 2; }
};

// Negative internal values are sign-magnitude: bit 7 the sign, bits 0-6 the magnitude.
class SignedModuleValue : public ModuleValue {
  public:
    bool IsSigned() const override { return true; }

  protected:
    SignedModuleValue() = default;
};

class ByteSignedModuleValue : public SignedModuleValue {
  public:
    ByteSignedModuleValue() = default;
    int GetSize() const override { return 1; }
};

// Passes changes on to its partner (the twin point of the other spark advance
// map) while the mirror setting is on and the caller asks for it.
class MirroredModuleValue : public ModuleValue {
  public:
    ~MirroredModuleValue() override;
    bool SetValue(double value, bool propagate) override;
    bool SyncModuleWithHost(bool propagate) override;

    MirroredModuleValue* Partner() const { return partner_; }
    // Links this and other mutually (null unlinks this one and its old partner).
    void SetPartner(MirroredModuleValue* other);

  protected:
    MirroredModuleValue() = default;

  private:
    MirroredModuleValue* partner_ = nullptr;
};

class ByteMirroredModuleValue : public MirroredModuleValue {
  public:
    ByteMirroredModuleValue() = default;
    int GetSize() const override { return 1; }
};

// Read-only: Refresh reads the RAM monitor's image; in sync only while the last
// monitor packet was good. Never writes to the module.
class MonitoredModuleValue : public ModuleValue {
  public:
    bool SyncModuleWithHost(bool propagate) override;
    bool Refresh() override;
    // The value with one decimal and a leading blank (" %.1f").
    virtual std::string FormatValue() const;

  protected:
    MonitoredModuleValue() = default;
};

class WordMonitoredModuleValue : public MonitoredModuleValue {
  public:
    WordMonitoredModuleValue() = default;
    int GetSize() const override { return 2; }
};

class ByteMonitoredModuleValue : public MonitoredModuleValue {
  public:
    ByteMonitoredModuleValue() = default;
    int GetSize() const override { return 1; }
};

inline constexpr uint16_t kSerialNumberAddress = 0xB7FE;
inline constexpr uint16_t kFirmwareVersionAddress = 0xFFD5;

// The module's serial number in its EEPROM; no range.
class SerialNumberModuleValue : public WordModuleValue {
  public:
    SerialNumberModuleValue();
};

// The firmware version byte: high nibble major, low nibble minor; no range.
class FirmwareVersionModuleValue : public ByteModuleValue {
  public:
    FirmwareVersionModuleValue();
};

}  // namespace qx
