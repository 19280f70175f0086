#pragma once
// The settings document: the twelve basic settings, the six maps, the map on
// screen, the settings file, and the commands that belong to the settings
// (map selection, the mirror toggle, Basic Setup, upload and download).
//
// Ownership: the document owns its basic values and its maps. Map pointers and
// references stay valid until the next new document or successful open, which
// replace the maps (observers are then told with the new current map).
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/edit/EditHistory.h"
#include "core/host/CommandIds.h"
#include "core/maps/CalibrationMaps.h"
#include "core/model/DocumentBase.h"
#include "core/model/ModulePicture.h"
#include "core/model/ModuleValue.h"

namespace qx {

inline constexpr std::size_t kSettingsFileSize = 3676;
inline constexpr uint16_t kBasicBlockAddress = 0xB661;
inline constexpr int kBasicBlockSize = 17;
inline constexpr int kBasicValueCount = 12;

// The basic settings, in file (and download) order.
enum BasicSetting {
    kIgnitionMode,
    kSwitchLockout,
    kCamSensorSync,
    kCamSensorOffset,
    kIgnitionDelay,
    kRevLimit,
    kStartModeEnter,
    kStartModeExit,
    kAuxRevLimit,
    kRevLimitRate,
    kNitrousDelay,
    kNosArmingRpm,
};

// One of the values a setting without a range takes, with the word qvx
// accepts for it and what it means to the module.
struct SettingChoice {
    double value = 0.0;
    const char* word = nullptr;     // "single"; null for an unused slot
    const char* meaning = nullptr;  // "single fire"
};

struct BasicSettingInfo {
    const char* member;  // e.g. "ignitionMode"
    const char* label;   // the Basic Setup dialog's label
    const char* unit;    // "" when none
    bool isSigned;
    uint16_t address;
    double min;
    double max;
    int32_t minInternal;
    int32_t maxInternal;
    double defaultValue;
    // A setting without a range takes these values and no others; none for a ranged one.
    std::array<SettingChoice, 2> choices;

    bool HasChoices() const { return choices[0].word != nullptr; }
    // The choice of value, or null.
    const SettingChoice* ChoiceOf(double value) const;
    // "1 (single fire) or 2 (dual fire)".
    std::string ChoicesText() const;
};

extern const std::array<BasicSettingInfo, kBasicValueCount> kBasicSettings;

class ModuleState : public DocumentBase {
  public:
    ModuleState();
    ~ModuleState() override;

    // The basic value of the given setting (file order index 0 .. 11).
    ModuleValue& BasicValue(int index) { return *basic_[static_cast<std::size_t>(index)]; }
    const ModuleValue& BasicValue(int index) const {
        return *basic_[static_cast<std::size_t>(index)];
    }
    ModuleValue& ignitionMode() { return BasicValue(kIgnitionMode); }
    ModuleValue& switchLockout() { return BasicValue(kSwitchLockout); }
    ModuleValue& camSensorSync() { return BasicValue(kCamSensorSync); }
    ModuleValue& camSensorOffset() { return BasicValue(kCamSensorOffset); }
    ModuleValue& ignitionDelay() { return BasicValue(kIgnitionDelay); }
    ModuleValue& revLimit() { return BasicValue(kRevLimit); }
    ModuleValue& startModeEnter() { return BasicValue(kStartModeEnter); }
    ModuleValue& startModeExit() { return BasicValue(kStartModeExit); }
    ModuleValue& auxRevLimit() { return BasicValue(kAuxRevLimit); }
    ModuleValue& revLimitRate() { return BasicValue(kRevLimitRate); }
    ModuleValue& nitrousDelay() { return BasicValue(kNitrousDelay); }
    ModuleValue& nosArmingRpm() { return BasicValue(kNosArmingRpm); }

    int MapCount() const { return mapCount; }
    // Null before the first new document or load, or for an index out of range.
    ModuleMap* Map(int index) const;
    int CurrentMap() const { return currentMap; }
    ModuleMap* GetCurrentMap() const { return Map(currentMap); }
    bool TransferInProgress() const { return transferInProgress; }
    // Changes whenever the maps are rebuilt (new document, open): map, point and
    // value pointers taken before that are gone.
    uint64_t MapsGeneration() const { return mapsGeneration_; }

