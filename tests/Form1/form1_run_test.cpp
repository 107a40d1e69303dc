#include <QTemporaryDir>
#include <QTest>

#include "Form1/form1_test_support.h"

using testing_support::contents;
using testing_support::MainWindow;
using testing_support::makeFile;

namespace {

// One message box as the user saw it, with what the window showed then.
struct Seen {
  QString title;
  QString prompt;
  int progress;
  int progressMaximum;
};

// Answers every message box of the window and remembers it.
class MessageLog {
 public:
  explicit MessageLog(const MainWindow& window) {
    previous_ = ui::setMessageHandler([this, &window](QWidget* parent,
                                                      const QString& title,
                                                      const QString& prompt) {
      QCOMPARE(parent, window.form.get());
      seen.push_back({title, prompt, window.progress()->value(),
                      window.progress()->maximum()});
    });
  }
  ~MessageLog() { ui::setMessageHandler(previous_); }

  std::vector<Seen> seen;

 private:
  ui::MessageHandler previous_;
};

const char kJobDone[] =
    "Successfully updated 2 documents. Backup copies of each file archived "
    "successfully.";

}  // namespace

class Form1RunTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void typicalUpdateRewritesTheSelectedDocuments();
  void doneStateLastsThroughEverythingElse();
  void inputChecksLeaveUpdateEnabled_data();
  void inputChecksLeaveUpdateEnabled();
  void lineBreaksReachTheRunAsCrLf();

 private:
  // C:\web of the typical update: about.htm, index.htm and news.asp.
  void makeWeb();
  // Selects about.htm and news.asp and types cat and dog.
  void prepareTypicalUpdate(const MainWindow& window);

  std::unique_ptr<QTemporaryDir> temp_;
  QDir web_;
};

void Form1RunTest::init() {
  temp_ = std::make_unique<QTemporaryDir>();
  QVERIFY(temp_->isValid());
  web_ = QDir(temp_->path());
  QVERIFY(web_.mkdir("web"));
  QVERIFY(web_.cd("web"));
  makeWeb();
}

void Form1RunTest::makeWeb() {
  makeFile(web_.filePath("about.htm"), "The cat sat.\r\nCat and cat\r\n");
  makeFile(web_.filePath("index.htm"), "cat\r\n");
  makeFile(web_.filePath("news.asp"), "concatenate");
}

void Form1RunTest::prepareTypicalUpdate(const MainWindow& window) {
  window.tabs()->setCurrentIndex(1);
  window.openFolder(web_.path());
  FileList* files = window.files();
  QCOMPARE(files->listCount(), 3);
  QCOMPARE(files->list(0), QStringLiteral("about.htm"));
  QCOMPARE(files->list(2), QStringLiteral("news.asp"));
  QTest::mouseClick(files->viewport(), Qt::LeftButton, {},
                    files->visualRect(files->model()->index(0, 0)).center());
  QTest::mouseClick(files->viewport(), Qt::LeftButton, Qt::ControlModifier,
                    files->visualRect(files->model()->index(2, 0)).center());
  window.tabs()->setCurrentIndex(2);
  QTest::keyClicks(window.text("Text1"), "cat");
  QTest::keyClicks(window.text("Text2"), "dog");
}

void Form1RunTest::typicalUpdateRewritesTheSelectedDocuments() {
  MainWindow window;
  prepareTypicalUpdate(window);
  MessageLog log(window);
  window.press("Command5", 3);

  QCOMPARE(log.seen.size(), std::size_t{1});
  QCOMPARE(log.seen[0].title, QStringLiteral("Job Complete."));
  QCOMPARE(log.seen[0].prompt, QString::fromLatin1(kJobDone));
  QCOMPARE(log.seen[0].progressMaximum, 3);
  QCOMPARE(log.seen[0].progress, 3);  // full while the message is open

  QCOMPARE(contents(web_.filePath("about.htm")),
           QByteArray("The dog sat.\r\ndog and cat\r\n"));
  QCOMPARE(contents(web_.filePath("about.bac")),
           QByteArray("The cat sat.\r\nCat and cat\r\n"));
  QCOMPARE(contents(web_.filePath("news.asp")), QByteArray("condogenate\r\n"));
  QCOMPARE(contents(web_.filePath("news.bac")), QByteArray("concatenate"));
  QCOMPARE(contents(web_.filePath("index.htm")), QByteArray("cat\r\n"));
  QVERIFY(!QFile::exists(web_.filePath("index.bac")));

  QVERIFY(!window.button("Command5")->isEnabled());
  QCOMPARE(window.label("Label11")->text(),
           QStringLiteral("Parsing Engine Idle."));
  QCOMPARE(window.label("Label12")->text(), QStringLiteral("Completed."));
  QCOMPARE(window.progress()->value(), 0);
  // The run neither re-reads nor changes the list.
  QCOMPARE(window.files()->listCount(), 3);
  QVERIFY(window.files()->selected(0) && window.files()->selected(2));
}

