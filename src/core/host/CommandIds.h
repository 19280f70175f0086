#pragma once
// The program's command ids, in one place: menu items, accelerators and toolbar
// buttons carry them, command handlers answer them, and the RAM monitor replays
// postponed commands by them. The framework's own commands keep their customary
// numbers.
namespace qx::cmd {

enum CommandId : int {
    kFileNew = 57600,
    kFileOpen = 57601,
    kFileSave = 57603,
    kFileSaveAs = 57604,
    kFilePrintSetup = 57606,
    kFilePrint = 57607,
    kFileMru1 = 57616,  // the recent files take 57616 to 57619
    kEditCopy = 57634,
    kEditCut = 57635,
    kEditPaste = 57637,
    kEditUndo = 57643,
    kEditRedo = 57644,
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
    kMapFirst = 32776,  // six maps: 32776 to 32781, map index = id - 32776
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
    kMonitorToggleFirst = 32791,  // 32791 to 32802, display = id - 32791; 32797 is Set Y value
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

    // Private commands of the application.
    kOpenRemembered = 32830,  // open the oldest remembered file (dropped or handed over)
    kStartDemo = 32831,       // start the demo mode from the menu

    // Editing: the curve tools on the selected range, and the comparison.
    kCurveInterpolate = 32860,
    kCurveSmooth = 32861,
    kCurveScale = 32862,
    kCurveOffset = 32863,
    kCurveSetAll = 32864,
    kCompareWithFile = 32865,
    kCompareWithModule = 32866,
    kHideComparison = 32867,
    kDifferencesWindow = 32868,
    kUseOtherValue = 32869,  // the Differences window's selected row into this tune
    kColorComparison = 32870,

    // The tune sheet: File > Print... has the framework's number above.
    kExportTuneSheet = 32890,
    // File > Restore Points...: what the module held before each overwrite.
    kRestorePoints = 32891,
};

}  // namespace qx::cmd
