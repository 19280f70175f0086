#include "edit/EditCommand.h"

#include "model/ModuleState.h"

namespace qx {

EditCommand::EditCommand(std::string description, std::vector<ValueChange> changes)
    : description_(std::move(description)), changes_(std::move(changes)) {}

bool SetEditedValue(ModuleState& doc, SettingKey key, double target, bool write) {
    ModuleValue* value = FindValue(doc, key);
    if (value == nullptr) return false;
    if (write && value->SetValue(target, false)) return true;
    // The write failed (and has told the user) or is not tried after an earlier
    // failure: the document still shows what the user asked for, marked as not
    // yet in the module.
    const double stepped = value->Quantize(target);
    if (stepped != value->GetValue()) {
        value->StoreValue(stepped);
        value->SetInSync(false);
    }
    return false;
}

namespace {

// One failed write is reported once: the values after it are only stored.
template <typename It, typename Target>
bool SetAll(ModuleState& doc, It first, It last, Target target) {
    bool allWritten = true;
    for (; first != last; ++first) {
        allWritten = SetEditedValue(doc, first->key, target(*first), allWritten) && allWritten;
    }
    return allWritten;
}

}  // namespace

bool EditCommand::Apply(ModuleState& doc) const {
    return SetAll(doc, changes_.begin(), changes_.end(),
                  [](const ValueChange& c) { return c.after; });
}

bool EditCommand::Revert(ModuleState& doc) const {
    return SetAll(doc, changes_.rbegin(), changes_.rend(),
                  [](const ValueChange& c) { return c.before; });
}

std::size_t EditCommand::MemoryBytes() const {
    return sizeof(*this) + description_.capacity() + changes_.capacity() * sizeof(ValueChange);
}

}  // namespace qx
