#pragma once
// The About box: version line (the project's version) and, while linked, the module's serial number
// and firmware version read from the module ("#####" when unknown).
#include "gui/resources/TemplateDialog.h"
#include "gui/shell/FirmwareText.h"

namespace qx {
class CommPort;
}

namespace qx::gui {

class CAboutDlg : public TemplateDialog {
    Q_OBJECT
  public:
    static constexpr int kVersionLine = 1025;
    static constexpr int kSerialField = 1026;
    static constexpr int kFirmwareField = 1027;
    // The link outlives the dialog.
    explicit CAboutDlg(CommPort& link, QWidget* parent = nullptr);

    const QString& SerialText() const { return serialText_; }
    const QString& FirmwareText() const { return firmwareText_; }

  protected:
    bool OnInitDialog() override;

  private:
    CommPort& link_;
    QString serialText_;
    QString firmwareText_;
};

}  // namespace qx::gui
