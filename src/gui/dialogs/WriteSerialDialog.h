#pragma once
// "Write Serial Number": shows the serial number the module holds and writes a
// new one into the module's EEPROM (two bytes at 0xB7FE, most significant
// first). A typed entry that is not a number from 0 to 65535 is refused with a
// message and the dialog stays open; a fraction is cut to its whole part.
//
// Ownership: the dialog lives on the stack of the command that shows it; it
// owns nothing beyond its controls. The host and the link outlive it.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "gui/resources/TemplateDialog.h"

namespace qx {
class CommPort;
class Host;
}  // namespace qx

namespace qx::gui {

class WriteSerialDialog : public TemplateDialog {
    Q_OBJECT
  public:
    static constexpr int kNewSerialEdit = 1027;
    static constexpr int kCurrentSerialText = 1028;
    static constexpr int kSerialNumberMax = 65535;

    WriteSerialDialog(Host& host, CommPort& link, QWidget* parent = nullptr);
    ~WriteSerialDialog() override;

    // The serial number text entered (whole text, blanks around allowed):
    // a finite number from 0 to 65535, cut to its whole part; else nothing.
    static std::optional<uint16_t> ParseSerialNumber(std::string_view text);

    // What the dialog shows as the module's serial number.
    const std::string& CurrentSerialText() const { return currentSerialText_; }
    // The serial number written by the last OK, if one was written.
    std::optional<uint16_t> Written() const { return written_; }

  protected:
    bool OnInitDialog() override;
    void OnOK() override;

  private:
    void DoDataExchange(bool save);
    // Writes number into the module; false (the user has been told) on failure.
    bool WriteSerialNumber(uint16_t number);

    Host& host_;
    CommPort& link_;
    std::string newSerialText_;
    std::string currentSerialText_;
    std::optional<uint16_t> written_;
};

// Shows the dialog modally (the Write Serial command).
void RunWriteSerialDialog(Host& host, CommPort& link, QWidget* parent);

}  // namespace qx::gui
