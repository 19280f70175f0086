#pragma once
// Where the transfers keep a restore point of the module: after its settings
// were read, and before anything overwrites them. Does nothing while restore
// points are off (AppRestorePoints() null).
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qx {

class ModulePicture;
class ModuleState;

// The settings file an upload of a module holding what picture knows would
// give; none unless the picture knows every byte of every setting.
// inexact counts the values the file cannot give back as the module holds them
// (bytes off the program's step or range).
std::optional<std::vector<uint8_t>> SettingsFileOf(const ModulePicture& picture, int* inexact);

// After doc's settings were read from the linked module: keeps what it holds.
// next says what the read was for ("upload", "compare", "verify").
void KeepAfterRead(const ModuleState& doc, std::string_view next);

// Before the linked module's settings are overwritten: reads them (what the
// document believes the module holds may be from before a relink, or from a
// file) and keeps them. False when the module could not be read (the user has
// been told): nothing should then be written. A point that cannot be stored
// is told once and does not stop the transfer.
bool KeepBeforeOverwrite(ModuleState& doc, std::string_view next);

}  // namespace qx
