#pragma once
// What the program offers once the link to a module is up again: the document
// may know what this very module held (its bytes from an upload, a download or
// acknowledged writes), so that only the edits made meanwhile need writing; or
// another module answers, and then nothing of what it holds is known.
#include "core/model/ModuleState.h"

namespace qx {

enum class AfterLink {
    OfferUpload,     // the document knows nothing of the module: the usual upload offer
    NothingToWrite,  // the same module; nothing changed while away (values uploaded off
                     // the program's step may still differ: lacking says how many)
    WriteChanges,    // the same module, some values edited since: write only those?
    OtherModule,     // another module (or one that could not be identified)
};

struct LinkedModuleCheck {
    AfterLink what = AfterLink::OfferUpload;
    ModuleState::ModuleIdentity now;
    ModuleState::ModuleIdentity before;
    int lacking = 0;  // values the module does not hold as the document has them
    int changed = 0;  // of those, the ones changed while away (what Write Changes writes)
};

// Reads the linked module's serial number and takes its firmware version from
// the link, then decides. The document remembers the module as its own from
// now on; for another module it forgets the bytes it knew and marks every value
// out of sync. Call with the link up and nothing busy.
LinkedModuleCheck CheckLinkedModule(ModuleState& doc);

// "serial 00042, firmware 1.0" (or "not known" parts).
std::string DescribeModule(const ModuleState::ModuleIdentity& id);

}  // namespace qx
