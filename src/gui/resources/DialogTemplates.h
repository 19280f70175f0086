#pragma once
// Dialog templates as data: each control's kind, id, text, rectangle in dialog
// units and style. TemplateDialog (TemplateDialog.h) builds windows from them.
// Every template returned here is static data that lives for the whole run.
#include <string_view>
#include <vector>

namespace qx::res {

enum class ControlKind { PushButton, Edit, Static, GroupBox, CheckBox, RadioButton, Icon };

// Control style bits.
enum ControlStyle : unsigned {
    kDefault = 1u << 0,  // the default push button
    kGroup = 1u << 1,    // first control of a group (radio buttons)
    kTabStop = 1u << 2,
    kHidden = 1u << 3,  // created without the visible style, never shown
    kDisabled = 1u << 4,
    kAlignLeft = 1u << 5,
    kAlignRight = 1u << 6,
    kAlignCenter = 1u << 7,
    kSunken = 1u << 8,  // sunken edge
    kBorder = 1u << 9,
    kAutoHScroll = 1u << 10,
};

// Dialog style bits.
enum DialogStyle : unsigned {
    kModalFrame = 1u << 0,
    kCaption = 1u << 1,
    kSystemMenu = 1u << 2,  // a close button on the caption
    kCentered = 1u << 3,
    kVisible = 1u << 4,
    kForeground = 1u << 5,
};

inline constexpr int kNoId = -1;  // controls that are never addressed

struct ControlTemplate {
    ControlKind kind;
    int id;
    std::string_view text;
    int x, y, width, height;  // dialog units
    unsigned style = 0;
};

struct DialogTemplate {
    int id;
    std::string_view caption;
    int width, height;  // dialog units
    unsigned style;
    std::vector<ControlTemplate> controls;
};

// Dialog ids.
inline constexpr int kAboutDialog = 100;
inline constexpr int kSetYValueDialog = 130;
inline constexpr int kBasicSetupDialog = 132;
inline constexpr int kSerialPortDialog = 140;
inline constexpr int kWaitDialog = 141;
inline constexpr int kWriteSerialDialog = 144;
inline constexpr int kMonitorsDialog = 147;

// The template of id, or null when there is none.
const DialogTemplate* FindDialogTemplate(int id);
// Every template, for tests and tools.
const std::vector<const DialogTemplate*>& AllDialogTemplates();

}  // namespace qx::res
