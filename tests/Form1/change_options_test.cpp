#include "ui/Form1/change_options.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QSettings>
#include <QTableWidget>
#include <QTest>
#include <QTreeView>

#include "Form1/form1_test_support.h"
#include "engine/replace_list.h"
#include "ui/Form1/replace_list_dialog.h"
#include "ui/Form1/wizard_pages.h"

using namespace testing_support;

namespace {

const QStringList kOptions = {"CheckMatchCase", "CheckWholeWords",
                              "CheckEveryOccurrence", "CheckRegex"};

// "search>new; ..." and the options set, line ends and tabs made visible.
QString described(const engine::ReplaceRules& rules) {
  QStringList parts;
  for (const engine::ReplacePair& pair : rules.pairs)
    parts << QString::fromStdString(pair.search + ">" + pair.replacement);
  QString text = parts.join("; ");
  if (rules.match_case) text += " case";
  if (rules.whole_words) text += " words";
  if (rules.every_occurrence) text += " every";
  if (rules.regex) text += " regex";
  return text.replace("\r", "\\r").replace("\n", "\\n").replace("\t", "\\t");
}

QString contents(const QString& path) {
  QFile file(path);
  return file.open(QFile::ReadOnly) ? file.readAll() : "?";
}

QWidget* previewWindow() {
  for (QWidget* window : QApplication::topLevelWidgets())
    if (window->objectName() == "PreviewWindow") return window;
  return nullptr;
}

QCheckBox* box(const MainWindow& w, const QString& name) {
  return w.get<QCheckBox>(name.toLatin1().constData());
}

ChangeOptions* optionsOf(const MainWindow& w) {
  return w.form.findChild<ChangeOptions*>("ChangeOptions");
}

// Opens the list editor from the Change page, lets act edit it while it
// waits for an answer, then presses OK.
void editList(const MainWindow& w,
              const std::function<void(ReplaceListDialog&)>& act) {
  QTimer::singleShot(0, [&] {
    auto* dialog =
        qobject_cast<ReplaceListDialog*>(QApplication::activeModalWidget());
    if (!dialog) qFatal("no list editor");
    act(*dialog);
    dialog->findChild<QDialogButtonBox*>()
        ->button(QDialogButtonBox::Ok)
        ->click();
  });
  w.press("CommandList", 2);
}

}  // namespace

class ChangeOptionsTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void init();
  void rulesFollowThePage_data();
  void rulesFollowThePage();
  void listEditorReadsAndWritesListFiles();
  void listTakesThePlaceOfTheTextsAndIsKept();
  void deletingAsksFirst();
  void badPatternIsToldInTheEnginesWords();
  void previewAndUpdateAgreeOnARegex();

 private:
  QTemporaryDir config_;
};

void ChangeOptionsTest::initTestCase() {
  // Before any QSettings is made, so that the user's own stay untouched.
  qputenv("XDG_CONFIG_HOME", config_.path().toLocal8Bit());
}

void ChangeOptionsTest::init() {
  const QString name = QCoreApplication::applicationName();
  QSettings(name, name).clear();
}

void ChangeOptionsTest::rulesFollowThePage_data() {
  QTest::addColumn<QString>("search");
  QTest::addColumn<QString>("replacement");
  QTest::addColumn<QByteArray>("list");
  QTest::addColumn<QStringList>("ticked");
  QTest::addColumn<QString>("rules");
  auto row = [](const char* name, const QString& search,
                const QString& replacement, const QByteArray& list,
                const QStringList& ticked, const QString& rules) {
    QTest::newRow(name) << search << replacement << list << ticked << rules;
  };
  row("plain", "cat", "dog", {}, {}, "cat>dog");
  row("no new text", "cat", "", {}, {}, "cat>");
  row("line break, no-break space", "cat", QString::fromUtf8("a\nb\u00a0c"), {},
      {}, QString::fromUtf8("cat>a\\r\\nb\u00a0c"));
  row("every option", "(\\d+)", "[$1]", {}, kOptions,
      "(\\d+)>[$1] case words every regex");
  row("list over the texts", "cat", "dog", "a\\tb\tc\\\\\nd\t\n",
      {"CheckWholeWords"}, "a\\tb>c\\; d> words");
}

