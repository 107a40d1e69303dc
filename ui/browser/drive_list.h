// DriveList offers the drives of the machine: on Linux the mount paths of
// the local file systems, "/" first.  A drive is written as its mount path,
// which a FolderList accepts as a path.

#ifndef VANTREL_UI_BROWSER_DRIVE_LIST_H_
#define VANTREL_UI_BROWSER_DRIVE_LIST_H_

#include <QComboBox>
#include <QString>

class FolderList;

class DriveList : public QComboBox {
  Q_OBJECT

 public:
  // Starts on the drive of the process's current folder.
  explicit DriveList(QWidget* parent = nullptr);

  // The current drive.
  QString drive() const;

  // Puts the list on the drive that holds folder, without changed().
  void followPath(const QString& folder);

  // Keeps this list on the drive of folders' path, also when folders
  // refuses a drive that cannot be read.
  void follow(const FolderList* folders);

  // Mounts come and go while the program runs; the list is read again
  // each time it opens.
  void showPopup() override;

 signals:
  // Raised after the user picked a drive other than the current one.
  void changed();

 private:
  void fill(const QString& current);
  void pick(int index);

  QString drive_;
};

#endif  // VANTREL_UI_BROWSER_DRIVE_LIST_H_
