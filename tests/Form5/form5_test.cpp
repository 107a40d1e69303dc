#include <sys/xattr.h>

#include <cstring>
// The restore window: the refusal of "<Choose>", typed types and a restore
// end to end on a temporary folder; and, beside the main window, one window
// of each kind, a fresh start at every opening, and the closing order.

#include <sys/xattr.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTextBlock>
#include <QTextBrowser>
#include <QtTest>
#include <cstring>
#include <functional>

#include "tests/Form1/form1_test_support.h"
#include "tests/Form5/restore_test_support.h"
#include "ui/Form1/form1.h"
#include "ui/Form5/form5.h"
#include "ui/browser/file_list.h"
#include "ui/browser/folder_list.h"
#include "ui/widgets/run_worker.h"

using restore_test::CurrentFolder;
using restore_test::namesIn;
using restore_test::readFile;
using restore_test::writeFile;

namespace {

// The one open window of ours by that objectName, else nullptr.
QWidget* openWindow(const QString& name) {
  QWidgetList found;
  for (QWidget* window : QApplication::topLevelWidgets()) {
    if (window->objectName() == name && window->isVisible()) found << window;
  }
  return found.size() == 1 ? found[0] : nullptr;
}

// Clicks the button, then lets WA_DeleteOnClose take effect.
void press(QWidget* window, const char* name) {
  auto* button = window ? window->findChild<QPushButton*>(name) : nullptr;
  QVERIFY2(button, name);
  button->click();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

QStringList rows(const QAbstractItemModel* model) {
  QStringList texts;
  for (int i = 0; i < model->rowCount(); ++i)
    texts << model->index(i, 0).data().toString();
  return texts;
}

// A restore window's controls, found by name as a user's script would.
struct Restore {
  QWidget* window;
  FolderList* folders = window->findChild<FolderList*>("Dir1");
  FileList* files = window->findChild<FileList*>("File1");
  QComboBox* type = window->findChild<QComboBox*>("Combo1");
  QProgressBar* bar = window->findChild<QProgressBar*>("ProgressBar1");

  QStringList listed() const { return rows(files->model()); }
  void select(const QStringList& names) {
    for (const QString& name : names)
      files->setSelected(listed().indexOf(name), true);
  }
  // Presses Restore and answers each message box the run opens, after
  // atMessage has looked at the window, until the run has ended.  Returns
  // "title|text" of each box, as long as it is a plain information box
  // that blocks every window.
  QStringList pressRestore(const std::function<void()>& atMessage = {}) {
    QStringList shown;
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box) return;
      if (atMessage) atMessage();
      const bool plain = box->icon() == QMessageBox::Information &&
                         box->buttons().size() == 1 &&
                         box->windowModality() == Qt::ApplicationModal;
      shown << (plain ? box->windowTitle() + '|' + box->text() : "not plain");
      box->done(QMessageBox::Ok);
    });
    answer.start(0);
    // With the mouse, which takes the focus from the type box.
    QTest::mouseClick(window->findChild<QPushButton*>("Command1"),
                      Qt::LeftButton);
    if (!QTest::qWaitFor([] { return !RunWorker::anyRunning(); }, 60000))
      shown << "still running";
    return shown;
  }
};

}  // namespace

class Form5Test : public QObject {
  Q_OBJECT
 private slots:
  // A selected backup, and beside it a document that only a fault would
  // touch.
  void restoreTakesTheTypeAsGiven_data() {
    // Picked from the list if it holds the type exactly, else typed; none
    // leaves "<Choose>".
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("restored");  // where the backup's bytes end
    QTest::addColumn<QString>("message");
    const QString done = "Complete.|1 archived files successfully restored.";
    QTest::newRow("<Choose> refused")
        << QString() << "about.bac"
        << "Oops...|Please select a file type to restore to.";
    QTest::newRow("typed htm") << QString("htm") << "about.htm" << done;
    QTest::newRow("picked HTM") << QString("HTM") << "about.HTM" << done;
  }
  void restoreTakesTheTypeAsGiven() {
    QFETCH(QString, type);
    QFETCH(QString, restored);
    QFETCH(QString, message);
    CurrentFolder here;
    QVERIFY(here.ok());
    QVERIFY(writeFile(here.file("about.bac"), "the backup\r\nline two\n"));
    QVERIFY(writeFile(here.file("index.HTM"), "document"));
    Form5 window;
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    Restore w{&window};
    w.select({"about.bac"});
    w.type->setFocus();
    w.type->lineEdit()->selectAll();
    if (w.type->findText(type) >= 0)
      w.type->setCurrentIndex(w.type->findText(type));
    else
      QTest::keyClicks(w.type->lineEdit(), type);

    QCOMPARE(w.pressRestore(), QStringList{message});
    QCOMPARE(namesIn(here.path()), (QStringList{restored, "index.HTM"}));
    QCOMPARE(readFile(here.file(restored)), "the backup\r\nline two\n");
    QCOMPARE(readFile(here.file("index.HTM")), "document");
  }

