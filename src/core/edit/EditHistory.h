#pragma once
// The document's undo history. Every change a user makes goes through it as
// one step: either recorded around code that sets values through SetValue
// (BeginEdit/EndEdit, for a drag that moves a value many times before it ends,
// or a dialog's OK), or performed from a list of targets (Perform, for typed
// values, curve tools, pasted and copied values and the command-line tool).
// A step keeps only the values that really moved, mirrored twins included.
//
// The modified mark follows the history: the position at the last save is
// remembered and the document is marked modified exactly when the history is
// elsewhere. New and Open clear the history; an upload makes the saved state
// unreachable.
//
// Re-entry: undo, redo and new steps are refused while a step is being
// recorded or applied (a write may dispatch events that reach the history
// again). Steps name values by key, never by pointer.
#include <cstddef>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "edit/EditCommand.h"

namespace qx {

class ModuleState;

struct EditTarget {
    SettingKey key;
    double value = 0.0;
};

class EditHistory {
  public:
    static constexpr std::size_t kDefaultMaxSteps = 1000;
    static constexpr std::size_t kDefaultMaxBytes = 8u << 20;

    explicit EditHistory(ModuleState& doc);
    EditHistory(const EditHistory&) = delete;
    EditHistory& operator=(const EditHistory&) = delete;

    // The oldest steps are dropped beyond either limit.
    void SetLimits(std::size_t maxSteps, std::size_t maxBytes);

    // Brackets a change made through SetValue; nested brackets join the outer
    // one. EndEdit records what moved as one step named description and
    // returns true when something moved.
    void BeginEdit(std::string description);
    bool EndEdit();
    bool Recording() const { return recordDepth_ > 0; }

    // Sets each target as the editor does (map points pass the change on to
    // their mirrored twin while the mirror setting is on, basic settings change
    // alone) and records the result as one step. False when refused now or
    // when nothing moved.
    bool Perform(std::string description, const std::vector<EditTarget>& targets);

    bool CanUndo() const;
    bool CanRedo() const;
    // "Undo Rev Limit", or "Undo" (and "Redo ...") when there is no step.
    std::string UndoText() const;
    std::string RedoText() const;
    // Take the step back or forward; false when there was nothing to do or it
    // was refused now. A step whose writes fail is still taken (its values are
    // marked out of sync).
    bool Undo();
    bool Redo();

    void Clear();
    void MarkSaved();
    void ForgetSaved();
    bool AtSavedState() const { return saved_ && *saved_ == position_; }

    std::size_t StepCount() const { return steps_.size(); }
    std::size_t Position() const { return position_; }
    std::size_t MemoryBytes() const { return bytes_; }
    // True while a step is recorded or applied.
    bool Busy() const { return recordDepth_ > 0 || applying_; }

    // Called after every change of what Undo and Redo would do.
    void SetListener(std::function<void()> listener) { listener_ = std::move(listener); }

  private:
    std::vector<double> Snapshot() const;
    void Push(EditCommand command);
    void Trim();
    bool Step(bool forward);
    void Changed();

    ModuleState& doc_;
    std::deque<EditCommand> steps_;
    std::size_t position_ = 0;  // steps before it are done, from it on undone
    std::optional<std::size_t> saved_ = 0;
    std::size_t bytes_ = 0;
    std::size_t maxSteps_ = kDefaultMaxSteps;
    std::size_t maxBytes_ = kDefaultMaxBytes;
    int recordDepth_ = 0;
    std::string recordName_;
    std::vector<SettingKey> recordKeys_;
    std::vector<double> recordBefore_;
    bool applying_ = false;
    std::function<void()> listener_;
};

}  // namespace qx
