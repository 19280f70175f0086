#include "core/model/ModuleState.h"

#include <new>

#include "core/host/Host.h"
#include "core/host/Numbers.h"
#include "core/host/Profile.h"
#include "core/link/CommPort.h"
#include "core/restore/KeepModule.h"

namespace qx {

const std::array<BasicSettingInfo, kBasicValueCount> kBasicSettings = {{
    {"ignitionMode",
     "Ignition Mode",
     "",
     false,
     0xB661,
     0.0,
     0.0,
     0,
     0,
     2.0,
     {{{1.0, "single", "single fire"}, {2.0, "dual", "dual fire"}}}},
    {"switchLockout",
     "Switch Lockout On",
     "",
     false,
     0xB670,
     0.0,
     0.0,
     0,
     0,
     0.0,
     {{{170.0, "on", "on"}, {0.0, "off", "off"}}}},
    {"camSensorSync", "Cam Sensor Sync", "deg", true, 0xB66C, -15.0, 15.0, -15, 15, 0.0, {}},
    {"camSensorOffset", "Cam Sensor Offset", "msec", false, 0xB668, 0.0, 120.0, 0, 15, 8.0, {}},
    {"ignitionDelay", "Ignition Delay", "rev", false, 0xB669, 0.0, 5.0, 0, 5, 0.0, {}},
    {"revLimit", "Rev Limit", "rpm", true, 0xB662, 1904.0, 10096.0, -32, 32, 6144.0, {}},
    {"startModeEnter", "Start Mode Enter", "rpm", true, 0xB66B, 0.0, 1024.0, -15, 15, 350.0, {}},
    {"startModeExit", "Start Mode Exit", "rpm", true, 0xB66A, 0.0, 1024.0, -15, 15, 512.0, {}},
    {"auxRevLimit", "Aux Rev Limit", "rpm", true, 0xB66D, 1904.0, 10096.0, -32, 32, 6144.0, {}},
    {"revLimitRate", "Rev Limit Rate", "", false, 0xB671, 0.0, 8.0, 0, 8, 4.0, {}},
    {"nitrousDelay", "Nitrous Delay", "sec", false, 0xB66F, 0.0, 7.5, 0, 15, 0.0, {}},
    {"nosArmingRpm", "NOS Arming RPM", "rpm", false, 0xB667, 0.0, 8250.0, 0, 15, 4096.0, {}},
}};

const SettingChoice* BasicSettingInfo::ChoiceOf(double value) const {
    for (const SettingChoice& c : choices) {
        if (c.word != nullptr && c.value == value) return &c;
    }
    return nullptr;
}

std::string BasicSettingInfo::ChoicesText() const {
    std::string text;
    for (const SettingChoice& c : choices) {
        if (c.word == nullptr) continue;
        if (!text.empty()) text += " or ";
        text += FormatC("%g (%s)", c.value, c.meaning);
    }
    return text;
}

namespace {

constexpr std::size_t kMapCountOffset = kBasicValueCount * kValueRecordSize;  // 408
constexpr std::size_t kMapsOffset = kMapCountOffset + 4;                      // 412
constexpr std::size_t kMapRecords = 16;
constexpr std::size_t kMapSize = kMapRecords * kValueRecordSize;  // 544

std::unique_ptr<ModuleValue> MakeBasicValue(const BasicSettingInfo& info) {
    std::unique_ptr<ModuleValue> v;
    if (info.isSigned) {
        v = std::make_unique<ByteSignedModuleValue>();
    } else {
        v = std::make_unique<ByteModuleValue>();
    }
    v->Setup(info.address, info.address, info.defaultValue, info.min, info.max, info.minInternal,
             info.maxInternal, 0.0);
    std::vector<double> takes;
    for (const SettingChoice& c : info.choices) {
        if (c.word != nullptr) takes.push_back(c.value);
    }
    v->SetChoices(std::move(takes));
    return v;
}

bool LinkUp() {
    return CommPort::Exists() && CommPort::Instance().IsLinked();
}

// Shows the wait window for the life of a transfer and clears the flag after it.
class TransferScope {
  public:
    TransferScope(bool& flag, std::string_view text) : flag_(flag) {
        CurrentHost().ShowWaitWindow(text);
        flag_ = true;
    }
    ~TransferScope() { CurrentHost().CloseWaitWindow(); }
    void End() { flag_ = false; }
    TransferScope(const TransferScope&) = delete;
    TransferScope& operator=(const TransferScope&) = delete;

