// The serial port dialog: the COM shown and chosen, the link moved to a new COM
// or a new device, the device picker and the tool tips naming the devices.
#include <QApplication>
#include <QDialogButtonBox>
#include <QFontMetrics>
#include <QPushButton>
#include <QTreeWidget>
#include <algorithm>

#include "DialogTestSupport.h"
#include "core/host/Profile.h"
#include "gui/dialogs/SetSerialPortDialog.h"
#include "support/FileBytes.h"

namespace qx::test {
namespace {

using gui::SerialDevicePicker;
using Dlg = gui::SetSerialPortDialog;

serial::PortInfo Port(const std::string& device, const std::string& description,
                      std::vector<int> slots, const std::string& stable = "",
                      const std::string& serialNumber = "") {
    return {device, description, std::move(slots), stable, serialNumber};
}

class SerialPortTest : public DialogTest {
  protected:
    std::unique_ptr<Dlg> Open() {
        auto dialog = std::make_unique<Dlg>(*host, AppProfile(), CommPort::Instance());
        dialog->SetPortLister([this] {
            ++listings;
            return ports;
        });
        dialog->show();
        return dialog;
    }
    // The texts of the picker's rows, column by column.
    static std::vector<QStringList> Rows(SerialDevicePicker& p) {
        std::vector<QStringList> rows(static_cast<std::size_t>(p.List()->topLevelItemCount()));
        for (std::size_t i = 0; i < rows.size(); ++i)
            for (int c = 0; c < SerialDevicePicker::kColumnCount; ++c)
                rows[i] << p.List()->topLevelItem(static_cast<int>(i))->text(c);
        return rows;
    }
    static QPushButton* DeviceButton(Dlg& d) {
        return d.findChild<QPushButton*>(QStringLiteral("control%1").arg(Dlg::kDeviceButton));
    }
    std::string ProfileText() { return ReadFileText(host.ProfilePath()); }
    // Opens the picker from the dialog and lets act answer it; true when it ran.
    static bool RunPicker(Dlg& d, const std::function<void(SerialDevicePicker&)>& act) {
        auto driver = ModalDriver::When<SerialDevicePicker>(act);
        Click(DeviceButton(d));
        return driver->Ran();
    }
    // Picks row in the picker (or types device when row < 0).
    static bool PickWith(Dlg& d, int row, const QString& typed = {}) {
        return RunPicker(d, [&](SerialDevicePicker& p) {
            if (row >= 0)
                p.List()->setCurrentItem(p.List()->topLevelItem(row));
            else
                TypeInto(p.DeviceEdit(), typed);
            p.accept();
        });
    }

