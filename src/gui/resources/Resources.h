#pragma once
// The program's resources as data: command ids, the menu bar, the accelerator
// table, the string table (status-bar prompt and tool tip of each command), the
// document template string and the toolbar layout. Everything returned here is
// static data owned by this module and lives for the whole run.
#include <string_view>
#include <vector>

#include "core/host/CommandIds.h"

namespace qx::res {

// The command ids live in one header shared with the core.
using namespace ::qx::cmd;

inline constexpr int kRecentFileCount = 4;

// One entry of a menu: an item, a separator or a pop-up with children.
struct MenuEntry {
    enum class Kind { Item, Separator, Popup };
    Kind kind = Kind::Item;
    int id = 0;  // items only
    std::string_view text;
    std::vector<MenuEntry> children;  // pop-ups only
};

// The menu bar of the main window, pop-ups from left to right.
const std::vector<MenuEntry>& MainMenu();

// One accelerator: a key sequence in portable text form ("Ctrl+L", "Shift+F1").
struct Accelerator {
    std::string_view keys;
    int id;
};
const std::vector<Accelerator>& Accelerators();

// The string table entry of a command: the status-bar prompt and the tool tip.
struct CommandStrings {
    int id;
    std::string_view prompt;
    std::string_view toolTip;
};
const std::vector<CommandStrings>& StringTable();
// The entry of id, or null when the command has none.
const CommandStrings* FindCommandStrings(int id);

// Toolbar buttons in order; 0 marks a separator.
const std::vector<int>& ToolbarLayout();
inline constexpr int kToolbarButtonCount = 17;
inline constexpr int kToolbarButtonWidth = 32;
inline constexpr int kToolbarButtonHeight = 28;

// The document template string: fields separated by line feeds.
inline constexpr std::string_view kDocTemplate =
    "Quorvex I\n\nQuorvexI\nQuorvex I Files (*.qvx)\n.QVX\nQuorvexI.Document\nQuorvex I Document";
enum class DocField { WindowTitle, DocName, FileNewName, FilterName, FilterExt, TypeId, TypeName };
// One field of kDocTemplate ("" when empty).
std::string_view DocTemplateField(DocField field);

inline constexpr std::string_view kMainWindowClass = "CalderixMainWindow";
inline constexpr std::string_view kAppTitle = "Quorvex I";
// Extension written on save; opening accepts any case.
inline constexpr std::string_view kSaveExtension = "qvx";
// The open and save dialogs' filter; the glob covers both cases of the extension.
inline constexpr std::string_view kFileDialogFilter = "Quorvex I Files (*.qvx *.QVX)";

}  // namespace qx::res
