// What the History window's tests share: files of a temporary site, runs
// recorded into the default history, a table's rows as text, a user who
// answers the message and question boxes, and a window on the screen.

#ifndef VANTREL_TESTS_HISTORY_HISTORY_TEST_SUPPORT_H_
#define VANTREL_TESTS_HISTORY_HISTORY_TEST_SUPPORT_H_

#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QtTest>
#include <functional>
#include <memory>

#include "engine/replace_list.h"
#include "engine/update_run.h"
#include "ui/history/history_window.h"
#include "ui/widgets/run_worker.h"

namespace history_test {

inline bool writeFile(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

inline QByteArray readFile(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : "<none>";
}

// Records an update of names in folder into the default history.
inline bool record(const QString& folder, const QStringList& names,
                   const char* from, const char* to) {
  std::unique_ptr<engine::HistoryStore> store;
  if (!engine::OpenHistory(engine::DefaultHistoryPath(), &store).ok())
    return false;
  engine::RunSettings settings{
      store.get(), true, engine::DescribeRules(engine::PlainRules(from, to))};
  engine::Selection entries;
  for (const QString& name : names)
    entries.push_back({name.toStdString(), true});
  engine::SilentReporter quiet;
  return engine::UpdateRun(folder.toStdString(), entries,
                           engine::PlainRules(from, to), quiet,
                           engine::FileSystem::Default(), settings)
             .refusal == engine::RunOutcome::Refusal::kNone;
}

// The cells of columns in every row, joined by " | ".
inline QStringList rows(const QAbstractItemView* view,
                        const QList<int>& columns) {
  QStringList texts;
  for (int row = 0; row < view->model()->rowCount(); ++row) {
    QStringList cells;
    for (int column : columns)
      cells << view->model()->index(row, column).data().toString();
    texts << cells.join(" | ");
  }
  return texts;
}

// While alive, answers each box the program shows, noting it as
// "title|text": a question with answer, a message with its one button,
// after atBox has looked at the windows.  A message must block every
// window, as the run expects.
struct User {
  QStringList boxes;
  QMessageBox::StandardButton answer = QMessageBox::No;
  std::function<void()> atBox;
  QTimer poll;
  User() {
    QObject::connect(&poll, &QTimer::timeout, [this] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box) return;
      if (atBox) atBox();
      const bool message = box->buttons().size() == 1;
      const bool plain = box->icon() == QMessageBox::Information &&
                         box->windowModality() == Qt::ApplicationModal;
      boxes << (!message || plain ? box->windowTitle() + '|' + box->text()
                                  : QStringLiteral("not plain"));
      (message ? box->buttons().front() : box->button(answer))->click();
    });
    poll.start(10);
  }
};

// A History window on the screen, its controls found by name.
struct Shown : HistoryWindow {
  Shown() {
    show();
    if (!QTest::qWaitForWindowExposed(this)) qFatal("no window");
  }
  template <typename T = QPushButton>
  T* get(const char* name) const {
    if (T* child = findChild<T*>(QLatin1String(name))) return child;
    qFatal("no control %s", name);
  }
  QTableView* table(const char* name) const { return get<QTableView>(name); }
  // Clicks the control and waits for the end of the run it may start.
  void press(const char* name) const {
    QTest::mouseClick(get(name), Qt::LeftButton);
    QVERIFY(QTest::qWaitFor([] { return !RunWorker::anyRunning(); }, 60000));
  }
  // The change dialog open now, once a closed one is gone.
  QDialog* change() const {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return findChild<QDialog*>("ChangeDialog");
  }
};

}  // namespace history_test

#endif  // VANTREL_TESTS_HISTORY_HISTORY_TEST_SUPPORT_H_
