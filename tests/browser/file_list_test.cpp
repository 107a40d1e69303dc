#include "ui/browser/file_list.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <QTest>

#include "browser_test_support.h"

using testing_support::CaughtMessages;
using testing_support::makeFile;
using testing_support::makeFiles;

namespace {

const QString kDocuments = QStringLiteral("*.htm;*.asp;*.hts;*.mv;*.cfm");

QStringList entries(const FileList& list) {
  QStringList names;
  for (int i = 0; i < list.listCount(); ++i) names.push_back(list.list(i));
  return names;
}

QList<int> selectedRows(const FileList& list) {
  QList<int> rows;
  for (int i = 0; i < list.listCount(); ++i)
    if (list.selected(i)) rows.push_back(i);
  return rows;
}

void click(FileList& list, int row, Qt::KeyboardModifiers modifiers = {}) {
  const QRect place = list.visualRect(list.model()->index(row, 0));
  QTest::mouseClick(list.viewport(), Qt::LeftButton, modifiers, place.center());
}

}  // namespace

class FileListTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void listsMatchingFilesOnly_data();
  void listsMatchingFilesOnly();
  void ordersNamesNaturallyIgnoringCase();
  void selectionCarriesBareNamesAsStoredBytes();
  void refreshFollowsTheFolder();
  void settingThePathClearsTheSelection();
  void mouseSelectionIsExtended();
  void keyboardSelectionIsExtended();
  void unreadableFolderIsToldAndListsNothing();
  void stopsAtTheLargestCount();

 private:
  std::unique_ptr<QTemporaryDir> temp_;
  QDir folder_;
};

void FileListTest::init() {
  temp_ = std::make_unique<QTemporaryDir>();
  QVERIFY(temp_->isValid());
  folder_ = QDir(temp_->path());
}

void FileListTest::listsMatchingFilesOnly_data() {
  QTest::addColumn<QString>("pattern");
  QTest::addColumn<QStringList>("expected");
  QTest::newRow("documents")
      << kDocuments
      << QStringList{"a.htm", "b.ASP",     "c.hts",    "d.mv",
                     "e.cfm", "INDEX.HTM", "link.htm", "read-only.htm"};
  QTest::newRow("backups") << QStringLiteral("*.bac") << QStringList{"g.bac"};
}

void FileListTest::listsMatchingFilesOnly() {
  QFETCH(QString, pattern);
  QFETCH(QStringList, expected);
  makeFiles(folder_,
            {"a.htm", "b.ASP", "c.hts", "d.mv", "e.cfm", "f.txt", "g.bac",
             "INDEX.HTM", "page.html", ".hidden.htm", "read-only.htm"});
  QVERIFY(QFile::setPermissions(folder_.filePath("read-only.htm"),
                                QFile::ReadOwner));
  QVERIFY(folder_.mkdir("folder.htm"));
  makeFile(folder_.filePath("folder.htm/inside.htm"));
  QVERIFY(QFile::link(folder_.filePath("a.htm"), folder_.filePath("link.htm")));
  QVERIFY(QFile::link(folder_.filePath("gone.htm"),
                      folder_.filePath("dangling.htm")));
  QVERIFY(QFile::link(folder_.filePath("folder.htm"),
                      folder_.filePath("folder-link.htm")));

  FileList list(pattern);
  list.setPath(folder_.path());
  QCOMPARE(list.pattern(), pattern);
  QCOMPARE(list.path(), folder_.path());
  QCOMPARE(entries(list), expected);
}

void FileListTest::ordersNamesNaturallyIgnoringCase() {
  makeFiles(folder_, {"page10.htm", "page2.htm", "Page1.htm", "apple.htm",
                      "Banana.htm", "page02b.htm"});
  FileList list(kDocuments);
  list.setPath(folder_.path());
  QCOMPARE(entries(list),
           (QStringList{"apple.htm", "Banana.htm", "Page1.htm", "page2.htm",
                        "page02b.htm", "page10.htm"}));
}

void FileListTest::selectionCarriesBareNamesAsStoredBytes() {
  // A Latin-1 name is not valid UTF-8: the run must still get its bytes.
  const QByteArray latin1 = QFile::encodeName(folder_.path()) + "/caf\xe9.htm";
  QFile(QFile::decodeName(latin1)).remove();
  {
    const int fd = ::open(latin1.constData(), O_CREAT | O_WRONLY, 0644);
    QVERIFY(fd >= 0);
    ::close(fd);
  }
  makeFiles(folder_, {"about.htm", "my page.htm", "über.htm"});
  FileList list(kDocuments);
  list.setPath(folder_.path());
  QCOMPARE(list.listCount(), 4);
  list.setSelected(0, true);
  list.setSelected(3, true);

  const engine::Selection selection = list.selection();
  QCOMPARE(selection.size(), std::size_t{4});
  QCOMPARE(selection[0].name, std::string("about.htm"));
  QVERIFY(selection[0].selected);
  QVERIFY(!selection[1].selected);
  QVERIFY(!selection[2].selected);
  QVERIFY(selection[3].selected);
  std::vector<std::string> names;
  for (const engine::Entry& entry : selection) names.push_back(entry.name);
  QVERIFY(std::find(names.begin(), names.end(), "caf\xe9.htm") != names.end());
  QVERIFY(std::find(names.begin(), names.end(),
                    "\xc3\xbc"
                    "ber.htm") != names.end());
  QVERIFY(std::find(names.begin(), names.end(), "my page.htm") != names.end());
  // QTemporaryDir cannot remove a name that is not valid text.
  QCOMPARE(::unlink(latin1.constData()), 0);
}

