#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QTest>

#include "browser_test_support.h"
#include "ui/browser/code_page.h"
#include "ui/browser/file_list.h"
#include "ui/browser/folder_list.h"
#include "ui/browser/name_pattern.h"

using namespace testing_support;

namespace {

const QString kDocuments = QStringLiteral("*.htm;*.asp;*.hts;*.mv;*.cfm");

// The names a file list hands to a run, as stored.
QByteArray names(const FileList& list) {
  QByteArray names;
  for (const engine::Entry& entry : list.selection())
    names += QByteArray::fromStdString(entry.name) + ' ';
  return names;
}

QList<int> selectedRows(const FileList& list) {
  QList<int> rows;
  for (int i = 0; i < list.listCount(); ++i)
    if (list.selected(i)) rows.push_back(i);
  return rows;
}

}  // namespace

class BrowserTest : public QObject {
  Q_OBJECT

 private slots:
  void patternMatchesWholeNamesIgnoringCase_data();
  void patternMatchesWholeNamesIgnoringCase();
  void fileListFollowsTheFolderAndExtendsSelections();
  void fileListStopsAtTheLargestCount();
  void foldersKeepTheirBytes();
  void subfoldersListTheWholeTree();
};

void BrowserTest::patternMatchesWholeNamesIgnoringCase_data() {
  QTest::addColumn<QString>("pattern");
  QTest::addColumn<QString>("name");
  QTest::addColumn<bool>("kept");
  QTest::addColumn<bool>("leaveOutBackups");
  auto row = [](const char* tag, const QString& pattern, const char* name,
                bool kept, bool leaveOutBackups = false) {
    QTest::newRow(tag) << pattern << QString(name) << kept << leaveOutBackups;
  };
  row("upper case name", kDocuments, "INDEX.HTM", true);
  row("longer extension", kDocuments, "page.html", false);
  row("question mark takes one", "?.htm", "a.htm", true);
  row("question mark takes no more", "?.htm", "ab.htm", false);
  row("question mark takes no less", "a?.htm", "a.htm", false);
  row("question mark after star", "*.p?p", "index.php", true);
  row("backup kept when asked", "*.bac", "y.bac", true);
  row("backup left out", "*", "x.html.bac", false, true);
  row("backup in capitals left out", "*.BAC", "Y.BAC", false, true);
  row("only the end counts", "*", "bac.htm", true, true);
  row("star backtracks", "a*b*c", "aXbYbZc", true);
  row("non-ASCII letters", "été*", "ÉTÉ.htm", true);
  row("empty pattern part", ";;*.htm;", "a.htm", true);
}

void BrowserTest::patternMatchesWholeNamesIgnoringCase() {
  QFETCH(QString, pattern);
  QFETCH(QString, name);
  QFETCH(bool, kept);
  QFETCH(bool, leaveOutBackups);
  const auto backups =
      leaveOutBackups ? browser::Backups::kLeftOut : browser::Backups::kKept;
  QCOMPARE(browser::NamePattern(pattern, backups).matches(name), kept);
}

void BrowserTest::fileListFollowsTheFolderAndExtendsSelections() {
  Scratch s;
  makeFiles(s.dir, {"page10.htm", "page2.htm", "page02b.htm", "INDEX.HTM",
                    "b.ASP", "a.hts", "f.txt", "page.html", ".hidden.htm"});
  QVERIFY(s.dir.mkdir("folder.htm"));
  QVERIFY(QFile::link(s.dir.filePath("a.hts"), s.dir.filePath("link.htm")));
  QVERIFY(QFile::link(s.dir.filePath("folder.htm"), s.dir.filePath("fl.htm")));
  QVERIFY(QFile::link(s.dir.filePath("gone"), s.dir.filePath("dangling.htm")));
  // A Latin-1 name is not valid UTF-8: the run must still get its bytes.
  const QByteArray latin1 = QFile::encodeName(s.dir.path()) + "/caf\xe9.htm";
  ::close(::open(latin1.constData(), O_CREAT | O_WRONLY, 0644));
  FileList list(kDocuments);
  list.setPath(s.dir.path());
  QCOMPARE(names(list),
           "a.hts b.ASP caf\xe9.htm INDEX.HTM link.htm page2.htm "
           "page02b.htm page10.htm ");

  list.show();
  QVERIFY(QTest::qWaitForWindowExposed(&list));
  auto click = [&](int row, Qt::KeyboardModifiers keys, QList<int> expected) {
    const QRect place = list.visualRect(list.model()->index(row, 0));
    QTest::mouseClick(list.viewport(), Qt::LeftButton, keys, place.center());
    QCOMPARE(selectedRows(list), expected);
  };
  click(1, {}, {1});
  click(3, Qt::ControlModifier, {1, 3});
  click(0, {}, {0});                             // a plain click selects alone
  click(4, Qt::ShiftModifier, {0, 1, 2, 3, 4});  // the block starts at 0
  click(1, Qt::ShiftModifier, {0, 1});

  QCOMPARE(::unlink(latin1.constData()), 0);
  makeFiles(s.dir, {"x.htm"});
  list.refresh();  // drops what is gone, shows what is new, selects nothing
  QCOMPARE(names(list),
           "a.hts b.ASP INDEX.HTM link.htm page2.htm "
           "page02b.htm page10.htm x.htm ");
  QVERIFY(selectedRows(list).isEmpty());

  QVERIFY(s.dir.removeRecursively());
  CaughtMessages messages;
  list.refresh();
  QCOMPARE(list.listCount(), 0);
  QCOMPARE(messages.prompts,
           QStringList{s.dir.path() + ": No such file or directory"});
}

