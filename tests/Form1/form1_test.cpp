#include <pwd.h>
#include <unistd.h>

#include <QApplication>
#include <QHash>
#include <QImage>
#include <QScopeGuard>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <algorithm>
#include <cmath>

#include "Form1/form1_test_support.h"
#include "ui/browser/drive_list.h"
#include "ui/browser/folder_access.h"
#include "ui/browser/folder_list.h"
#include "ui/help/help_window.h"
#include "ui/widgets/run_preferences.h"

using namespace testing_support;

namespace {

const QByteArray kAbout = "The cat sat.\r\nCat and cat\r\n";

// Every file of folder as name=contents, in name order.
QString files(const QDir& folder) {
  QStringList all;
  for (const QString& name : folder.entryList(QDir::Files, QDir::Name)) {
    QFile file(folder.filePath(name));
    all.push_back(name + "=" +
                  (file.open(QFile::ReadOnly) ? file.readAll() : "?"));
  }
  return all.join(" ");
}

// WCAG's relative luminance and contrast ratio.
double luminance(const QColor& colour) {
  auto linear = [](double c) {
    return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
  };
  return 0.2126 * linear(colour.redF()) + 0.7152 * linear(colour.greenF()) +
         0.0722 * linear(colour.blueF());
}

double contrast(const QColor& a, const QColor& b) {
  const double la = luminance(a), lb = luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// The colour most of image shows: the background behind a caption.
QColor commonest(const QImage& image) {
  QHash<QRgb, int> counts;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) ++counts[image.pixel(x, y)];
  }
  return QColor(std::max_element(counts.begin(), counts.end()).key());
}

}  // namespace

class Form1Test : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void typicalSessionFromTheStartToDone();
  void lineBreaksReachTheRunAsCrLf();
  void browsingKeepsDriveFoldersAndFilesAgreeing();
  void helpShowsWhereItLookedWhenMissing();
  void duringARunOnlyStopGetsThrough_data();
  void duringARunOnlyStopGetsThrough();
  void startsAtAFolderArgument_data();
  void startsAtAFolderArgument();
  void previewShowsWhatUpdateWouldDoAndWritesNothing();
  void captionsReadOnWhatLiesBehindThem_data();
  void captionsReadOnWhatLiesBehindThem();
};

void Form1Test::typicalSessionFromTheStartToDone() {
  Scratch s;
  makeFiles(s.dir, {"about.htm"}, kAbout);
  makeFiles(s.dir, {"index.htm"}, "cat\r\n");
  makeFiles(s.dir, {"news.asp"}, "concatenate");
  const QString before = files(s.dir);
  QVERIFY(QDir::setCurrent(s.dir.path()));
  MainWindow w;
  const QString idle = "Parsing Engine Idle. | None. | empty bar | Update";
  QCOMPARE(w.tabs()->currentIndex(), 0);
  QCOMPARE(w.state(), idle);
  const passwd* entry = getpwuid(getuid());
  QCOMPARE(w.label("Label19"), "User: " + QString(entry ? entry->pw_name : ""));

  // Each missing input is told, and Update stays enabled.
  CaughtMessages messages;
  auto update = [&](const QString& message, const QString& state) {
    w.press("Command5", 3);
    QCOMPARE(messages.titles.join("") + ": " + messages.prompts.join(""),
             message);
    messages.titles = messages.prompts = {};
    QCOMPARE(w.state(), state);
  };
  update("Oops: Please enter the information you would like replaced.", idle);
  QTest::keyClicks(w.text("Text1"), "cat");
  AnsweredQuestions user;  // no new text deletes, once the user agrees
  update(": ", idle);
  user.answer = QMessageBox::Yes;
  update("Oops..: No files selected to modify.", idle);
  QTest::keyClicks(w.text("Text2"), "dog");
  update("Oops..: No files selected to modify.", idle);
  QCOMPARE(user.asked.size(), 2);  // not asked once there is a new text
  QCOMPARE(files(s.dir), before);

  w.files()->setSelected(0, true);  // about.htm and news.asp
  w.files()->setSelected(2, true);
  // The texts and the selection outlive page changes.
  for (int page : {0, 2, 3, 1}) w.tabs()->setCurrentIndex(page);
  QCOMPARE(w.text("Text1")->toPlainText() + w.text("Text2")->toPlainText(),
           QStringLiteral("catdog"));
  QVERIFY(w.files()->selected(0) && !w.files()->selected(1) &&
          w.files()->selected(2));
  int bar = -1;
  messages.onMessage = [&] { bar = w.progress()->value(); };
  const QString done =
      "Parsing Engine Idle. | Completed. | empty bar | no Update";
  update(
      "Job Complete.: Successfully updated 2 documents. Backup copies of "
      "each file archived successfully.",
      done);
  QCOMPARE(bar, 3);  // full while the message is open
  QCOMPARE(files(s.dir), "about.bac=" + kAbout +
                             " about.htm=The dog sat.\r\ndog and cat\r\n "
                             "index.htm=cat\r\n news.asp=condogenate "
                             "news.bac=concatenate");

  // Done lasts through page changes; pressed again with nothing changed,
  // the disabled button starts nothing.
  for (int page : {0, 1, 2}) w.tabs()->setCurrentIndex(page);
  update(": ", done);
  // Without the history the backups are the only way back: even a change
  // (a refresh that clears the selection, new text) leaves Update off.
  preferences::setRecordingOn(false);
  w.files()->refresh();
  QTest::keyClicks(w.text("Text2"), "s");
  update(": ", done);
  // With it, the next change brings Update back.
  preferences::setRecordingOn(true);
  QTest::keyClicks(w.text("Text2"), "s");
  QVERIFY(w.get<QPushButton>("Command5")->isEnabled());
}

