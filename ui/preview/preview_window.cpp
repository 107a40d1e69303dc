#include "ui/preview/preview_window.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QScreen>
#include <QShortcut>
#include <QTreeView>
#include <QVBoxLayout>
#include <algorithm>
#include <string>

#include "ui/preview/preview_delegate.h"
#include "ui/preview/preview_model.h"

namespace {

QLabel* makeLabel(QWidget* parent, const char* name) {
  auto* label = new QLabel(parent);
  label->setObjectName(name);
  label->setTextFormat(Qt::PlainText);
  label->setWordWrap(true);
  label->setTextInteractionFlags(Qt::TextSelectableByMouse);
  return label;
}

}  // namespace

PreviewWindow::PreviewWindow(QWidget* parent)
    : QWidget(parent, Qt::Window),
      summary_(makeLabel(this, "PreviewSummary")),
      stoppedNote_(makeLabel(this, "PreviewStopped")),
      onlyChanges_(new QCheckBox(tr("Show &only documents that change"), this)),
      view_(new QTreeView(this)),
      model_(new PreviewModel(this)) {
  setObjectName("PreviewWindow");
  setWindowTitle(tr("Preview"));
  // Never larger than the screen's free area, whatever the scale factor,
  // so that Close stays within reach.
  QSize size(760, 520);
  if (const QScreen* screen = this->screen()) {
    size = size.boundedTo(screen->availableGeometry().size() * 9 / 10);
  }
  resize(size);

  QFont summaryFont = summary_->font();
  summaryFont.setBold(true);
  summary_->setFont(summaryFont);
  stoppedNote_->setText(
      tr("The preview was stopped before the end; the documents after that "
         "point are not shown."));
  stoppedNote_->hide();

  view_->setObjectName("PreviewList");
  PreviewDelegate::setUpView(view_, model_);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  // A window of its own has no dialog to close it on Escape.
  auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(summary_);
  layout->addWidget(stoppedNote_);
  layout->addWidget(onlyChanges_);
  layout->addWidget(view_, 1);
  layout->addWidget(buttons);

  onlyChanges_->setObjectName("CheckOnlyChanges");
  onlyChanges_->setChecked(model_->onlyChanges());
  connect(onlyChanges_, &QCheckBox::toggled, this, [this](bool only) {
    keepingPlace([this, only] { model_->setOnlyChanges(only); });
  });
  connect(buttons, &QDialogButtonBox::rejected, this, &QWidget::close);
  connect(escape, &QShortcut::activated, this, &QWidget::close);
  // The end of the longest preview is one key press away, wherever the
  // focus is.
  connect(new QShortcut(QKeySequence::MoveToEndOfDocument, this),
          &QShortcut::activated, view_, &QTreeView::scrollToBottom);
  connect(new QShortcut(QKeySequence::MoveToStartOfDocument, this),
          &QShortcut::activated, view_, &QTreeView::scrollToTop);

  showSummary(model_->preview());
}

void PreviewWindow::showPreview(const engine::Preview& preview) {
  replacePreview(std::make_shared<const engine::Preview>(preview));
}

void PreviewWindow::showPreview(engine::Preview&& preview) {
  replacePreview(std::make_shared<const engine::Preview>(std::move(preview)));
}

void PreviewWindow::replacePreview(
    std::shared_ptr<const engine::Preview> preview) {
  // A refreshed preview usually lists the same documents.
  keepingPlace([&] {
    model_->setPreview(std::move(preview));
    showSummary(model_->preview());
  });
}

void PreviewWindow::keepingPlace(const std::function<void()>& change) {
  const int topRow = view_->indexAt(QPoint(0, 0)).row();
  std::string topName;
  int intoDocument = 0;
  if (topRow > 0) {
    const std::size_t document = model_->documentAt(topRow);
    topName = model_->preview().documents[document].name;
    intoDocument = topRow - model_->firstRowOf(document);
  }

  change();

  if (topRow <= 0 || model_->totalRows() == 0) return;
  const auto& documents = model_->preview().documents;
  const auto found = std::find_if(
      documents.begin(), documents.end(),
      [&](const auto& document) { return document.name == topName; });
  int row = std::min(topRow, model_->totalRows() - 1);
  if (found != documents.end()) {
    const auto document = static_cast<std::size_t>(found - documents.begin());
    if (model_->firstRowOf(document) >= 0) {
      row = model_->firstRowOf(document) +
            std::min(intoDocument, model_->rowsOf(document) - 1);
    }
  }
  view_->scrollTo(model_->index(row), QAbstractItemView::PositionAtTop);
}

void PreviewWindow::showSummary(const engine::Preview& preview) {
  stoppedNote_->setVisible(preview.problem.empty() && preview.stopped);
  if (!preview.problem.empty()) {
    summary_->setText(QString::fromStdString(preview.problem));
    return;
  }
  summary_->setText(tr("%1 replacements in %2 of %3 selected documents")
                        .arg(static_cast<qulonglong>(preview.replacements))
                        .arg(static_cast<qulonglong>(preview.changed_documents))
                        .arg(static_cast<qulonglong>(preview.selected)));
}