void Form1RunTest::doneStateLastsThroughEverythingElse() {
  MainWindow window;
  prepareTypicalUpdate(window);
  MessageLog log(window);
  window.press("Command5", 3);
  QCOMPARE(log.seen.size(), std::size_t{1});

  for (int page : {0, 1, 2, 3}) window.tabs()->setCurrentIndex(page);
  window.press("Command2");
  window.press("Command4");
  window.press("Command6", 3);
  testing_support::closeOtherWindows();
  window.files()->refresh();
  QVERIFY(!window.button("Command5")->isEnabled());
  QVERIFY(window.button("Command6")->isEnabled());
  QVERIFY(window.button("Command2")->isEnabled());
  QVERIFY(window.files()->isEnabled());

  // A click on the disabled button starts nothing.
  QTest::mouseClick(window.button("Command5"), Qt::LeftButton);
  QCOMPARE(log.seen.size(), std::size_t{1});
  QCOMPARE(contents(web_.filePath("about.htm")),
           QByteArray("The dog sat.\r\ndog and cat\r\n"));
}

void Form1RunTest::inputChecksLeaveUpdateEnabled_data() {
  QTest::addColumn<QString>("search");
  QTest::addColumn<QString>("replacement");
  QTest::addColumn<bool>("selectSome");
  QTest::addColumn<QString>("title");
  QTest::addColumn<QString>("prompt");
  const QString noSearch =
      QStringLiteral("Please enter the information you would like replaced.");
  QTest::newRow("no search text") << ""
                                  << "dog" << true << "Oops" << noSearch;
  QTest::newRow("no texts") << ""
                            << "" << true << "Oops" << noSearch;
  QTest::newRow("no new text")
      << "cat"
      << "" << true << "Oops"
      << "Please enter the information you would like to replace it with.";
  QTest::newRow("nothing selected") << "cat"
                                    << "dog" << false << "Oops.."
                                    << "No files selected to modify.";
}

void Form1RunTest::inputChecksLeaveUpdateEnabled() {
  QFETCH(QString, search);
  QFETCH(QString, replacement);
  QFETCH(bool, selectSome);
  QFETCH(QString, title);
  QFETCH(QString, prompt);
  MainWindow window;
  window.openFolder(web_.path());
  if (selectSome) window.files()->setSelected(0, true);
  window.text("Text1")->setPlainText(search);
  window.text("Text2")->setPlainText(replacement);
  MessageLog log(window);

  for (int click = 1; click <= 2; ++click) {
    window.press("Command5", 3);
    QCOMPARE(log.seen.size(), std::size_t(click));
    QCOMPARE(log.seen.back().title, title);
    QCOMPARE(log.seen.back().prompt, prompt);
    QVERIFY(window.button("Command5")->isEnabled());
    QCOMPARE(window.label("Label11")->text(),
             QStringLiteral("Parsing Engine Idle."));
    QCOMPARE(window.label("Label12")->text(), QStringLiteral("None."));
    QVERIFY(window.progress()->value() <= 0);
  }
  QCOMPARE(contents(web_.filePath("about.htm")),
           QByteArray("The cat sat.\r\nCat and cat\r\n"));
  QVERIFY(!QFile::exists(web_.filePath("about.bac")));
}

void Form1RunTest::lineBreaksReachTheRunAsCrLf() {
  MainWindow window;
  window.openFolder(web_.path());
  window.files()->setSelected(1, true);  // index.htm: "cat"
  window.text("Text1")->setPlainText("cat");
  window.text("Text2")->setPlainText("dog\nbird");
  MessageLog log(window);
  window.press("Command5", 3);
  QCOMPARE(log.seen.size(), std::size_t{1});
  QCOMPARE(contents(web_.filePath("index.htm")), QByteArray("dog\r\nbird\r\n"));
}

QTEST_MAIN(Form1RunTest)
#include "form1_run_test.moc"
