#pragma once
// "Serial Port Settings": the COM slot (COM1 to COM4) the module is on, and
// the serial device each slot stands for on this machine (profile section
// "Ports"). Each COM button's tool tip names its device; "Device..." opens a
// small dialog listing the serial devices present, in which the user picks the
// device for the checked COM. A USB adapter is listed and stored under its
// stable name (its /dev/serial/by-id link), so the slot keeps meaning that
// adapter after a replug or a reboot; slots stored under a kernel name such as
// /dev/ttyUSB0 keep working. On OK the device choices are stored, then a new
// COM goes to the link (which stores "Port" and relinks); a different device
// for the COM the link is on relinks the same way (another name of the same
// adapter does not). Cancel changes nothing.
//
// Ownership: the dialog lives on the stack of the command that shows it; it
// owns its controls and the device picker it opens. The host, the profile and
// the link outlive it.
#include <QDialog>
#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/serial/SerialPort.h"
#include "gui/resources/TemplateDialog.h"

class QLineEdit;
class QTreeWidget;

namespace qx {
class CommPort;
class Host;
class Profile;
class RamMonitor;
}  // namespace qx

namespace qx::gui {

inline constexpr int kComSlotCount = 4;

// The device list of the machine: ListPorts() by default; tests give their own.
using PortLister = std::function<std::vector<serial::PortInfo>()>;

// The small dialog in which the device of one COM slot is picked.
class SerialDevicePicker : public QDialog {
    Q_OBJECT
  public:
    // ports: the devices present, with the COM slots that point at them as they
    // would be stored now. current: the slot's device now.
    SerialDevicePicker(int comIndex, const std::string& current,
                       const std::vector<serial::PortInfo>& ports, QWidget* parent = nullptr);
    ~SerialDevicePicker() override;

    // The columns of List(): the name stored on a pick (the stable name where
    // there is one), the kernel's name now, description, USB serial number, COMs.
    static constexpr int kNameColumn = 0;
    static constexpr int kColumnCount = 5;

    // The device chosen (a listed one, or a path typed into the field).
    std::string Device() const;
    // The list control; rows are the devices in the order given, then a row
    // for the slot's device when it is not present ("not present" in the
    // column of the kernel's name). Owned by the dialog.
    QTreeWidget* List() const { return list_; }
    QLineEdit* DeviceEdit() const { return edit_; }

    // The text of the COM column: "COM1, COM3", or "" when no slot points there.
    static QString SlotText(const std::vector<int>& slots);

  private:
    QTreeWidget* list_ = nullptr;
    QLineEdit* edit_ = nullptr;
};

class SetSerialPortDialog : public TemplateDialog {
    Q_OBJECT
  public:
    static constexpr int kCom1Radio = 1018;
    // Outside the ids of the dialog's template.
    static constexpr int kDeviceButton = 1100;

    SetSerialPortDialog(Host& host, Profile& profile, CommPort& link, QWidget* parent = nullptr);
    ~SetSerialPortDialog() override;

    void SetPortLister(PortLister lister) { lister_ = std::move(lister); }

    // 0..3 for COM1..COM4; -1 before initialisation.
    int PortIndex() const { return portIndex_; }
    // The device slot index stands for, the choice made here first.
    std::string DeviceFor(int index) const;
    // The tool tip text of the COM button of index.
    QString ToolTipFor(int index) const;
    // Opens the device picker for the checked COM; a confirmed choice is kept
    // until OK.
    void PickDevice();

  protected:
    bool OnInitDialog() override;
    void OnOK() override;
    void OnCommand(int id) override;

  private:
    void DoDataExchange(bool save);
    // The devices present (as last listed), their COM slots following the
    // choices made here.
    std::vector<serial::PortInfo> PortsNow() const;
    void UpdateToolTips();
    // Stores the device choices; false (the user has been told) when the
    // profile could not be written. changedLinkedSlot: the link's slot changed.
    bool StoreDevices(bool& changedLinkedSlot);
    // True when a and b are names of one port of the last listing.
    bool SameListedPort(const std::string& a, const std::string& b) const;

    Host& host_;
    Profile& profile_;
    CommPort& link_;
    int portIndex_ = -1;
    std::array<std::optional<std::string>, kComSlotCount> chosen_;
    PortLister lister_;
    std::vector<serial::PortInfo> ports_;  // listed at initialisation and at each pick
};

// The view's Serial Port command: postponed while the module is busy (and
// then replayed), else the dialog is run modally.
void OnSerialPortCommand(Host& host, Profile& profile, CommPort& link);

}  // namespace qx::gui
