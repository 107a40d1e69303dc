// The editor of a list of replacements: a table of pairs, the text to
// replace and the new text, applied from the top down on every line.  Lists
// are read from and written to the same files as the command line's --list
// takes.  The dialog only edits; the caller decides what the list is for.

#ifndef VANTREL_UI_FORM1_REPLACE_LIST_DIALOG_H_
#define VANTREL_UI_FORM1_REPLACE_LIST_DIALOG_H_

#include <QDialog>
#include <vector>

#include "engine/replace_rules.h"

class QTableWidget;

class ReplaceListDialog : public QDialog {
  Q_OBJECT

 public:
  explicit ReplaceListDialog(QWidget* parent = nullptr);

  // Shows pairs in the table.
  void setPairs(const std::vector<engine::ReplacePair>& pairs);
  // The table's pairs as OK took them.
  const std::vector<engine::ReplacePair>& pairs() const { return accepted_; }

  // Put the table's pairs in place of the file's, or the file's in the
  // table's place.  False, told to the user, when the file can't be read or
  // written or is no list.
  bool importFrom(const QString& path);
  bool exportTo(const QString& path);

  void accept() override;

 private:
  // The table's rows as pairs; rows left wholly empty at the end are
  // dropped.  False, told to the user, when a row has no text to replace.
  bool tablePairs(std::vector<engine::ReplacePair>* pairs);
  void addPair();
  void removePair();
  void moveUp();
  void moveDown();
  void moveRow(int by);
  void importList();
  void exportList();
  void clearList();

  QTableWidget* table_;
  std::vector<engine::ReplacePair> accepted_;
};

#endif  // VANTREL_UI_FORM1_REPLACE_LIST_DIALOG_H_
