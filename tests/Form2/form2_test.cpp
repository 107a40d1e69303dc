// The About window: what it shows of config.cfg, its layout, and the keys
// that close it.  config.cfg is read from the current folder, so every case
// runs in a temporary folder of its own.

#include "ui/Form2/form2.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString kInitialText = QStringLiteral("Lumatek, Inc.");

void writeFile(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  QVERIFY(file.open(QIODevice::WriteOnly));
  QCOMPARE(file.write(bytes), bytes.size());
}

QString label4Text(const Form2& window) {
  auto* label = window.findChild<QLabel*>("Label4");
  return label ? label->text() : QStringLiteral("<no Label4>");
}

// Lets deleteLater() and WA_DeleteOnClose take effect.
void flushDeletes() {
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

}  // namespace

class Form2Test : public QObject {
  Q_OBJECT
 private slots:
  void init() {
    QVERIFY(folder_.isValid());
    oldCwd_ = QDir::currentPath();
    QVERIFY(QDir::setCurrent(folder_.path()));
    QFile::remove("config.cfg");
  }
  void cleanup() { QVERIFY(QDir::setCurrent(oldCwd_)); }

  void showsConfigText_data() {
    QTest::addColumn<bool>("present");
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<QString>("expected");
    QTest::newRow("three lines")
        << true << QByteArray("one\r\ntwo\r\nthree\r\n")
        << "one\r\ntwo\r\nthree\r\n";
    QTest::newRow("last line without an end")
        << true << QByteArray("one\r\ntwo\r\nthree")
        << "one\r\ntwo\r\nthree\r\n";
    QTest::newRow("lone CR ends a line")
        << true << QByteArray("one\rtwo\r") << "one\r\ntwo\r\n";
    QTest::newRow("empty line kept")
        << true << QByteArray("one\r\n\r\ntwo") << "one\r\n\r\ntwo\r\n";
    QTest::newRow("only a line end") << true << QByteArray("\r\n") << "\r\n";
    QTest::newRow("empty file") << true << QByteArray() << "";
    QTest::newRow("LF-only file is one line")
        << true << QByteArray("one\ntwo\n") << "one\ntwo\n\r\n";
    QTest::newRow("LF CR is a line end after the LF")
        << true << QByteArray("one\n\rtwo") << "one\n\r\ntwo\r\n";
    QTest::newRow("missing file keeps the initial text")
        << false << QByteArray() << kInitialText;
  }
  void showsConfigText() {
    QFETCH(bool, present);
    QFETCH(QByteArray, contents);
    QFETCH(QString, expected);
    if (present) writeFile("config.cfg", contents);
    Form2 window;
    QCOMPARE(label4Text(window), expected);
  }

  void unreadableConfigKeepsInitialText() {
    // A folder of that name cannot be read as a file, even by root.
    QVERIFY(QDir().mkdir("config.cfg"));
    Form2 window;
    QCOMPARE(label4Text(window), kInitialText);
    QVERIFY(QDir().rmdir("config.cfg"));
  }

  void keepsTextUntilOpenedAgain() {
    writeFile("config.cfg", "first\r\n");
    QPointer<Form2> window = new Form2;
    window->show();
    writeFile("config.cfg", "second\r\n");
    QCOMPARE(label4Text(*window), QStringLiteral("first\r\n"));
    window->close();
    flushDeletes();
    QVERIFY(window.isNull());

    Form2 reopened;
    QCOMPARE(label4Text(reopened), QStringLiteral("second\r\n"));
  }

