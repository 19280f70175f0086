// The serial port dialog: the COM shown and chosen, the link moved to a new COM
// or a new device, the device picker and the tool tips naming the devices.
#include <QDialogButtonBox>
#include <QFile>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>

#include "DialogTestSupport.h"
#include "dialogs/SetSerialPortDialog.h"
#include "host/Profile.h"
#include "resources/Resources.h"

namespace qx::test {
namespace {

using gui::SerialDevicePicker;
using gui::SetSerialPortDialog;
using Dlg = SetSerialPortDialog;

constexpr const char* kBroken = "Connection to Module Has Been Broken";

std::vector<serial::PortInfo> FakePorts() {
    return {
        {"/dev/ttyS0", "", {0}},
        {"/dev/ttyUSB0", "FTDI FT232R USB UART", {}},
        {"/dev/ttyUSB1", "Prolific PL2303 Serial", {}},
    };
}

class SerialPortTest : public DialogTest {
  protected:
    std::unique_ptr<Dlg> Open() {
        auto dialog = std::make_unique<Dlg>();
        dialog->SetPortLister([this] {
            ++listings;
            return ports;
        });
        dialog->show();
        return dialog;
    }
    static QPushButton* DeviceButton(Dlg& d) {
        return d.findChild<QPushButton*>(QStringLiteral("control%1").arg(Dlg::kDeviceButton));
    }
    std::string ProfileText() {
        QFile f(QString::fromStdString(host.ProfilePath()));
        if (!f.open(QIODevice::ReadOnly)) return {};
        return f.readAll().toStdString();
    }
    // Opens the picker from the dialog and picks row (or types device when row < 0).
    bool PickWith(Dlg& d, int row, const QString& typed = {}) {
        auto driver = ModalDriver::When<SerialDevicePicker>([&](SerialDevicePicker& p) {
            if (row >= 0)
                p.List()->setCurrentItem(p.List()->topLevelItem(row));
            else
                TypeInto(p.DeviceEdit(), typed);
            p.accept();
        });
        Click(DeviceButton(d));
        return driver->Ran();
    }

