#pragma once
// The module's firmware version as the About box and the tune sheet show it.
#include <QString>

namespace qx::gui {

// "%d.%d" of the firmware byte: major in bits 4 to 7, minor in bits 0 to 3.
QString FirmwareText(int versionByte);

}  // namespace qx::gui
