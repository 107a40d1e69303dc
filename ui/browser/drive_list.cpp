#include "ui/browser/drive_list.h"

#include <QSignalBlocker>

#include "ui/browser/folder_access.h"
#include "ui/browser/folder_list.h"

DriveList::DriveList(QWidget* parent) : QComboBox(parent) {
  fill(browser::driveOf(browser::startFolder(), browser::localDrives()));
  connect(this, &QComboBox::activated, this, &DriveList::pick);
}

QString DriveList::drive() const { return drive_; }

void DriveList::followPath(const QString& folder) {
  QStringList drives;
  for (int i = 0; i < count(); ++i) drives.push_back(itemText(i));
  const QString drive = browser::driveOf(folder, drives);
  if (drive == drive_ && currentText() == drive) return;
  fill(drive);
}

void DriveList::follow(const FolderList* folders) {
  connect(folders, &FolderList::pathSettled, this, &DriveList::followPath);
}

void DriveList::showPopup() {
  fill(drive_);
  QComboBox::showPopup();
}

void DriveList::fill(const QString& current) {
  QStringList drives = browser::localDrives();
  // A drive that was unmounted while in use stays until the user leaves
  // it, so that the list never shows a drive the folder list is not on.
  if (!drives.contains(current)) drives.push_back(current);
  const QSignalBlocker blocker(this);
  clear();
  addItems(drives);
  setCurrentIndex(drives.indexOf(current));
  drive_ = current;
}

void DriveList::pick(int index) {
  const QString picked = itemText(index);
  if (index < 0 || picked == drive_) return;
  drive_ = picked;
  emit changed();
}
