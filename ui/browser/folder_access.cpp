#include "ui/browser/folder_access.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCollator>
#include <QCollatorSortKey>
#include <QDir>
#include <QFile>
#include <QSet>
#include <QStorageInfo>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <numeric>
#include <utility>

#include "ui/browser/code_page.h"

namespace browser {
namespace {

bool hasKind(int folderFd, const dirent& entry, EntryKind kind) {
  unsigned char type = entry.d_type;
  // Links and file systems that do not fill d_type need a look at the
  // target itself.
  if (type == DT_LNK || type == DT_UNKNOWN) {
    struct stat target;
    if (fstatat(folderFd, entry.d_name, &target, 0) != 0) return false;
    if (S_ISDIR(target.st_mode)) type = DT_DIR;
    if (S_ISREG(target.st_mode)) type = DT_REG;
  }
  return kind == EntryKind::kFolder ? type == DT_DIR : type == DT_REG;
}

bool isPseudoFileSystem(const QStorageInfo& volume) {
  static const QSet<QByteArray> kPseudo = {
      "proc",   "sysfs",       "cgroup",          "cgroup2",    "devtmpfs",
      "devpts", "securityfs",  "debugfs",         "tracefs",    "pstore",
      "bpf",    "mqueue",      "hugetlbfs",       "configfs",   "fusectl",
      "autofs", "binfmt_misc", "efivarfs",        "rpc_pipefs", "selinuxfs",
      "nsfs",   "ramfs",       "fuse.gvfsd-fuse", "fuse.portal"};
  const QByteArray type = volume.fileSystemType();
  if (kPseudo.contains(type)) return true;
  const QString root = volume.rootPath();
  if (type == "tmpfs" && (root.startsWith(QLatin1String("/run")) ||
                          root.startsWith(QLatin1String("/dev")) ||
                          root.startsWith(QLatin1String("/sys"))))
    return true;
  return type == "squashfs" && root.startsWith(QLatin1String("/snap"));
}

DriveSource& driveSource() {
  static DriveSource source;
  return source;
}

bool contains(const QString& drive, const QString& folder) {
  if (drive == QLatin1String("/")) return folder.startsWith(QLatin1Char('/'));
  return folder == drive ||
         (folder.startsWith(drive) && folder.at(drive.size()) == u'/');
}

}  // namespace

bool readFolder(const QString& folder, EntryKind kind,
                std::vector<FolderEntry>* entries, QString* error) {
  entries->clear();
  DIR* stream = opendir(ui::toPathBytes(folder).constData());
  if (!stream) {
    *error = folder + QStringLiteral(": ") +
             QString::fromLocal8Bit(std::strerror(errno));
    return false;
  }
  const int fd = dirfd(stream);
  errno = 0;
  while (const dirent* entry = readdir(stream)) {
    if (entry->d_name[0] != '.' && hasKind(fd, *entry, kind)) {
      QByteArray raw(entry->d_name);
      QString name = ui::fromPathBytes(raw);
      entries->push_back({std::move(raw), std::move(name)});
    }
    errno = 0;
  }
  const int readError = errno;
  closedir(stream);
  if (readError != 0) {
    *error = folder + QStringLiteral(": ") +
             QString::fromLocal8Bit(std::strerror(readError));
    return false;
  }
  return true;
}

void sortByName(std::vector<FolderEntry>* entries) {
  // Made once per locale: a walk over a tree sorts every folder.
  static thread_local QString madeFor;
  static thread_local QCollator collator;
  if (madeFor != QLocale().name() || madeFor.isEmpty()) {
    madeFor = QLocale().name();
    collator = QCollator();
    // The C locale collates by code point, which would put Zebra before
    // apple and page10 before page2; the generic collation is the better
    // default.
    if (collator.locale().language() == QLocale::C)
      collator.setLocale(QLocale(QLocale::English, QLocale::UnitedStates));
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    collator.setNumericMode(true);
  }
  // Sort keys are computed once per name; comparing through the collator
  // itself would redo that work on every comparison.
  std::vector<QCollatorSortKey> keys;
  keys.reserve(entries->size());
  for (const FolderEntry& entry : *entries)
    keys.push_back(collator.sortKey(entry.name));
  std::vector<std::size_t> order(entries->size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    const int byKey = keys[a].compare(keys[b]);
    if (byKey != 0) return byKey < 0;
    return (*entries)[a].raw < (*entries)[b].raw;
  });
  std::vector<FolderEntry> sorted;
  sorted.reserve(entries->size());
  for (std::size_t index : order)
    sorted.push_back(std::move((*entries)[index]));
  entries->swap(sorted);
}

QString normalFolder(const QString& folder) {
  return QDir::cleanPath(QDir(folder).absolutePath());
}

QString currentFolder() {
  char* folder = getcwd(nullptr, 0);
  if (folder == nullptr) return QDir::homePath();
  const QString path = ui::fromPathBytes(QByteArray(folder));
  std::free(folder);
  return normalFolder(path);
}

QString startFolder() {
  QString folder = currentFolder();
  if (folder.isEmpty()) folder = QDir::homePath();
  std::vector<FolderEntry> entries;
  QString error;
  while (folder != QLatin1String("/") &&
         !readFolder(folder, EntryKind::kFolder, &entries, &error)) {
    folder = normalFolder(folder + QStringLiteral("/.."));
  }
  return folder;
}

QStringList localDrives() {
  if (const DriveSource& source = driveSource()) return source();
  QStringList drives{QStringLiteral("/")};
  for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
    const QString root = volume.rootPath();
    if (!volume.isValid() || isPseudoFileSystem(volume) ||
        drives.contains(root) || !QFileInfo(root).isDir())
      continue;
    drives.push_back(root);
  }
  std::sort(drives.begin() + 1, drives.end());
  return drives;
}

DriveSource setDriveSource(DriveSource source) {
  return std::exchange(driveSource(), std::move(source));
}

QString driveOf(const QString& folder, const QStringList& drives) {
  QString best = QStringLiteral("/");
  for (const QString& drive : drives) {
    if (drive.size() > best.size() && contains(drive, folder)) best = drive;
  }
  return best;
}

}  // namespace browser
