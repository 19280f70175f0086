#include "gui/resources/Resources.h"

#include <algorithm>

namespace qx::res {

namespace {

MenuEntry Item(int id, std::string_view text) {
    return MenuEntry{MenuEntry::Kind::Item, id, text, {}};
}
MenuEntry Sep() {
    return MenuEntry{MenuEntry::Kind::Separator, 0, {}, {}};
}
MenuEntry Popup(std::string_view text, std::vector<MenuEntry> children) {
    return MenuEntry{MenuEntry::Kind::Popup, 0, text, std::move(children)};
}

// The transport's keys are its own: the graph keeps Space, Home and End.
MenuEntry PlaybackMenu() {
    return Popup("&Playback", {Item(kPlayPause, "&Play/Pause"), Item(kLogStepBack, "Step &Back"),
                               Item(kLogStepForward, "Step &Forward"),
                               Item(kLogStart, "Go to &Start"), Item(kLogEnd, "Go to &End")});
}

}  // namespace

const std::vector<MenuEntry>& MainMenu() {
    static const std::vector<MenuEntry> menu = {
        Popup("&File", {Item(kFileNew, "&New"),
                        Item(kFileOpen, "&Open..."),
                        Item(kFileSave, "&Save"),
                        Item(kFileSaveAs, "Save &As..."),
                        Sep(),
                        Item(kFilePrint, "&Print..."),
                        Item(kExportTuneSheet, "Export &Tune Sheet..."),
                        Sep(),
                        Item(kOpenLog, "Open Lo&g..."),
                        Item(kCloseLog, "&Close Log"),
                        Sep(),
                        Item(kCompareWithFile, "Compare &With..."),
                        Item(kCompareWithModule, "Compare With &Module"),
                        Item(kRestorePoints, "&Restore Points..."),
                        Sep(),
                        Item(kLink, "Establish Module &Link"),
                        Item(kUpload, "&Upload Module Settings"),
                        Item(kDownload, "&Download Settings to Module"),
                        Sep(),
                        Item(kFileMru1, "Recent File"),
                        Sep(),
                        Item(kAppExit, "E&xit\tAlt+F4")}),
        Popup("&Edit", {Item(kEditUndo, "&Undo"), Item(kEditRedo, "&Redo"), Sep(),
                        Item(kEditCopy, "&Copy"), Item(kEditPaste, "&Paste"), Sep(),
                        Popup("C&urve", {Item(kCurveInterpolate, "&Interpolate"),
                                         Item(kCurveSmooth, "&Smooth"),
                                         Item(kCurveScale, "S&cale by a Percentage..."),
                                         Item(kCurveOffset, "Add an &Offset..."),
                                         Item(kCurveSetAll, "Set &All to a Value...")})}),
        Popup("&View",
              {Item(kMonitorWindow, "&Monitor Window"), Item(kViewChart, "&Chart"),
               Item(kViewCoverage, "Map Co&verage"), Item(kResetCoverage, "&Reset Map Coverage"),
               PlaybackMenu(), Sep(), Item(kDifferencesWindow, "&Differences Window"),
               Item(kHideComparison, "&Hide Comparison"), Sep(), Item(kViewToolbar, "&Toolbar"),
               Item(kViewStatusBar, "&Status Bar")}),
        Popup("&Maps",
              {Item(kMapFirst, "Front Cylinder Spark Advance"),
               Item(kMapFirst + 1, "Rear Cylinder Spark Advance"),
               Item(kMapFirst + 2, "VOES Retard"), Item(kMapFirst + 3, "Acceleration Correction"),
               Item(kMapFirst + 4, "Base Dwell Correction"),
               Item(kMapFirst + 5, "Acceleration Dwell Correction"), Sep(),
               Item(kAdvanceMapsSynchronized, "Advance Maps Synchronized")}),
        Popup("Mo&nitors",
              {Item(kSelectMonitors, "Select ..."), Item(kToggleMonitoring, "Activate Monitors"),
               Item(kCancelAllMonitors, "Cancel All"), Sep(),
               Item(kResetPeakAcceleration, "Reset Peak Acceleration"), Sep(),
               Item(kRecordLog, "&Record to File..."), Item(kStopRecording, "S&top Recording"),
               Sep(), Item(kMonitorWindow, "Monitor Window")}),
        Popup("&Settings",
              {Item(kBasicSettings, "&Basic Module Settings..."),
               Item(kSerialPort, "&Serial Port..."),
               Popup("&Colors",
                     {Item(kColorGraphBackground, "&Graph Background..."),
                      Item(kColorGridLine, "Grid &Line Color..."),
                      Item(kColorMapLine, "&Map Line Color..."),
                      Item(kColorInSyncMarker, "Mar&ker Color (in sync with module)..."),
                      Item(kColorNotInSyncMarker, "Marker Color (not in sync with module)..."),
                      Item(kColorComparison, "&Comparison Line Color...")})}),
        // F1 is the guide's key too (bound to Context Help, which opens it).
        Popup("&Help", {Item(kHelpFinder, "&Help Topics\tF1"), Sep(),
                        Item(kAppAbout, "&About Quorvex I ...")}),
    };
    return menu;
}

const std::vector<Accelerator>& Accelerators() {
    // clang-format off
    static const std::vector<Accelerator> table = {
        {"Ctrl+1", kMapFirst},
        {"Ctrl+2", kMapFirst + 1},
        {"Ctrl+3", kMapFirst + 2},
        {"Ctrl+4", kMapFirst + 3},
        {"Ctrl+5", kMapFirst + 4},
        {"Ctrl+6", kMapFirst + 5},
        {"Ctrl+A", kFileSaveAs},
        {"Ctrl+B", kBasicSettings},
        {"Ctrl+C", kEditCopy},
        {"Ctrl+D", kDownload},
        {"Ctrl+L", kLink},
        {"Ctrl+M", kToggleMonitoring},
        {"Ctrl+N", kFileNew},
        {"Ctrl+O", kFileOpen},
        {"Ctrl+P", kResetPeakAcceleration},
        {"Ctrl+S", kFileSave},
        {"Ctrl+U", kUpload},
        {"Ctrl+V", kEditPaste},
        {"Ctrl+W", kMonitorWindow},
        {"Ctrl+X", kEditCut},
        {"Ctrl+Z", kEditUndo},
        {"Ctrl+Y", kEditRedo},
        {"Ctrl+Shift+Z", kEditRedo},
        {"Ctrl+I", kCurveInterpolate},
        {"Ctrl+Shift+S", kCurveSmooth},
        {"Ctrl+Shift+P", kCurveScale},
        {"Ctrl+Shift+O", kCurveOffset},
        {"Ctrl+Shift+A", kCurveSetAll},
        {"Ctrl+K", kCompareWithFile},
        {"Alt+Backspace", kEditUndo},
        {"Shift+Del", kEditCut},
        {"Ctrl+Ins", kEditCopy},
        {"Shift+Ins", kEditPaste},
        {"F1", kContextHelp},
        {"Shift+F1", kHelp},
        {"F6", kNextPane},
        {"F5", kPlayPause},
        {",", kLogStepBack},
        {".", kLogStepForward},
        {"Ctrl+,", kLogStart},
        {"Ctrl+.", kLogEnd},
        {"Shift+F6", kPrevPane},
    };
    // clang-format on
    return table;
}

const std::vector<CommandStrings>& StringTable() {
    static const std::vector<CommandStrings> table = {
        {kFileNew, "Create a new settings document", "New"},
        {kFileOpen, "Open an existing settings file", "Open"},
        {kFileSave, "Save the settings document", "Save"},
        {kFileSaveAs, "Save the settings document with a new name", "Save As"},
        {kFilePrint, "Print the tune sheet: settings, maps and their points", "Print"},
        {kExportTuneSheet, "Save the tune sheet as a PDF file", "Export Tune Sheet"},
        {kRestorePoints,
         "List what the module held before each overwrite: open, compare or "
         "download it",
         "Restore Points"},
        {kFileMru1, "Open this settings file", ""},
        {kFileMru1 + 1, "Open this settings file", ""},
        {kFileMru1 + 2, "Open this settings file", ""},
        {kFileMru1 + 3, "Open this settings file", ""},
        {kEditUndo, "Undo the last change", "Undo"},
        {kEditRedo, "Redo the change last undone", "Redo"},
        {kEditCopy, "Copy the selected points (or the whole map) as text", "Copy"},
        {kEditPaste, "Paste points onto the selected range or from the selected point on", "Paste"},
        {kCurveInterpolate, "Make the selected range a straight line between its ends",
         "Interpolate"},
        {kCurveSmooth, "Move each inner point of the range towards its neighbours", "Smooth"},
        {kCurveScale, "Multiply the selected points by a percentage", "Scale"},
        {kCurveOffset, "Add an amount to the selected points", "Offset"},
        {kCurveSetAll, "Set every selected point to one value", "Set All"},
        {kCompareWithFile, "Compare this tune with a settings file", "Compare With"},
        {kCompareWithModule, "Compare this tune with the settings in the module",
         "Compare With Module"},
        {kHideComparison, "Stop showing the comparison", "Hide Comparison"},
        {kDifferencesWindow, "Show or hide the list of differences from the comparison",
         "Differences"},
        {kUseOtherValue, "Take the compared tune's value into this one", "Use Other Value"},
        {kColorComparison, "Choose the color of the compared tune's curve",
         "Comparison Line Color"},
        {kAppExit, "Quit the application; prompts to save the document", "Exit"},
        {kAppAbout, "Display program information, version number and module information", "About"},
        {kHelpFinder, "Open the user guide", "Help Topics"},
        {kContextHelp, "Open the user guide", "Help"},
        {kHelp, "Open the user guide", "Help"},
        {kDefaultHelp, "Open the user guide", "Help"},
        {kViewToolbar, "Show or hide the toolbar", "Toggle Toolbar"},
        {kViewStatusBar, "Show or hide the status bar", "Toggle Status Bar"},
        {kUpload, "Read every setting of the module into the document", "Upload Settings"},
        {kDownload, "Write every setting of the document into the module", "Download Settings"},
        {kLink, "Establish/Break communication link with the module", "Module Link"},
        {kMonitorWindow, "Show or hide the monitor window", "Monitor Window"},
        {kMapFirst, "Edit the front cylinder spark advance map", "Front Spark Advance"},
        {kMapFirst + 1, "Edit the rear cylinder spark advance map", "Rear Spark Advance"},
        {kMapFirst + 2, "Edit the VOES retard map", "VOES Retard"},
        {kMapFirst + 3, "Edit the acceleration correction map", "Acceleration Correction"},
        {kMapFirst + 4, "Edit the base dwell correction map", "Base Dwell Correction"},
        {kMapFirst + 5, "Edit the acceleration dwell correction map",
         "Acceleration Dwell Correction"},
        {kAdvanceMapsSynchronized, "Keep the front and rear spark advance maps the same",
         "Advance Maps Synchronized"},
        {kBasicSettings, "Edit the basic module settings", "Basic Settings"},
        {kColorGraphBackground, "Choose the graph background color", "Graph Background"},
        {kColorGridLine, "Choose the grid line color", "Grid Line Color"},
        {kColorMapLine, "Choose the map line color", "Map Line Color"},
        {kColorInSyncMarker, "Choose the color of markers in sync with the module", "Marker Color"},
        {kColorNotInSyncMarker, "Choose the color of markers not in sync with the module",
         "Marker Color"},
        {kSerialPort, "Choose the serial port the module is connected to", "Serial Port"},
        {kWriteSerial, "Write the serial number to EEPROM", "Write Serial No."},
        {kCancelAllMonitors, "Turn off every monitor display", "Cancel All"},
        {kSelectMonitors, "Choose the values shown in the monitor window", "Select Monitors"},
        {kToggleMonitoring, "Start or stop live monitoring of the module", "Activate Monitors"},
        {kResetPeakAcceleration, "Reset the peak acceleration display", "Reset Peak Acceleration"},
        {kRecordLog, "Record every packet of live values to a file", "Record to File"},
        {kStopRecording, "Stop recording live values", "Stop Recording"},
        {kOpenLog, "Play back a recorded log of live values", "Open Log"},
        {kCloseLog, "End the playback of a log", "Close Log"},
        {kPlayPause, "Play or pause the log", "Play/Pause"},
        {kLogStepBack, "One row of the log back", "Step Back"},
        {kLogStepForward, "One row of the log forth", "Step Forward"},
        {kLogStart, "Go to the start of the log", "Go to Start"},
        {kLogEnd, "Go to the end of the log", "Go to End"},
        {kViewChart, "Show or hide the chart of live values over time", "Chart"},
        {kViewCoverage, "Shade the map by where the engine spent its time", "Map Coverage"},
        {kResetCoverage, "Start the map coverage again from now", "Reset Map Coverage"},
    };
    return table;
}

const CommandStrings* FindCommandStrings(int id) {
    const auto& table = StringTable();
    auto it = std::find_if(table.begin(), table.end(),
                           [id](const CommandStrings& s) { return s.id == id; });
    return it == table.end() ? nullptr : &*it;
}

const std::vector<int>& ToolbarLayout() {
    // clang-format off
    static const std::vector<int> layout = {
        kFileNew, kFileOpen, kFileSave, 0,
        kEditUndo, kEditRedo, 0,
        kLink, kUpload, kDownload, 0,
        kMapFirst, kMapFirst + 1, kMapFirst + 2, kMapFirst + 3, kMapFirst + 4, kMapFirst + 5, 0,
        kToggleMonitoring, 0,
        kBasicSettings, 0,
        kAppAbout};
    // clang-format on
    return layout;
}

std::string_view DocTemplateField(DocField field) {
    std::string_view rest = kDocTemplate;
    for (int i = 0; i < static_cast<int>(field); ++i) {
        auto nl = rest.find('\n');
        if (nl == std::string_view::npos) return {};
        rest.remove_prefix(nl + 1);
    }
    return rest.substr(0, rest.find('\n'));
}

}  // namespace qx::res