  // Backups that record their documents come back in one run, whatever
  // their types; "As recorded" is chosen for them.
  void recordedBackupsGoBackAsRecorded() {
    CurrentFolder here;
    QVERIFY(here.ok());
    for (const auto& [backup, document] : {std::pair{"about.bac", "about.asp"},
                                           {"page.html.bac", "page.html"}}) {
      QVERIFY(writeFile(here.file(backup), document));
      if (::setxattr(here.file(backup).toLocal8Bit().constData(),
                     "user.vantrel.document", document, std::strlen(document),
                     0) != 0) {
        QSKIP("no extended attributes here");
      }
    }
    Form5 window;
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    Restore w{&window};
    QCOMPARE(w.type->currentText(), QString("As recorded"));
    w.select({"about.bac", "page.html.bac"});
    QCOMPARE(w.pressRestore(),
             QStringList{"Complete.|2 archived files successfully restored."});
    QCOMPARE(namesIn(here.path()), (QStringList{"about.asp", "page.html"}));
    QCOMPARE(readFile(here.file("page.html")), "page.html");
  }

  // A three-level site, updated and then restored from the windows with
  // subfolders included: every byte comes back.
  void aWholeSiteGoesAndComesBack() {
    CurrentFolder here;
    QVERIFY(here.ok() && QDir(here.path()).mkpath("a/b/c"));
    const QStringList documents = {"index.htm", "a/x.htm", "a/b/y.htm",
                                   "a/b/c/z.htm"};
    for (const QString& name : documents)
      QVERIFY(writeFile(here.file(name), "cat\n" + name.toUtf8()));
    testing_support::MainWindow main;
    testing_support::CaughtMessages messages;
    main.get<QCheckBox>("CheckSubfolders")->setChecked(true);
    QCOMPARE(main.files()->listCount(), 4);
    for (int row = 0; row < 4; ++row) main.files()->setSelected(row, true);
    QTest::keyClicks(main.text("Text1"), "cat");
    QTest::keyClicks(main.text("Text2"), "dog");
    main.press("Command5", 3);
    QCOMPARE(messages.titles, QStringList{"Job Complete."});
    QCOMPARE(readFile(here.file("a/b/c/z.bac")), "cat\na/b/c/z.htm");

    Form5 window;
    Restore w{&window};
    w.folders->setPath(here.path());
    window.findChild<QCheckBox*>("CheckSubfolders")->setChecked(true);
    QCOMPARE(w.listed(),
             (QStringList{"index.bac", "a/x.bac", "a/b/y.bac", "a/b/c/z.bac"}));
    w.select(w.listed());
    w.type->setCurrentIndex(w.type->findText("HTM"));
    w.pressRestore();
    QCOMPARE(messages.prompts.last(),
             "4 archived files successfully restored.");
    for (const QString& name : documents)
      QCOMPARE(readFile(here.file(name)), "cat\n" + name.toUtf8());
    QCOMPARE(namesIn(here.file("a/b/c")), QStringList{"z.htm"});
  }

  void restoreEndToEnd() {
    CurrentFolder here;
    QVERIFY(here.ok() && QDir(here.path()).mkdir("web"));
    const QStringList backups = {"about.bac", "index.bac", "news.bac"};
    // Not backups the window can list: no dot before "bac", hidden, other.
    for (const QString& name :
         backups + QStringList{"pagebac", ".hidden.bac", "notes.txt"}) {
      QVERIFY(writeFile(here.file("web/" + name), "saved " + name.toUtf8()));
    }
    Form5 window;
    Restore w{&window};
    // The list, and the restore, follow the folder that Dir1 shows.
    w.folders->setPath(here.file("web"));
    QCOMPARE(w.listed(), backups);
    w.select({"about.bac", "news.bac"});
    w.type->setCurrentIndex(w.type->findText("HTM"));
    // The list, and how far the bar is filled, when the message shows.
    QStringList atMessage;
    const QStringList shown = w.pressRestore([&] {
      atMessage = w.listed()
                  << QString::number(w.bar->value() - w.bar->minimum());
    });

    QCOMPARE(shown,
             QStringList{"Complete.|2 archived files successfully restored."});
    QCOMPARE(atMessage, (QStringList{"index.bac", "0"}));
    QCOMPARE(namesIn(here.file("web")),
             (QStringList{".hidden.bac", "about.HTM", "index.bac", "news.HTM",
                          "notes.txt", "pagebac"}));
    QCOMPARE(readFile(here.file("web/about.HTM")), "saved about.bac");
    QCOMPARE(readFile(here.file("web/news.HTM")), "saved news.bac");
  }

  // During a run Escape stops it rather than closing the window; the
  // backups after the first stay.
  void escapeStopsARun() {
    CurrentFolder here;
    QVERIFY(here.ok());
    for (const char* name : {"a.bac", "b.bac", "c.bac"})
      QVERIFY(writeFile(here.file(name), name));
    testing_support::BusyUser<Form5> window;
    window.atFirstDocument = [&] { QTest::keyClick(&window, Qt::Key_Escape); };
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    Restore w{&window};
    w.select({"a.bac", "b.bac", "c.bac"});
    w.type->setCurrentIndex(w.type->findText("HTM"));
    const QStringList shown = w.pressRestore();
    QVERIFY2(shown.size() == 1 && shown[0].startsWith("Stopped.|"),
             qPrintable(shown.join('\n')));
    QCOMPARE(namesIn(here.path()), (QStringList{"a.HTM", "b.bac", "c.bac"}));
    QVERIFY(window.isVisible());
  }

