// The restore window: its start state at every opening, the refusal of
// "<Choose>", typed types, and restores end to end on a temporary folder.

#include "ui/Form5/form5.h"

#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>

#include "engine/update_run.h"
#include "tests/Form5/restore_test_support.h"
#include "ui/browser/file_list.h"
#include "ui/browser/folder_list.h"

using restore_test::CurrentFolder;
using restore_test::MessageLog;
using restore_test::readFile;
using restore_test::writeFile;

namespace {

const QStringList kTypes = {"HTM", "ASP", "CFM", "HTS", "MV"};

// The controls of one restore window, found as a user's script would.
struct Controls {
  explicit Controls(QWidget* window)
      : folders(window->findChild<FolderList*>("Dir1")),
        files(window->findChild<FileList*>("File1")),
        type(window->findChild<QComboBox*>("Combo1")),
        restore(window->findChild<QPushButton*>("Command1")),
        exit(window->findChild<QPushButton*>("Command2")),
        bar(window->findChild<QProgressBar*>("ProgressBar1")) {}

  bool complete() const {
    return folders && files && type && restore && exit && bar;
  }
  QStringList listed() const {
    QStringList names;
    for (int i = 0; i < files->listCount(); ++i) names << files->list(i);
    return names;
  }
  QStringList items() const {
    QStringList names;
    for (int i = 0; i < type->count(); ++i) names << type->itemText(i);
    return names;
  }
  // As the user does it: click an entry, Ctrl held for the ones after it.
  void select(const QStringList& names) {
    bool first = true;
    for (const QString& name : names) {
      const int row = listed().indexOf(name);
      QVERIFY2(row >= 0, qPrintable(name));
      const QRect place = files->visualRect(files->model()->index(row, 0));
      QTest::mouseClick(files->viewport(), Qt::LeftButton,
                        first ? Qt::NoModifier : Qt::ControlModifier,
                        place.center());
      first = false;
    }
  }
  // Replaces the type box's text by typing, as a user would.
  void typeText(const QString& text) {
    type->setFocus();
    type->lineEdit()->selectAll();
    QTest::keyClick(type->lineEdit(), Qt::Key_Backspace);
    QTest::keyClicks(type->lineEdit(), text);
  }
  void pressRestore() { QTest::mouseClick(restore, Qt::LeftButton); }

  FolderList* folders;
  FileList* files;
  QComboBox* type;
  QPushButton* restore;
  QPushButton* exit;
  QProgressBar* bar;
};

void verifyStartState(QWidget* window, const QString& folder) {
  Controls c(window);
  QVERIFY(c.complete());
  QCOMPARE(window->windowTitle(), QStringLiteral("Form5"));
  QVERIFY(!window->isModal());
  QCOMPARE(c.type->currentText(), QStringLiteral("<Choose>"));
  QCOMPARE(c.items(), kTypes);
  QCOMPARE(c.folders->path(), folder);
  QCOMPARE(c.files->path(), folder);
  QCOMPARE(c.files->selection().size(), std::size_t(c.files->listCount()));
  for (int i = 0; i < c.files->listCount(); ++i) QVERIFY(!c.files->selected(i));
  QCOMPARE(c.bar->value(), c.bar->minimum());
  QCOMPARE(QApplication::focusWidget(), window->findChild<QWidget*>("Drive1"));
}

// A reporter for the update run that a round trip starts; the update's own
// window is tested elsewhere.
class SilentReporter : public engine::RunReporter {
 public:
  void showWorkingOn(const std::string&) override {}
  void showOperation(const std::string&) override {}
  void setProgressRange(int, int) override {}
  void setProgressValue(int) override {}
  void showMessage(const std::string&, const std::string& title) override {
    titles.push_back(title);
  }
  void disableUpdate() override {}
  void refreshList() override {}
  std::vector<std::string> titles;
};

}  // namespace

class Form5Test : public QObject {
  Q_OBJECT
 private slots:
  void startStateAtEveryOpening() {
    CurrentFolder here;
    QVERIFY(here.ok());
    QVERIFY(QDir(here.path()).mkdir("older"));
    QVERIFY(writeFile(here.file("a.bac"), "a"));
    QVERIFY(writeFile(here.file("older/b.bac"), "b"));

    QPointer<QWidget> window = new Form5;
    window->show();
    QVERIFY(QTest::qWaitForWindowActive(window));
    verifyStartState(window, here.path());

    // Leave it in another state, then close it with Exit.
    Controls c(window);
    c.typeText("htm");
    c.type->showPopup();
    c.type->hidePopup();
    c.folders->setPath(here.file("older"));
    c.select({"b.bac"});
    QTest::mouseClick(c.exit, Qt::LeftButton);
    QTRY_VERIFY(window.isNull());

    window = new Form5;
    window->show();
    QVERIFY(QTest::qWaitForWindowActive(window));
    verifyStartState(window, here.path());
    QCOMPARE(Controls(window).listed(), QStringList{"a.bac"});
    delete window;
  }

