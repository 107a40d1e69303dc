#include "ui/help/help_window.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QScrollBar>
#include <QShortcut>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

namespace {

// The anchor of the contents topic in the help file.
constexpr char kContentsTopic[] = "contents";

QString missingText(const QStringList& folders) {
  QString places;
  for (const QString& folder : folders)
    places += QStringLiteral("<li>%1</li>").arg(folder.toHtmlEscaped());
  return HelpWindow::tr(
             "<h2>No help available</h2>"
             "<p>The help file %1 could not be found. "
             "Vantrel looked for it in these folders:</p><ul>%2"
             "</ul>")
      .arg(QLatin1String(HelpWindow::kFileName), places);
}

}  // namespace

HelpWindow::HelpWindow(const QStringList& folders, QWidget* parent)
    : QWidget(parent, Qt::Window),
      browser_(new QTextBrowser(this)),
      file_(find(folders)) {
  setObjectName(QStringLiteral("HelpWindow"));
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle(tr("Vantrel Help"));
  browser_->setObjectName(QStringLiteral("HelpText"));
  browser_->setOpenExternalLinks(true);
  browser_->document()->setDocumentMargin(8);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(browser_);
  resize(560, 480);
  connect(new QShortcut(QKeySequence::Cancel, this), &QShortcut::activated,
          this, &QWidget::close);
  if (file_.isEmpty()) {
    browser_->setHtml(missingText(folders));
    return;
  }
  goToContents();
}

HelpWindow* HelpWindow::showContents() {
  static QPointer<HelpWindow> shown;
  if (!shown) {
    shown = new HelpWindow;
  } else {
    shown->goToContents();
  }
  shown->show();
  shown->raise();
  shown->activateWindow();
  return shown;
}

void HelpWindow::goToContents() {
  if (file_.isEmpty()) {
    browser_->verticalScrollBar()->setValue(0);
    return;
  }
  QUrl url = QUrl::fromLocalFile(file_);
  url.setFragment(QLatin1String(kContentsTopic));
  // The extension is not one QTextBrowser knows for HTML.
  browser_->setSource(url, QTextDocument::HtmlResource);
}

QStringList HelpWindow::defaultFolders() {
  // The last one finds an installed copy that was moved to another prefix.
  const QString beside = QCoreApplication::applicationDirPath();
  return {QDir::currentPath(), beside, QStringLiteral(VANTREL_HELP_DIR),
          QDir::cleanPath(beside + QStringLiteral("/../share/vantrel"))};
}

QString HelpWindow::find(const QStringList& folders) {
  for (const QString& folder : folders) {
    const QFileInfo candidate{QDir(folder), QLatin1String(kFileName)};
    if (candidate.isFile() && candidate.isReadable())
      return candidate.absoluteFilePath();
  }
  return {};
}
