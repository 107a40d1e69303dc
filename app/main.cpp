// Start-up: the main wizard window, then the event loop until the last
// window of the program has closed (the main window may close before the
// About or restore window).  `vantrel FOLDER` (a file manager's "Open
// With") opens the lists at FOLDER; `vantrel --help` and `vantrel --version`
// print and exit, with no display needed.

#include <QApplication>
#include <cstdio>
#include <cstring>

#include "data/images/vantrel_images.h"
#include "engine/process_limits.h"
#include "ui/Form1/form1.h"
#include "ui/browser/code_page.h"

namespace {

constexpr char kUsage[] =
    "Usage: vantrel [FOLDER]\n"
    "Replaces text in many web documents at once, keeping a backup of each.\n"
    "\n"
    "  FOLDER      open the lists at this folder\n"
    "  --help      show this text and exit\n"
    "  --version   show the version and exit\n"
    "\n"
    "Qt's own options (-style, -platform...) are understood too.\n";

// Answers --help and --version; false when argv asks for neither.
bool AnswerQuestion(int argc, char* argv[]) {
  if (argc != 2) return false;
  if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
    std::fputs(kUsage, stdout);
    return true;
  }
  if (std::strcmp(argv[1], "--version") == 0) {
    std::puts("vantrel " VANTREL_VERSION);
    return true;
  }
  return false;
}

}  // namespace

int main(int argc, char* argv[]) {
  if (AnswerQuestion(argc, argv)) return 0;
  // Before anything else: a run over a whole site holds a descriptor for
  // each folder it writes in.
  engine::RaiseOpenFileLimit();
  // Takes Qt's own options (-style, -platform...) out of argv.
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("vantrel"));
  QApplication::setWindowIcon(vantrelIcon());
  Form1 form;
  form.show();
  // After show(), so that a folder that cannot be opened is told over the
  // window rather than before it.
  if (argc > 1) form.openFolder(ui::fromPathBytes(QByteArray(argv[1])));
  return app.exec();
}
