#pragma once
// Reading a made PDF back as a person would: its text through pdftotext
// -layout (so table rows stay on one line) and its page count and size through
// pdfinfo, both from poppler-utils.
#include <gtest/gtest.h>

#include <QRegularExpression>
#include <QString>
#include <QStringList>

#include "gui/ProgramRun.h"

namespace qx::gui::testing {

using qx::test::ProgramRun;
using qx::test::RunProgram;

// The text of the PDF, laid out; empty when pdftotext could not read it.
inline QString PdfText(const QString& pdf) {
    const ProgramRun r = RunProgram(QStringLiteral("pdftotext"),
                                    {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
    EXPECT_EQ(r.exitCode, 0) << "pdftotext (poppler-utils) could not read " << pdf.toStdString()
                             << ": " << r.err.toStdString();
    return r.out;
}

// A field of pdfinfo's report ("Pages", "Page size"), or empty.
inline QString PdfInfo(const QString& pdf, const QString& field) {
    const ProgramRun r = RunProgram(QStringLiteral("pdfinfo"), {pdf});
    EXPECT_EQ(r.exitCode, 0) << "pdfinfo (poppler-utils) could not read " << pdf.toStdString();
    const QRegularExpression line(
        QStringLiteral("^") + QRegularExpression::escape(field) + QStringLiteral(":\\s*(.*)$"),
        QRegularExpression::MultilineOption);
    const QRegularExpressionMatch m = line.match(r.out);
    return m.hasMatch() ? m.captured(1).trimmed() : QString();
}

// True when text has a line with the cells in this order, separated by blanks only.
inline bool HasRow(const QString& text, const QStringList& cells) {
    QStringList parts;
    for (const QString& c : cells)
        parts << QRegularExpression::escape(c).replace(QStringLiteral("\\ "),
                                                       QStringLiteral("\\s+"));
    const QRegularExpression row(
        QStringLiteral("(^|\\s)") + parts.join(QStringLiteral("\\s+")) + QStringLiteral("(\\s|$)"),
        QRegularExpression::MultilineOption);
    return row.match(text).hasMatch();
}

}  // namespace qx::gui::testing