void ChangeOptionsTest::rulesFollowThePage() {
  QFETCH(QString, search);
  QFETCH(QString, replacement);
  QFETCH(QByteArray, list);
  QFETCH(QStringList, ticked);
  QFETCH(QString, rules);
  MainWindow w;
  w.text("Text1")->setPlainText(search);
  w.text("Text2")->setPlainText(replacement);
  std::vector<engine::ReplacePair> pairs;
  std::string problem;  // none but for the empty list of the texts' rows
  engine::ParseReplaceList(list.toStdString(), &pairs, &problem);
  optionsOf(w)->setList(pairs);
  for (const QString& name : ticked) box(w, name)->setChecked(true);
  QCOMPARE(described(optionsOf(w)->rules()), rules);
}

void ChangeOptionsTest::listEditorReadsAndWritesListFiles() {
  Scratch s;
  const QByteArray list = "a\\tb\\\\c\tline\\none\nx\t\n";
  makeFiles(s.dir, {"list.txt"}, list);
  makeFiles(s.dir, {"bad.txt"}, "a\tb\nno tab\n");
  ReplaceListDialog dialog;
  dialog.show();
  CaughtMessages messages;
  QVERIFY(dialog.importFrom(s.dir.filePath("list.txt")));
  auto* table = dialog.findChild<QTableWidget*>("TablePairs");
  QCOMPARE(table->rowCount(), 2);
  QCOMPARE(table->item(0, 0)->text() + "|" + table->item(0, 1)->text(),
           "a\tb\\c|line\none");
  QVERIFY(dialog.exportTo(s.dir.filePath("out.txt")));
  QCOMPARE(contents(s.dir.filePath("out.txt")), QString::fromUtf8(list));

  // A bad file is named by its line and changes nothing.
  QVERIFY(!dialog.importFrom(s.dir.filePath("bad.txt")));
  QCOMPARE(messages.titles, QStringList{"Oops.."});
  QCOMPARE(messages.prompts,
           QStringList{"Line 2 of the list has no tab between the text to "
                       "replace and the new text."});
  QCOMPARE(table->rowCount(), 2);

  // Down and Up move a row; an empty row is dropped at the end, refused
  // in the middle.
  table->setCurrentCell(0, 0);
  QTest::mouseClick(dialog.findChild<QPushButton*>("CommandPairDown"),
                    Qt::LeftButton);
  QCOMPARE(table->item(1, 0)->text(), "a\tb\\c");
  QTest::mouseClick(dialog.findChild<QPushButton*>("CommandAddPair"),
                    Qt::LeftButton);
  dialog.accept();
  QCOMPARE(dialog.result(), QDialog::Accepted);
  QCOMPARE(dialog.pairs().size(), std::size_t{2});
  dialog.show();
  table->setCurrentCell(2, 0);
  QTest::mouseClick(dialog.findChild<QPushButton*>("CommandPairUp"),
                    Qt::LeftButton);
  dialog.setResult(QDialog::Rejected);
  dialog.accept();
  QCOMPARE(dialog.result(), QDialog::Rejected);
  QCOMPARE(messages.prompts.last(),
           "Row 2 has no text to replace. Type one, or remove the row.");
}

void ChangeOptionsTest::listTakesThePlaceOfTheTextsAndIsKept() {
  Scratch s;
  makeFiles(s.dir, {"list.txt"}, "cat\tdog\ndog\tbird\n");
  makeFiles(s.dir, {"index.htm"}, "cat and dog\r\n");
  QVERIFY(QDir::setCurrent(s.dir.path()));
  auto listShown = [](const MainWindow& w) {
    return !w.get("LabelListInUse")->isHidden() &&
           w.text("Text1")->isHidden() && w.text("Text2")->isHidden();
  };
  {
    MainWindow w;
    QVERIFY(!listShown(w));
    for (const QString& name : kOptions) QVERIFY(!box(w, name)->isChecked());
    w.files()->setSelected(0, true);
    editList(w, [&](ReplaceListDialog& dialog) {
      QVERIFY(dialog.importFrom(s.dir.filePath("list.txt")));
    });
    QVERIFY(listShown(w));
    QCOMPARE(w.label("LabelListInUse"), "2 replacements from the list");
    CaughtMessages messages;
    w.press("Command5", 3);
    QCOMPARE(messages.titles, QStringList{"Job Complete."});
    // The second pair finds what the first one wrote.
    QCOMPARE(contents(s.dir.filePath("index.htm")), "bird and dog\r\n");
    for (const QString& name : kOptions) box(w, name)->setChecked(true);
    box(w, "CheckWholeWords")->setChecked(false);
  }
  MainWindow again;  // as the user left the first
  QVERIFY(listShown(again));
  QCOMPARE(described(optionsOf(again)->rules()),
           "cat>dog; dog>bird case every regex");
  editList(again, [](ReplaceListDialog& dialog) {
    QTest::mouseClick(dialog.findChild<QPushButton*>("CommandClearList"),
                      Qt::LeftButton);
  });
  QVERIFY(!listShown(again) && optionsOf(again)->list().empty());
}

