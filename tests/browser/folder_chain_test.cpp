#include <QComboBox>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "browser_test_support.h"
#include "ui/browser/drive_list.h"
#include "ui/browser/file_list.h"
#include "ui/browser/folder_access.h"
#include "ui/browser/folder_list.h"

using testing_support::CaughtMessages;
using testing_support::makeFiles;

namespace {

// The three lists wired the way a window wires them.
struct Chain {
  Chain() {
    QObject::connect(&drives, &DriveList::changed,
                     [this] { folders.setPath(drives.drive()); });
    QObject::connect(&folders, &FolderList::changed,
                     [this] { files.setPath(folders.path()); });
    drives.follow(&folders);
  }
  bool agree() const {
    return files.path() == folders.path() &&
           drives.drive() ==
               browser::driveOf(folders.path(), browser::localDrives());
  }

  DriveList drives;
  FolderList folders;
  FileList files{QStringLiteral("*.htm")};
};

QStringList shownFolders(const FolderList& list) {
  QStringList names;
  for (QTreeWidgetItemIterator it(const_cast<FolderList*>(&list)); *it; ++it)
    names.push_back((*it)->text(0));
  return names;
}

QTreeWidgetItem* shownItem(const FolderList& list, const QString& name) {
  const auto found =
      list.findItems(name, Qt::MatchExactly | Qt::MatchRecursive);
  return found.isEmpty() ? nullptr : found.first();
}

void doubleClick(FolderList& list, QTreeWidgetItem* item) {
  const QPoint center = list.visualItemRect(item).center();
  // The first click of a double click arrives on its own, as from a user.
  QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, center);
  QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, center);
}

}  // namespace

class FolderChainTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();
  void startsAtTheCurrentFolder();
  void pathHasNoTrailingSeparatorButAtTheRoot_data();
  void pathHasNoTrailingSeparatorButAtTheRoot();
  void showsTheWayDownAndTheSubfolders();
  void settingThePathMovesTheWholeChain();
  void openingNeedsDoubleClickOrEnter();
  void vanishedFolderIsRefusedAndTheListsAgree();
  void pickingAnotherDriveMovesAllThreeLists_data();
  void pickingAnotherDriveMovesAllThreeLists();

 private:
  std::unique_ptr<QTemporaryDir> temp_;
  QDir folder_;
  QString savedCurrent_;
};

void FolderChainTest::init() {
  temp_ = std::make_unique<QTemporaryDir>();
  QVERIFY(temp_->isValid());
  folder_ = QDir(temp_->path());
  savedCurrent_ = QDir::currentPath();
}

void FolderChainTest::cleanup() { QDir::setCurrent(savedCurrent_); }

void FolderChainTest::startsAtTheCurrentFolder() {
  makeFiles(folder_, {"about.htm", "notes.txt"});
  QVERIFY(QDir::setCurrent(folder_.path()));
  Chain chain;
  QCOMPARE(chain.folders.path(), folder_.path());
  QCOMPARE(chain.files.path(), folder_.path());
  QCOMPARE(chain.files.listCount(), 1);
  QCOMPARE(chain.files.list(0), QStringLiteral("about.htm"));
  QVERIFY(chain.agree());
}

void FolderChainTest::pathHasNoTrailingSeparatorButAtTheRoot_data() {
  QTest::addColumn<QString>("suffix");
  QTest::newRow("plain") << QString();
  QTest::newRow("trailing separator") << QStringLiteral("/");
  QTest::newRow("dot segments") << QStringLiteral("/sub/../.");
  QTest::newRow("doubled separators") << QStringLiteral("//");
}

