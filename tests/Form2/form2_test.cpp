// The About window: what it shows of config.cfg, read from the current
// folder at each opening, and the keys that close it.

#include "ui/Form2/form2.h"

#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QtTest>

#include "data/images/vantrel_images.h"
#include "tests/Form5/restore_test_support.h"

using restore_test::writeFile;

class Form2Test : public QObject {
  Q_OBJECT
 private slots:
  void initTestCase() { initVantrelImages(); }

  // Each line is shown with CR LF after it; only CR, with or without LF
  // after it, ends a line.
  void showsConfigText_data() {
    QTest::addColumn<QByteArray>("contents");  // null: no config.cfg
    QTest::addColumn<QString>("expected");
    QTest::newRow("three lines")
        << QByteArray("one\r\ntwo\r\nthree\r\n") << "one\r\ntwo\r\nthree\r\n";
    QTest::newRow("lone CR, last line without an end")
        << QByteArray("one\rtwo\r\nthree") << "one\r\ntwo\r\nthree\r\n";
    QTest::newRow("empty file") << QByteArray("") << "";
    QTest::newRow("LF-only file is one line")
        << QByteArray("one\ntwo\n") << "one\ntwo\n\r\n";
    QTest::newRow("missing file keeps the initial text")
        << QByteArray() << "Lumatek, Inc.";
  }
  void showsConfigText() {
    QFETCH(QByteArray, contents);
    QFETCH(QString, expected);
    restore_test::CurrentFolder here;
    QVERIFY(here.ok());
    if (!contents.isNull()) QVERIFY(writeFile("config.cfg", contents));
    Form2 window;
    QCOMPARE(window.findChild<QLabel*>("Label4")->text(), expected);
  }

  // OK and Enter close the window, which keeps what it read until then;
  // the next opening reads the file again.
  void closesOnOkOrEnter() {
    restore_test::CurrentFolder here;
    QVERIFY(here.ok() && writeFile("config.cfg", "first\r\n"));
    QPointer<Form2> window = new Form2;
    window->show();
    QVERIFY(QTest::qWaitForWindowActive(window));
    QVERIFY(writeFile("config.cfg", "second\r\n"));
    QCOMPARE(window->findChild<QLabel*>("Label4")->text(), "first\r\n");
    QTest::mouseClick(window->findChild<QPushButton*>("Command1"),
                      Qt::LeftButton);
    QTRY_VERIFY(window.isNull());

    window = new Form2;
    window->show();
    QVERIFY(QTest::qWaitForWindowActive(window));
    QCOMPARE(window->findChild<QLabel*>("Label4")->text(), "second\r\n");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QTRY_VERIFY(window.isNull());
  }
};

QTEST_MAIN(Form2Test)
#include "form2_test.moc"
