#include <QComboBox>
#include <QLineEdit>
#include <QTest>

#include "Form1/form1_test_support.h"

using namespace testing_support;

namespace {

QString listed(const FileList& list) {
  QStringList names;
  for (int i = 0; i < list.listCount(); ++i) names << list.list(i);
  return names.join(u' ');
}

}  // namespace

class FileTypesTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void choiceFiltersTheListAndIsRemembered();

 private:
  QTemporaryDir config_;
};

void FileTypesTest::initTestCase() {
  // Before any QSettings is made, so that the user's own stay untouched.
  qputenv("XDG_CONFIG_HOME", config_.path().toLocal8Bit());
}

void FileTypesTest::choiceFiltersTheListAndIsRemembered() {
  Scratch s;
  makeFiles(s.dir, {"a.html", "b.htm", "c.asp", "x.html.bac", "y.bac",
                    "index.php", "index.phtml"});
  QString typed = "*.P?P;*bac";
  {
    MainWindow w;
    w.form.openFolder(s.dir.path());
    auto* box = w.get<QComboBox>("ComboTypes");
    QCOMPARE(w.get<QLabel>("LabelTypes")->buddy(), box);
    QCOMPARE(listed(*w.files()), "b.htm c.asp");
    QTest::keyClick(box, Qt::Key_Down);
    QCOMPARE(listed(*w.files()), "a.html b.htm");
    box->lineEdit()->selectAll();
    QTest::keyClicks(box->lineEdit(), typed);
    QTest::keyClick(box->lineEdit(), Qt::Key_Return);
    QCOMPARE(listed(*w.files()), "index.php");
  }
  MainWindow again;
  again.form.openFolder(s.dir.path());
  QCOMPARE(again.get<QComboBox>("ComboTypes")->currentText(), typed);
  QCOMPARE(listed(*again.files()), "index.php");
}

QTEST_MAIN(FileTypesTest)
#include "file_types_test.moc"
