#include "gui/dialogs/SetSerialPortDialog.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <filesystem>
#include <system_error>

#include "core/host/Host.h"
#include "core/host/Profile.h"
#include "core/link/CommPort.h"
#include "gui/resources/Resources.h"

namespace qx::gui {

namespace {

constexpr const char* kPortsSection = "Ports";

std::string SlotKey(int index) {
    return "COM" + std::to_string(index + 1);
}

QString ToQ(const std::string& s) {
    return QString::fromStdString(s);
}

bool Exists(const std::string& device) {
    std::error_code ec;
    return std::filesystem::exists(device, ec);
}

}  // namespace

// ---- The device picker -------------------------------------------------------

SerialDevicePicker::SerialDevicePicker(int comIndex, const std::string& current,
                                       const std::vector<serial::PortInfo>& ports, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(QStringLiteral("Serial Device for COM%1").arg(comIndex + 1));
    setFont(DialogFont());
    setLocale(QLocale::c());

    auto* layout = new QVBoxLayout(this);
    auto* listLabel = new QLabel(QStringLiteral("Serial devices on this computer:"), this);
    layout->addWidget(listLabel);

    list_ = new QTreeWidget(this);
    list_->setObjectName(QStringLiteral("deviceList"));
    list_->setRootIsDecorated(false);
    list_->setUniformRowHeights(true);
    list_->setColumnCount(kColumnCount);
    list_->setHeaderLabels({QStringLiteral("Device"), QStringLiteral("Now"),
                            QStringLiteral("Description"), QStringLiteral("Serial No."),
                            QStringLiteral("Used by")});
    QString currentName = ToQ(current);
    for (const serial::PortInfo& port : ports) {
        auto* row = new QTreeWidgetItem(list_);
        // The stable name is what a pick stores; the kernel's name beside it
        // only says where the adapter is at the moment.
        row->setText(kNameColumn, ToQ(port.Name()));
        if (port.Name() != port.device) row->setText(1, ToQ(port.device));
        row->setText(2, ToQ(port.description));
        row->setText(3, ToQ(port.serialNumber));
        row->setText(4, SlotText(port.comSlots));
        if (port.IsNamed(current)) {
            list_->setCurrentItem(row);
            // A slot stored under the kernel's name moves to the stable name
            // when the pick is confirmed.
            currentName = ToQ(port.Name());
        }
    }
    const bool listed = std::any_of(ports.begin(), ports.end(),
                                    [&](const serial::PortInfo& p) { return p.IsNamed(current); });
    if (!current.empty() && !listed) {
        // The slot's adapter is unplugged: offer its device last, as the current
        // row, so that the list's first row never replaces it unless picked.
        auto* row = new QTreeWidgetItem(list_);
        row->setText(kNameColumn, currentName);
        row->setText(1, QStringLiteral("not present"));
        row->setText(4, QStringLiteral("COM%1").arg(comIndex + 1));
        list_->setCurrentItem(row);
    }
    for (int c = 0; c < kColumnCount; ++c) list_->resizeColumnToContents(c);
    listLabel->setBuddy(list_);
    layout->addWidget(list_);

    auto* editLabel = new QLabel(QStringLiteral("&Device:"), this);
    layout->addWidget(editLabel);
    edit_ = new QLineEdit(currentName, this);
    edit_->setObjectName(QStringLiteral("deviceEdit"));
    editLabel->setBuddy(edit_);
    layout->addWidget(edit_);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(buttons);
    QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(list_, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
        if (item) edit_->setText(item->text(kNameColumn));
    });
    connect(list_, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item) {
        if (item) {
            edit_->setText(item->text(kNameColumn));
            accept();
        }
    });
    // A slot always stands for some device: an empty choice cannot be confirmed.
    connect(edit_, &QLineEdit::textChanged, this,
            [ok](const QString& text) { ok->setEnabled(!text.trimmed().isEmpty()); });
    ok->setEnabled(!edit_->text().trimmed().isEmpty());
    resize(640, 260);
}

SerialDevicePicker::~SerialDevicePicker() = default;

std::string SerialDevicePicker::Device() const {
    return edit_->text().trimmed().toStdString();
}

QString SerialDevicePicker::SlotText(const std::vector<int>& slots) {
    QStringList names;
    for (int slot : slots) names << QStringLiteral("COM%1").arg(slot + 1);
    return names.join(QStringLiteral(", "));
}

// ---- The dialog ----------------------------------------------------------------

SetSerialPortDialog::SetSerialPortDialog(Host& host, Profile& profile, CommPort& link,
                                         QWidget* parent)
    : TemplateDialog(res::kSerialPortDialog, parent),
      host_(host),
      profile_(profile),
      link_(link),
      lister_([] { return serial::ListPorts(); }) {
    auto* device = new QPushButton(QStringLiteral("&Device..."), this);
    device->setObjectName(QStringLiteral("control%1").arg(kDeviceButton));
    device->setAutoDefault(false);
    device->setGeometry(Units().ToPixels(72, 44, 50, 14));
    device->setToolTip(QStringLiteral("Choose the serial device of the checked COM port"));
    connect(device, &QPushButton::clicked, this, [this] { OnCommand(kDeviceButton); });
}

