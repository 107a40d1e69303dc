// What the restore and About windows' tests share: a temporary folder that
// is the process's current folder for one test, and reading and writing
// its files.

#ifndef VANTREL_TESTS_FORM5_RESTORE_TEST_SUPPORT_H_
#define VANTREL_TESTS_FORM5_RESTORE_TEST_SUPPORT_H_

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace restore_test {

// Makes a fresh temporary folder the current folder, and puts the old one
// back when destroyed.
class CurrentFolder {
 public:
  CurrentFolder() : old_(QDir::currentPath()) {
    ok_ = folder_.isValid() && QDir::setCurrent(folder_.path());
  }
  ~CurrentFolder() { QDir::setCurrent(old_); }

  bool ok() const { return ok_; }
  QString path() const { return folder_.path(); }
  QString file(const QString& name) const { return folder_.filePath(name); }

 private:
  QTemporaryDir folder_;
  QString old_;
  bool ok_ = false;
};

inline bool writeFile(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

inline QByteArray readFile(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<none>");
}

// The folder's file names, sorted, dot files included.
inline QStringList namesIn(const QString& folder) {
  return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

}  // namespace restore_test

#endif  // VANTREL_TESTS_FORM5_RESTORE_TEST_SUPPORT_H_
