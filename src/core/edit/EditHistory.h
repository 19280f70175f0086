#pragma once
// The document's undo history and the one way a user's change reaches the
// tune: Perform takes the values and their new values (a drag, an arrow key, a
// typed value, Basic Setup, a curve tool, a paste, Use Other Value, the
// command-line tool), completes them with the mirrored twins the sync rule
// requires, checks them whole against the program's table (a value the module
// cannot hold refuses the whole change, and nothing is written), records one
// step and writes it (see ApplyChangeSet). Undo and Redo write their step the
// same way. A step keeps only the values that really moved, twins included.
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

#include "core/edit/EditCommand.h"

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

    enum class Outcome {
        Done,        // stored, recorded and (while linked) written
        NotWritten,  // stored and recorded; a write failed or the link is down
        Unchanged,   // nothing moved
        Refused,     // busy now, or a value the module cannot hold (the user was told)
    };
    // Sets each target (map points pass the change on to their mirrored twin
    // while the mirror setting is on, unless the twin is a target itself) and
    // records the result as one step. True when something moved.
    bool Perform(std::string description, const std::vector<EditTarget>& targets);
    Outcome PerformChange(std::string description, const std::vector<EditTarget>& targets);
    // The targets with the twins the sync rule adds (the change set).
    std::vector<EditTarget> CompleteMirrors(const std::vector<EditTarget>& targets) const;

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
    // True while a step is applied (its writes may run nested event loops).
    bool Busy() const { return applying_; }

    // Called after every change of what Undo and Redo would do.
    void SetListener(std::function<void()> listener) { listener_ = std::move(listener); }

  private:
    void Push(EditCommand command);
    // Applies (or reverts) a step as one busy bracket; false when a write failed.
    bool Apply(const EditCommand& step, bool forward);
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
    bool applying_ = false;
    std::function<void()> listener_;
};

}  // namespace qx