    std::vector<serial::PortInfo> ports = FakePorts();
    int listings = 0;
};

TEST_F(SerialPortTest, OpensOnTheStoredPortWithTheTemplateUnchangedAndTheDeviceButton) {
    AppProfile().WriteInt("Settings", "Port", 2);
    auto d = Open();
    EXPECT_EQ(d->PortIndex(), 2);
    EXPECT_TRUE(d->IsChecked(1020));
    EXPECT_EQ(d->windowTitle(), QStringLiteral("Serial Port Settings"));
    EXPECT_EQ(d->size(), QSize(d->Units().ToPixelsX(129), d->Units().ToPixelsY(71)));
    EXPECT_EQ(d->Template().controls.size(), 7u);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(d->Text(1018 + i), QStringLiteral("COM%1").arg(i + 1));
    QPushButton* device = DeviceButton(*d);
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(device->text(), QStringLiteral("&Device..."));
    EXPECT_EQ(device->geometry(), d->Units().ToPixels(72, 44, 50, 14));
    EXPECT_EQ(d->Control(Dlg::kDeviceButton), nullptr);  // not one of the template's ids
    EXPECT_FALSE(SavePicture(*d, "serial-port-dialog").empty());
}

TEST_F(SerialPortTest, ToolTipsNameTheDeviceOfEachCom) {
    AppProfile().WriteString("Ports", "COM2", "/dev/ttyUSB0");
    AppProfile().WriteString("Ports", "COM4", "/dev/qx-no-such-tty");
    auto d = Open();
    EXPECT_EQ(d->Control(1018)->toolTip(), QStringLiteral("COM1: /dev/ttyS0"));
    EXPECT_EQ(d->Control(1019)->toolTip(),
              QStringLiteral("COM2: /dev/ttyUSB0 (FTDI FT232R USB UART)"));
    EXPECT_EQ(d->Control(1021)->toolTip(),
              QStringLiteral("COM4: /dev/qx-no-such-tty (not present)"));
}

TEST_F(SerialPortTest, OkWithoutAChangeTouchesNeitherTheLinkNorTheProfile) {
    LinkModule();
    const std::string before = ProfileText();
    auto d = Open();
    Click(d->Control(1));
    EXPECT_FALSE(d->isVisible());
    EXPECT_TRUE(CommPort::Instance().IsLinked());
    EXPECT_TRUE(opened.empty());
    EXPECT_TRUE(host->Messages().empty());
    EXPECT_EQ(ProfileText(), before);
}

TEST_F(SerialPortTest, ANewComWhileLinkedBreaksStoresAndRelinksOnIt) {
    LinkModule();
    auto d = Open();
    Click(d->Control(1019));
    Click(d->Control(1));
    EXPECT_EQ(AppProfile().GetInt("Settings", "Port", -1), 1);
    EXPECT_EQ(CommPort::Instance().PortNumber(), 1);
    EXPECT_EQ(opened, (std::vector<int>{1}));
    EXPECT_TRUE(CommPort::Instance().IsLinked());
    const auto texts = MessageTexts();
    ASSERT_GE(texts.size(), 2u);
    EXPECT_EQ(texts[0], kBroken);
    EXPECT_EQ(texts[1].rfind("Connection to Module Successfully Established", 0), 0u);
}

TEST_F(SerialPortTest, CancelChangesNothingEvenAfterAPick) {
    LinkModule();
    const std::string before = ProfileText();
    auto d = Open();
    Click(d->Control(1020));
    ASSERT_TRUE(PickWith(*d, 1));
    Click(d->Control(2));
    EXPECT_EQ(CommPort::Instance().PortNumber(), 0);
    EXPECT_TRUE(opened.empty());
    EXPECT_EQ(ProfileText(), before);
}

TEST_F(SerialPortTest, PickerListsTheDevicesWithDescriptionsAndTheirComs) {
    AppProfile().WriteString("Ports", "COM3", "/dev/ttyUSB1");
    ports[2].comSlots = {2};
    auto d = Open();
    Click(d->Control(1020));
    std::vector<QStringList> rows;
    QString title, edit;
    auto driver = ModalDriver::When<SerialDevicePicker>([&](SerialDevicePicker& p) {
        title = p.windowTitle();
        edit = p.DeviceEdit()->text();
        for (int i = 0; i < p.List()->topLevelItemCount(); ++i) {
            QTreeWidgetItem* item = p.List()->topLevelItem(i);
            rows.push_back({item->text(0), item->text(1), item->text(2)});
        }
        EXPECT_EQ(p.List()->currentItem(), p.List()->topLevelItem(2));
        EXPECT_FALSE(SavePicture(p, "serial-device-dialog").empty());
        p.reject();
    });
    Click(DeviceButton(*d));
    ASSERT_TRUE(driver->Ran());
    EXPECT_EQ(title, QStringLiteral("Serial Device for COM3"));
    EXPECT_EQ(edit, QStringLiteral("/dev/ttyUSB1"));
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0], (QStringList{"/dev/ttyS0", "", "COM1"}));
    EXPECT_EQ(rows[1], (QStringList{"/dev/ttyUSB0", "FTDI FT232R USB UART", ""}));
    EXPECT_EQ(rows[2], (QStringList{"/dev/ttyUSB1", "Prolific PL2303 Serial", "COM3"}));
    // Cancelled: the slot keeps its device.
    EXPECT_EQ(d->DeviceFor(2), "/dev/ttyUSB1");
}