  void layoutAndFrame_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("geometry");
    QTest::newRow("Command1") << "Command1" << QRect(8, 224, 97, 25);
    QTest::newRow("Picture1") << "Picture1" << QRect(0, 0, 313, 89);
    QTest::newRow("Label5") << "Label5" << QRect(112, 232, 193, 17);
    QTest::newRow("Label1") << "Label1" << QRect(8, 96, 289, 17);
    QTest::newRow("Label2") << "Label2" << QRect(8, 112, 185, 17);
    QTest::newRow("Label4") << "Label4" << QRect(8, 136, 297, 81);
  }
  void layoutAndFrame() {
    QFETCH(QString, name);
    QFETCH(QRect, geometry);
    Form2 window;
    window.show();
    QVERIFY(window.windowFlags() & Qt::FramelessWindowHint);
    QCOMPARE(window.size(), QSize(312, 255));
    auto* control = window.findChild<QWidget*>(name);
    QVERIFY(control);
    QCOMPARE(control->geometry(), geometry);
    window.resize(200, 150);
    QCOMPARE(control->geometry(), geometry);
    window.resize(600, 500);
    QCOMPARE(control->geometry(), geometry);
  }

  // Without a title bar the edges are the only way to resize the window,
  // so the pointer must say where they are, over the controls too.
  void edgesShowResizeCursor_data() {
    QTest::addColumn<QPoint>("at");
    QTest::addColumn<int>("cursor");
    QTest::newRow("right edge") << QPoint(311, 150) << int(Qt::SizeHorCursor);
    QTest::newRow("bottom edge") << QPoint(150, 254) << int(Qt::SizeVerCursor);
    QTest::newRow("top edge, over the banner")
        << QPoint(150, 1) << int(Qt::SizeVerCursor);
    QTest::newRow("left edge, over the banner")
        << QPoint(0, 40) << int(Qt::SizeHorCursor);
    QTest::newRow("bottom right corner")
        << QPoint(311, 254) << int(Qt::SizeFDiagCursor);
    QTest::newRow("inside") << QPoint(150, 150) << int(Qt::ArrowCursor);
  }
  void edgesShowResizeCursor() {
    QFETCH(QPoint, at);
    QFETCH(int, cursor);
    Form2 window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTest::mouseMove(&window, QPoint(150, 150));
    QTest::mouseMove(&window, at);
    QWidget* under = window.childAt(at);
    if (!under) under = &window;
    QCOMPARE(int(under->cursor().shape()), cursor);
  }

  void showsFixedTexts() {
    Form2 window;
    QCOMPARE(window.findChild<QPushButton*>("Command1")->text(),
             QStringLiteral("&OK"));
    auto* label1 = window.findChild<QLabel*>("Label1");
    QCOMPARE(label1->text(), QStringLiteral("Orvella for Windows "));
    QVERIFY(label1->font().bold());
    QCOMPARE(label1->font().pointSizeF(), 9.75);
    QCOMPARE(window.findChild<QLabel*>("Label2")->text(),
             QStringLiteral("Version 1.5a"));
    QVERIFY(!window.findChild<QLabel*>("Label5")->text().isEmpty());
  }

  void bannerDrawnUnscaled() {
    Form2 window;
    auto* picture = window.findChild<QLabel*>("Picture1");
    QVERIFY(!picture->hasScaledContents());
    QCOMPARE(picture->pixmap().size(), QSize(307, 87));
    QCOMPARE(picture->alignment(), Qt::AlignLeft | Qt::AlignTop);
  }

  void keysClose_data() {
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::newRow("Enter") << int(Qt::Key_Return) << int(Qt::NoModifier);
    QTest::newRow("keypad Enter")
        << int(Qt::Key_Enter) << int(Qt::KeypadModifier);
    QTest::newRow("Space") << int(Qt::Key_Space) << int(Qt::NoModifier);
    QTest::newRow("Alt+O") << int(Qt::Key_O) << int(Qt::AltModifier);
    QTest::newRow("click OK") << 0 << 0;
  }
  void keysClose() {
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QPointer<Form2> window = new Form2;
    window->show();
    QVERIFY(QTest::qWaitForWindowActive(window));
    auto* ok = window->findChild<QPushButton*>("Command1");
    QCOMPARE(QApplication::focusWidget(), ok);
    if (key == 0) {
      QTest::mouseClick(ok, Qt::LeftButton);
    } else {
      QTest::keyClick(QApplication::focusWidget(), Qt::Key(key),
                      Qt::KeyboardModifiers(modifiers));
    }
    // A mnemonic presses its button visibly, so the click comes a moment
    // later from the event loop.
    QTRY_VERIFY(window.isNull());
  }

 private:
  QTemporaryDir folder_;
  QString oldCwd_;
};

QTEST_MAIN(Form2Test)
#include "form2_test.moc"
