// FileList lists the files of one folder whose names match its pattern, in
// the locale's order with digits compared as numbers, and lets the user
// mark any of them (Ctrl toggles one entry, Shift marks a block).  Names
// beginning with a dot, and anything that is not a regular file or a link
// to one, are left out.  With subfolders included it lists the whole tree
// below the folder, each file by its relative path (see folder_tree.h).  At
// most engine::kMaxSelectionEntries entries are listed; a folder holding
// more says so once and lists the first of them.

#ifndef VANTREL_UI_BROWSER_FILE_LIST_H_
#define VANTREL_UI_BROWSER_FILE_LIST_H_

#include <QListView>
#include <QString>

#include "engine/selection.h"
#include "ui/browser/name_pattern.h"

class FileListModel;

class FileList : public QListView {
  Q_OBJECT

 public:
  // pattern: wildcard patterns separated by semicolons, such as
  // "*.htm;*.asp".  backups: whether names ending in "bac" may be listed.
  // Starts listing the process's current folder.
  explicit FileList(const QString& pattern, QWidget* parent = nullptr,
                    browser::Backups backups = browser::Backups::kKept);
  ~FileList() override;

  QString pattern() const;
  // Lists the folder again with other patterns; nothing is selected
  // afterwards.
  void setPattern(const QString& pattern);

  // The listed folder.  Setting it fills the list again.
  QString path() const;
  void setPath(const QString& folder);

  // Reads the same folder again: gone files leave, new ones appear, and
  // nothing is selected afterwards.
  void refresh();

  // Whether the files of subfolders are listed too; changing it fills the
  // list again.
  bool includeSubfolders() const { return includeSubfolders_; }
  void setIncludeSubfolders(bool include);

  // Number of entries, at most engine::kMaxSelectionEntries.
  int listCount() const;
  // The name of the entry at position (0 to listCount() - 1), without any
  // folder part.
  QString list(int position) const;
  bool selected(int position) const;
  void setSelected(int position, bool selected);

  // Every entry in list order, names as the file system's bytes, with its
  // selected flag: what a run reads.
  engine::Selection selection() const;

 signals:
  // Raised after the list was filled again.
  void filled();

 private:
  void fill();

  QString pattern_;
  browser::Backups backups_;
  browser::NamePattern matcher_;
  QString path_;
  bool includeSubfolders_ = false;
  FileListModel* model_;
};

#endif  // VANTREL_UI_BROWSER_FILE_LIST_H_