void ChangeOptionsTest::deletingAsksFirst() {
  Scratch s;
  makeFiles(s.dir, {"index.htm"}, "The cat sat.\r\n");
  QVERIFY(QDir::setCurrent(s.dir.path()));
  MainWindow w;
  w.files()->setSelected(0, true);
  w.text("Text1")->setPlainText("cat ");
  AnsweredQuestions user;
  CaughtMessages messages;
  w.press("CommandPreview", 3);  // only looks: nothing to ask
  QVERIFY(user.asked.isEmpty() && previewWindow());
  previewWindow()->close();
  w.press("Command5", 3);
  QCOMPARE(user.asked, QStringList{"Vantrel!: Delete every match of \"cat \" "
                                   "in the selected documents?"});
  QVERIFY(messages.titles.isEmpty());
  QCOMPARE(contents(s.dir.filePath("index.htm")), "The cat sat.\r\n");
  user.answer = QMessageBox::Yes;
  w.press("Command5", 3);
  QCOMPARE(messages.titles, QStringList{"Job Complete."});
  QCOMPARE(contents(s.dir.filePath("index.htm")), "The sat.\r\n");
}

void ChangeOptionsTest::badPatternIsToldInTheEnginesWords() {
  Scratch s;
  makeFiles(s.dir, {"index.htm"}, "cat\r\n");
  QVERIFY(QDir::setCurrent(s.dir.path()));
  MainWindow w;
  w.files()->setSelected(0, true);
  box(w, "CheckRegex")->setChecked(true);
  w.text("Text2")->setPlainText("dog");
  CaughtMessages messages;
  for (const char* pattern : {"(cat", "c*"}) {
    w.text("Text1")->setPlainText(pattern);
    w.press("Command5", 3);
  }
  QCOMPARE(messages.titles, QStringList(2, "Oops"));
  QCOMPARE(messages.prompts,
           (QStringList{"The regular expression is not valid: missing closing "
                        "parenthesis at character 5.",
                        "The regular expression can match an empty text, and "
                        "would put the new text between every two characters. "
                        "Make it match at least one character."}));
  QCOMPARE(contents(s.dir.filePath("index.htm")), "cat\r\n");
}

void ChangeOptionsTest::previewAndUpdateAgreeOnARegex() {
  Scratch s;
  makeFiles(s.dir, {"index.htm"}, "Due 2024-03-15, paid 2024-04-01.\r\n");
  QVERIFY(QDir::setCurrent(s.dir.path()));
  MainWindow w;
  w.files()->setSelected(0, true);
  box(w, "CheckRegex")->setChecked(true);
  box(w, "CheckEveryOccurrence")->setChecked(true);
  w.text("Text1")->setPlainText("(\\d{4})-(\\d\\d)-(\\d\\d)");
  w.text("Text2")->setPlainText("$3.$2.$1");
  w.press("CommandPreview", 3);
  QWidget* preview = previewWindow();
  QVERIFY(preview);
  QCOMPARE(preview->findChild<QLabel*>("PreviewSummary")->text(),
           "2 replacements in 1 of 1 selected documents");
  // The document's row, then the line before and after.
  const QAbstractItemModel* rows =
      preview->findChild<QTreeView*>("PreviewList")->model();
  const QString after = rows->index(2, 0).data().toString();
  preview->close();
  CaughtMessages messages;
  w.press("Command5", 3);
  QCOMPARE(after, "Due 15.03.2024, paid 01.04.2024.");
  QCOMPARE(contents(s.dir.filePath("index.htm")), after + "\r\n");
}

QTEST_MAIN(ChangeOptionsTest)
#include "change_options_test.moc"
