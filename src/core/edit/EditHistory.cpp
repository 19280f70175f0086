#include "core/edit/EditHistory.h"

#include <cmath>
#include <optional>

#include "core/host/Host.h"
#include "core/host/Numbers.h"
#include "core/link/CommPort.h"
#include "core/model/ModuleState.h"

namespace qx {

EditHistory::EditHistory(ModuleState& doc) : doc_(doc) {}

void EditHistory::SetLimits(std::size_t maxSteps, std::size_t maxBytes) {
    maxSteps_ = maxSteps == 0 ? 1 : maxSteps;
    maxBytes_ = maxBytes;
    Trim();
}

std::vector<EditTarget> EditHistory::CompleteMirrors(const std::vector<EditTarget>& targets) const {
    if (!MirrorSetting()) return targets;
    auto listed = [&](SettingKey key) {
        for (const EditTarget& t : targets)
            if (t.key == key) return true;
        return false;
    };
    // Each twin right after its point, so that a write cut short parts at
    // most one pair.
    std::vector<EditTarget> set;
    for (const EditTarget& t : targets) {
        set.push_back(t);
        if (t.key.IsBasic()) continue;
        const auto* mirrored = dynamic_cast<const MirroredModuleValue*>(FindValue(doc_, t.key));
        if (mirrored == nullptr || mirrored->Partner() == nullptr) continue;
        // The twin is the same point of the other spark advance map.
        for (int m = 0; m < doc_.MapCount(); ++m) {
            const SettingKey twin = SettingKey::Point(m, t.key.index);
            if (m != t.key.map && FindValue(doc_, twin) == mirrored->Partner() && !listed(twin))
                set.push_back({twin, t.value});
        }
    }
    return set;
}

bool EditHistory::Perform(std::string description, const std::vector<EditTarget>& targets) {
    const Outcome o = PerformChange(std::move(description), targets);
    return o == Outcome::Done || o == Outcome::NotWritten;
}

EditHistory::Outcome EditHistory::PerformChange(std::string description,
                                                const std::vector<EditTarget>& targets) {
    if (applying_ || doc_.TransferInProgress()) return Outcome::Refused;
    const std::vector<EditTarget> set = CompleteMirrors(targets);
    // Checked whole before anything is stored or written.
    std::vector<ValueChange> changes;
    for (const EditTarget& t : set) {
        ModuleValue* v = FindValue(doc_, t.key);
        if (v == nullptr) continue;
        const double q = std::isfinite(t.value) ? v->Quantize(t.value) : t.value;
        if (!std::isfinite(q) || v->EncodeBytes(q).empty()) {
            CurrentHost().MessageBox(
                FormatC("%s: the value %.10g is outside what the module takes (%g to %g); "
                        "nothing was changed.",
                        SettingLongName(doc_, t.key).c_str(), t.value, v->Min(), v->Max()),
                kAppTitle, MsgButtons::Ok, MsgIcon::Error);
            return Outcome::Refused;
        }
        // A key named twice takes its last value.
        std::erase_if(changes, [&](const ValueChange& c) { return c.key == t.key; });
        if (q == v->GetValue()) continue;
        ValueChange c{t.key, v->GetValue(), q, {}};
        const std::vector<uint8_t> held = v->ModuleBytes();
        if (!held.empty() && held != v->EncodeBytes()) c.moduleBefore = held;
        changes.push_back(std::move(c));
    }
    if (changes.empty()) return Outcome::Unchanged;
    Push(EditCommand(std::move(description), std::move(changes)));
    return Apply(steps_[position_ - 1], true) ? Outcome::Done : Outcome::NotWritten;
}

bool EditHistory::Apply(const EditCommand& step, bool forward) {
    const EditCommand command = step;  // the deque may change under a nested loop
    applying_ = true;
    bool ok = true;
    {
        // One busy bracket over every write of the step: commands arriving
        // in between are postponed and the document cannot be replaced.
        std::optional<CommandBusyScope> busy;
        if (CommPort::Instance().IsLinked()) busy.emplace(true);
        ok = forward ? command.Apply(doc_) : command.Revert(doc_);
    }
    applying_ = false;
    Changed();
    return ok;
}

void EditHistory::Push(EditCommand command) {
    // A new step after undoing forgets the undone steps (and a save among them).
    while (steps_.size() > position_) {
        bytes_ -= steps_.back().MemoryBytes();
        steps_.pop_back();
    }
    if (saved_ && *saved_ > position_) saved_.reset();
    bytes_ += command.MemoryBytes();
    steps_.push_back(std::move(command));
    ++position_;
    Trim();
    Changed();
}

void EditHistory::Trim() {
    while (!steps_.empty() && (steps_.size() > maxSteps_ || bytes_ > maxBytes_)) {
        bytes_ -= steps_.front().MemoryBytes();
        steps_.pop_front();
        if (position_ > 0) --position_;
        if (saved_) {
            if (*saved_ == 0) {
                saved_.reset();
            } else {
                --*saved_;
            }
        }
    }
}

bool EditHistory::CanUndo() const {
    return !Busy() && position_ > 0;
}

bool EditHistory::CanRedo() const {
    return !Busy() && position_ < steps_.size();
}

std::string EditHistory::UndoText() const {
    return position_ > 0 ? "Undo " + steps_[position_ - 1].Description() : "Undo";
}

std::string EditHistory::RedoText() const {
    return position_ < steps_.size() ? "Redo " + steps_[position_].Description() : "Redo";
}

bool EditHistory::Undo() {
    return Step(false);
}

bool EditHistory::Redo() {
    return Step(true);
}

bool EditHistory::Step(bool forward) {
    if (forward ? !CanRedo() : !CanUndo()) return false;
    if (doc_.TransferInProgress()) return false;
    // The step counts as taken before its writes: a nested event loop during a
    // write then sees the history as it will be, and a failed write does not
    // take the step back (the document shows what the user asked for).
    const std::size_t index = forward ? position_ : position_ - 1;
    position_ = forward ? position_ + 1 : position_ - 1;
    Apply(steps_[index], forward);
    return true;
}

void EditHistory::Clear() {
    steps_.clear();
    position_ = 0;
    saved_ = 0;
    bytes_ = 0;
    Changed();
}

void EditHistory::MarkSaved() {
    saved_ = position_;
    Changed();
}

void EditHistory::ForgetSaved() {
    saved_.reset();
    Changed();
}

void EditHistory::Changed() {
    doc_.SetModifiedFlag(!AtSavedState());
    if (listener_) listener_();
}

}  // namespace qx
