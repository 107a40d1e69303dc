#include "ui/browser/name_pattern.h"

#include <QTest>

class NamePatternTest : public QObject {
  Q_OBJECT

 private slots:
  void matchesWholeNamesIgnoringCase_data();
  void matchesWholeNamesIgnoringCase();
};

void NamePatternTest::matchesWholeNamesIgnoringCase_data() {
  QTest::addColumn<QString>("pattern");
  QTest::addColumn<QString>("name");
  QTest::addColumn<bool>("kept");

  const QString documents = QStringLiteral("*.htm;*.asp;*.hts;*.mv;*.cfm");
  QTest::newRow("htm") << documents << "a.htm" << true;
  QTest::newRow("upper case name") << documents << "INDEX.HTM" << true;
  QTest::newRow("mixed case extension") << documents << "b.ASP" << true;
  QTest::newRow("hts") << documents << "c.hts" << true;
  QTest::newRow("two-letter extension") << documents << "d.mv" << true;
  QTest::newRow("last pattern") << documents << "e.cfm" << true;
  QTest::newRow("longer extension") << documents << "page.html" << false;
  QTest::newRow("other extension") << documents << "f.txt" << false;
  QTest::newRow("backup for documents") << documents << "g.bac" << false;
  QTest::newRow("extension only") << documents << ".htm" << true;
  QTest::newRow("extension inside name") << documents << "a.htm.txt" << false;
  QTest::newRow("backup") << "*.bac"
                          << "g.bac" << true;
  QTest::newRow("document for backups") << "*.bac"
                                        << "a.htm" << false;
  QTest::newRow("question mark is literal") << "?.htm"
                                            << "a.htm" << false;
  QTest::newRow("question mark itself") << "?.htm"
                                        << "?.htm" << true;
  QTest::newRow("brackets are literal") << "[ab].htm"
                                        << "a.htm" << false;
  QTest::newRow("star takes more than once") << "*ab"
                                             << "aab" << true;
  QTest::newRow("several stars") << "a*b*c"
                                 << "aXbYbZc" << true;
  QTest::newRow("several stars, no end") << "a*b*c"
                                         << "aXbYbZ" << false;
  QTest::newRow("non-ASCII letters") << "été*"
                                     << "ÉTÉ.htm" << true;
  QTest::newRow("spaces in name") << "*.htm"
                                  << "my page.htm" << true;
  QTest::newRow("empty pattern part") << ";;*.htm;"
                                      << "a.htm" << true;
  QTest::newRow("no pattern") << ""
                              << "a.htm" << false;
}

void NamePatternTest::matchesWholeNamesIgnoringCase() {
  QFETCH(QString, pattern);
  QFETCH(QString, name);
  QFETCH(bool, kept);
  QCOMPARE(browser::NamePattern(pattern).matches(name), kept);
}

QTEST_GUILESS_MAIN(NamePatternTest)
#include "name_pattern_test.moc"
