// What the three lists need to know of the disk: the entries of one folder,
// the order they are shown in, and the drives.  Names are kept as the bytes
// the file system stores, so that a name which is not valid text in the
// locale still reaches the runs unchanged.

#ifndef VANTREL_UI_BROWSER_FOLDER_ACCESS_H_
#define VANTREL_UI_BROWSER_FOLDER_ACCESS_H_

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

namespace browser {

struct FolderEntry {
  QByteArray raw;  // the name as stored
  QString name;    // the name as shown
};

enum class EntryKind {
  kFolder,  // folders, and links to folders
  kFile,    // regular files, and links to them
};

// Fills *entries with the entries of folder of the given kind, leaving out
// names that begin with a dot (the hidden files of this platform), in no
// particular order.  On failure returns false and sets *error to
// "<folder>: <the system's reason>".
bool readFolder(const QString& folder, EntryKind kind,
                std::vector<FolderEntry>* entries, QString* error);

// The locale's collation, letter case ignored and digits compared as
// numbers (page2 before page10).  Names equal under it keep a fixed order.
void sortByName(std::vector<FolderEntry>* entries);

// folder made absolute and clean: no trailing separator except at the root.
QString normalFolder(const QString& folder);

// The process's current folder, or its nearest ancestor that can be read.
QString startFolder();
// The process's current folder, its name's bytes kept (see fromPathBytes).
QString currentFolder();

// The mount paths of the local file systems a user keeps files on, "/"
// first; the kernel's own pseudo file systems and snap images left out.
QStringList localDrives();

// Where localDrives() takes the drives from instead of the mount table (a
// test's made-up drives); an empty source restores the mount table.
// Returns the source installed before.
using DriveSource = std::function<QStringList()>;
DriveSource setDriveSource(DriveSource source);

// The drive of drives on which folder lies (the longest mount path that
// contains it).
QString driveOf(const QString& folder, const QStringList& drives);

}  // namespace browser

#endif  // VANTREL_UI_BROWSER_FOLDER_ACCESS_H_
