#include "ui/history/change_dialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTreeView>
#include <QVBoxLayout>
#include <fstream>
#include <memory>
#include <sstream>

#include "engine/preview_lines.h"
#include "ui/browser/code_page.h"
#include "ui/history/run_documents_model.h"
#include "ui/preview/preview_delegate.h"
#include "ui/preview/preview_model.h"

namespace {

// The preview's header counts replacements, which the history does not
// keep; what it can tell is how many lines differ.
class ChangeModel : public PreviewModel {
 public:
  using PreviewModel::PreviewModel;
  QVariant data(const QModelIndex& index, int role) const override {
    if (role == DetailRole && index.isValid() &&
        index.data(KindRole).toInt() == DocumentRow) {
      const std::size_t lines = preview().documents.front().lines.size();
      return lines == 1
                 ? tr("1 changed line")
                 : tr("%1 changed lines").arg(static_cast<qulonglong>(lines));
    }
    return PreviewModel::data(index, role);
  }
};

struct Change {
  engine::Preview preview;  // empty when the lines cannot be shown
  QString note;             // why not
};

bool ReadWhole(const std::string& path, std::string* bytes) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream whole;
  whole << file.rdbuf();
  *bytes = std::move(whole).str();
  return file.good() || file.eof();
}

Change ChangeOf(engine::HistoryStore& store,
                const engine::DocumentNow& document) {
  Change change;
  const engine::HistoryDocument& recorded = document.document;
  if (document.state != engine::DocumentState::kAsLeft) {
    change.note =
        ChangeDialog::tr(
            "The content after the run is no longer on disk: the document is "
            "%1.  The history keeps only the content before.")
            .arg(RunDocumentsModel::stateWords(document.state));
    return change;
  }
  std::string before, after;
  const engine::Status fetched =
      store.FetchContent(recorded.before_hash, &before);
  if (!fetched.ok()) {
    change.note = QString::fromStdString(fetched.message());
    return change;
  }
  if (!ReadWhole(recorded.path, &after)) {
    change.note =
        ChangeDialog::tr("%1 could not be read.")
            .arg(ui::fromPathBytes(QByteArray::fromStdString(recorded.path)));
    return change;
  }
  engine::PreviewDocument shown;
  shown.name = shown.path = recorded.path;
  shown.verdict = engine::PreviewDocument::Verdict::kChanges;
  // A restore records no encoding; its documents are shown as UTF-8.
  shown.encoding = recorded.encoding.empty() ? "UTF-8" : recorded.encoding;
  shown.lines = engine::LinesBetween(shown.encoding, before, after);
  shown.replacements = shown.lines.size();
  change.preview.documents.push_back(std::move(shown));
  change.preview.changed_documents = change.preview.selected = 1;
  return change;
}

QLabel* makeLabel(QWidget* parent, const char* name) {
  auto* label = new QLabel(parent);
  label->setObjectName(name);
  label->setTextFormat(Qt::PlainText);
  label->setWordWrap(true);
  label->setTextInteractionFlags(Qt::TextSelectableByMouse);
  return label;
}

}  // namespace

ChangeDialog::ChangeDialog(engine::HistoryStore& store,
                           const engine::DocumentNow& document, QWidget* parent)
    : QDialog(parent),
      document_(makeLabel(this, "LabelDocument")),
      note_(makeLabel(this, "LabelNoAfter")),
      view_(new QTreeView(this)),
      model_(new ChangeModel(this)) {
  setObjectName("ChangeDialog");
  setWindowTitle(tr("Change"));
  QSize size(720, 400);
  if (const QScreen* screen = this->screen())
    size = size.boundedTo(screen->availableGeometry().size() * 9 / 10);
  resize(size);

  Change change = ChangeOf(store, document);
  document_->setText(tr("%1 (%2)").arg(
      ui::fromPathBytes(QByteArray::fromStdString(document.document.path)),
      RunDocumentsModel::stateWords(document.state)));
  note_->setText(change.note);
  note_->setVisible(!change.note.isEmpty());
  model_->setPreview(
      std::make_shared<const engine::Preview>(std::move(change.preview)));

  view_->setObjectName("ChangeLines");
  PreviewDelegate::setUpView(view_, model_);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  buttons->button(QDialogButtonBox::Close)->setObjectName("CommandCloseChange");
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(document_);
  layout->addWidget(note_);
  layout->addWidget(view_, 1);
  layout->addWidget(buttons);
}