void Form1Test::initTestCase() {
  // Before any setting is read or run recorded: the user's stay untouched.
  static QTemporaryDir home;
  QVERIFY(home.isValid());
  qputenv("XDG_CONFIG_HOME", home.filePath("config").toLocal8Bit());
  qputenv("XDG_STATE_HOME", home.filePath("state").toLocal8Bit());
}

void Form1Test::lineBreaksReachTheRunAsCrLf() {
  Scratch s;
  makeFiles(s.dir, {"index.htm"}, "cat\r\n");
  QVERIFY(QDir::setCurrent(s.dir.path()));
  MainWindow w;
  w.files()->setSelected(0, true);
  // A non-breaking space must reach the run as itself, not as a blank.
  w.text("Text1")->setPlainText("cat");
  w.text("Text2")->setPlainText(QString::fromUtf8("dog\nbig\u00a0bird"));
  CaughtMessages messages;
  w.press("Command5", 3);
  QCOMPARE(messages.titles, QStringList{"Job Complete."});
  QCOMPARE(files(s.dir),
           QString::fromUtf8(
               "index.bac=cat\r\n index.htm=dog\r\nbig\u00a0bird\r\n"));
}

void Form1Test::browsingKeepsDriveFoldersAndFilesAgreeing() {
  Scratch s;
  QDir site(s.dir.filePath("drive/site"));
  for (const char* name : {"web", "b10", "b9", ".hidden", "gone"})
    QVERIFY(site.mkpath(name));
  makeFiles(site, {"top.htm", "web/about.htm", "web/index.htm"});
  const QString drive = s.dir.filePath("drive"),
                missing = s.dir.filePath("missing");
  const browser::DriveSource saved = browser::setDriveSource([=] {
    return QStringList{"/", drive, missing};
  });
  const auto restore = qScopeGuard([&] { browser::setDriveSource(saved); });
  QVERIFY(QDir::setCurrent(site.filePath("web")));
  MainWindow w;
  w.tabs()->setCurrentIndex(1);
  auto* drives = w.get<DriveList>("dir");
  auto* folders = w.get<FolderList>("Dir1");
  FileList* files = w.files();
  auto agree = [&] {
    return files->path() == folders->path() &&
           drives->drive() ==
               browser::driveOf(folders->path(), browser::localDrives());
  };
  auto item = [&](const QString& name) {
    return folders->findItems(name, Qt::MatchExactly | Qt::MatchRecursive)
        .value(0);
  };
  auto click = [&](const QString& name, bool twice) {
    folders->scrollToItem(item(name));
    const QPoint center = folders->visualItemRect(item(name)).center();
    // The first click of a double click arrives on its own, as from a user.
    QTest::mouseClick(folders->viewport(), Qt::LeftButton, {}, center);
    if (twice)
      QTest::mouseDClick(folders->viewport(), Qt::LeftButton, {}, center);
  };
  auto pick = [&](const QString& name) {
    drives->setCurrentIndex(drives->findText(name));
    emit drives->activated(drives->currentIndex());
  };

  // All three start at the current folder.
  QCOMPARE(files->path(), site.filePath("web"));
  QVERIFY(files->listCount() == 2 && agree());
  folders->setPath(site.path() + "/web/../.");
  QCOMPARE(folders->path(), site.path());
  QVERIFY(item("b10") && !item(".hidden"));

  // A click or an arrow key only highlights, in natural order; Enter or a
  // double click opens.
  click("b9", false);
  QTest::keyClick(folders, Qt::Key_Down);
  QCOMPARE(folders->currentItem(), item("b10"));
  QCOMPARE(folders->path(), site.path());
  QTest::keyClick(folders, Qt::Key_Return);
  QCOMPARE(folders->path(), site.filePath("b10"));
  click("site", true);

  // A folder deleted since it was shown is refused and dropped.
  QVERIFY(QDir(site.filePath("gone")).removeRecursively());
  CaughtMessages messages;
  click("gone", true);
  QCOMPARE(messages.prompts,
           QStringList{site.filePath("gone") + ": No such file or directory"});
  QCOMPARE(folders->path(), site.path());
  QVERIFY(!item("gone") && agree());
  click("web", true);
  QCOMPARE(files->path(), site.filePath("web"));
  QVERIFY(agree());

  click("/", true);  // the root alone keeps its separator
  QCOMPARE(folders->path(), QStringLiteral("/"));
  QVERIFY(agree());
  pick(drive);  // opens at the current folder on that drive
  QCOMPARE(files->path(), site.filePath("web"));
  pick(missing);  // refused: the lists stay
  QCOMPARE(messages.prompts.size(), 2);
  QCOMPARE(drives->currentText(), drive);
  QCOMPARE(folders->path(), site.filePath("web"));
  QVERIFY(agree());
}

