// What a recorded run did to one of its documents, line by line, before and
// after, drawn as the preview draws an update's lines.  The content before
// comes from the history; the content after from the document itself, which
// holds it only while it is as the run left it: otherwise the dialog says
// so and shows no lines.

#ifndef VANTREL_UI_HISTORY_CHANGE_DIALOG_H_
#define VANTREL_UI_HISTORY_CHANGE_DIALOG_H_

#include <QDialog>

#include "engine/history/history_store.h"
#include "engine/history/undo_run.h"

class PreviewModel;
class QLabel;
class QTreeView;

class ChangeDialog : public QDialog {
  Q_OBJECT
 public:
  // Reads what it shows at once; it keeps neither store nor document.
  ChangeDialog(engine::HistoryStore& store, const engine::DocumentNow& document,
               QWidget* parent = nullptr);

 private:
  QLabel* document_;
  QLabel* note_;
  QTreeView* view_;
  PreviewModel* model_;
};

#endif  // VANTREL_UI_HISTORY_CHANGE_DIALOG_H_