  void layout_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("geometry");
    QTest::newRow("Drive1") << "Drive1" << QRect(8, 264, 161, 21);
    QTest::newRow("Dir1") << "Dir1" << QRect(8, 8, 161, 246);
    QTest::newRow("File1") << "File1" << QRect(176, 8, 233, 279);
    QTest::newRow("Combo1") << "Combo1" << QRect(176, 332, 233, 21);
    QTest::newRow("Label1") << "Label1" << QRect(176, 312, 201, 17);
    QTest::newRow("Command1") << "Command1" << QRect(8, 296, 161, 25);
    QTest::newRow("Command2") << "Command2" << QRect(8, 328, 161, 25);
    QTest::newRow("ProgressBar1") << "ProgressBar1" << QRect(8, 368, 401, 17);
  }
  void layout() {
    QFETCH(QString, name);
    QFETCH(QRect, geometry);
    Form5 window;
    window.show();
    QCOMPARE(window.size(), QSize(419, 394));
    auto* control = window.findChild<QWidget*>(name);
    QVERIFY(control);
    QCOMPARE(control->geometry(), geometry);
    window.resize(250, 200);
    QCOMPARE(control->geometry(), geometry);
    window.showMaximized();
    QCOMPARE(control->geometry(), geometry);
  }

  void tabOrder() {
    Form5 window;
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    const QStringList expected = {"Dir1",     "File1",    "Combo1",
                                  "Command1", "Command2", "Drive1"};
    QStringList visited;
    for (int i = 0; i < expected.size(); ++i) {
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
      visited << QApplication::focusWidget()->objectName();
    }
    QCOMPARE(visited, expected);
  }

  void accessKeys() {
    CurrentFolder here;
    QVERIFY(here.ok());
    MessageLog log;
    QPointer<Form5> window = new Form5;
    window->show();
    QVERIFY(QTest::qWaitForWindowActive(window));
    // Alt+R presses Restore, whose run refuses "<Choose>".
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_R, Qt::AltModifier);
    QTRY_COMPARE(log.messages.size(), 1);
    QCOMPARE(log.messages[0].title, QStringLiteral("Oops..."));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_E, Qt::AltModifier);
    QTRY_VERIFY(window.isNull());
  }

  void chooseIsRefused() {
    CurrentFolder here;
    QVERIFY(here.ok());
    QVERIFY(writeFile(here.file("a.bac"), "backup a"));
    QVERIFY(writeFile(here.file("a.HTM"), "document a"));
    QVERIFY(writeFile(here.file("b.bac"), "backup b"));
    MessageLog log;
    Form5 window;
    window.show();
    Controls c(&window);
    c.select({"a.bac", "b.bac"});
    // A bar left by an earlier run must keep what it shows.
    window.setProgressRange(0, 7);
    window.setProgressValue(3);

    c.pressRestore();

    QCOMPARE(log.messages.size(), 1);
    QCOMPARE(log.messages[0].title, QStringLiteral("Oops..."));
    QCOMPARE(log.messages[0].prompt,
             QStringLiteral("Please select a file type to restore to."));
    QCOMPARE(readFile(here.file("a.bac")), QByteArray("backup a"));
    QCOMPARE(readFile(here.file("a.HTM")), QByteArray("document a"));
    QCOMPARE(readFile(here.file("b.bac")), QByteArray("backup b"));
    QCOMPARE(restore_test::namesIn(here.path()).size(), 3);
    QCOMPARE(c.bar->minimum(), 0);
    QCOMPARE(c.bar->maximum(), 7);
    QCOMPARE(c.bar->value(), 3);
    // Not read again: a re-read would have cleared the selection.
    QVERIFY(c.files->selected(0));
    QVERIFY(c.files->selected(1));
    QCOMPARE(c.type->currentText(), QStringLiteral("<Choose>"));
  }

  // How the type box's text turns the backup into a document.
  void typeIsUsedAsGiven_data() {
    QTest::addColumn<QString>("typed");  // typed into the box, unless...
    QTest::addColumn<int>("picked");     // ...an entry of its list, or -1
    QTest::addColumn<QString>("backup");
    QTest::addColumn<QString>("existing");  // a document already there
    QTest::addColumn<QString>("restored");
    QTest::newRow("typed htm") << "htm" << -1 << "about.bac"
                               << ""
                               << "about.htm";
    QTest::newRow("typed html") << "html" << -1 << "about.bac"
                                << ""
                                << "about.html";
    QTest::newRow("typed nothing") << "" << -1 << "about.bac"
                                   << ""
                                   << "about.";
    QTest::newRow("typed Choose in other case")
        << "<choose>" << -1 << "about.bac"
        << ""
        << "about.<choose>";
    QTest::newRow("picked HTM") << "" << 0 << "about.bac"
                                << ""
                                << "about.HTM";
    QTest::newRow("picked MV") << "" << 4 << "page.bac"
                               << ""
                               << "page.MV";
    QTest::newRow("picked HTM over about.htm") << "" << 0 << "about.bac"
                                               << "about.htm"
                                               << "about.htm";
    QTest::newRow("typed asp over news.ASP") << "asp" << -1 << "news.bac"
                                             << "news.ASP"
                                             << "news.ASP";
  }
  void typeIsUsedAsGiven() {
    QFETCH(QString, typed);
    QFETCH(int, picked);
    QFETCH(QString, backup);
    QFETCH(QString, existing);
    QFETCH(QString, restored);
    CurrentFolder here;
    QVERIFY(here.ok());
    QVERIFY(writeFile(here.file(backup), "the backup\r\nline two\n"));
    if (!existing.isEmpty()) QVERIFY(writeFile(here.file(existing), "new"));
    MessageLog log;
    Form5 window;
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    Controls c(&window);
    c.select({backup});
    if (picked >= 0) {
      c.type->setCurrentIndex(picked);
    } else {
      c.typeText(typed);
    }

    c.pressRestore();

    QCOMPARE(log.messages.size(), 1);
    QCOMPARE(log.messages[0].title, QStringLiteral("Complete."));
    QCOMPARE(log.messages[0].prompt,
             QStringLiteral("1 archived files successfully restored."));
    QCOMPARE(restore_test::namesIn(here.path()), QStringList{restored});
    QCOMPARE(readFile(here.file(restored)),
             QByteArray("the backup\r\nline two\n"));
  }

  void restoreEndToEnd() {
    CurrentFolder here;
    QVERIFY(here.ok());
    const QStringList backups = {"about.bac", "index.bac", "news.bac",
                                 "old.bac", "zeta.bac"};
    for (const QString& name : backups) {
      QVERIFY(writeFile(here.file(name), "saved " + name.toUtf8()));
    }
    // Not backups the window can list: no dot before "bac", hidden, other.
    for (const char* name : {"pagebac", ".hidden.bac", "notes.txt"}) {
      QVERIFY(writeFile(here.file(name), "other"));
    }
    MessageLog log;
    Form5 window;
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    Controls c(&window);
    QCOMPARE(c.listed(), backups);
    c.select({"about.bac", "news.bac"});
    c.type->setCurrentIndex(kTypes.indexOf("HTM"));
    QStringList listedAtMessage;
    int barAtMessage = -1;
    log.onMessage = [&] {
      listedAtMessage = c.listed();
      barAtMessage = c.bar->value();
    };

    c.pressRestore();

    QCOMPARE(log.messages.size(), 1);
    QCOMPARE(log.messages[0].title, QStringLiteral("Complete."));
    QCOMPARE(log.messages[0].prompt,
             QStringLiteral("2 archived files successfully restored."));
    const QStringList left = {"index.bac", "old.bac", "zeta.bac"};
    QCOMPARE(listedAtMessage, left);
    QCOMPARE(barAtMessage, 0);
    QCOMPARE(c.bar->minimum(), 0);
    QCOMPARE(c.bar->maximum(), backups.size());
    QCOMPARE(readFile(here.file("about.HTM")), QByteArray("saved about.bac"));
    QCOMPARE(readFile(here.file("news.HTM")), QByteArray("saved news.bac"));
    for (const QString& name : left) {
      QCOMPARE(readFile(here.file(name)), "saved " + name.toUtf8());
    }
    QCOMPARE(restore_test::namesIn(here.path()).size(), 8);
  }

  void nothingToRestore_data() {
    QTest::addColumn<QStringList>("backups");
    QTest::newRow("empty folder") << QStringList{};
    QTest::newRow("none selected") << QStringList{"a.bac", "b.bac"};
  }
  void nothingToRestore() {
    QFETCH(QStringList, backups);
    CurrentFolder here;
    QVERIFY(here.ok());
    for (const QString& name : backups)
      QVERIFY(writeFile(here.file(name), "x"));
    MessageLog log;
    Form5 window;
    window.show();
    Controls c(&window);
    c.typeText("HTM");

    c.pressRestore();

    QCOMPARE(log.messages.size(), 1);
    QCOMPARE(log.messages[0].title, QStringLiteral("Complete."));
    QCOMPARE(log.messages[0].prompt,
             QStringLiteral("0 archived files successfully restored."));
    QCOMPARE(restore_test::namesIn(here.path()), backups);
    QCOMPARE(c.bar->value(), c.bar->minimum());
  }

  // An update by the engine, undone in the window, gives back every
  // document byte for byte.
  void undoesAnUpdate() {
    CurrentFolder here;
    QVERIFY(here.ok());
    const QByteArray about = "<p>A cat sat.</p>\r\ncat\rCAT\n<b>cat</b>\r\n";
    const QByteArray news = "no cats here\r\nconcatenate\r\n";
    const QByteArray index = "left alone, cat\r\n";
    QVERIFY(writeFile(here.file("about.htm"), about));
    QVERIFY(writeFile(here.file("news.asp"), news));
    QVERIFY(writeFile(here.file("index.htm"), index));
    SilentReporter updateReporter;
    const engine::Selection picked = {
        {"about.htm", true}, {"index.htm", false}, {"news.asp", true}};
    QCOMPARE(engine::UpdateRun(QFile::encodeName(here.path()).toStdString(),
                               picked, "cat", "dog", updateReporter),
             2);
    QVERIFY(readFile(here.file("about.htm")) != about);

    MessageLog log;
    Form5 window;
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    Controls c(&window);
    QCOMPARE(c.listed(), (QStringList{"about.bac", "news.bac"}));
    c.select({"about.bac"});
    c.type->setCurrentIndex(kTypes.indexOf("HTM"));
    c.pressRestore();
    c.select({"news.bac"});
    c.type->setCurrentIndex(kTypes.indexOf("ASP"));
    c.pressRestore();

    QCOMPARE(log.messages.size(), 2);
    QCOMPARE(restore_test::namesIn(here.path()),
             (QStringList{"about.htm", "index.htm", "news.asp"}));
    QCOMPARE(readFile(here.file("about.htm")), about);
    QCOMPARE(readFile(here.file("news.asp")), news);
    QCOMPARE(readFile(here.file("index.htm")), index);
    QVERIFY(c.listed().isEmpty());
  }

  void folderChainFollowsDir1() {
    CurrentFolder here;
    QVERIFY(here.ok());
    QVERIFY(QDir(here.path()).mkdir("sub"));
    QVERIFY(writeFile(here.file("sub/in-sub.bac"), "x"));
    QVERIFY(writeFile(here.file("top.bac"), "x"));
    Form5 window;
    Controls c(&window);
    QCOMPARE(c.listed(), QStringList{"top.bac"});
    c.folders->setPath(here.file("sub"));
    QCOMPARE(c.files->path(), here.file("sub"));
    QCOMPARE(c.listed(), QStringList{"in-sub.bac"});
  }

  // The one case that goes through a real message box, closed from here.
  void messageIsAnInformationBox() {
    CurrentFolder here;
    QVERIFY(here.ok());
    Form5 window;
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QString title, text;
    int buttons = 0;
    bool information = false, applicationModal = false;
    QTimer::singleShot(0, this, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box) return;
      title = box->windowTitle();
      text = box->text();
      buttons = box->buttons().size();
      information = box->icon() == QMessageBox::Information;
      applicationModal = box->windowModality() == Qt::ApplicationModal;
      box->button(QMessageBox::Ok)->click();
    });
    Controls(&window).pressRestore();
    QCOMPARE(title, QStringLiteral("Oops..."));
    QCOMPARE(text, QStringLiteral("Please select a file type to restore to."));
    QCOMPARE(buttons, 1);
    QVERIFY(information);
    QVERIFY(applicationModal);
  }
};

QTEST_MAIN(Form5Test)
#include "form5_test.moc"
