// The serial number dialog: the number shown, the bytes written, and entries
// refused before anything reaches the EEPROM.
#include <QLineEdit>

#include "DialogTestSupport.h"
#include "dialogs/WriteSerialDialog.h"

namespace qx::test {
namespace {

using gui::WriteSerialDialog;
using Dlg = WriteSerialDialog;

class WriteSerialTest : public DialogTest {
  protected:
    std::unique_ptr<Dlg> Open() {
        auto dialog = std::make_unique<Dlg>();
        dialog->show();
        dialog->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(dialog.get()));
        return dialog;
    }
    // Types text, presses OK; true when the dialog closed.
    bool Enter(Dlg& d, const QString& text) {
        TypeInto(d.ControlAs<QLineEdit>(Dlg::kNewSerialEdit), text);
        Click(d.Control(1));
        return !d.isVisible();
    }
    std::vector<emu::WriteRecord> SerialWrites(uint8_t high, uint8_t low) {
        return {{0xB7FE, high}, {0xB7FF, low}};
    }
};

TEST_F(WriteSerialTest, ShowsTheModulesNumberWithFiveDigits) {
    LinkModule();
    emulator->Core().Poke(0xB7FE, 0x00);
    emulator->Core().Poke(0xB7FF, 0x2A);
    auto d = Open();
    EXPECT_EQ(d->windowTitle(), QStringLiteral("Write Serial Number"));
    EXPECT_EQ(d->Text(Dlg::kCurrentSerialText), "00042");
    EXPECT_EQ(d->Text(Dlg::kNewSerialEdit), "");
    EXPECT_TRUE(Writes().empty());
    EXPECT_FALSE(SavePicture(*d, "write-serial-dialog").empty());
}

TEST_F(WriteSerialTest, ShowsHashesWhileUnlinkedAndZerosWhenTheReadFails) {
    {
        auto d = Open();
        EXPECT_EQ(d->Text(Dlg::kCurrentSerialText), "#####");
    }
    LinkModule();
    emulator->Core().Poke(0xB7FF, 0x2A);
    // Every attempt of the read goes unanswered.
    emulator->Core().ArmFault(emu::Fault::Silent, 1000);
    auto d = Open();
    EXPECT_EQ(d->Text(Dlg::kCurrentSerialText), "00000");
    EXPECT_FALSE(host->Messages().empty());  // the read told the user
}

TEST_F(WriteSerialTest, WritesTheNumberHighByteFirst) {
    LinkModule();
    auto d = Open();
    EXPECT_TRUE(Enter(*d, QStringLiteral("12345")));
    EXPECT_EQ(Writes(), SerialWrites(0x30, 0x39));
    EXPECT_EQ(emulator->Core().Peek(0xB7FE), 0x30);
    EXPECT_EQ(emulator->Core().Peek(0xB7FF), 0x39);
    EXPECT_EQ(d->Written(), std::optional<uint16_t>(12345));
    EXPECT_TRUE(host->Messages().empty());
}

TEST_F(WriteSerialTest, ZeroIsWrittenLikeAnyOtherNumber) {
    LinkModule();  // the module holds 42
    auto d = Open();
    EXPECT_TRUE(Enter(*d, QStringLiteral("0")));
    EXPECT_EQ(Writes(), SerialWrites(0x00, 0x00));
    EXPECT_EQ(emulator->Core().Peek(0xB7FF), 0x00);
}

TEST_F(WriteSerialTest, AFractionIsCutAndTheLimitsAreAccepted) {
    LinkModule();
    {
        auto d = Open();
        EXPECT_TRUE(Enter(*d, QStringLiteral("12.9")));
    }
    {
        auto d = Open();
        EXPECT_TRUE(Enter(*d, QStringLiteral(" 65535 ")));
    }
    std::vector<emu::WriteRecord> expected = SerialWrites(0x00, 0x0C);
    for (const emu::WriteRecord& w : SerialWrites(0xFF, 0xFF)) expected.push_back(w);
    EXPECT_EQ(Writes(), expected);
}

TEST_F(WriteSerialTest, BadEntriesAreRefusedWithNothingWrittenAndTheDialogStaysOpen) {
    LinkModule();
    auto d = Open();
    const QStringList bad = {
        QStringLiteral("70000"), QStringLiteral("-5"),    QStringLiteral("abc"),
        QStringLiteral(""),      QStringLiteral("65536"), QStringLiteral("12abc"),
        QStringLiteral("1e9"),   QStringLiteral("-0.5"),  QStringLiteral("nan")};
    for (const QString& entry : bad) {
        host->ClearRecords();
        EXPECT_FALSE(Enter(*d, entry)) << entry.toStdString();
        ASSERT_EQ(host->Messages().size(), 1u) << entry.toStdString();
        const RecordedMessage m = host->LastMessage();
        EXPECT_EQ(m.caption, "Write Serial Number");
        EXPECT_NE(m.text.find("from 0 to 65535"), std::string::npos);
        EXPECT_NE(m.text.find(entry.toStdString()), std::string::npos);
        EXPECT_EQ(QApplication::focusWidget(), d->Control(Dlg::kNewSerialEdit));
    }
    EXPECT_TRUE(Writes().empty());
    EXPECT_FALSE(d->Written());
    // Corrected, it goes through.
    EXPECT_TRUE(Enter(*d, QStringLiteral("7")));
    EXPECT_EQ(Writes(), SerialWrites(0x00, 0x07));
}

TEST_F(WriteSerialTest, CancelWritesNothing) {
    LinkModule();
    auto d = Open();
    TypeInto(d->ControlAs<QLineEdit>(Dlg::kNewSerialEdit), QStringLiteral("100"));
    Click(d->Control(2));
    EXPECT_FALSE(d->isVisible());
    EXPECT_TRUE(Writes().empty());
}

TEST_F(WriteSerialTest, AValidNumberWithTheLinkDownIsReportedNotWritten) {
    auto d = Open();
    EXPECT_TRUE(Enter(*d, QStringLiteral("5")));
    ASSERT_EQ(host->Messages().size(), 1u);
    EXPECT_NE(host->LastMessage().text.find("not written"), std::string::npos);
    EXPECT_FALSE(d->Written());
}

TEST(WriteSerialParse, TheLimitsExponentsAndForeignNumberForms) {
    EXPECT_EQ(Dlg::ParseSerialNumber("65535.0"), std::optional<uint16_t>(65535));
    EXPECT_EQ(Dlg::ParseSerialNumber("1.2e3"), std::optional<uint16_t>(1200));
    EXPECT_EQ(Dlg::ParseSerialNumber("65535.5"), std::nullopt);
    EXPECT_EQ(Dlg::ParseSerialNumber("12,5"), std::nullopt);
    EXPECT_EQ(Dlg::ParseSerialNumber("inf"), std::nullopt);
    EXPECT_EQ(Dlg::ParseSerialNumber(" "), std::nullopt);
}

}  // namespace
}  // namespace qx::test