void BrowserTest::fileListStopsAtTheLargestCount() {
  Scratch s;
  for (int i = 0; i < 32770; ++i)
    makeFiles(s.dir, {QStringLiteral("doc%1.htm").arg(i)});
  FileList list(kDocuments);
  CaughtMessages messages;
  list.setPath(s.dir.path());
  QCOMPARE(list.listCount(), 32767);
  QCOMPARE(list.selection().size(), std::size_t{32767});
  QVERIFY(messages.prompts.size() == 1 &&
          messages.prompts[0].contains("32767"));
}

void BrowserTest::foldersKeepTheirBytes() {
  // Every byte string comes back from its path text unchanged.
  for (const QByteArray& bytes :
       {QByteArray("/plain/caf\xc3\xa9"), QByteArray("/latin1/caf\xe9"),
        QByteArray("/bad/\xed\xa0\x80\xc0\xaf\xff"),
        QByteArray("/emoji/\xf0\x9f\x98\x80\xf0\x9f")})
    QCOMPARE(ui::toPathBytes(ui::fromPathBytes(bytes)), bytes);

  // A folder whose name is not UTF-8 opens, lists its documents and hands
  // the run its true path.
  Scratch s;
  const QByteArray folder = QFile::encodeName(s.dir.path()) + "/caf\xe9";
  QCOMPARE(::mkdir(folder.constData(), 0755), 0);
  ::close(::open((folder + "/a.htm").constData(), O_CREAT | O_WRONLY, 0644));
  FolderList folders;
  CaughtMessages messages;
  folders.setPath(ui::fromPathBytes(folder));
  QVERIFY(messages.prompts.isEmpty());
  QCOMPARE(ui::toPathBytes(folders.path()), folder);
  FileList list(kDocuments);
  list.setPath(folders.path());
  QCOMPARE(names(list), "a.htm ");
  // QTemporaryDir could not remove a name it can't spell.
  QCOMPARE(::unlink((folder + "/a.htm").constData()), 0);
  QCOMPARE(::rmdir(folder.constData()), 0);
}

void BrowserTest::subfoldersListTheWholeTree() {
  Scratch s;
  for (const char* folder : {"b10/deep", "b9", ".git", "locked"})
    QVERIFY(s.dir.mkpath(folder));
  makeFiles(s.dir, {"top.htm", "b10/z.htm", "b10/deep/a.asp", "b9/page10.htm",
                    "b9/page2.htm", "b9/notes.txt", ".git/x.htm",
                    "locked/secret.htm"});
  // A link to a folder is not followed, even one that loops.
  QVERIFY(QFile::link(s.dir.path(), s.dir.filePath("b9/loop")));
  QVERIFY(QFile::link(s.dir.filePath("b10"), s.dir.filePath("again")));
  const bool root = ::geteuid() == 0;  // root reads every folder
  QVERIFY(::chmod(QFile::encodeName(s.dir.filePath("locked")), 0) == 0);
  FileList list(kDocuments);
  CaughtMessages messages;
  list.setPath(s.dir.path());
  list.setIncludeSubfolders(true);
  ::chmod(QFile::encodeName(s.dir.filePath("locked")), 0755);
  QCOMPARE(names(list),
           QByteArray("top.htm b9/page2.htm b9/page10.htm b10/z.htm "
                      "b10/deep/a.asp ") +
               (root ? "locked/secret.htm " : ""));
  QCOMPARE(messages.prompts.size(), root ? 0 : 1);
  if (!root) QVERIFY(messages.prompts[0].startsWith("1 subfolders"));
  list.setIncludeSubfolders(false);
  QCOMPARE(names(list), "top.htm ");
}

QTEST_MAIN(BrowserTest)
#include "browser_test.moc"