void FolderChainTest::pathHasNoTrailingSeparatorButAtTheRoot() {
  QFETCH(QString, suffix);
  QVERIFY(folder_.mkdir("sub"));
  FolderList list;
  list.setPath(folder_.path() + suffix);
  QCOMPARE(list.path(), folder_.path());

  list.show();
  QVERIFY(QTest::qWaitForWindowExposed(&list));
  QTreeWidgetItem* root = list.topLevelItem(0);
  QCOMPARE(root->text(0), QStringLiteral("/"));
  doubleClick(list, root);
  QCOMPARE(list.path(), QStringLiteral("/"));
}

void FolderChainTest::showsTheWayDownAndTheSubfolders() {
  for (const char* name : {"b10", "b9", "A", ".hidden", "with space", "é"})
    QVERIFY(folder_.mkdir(name));
  makeFiles(folder_, {"file.htm"});
  QVERIFY(QFile::link(folder_.filePath("A"), folder_.filePath("link")));
  FolderList list;
  list.setPath(folder_.path());

  QStringList expected{QStringLiteral("/")};
  expected += folder_.path().split(u'/', Qt::SkipEmptyParts);
  expected += QStringList{"A", "b9", "b10", "é", "link", "with space"};
  QCOMPARE(shownFolders(list), expected);
  QCOMPARE(list.currentItem()->text(0), folder_.dirName());
}

void FolderChainTest::settingThePathMovesTheWholeChain() {
  QVERIFY(folder_.mkdir("web"));
  makeFiles(folder_, {"top.htm", "web/about.htm", "web/index.htm"});
  Chain chain;
  QSignalSpy folderChanges(&chain.folders, &FolderList::changed);
  chain.folders.setPath(folder_.path());
  QCOMPARE(folderChanges.size(), 1);
  QCOMPARE(chain.files.list(0), QStringLiteral("top.htm"));

  chain.files.setSelected(0, true);
  chain.folders.setPath(folder_.path() + "/");  // the same folder
  QCOMPARE(folderChanges.size(), 1);
  QVERIFY(chain.files.selected(0));

  chain.folders.setPath(folder_.filePath("web"));
  QCOMPARE(folderChanges.size(), 2);
  QCOMPARE(chain.files.listCount(), 2);
  QCOMPARE(chain.files.list(0), QStringLiteral("about.htm"));
  QVERIFY(chain.agree());
}

void FolderChainTest::openingNeedsDoubleClickOrEnter() {
  QVERIFY(folder_.mkdir("one"));
  QVERIFY(folder_.mkdir("two"));
  makeFiles(folder_, {"one/a.htm", "two/b.htm", "two/c.htm"});
  Chain chain;
  chain.folders.setPath(folder_.path());
  chain.folders.show();
  QVERIFY(QTest::qWaitForWindowExposed(&chain.folders));
  QSignalSpy folderChanges(&chain.folders, &FolderList::changed);

  QTreeWidgetItem* one = shownItem(chain.folders, "one");
  QVERIFY(one);
  QTest::mouseClick(chain.folders.viewport(), Qt::LeftButton, {},
                    chain.folders.visualItemRect(one).center());
  QCOMPARE(chain.folders.currentItem(), one);
  QTest::keyClick(&chain.folders, Qt::Key_Down);  // highlights "two"
  QCOMPARE(chain.folders.path(), folder_.path());
  QCOMPARE(folderChanges.size(), 0);

  QTest::keyClick(&chain.folders, Qt::Key_Return);
  QCOMPARE(chain.folders.path(), folder_.filePath("two"));
  QCOMPARE(chain.files.listCount(), 2);

  QTreeWidgetItem* parent = shownItem(chain.folders, folder_.dirName());
  QVERIFY(parent);
  doubleClick(chain.folders, parent);
  QCOMPARE(chain.folders.path(), folder_.path());
  doubleClick(chain.folders, shownItem(chain.folders, "one"));
  QCOMPARE(chain.folders.path(), folder_.filePath("one"));
  QCOMPARE(chain.files.list(0), QStringLiteral("a.htm"));
  QCOMPARE(folderChanges.size(), 3);
  QVERIFY(chain.agree());
}

