#include "edit/TuneComparison.h"

#include <QFileInfo>

#include "host/Host.h"
#include "link/CommPort.h"
#include "model/ModuleState.h"

namespace qx::gui {

TuneComparison::TuneComparison(QObject* parent, ModuleState& document)
    : QObject(parent), document_(document) {
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
std::unique_ptr<ModuleState> Blank() {
    const bool mirror = MirrorSetting();
    auto doc = std::make_unique<ModuleState>();
    doc->InitializeDefaults();
    SetMirrorSetting(mirror);
    return doc;
}

}  // namespace

bool TuneComparison::LoadFile(const std::string& path) {
    if (loading_) return false;
    Flag busy(loading_);
    auto other = Blank();
    // The plain load: the edited document's offer to download does not apply.
    if (other->DocumentBase::OnOpenDocument(path) != DocStatus::Done) return false;
    Take(std::move(other), QFileInfo(QString::fromStdString(path)).fileName().toStdString());
    return true;
}

bool TuneComparison::LoadFromModule() {
    if (loading_) return false;
    if (!CommPort::Exists() || !CommPort::Instance().IsLinked()) return false;
    Flag busy(loading_);
    auto other = Blank();
    CurrentHost().ShowWaitWindow("...while the module settings are uploaded for comparison");
    const bool ok = other->UploadSettings();
    CurrentHost().CloseWaitWindow();
    if (!ok) {
        CurrentHost().MessageBox("Unable to Upload Module Settings", "Communications Error",
                                 MsgButtons::Ok, MsgIcon::None);
        return false;
    }
    Take(std::move(other), "Module");
    return true;
}

void TuneComparison::Take(std::unique_ptr<ModuleState> other, std::string name) {
    other_ = std::move(other);
    name_ = std::move(name);
    Refresh();
}

void TuneComparison::Hide() {
    if (loading_ || !other_) return;
    other_.reset();
    name_.clear();
    diffs_.clear();
    Q_EMIT changed();
}

bool TuneComparison::MapDiffers(int map) const {
    return qx::MapDiffers(diffs_, map);
}

void TuneComparison::Refresh() {
    if (!other_) return;
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
    const TuneDifference* d = FindDifference(diffs_, key);
    if (d == nullptr) return false;
    const double theirs = d->theirs;
    const bool done =
        document_.History().Perform("Use Other " + SettingLabel(key), {{key, theirs}});
    Refresh();
    return done;
}

}  // namespace qx::gui