void Form1Test::helpShowsWhereItLookedWhenMissing() {
  Scratch s;
  QVERIFY(s.dir.mkpath("one/VANTREL.hlp"));  // a folder is no help file
  const QString one = s.dir.filePath("one"), two = s.dir.filePath("two");
  HelpWindow missing({one, two});
  const QString shown =
      missing.findChild<QTextBrowser*>("HelpText")->toPlainText();
  QVERIFY(missing.file().isEmpty());
  QVERIFY2(shown.contains("VANTREL.hlp") && shown.contains(one) &&
               shown.contains(two),
           qPrintable(shown));
}

void Form1Test::duringARunOnlyStopGetsThrough_data() {
  QTest::addColumn<bool>("escape");  // else the Stop button
  QTest::newRow("Stop button") << false;
  QTest::newRow("Escape") << true;
}

// During a run only Stop, the button or Escape, gets through: it ends the
// run after the first document and leaves the others as they were.
void Form1Test::duringARunOnlyStopGetsThrough() {
  QFETCH(bool, escape);
  Scratch s;
  makeFiles(s.dir, {"a.htm", "b.htm", "c.htm"}, "cat\r\n");
  QVERIFY(QDir::setCurrent(s.dir.path()));
  MainWindowOf<BusyUser<Form1>> w;
  for (int i = 0; i < 3; ++i) w.files()->setSelected(i, true);
  w.text("Text1")->setPlainText("cat");
  w.text("Text2")->setPlainText("dog");
  auto* stop = w.get<QPushButton>("CommandStop");
  auto showsStop = [&] {
    return !stop->isHidden() && w.get<QPushButton>("Command6")->isHidden();
  };
  QVERIFY(!showsStop());
  QList<bool> seen;  // Stop shown, close refused, input held back
  w.form.atFirstDocument = [&] {
    seen << showsStop() << !w.form.close();
    QTest::keyClicks(w.text("Text1"), "x");
    QTest::mouseClick(w.get<QPushButton>("Command2"), Qt::LeftButton);
    QTest::keyClick(&w.form, Qt::Key_C, Qt::AltModifier);  // &Change page
    seen << (w.text("Text1")->toPlainText() == "cat" &&
             w.tabs()->currentIndex() == 3 &&
             std::ranges::count_if(QApplication::topLevelWidgets(),
                                   &QWidget::isVisible) == 1);
    if (escape)
      QTest::keyClick(w.get<QPushButton>("Command5"), Qt::Key_Escape);
    else
      QTest::mouseClick(stop, Qt::LeftButton);
  };
  CaughtMessages messages;
  w.press("Command5", 3);
  QCOMPARE(seen, (QList<bool>{true, true, true}));
  QCOMPARE(messages.titles, QStringList{"Stopped."});
  QCOMPARE(files(s.dir),
           "a.bac=cat\r\n a.htm=dog\r\n b.htm=cat\r\n c.htm=cat\r\n");
  QVERIFY(w.form.isVisible() && !showsStop());
}

void Form1Test::startsAtAFolderArgument_data() {
  QTest::addColumn<QString>("argument");  // as typed in the folder "here"
  QTest::addColumn<QString>("shown");
  QTest::addColumn<int>("messages");
  QTest::newRow("folder") << "../site/web"
                          << "site/web" << 0;
  QTest::newRow("missing") << "../gone"
                           << "here" << 1;
  QTest::newRow("file") << "../site/web/index.htm"
                        << "here" << 1;
}