    // Defaults for every basic value, six new maps, map 0 current, spark maps paired.
    void InitializeDefaults();
    // Whole-document transfers; false (having told the user) on failure.
    bool UploadSettings();
    bool DownloadSettings();

    // Every value the module holds, in download order: the basic settings, then
    // each map's points. The pointers live until the maps are rebuilt.
    std::vector<ModuleValue*> ModuleValues();
    // What the module is known to hold.
    const ModulePicture& Picture() const { return picture_; }
    // How many values the module is not known to hold as they are here (their
    // bytes differ from what it last sent or acknowledged, or are not known).
    int CountValuesTheModuleLacks();
    // How many of those the tuner changed (or whose bytes are not known):
    // the ones Write Changes writes. The rest the module holds off the
    // program's step or range, as uploaded.
    int CountValuesToWrite();
    // True when the module's bytes are known for at least one value.
    bool KnowsModuleBytes();
    void ForgetModuleBytes();

    struct ChangedWrite {
        bool ok = false;     // every write acknowledged and every read-back matched
        int written = 0;     // values written
        int mismatched = 0;  // values whose read-back differed (left out of sync)
    };
    // Writes only the values that need writing (NeedsWrite: changed by the
    // tuner, or not known to be held), in download order. With readBack each written value
    // is read again and compared. Stops at the first failed exchange (the user
    // has been told). Refused (ok false, nothing written) while busy.
    ChangedWrite WriteChangedSettings(bool readBack);

    // The module the document's known bytes came from: its firmware version and
    // serial number as read when it was linked.
    struct ModuleIdentity {
        int firmware = -1;
        int serial = -1;
        bool operator==(const ModuleIdentity&) const = default;
    };
    const ModuleIdentity& LinkedModule() const { return linkedModule_; }
    void SetLinkedModule(const ModuleIdentity& id) { linkedModule_ = id; }

    // What the restore points kept by this document's transfers say of
    // themselves; empty fields: the transfer's own name and this path name.
    struct RestoreNoteText {
        std::string next;
        std::string tunerFile;
    };
    const RestoreNoteText& RestoreNote() const { return restoreNote_; }
    void SetRestoreNote(RestoreNoteText note) { restoreNote_ = std::move(note); }

    // Refused (Busy) while a transfer or any module command runs.
    DocStatus OnNewDocument() override;
    // After a good load with the link up, offers to download the settings.
    DocStatus OnOpenDocument(const std::string& path) override;
    bool CanReplaceContents() const override;
    // Marks the history's saved position.
    DocStatus OnSaveDocument(const std::string& path) override;

    // Every user edit goes through the history; cleared whenever the maps are rebuilt.
    EditHistory& History() { return history_; }
    const EditHistory& History() const { return history_; }

    // Command handlers and their menu state.
    void OnUpload();
    void OnDownload();
    bool OnUpdateUpload() const;    // enabled
    bool OnUpdateDownload() const;  // enabled
    void OnSelectMap(int commandId);
    bool OnUpdateSelectMap(int commandId) const;  // checked
    void OnToggleMirror();
    bool OnUpdateToggleMirror() const;  // checked

    // The settings file image (3676 bytes).
    std::vector<uint8_t> StoreContents() const override;
    // Empty when bytes is a settings file this document accepts, else what is wrong.
    std::string CheckContents(const std::vector<uint8_t>& bytes) const override;

  protected:
    void LoadContents(const std::vector<uint8_t>& bytes) override;
    std::size_t MaxFileSize() const override { return kSettingsFileSize; }

  private:
    void AttachPicture();
    void SetupBasicValues();
    void BuildMaps(bool initialize);

    // Before the values: they keep a pointer to it.
    ModulePicture picture_;
    std::array<std::unique_ptr<ModuleValue>, kBasicValueCount> basic_;
    int mapCount = kMapCount;
    std::vector<std::unique_ptr<ModuleMap>> maps;
    int currentMap = 0;
    bool transferInProgress = false;
    uint64_t mapsGeneration_ = 0;
    ModuleIdentity linkedModule_;
    RestoreNoteText restoreNote_;
    EditHistory history_{*this};
};

}  // namespace qx