  private:
    bool& flag_;
};

}  // namespace

ModuleState::ModuleState() {
    // Set up from the start so that a file opened before any new document is
    // stepped with the right steps.
    for (std::size_t i = 0; i < basic_.size(); ++i) basic_[i] = MakeBasicValue(kBasicSettings[i]);
    AttachPicture();
}

void ModuleState::AttachPicture() {
    for (auto& v : basic_) v->AttachPicture(&picture_);
    for (auto& m : maps) m->AttachPicture(&picture_);
}

ModuleState::~ModuleState() = default;

ModuleMap* ModuleState::Map(int index) const {
    if (index < 0 || static_cast<std::size_t>(index) >= maps.size()) return nullptr;
    return maps[static_cast<std::size_t>(index)].get();
}

void ModuleState::SetupBasicValues() {
    for (std::size_t i = 0; i < basic_.size(); ++i) {
        const BasicSettingInfo& info = kBasicSettings[i];
        basic_[i]->Setup(info.address, info.address, info.defaultValue, info.min, info.max,
                         info.minInternal, info.maxInternal, 0.0);
    }
}

void ModuleState::BuildMaps(bool initialize) {
    ++mapsGeneration_;
    // The steps name points of the maps replaced here.
    history_.Clear();
    maps.clear();
    try {
        std::vector<std::unique_ptr<ModuleMap>> built;
        for (int i = 0; i < mapCount; ++i) {
            built.push_back(MakeMap(i));
            built.back()->AttachPicture(&picture_);
        }
        if (initialize) {
            for (auto& m : built) m->InitializeMap();
        }
        maps = std::move(built);
    } catch (const std::bad_alloc&) {
        // No map is used that was not created: the document is left without maps.
        CurrentHost().MessageBox("Out of Memory!", kAppTitle, MsgButtons::Ok, MsgIcon::Error);
    }
}

void ModuleState::InitializeDefaults() {
    SetupBasicValues();
    LoadMirrorSetting();
    BuildMaps(true);
    currentMap = 0;
    if (maps.size() >= 2) maps[0]->LinkMirrors(*maps[1]);
}

bool ModuleState::CanReplaceContents() const {
    if (transferInProgress || history_.Busy()) return false;
    return !CommPort::Exists() || CommPort::Instance().BusyCount() == 0;
}

DocStatus ModuleState::OnNewDocument() {
    const DocStatus status = DocumentBase::OnNewDocument();
    if (status != DocStatus::Done) return status;
    InitializeDefaults();
    // What the module holds is known for a document that came from it only.
    ForgetModuleBytes();
    UpdateAllViews(nullptr, 0, GetCurrentMap());
    return DocStatus::Done;
}

DocStatus ModuleState::OnOpenDocument(const std::string& path) {
    const DocStatus status = DocumentBase::OnOpenDocument(path);
    if (status != DocStatus::Done) return status;
    if (LinkUp()) {
        const MsgResult answer = CurrentHost().MessageBox(
            "Do you want to download these settings to the module?", "Download Module Settings",
            MsgButtons::YesNo, MsgIcon::Question);
        if (answer == MsgResult::Yes) OnDownload();
    }
    return DocStatus::Done;
}

DocStatus ModuleState::OnSaveDocument(const std::string& path) {
    const DocStatus status = DocumentBase::OnSaveDocument(path);
    if (status == DocStatus::Done) history_.MarkSaved();
    return status;
}

// ---- The settings file -----------------------------------------------------

std::vector<uint8_t> ModuleState::StoreContents() const {
    std::vector<uint8_t> out;
    out.reserve(kSettingsFileSize);
    for (const auto& v : basic_) EncodeValueRecord(v->ToRecord(), out);
    const uint32_t count = kMapCount;
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(count >> (8 * i)));
    for (int i = 0; i < kMapCount; ++i) {
        if (const ModuleMap* m = Map(i); m != nullptr && m->Initialized()) {
            m->Store(out);
        } else {
            // A document without that map still writes a whole file: its defaults.
            std::unique_ptr<ModuleMap> fresh = MakeMap(i);
            fresh->InitializeMap();
            fresh->Store(out);
        }
    }
    return out;
}

