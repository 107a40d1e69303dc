// A window beside the main one that shows what an update would do: one line
// with the totals, then the documents that would change in list order with
// their changed lines before and after, or, with "Show only documents that
// change" unticked, every selected document, each left one with the reason
// it would stay as it is.
//
// It only shows a preview that it is given; working one out is up to the
// caller, who may hand it a fresh one at any time.  Whether the window is
// deleted on closing is also the caller's choice (Qt::WA_DeleteOnClose).

#ifndef VANTREL_UI_PREVIEW_PREVIEW_WINDOW_H_
#define VANTREL_UI_PREVIEW_PREVIEW_WINDOW_H_

#include <QWidget>
#include <functional>
#include <memory>

#include "engine/preview.h"

class QCheckBox;
class QLabel;
class QTreeView;
class PreviewModel;

class PreviewWindow : public QWidget {
  Q_OBJECT
 public:
  explicit PreviewWindow(QWidget* parent = nullptr);

  // Replaces what is shown.  Showing a new preview of the same documents
  // keeps the document that was at the top of the list there.
  void showPreview(const engine::Preview& preview);
  // The same, without copying a preview that the caller no longer needs.
  void showPreview(engine::Preview&& preview);

 private:
  void replacePreview(std::shared_ptr<const engine::Preview> preview);
  // Changes what the model holds, keeping the document at the top of the
  // list there, as far into it as before, when it is still listed.
  void keepingPlace(const std::function<void()>& change);
  void showSummary(const engine::Preview& preview);

  QLabel* summary_;
  QLabel* stoppedNote_;
  QCheckBox* onlyChanges_;
  QTreeView* view_;
  PreviewModel* model_;
};

#endif  // VANTREL_UI_PREVIEW_PREVIEW_WINDOW_H_
