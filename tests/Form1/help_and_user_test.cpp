#include <pwd.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <cstring>

#include "Form1/form1_test_support.h"
#include "ui/Form1/login_name.h"
#include "ui/help/help_window.h"

using testing_support::closeOtherWindows;
using testing_support::MainWindow;
using testing_support::makeFile;
using testing_support::openWindows;

namespace {

// A stand-in for the account database that knows one name.
account::UserNameSource supplying(const QByteArray& name) {
  return [name](char* buffer, unsigned long* size) {
    if (static_cast<unsigned long>(name.size()) + 1 > *size) {
      *size = name.size() + 1;
      return false;
    }
    std::memcpy(buffer, name.constData(), name.size() + 1);
    *size = name.size() + 1;
    return true;
  };
}

QString shownText(const HelpWindow& window) {
  return window.findChild<QTextBrowser*>("HelpText")->toPlainText();
}

}  // namespace

class HelpAndUserTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();
  void userLineFollowsTheNameContract_data();
  void userLineFollowsTheNameContract();
  void loginNameComesFromTheAccountDatabase();
  void tooSmallBufferIsRefusedWithTheSizeNeeded();
  void helpOpensOnTheFileInTheCurrentFolder();
  void helpLooksInTheFoldersInOrder();
  void missingHelpSaysWhereItLooked();

 private:
  std::unique_ptr<QTemporaryDir> temp_;
  QString savedCurrent_;
};

void HelpAndUserTest::init() {
  temp_ = std::make_unique<QTemporaryDir>();
  QVERIFY(temp_->isValid());
  savedCurrent_ = QDir::currentPath();
}

void HelpAndUserTest::cleanup() {
  closeOtherWindows();
  QDir::setCurrent(savedCurrent_);
}

void HelpAndUserTest::userLineFollowsTheNameContract_data() {
  QTest::addColumn<QByteArray>("name");
  QTest::addColumn<QString>("line");
  QTest::newRow("ann") << QByteArray("ann") << "User: ann";
  QTest::newRow("no name") << QByteArray() << "User: ";
  QTest::newRow("longest that fits")
      << QByteArray(198, 'x') << "User: " + QString(198, u'x');
  QTest::newRow("one too long") << QByteArray(199, 'x') << "User: ";
}

void HelpAndUserTest::userLineFollowsTheNameContract() {
  QFETCH(QByteArray, name);
  QFETCH(QString, line);
  QCOMPARE(account::userLine(supplying(name)), line);
  QCOMPARE(account::userLine([](char*, unsigned long*) { return false; }),
           QStringLiteral("User: "));
}

void HelpAndUserTest::loginNameComesFromTheAccountDatabase() {
  const passwd* entry = getpwuid(getuid());
  if (!entry) QSKIP("this user has no account entry");
  QCOMPARE(account::userLine(),
           QStringLiteral("User: ") + QString::fromLocal8Bit(entry->pw_name));
  MainWindow window;
  QCOMPARE(window.label("Label19")->text(), account::userLine());
}

void HelpAndUserTest::tooSmallBufferIsRefusedWithTheSizeNeeded() {
  const passwd* entry = getpwuid(getuid());
  if (!entry) QSKIP("this user has no account entry");
  const unsigned long needed = std::strlen(entry->pw_name) + 1;
  char buffer[8] = {};
  unsigned long size = needed - 1;
  QVERIFY(!account::GetUserNameA(buffer, &size));
  QCOMPARE(size, needed);
  QCOMPARE(buffer[0], '\0');
}

void HelpAndUserTest::helpOpensOnTheFileInTheCurrentFolder() {
  const QString file = QDir(temp_->path()).filePath("VANTREL.hlp");
  makeFile(file,
           "<html><body><a name=\"contents\"></a><h1>Marker contents</h1>"
           "</body></html>");
  QVERIFY(QDir::setCurrent(temp_->path()));
  MainWindow window;
  window.press("Command4");
  const QList<QWidget*> open = openWindows("HelpWindow");
  QCOMPARE(open.size(), 1);
  auto* help = qobject_cast<HelpWindow*>(open.first());
  QVERIFY(help);
  QCOMPARE(help->file(), file);
  QVERIFY(shownText(*help).contains("Marker contents"));
  QVERIFY(window.form->isEnabled());
  QVERIFY(window.button("Command5")->isEnabled());
}

void HelpAndUserTest::helpLooksInTheFoldersInOrder() {
  QDir base(temp_->path());
  for (const char* name : {"first", "second", "third"})
    QVERIFY(base.mkdir(name));
  makeFile(base.filePath("second/VANTREL.hlp"), "<p>second</p>");
  makeFile(base.filePath("third/VANTREL.hlp"), "<p>third</p>");
  const QStringList folders{base.filePath("first"), base.filePath("second"),
                            base.filePath("third")};
  QCOMPARE(HelpWindow::find(folders), base.filePath("second/VANTREL.hlp"));
  QCOMPARE(HelpWindow::defaultFolders().value(0), QDir::currentPath());
  QCOMPARE(HelpWindow::defaultFolders().value(1),
           QCoreApplication::applicationDirPath());
}

void HelpAndUserTest::missingHelpSaysWhereItLooked() {
  QDir base(temp_->path());
  QVERIFY(base.mkdir("one"));
  QVERIFY(base.mkdir("two"));
  QVERIFY(base.mkdir("one/VANTREL.hlp"));  // a folder is no help file
  HelpWindow help({base.filePath("one"), base.filePath("two")});
  help.show();
  QVERIFY(help.file().isEmpty());
  const QString text = shownText(help);
  QVERIFY2(text.contains("VANTREL.hlp") &&
               text.contains(base.filePath("one")) &&
               text.contains(base.filePath("two")),
           qPrintable(text));
}

QTEST_MAIN(HelpAndUserTest)
#include "help_and_user_test.moc"