    std::vector<serial::PortInfo> ports = {Port("/dev/ttyS0", "", {0}),
                                           Port("/dev/ttyUSB0", "FTDI FT232R USB UART", {}),
                                           Port("/dev/ttyUSB1", "Prolific PL2303 Serial", {})};
    int listings = 0;
};

TEST_F(SerialPortTest, OpensOnTheStoredPortWithTheTemplateUnchangedAndDeviceToolTips) {
    AppProfile().WriteInt("Settings", "Port", 2);
    AppProfile().WriteString("Ports", "COM2", "/dev/ttyUSB0");
    AppProfile().WriteString("Ports", "COM4", "/dev/qx-no-such-tty");
    auto d = Open();
    EXPECT_EQ(d->PortIndex(), 2);
    EXPECT_TRUE(d->IsChecked(1020));
    EXPECT_EQ(d->windowTitle(), QStringLiteral("Serial Port Settings"));
    EXPECT_EQ(d->height(), d->Units().ToPixelsY(71));
    // Wide enough for the window manager to write the whole caption in bold
    // beside its icon and three buttons, never "Serial P... Settings".
    QFont bold = QApplication::font();
    bold.setBold(true);
    const QFontMetrics fm(bold);
    EXPECT_GE(d->width(), std::max(d->Units().ToPixelsX(129),
                                   fm.horizontalAdvance(d->windowTitle()) + 4 * fm.height()));
    QPushButton* device = DeviceButton(*d);
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(device->text(), QStringLiteral("&Device..."));
    EXPECT_EQ(device->geometry(), d->Units().ToPixels(72, 44, 50, 14));
    EXPECT_EQ(d->Control(Dlg::kDeviceButton), nullptr);  // not one of the template's ids
    EXPECT_EQ(d->Control(1019)->toolTip(),
              QStringLiteral("COM2: /dev/ttyUSB0 (FTDI FT232R USB UART)"));
    EXPECT_EQ(d->Control(1021)->toolTip(),
              QStringLiteral("COM4: /dev/qx-no-such-tty (not present)"));
    SavePicture(*d, "serial-port-dialog");
}

TEST_F(SerialPortTest, OkWithoutAChangeOrCancelAfterAPickTouchesNothing) {
    LinkModule();
    const std::string before = ProfileText();
    for (bool cancel : {false, true}) {
        SCOPED_TRACE(cancel ? "cancel" : "ok");
        auto d = Open();
        if (cancel) {
            Click(d->Control(1020));
            ASSERT_TRUE(PickWith(*d, 1));
        }
        Click(d->Control(cancel ? 2 : 1));
        EXPECT_FALSE(d->isVisible());
        EXPECT_TRUE(CommPort::Instance().IsLinked());
        EXPECT_EQ(CommPort::Instance().PortNumber(), 0);
        EXPECT_TRUE(opened.empty());
        EXPECT_TRUE(host->Messages().empty());
        EXPECT_EQ(ProfileText(), before);
    }
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
    ASSERT_GE(host->Messages().size(), 2u);
    EXPECT_EQ(host->Messages()[0].text, "Connection to Module Has Been Broken");
    EXPECT_EQ(host->Messages()[1].text.rfind("Connection to Module Successfully Established", 0),
              0u);
}

TEST_F(SerialPortTest, ThePickerListsDevicesWithTheirComsAndAPickIsStoredOnOk) {
    auto d = Open();
    Click(d->Control(1019));
    ASSERT_TRUE(PickWith(*d, 1));
    EXPECT_EQ(d->DeviceFor(1), "/dev/ttyUSB0");
    EXPECT_EQ(d->Control(1019)->toolTip(),
              QStringLiteral("COM2: /dev/ttyUSB0 (FTDI FT232R USB UART)"));
    EXPECT_FALSE(AppProfile().HasKey("Ports", "COM2"));  // not before OK
    // Opened again, the list shows the pick as taken by COM2; cancelled, it stays.
    std::vector<QStringList> rows;
    ASSERT_TRUE(RunPicker(*d, [&](SerialDevicePicker& p) {
        EXPECT_EQ(p.windowTitle(), QStringLiteral("Serial Device for COM2"));
        rows = Rows(p);
        EXPECT_EQ(p.List()->currentItem(), p.List()->topLevelItem(1));
        SavePicture(p, "serial-device-dialog");
        p.reject();
    }));
    EXPECT_EQ(rows,
              (std::vector<QStringList>{{"/dev/ttyS0", "", "", "", "COM1"},
                                        {"/dev/ttyUSB0", "", "FTDI FT232R USB UART", "", "COM2"},
                                        {"/dev/ttyUSB1", "", "Prolific PL2303 Serial", "", ""}}));
    EXPECT_EQ(d->DeviceFor(1), "/dev/ttyUSB0");
    Click(d->Control(1));
    EXPECT_EQ(AppProfile().GetString("Ports", "COM2", ""), "/dev/ttyUSB0");
    EXPECT_EQ(serial::DeviceForPortIndex(1), "/dev/ttyUSB0");
    EXPECT_EQ(listings, 3);  // at opening and at each pick
}

TEST_F(SerialPortTest, ANewDeviceRelinksOnlyWhenItIsForTheLinkedCom) {
    LinkModule();
    auto d = Open();
    Click(d->Control(1021));
    ASSERT_TRUE(PickWith(*d, -1, QStringLiteral("/dev/ttyACM0")));
    Click(d->Control(1018));  // back to the linked COM before OK
    Click(d->Control(1));
    EXPECT_EQ(AppProfile().GetString("Ports", "COM4", ""), "/dev/ttyACM0");
    EXPECT_TRUE(opened.empty());
    EXPECT_TRUE(host->Messages().empty());

    d = Open();
    ASSERT_TRUE(PickWith(*d, 2));
    Click(d->Control(1));
    EXPECT_EQ(AppProfile().GetString("Ports", "COM1", ""), "/dev/ttyUSB1");
    EXPECT_EQ(CommPort::Instance().PortNumber(), 0);
    EXPECT_FALSE(AppProfile().HasKey("Settings", "Port"));
    EXPECT_EQ(opened, (std::vector<int>{0}));
    EXPECT_TRUE(CommPort::Instance().IsLinked());
    ASSERT_FALSE(host->Messages().empty());
    EXPECT_EQ(host->Messages().front().text, "Connection to Module Has Been Broken");
}

TEST_F(SerialPortTest, AdaptersAreStoredUnderTheirStableNameAndOldNamesKeepWorking) {
    const std::string a = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
    const std::string b = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_B7731QX2-if00-port0";
    ports = {Port("/dev/ttyS0", "", {}),
             Port("/dev/ttyUSB0", "FTDI FT232R USB UART", {0}, a, "A50285BI"),
             Port("/dev/ttyUSB1", "FTDI FT232R USB UART", {}, b, "B7731QX2")};
    // The profile holds the kernel's name, as before stable names; the link is up on it.
    AppProfile().WriteString("Ports", "COM1", "/dev/ttyUSB0");
    LinkModule();
    auto d = Open();
    EXPECT_EQ(d->Control(1018)->toolTip(),
              QStringLiteral("COM1: /dev/ttyUSB0 (FTDI FT232R USB UART)"));

    // The picker lists the stable name with where the adapter is now, and the
    // adapter of the old name is the current row, offered under its stable name.
    std::vector<QStringList> rows;
    ASSERT_TRUE(RunPicker(*d, [&](SerialDevicePicker& p) {
        rows = Rows(p);
        EXPECT_EQ(p.List()->currentItem(), p.List()->topLevelItem(1));
        EXPECT_EQ(p.Device(), a);
        p.accept();
    }));
    EXPECT_EQ(rows[1], (QStringList{QString::fromStdString(a), "/dev/ttyUSB0",
                                    "FTDI FT232R USB UART", "A50285BI", "COM1"}));
    EXPECT_EQ(rows[0], (QStringList{"/dev/ttyS0", "", "", "", ""}));
    EXPECT_EQ(d->Control(1018)->toolTip(),
              QString::fromStdString("COM1: " + a + " (FTDI FT232R USB UART, now /dev/ttyUSB0)"));
    Click(d->Control(1));
    // Stored under the stable name; the same adapter, so the link stays as it is.
    EXPECT_EQ(AppProfile().GetString("Ports", "COM1", ""), a);
    EXPECT_TRUE(opened.empty());
    EXPECT_TRUE(host->Messages().empty());
    EXPECT_TRUE(CommPort::Instance().IsLinked());

    // The other adapter is another device: the link moves to it.
    d = Open();
    ASSERT_TRUE(PickWith(*d, 2));
    Click(d->Control(1));
    EXPECT_EQ(AppProfile().GetString("Ports", "COM1", ""), b);
    EXPECT_EQ(opened, (std::vector<int>{0}));
}

// A slot whose adapter is unplugged keeps its device through reflex keys: the
// picker offers it, marked absent, as the current row, and Enter twice (picker,
// then dialog) stores nothing; a row the user picks still replaces it.
TEST_F(SerialPortTest, AnAbsentDeviceIsShownAndKeptUnlessAnotherIsPicked) {
    const std::string gone = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_QXGONE-if00-port0";
    AppProfile().WriteString("Ports", "COM1", gone);
    ports = {Port("/dev/ttyS0", "", {}), Port("/dev/ttyS1", "", {})};
    for (bool pickAnother : {false, true}) {
        SCOPED_TRACE(pickAnother ? "another picked" : "enter twice");
        auto d = Open();
        QStringList current;
        ASSERT_TRUE(RunPicker(*d, [&](SerialDevicePicker& p) {
            if (QTreeWidgetItem* item = p.List()->currentItem())
                for (int c = 0; c < SerialDevicePicker::kColumnCount; ++c) current << item->text(c);
            p.activateWindow();
            EXPECT_TRUE(QTest::qWaitForWindowActive(&p));
            if (pickAnother) {
                p.List()->setFocus(Qt::OtherFocusReason);
                QTest::keyClick(p.List(), Qt::Key_Home);
                QTest::keyClick(p.List(), Qt::Key_Down);
            }
            QWidget* focus = p.focusWidget();
            QTest::keyClick(focus ? focus : &p, Qt::Key_Return);
        }));
        if (!pickAnother) {
            EXPECT_EQ(current.size(), SerialDevicePicker::kColumnCount);
            EXPECT_EQ(current.value(0), QString::fromStdString(gone));
            EXPECT_NE(current.join(' ').indexOf(QStringLiteral("not present")), -1)
                << current.join('|').toStdString();
        }
        d->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(d.get()));
        QWidget* focus = d->focusWidget();
        QTest::keyClick(focus ? focus : d.get(), Qt::Key_Return);
        EXPECT_FALSE(d->isVisible());
        EXPECT_EQ(AppProfile().GetString("Ports", "COM1", ""), pickAnother ? "/dev/ttyS1" : gone);
        EXPECT_EQ(serial::DeviceForPortIndex(0), pickAnother ? "/dev/ttyS1" : gone);
        AppProfile().WriteString("Ports", "COM1", gone);
    }
}

}  // namespace
}  // namespace qx::test
