// Start-up: the main wizard window, then the event loop until the last
// window of the program has closed (the main window may close before the
// About or restore window).  `vantrel FOLDER` (a file manager's "Open
// With") opens the lists at FOLDER.

#include <QApplication>

#include "data/images/vantrel_images.h"
#include "engine/process_limits.h"
#include "ui/Form1/form1.h"
#include "ui/browser/code_page.h"

int main(int argc, char* argv[]) {
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