void FileListTest::refreshFollowsTheFolder() {
  makeFiles(folder_, {"a.htm", "b.htm", "c.htm"});
  FileList list(kDocuments);
  list.setPath(folder_.path());
  list.setSelected(2, true);
  QVERIFY(QFile::remove(folder_.filePath("b.htm")));
  makeFile(folder_.filePath("d.htm"));

  list.refresh();
  QCOMPARE(entries(list), (QStringList{"a.htm", "c.htm", "d.htm"}));
  QVERIFY(selectedRows(list).isEmpty());
}

void FileListTest::settingThePathClearsTheSelection() {
  makeFiles(folder_, {"a.htm", "b.htm"});
  QVERIFY(folder_.mkdir("empty"));
  FileList list(kDocuments);
  list.setPath(folder_.path());
  list.setSelected(1, true);
  list.setPath(folder_.path());
  QVERIFY(selectedRows(list).isEmpty());

  list.setPath(folder_.filePath("empty"));
  QCOMPARE(list.listCount(), 0);
  QVERIFY(list.selection().empty());
  QCOMPARE(list.list(0), QString());
  QVERIFY(!list.selected(0));
}

void FileListTest::mouseSelectionIsExtended() {
  makeFiles(folder_, {"a.htm", "b.htm", "c.htm", "d.htm", "e.htm"});
  FileList list(kDocuments);
  list.setPath(folder_.path());
  list.resize(200, 200);
  list.show();
  QVERIFY(QTest::qWaitForWindowExposed(&list));

  click(list, 1);
  QCOMPARE(selectedRows(list), (QList<int>{1}));
  click(list, 3, Qt::ControlModifier);
  QCOMPARE(selectedRows(list), (QList<int>{1, 3}));
  click(list, 1, Qt::ControlModifier);  // toggles off, keeps the others
  QCOMPARE(selectedRows(list), (QList<int>{3}));
  click(list, 0);  // a plain click selects alone
  QCOMPARE(selectedRows(list), (QList<int>{0}));
  click(list, 2, Qt::ShiftModifier);
  QCOMPARE(selectedRows(list), (QList<int>{0, 1, 2}));
  click(list, 4, Qt::ShiftModifier);  // the block still starts at row 0
  QCOMPARE(selectedRows(list), (QList<int>{0, 1, 2, 3, 4}));
  click(list, 1, Qt::ShiftModifier);  // rows outside the block are cleared
  QCOMPARE(selectedRows(list), (QList<int>{0, 1}));
}

void FileListTest::keyboardSelectionIsExtended() {
  makeFiles(folder_, {"a.htm", "b.htm", "c.htm", "d.htm"});
  FileList list(kDocuments);
  list.setPath(folder_.path());
  list.show();
  QVERIFY(QTest::qWaitForWindowExposed(&list));
  click(list, 0);

  QTest::keyClick(&list, Qt::Key_Down);
  QCOMPARE(selectedRows(list), (QList<int>{1}));
  QTest::keyClick(&list, Qt::Key_Down, Qt::ShiftModifier);
  QTest::keyClick(&list, Qt::Key_Down, Qt::ShiftModifier);
  QCOMPARE(selectedRows(list), (QList<int>{1, 2, 3}));
  QTest::keyClick(&list, Qt::Key_Up);
  QCOMPARE(selectedRows(list), (QList<int>{2}));
}

void FileListTest::unreadableFolderIsToldAndListsNothing() {
  makeFiles(folder_, {"a.htm"});
  FileList list(kDocuments);
  list.setPath(folder_.path());
  QVERIFY(folder_.removeRecursively());

  CaughtMessages messages;
  list.refresh();
  QCOMPARE(list.listCount(), 0);
  QCOMPARE(messages.prompts.size(), 1);
  QVERIFY2(messages.prompts[0].contains(folder_.path()) &&
               messages.prompts[0].contains("No such file or directory"),
           qPrintable(messages.prompts[0]));
}

void FileListTest::stopsAtTheLargestCount() {
  const int kMatching = 32770;
  for (int i = 0; i < kMatching; ++i)
    makeFile(folder_.filePath(QStringLiteral("doc%1.htm").arg(i)));
  makeFiles(folder_, {"other.txt"});
  FileList list(kDocuments);

  CaughtMessages messages;
  list.setPath(folder_.path());
  QCOMPARE(list.listCount(), 32767);
  QCOMPARE(list.list(0), QStringLiteral("doc0.htm"));
  QCOMPARE(list.list(32766), QStringLiteral("doc32766.htm"));
  QCOMPARE(list.selection().size(), std::size_t{32767});
  QCOMPARE(messages.prompts.size(), 1);
  QVERIFY(messages.prompts[0].contains("32767"));
}

QTEST_MAIN(FileListTest)
#include "file_list_test.moc"
