// Start-up: the main wizard window, then the event loop until the last
// window of the program has closed (the main window may close before the
// About or restore window).

#include <QApplication>

#include "data/images/vantrel_images.h"
#include "ui/Form1/form1.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("vantrel"));
  QApplication::setWindowIcon(vantrelIcon());
  Form1 form;
  form.show();
  return app.exec();
}
