#include "gui/shell/FirmwareText.h"

#include "core/host/Numbers.h"

namespace qx::gui {

QString FirmwareText(int versionByte) {
    return QString::fromStdString(FormatC("%d.%d", (versionByte >> 4) & 0x0F, versionByte & 0x0F));
}

}  // namespace qx::gui
