#include "gui/edit/TuneComparison.h"

#include <QFileInfo>

#include "core/compare/TuneCompare.h"
#include "core/host/Host.h"
#include "core/link/CommPort.h"
#include "core/model/ModuleState.h"

namespace qx::gui {

TuneComparison::TuneComparison(QObject* parent, ModuleState& document, Host& host, CommPort& link)
    : QObject(parent), document_(document), host_(host), link_(link) {
    document_.AddObserver(this);
}

TuneComparison::~TuneComparison() {
    document_.RemoveObserver(this);
}

namespace {

struct Flag {
    explicit Flag(bool& f) : f_(f) { f_ = true; }
    ~Flag() { f_ = false; }
    bool& f_;
};

// A document to load into; the mirror setting the user has now stays.
std::unique_ptr<ModuleState> Blank(const ModuleState& current) {
    const bool mirror = current.OnUpdateToggleMirror();
    auto doc = std::make_unique<ModuleState>();
    doc->InitializeDefaults();
    SetMirrorSetting(mirror);
    return doc;
}

}  // namespace

bool TuneComparison::LoadFile(const std::string& path) {
    if (loading_) return false;
    Flag busy(loading_);
    auto other = Blank(document_);
    // The plain load: the edited document's offer to download does not apply.
    if (other->DocumentBase::OnOpenDocument(path) != DocStatus::Done) return false;
    Take(std::move(other), QFileInfo(QString::fromStdString(path)).fileName().toStdString());
    return true;
}

bool TuneComparison::LoadFromModule() {
    if (loading_) return false;
    if (!link_.IsLinked()) return false;
    Flag busy(loading_);
    auto other = Blank(document_);
    other->SetRestoreNote({"compare", document_.GetPathName()});
    host_.ShowWaitWindow("...while the module settings are uploaded for comparison");
    const bool ok = other->UploadSettings();
    host_.CloseWaitWindow();
    if (!ok) {
        host_.MessageBox("Unable to Upload Module Settings", "Communications Error", MsgButtons::Ok,
                         MsgIcon::None);
        return false;
    }
    // What was read is what the module holds: the document's picture learns it.
    for (SettingKey key : AllSettingKeys(document_)) {
        ModuleValue* mine = FindValue(document_, key);
        const ModuleValue* theirs = FindValue(*other, key);
        if (mine == nullptr || theirs == nullptr) continue;
        const std::vector<uint8_t> held = theirs->ModuleBytes();
        if (!held.empty()) mine->LearnModuleBytes(held);
    }
    Take(std::move(other), "Module");
    fromModule_ = true;
    return true;
}

void TuneComparison::Take(std::unique_ptr<ModuleState> other, std::string name) {
    fromModule_ = false;
    other_ = std::move(other);
    name_ = std::move(name);
    Refresh();
}

void TuneComparison::Hide() {
    if (loading_ || !other_) return;
    other_.reset();
    fromModule_ = false;
    name_.clear();
    diffs_.clear();
    Q_EMIT changed();
}

bool TuneComparison::MapDiffers(int map) const {
    return qx::MapDiffers(diffs_, map);
}

void TuneComparison::Refresh() {
    if (!other_) return;
    // The module as the program knows it now, not as it was when read: every
    // write acknowledged since is in the document's picture of it.
    if (fromModule_) {
        for (SettingKey key : AllSettingKeys(document_)) {
            const ModuleValue* mine = FindValue(document_, key);
            ModuleValue* theirs = FindValue(*other_, key);
            if (mine == nullptr || theirs == nullptr) continue;
            const std::vector<uint8_t> held = mine->ModuleBytes();
            if (held.empty()) continue;
            uint32_t raw = 0;
            for (std::size_t i = 0; i < held.size(); ++i)
                raw |= static_cast<uint32_t>(held[i]) << (8 * i);
            theirs->SetFromInternal(raw);
        }
    }
    // Values that give the module the same byte are the same tune: a default
    // typed off the step (350 rpm) equals its stepped copy read from a file.
    diffs_ = CompareTunes(document_, *other_, CompareMode::Module);
    Q_EMIT changed();
}

void TuneComparison::OnUpdate(DocumentBase&, int, ModuleMap*) {
    Refresh();
}

bool TuneComparison::UseOtherValue(SettingKey key) {
    if (!other_) return false;
    if (FindDifference(diffs_, key) == nullptr) return false;
    std::string why;
    const std::vector<EditTarget> targets = OtherValueTargets(document_, *other_, key, why);
    if (targets.empty()) {
        if (!why.empty()) {
            host_.MessageBox(why, "Use Other Value", MsgButtons::Ok, MsgIcon::Warning);
        }
        return false;
    }
    const bool done = document_.History().Perform("Use Other " + SettingLabel(key), targets);
    Refresh();
    return done;
}

}  // namespace qx::gui
