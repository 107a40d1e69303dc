// The History window over a temporary history and settings: the runs and
// their documents' states, a document's change, undo through the button,
// forget after asking, the limits, and the two settings, which stay usable
// when the history cannot be opened.

#include <QCheckBox>
#include <QLabel>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTreeView>

#include "tests/history/history_test_support.h"

using namespace history_test;

class HistoryWindowTest : public QObject {
  Q_OBJECT
  QTemporaryDir config_;
  std::unique_ptr<QTemporaryDir> state_, site_;
  QString file(const QString& name) const { return site_->filePath(name); }

 private slots:
  void initTestCase() {
    // Never the user's own history or settings.
    QVERIFY(config_.isValid());
    qputenv("XDG_CONFIG_HOME", config_.path().toLocal8Bit());
    QCoreApplication::setApplicationName("vantrel");
  }
  void init() {
    state_ = std::make_unique<QTemporaryDir>();
    site_ = std::make_unique<QTemporaryDir>();
    QVERIFY(state_->isValid() && site_->isValid());
    qputenv("XDG_STATE_HOME", state_->path().toLocal8Bit());
  }

  void listsRunsAndTheirDocumentsNow() {
    for (const QString name : {"a", "b", "c", "d"})
      QVERIFY(writeFile(file(name + ".htm"), "cat " + name.toUtf8()));
    QVERIFY(writeFile(file("e.htm"), "one"));
    QVERIFY(record(site_->path(), {"a.htm", "b.htm", "c.htm", "d.htm"}, "cat",
                   "dog"));
    QVERIFY(record(site_->path(), {"e.htm"}, "one", "1"));
    QVERIFY(writeFile(file("b.htm"), "by hand") &&
            QFile::remove(file("c.htm")));
    QVERIFY(writeFile(file("d.htm"), "cat d"));
    Shown w;
    QTableView* documents = w.table("TableDocuments");
    const QString in = site_->path() + " | replace ";
    QCOMPARE(rows(w.table("TableRuns"), {1, 2, 3, 4}),
             (QStringList{in + R"("one" with "1" | 1 | complete)",
                          in + R"("cat" with "dog" | 4 | complete)"}));
    QVERIFY(!rows(w.table("TableRuns"), {0})[0].isEmpty());
    w.table("TableRuns")->selectRow(1);
    QCOMPARE(rows(documents, {0, 1}),
             (QStringList{file("a.htm") + " | as the run left it",
                          file("b.htm") + " | changed since",
                          file("c.htm") + " | missing",
                          file("d.htm") + " | already as before"}));

    w.press("CommandShowChange");  // of the first document, selected
    QVERIFY(w.change() && w.change()->isVisible());
    QCOMPARE(rows(w.change()->findChild<QTreeView*>(), {0}),
             (QStringList{file("a.htm"), "cat a", "dog a"}));
    QVERIFY(w.change()->findChild<QLabel*>("LabelNoAfter")->isHidden());
    w.change()->close();
    // One changed since has no content after on disk any more.
    const QPoint at =
        documents->visualRect(documents->model()->index(1, 0)).center();
    QTest::mouseClick(documents->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(documents->viewport(), Qt::LeftButton, {}, at);
    QVERIFY(w.change() && w.change()->isVisible());
    QVERIFY(w.change()
                ->findChild<QLabel*>("LabelNoAfter")
                ->text()
                .contains("no longer on disk: the document is changed since"));
    QCOMPARE(w.change()->findChild<QTreeView*>()->model()->rowCount(), 0);
  }

  void undoesARunThroughTheButton() {
    QVERIFY(writeFile(file("a.htm"), "cat\n") &&
            writeFile(file("b.htm"), "cat\n"));
    QVERIFY(record(site_->path(), {"a.htm", "b.htm"}, "cat", "dog"));
    QVERIFY(writeFile(file("b.htm"), "by hand\n"));
    Shown w;
    User user;
    QStringList during;  // the button under the lists at each message
    user.atBox = [&] {
      during << (w.get("CommandStop")->isVisible() ? "Stop" : "no Stop");
    };
    w.press("CommandUndoRun");
    QCOMPARE(during, QStringList(2, "Stop"));
    QCOMPARE(user.boxes.size(), 2);
    QVERIFY(
        user.boxes[0].startsWith("Oops..|This document was left as it is:"));
    QCOMPARE(user.boxes[1],
             "Undo Complete.|1 of the run's 2 documents were put "
             "back as they were before it.");
    QCOMPARE(readFile(file("a.htm")) + readFile(file("b.htm")),
             "cat\nby hand\n");
    // The undo is the newest run; the undone run stays selected.
    QCOMPARE(rows(w.table("TableRuns"), {2, 3, 4}),
             (QStringList{"undo of run 1 | 1 | complete",
                          R"(replace "cat" with "dog" | 2 | complete)"}));
    QCOMPARE(rows(w.table("TableDocuments"), {1}),
             (QStringList{"already as before", "changed since"}));
    QVERIFY(w.get("CommandClose")->isVisible());
    QVERIFY(!w.get("CommandStop")->isVisible());
  }

  void forgetsARunAfterAskingAndKeepsTheLimits() {
    QVERIFY(writeFile(file("a.htm"), "cat dog"));
    QVERIFY(record(site_->path(), {"a.htm"}, "cat", "cow"));
    QVERIFY(record(site_->path(), {"a.htm"}, "dog", "pig"));
    Shown w;
    w.table("TableRuns")->selectRow(1);
    User user;
    w.press("CommandForget");  // answered No
    QCOMPARE(w.table("TableRuns")->model()->rowCount(), 2);
    user.answer = QMessageBox::Yes;
    w.press("CommandForget");
    QCOMPARE(user.boxes, QStringList(2,
                                     "History|Forget run 1? Its documents "
                                     "stay as they are; the run can no "
                                     "longer be undone."));
    QCOMPARE(rows(w.table("TableRuns"), {2}),
             QStringList{R"(replace "dog" with "pig")"});
    QCOMPARE(readFile(file("a.htm")), "cow pig");

    QVERIFY(w.get<QLabel>("LabelSpace")->text().endsWith(" used"));
    QCOMPARE(w.get<QSpinBox>("SpinGigabytes")->value(), 2);
    QCOMPARE(w.get<QSpinBox>("SpinRuns")->value(), 200);
    QVERIFY(!w.get("CommandApplyLimits")->isEnabled());
    QVERIFY(record(site_->path(), {"a.htm"}, "pig", "hen"));
    w.get<QSpinBox>("SpinRuns")->setValue(1);
    w.press("CommandApplyLimits");  // which drops the older run at once
    QCOMPARE(rows(w.table("TableRuns"), {2}),
             QStringList{R"(replace "pig" with "hen")"});
    std::unique_ptr<engine::HistoryStore> store;
    engine::HistoryLimits limits;
    QVERIFY(engine::OpenHistory(engine::DefaultHistoryPath(), &store).ok() &&
            store->GetLimits(&limits).ok());
    QCOMPARE(limits.runs, 1);
    QCOMPARE(user.boxes.size(), 2);  // the questions alone
  }

  // A history that cannot be opened is told, and leaves the settings
  // usable; both turned off are warned of, and kept for the next opening.
  void theSettingsWithoutAHistory() {
    QVERIFY(HistoryWindow::recordingOn() && HistoryWindow::keepBackups());
    const QString blocker = state_->filePath("not-a-folder");
    QVERIFY(writeFile(blocker, "x"));
    qputenv("XDG_STATE_HOME", blocker.toLocal8Bit());
    User user;
    for (const bool first : {true, false}) {
      Shown w;
      QVERIFY(QTest::qWaitFor([&] { return user.boxes.size() == 1; }));
      QVERIFY(user.boxes[0].startsWith("Oops..|" + blocker +
                                       "/vantrel/history.sqlite: "));
      QVERIFY(user.boxes[0].endsWith(
          "\nTurn recording off below to go on without the history."));
      QCOMPARE(w.get<QLabel>("LabelError")->text(),
               user.boxes.takeFirst().mid(7));
      for (const char* name : {"TableRuns", "CommandUndoRun", "CommandForget",
                               "CommandShowChange", "SpinRuns"})
        QVERIFY2(!w.get<QWidget>(name)->isEnabled(), name);
      auto* record = w.get<QCheckBox>("CheckRecording");
      auto* backups = w.get<QCheckBox>("CheckKeepBackups");
      QCOMPARE(record->isChecked() || backups->isChecked(), first);
      QCOMPARE(w.get<QLabel>("LabelNeither")->isVisible(), !first);
      if (first) {
        record->click();
        QVERIFY(!w.get<QLabel>("LabelNeither")->isVisible());
        backups->click();
        QVERIFY(w.get<QLabel>("LabelNeither")->isVisible());
      }
    }
    QVERIFY(!HistoryWindow::recordingOn() && !HistoryWindow::keepBackups());
    QVERIFY(QFile::exists(config_.filePath("vantrel/vantrel.conf")));
  }
};

QTEST_MAIN(HistoryWindowTest)
#include "history_window_test.moc"
