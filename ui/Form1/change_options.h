// ChangeOptions turns the Change page into what a run is to change: its two
// texts, or the list of pairs that stands in for them, and the four matching
// options.  The rules are built here and nowhere else, so that Preview and
// Update can never read the page differently.  The options and the last
// list are kept between starts, beside the file types.

#ifndef VANTREL_UI_FORM1_CHANGE_OPTIONS_H_
#define VANTREL_UI_FORM1_CHANGE_OPTIONS_H_

#include <QObject>
#include <array>
#include <utility>
#include <vector>

#include "engine/replace_rules.h"

class ChangeFrame;
class QCheckBox;
class QWidget;

class ChangeOptions : public QObject {
  Q_OBJECT

 public:
  // Gives page the options and the list it had when last left.
  explicit ChangeOptions(ChangeFrame* page);

  // The pairs in place of the two texts; empty while the texts are used.
  const std::vector<engine::ReplacePair>& list() const { return list_; }
  // Uses pairs in place of the two texts (none: the texts again) from now
  // on and in later starts.
  void setList(std::vector<engine::ReplacePair> pairs);

  // What a run of the page as it is now changes.
  engine::ReplaceRules rules() const;

  // An update of one pair without a new text deletes every match; asks the
  // user over window first.  True when the update may go on.
  bool confirmDeletion(QWidget* window) const;

 signals:
  // The list in use changed.
  void listChanged();

 private:
  std::array<std::pair<QCheckBox*, const char*>, 4> options() const;
  void editList();
  void rememberOptions() const;

  ChangeFrame* page_;
  std::vector<engine::ReplacePair> list_;
};

#endif  // VANTREL_UI_FORM1_CHANGE_OPTIONS_H_
