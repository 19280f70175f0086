// The module's serial number: the About box and the serial number dialog show
// it (with the firmware and the program's version in the About box), the dialog
// writes it, and entries are refused before anything reaches the EEPROM.
#include <QRegularExpression>

#include "DialogTestSupport.h"
#include "gui/app/AboutDlg.h"
#include "gui/dialogs/WriteSerialDialog.h"

namespace qx::test {
namespace {

using Dlg = gui::WriteSerialDialog;

class WriteSerialTest : public DialogTest {
  protected:
    // Types text, presses OK; true when the dialog closed.
    static bool Enter(Dlg& d, const QString& text) {
        TypeInto(d.ControlAs<QLineEdit>(Dlg::kNewSerialEdit), text);
        Click(d.Control(1));
        return !d.isVisible();
    }
};

TEST_F(WriteSerialTest, AboutShowsTheVersionAndWhileLinkedTheModule) {
    using About = gui::CAboutDlg;
    auto d = Open<About>(CommPort::Instance());
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^Quorvex I Version [0-9]+(\\.[0-9]+)+$"))
                    .match(d->Text(About::kVersionLine))
                    .hasMatch())
        << d->Text(About::kVersionLine).toStdString();
    EXPECT_EQ(d->Text(About::kSerialField), "#####");
    EXPECT_EQ(d->Text(About::kFirmwareField), "#####");
    LinkModule(emu::EmulatorConfig{.firmware = 0x1A, .serialNumber = 7});
    d = Open<About>(CommPort::Instance());
    EXPECT_EQ(d->Text(About::kSerialField), "00007");
    EXPECT_EQ(d->Text(About::kFirmwareField), "1.10");
}

TEST_F(WriteSerialTest, ShowsTheModulesNumberAndHashesUnlinked) {
    EXPECT_EQ(Open<Dlg>(*host, CommPort::Instance())->Text(Dlg::kCurrentSerialText), "#####");
    LinkModule();
    emulator->Core().Poke(0xB7FE, 0x00);
    emulator->Core().Poke(0xB7FF, 0x2A);
    auto d = Open<Dlg>(*host, CommPort::Instance());
    EXPECT_EQ(d->windowTitle(), QStringLiteral("Write Serial Number"));
    EXPECT_EQ(d->Text(Dlg::kCurrentSerialText), "00042");
    EXPECT_EQ(d->Text(Dlg::kNewSerialEdit), "");
    SavePicture(*d, "write-serial-dialog");
}

TEST_F(WriteSerialTest, WritesTheNumberHighByteFirstZeroAndFractionsIncluded) {
    LinkModule();
    const std::vector<std::tuple<const char*, uint8_t, uint8_t>> cases = {
        {"12345", 0x30, 0x39}, {"0", 0x00, 0x00}, {"12.9", 0x00, 0x0C}, {" 65535 ", 0xFF, 0xFF}};
    for (const auto& [text, high, low] : cases) {
        SCOPED_TRACE(text);
        emulator->Core().ResetCounters();
        auto d = Open<Dlg>(*host, CommPort::Instance());
        EXPECT_TRUE(Enter(*d, QString::fromLatin1(text)));
        EXPECT_EQ(Writes(), (std::vector<emu::WriteRecord>{{0xB7FE, high}, {0xB7FF, low}}));
        EXPECT_EQ(emulator->Core().Peek(0xB7FF), low);
        EXPECT_EQ(d->Written(), std::optional<uint16_t>(uint16_t(high << 8 | low)));
        EXPECT_TRUE(host->Messages().empty());
    }
}

TEST_F(WriteSerialTest, BadEntriesAreRefusedWithNothingWrittenAndTheDialogStaysOpen) {
    LinkModule();
    auto d = Open<Dlg>(*host, CommPort::Instance());
    for (const char* entry : {"70000", "-5", "abc", "", "12abc"}) {
        SCOPED_TRACE(entry);
        host->ClearRecords();
        EXPECT_FALSE(Enter(*d, QString::fromLatin1(entry)));
        ASSERT_EQ(host->Messages().size(), 1u);
        EXPECT_EQ(host->LastMessage().caption, "Write Serial Number");
        EXPECT_NE(host->LastMessage().text.find("from 0 to 65535"), std::string::npos);
        EXPECT_NE(host->LastMessage().text.find(entry), std::string::npos);
        EXPECT_EQ(QApplication::focusWidget(), d->Control(Dlg::kNewSerialEdit));
    }
    EXPECT_TRUE(Writes().empty());
    EXPECT_FALSE(d->Written());
    EXPECT_TRUE(Enter(*d, QStringLiteral("7")));  // corrected, it goes through
    EXPECT_EQ(Writes(), (std::vector<emu::WriteRecord>{{0xB7FE, 0x00}, {0xB7FF, 0x07}}));
}

TEST_F(WriteSerialTest, ALinkDownWritesNothingAndSaysSo) {
    LinkModule();
    CommPort::Instance().BreakLink();
    host->ClearRecords();
    auto d = Open<Dlg>(*host, CommPort::Instance());
    EXPECT_TRUE(Enter(*d, QStringLiteral("5")));  // valid, but reported as not written
    ASSERT_EQ(host->Messages().size(), 1u);
    EXPECT_NE(host->LastMessage().text.find("not written"), std::string::npos);
    EXPECT_FALSE(d->Written());
    EXPECT_TRUE(Writes().empty());
}

}  // namespace
}  // namespace qx::test