  // F1 shows the one help window at its contents, from the main window and
  // from the restore window.  Escape closes the help, About and restore
  // windows, never the main window.
  void keysForHelpAndClosing() {
    CurrentFolder here;
    QByteArray help = "<a name=\"contents\"></a><h1>Contents</h1>";
    for (int i = 0; i < 200; ++i) help += "<p>topic</p>";
    QVERIFY(here.ok() && writeFile(here.file("VANTREL.hlp"), help));
    Form1 main;
    main.show();
    press(&main, "Command6");
    press(&main, "Command2");
    QPointer<QWidget> restore = openWindow("Form5"),
                      about = openWindow("Form2");
    QStringList shown;  // the help's top line, after F1 from each window
    for (QWidget* window : {static_cast<QWidget*>(&main), restore.data()}) {
      window->activateWindow();
      QVERIFY(QTest::qWaitForWindowActive(window));
      QTest::keyClick(window, Qt::Key_F1);
      QVERIFY(openWindow("HelpWindow"));
      auto* text = openWindow("HelpWindow")->findChild<QTextBrowser*>();
      shown << text->cursorForPosition({0, 0}).block().text();
      text->verticalScrollBar()->setValue(text->verticalScrollBar()->maximum());
    }
    QCOMPARE(shown, (QStringList{"Contents", "Contents"}));
    QPointer<QWidget> helpWindow = openWindow("HelpWindow");
    for (QWidget* window : {helpWindow.data(), about.data(), restore.data(),
                            static_cast<QWidget*>(&main)}) {
      window->activateWindow();
      QVERIFY(QTest::qWaitForWindowActive(window));
      QTest::keyClick(window, Qt::Key_Escape);
      QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    QVERIFY(!helpWindow && !about && !restore && main.isVisible());
  }

  // The main window opens one restore window and one About window and
  // brings the open one to the front when asked again (neither is modal,
  // so the main window still takes the focus).  The restore window starts
  // afresh at every opening.  The main window closes first without ending
  // the program, which runs its event loop here since only a running
  // program can end: it must end with its last window.
  void windowsBesideTheMainWindow() {
    CurrentFolder here;
    QVERIFY(here.ok() && QDir(here.path()).mkdir("sub"));
    auto* main = new Form1;
    main->setAttribute(Qt::WA_DeleteOnClose);
    main->show();
    const QList<QPair<const char*, QString>> kinds = {{"Command6", "Form5"},
                                                      {"Command2", "Form2"}};
    for (const auto& [button, name] : kinds) {
      press(main, button);
      QPointer<QWidget> first = openWindow(name);
      QVERIFY(first && QTest::qWaitForWindowActive(first));
      main->activateWindow();
      QVERIFY(QTest::qWaitForWindowActive(main));
      press(main, button);
      QCOMPARE(openWindow(name), first.data());
      QVERIFY(QTest::qWaitForWindowActive(first));
    }
    // Left with another type, a full bar and another folder, then closed
    // with Exit.
    for (int opening = 1; opening <= 2; ++opening) {
      QVERIFY(openWindow("Form5"));
      Restore w{openWindow("Form5")};
      QCOMPARE(w.type->currentText(), QStringLiteral("<Choose>"));
      QCOMPARE(rows(w.type->model()),
               (QStringList{"As recorded", "HTM", "ASP", "CFM", "HTS", "MV"}));
      QCOMPARE(w.bar->value(), w.bar->minimum());
      QCOMPARE(w.files->path(), here.path());
      w.type->setCurrentIndex(2);
      w.bar->setValue(w.bar->maximum());
      w.folders->setPath(here.file("sub"));
      press(w.window, "Command2");
      press(main, "Command6");
    }

    QPointer<QWidget> restore = openWindow("Form5"),
                      about = openWindow("Form2");
    QSignalSpy lastClosed(qApp, &QGuiApplication::lastWindowClosed);
    // Whether both others are open after the main window closes, then how
    // often the program was told to end after that and after the About
    // window closes.
    QList<int> seen;
    QTimer::singleShot(0, this, [&] {
      press(main, "Command1");
      seen << (restore && restore->isVisible() && about && about->isVisible())
           << lastClosed.count();
      press(about, "Command1");
      seen << lastClosed.count();
      press(restore, "Command2");
    });
    QTimer safety;  // only a safety net, should the program never end
    connect(&safety, &QTimer::timeout, [] { QCoreApplication::exit(2); });
    safety.start(20000);

    QCOMPARE(QApplication::exec(), 0);
    QCOMPARE(seen, (QList<int>{true, 0, 0}));
    QCOMPARE(lastClosed.count(), 1);
  }
};

QTEST_MAIN(Form5Test)
#include "form5_test.moc"
