#include "ui/browser/folder_list.h"

#include <QApplication>
#include <QDir>
#include <QHeaderView>
#include <QKeyEvent>
#include <QStyle>
#include <vector>

#include "ui/browser/folder_access.h"
#include "ui/browser/message_box.h"

namespace {

constexpr int kPathRole = Qt::UserRole;

QTreeWidgetItem* addFolder(QTreeWidgetItem* parent, QTreeWidget* tree,
                           const QString& name, const QString& path,
                           const QIcon& icon) {
  auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(tree);
  item->setText(0, name);
  item->setIcon(0, icon);
  item->setData(0, kPathRole, path);
  return item;
}

QString childPath(const QString& folder, const QString& name) {
  return folder == QLatin1String("/") ? folder + name : folder + u'/' + name;
}

}  // namespace

FolderList::FolderList(QWidget* parent) : QTreeWidget(parent) {
  setHeaderHidden(true);
  setRootIsDecorated(false);
  setItemsExpandable(false);
  setExpandsOnDoubleClick(false);
  setIndentation(10);
  setUniformRowHeights(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  header()->setStretchLastSection(false);
  header()->setSectionResizeMode(QHeaderView::ResizeToContents);
  connect(this, &QTreeWidget::itemDoubleClicked, this, &FolderList::open);
  QString error;
  // startFolder() found this one readable; a failure now leaves an empty
  // list rather than a message box before any window is up.
  path_ = browser::startFolder();
  display(path_, &error);
}

QString FolderList::path() const { return path_; }

void FolderList::setPath(const QString& folder) {
  QString target = browser::normalFolder(folder);
  const QStringList drives = browser::localDrives();
  if (drives.contains(target)) {
    const QString current = browser::currentFolder();
    if (browser::driveOf(current, drives) == target) target = current;
  }
  moveTo(target);
}

void FolderList::keyPressEvent(QKeyEvent* event) {
  if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
      currentItem()) {
    open(currentItem());
    return;
  }
  QTreeWidget::keyPressEvent(event);
}

void FolderList::open(QTreeWidgetItem* item) {
  if (item) moveTo(item->data(0, kPathRole).toString());
}

void FolderList::moveTo(const QString& folder) {
  QString error;
  if (!display(folder, &error)) {
    // Show the last readable folder again: the failed read may have been
    // reached through a drive the other lists already moved to.
    QString ignored;
    display(path_, &ignored);
    ui::informUser(this, ui::titleFor(this), error);
    emit pathSettled(path_);
    return;
  }
  const bool moved = folder != path_;
  path_ = folder;
  if (moved) emit changed();
  emit pathSettled(path_);
}

bool FolderList::display(const QString& folder, QString* error) {
  std::vector<browser::FolderEntry> subfolders;
  if (!browser::readFolder(folder, browser::EntryKind::kFolder, &subfolders,
                           error))
    return false;
  browser::sortByName(&subfolders);

  const QIcon openIcon = style()->standardIcon(QStyle::SP_DirOpenIcon);
  const QIcon closedIcon = style()->standardIcon(QStyle::SP_DirClosedIcon);
  setUpdatesEnabled(false);
  clear();
  QTreeWidgetItem* item = addFolder(nullptr, this, QStringLiteral("/"),
                                    QStringLiteral("/"), openIcon);
  QString walked = QStringLiteral("/");
  for (const QString& name : folder.split(u'/', Qt::SkipEmptyParts)) {
    walked = childPath(walked, name);
    item = addFolder(item, this, name, walked, openIcon);
  }
  QTreeWidgetItem* current = item;
  for (const browser::FolderEntry& entry : subfolders)
    addFolder(current, this, entry.name, childPath(folder, entry.name),
              closedIcon);
  expandAll();
  setCurrentItem(current);
  // Show the way down from the root where it fits, the current folder in
  // any case.
  scrollToTop();
  scrollToItem(current, QAbstractItemView::EnsureVisible);
  setUpdatesEnabled(true);
  return true;
}
