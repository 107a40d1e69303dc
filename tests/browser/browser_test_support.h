// Helpers for the browser and Form1 tests: a fresh temporary folder, files
// made in it, and messages caught instead of shown.

#ifndef VANTREL_TESTS_BROWSER_BROWSER_TEST_SUPPORT_H_
#define VANTREL_TESTS_BROWSER_BROWSER_TEST_SUPPORT_H_

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <functional>

#include "ui/browser/message_box.h"

namespace testing_support {

inline void makeFiles(const QDir& folder, const QStringList& names,
                      const QByteArray& content = {}) {
  for (const QString& name : names) {
    QFile file(folder.filePath(name));
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(file.fileName()));
    file.write(content);
  }
}

// A temporary folder; the process's current folder is put back afterwards.
struct Scratch {
  QTemporaryDir temp;
  QDir dir{temp.path()};
  QString savedCurrent = QDir::currentPath();
  ~Scratch() { QDir::setCurrent(savedCurrent); }
};

// Records every message while alive instead of showing a box; onMessage
// runs while the box would be open.
struct CaughtMessages {
  QStringList titles, prompts;
  std::function<void()> onMessage;
  ui::MessageHandler previous = ui::setMessageHandler(
      [this](QWidget*, const QString& title, const QString& prompt) {
        titles.push_back(title);
        prompts.push_back(prompt);
        if (onMessage) onMessage();
      });
  ~CaughtMessages() { ui::setMessageHandler(previous); }
};

}  // namespace testing_support

#endif  // VANTREL_TESTS_BROWSER_BROWSER_TEST_SUPPORT_H_
