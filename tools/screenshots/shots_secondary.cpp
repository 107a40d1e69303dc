// Saves the restore window before and after a restore, and the About
// window, as <folder>/form5-before.png, form5-after.png and form2.png.  The
// restore works on a throw-away folder of sample documents that a real
// update has backed up.

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>

#include "data/images/vantrel_images.h"
#include "engine/process_limits.h"
#include "engine/update_run.h"
#include "ui/Form2/form2.h"
#include "ui/Form5/form5.h"
#include "ui/browser/file_list.h"
#include "ui/widgets/run_worker.h"

namespace {

// Lets the window system draw what was asked of it.
void settle() {
  QEventLoop loop;
  QTimer::singleShot(300, &loop, &QEventLoop::quit);
  loop.exec();
}

bool writeFile(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

class QuietReporter : public RunWindow {
 public:
  void showWorkingOn(const std::string&) override {}
  void showOperation(const std::string&) override {}
  void setProgressRange(int, int) override {}
  void setProgressValue(int) override {}
  void showMessage(const std::string&, const std::string&) override {}
  void disableUpdate() override {}
  void refreshList() override {}
};

// A small web site whose pages an update has just changed, so that its
// folder holds the documents and their backups.
bool makeSampleSite(const QString& folder) {
  const char* pages[] = {"about.htm", "contact.htm",  "index.htm",
                         "news.asp",  "products.htm", "search.cfm"};
  engine::Selection entries;
  for (const char* page : pages) {
    if (!writeFile(folder + '/' + page, "<p>Call us at 555-0100.</p>\r\n")) {
      return false;
    }
    entries.push_back({page, true});
  }
  QuietReporter reporter;
  return UpdateInWindow(QFile::encodeName(folder).toStdString(), entries,
                        "555-0100", "555-0199", reporter) == 6;
}

bool save(QWidget* window, const QDir& out, const char* name) {
  const QString path = out.filePath(QString::fromLatin1(name));
  if (window->grab().save(path)) return true;
  std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
  return false;
}

}  // namespace

int main(int argc, char* argv[]) {
  // As the program does, whose runs these pictures show.
  engine::RaiseOpenFileLimit();
  QApplication app(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
    return 2;
  }
  QApplication::setWindowIcon(vantrelIcon());
  const QDir out(
      QDir::current().absoluteFilePath(QString::fromLocal8Bit(argv[1])));

  // Both windows start from the current folder: the restore window lists
  // its backups and the About window reads its config.cfg.
  // A short name, so that the folder list shows the path uncut.
  QTemporaryDir scratch(QDir::tempPath() + QStringLiteral("/www-XXXXXX"));
  const QString site = scratch.filePath(QStringLiteral("mysite"));
  if (!scratch.isValid() || !QDir().mkdir(site) || !makeSampleSite(site) ||
      !writeFile(site + QStringLiteral("/config.cfg"),
                 "Registered to: Northwind Web Studio\r\n"
                 "Licence: one user, one desktop\r\n") ||
      !QDir::setCurrent(site)) {
    std::fprintf(stderr, "cannot set up the sample site\n");
    return 1;
  }

  auto* restore = new Form5;
  restore->move(40, 40);
  restore->show();
  settle();
  auto* files = restore->findChild<FileList*>(QStringLiteral("File1"));
  for (int i = 0; i < files->listCount(); ++i) {
    const QString name = files->list(i);
    files->setSelected(i, name.endsWith(QStringLiteral(".bac")) &&
                              !name.startsWith(QStringLiteral("news")) &&
                              !name.startsWith(QStringLiteral("search")));
  }
  restore->findChild<QComboBox*>(QStringLiteral("Combo1"))->setCurrentIndex(0);
  settle();
  if (!save(restore, out, "form5-before.png")) return 1;

  // The run ends with its message box; close it as a user would.
  QTimer closer;
  QObject::connect(&closer, &QTimer::timeout, [] {
    if (auto* box =
            qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
      box->accept();
  });
  closer.start(200);
  restore->findChild<QPushButton*>(QStringLiteral("Command1"))->click();
  while (RunWorker::anyRunning())
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  closer.stop();
  settle();
  if (!save(restore, out, "form5-after.png")) return 1;

  auto* about = new Form2;
  about->move(480, 40);
  about->show();
  settle();
  if (!save(about, out, "form2.png")) return 1;

  restore->close();
  about->close();
  QDir::setCurrent(out.path());
  return 0;
}
