#include "edit/EditHistory.h"

#include <optional>

#include "link/CommPort.h"
#include "model/ModuleState.h"

namespace qx {

EditHistory::EditHistory(ModuleState& doc) : doc_(doc) {}

void EditHistory::SetLimits(std::size_t maxSteps, std::size_t maxBytes) {
    maxSteps_ = maxSteps == 0 ? 1 : maxSteps;
    maxBytes_ = maxBytes;
    Trim();
}

std::vector<double> EditHistory::Snapshot() const {
    std::vector<double> values;
    values.reserve(recordKeys_.size());
    for (SettingKey key : recordKeys_) {
        const ModuleValue* v = FindValue(doc_, key);
        values.push_back(v ? v->GetValue() : 0.0);
    }
    return values;
}

void EditHistory::BeginEdit(std::string description) {
    if (applying_) return;
    if (recordDepth_++ > 0) return;
    recordName_ = std::move(description);
    recordKeys_ = AllSettingKeys(doc_);
    recordBefore_ = Snapshot();
}

bool EditHistory::EndEdit() {
    if (recordDepth_ == 0 || --recordDepth_ > 0) return false;
    // A new document or an open in between replaced the maps: nothing to compare.
    if (AllSettingKeys(doc_) != recordKeys_) {
        recordKeys_.clear();
        return false;
    }
    const std::vector<double> after = Snapshot();
    std::vector<ValueChange> changes;
    for (std::size_t i = 0; i < recordKeys_.size(); ++i) {
        if (after[i] != recordBefore_[i]) {
            changes.push_back({recordKeys_[i], recordBefore_[i], after[i]});
        }
    }
    recordKeys_.clear();
    recordBefore_.clear();
    if (changes.empty()) return false;
    Push(EditCommand(std::move(recordName_), std::move(changes)));
    return true;
}

bool EditHistory::Perform(std::string description, const std::vector<EditTarget>& targets) {
    if (applying_ || recordDepth_ > 0) return false;
    BeginEdit(std::move(description));
    for (const EditTarget& t : targets) {
        ModuleValue* v = FindValue(doc_, t.key);
        if (v == nullptr) continue;
        // A failed write has told the user and left that value as it was.
        v->SetValue(t.value, !t.key.IsBasic());
    }
    return EndEdit();
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
    const EditCommand command = steps_[index];
    applying_ = true;
    {
        // One busy bracket over every write of the step: commands arriving
        // in between are postponed and the document cannot be replaced.
        std::optional<CommandBusyScope> busy;
        if (CommPort::Instance().IsLinked()) busy.emplace(true);
        if (forward) {
            command.Apply(doc_);
        } else {
            command.Revert(doc_);
        }
    }
    applying_ = false;
    Changed();
    return true;
}

void EditHistory::Clear() {
    steps_.clear();
    position_ = 0;
    saved_ = 0;
    bytes_ = 0;
    recordDepth_ = 0;
    recordKeys_.clear();
    recordBefore_.clear();
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