void FolderChainTest::vanishedFolderIsRefusedAndTheListsAgree() {
  QVERIFY(folder_.mkdir("gone"));
  makeFiles(folder_, {"kept.htm"});
  Chain chain;
  chain.folders.setPath(folder_.path());
  chain.folders.show();
  QVERIFY(QTest::qWaitForWindowExposed(&chain.folders));
  QTreeWidgetItem* gone = shownItem(chain.folders, "gone");
  QVERIFY(gone);
  QVERIFY(QDir(folder_.filePath("gone")).removeRecursively());

  CaughtMessages messages;
  QSignalSpy folderChanges(&chain.folders, &FolderList::changed);
  doubleClick(chain.folders, gone);
  QCOMPARE(messages.prompts.size(), 1);
  QCOMPARE(
      messages.prompts[0],
      folder_.filePath("gone") + QStringLiteral(": No such file or directory"));
  QCOMPARE(folderChanges.size(), 0);
  QCOMPARE(chain.folders.path(), folder_.path());
  QVERIFY(!shownItem(chain.folders, "gone"));
  QCOMPARE(chain.files.list(0), QStringLiteral("kept.htm"));
  QVERIFY(chain.agree());
}

void FolderChainTest::pickingAnotherDriveMovesAllThreeLists_data() {
  QTest::addColumn<QString>("current");  // the process's current folder
  QTest::addColumn<QString>("picked");
  QTest::addColumn<QString>("opened");  // empty: refused
  QTest::newRow("opens at the root") << ""
                                     << "drive"
                                     << "drive";
  QTest::newRow("opens at the current folder") << "drive/web/site"
                                               << "drive"
                                               << "drive/web/site";
  QTest::newRow("current folder on another drive") << "other/web"
                                                   << "drive"
                                                   << "drive";
  QTest::newRow("drive that is gone") << ""
                                      << "gone"
                                      << "";
}

void FolderChainTest::pickingAnotherDriveMovesAllThreeLists() {
  QFETCH(QString, current);
  QFETCH(QString, picked);
  QFETCH(QString, opened);
  QVERIFY(folder_.mkpath("drive/web/site"));
  QVERIFY(folder_.mkpath("other/web"));
  makeFiles(folder_, {"drive/root.htm", "drive/web/site/page.htm"});
  const QStringList drives{"/", folder_.filePath("drive"),
                           folder_.filePath("gone"), folder_.filePath("other")};
  const browser::DriveSource saved =
      browser::setDriveSource([drives] { return drives; });
  const auto restore = qScopeGuard([&] { browser::setDriveSource(saved); });
  const QString start = folder_.filePath("other");
  QVERIFY(
      QDir::setCurrent(current.isEmpty() ? start : folder_.filePath(current)));

  Chain chain;
  chain.folders.setPath(start);
  QCOMPARE(chain.drives.drive(), start);
  QSignalSpy driveChanges(&chain.drives, &DriveList::changed);
  CaughtMessages messages;
  const int index = chain.drives.findText(folder_.filePath(picked));
  chain.drives.setCurrentIndex(index);
  emit chain.drives.activated(index);
  QCOMPARE(driveChanges.size(), 1);

  if (opened.isEmpty()) {
    QCOMPARE(messages.prompts,
             QStringList{folder_.filePath(picked) +
                         QStringLiteral(": No such file or directory")});
    QCOMPARE(chain.folders.path(), start);
    QCOMPARE(chain.drives.drive(), start);
    QCOMPARE(chain.drives.currentText(), start);
  } else {
    QVERIFY(messages.prompts.isEmpty());
    QCOMPARE(chain.folders.path(), folder_.filePath(opened));
    QCOMPARE(chain.drives.drive(), folder_.filePath(picked));
  }
  QVERIFY(chain.agree());
}

QTEST_MAIN(FolderChainTest)
#include "folder_chain_test.moc"
