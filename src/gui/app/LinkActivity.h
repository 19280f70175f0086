#pragma once
// The program's link and RAM monitor as the graph sees them. Asking never
// creates the link or the monitor just to answer.
#include "gui/graph/ModuleActivity.h"

namespace qx::gui {

// Holds no state: one serves every view for the program's life.
ModuleActivity& LinkActivity();

}  // namespace qx::gui