TEST_F(SerialPortTest, APickIsShownAtOnceAndStoredOnOk) {
    auto d = Open();
    Click(d->Control(1019));
    ASSERT_TRUE(PickWith(*d, 1));
    EXPECT_EQ(d->DeviceFor(1), "/dev/ttyUSB0");
    EXPECT_EQ(d->Control(1019)->toolTip(),
              QStringLiteral("COM2: /dev/ttyUSB0 (FTDI FT232R USB UART)"));
    EXPECT_FALSE(AppProfile().HasKey("Ports", "COM2"));  // not before OK
    // A second pick for the same COM shows the first one as taken by it.
    QString usedBy;
    auto driver = ModalDriver::When<SerialDevicePicker>([&](SerialDevicePicker& p) {
        usedBy = p.List()->topLevelItem(1)->text(2);
        p.reject();
    });
    Click(DeviceButton(*d));
    EXPECT_EQ(usedBy, QStringLiteral("COM2"));
    Click(d->Control(1));
    EXPECT_EQ(AppProfile().GetString("Ports", "COM2", ""), "/dev/ttyUSB0");
    EXPECT_EQ(serial::DeviceForPortIndex(1), "/dev/ttyUSB0");
    EXPECT_EQ(listings, 3);  // at opening and at each pick
}

TEST_F(SerialPortTest, ANewDeviceForTheLinkedComBreaksAndRelinksOnTheSameCom) {
    LinkModule();
    auto d = Open();
    ASSERT_TRUE(PickWith(*d, 2));
    Click(d->Control(1));
    EXPECT_EQ(AppProfile().GetString("Ports", "COM1", ""), "/dev/ttyUSB1");
    EXPECT_EQ(CommPort::Instance().PortNumber(), 0);
    EXPECT_FALSE(AppProfile().HasKey("Settings", "Port"));
    EXPECT_EQ(opened, (std::vector<int>{0}));
    EXPECT_TRUE(CommPort::Instance().IsLinked());
    ASSERT_FALSE(host->Messages().empty());
    EXPECT_EQ(host->Messages().front().text, kBroken);
}

TEST_F(SerialPortTest, ANewDeviceForAnotherComLeavesTheLinkAlone) {
    LinkModule();
    auto d = Open();
    Click(d->Control(1021));
    ASSERT_TRUE(PickWith(*d, -1, QStringLiteral("/dev/ttyACM0")));
    Click(d->Control(1018));  // back to the linked COM before OK
    Click(d->Control(1));
    EXPECT_EQ(AppProfile().GetString("Ports", "COM4", ""), "/dev/ttyACM0");
    EXPECT_TRUE(opened.empty());
    EXPECT_TRUE(host->Messages().empty());
}

TEST_F(SerialPortTest, ThePickerRefusesAnEmptyDevice) {
    std::vector<serial::PortInfo> none;
    SerialDevicePicker picker(0, "/dev/ttyS0", none);
    picker.show();
    auto* ok = picker.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
    EXPECT_TRUE(ok->isEnabled());
    TypeInto(picker.DeviceEdit(), QStringLiteral("   "));
    EXPECT_FALSE(ok->isEnabled());
    TypeInto(picker.DeviceEdit(), QStringLiteral(" /dev/pts/7 "));
    EXPECT_TRUE(ok->isEnabled());
    EXPECT_EQ(picker.Device(), "/dev/pts/7");
}

TEST_F(SerialPortTest, TheCommandIsPostponedWhileTheModuleIsBusy) {
    {
        CommandBusyScope busy(false);
        auto driver = ModalDriver::When<Dlg>([](Dlg& d) { d.reject(); });
        gui::OnSerialPortCommand();
        EXPECT_FALSE(driver->Ran());
        EXPECT_EQ(RamMonitor::Instance().PostponedCommands(), (std::vector<int>{res::kSerialPort}));
    }
    // Not busy: the dialog runs modally.
    auto driver = ModalDriver::When<Dlg>([](Dlg& d) {
        EXPECT_TRUE(d.isModal());
        d.reject();
    });
    gui::OnSerialPortCommand();
    EXPECT_TRUE(driver->Ran());
}

}  // namespace
}  // namespace qx::test
