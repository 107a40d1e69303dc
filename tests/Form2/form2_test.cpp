// The About window: what it shows of config.cfg, read from the current
// folder at each opening, and the keys that close it; and the pictures it
// and the main window show, which must keep the exact formats that the
// windows were laid out for.

#include "ui/Form2/form2.h"

#include <QImage>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QtTest>

#include "data/images/vantrel_images.h"
#include "tests/Form5/restore_test_support.h"

using restore_test::writeFile;

namespace {

// Read from the bytes rather than by a decoder, which would accept a
// progressive or CMYK JPEG just as well: the JFIF version, density unit
// and densities from the APP0 segment that JFIF puts right after the start
// of image; then the first frame header's marker (0xC0 baseline, 0xC2
// progressive, ...), sample precision, width, height and components.
QList<int> jpegFacts(const QByteArray& b) {
  auto byteAt = [&](qsizetype at) { return int(uchar(b.at(at))); };
  auto be16 = [&](qsizetype at) { return byteAt(at) << 8 | byteAt(at + 1); };
  if (b.size() < 20 || !b.startsWith("\xFF\xD8\xFF\xE0") ||
      b.mid(6, 5) != QByteArray("JFIF\0", 5)) {
    return {};
  }
  QList<int> facts = {be16(11), byteAt(13), be16(14), be16(16)};
  for (qsizetype at = 2; at + 10 <= b.size() && byteAt(at) == 0xFF;
       at += 2 + be16(at + 2)) {
    const int marker = byteAt(at + 1);
    if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 &&
        marker != 0xCC) {
      return facts << marker << byteAt(at + 4) << be16(at + 7) << be16(at + 5)
                   << byteAt(at + 9);
    }
  }
  return {};
}

}  // namespace

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

  // The file in the source tree and the copy compiled into the program:
  // JFIF 1.01 at 300 x 300 dots per inch, baseline, 8 bits, 307 x 87, 3
  // components.
  void bannerIsJfif101Baseline300Dpi_data() {
    QTest::addColumn<QString>("path");
    QTest::newRow("source") << VANTREL_SOURCE_DIR "/data/images/banner.jpg";
    QTest::newRow("resource") << vantrelImagePath("banner.jpg");
  }
  void bannerIsJfif101Baseline300Dpi() {
    QFETCH(QString, path);
    QCOMPARE(jpegFacts(restore_test::readFile(path)),
             (QList<int>{0x0101, 1, 300, 300, 0xC0, 8, 307, 87, 3}));
  }

  // The icon's sizes are drawn separately, so a 16 x 16 request must not
  // get a scaled-down 32 x 32.
  void otherPicturesHaveTheirSizes() {
    QCOMPARE(QImage(vantrelImagePath("picture1.png")).size(), QSize(150, 225));
    QCOMPARE(QImage(vantrelImagePath("vantrel-32.png")).size(), QSize(32, 32));
    QCOMPARE(QImage(vantrelImagePath("vantrel-16.png")).size(), QSize(16, 16));
    QCOMPARE(vantrelIcon().availableSizes(),
             (QList<QSize>{QSize(16, 16), QSize(32, 32)}));
  }
};

QTEST_MAIN(Form2Test)
#include "form2_test.moc"
