#include "gui/resources/DialogTemplates.h"

namespace qx::res {

namespace {

using K = ControlKind;
constexpr unsigned kDialog = kModalFrame | kCaption | kSystemMenu;
constexpr unsigned kEditStyle = kBorder | kTabStop | kAutoHScroll;
constexpr unsigned kButton = kTabStop;
constexpr unsigned kCheck = kTabStop;

const DialogTemplate kAbout = {
    kAboutDialog,
    "About Quorvex I",
    235,
    96,
    kDialog | kCentered,
    {
        {K::Icon, kNoId, "", 11, 12, 20, 20},
        {K::Static, 1025, "Quorvex I Version", 40, 15, 119, 8, kAlignLeft},  // + the version
        {K::PushButton, 1, "OK", 178, 7, 50, 14, kDefault | kGroup | kButton},
        {K::GroupBox, kNoId, " Module Information ", 7, 38, 221, 50},
        {K::Static, kNoId, "Serial No.", 16, 54, 76, 8, kAlignLeft},
        {K::Static, 1026, "", 100, 52, 60, 11, kSunken | kAlignLeft},
        {K::Static, kNoId, "Firmware Version No.", 16, 70, 76, 8, kAlignLeft},
        {K::Static, 1027, "", 100, 68, 60, 11, kSunken | kAlignLeft},
    }};

const DialogTemplate kSetY = {kSetYValueDialog,
                              "Set Y Value",
                              235,
                              47,
                              kDialog,
                              {
                                  {K::PushButton, 1, "OK", 178, 7, 50, 14, kDefault | kButton},
                                  {K::PushButton, 2, "Cancel", 178, 24, 50, 14, kButton},
                                  {K::Edit, 1000, "", 71, 24, 53, 14, kEditStyle},
                                  {K::Static, 1007, "X Label", 9, 8, 59, 8, kAlignRight},
                                  {K::Static, 1002, "Static", 71, 8, 53, 11, kSunken | kAlignLeft},
                                  {K::Static, 1006, "Y Label", 9, 26, 59, 8, kAlignRight},
                                  {K::Static, 1008, "X Unit", 128, 8, 45, 8, kAlignLeft},
                                  {K::Static, 1009, "Y Unit", 128, 26, 45, 8, kAlignLeft},
                              }};

// Basic setup: rows of label / edit / unit in two columns.
const DialogTemplate kBasicSetup = {
    kBasicSetupDialog,
    "Basic Setup",
    297,
    207,
    kDialog,
    {
        {K::GroupBox, kNoId, "Variable Settings", 7, 7, 283, 114},
        {K::Static, kNoId, "Ignition Delay", 12, 22, 64, 8, kAlignLeft},
        {K::Edit, 1006, "", 81, 19, 40, 14, kEditStyle},
        {K::Static, kNoId, "rev", 124, 22, 24, 8, kAlignLeft},
        {K::Static, kNoId, "Start Mode Exit", 12, 41, 64, 8, kAlignLeft},
        {K::Edit, 1007, "", 81, 38, 40, 14, kEditStyle},
        {K::Static, kNoId, "rpm", 124, 41, 24, 8, kAlignLeft},
        {K::Static, kNoId, "Start Mode Enter", 12, 62, 64, 8, kAlignLeft},
        {K::Edit, 1008, "", 81, 59, 40, 14, kEditStyle},
        {K::Static, kNoId, "rpm", 124, 62, 24, 8, kAlignLeft},
        {K::Static, kNoId, "Cam Sensor Sync", 12, 81, 64, 8, kAlignLeft},
        {K::Edit, 1009, "", 81, 79, 40, 14, kEditStyle},
        {K::Static, kNoId, "deg", 124, 81, 24, 8, kAlignLeft},
        {K::Static, kNoId, "Cam Sensor Offset", 12, 102, 64, 8, kAlignLeft},
        {K::Edit, 1010, "", 81, 99, 40, 14, kEditStyle},
        {K::Static, kNoId, "msec", 124, 102, 24, 8, kAlignLeft},
        {K::Static, kNoId, "Rev Limit", 146, 22, 70, 8, kAlignLeft},
        {K::Edit, 1005, "", 223, 19, 40, 14, kEditStyle},
        {K::Static, kNoId, "rpm", 266, 22, 19, 8, kAlignLeft},
        {K::Static, kNoId, "Aux Rev Limit", 146, 41, 70, 8, kAlignLeft},
        {K::Edit, 1012, "", 223, 38, 40, 14, kEditStyle},
        {K::Static, kNoId, "rpm", 266, 41, 19, 8, kAlignLeft},
        {K::Static, kNoId, "Rev Limit Rate", 146, 62, 70, 8, kAlignLeft},
        {K::Edit, 1013, "", 223, 59, 40, 14, kEditStyle},
        {K::Static, kNoId, "", 266, 62, 19, 8, kAlignLeft},
        {K::Static, kNoId, "Nitrous Delay", 146, 81, 70, 8, kAlignLeft | kHidden},
        {K::Edit, 1014, "", 223, 79, 40, 14, kEditStyle | kHidden},
        {K::Static, kNoId, "sec", 266, 81, 19, 8, kAlignLeft | kHidden},
        {K::Static, kNoId, "NOS Arming RPM", 146, 102, 70, 8, kAlignLeft | kHidden},
        {K::Edit, 1015, "", 223, 99, 40, 14, kEditStyle | kHidden},
        {K::Static, kNoId, "rpm", 266, 102, 19, 8, kAlignLeft | kHidden},
        {K::GroupBox, kNoId, "Ignition Mode", 7, 131, 62, 37},
        {K::RadioButton, 1003, "&Single Fire", 17, 142, 49, 10, kGroup | kTabStop},
        {K::RadioButton, 1004, "&Dual Fire", 17, 153, 44, 10},
        {K::CheckBox, 1017, "Switch Lockout On", 95, 148, 77, 10, kCheck | kGroup | kHidden},
        {K::PushButton, 1, "&OK", 24, 186, 50, 14, kDefault | kButton | kGroup},
        {K::PushButton, 2, "&Cancel", 90, 186, 50, 14, kButton},
        {K::PushButton, 1011, "&Apply", 156, 186, 50, 14, kButton},
        {K::PushButton, 9, "&Help", 222, 186, 50, 14, kButton | kDisabled},
    }};

const DialogTemplate kSerialPort = {
    kSerialPortDialog,
    "Serial Port Settings",
    129,
    71,
    kDialog,
    {
        {K::GroupBox, kNoId, "Port", 7, 7, 52, 58},
        {K::RadioButton, 1018, "COM1", 15, 18, 36, 10, kGroup | kTabStop},
        {K::RadioButton, 1019, "COM2", 15, 29, 36, 10},
        {K::RadioButton, 1020, "COM3", 15, 40, 36, 10},
        {K::RadioButton, 1021, "COM4", 15, 51, 36, 10},
        {K::PushButton, 1, "OK", 72, 10, 50, 14, kDefault | kButton | kGroup},
        {K::PushButton, 2, "Cancel", 72, 27, 50, 14, kButton},
    }};

// The wait window has a caption but no close button.
const DialogTemplate kWait = {kWaitDialog,
                              "Please wait...",
                              136,
                              53,
                              kModalFrame | kCaption | kCentered | kVisible | kForeground,
                              {
                                  {K::Icon, kNoId, "", 7, 7, 18, 20},
                                  {K::Static, 1023, "...while the data transfer is underway.", 29,
                                   7, 100, 39, kAlignCenter | kSunken},
                              }};

const DialogTemplate kWriteSerial = {
    kWriteSerialDialog,
    "Write Serial Number",
    132,
    66,
    kDialog,
    {
        {K::Static, kNoId, "Current Serial No.", 7, 7, 56, 8, kAlignLeft},
        {K::Static, 1028, "Current Serial No.", 69, 7, 55, 11, kSunken | kAlignLeft},
        {K::Static, kNoId, "New Serial No.", 7, 24, 56, 8, kAlignLeft},
        {K::Edit, 1027, "", 68, 22, 57, 14, kEditStyle},
        {K::PushButton, 1, "OK", 11, 45, 50, 14, kDefault | kButton},
        {K::PushButton, 2, "Cancel", 71, 45, 50, 14, kButton},
    }};

const DialogTemplate kMonitors = {
    kMonitorsDialog,
    "Active Monitors",
    189,
    127,
    kDialog,
    {
        {K::GroupBox, kNoId, "Values to Display in the Monitor Window", 7, 7, 175, 92},
        {K::CheckBox, 1033, "Engine Speed", 14, 20, 84, 10, kCheck},
        {K::CheckBox, 1034, "Engine Acceleration", 14, 35, 84, 10, kCheck},
        {K::CheckBox, 1036, "Peak Acceleration", 14, 50, 110, 10, kCheck},
        {K::CheckBox, 1035, "Front Cylinder Spark Advance", 14, 66, 110, 10, kCheck},
        {K::CheckBox, 1037, "Rear Cylinder Spark Advance", 14, 82, 110, 10, kCheck},
        {K::CheckBox, 1039, "Battery Voltage", 111, 20, 64, 10, kCheck},
        {K::CheckBox, 1041, "VOES Retard", 111, 35, 64, 10, kCheck},
        {K::PushButton, 1, "OK", 36, 106, 50, 14, kDefault | kButton},
        {K::PushButton, 2, "Cancel", 102, 106, 50, 14, kButton},
    }};

}  // namespace

const std::vector<const DialogTemplate*>& AllDialogTemplates() {
    static const std::vector<const DialogTemplate*> all = {
        &kAbout, &kSetY, &kBasicSetup, &kSerialPort, &kWait, &kWriteSerial, &kMonitors};
    return all;
}

const DialogTemplate* FindDialogTemplate(int id) {
    for (const DialogTemplate* t : AllDialogTemplates())
        if (t->id == id) return t;
    return nullptr;
}

}  // namespace qx::res
