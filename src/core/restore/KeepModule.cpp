#include "core/restore/KeepModule.h"

#include <algorithm>

#include "core/host/Host.h"
#include "core/link/CommPort.h"
#include "core/model/ModulePicture.h"
#include "core/model/ModuleState.h"
#include "core/restore/RestorePoints.h"

namespace qx {
namespace {

// Reads of one exchange cover addresses this close together.
constexpr int kLargestRead = 128;
constexpr int kLargestGap = 16;

// Every byte of every setting, read from the linked module into picture.
bool ReadSettings(const std::vector<ModuleValue*>& values, ModulePicture& picture) {
    std::vector<uint16_t> addresses;
    for (const ModuleValue* v : values) {
        for (int i = 0; i < v->GetSize(); ++i)
            addresses.push_back(static_cast<uint16_t>(v->GetAddress() + i));
    }
    std::sort(addresses.begin(), addresses.end());
    addresses.erase(std::unique(addresses.begin(), addresses.end()), addresses.end());
    std::size_t i = 0;
    while (i < addresses.size()) {
        std::size_t j = i;
        while (j + 1 < addresses.size() && addresses[j + 1] - addresses[j] <= kLargestGap &&
               addresses[j + 1] - addresses[i] < kLargestRead) {
            ++j;
        }
        const auto count = static_cast<uint16_t>(addresses[j] - addresses[i] + 1);
        std::vector<uint8_t> bytes(count, 0);
        if (!CommPort::Instance().ReadModuleMemoryBlock(bytes.data(), addresses[i], count))
            return false;
        picture.Read(addresses[i], bytes, {});
        i = j + 1;
    }
    return true;
}

// The module's serial number as it says now (-1 when it does not answer).
int ReadSerial() {
    SerialNumberModuleValue serial;
    return serial.Refresh() ? static_cast<int>(serial.GetValue()) : -1;
}

void Store(const ModuleState& doc, const ModulePicture& picture, std::string_view next,
           int serial) {
    RestorePoints* store = AppRestorePoints();
    int inexact = 0;
    const std::optional<std::vector<uint8_t>> file = SettingsFileOf(picture, &inexact);
    if (!file) return;
    RestorePoint about;
    about.serial = serial;
    const uint8_t firmware = CommPort::Instance().FirmwareVersion();
    about.firmware = firmware == CommPort::kNoFirmware ? -1 : firmware;
    about.next = doc.RestoreNote().next.empty() ? std::string(next) : doc.RestoreNote().next;
    about.tunerFile =
        doc.RestoreNote().tunerFile.empty() ? doc.GetPathName() : doc.RestoreNote().tunerFile;
    about.inexact = inexact;
    std::string why;
    if (store->Keep(*file, about, why) != RestorePoints::Outcome::Failed || store->Told()) return;
    store->SetTold();
    CurrentHost().MessageBox(
        "What the module held could not be kept as a restore point:\n" + why +
            "\n\nThe transfer goes on. This is not said again until the program starts anew.",
        kAppTitle, MsgButtons::Ok, MsgIcon::Warning);
}

}  // namespace

std::optional<std::vector<uint8_t>> SettingsFileOf(const ModulePicture& picture, int* inexact) {
    // Made as an upload makes the document, so that the file is what an upload
    // of this module would have saved. Defaults set up maps; the mirror flag
    // they read from the profile is the process's and stays as it was.
    const bool mirror = MirrorSetting();
    ModuleState module;
    module.InitializeDefaults();
    SetMirrorSetting(mirror);
    int off = 0;
    for (ModuleValue* v : module.ModuleValues()) {
        const std::vector<uint8_t> held =
            picture.Held(v->GetAddress(), static_cast<std::size_t>(v->GetSize()));
        if (held.empty()) return std::nullopt;
        uint32_t raw = 0;
        for (std::size_t i = 0; i < held.size(); ++i)
            raw |= static_cast<uint32_t>(held[i]) << (8 * i);
        v->SetFromInternal(raw);
        if (v->EncodeBytes() != held) ++off;
    }
    if (inexact != nullptr) *inexact = off;
    return module.StoreContents();
}

void KeepAfterRead(const ModuleState& doc, std::string_view next) {
    if (AppRestorePoints() == nullptr) return;
    Store(doc, doc.Picture(), next, ReadSerial());
}

bool KeepBeforeOverwrite(ModuleState& doc, std::string_view next) {
    if (AppRestorePoints() == nullptr) return true;
    ModulePicture picture;
    if (!ReadSettings(doc.ModuleValues(), picture)) return false;
    Store(doc, picture, next, ReadSerial());
    return true;
}

}  // namespace qx
