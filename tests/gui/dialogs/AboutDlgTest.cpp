// The About box: the program's version line, and the module's serial number and
// firmware version read while linked.
#include <QRegularExpression>

#include "DialogTestSupport.h"
#include "gui/app/AboutDlg.h"

namespace qx::test {
namespace {

using Dlg = gui::CAboutDlg;

TEST_F(DialogTest, AboutShowsTheVersionAndWhileLinkedTheModule) {
    auto d = Open<Dlg>(CommPort::Instance());
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^Quorvex I Version [0-9]+(\\.[0-9]+)+$"))
                    .match(d->Text(Dlg::kVersionLine))
                    .hasMatch())
        << d->Text(Dlg::kVersionLine).toStdString();
    EXPECT_EQ(d->Text(Dlg::kSerialField), "#####");
    EXPECT_EQ(d->Text(Dlg::kFirmwareField), "#####");

    LinkModule(emu::EmulatorConfig{.firmware = 0x1A, .serialNumber = 7});
    d = Open<Dlg>(CommPort::Instance());
    EXPECT_EQ(d->Text(Dlg::kSerialField), "00007");
    EXPECT_EQ(d->Text(Dlg::kFirmwareField), "1.10");
}

}  // namespace
}  // namespace qx::test
