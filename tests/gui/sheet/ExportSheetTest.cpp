// The real program: `quorvexi --export-sheet FILE.qvx OUT.pdf` on a file of
// hand-chosen values, read back with pdftotext and pdfinfo.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <fstream>

#include "../GuiTestSupport.h"
#include "KnownTune.h"
#include "SheetTestSupport.h"
#include "support/ChildProcess.h"
#include "support/FileBytes.h"

namespace qx::gui::testing {
namespace {

// No display: the program must not need one.
QProcessEnvironment Environment(const QString& locale, const QString& profile) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    env.insert(QStringLiteral("LC_ALL"), locale);
    env.insert(QStringLiteral("LANG"), locale);
    env.insert(QStringLiteral("QUORVEXI_PROFILE"), profile);
    return env;
}

class ExportSheetTest : public ::testing::Test {
  protected:
    void SetUp() override {
        qx::test::TestApp();
        ASSERT_TRUE(dir_.isValid());
        program_ = QString::fromStdString(qx::test::ProgramPath("gui/quorvexi"));
        ASSERT_FALSE(program_.isEmpty()) << "quorvexi not found; set QX_BUILD_DIR";
        tune_ = dir_.filePath(QStringLiteral("Known Tune.qvx"));
        ASSERT_TRUE(WriteKnownTune(tune_.toStdString()));
    }
    ProgramRun Export(const QStringList& args, const QString& locale = QStringLiteral("C.UTF-8")) {
        return RunProgram(program_, QStringList{QStringLiteral("--export-sheet")} + args,
                          Environment(locale, dir_.filePath(QStringLiteral("profile.ini"))));
    }
    // Files in the folder besides the tune and the profile.
    QStringList Others() const {
        QStringList names = QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden);
        names.removeAll(QStringLiteral("Known Tune.qvx"));
        names.removeAll(QStringLiteral("profile.ini"));
        return names;
    }

    QTemporaryDir dir_;
    QString program_;
    QString tune_;
};

TEST_F(ExportSheetTest, EveryValueAppearsAsTheProgramShowsItOnTwoPages) {
    struct Case {
        const char* name;
        const char* pageSize;  // asked for; null: the locale's
        const char* locale;
        const char* paper;  // as pdfinfo names it
    };
    const Case cases[] = {
        // A decimal-comma locale: the sheet still writes decimal points.
        {"A4 from a German locale", nullptr, "de_DE.UTF-8", "A4"},
        {"Letter from a US locale", nullptr, "en_US.UTF-8", "letter"},
        {"A4 asked for", "a4", "en_US.UTF-8", "A4"},
        {"Letter asked for", "letter", "C.UTF-8", "letter"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString pdf = dir_.filePath(QStringLiteral("sheet.pdf"));
        QFile::remove(pdf);
        QStringList args{tune_, pdf};
        if (c.pageSize != nullptr) args << QStringLiteral("--page-size") << c.pageSize;
        const ProgramRun run = Export(args, QLatin1String(c.locale));
        ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
        const QString text = PdfText(pdf);
        const QStringList missing = MissingValues(text);
        EXPECT_TRUE(missing.isEmpty())
            << missing.join(QLatin1Char('\n')).toStdString() << "\n--- text:\n"
            << text.toStdString();
        EXPECT_TRUE(text.contains(QStringLiteral("Known Tune.qvx")));
        // Read from a file: the module is not known.
        EXPECT_TRUE(text.contains(QStringLiteral("serial No.: not known")));
        const int pages = PdfInfo(pdf, QStringLiteral("Pages")).toInt();
        EXPECT_GE(pages, 1);
        EXPECT_LE(pages, 2);
        EXPECT_TRUE(PdfInfo(pdf, QStringLiteral("Page size")).contains(QLatin1String(c.paper)))
            << PdfInfo(pdf, QStringLiteral("Page size")).toStdString();
        EXPECT_EQ(Others(), QStringList{QStringLiteral("sheet.pdf")});  // no temporary left
    }
}

TEST_F(ExportSheetTest, AFailureExitsOneWithOneLineAndLeavesNoFile) {
    const QString garbage = dir_.filePath(QStringLiteral("garbage.qvx"));
    std::ofstream(garbage.toStdString()) << "not a settings file";
    struct Case {
        const char* name;
        QString input;
        QString output;
    };
    const Case cases[] = {
        {"missing input", dir_.filePath(QStringLiteral("absent.qvx")),
         dir_.filePath(QStringLiteral("out.pdf"))},
        {"not a settings file", garbage, dir_.filePath(QStringLiteral("out.pdf"))},
        {"output in a folder that does not exist", tune_,
         dir_.filePath(QStringLiteral("no such folder/out.pdf"))},
        {"output is a folder", tune_, dir_.path()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ProgramRun run = Export({c.input, c.output});
        EXPECT_EQ(run.exitCode, 1);
        const QString err = run.err.trimmed();
        EXPECT_FALSE(err.isEmpty());
        EXPECT_FALSE(err.contains(QLatin1Char('\n'))) << err.toStdString();
        EXPECT_FALSE(QFileInfo(c.output).isFile());
        QStringList others = Others();
        others.removeAll(QStringLiteral("garbage.qvx"));
        EXPECT_TRUE(others.isEmpty()) << others.join(QLatin1Char(' ')).toStdString();
    }
}

TEST_F(ExportSheetTest, AFailedExportKeepsTheEarlierFile) {
    const QString pdf = dir_.filePath(QStringLiteral("kept.pdf"));
    std::ofstream(pdf.toStdString()) << "earlier";
    EXPECT_EQ(Export({dir_.filePath(QStringLiteral("absent.qvx")), pdf}).exitCode, 1);
    EXPECT_EQ(qx::test::ReadFileText(pdf.toStdString()), "earlier");
}

TEST_F(ExportSheetTest, AWrongCommandLineExitsTwo) {
    for (const QStringList& args :
         {QStringList{tune_}, QStringList{tune_, dir_.filePath(QStringLiteral("a.pdf")),
                                          QStringLiteral("--page-size"), QStringLiteral("a3")}}) {
        SCOPED_TRACE(args.join(QLatin1Char(' ')).toStdString());
        EXPECT_EQ(Export(args).exitCode, 2);
        EXPECT_FALSE(QFileInfo::exists(dir_.filePath(QStringLiteral("a.pdf"))));
    }
}

}  // namespace
}  // namespace qx::gui::testing