std::string ModuleState::CheckContents(const std::vector<uint8_t>& bytes) const {
    if (bytes.size() < kSettingsFileSize) {
        return FormatC("the file is %zu bytes long; a settings file is %zu bytes", bytes.size(),
                       kSettingsFileSize);
    }
    if (bytes.size() > kSettingsFileSize) {
        return FormatC("the file is longer than the %zu bytes of a settings file",
                       kSettingsFileSize);
    }
    for (std::size_t i = 0; i < kBasicSettings.size(); ++i) {
        const BasicSettingInfo& info = kBasicSettings[i];
        const ValueRecord record = DecodeValueRecord(bytes.data() + i * kValueRecordSize);
        // Named with the words of the table before the value's own check says it in numbers.
        if (info.HasChoices() && info.ChoiceOf(record.value) == nullptr) {
            return FormatC("\"%s\": the value %g is not one it takes: %s", info.label, record.value,
                           info.ChoicesText().c_str());
        }
        const std::unique_ptr<ModuleValue> fresh = MakeBasicValue(info);
        const std::string why = fresh->CheckRecord(record);
        if (!why.empty()) return FormatC("\"%s\": %s", info.label, why.c_str());
    }
    const uint32_t count = static_cast<uint32_t>(bytes[kMapCountOffset]) |
                           static_cast<uint32_t>(bytes[kMapCountOffset + 1]) << 8 |
                           static_cast<uint32_t>(bytes[kMapCountOffset + 2]) << 16 |
                           static_cast<uint32_t>(bytes[kMapCountOffset + 3]) << 24;
    if (static_cast<int32_t>(count) != kMapCount) {
        return FormatC("the map count is %d, not %d", static_cast<int32_t>(count), kMapCount);
    }
    for (int i = 0; i < kMapCount; ++i) {
        const std::unique_ptr<ModuleMap> fresh = MakeMap(i);
        const std::string why = fresh->CheckRecords(bytes.data() + kMapsOffset +
                                                    static_cast<std::size_t>(i) * kMapSize);
        if (!why.empty()) return "map \"" + fresh->Title() + "\", " + why;
    }
    return {};
}

void ModuleState::LoadContents(const std::vector<uint8_t>& bytes) {
    for (std::size_t i = 0; i < basic_.size(); ++i) {
        basic_[i]->LoadRecord(DecodeValueRecord(bytes.data() + i * kValueRecordSize));
    }
    BuildMaps(false);
    for (std::size_t i = 0; i < maps.size(); ++i) {
        maps[i]->LoadRecords(bytes.data() + kMapsOffset + i * kMapSize);
    }
    if (maps.size() >= 2) maps[0]->LinkMirrors(*maps[1]);
    ForgetModuleBytes();
    UpdateAllViews(nullptr, 0, GetCurrentMap());
}

// ---- Transfers -------------------------------------------------------------

bool ModuleState::DownloadSettings() {
    CommPort& port = CommPort::Instance();
    if (port.BusyCount() > 0) return false;
    if (maps.size() != static_cast<std::size_t>(mapCount)) return false;
    CommandBusyScope busy(true);
    if (!KeepBeforeOverwrite(*this, "download")) return false;
    for (auto& v : basic_) {
        if (!v->SyncModuleWithHost(false)) return false;
    }
    for (auto& m : maps) {
        if (!m->DownloadToModule()) return false;
    }
    CurrentHost().Beep(BeepKind::Question);
    return true;
}

std::vector<ModuleValue*> ModuleState::ModuleValues() {
    std::vector<ModuleValue*> values;
    for (auto& v : basic_) values.push_back(v.get());
    for (auto& m : maps) {
        if (!m->Initialized()) continue;
        for (int i = 0; i < m->PointCount(); ++i) values.push_back(m->Point(i).value.get());
    }
    return values;
}

int ModuleState::CountValuesTheModuleLacks() {
    int count = 0;
    for (ModuleValue* v : ModuleValues()) count += v->ModuleHoldsValue() ? 0 : 1;
    return count;
}

int ModuleState::CountValuesToWrite() {
    int count = 0;
    for (ModuleValue* v : ModuleValues()) count += v->NeedsWrite() ? 1 : 0;
    return count;
}

bool ModuleState::KnowsModuleBytes() {
    return picture_.KnowsAny();
}

void ModuleState::ForgetModuleBytes() {
    picture_.ForgetAll();
}