// As app/main.cpp starts it; the restore window opens where it is.
void Form1Test::startsAtAFolderArgument() {
  QFETCH(QString, argument);
  QFETCH(QString, shown);
  QFETCH(int, messages);
  Scratch s;
  QVERIFY(s.dir.mkpath("here") && s.dir.mkpath("site/web"));
  makeFiles(QDir(s.dir.filePath("site/web")), {"index.htm"});
  QVERIFY(QDir::setCurrent(s.dir.filePath("here")));
  CaughtMessages told;
  MainWindow w;
  w.form.openFolder(argument);
  const QString folder = s.dir.filePath(shown);
  QCOMPARE(told.prompts.size(), messages);
  QCOMPARE(w.get<FolderList>("Dir1")->path(), folder);
  QCOMPARE(w.files()->path(), folder);
  QCOMPARE(w.get<DriveList>("dir")->drive(),
           browser::driveOf(folder, browser::localDrives()));
  w.press("Command6", 3);
  QWidgetList restore = QApplication::topLevelWidgets();
  restore.removeIf([](QWidget* top) { return top->objectName() != "Form5"; });
  QCOMPARE(restore.size(), 1);
  QCOMPARE(restore[0]->findChild<FileList*>("File1")->path(), folder);
  delete restore[0];
}

void Form1Test::previewShowsWhatUpdateWouldDoAndWritesNothing() {
  Scratch s;
  makeFiles(s.dir, {"about.htm"}, kAbout);
  makeFiles(s.dir, {"index.htm"}, "none\r\n");
  makeFiles(s.dir, {"news.asp"}, "cat\r\n");
  QFile(s.dir.filePath("news.asp")).setPermissions(QFile::ReadOwner);
  const QString before = files(s.dir);
  QVERIFY(QDir::setCurrent(s.dir.path()));
  MainWindow w;
  for (int row = 0; row < 3; ++row) w.files()->setSelected(row, true);
  QTest::keyClicks(w.text("Text1"), "cat");
  QTest::keyClicks(w.text("Text2"), "dog");
  w.press("CommandPreview", 3);
  w.press("CommandPreview", 3);  // a second press refreshes the one window
  QWidgetList previews;
  for (QWidget* window : QApplication::topLevelWidgets())
    if (window->objectName() == "PreviewWindow" && window->isVisible())
      previews << window;
  QCOMPARE(previews.size(), 1);
  QCOMPARE(previews[0]->findChild<QLabel*>("PreviewSummary")->text(),
           "2 replacements in 1 of 3 selected documents");
  QCOMPARE(files(s.dir), before);
  previews[0]->close();
}

void Form1Test::captionsReadOnWhatLiesBehindThem_data() {
  QTest::addColumn<QPalette>("palette");
  QPalette dark = QStyleFactory::create("Fusion")->standardPalette();
  const QColor window(45, 45, 48), text(220, 220, 220);
  for (auto role : {QPalette::Window, QPalette::Button, QPalette::Base,
                    QPalette::AlternateBase}) {
    dark.setColor(role, window);
  }
  for (auto role : {QPalette::WindowText, QPalette::ButtonText, QPalette::Text})
    dark.setColor(role, text);
  dark.setColor(QPalette::Link, QColor(42, 130, 218));  // dark themes' blue
  QTest::newRow("Fusion light")
      << QStyleFactory::create("Fusion")->standardPalette();
  QTest::newRow("Fusion dark") << dark;
  QTest::newRow("system") << QApplication::palette();
}

void Form1Test::captionsReadOnWhatLiesBehindThem() {
  QFETCH(QPalette, palette);
  const QPalette before = QApplication::palette();
  QStyle* const style = QStyleFactory::create("Fusion");
  QApplication::setStyle(style);
  QApplication::setPalette(palette);
  auto restore = qScopeGuard([&] { QApplication::setPalette(before); });
  MainWindow w;
  w.tabs()->setCurrentIndex(3);
  const QImage shot = w.form.grab().toImage();
  for (const char* name : {"Label8", "Label9"}) {
    QLabel* caption = w.get<QLabel>(name);
    const QRect place(caption->mapTo(&w.form, QPoint(0, 0)), caption->size());
    const QColor behind = commonest(shot.copy(place));
    const QColor ink = caption->palette().color(QPalette::WindowText);
    QVERIFY2(contrast(ink, behind) >= 4.5,
             qPrintable(
                 QString("%1: %2 on %3").arg(name, ink.name(), behind.name())));
  }
}

QTEST_MAIN(Form1Test)
#include "form1_test.moc"
