// Saves the main window on each of its four pages as
// <folder>/form1-page0.png .. form1-page3.png, as a user preparing the
// typical update would see it: a folder "web" of a few documents, two of
// them selected, and the two texts typed.

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QPlainTextEdit>
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
  if (!base.mkpath(QStringLiteral("web/images"))) return false;
  for (const char* name :
       {"about.htm", "contact.htm", "index.htm", "news.asp", "products.cfm"}) {
    QFile file(base.filePath(QStringLiteral("web/") + QLatin1String(name)));
    if (!file.open(QIODevice::WriteOnly)) return false;
    file.write("<html><body>The cat sat on the mat.</body></html>\r\n");
  }
  return QDir::setCurrent(base.filePath(QStringLiteral("web")));
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
    settle();
    const QPixmap shot = form.grab();
    const QString name =
        out.filePath(QStringLiteral("form1-page%1.png").arg(page));
    if (!shot.save(name)) {
      std::fprintf(stderr, "cannot write %s\n", qPrintable(name));
      return 1;
    }
  }
  return 0;
}
