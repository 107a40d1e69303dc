// FolderList shows where its current folder lies: the root, each folder
// from there down to the current one, then the current folder's own
// subfolders.  Highlighting an entry changes nothing; a double click, or
// Enter on the highlighted entry, opens it.  A folder that cannot be read
// is refused with a message naming it and the system's reason, and the
// list stays on the last folder it could read.

#ifndef VANTREL_UI_BROWSER_FOLDER_LIST_H_
#define VANTREL_UI_BROWSER_FOLDER_LIST_H_

#include <QString>
#include <QTreeWidget>

class FolderList : public QTreeWidget {
  Q_OBJECT

 public:
  // Starts at the process's current folder.
  explicit FolderList(QWidget* parent = nullptr);

  // The current folder: absolute, without a trailing separator except "/".
  QString path() const;

  // Moves to folder.  A drive of DriveList opens at the process's current
  // folder when that lies on the drive, else at the drive's root.  Raises
  // changed() before returning when the folder differs from the one before.
  void setPath(const QString& folder);

 signals:
  // Raised after the current folder changed, by the user or by setPath().
  void changed();
  // Raised after every move, refused ones included, with the folder the
  // list is on afterwards.
  void pathSettled(const QString& path);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  // Every folder shown is open; expand markers would only suggest otherwise.
  void drawBranches(QPainter*, const QRect&,
                    const QModelIndex&) const override {}

 private:
  void open(QTreeWidgetItem* item);
  void moveTo(const QString& folder);
  bool display(const QString& folder, QString* error);

  QString path_;
};

#endif  // VANTREL_UI_BROWSER_FOLDER_LIST_H_