SetSerialPortDialog::~SetSerialPortDialog() = default;

std::string SetSerialPortDialog::DeviceFor(int index) const {
    if (index < 0 || index >= kComSlotCount) return {};
    if (chosen_[static_cast<std::size_t>(index)]) return *chosen_[static_cast<std::size_t>(index)];
    return serial::DeviceForPortIndex(index);
}

std::vector<serial::PortInfo> SetSerialPortDialog::PortsNow() const {
    std::vector<serial::PortInfo> ports = ports_;
    for (serial::PortInfo& port : ports) {
        std::vector<int> slots;
        for (int i = 0; i < kComSlotCount; ++i) {
            const bool listed =
                std::find(port.comSlots.begin(), port.comSlots.end(), i) != port.comSlots.end();
            const auto& choice = chosen_[static_cast<std::size_t>(i)];
            if (choice ? port.IsNamed(*choice) : listed) slots.push_back(i);
        }
        port.comSlots = std::move(slots);
    }
    return ports;
}

QString SetSerialPortDialog::ToolTipFor(int index) const {
    const std::string device = DeviceFor(index);
    QString tip = QStringLiteral("COM%1: %2").arg(index + 1).arg(ToQ(device));
    for (const serial::PortInfo& port : ports_) {
        if (!port.IsNamed(device)) continue;
        QStringList about;
        if (!port.description.empty()) about << ToQ(port.description);
        if (device != port.device) about << QStringLiteral("now %1").arg(ToQ(port.device));
        if (!about.isEmpty()) tip += QStringLiteral(" (%1)").arg(about.join(QStringLiteral(", ")));
        return tip;
    }
    if (!Exists(device)) tip += QStringLiteral(" (not present)");
    return tip;
}

void SetSerialPortDialog::UpdateToolTips() {
    for (int i = 0; i < kComSlotCount; ++i)
        if (QWidget* radio = Control(kCom1Radio + i)) radio->setToolTip(ToolTipFor(i));
}

void SetSerialPortDialog::DoDataExchange(bool save) {
    if (save)
        portIndex_ = RadioIndex(kCom1Radio);
    else
        SetRadioIndex(kCom1Radio, portIndex_);
}

bool SetSerialPortDialog::OnInitDialog() {
    portIndex_ = link_.PortNumber();
    DoDataExchange(false);
    ports_ = lister_ ? lister_() : std::vector<serial::PortInfo>{};
    UpdateToolTips();
    return true;
}

void SetSerialPortDialog::OnCommand(int id) {
    if (id == kDeviceButton) PickDevice();
}

void SetSerialPortDialog::PickDevice() {
    int slot = RadioIndex(kCom1Radio);
    if (slot < 0) slot = link_.PortNumber();
    // Devices come and go (USB adapters): list them afresh for each pick.
    if (lister_) ports_ = lister_();
    SerialDevicePicker picker(slot, DeviceFor(slot), PortsNow(), this);
    if (picker.exec() != QDialog::Accepted) return;
    const std::string device = picker.Device();
    if (device.empty()) return;
    chosen_[static_cast<std::size_t>(slot)] = device;
    UpdateToolTips();
}

bool SetSerialPortDialog::SameListedPort(const std::string& a, const std::string& b) const {
    for (const serial::PortInfo& port : ports_)
        if (port.IsNamed(a) && port.IsNamed(b)) return true;
    return false;
}

bool SetSerialPortDialog::StoreDevices(bool& changedLinkedSlot) {
    changedLinkedSlot = false;
    const int linkedSlot = link_.PortNumber();
    for (int i = 0; i < kComSlotCount; ++i) {
        const auto& choice = chosen_[static_cast<std::size_t>(i)];
        const std::string before = serial::DeviceForPortIndex(i);
        if (!choice || *choice == before) continue;
        if (!profile_.WriteString(kPortsSection, SlotKey(i), *choice)) {
            host_.MessageBox("Unable to store the serial device of " + SlotKey(i) +
                                 " in the settings file\n" + profile_.Path(),
                             "Serial Port Settings", MsgButtons::Ok, MsgIcon::Error);
            return false;
        }
        if (i == linkedSlot && !SameListedPort(*choice, before)) changedLinkedSlot = true;
    }
    return true;
}

void SetSerialPortDialog::OnOK() {
    DoDataExchange(true);
    accept();
    bool changedLinkedSlot = false;
    if (!StoreDevices(changedLinkedSlot)) return;
    if (portIndex_ >= 0 && portIndex_ != link_.PortNumber()) {
        link_.SetPort(portIndex_);
    } else if (changedLinkedSlot && link_.IsLinked()) {
        // The same slot on another device: relink as a change of slot would.
        link_.BreakLink();
        link_.EstablishLink();
    }
}

void OnSerialPortCommand(Host& host, Profile& profile, CommPort& link) {
    SetSerialPortDialog dialog(host, profile, link, nullptr);
    dialog.DoModal();
}

}  // namespace qx::gui
