#include "gui/app/HelpWindow.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

// Resources of a static library are registered by hand, outside any namespace.
static void RegisterGuideResource() {
    Q_INIT_RESOURCE(guide);
}

namespace qx::gui {

HelpWindow::HelpWindow(QWidget* parent, const QString& path)
    : QWidget(parent, Qt::Window),
      path_(path),
      browser_(new QTextBrowser(this)),
      external_(new QPushButton(QStringLiteral("Open in &Browser"), this)) {
    RegisterGuideResource();
    setObjectName(QStringLiteral("HelpWindow"));
    setWindowTitle(QStringLiteral("Quorvex I Help"));
    browser_->setObjectName(QStringLiteral("HelpBrowser"));
    // Links out of the guide go to the desktop; links inside it stay here.
    browser_->setOpenExternalLinks(true);
    auto* back = new QPushButton(QStringLiteral("< &Back"), this);
    auto* forward = new QPushButton(QStringLiteral("&Forward >"), this);
    auto* contents = new QPushButton(QStringLiteral("&Contents"), this);
    auto* close = new QPushButton(QStringLiteral("Close"), this);
    back->setEnabled(false);
    forward->setEnabled(false);
    external_->setToolTip(QStringLiteral("Show the guide in the desktop's web browser"));
    for (QPushButton* b : {back, forward, contents, external_, close}) b->setAutoDefault(false);
    auto* row = new QHBoxLayout;
    row->addWidget(back);
    row->addWidget(forward);
    row->addWidget(contents);
    row->addStretch();
    row->addWidget(external_);
    row->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addWidget(browser_);
    connect(back, &QPushButton::clicked, browser_, &QTextBrowser::backward);
    connect(forward, &QPushButton::clicked, browser_, &QTextBrowser::forward);
    connect(contents, &QPushButton::clicked, browser_, &QTextBrowser::home);
    connect(browser_, &QTextBrowser::backwardAvailable, back, &QWidget::setEnabled);
    connect(browser_, &QTextBrowser::forwardAvailable, forward, &QWidget::setEnabled);
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    connect(external_, &QPushButton::clicked, this, [this] { Q_EMIT openInBrowser(path_); });
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &QWidget::close);
    external_->setEnabled(QFileInfo::exists(path_));
    browser_->setSource(Home());

    // Beside a main window of 800 pixels on the smallest screen, larger on a large one.
    QSize size(720, 640);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        size = size.boundedTo(screen->availableGeometry().size() * 9 / 10);
    resize(size);
}

QUrl HelpWindow::Home() const {
    if (QFileInfo::exists(path_)) return QUrl::fromLocalFile(QFileInfo(path_).absoluteFilePath());
    return QUrl(QStringLiteral("qrc:/guide/quorvexi-guide.html"));
}

}  // namespace qx::gui
