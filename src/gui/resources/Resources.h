#pragma once
// The program's resources as data: command ids, the menu bar, the accelerator
// table, the string table (status-bar prompt and tool tip of each command), the
// document template string and the toolbar layout. Everything returned here is
// static data owned by this module and lives for the whole run.
#include <string_view>
#include <vector>

namespace qx::res {

// Command ids. The framework's own commands keep their customary numbers.
enum CommandId : int {
    kFileNew = 57600,
    kFileOpen = 57601,
    kFileSave = 57603,
    kFileSaveAs = 57604,
    kFilePrintSetup = 57606,
    kFileMru1 = 57616,  // the recent files take 57616 to 57619
    kEditCopy = 57634,
    kEditCut = 57635,
    kEditPaste = 57637,
    kEditUndo = 57643,
    kAppAbout = 57664,
    kAppExit = 57665,
    kHelpFinder = 57667,
    kContextHelp = 57669,
    kHelp = 57670,
    kDefaultHelp = 57671,
    kNextPane = 57680,
    kPrevPane = 57681,
    kViewToolbar = 59392,
    kViewStatusBar = 59393,

    kUpload = 32771,
    kDownload = 32772,
    kLink = 32774,
    kMonitorWindow = 32775,
    kMapFirst = 32776,  // six maps: 32776 to 32781
    kMapLast = 32781,
    kAdvanceMapsSynchronized = 32782,
    kBasicSettings = 32783,
    kColorGraphBackground = 32784,
    kColorGridLine = 32785,
    kColorMapLine = 32786,
    kColorInSyncMarker = 32787,
    kColorNotInSyncMarker = 32788,
    kSerialPort = 32789,
    kWriteSerial = 32790,
    kMonitorToggleFirst = 32791,  // 32791 to 32802; 32797 opens the Set Y value dialog
    kSetYValue = 32797,
    kMonitorToggleLast = 32802,
    kCancelAllMonitors = 32803,
    kSelectMonitors = 32806,
    kToggleMonitoring = 32807,
    kResetPeakAcceleration = 32808,
    // Engine logs: recording, playback, the chart and the map coverage.
    kRecordLog = 32810,
    kStopRecording = 32811,
    kOpenLog = 32812,
    kCloseLog = 32813,
    kPlayPause = 32814,
    kLogStepBack = 32815,
    kLogStepForward = 32816,
    kLogStart = 32817,
    kLogEnd = 32818,
    kViewChart = 32819,
    kViewCoverage = 32820,
    kResetCoverage = 32821,
};

inline constexpr int kRecentFileCount = 4;

// One entry of a menu: an item, a separator or a pop-up with children.
struct MenuEntry {
    enum class Kind { Item, Separator, Popup };
    Kind kind = Kind::Item;
    int id = 0;  // items only
    std::string_view text;
    bool grayed = false;
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
inline constexpr int kToolbarButtonCount = 15;
inline constexpr int kToolbarButtonWidth = 32;
inline constexpr int kToolbarButtonHeight = 28;

// The document template string: fields separated by line feeds.
inline constexpr std::string_view kDocTemplate =
    "Quorvex I\n\nQuorvexI\nQuorvexI Files (*.qvx)\n.QVX\nQuorvexI.Document\nQuorvexI Document";
enum class DocField { WindowTitle, DocName, FileNewName, FilterName, FilterExt, TypeId, TypeName };
// One field of kDocTemplate ("" when empty).
std::string_view DocTemplateField(DocField field);

inline constexpr std::string_view kMainWindowClass = "CalderixMainWindow";
inline constexpr std::string_view kAppTitle = "Quorvex I";
// Extension written on save; opening accepts any case.
inline constexpr std::string_view kSaveExtension = "qvx";
// The open and save dialogs' filter; the glob covers both cases of the extension.
inline constexpr std::string_view kFileDialogFilter = "QuorvexI Files (*.qvx *.QVX)";

}  // namespace qx::res
