// File > Print... and File > Export Tune Sheet... in the running program: the
// sheet of the open tune, its paper, a failed export, and a preview that
// repaints after the document has been replaced.
#include <QPageSize>
#include <QPrinter>

#include "../sheet/KnownTune.h"
#include "AppFixture.h"
#include "gui/sheet/SheetCommands.h"

namespace qx::gui::testing {
namespace {

class TuneSheetTest : public AppTest {
  protected:
    SheetCommands* OpenKnownTune() {
        Start();
        const QString tune = dir_.filePath(QStringLiteral("Known Tune.qvx"));
        EXPECT_TRUE(WriteKnownTune(tune.toStdString()));
        EXPECT_TRUE(app_->OpenDocumentFile(tune));
        return app_->Frame()->findChild<SheetCommands*>();
    }
};

TEST_F(TuneSheetTest, ExportWritesTheOpenTuneOnThePaperChosen) {
    SheetCommands* sheet = OpenKnownTune();
    ASSERT_NE(sheet, nullptr);
    const std::pair<QPageSize::PageSizeId, const char*> papers[] = {{QPageSize::A4, "A4"},
                                                                    {QPageSize::Letter, "letter"}};
    for (const auto& [id, paper] : papers) {
        SCOPED_TRACE(paper);
        const QString pdf = dir_.filePath(QStringLiteral("out.pdf"));
        QString suggested;
        sheet->SetChooser([&, id = id](const QString& s) {
            suggested = s;
            return std::optional<SheetCommands::Target>(SheetCommands::Target{pdf, QPageSize(id)});
        });
        Route(cmd::kExportTuneSheet);
        // Beside the tune, named after it.
        EXPECT_EQ(suggested, dir_.filePath(QStringLiteral("Known Tune.pdf")));
        const QString text = PdfText(pdf);
        EXPECT_EQ(MissingValues(text), QStringList());
        EXPECT_TRUE(PdfInfo(pdf, QStringLiteral("Page size")).contains(QLatin1String(paper)));
        EXPECT_LE(PdfInfo(pdf, QStringLiteral("Pages")).toInt(), 2);
    }
}

TEST_F(TuneSheetTest, AFailedExportIsToldAndLeavesNoFile) {
    SheetCommands* sheet = OpenKnownTune();
    ASSERT_NE(sheet, nullptr);
    const QString pdf = dir_.filePath(QStringLiteral("no such folder/out.pdf"));
    sheet->SetChooser([&](const QString&) {
        return std::optional<SheetCommands::Target>(
            SheetCommands::Target{pdf, QPageSize(QPageSize::A4)});
    });
    Route(cmd::kExportTuneSheet);
    bool told = false;
    for (const MessageRecord& m : Messages())
        told = told || m.text.rfind("Unable to export \"" + pdf.toStdString() + "\"", 0) == 0;
    EXPECT_TRUE(told);
    EXPECT_FALSE(QFileInfo::exists(pdf));
    // Cancelling the file dialog writes nothing and says nothing.
    const std::size_t shown = Messages().size();
    sheet->SetChooser([](const QString&) { return std::optional<SheetCommands::Target>(); });
    Route(cmd::kExportTuneSheet);
    EXPECT_EQ(Messages().size(), shown);
}

// The preview asks for its pages again when zoomed or printed; by then a new
// document may have replaced every map of the one it showed.
TEST_F(TuneSheetTest, PrintPreviewPaintsTheSheetTakenWhenAsked) {
    SheetCommands* sheet = OpenKnownTune();
    ASSERT_NE(sheet, nullptr);
    const QString pdf = dir_.filePath(QStringLiteral("printed.pdf"));
    int previews = 0;
    sheet->SetPreviewer([&](QPrinter& printer, const std::function<void(QPrinter*)>& paint) {
        ++previews;
        printer.setOutputFileName(dir_.filePath(QStringLiteral("first look.pdf")));
        paint(&printer);  // the first look
        app_->OnFileNew();
        ASSERT_EQ(app_->Document().GetPathName(), std::string());
        printer.setOutputFileName(pdf);
        paint(&printer);  // printed afterwards
    });
    Route(cmd::kFilePrint);
    EXPECT_EQ(previews, 1);
    const QString text = PdfText(pdf);
    EXPECT_EQ(MissingValues(text), QStringList());
    EXPECT_TRUE(text.contains(QStringLiteral("Known Tune.qvx")));
}

}  // namespace
}  // namespace qx::gui::testing
