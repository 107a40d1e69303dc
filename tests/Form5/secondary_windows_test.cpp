// The restore and About windows beside the main window: one of each at a
// time, brought to the front when asked for again, fresh after closing,
// and independent of the main window's closing.

#include <QComboBox>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

#include "tests/Form5/restore_test_support.h"
#include "ui/Form1/form1.h"

using restore_test::CurrentFolder;
using restore_test::MessageLog;

namespace {

// Our windows that are open now, by objectName.
QList<QWidget*> openWindows(const QString& name) {
  QList<QWidget*> found;
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (widget->objectName() == name && widget->isVisible()) found << widget;
  }
  return found;
}

void press(QWidget* window, const char* button) {
  auto* found = window->findChild<QPushButton*>(button);
  QVERIFY2(found, button);
  found->click();
}

void flushDeletes() {
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

}  // namespace

class SecondaryWindowsTest : public QObject {
  Q_OBJECT
 private slots:
  void cleanup() {
    for (QWidget* widget : QApplication::topLevelWidgets()) widget->close();
    flushDeletes();
  }

  void oneOfEachKind_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("window");
    QTest::newRow("Undo Last Update") << "Command6"
                                      << "Form5";
    QTest::newRow("About") << "Command2"
                           << "Form2";
  }
  void oneOfEachKind() {
    QFETCH(QString, button);
    QFETCH(QString, window);
    Form1 main;
    main.show();
    QVERIFY(QTest::qWaitForWindowActive(&main));

    press(&main, qPrintable(button));
    QCOMPARE(openWindows(window).size(), 1);
    QPointer<QWidget> first = openWindows(window).first();
    QVERIFY(QTest::qWaitForWindowActive(first));
    // Not modal: the main window still takes the focus and its input.
    QVERIFY(!QApplication::activeModalWidget());
    main.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&main));

    press(&main, qPrintable(button));
    QCOMPARE(openWindows(window).size(), 1);
    QCOMPARE(openWindows(window).first(), first.data());
    QVERIFY(QTest::qWaitForWindowActive(first));

    first->close();
    flushDeletes();
    QVERIFY(first.isNull());
    press(&main, qPrintable(button));
    QCOMPARE(openWindows(window).size(), 1);
  }

  void restoreWindowStartsAfreshEachOpening() {
    CurrentFolder here;
    QVERIFY(here.ok());
    Form1 main;
    main.show();
    press(&main, "Command6");
    QWidget* restore = openWindows("Form5").first();
    auto* type = restore->findChild<QComboBox*>("Combo1");
    type->setCurrentIndex(2);
    restore->close();
    flushDeletes();

    press(&main, "Command6");
    type = openWindows("Form5").first()->findChild<QComboBox*>("Combo1");
    QCOMPARE(type->currentText(), QStringLiteral("<Choose>"));
    QCOMPARE(type->count(), 5);
  }

  // Runs the program's event loop, since only a running program can end:
  // it must go on after the main window closes and end with the last one.
  void mainClosedFirst() {
    CurrentFolder here;
    QVERIFY(here.ok());
    auto* main = new Form1;
    main->setAttribute(Qt::WA_DeleteOnClose);
    main->show();
    press(main, "Command6");
    press(main, "Command2");
    QPointer<QWidget> restore = openWindows("Form5").first();
    QPointer<QWidget> about = openWindows("Form2").first();
    QSignalSpy lastClosed(qApp, &QGuiApplication::lastWindowClosed);
    int endsAfterMain = -1, endsAfterAbout = -1, messagesAfterMain = -1;
    bool bothOpenAfterMain = false;

    QTimer::singleShot(0, this, [&] {
      press(main, "Command1");
      flushDeletes();
      endsAfterMain = lastClosed.count();
      bothOpenAfterMain =
          restore && restore->isVisible() && about && about->isVisible();
      // The restore window still works on its own.
      MessageLog log;
      press(restore, "Command1");
      messagesAfterMain = log.messages.size();
      press(about, "Command1");
      flushDeletes();
      endsAfterAbout = lastClosed.count();
      press(restore, "Command2");
    });
    // Only a safety net, should the program never end.
    QTimer safety;
    safety.setSingleShot(true);
    connect(&safety, &QTimer::timeout, [] { QCoreApplication::exit(2); });
    safety.start(20000);
    const int exitCode = QApplication::exec();

    QCOMPARE(exitCode, 0);
    QVERIFY(bothOpenAfterMain);
    QCOMPARE(endsAfterMain, 0);
    QCOMPARE(messagesAfterMain, 1);
    QCOMPARE(endsAfterAbout, 0);
    QCOMPARE(lastClosed.count(), 1);
  }
};

QTEST_MAIN(SecondaryWindowsTest)
#include "secondary_windows_test.moc"
