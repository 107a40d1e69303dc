// Saves the main window on each of its four pages as
// <folder>/form1-page0.png .. form1-page3.png, as a user preparing the
// typical update would see it: a folder "web" of a few documents, two of
// them selected, and the two texts typed.  Then the file list with its
// subfolders included, as form1-subfolders.png, and the last page once more
// in a dark theme, as form1-dark.png.

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QPalette>
#include <QPlainTextEdit>
#include <QStyleFactory>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>

#include "data/images/vantrel_images.h"
#include "ui/Form1/form1.h"
#include "ui/browser/file_list.h"

namespace {

// Lets the window system draw what was asked of it.
void settle() {
  QEventLoop loop;
  QTimer::singleShot(300, &loop, &QEventLoop::quit);
  loop.exec();
}

bool makeSampleSite(const QDir& base) {
  if (!base.mkpath(QStringLiteral("web/images")) ||
      !base.mkpath(QStringLiteral("web/news/2019")) ||
      !base.mkpath(QStringLiteral("web/products"))) {
    return false;
  }
  for (const char* name :
       {"about.htm", "contact.htm", "index.htm", "news.asp", "products.cfm",
        "news/2019/launch.htm", "news/2019/prices.asp", "news/index.htm",
        "products/gadget.htm", "products/widget.htm"}) {
    QFile file(base.filePath(QStringLiteral("web/") + QLatin1String(name)));
    if (!file.open(QIODevice::WriteOnly)) return false;
    file.write("<html><body>The cat sat on the mat.</body></html>\r\n");
  }
  return QDir::setCurrent(base.filePath(QStringLiteral("web")));
}

// A dark theme as a user might set one: light text on dark grey, with the
// link colour left at the light theme's blue, which the window must still
// make readable.
QPalette darkPalette() {
  const QColor window(45, 45, 48), base(30, 30, 32), text(232, 232, 232),
      faint(128, 128, 128);
  QPalette palette = QApplication::palette();
  palette.setColor(QPalette::Window, window);
  palette.setColor(QPalette::WindowText, text);
  palette.setColor(QPalette::Base, base);
  palette.setColor(QPalette::AlternateBase, window);
  palette.setColor(QPalette::Text, text);
  palette.setColor(QPalette::Button, window);
  palette.setColor(QPalette::ButtonText, text);
  palette.setColor(QPalette::ToolTipBase, window);
  palette.setColor(QPalette::ToolTipText, text);
  palette.setColor(QPalette::Highlight, QColor(42, 130, 218));
  palette.setColor(QPalette::HighlightedText, Qt::white);
  for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
    palette.setColor(QPalette::Disabled, role, faint);
  return palette;
}

bool save(QWidget* window, const QDir& out, const QString& name) {
  settle();
  if (window->grab().save(out.filePath(name))) return true;
  std::fprintf(stderr, "cannot write %s\n", qPrintable(out.filePath(name)));
  return false;
}

}  // namespace

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
    return 2;
  }
  const QDir out(
      QDir::current().absoluteFilePath(QString::fromLocal8Bit(argv[1])));
  QTemporaryDir temp;
  if (!temp.isValid() || !makeSampleSite(QDir(temp.path()))) {
    std::fprintf(stderr, "cannot make the sample site\n");
    return 1;
  }
  QApplication::setWindowIcon(vantrelIcon());
  Form1 form;
  auto* files = form.findChild<FileList*>(QStringLiteral("File1"));
  files->setSelected(0, true);
  files->setSelected(3, true);
  form.findChild<QPlainTextEdit*>(QStringLiteral("Text1"))->setPlainText("cat");
  form.findChild<QPlainTextEdit*>(QStringLiteral("Text2"))->setPlainText("dog");
  form.move(40, 40);
  form.show();
  settle();
  auto* tabs = form.findChild<QTabWidget*>(QStringLiteral("SSIndexTab1"));
  for (int page = 0; page < tabs->count(); ++page) {
    tabs->setCurrentIndex(page);
    if (!save(&form, out, QStringLiteral("form1-page%1.png").arg(page)))
      return 1;
  }
  tabs->setCurrentIndex(1);
  form.findChild<QCheckBox*>(QStringLiteral("CheckSubfolders"))
      ->setChecked(true);
  for (int row = 0; row < files->listCount(); ++row)
    files->setSelected(row, true);
  if (!save(&form, out, QStringLiteral("form1-subfolders.png"))) return 1;
  tabs->setCurrentIndex(3);
  QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
  QApplication::setPalette(darkPalette());
  if (!save(&form, out, QStringLiteral("form1-dark.png"))) return 1;
  return 0;
}
