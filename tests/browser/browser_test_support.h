// Helpers for the list tests: files made in a fresh temporary folder, and
// messages caught instead of shown.

#ifndef VANTREL_TESTS_BROWSER_BROWSER_TEST_SUPPORT_H_
#define VANTREL_TESTS_BROWSER_BROWSER_TEST_SUPPORT_H_

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QTest>

#include "ui/browser/message_box.h"

namespace testing_support {

inline void makeFile(const QString& path, const QByteArray& content = {}) {
  QFile file(path);
  QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(path));
  file.write(content);
}

inline void makeFiles(const QDir& folder, const QStringList& names) {
  for (const QString& name : names) makeFile(folder.filePath(name));
}

// Records every message while alive instead of showing a box.
class CaughtMessages {
 public:
  CaughtMessages() {
    previous_ = ui::setMessageHandler(
        [this](QWidget*, const QString& title, const QString& prompt) {
          titles.push_back(title);
          prompts.push_back(prompt);
        });
  }
  ~CaughtMessages() { ui::setMessageHandler(previous_); }

  QStringList titles;
  QStringList prompts;

 private:
  ui::MessageHandler previous_;
};

}  // namespace testing_support

#endif  // VANTREL_TESTS_BROWSER_BROWSER_TEST_SUPPORT_H_