ModuleState::ChangedWrite ModuleState::WriteChangedSettings(bool readBack) {
    ChangedWrite result;
    CommPort& port = CommPort::Instance();
    if (port.BusyCount() > 0 || !port.IsLinked()) return result;
    CommandBusyScope busy(true);
    // No new document can replace the maps while busy; the generation check
    // keeps the pointers honest should that ever change.
    const uint64_t generation = mapsGeneration_;
    if (CountValuesToWrite() > 0 && !KeepBeforeOverwrite(*this, "write changes")) return result;
    if (generation != mapsGeneration_) return result;
    std::vector<ModuleValue*> written;
    for (ModuleValue* v : ModuleValues()) {
        if (!v->NeedsWrite()) continue;
        const bool ok = v->SyncModuleWithHost(false);
        if (generation != mapsGeneration_) return result;
        if (!ok) return result;
        written.push_back(v);
    }
    result.written = static_cast<int>(written.size());
    if (readBack) {
        for (ModuleValue* v : written) {
            uint8_t buffer[4] = {};
            const auto size = static_cast<uint16_t>(v->GetSize());
            if (!port.ReadModuleMemoryBlock(buffer, v->GetAddress(), size)) return result;
            if (generation != mapsGeneration_) return result;
            std::vector<uint8_t> bytes(buffer, buffer + size);
            if (bytes != v->EncodeBytes()) ++result.mismatched;
            v->NoteModuleHolds(bytes);
        }
    }
    result.ok = result.mismatched == 0;
    UpdateAllViews(nullptr, 0, GetCurrentMap());
    return result;
}

bool ModuleState::UploadSettings() {
    CommPort& port = CommPort::Instance();
    if (port.BusyCount() > 0) return false;
    if (maps.size() != static_cast<std::size_t>(mapCount)) return false;
    CommandBusyScope busy(true);
    // A failed upload leaves the document as it was. Values are put back in
    // place, so the maps and the views' points stay.
    // What was read stays in the module picture: it is what the module holds.
    std::vector<std::pair<ModuleValue*, double>> saved;
    for (auto& v : basic_) saved.push_back({v.get(), v->GetValue()});
    for (auto& m : maps) {
        for (int i = 0; i < m->PointCount(); ++i) {
            ModuleValue* v = m->Point(i).value.get();
            saved.push_back({v, v->GetValue()});
        }
    }
    auto fail = [&] {
        for (auto& [v, value] : saved) v->StoreValue(value);
        return false;
    };
    uint8_t block[kBasicBlockSize] = {};
    if (!port.ReadModuleMemoryBlock(block, kBasicBlockAddress, kBasicBlockSize)) return fail();
    for (auto& v : basic_) {
        // Basic values sit at fixed addresses inside the block.
        const int offset = static_cast<int>(v->Address0()) - kBasicBlockAddress;
        if (offset >= 0 && offset < kBasicBlockSize) {
            v->SetFromInternal(block[static_cast<std::size_t>(offset)]);
        }
    }
    for (auto& m : maps) {
        if (!m->UploadFromModule()) return fail();
    }
    KeepAfterRead(*this, "upload");
    CurrentHost().Beep(BeepKind::Question);
    // The steps were made on the contents just replaced: undoing one would
    // write values the module never held. The saved state is gone too.
    history_.Clear();
    history_.ForgetSaved();
    UpdateAllViews(nullptr, 0, GetCurrentMap());
    return true;
}

// ---- Commands --------------------------------------------------------------

void ModuleState::OnDownload() {
    TransferScope transfer(transferInProgress, "...while the module settings are downloaded");
    if (!DownloadSettings()) {
        CurrentHost().MessageBox("Unable to Download Settings to Module", "Communications Error",
                                 MsgButtons::Ok, MsgIcon::None);
    }
    transfer.End();
    UpdateAllViews(nullptr, 0, GetCurrentMap());
}

void ModuleState::OnUpload() {
    TransferScope transfer(transferInProgress, "...while the module settings are uploaded");
    if (!UploadSettings()) {
        CurrentHost().MessageBox("Unable to Upload Module Settings", "Communications Error",
                                 MsgButtons::Ok, MsgIcon::None);
    }
    transfer.End();
    UpdateAllViews(nullptr, 0, GetCurrentMap());
}

bool ModuleState::OnUpdateUpload() const {
    return LinkUp() && !transferInProgress;
}
bool ModuleState::OnUpdateDownload() const {
    return LinkUp() && !transferInProgress;
}

void ModuleState::OnSelectMap(int commandId) {
    const int index = commandId - cmd::kMapFirst;
    if (index < 0 || index >= mapCount) return;
    currentMap = index;
    UpdateAllViews(nullptr, 0, GetCurrentMap());
}

bool ModuleState::OnUpdateSelectMap(int commandId) const {
    return commandId - cmd::kMapFirst == currentMap;
}

void ModuleState::OnToggleMirror() {
    const bool on = !MirrorSetting();
    SetMirrorSetting(on);
    AppProfile().WriteInt("Settings", "Mirror", on ? 1 : 0);
}

bool ModuleState::OnUpdateToggleMirror() const {
    return MirrorSetting();
}

}  // namespace qx
