#include "core/edit/EditCommand.h"

#include "core/link/CommPort.h"
#include "core/model/ModuleState.h"

namespace qx {

EditCommand::EditCommand(std::string description, std::vector<ValueChange> changes)
    : description_(std::move(description)), changes_(std::move(changes)) {}

bool ApplyChangeSet(ModuleState& doc, const std::vector<SetValueTo>& set) {
    for (const SetValueTo& s : set) {
        if (ModuleValue* v = FindValue(doc, s.key)) v->StoreValue(v->Quantize(s.value));
    }
    const bool linked = CommPort::Exists() && CommPort::Instance().IsLinked();
    const uint64_t generation = doc.MapsGeneration();
    bool all = true;
    for (const SetValueTo& s : set) {
        // A nested event loop may have replaced the maps: the rest is not ours.
        if (doc.MapsGeneration() != generation) return false;
        ModuleValue* v = FindValue(doc, s.key);
        if (v == nullptr) continue;
        // Bytes the module held that the table does not allow are never sent
        // back: the value's own bytes go instead.
        const bool restore = !s.bytes.empty() && v->TableHolds(s.bytes);
        const std::vector<uint8_t> bytes = restore ? s.bytes : v->EncodeBytes();
        if (bytes.empty()) {
            all = false;  // nothing the module could hold: left out of sync
            continue;
        }
        if (v->ModuleBytes() != bytes) {
            if (!linked || !CommPort::Instance().IsLinked()) return false;
            if (!v->WriteToModule(bytes)) return false;
        }
        // Bytes put back by an undo are what the module held before, not a
        // change the tuner made to the value shown.
        if (restore) v->NoteModuleHolds(bytes);
    }
    return all;
}

namespace {

template <typename It, typename Target>
bool ApplyRange(ModuleState& doc, It first, It last, Target target) {
    std::vector<SetValueTo> set;
    for (; first != last; ++first) set.push_back(target(*first));
    return ApplyChangeSet(doc, set);
}

}  // namespace

bool EditCommand::Apply(ModuleState& doc) const {
    return ApplyRange(doc, changes_.begin(), changes_.end(), [](const ValueChange& c) {
        return SetValueTo{c.key, c.after, {}};
    });
}

bool EditCommand::Revert(ModuleState& doc) const {
    return ApplyRange(doc, changes_.rbegin(), changes_.rend(), [](const ValueChange& c) {
        return SetValueTo{c.key, c.before, c.moduleBefore};
    });
}

std::size_t EditCommand::MemoryBytes() const {
    std::size_t bytes =
        sizeof(*this) + description_.capacity() + changes_.capacity() * sizeof(ValueChange);
    for (const ValueChange& c : changes_) bytes += c.moduleBefore.capacity();
    return bytes;
}

}  // namespace qx
