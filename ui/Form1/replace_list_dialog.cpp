#include "ui/Form1/replace_list_dialog.h"

#include <QBoxLayout>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QHeaderView>
#include <QPushButton>
#include <QSaveFile>
#include <QTableWidget>
#include <algorithm>
#include <string>

#include "engine/replace_list.h"
#include "ui/Form1/wizard_layout.h"
#include "ui/browser/message_box.h"

namespace {

const QString kOops = QStringLiteral("Oops..");

QString listFilter() {
  return QObject::tr("Lists of replacements (*.txt *.tsv);;All files (*)");
}

QString cellText(const QTableWidget* table, int row, int column) {
  const QTableWidgetItem* item = table->item(row, column);
  return item ? item->text() : QString();
}

void setRow(QTableWidget* table, int row, const QString& search,
            const QString& replacement) {
  table->setItem(row, 0, new QTableWidgetItem(search));
  table->setItem(row, 1, new QTableWidgetItem(replacement));
}

}  // namespace

ReplaceListDialog::ReplaceListDialog(QWidget* parent)
    : QDialog(parent), table_(new QTableWidget(0, 2, this)) {
  setObjectName(QStringLiteral("ReplaceListDialog"));
  setWindowTitle(tr("List of replacements"));
  // A window of its own takes no font from the main one.
  setFont(wizard::dialogFont());
  setModal(true);
  table_->setObjectName(QStringLiteral("TablePairs"));
  table_->setHorizontalHeaderLabels({tr("Text to replace"), tr("New text")});
  table_->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setSelectionMode(QAbstractItemView::SingleSelection);
  table_->setTabKeyNavigation(false);

  auto* side = new QVBoxLayout;
  auto addButton = [&](const char* name, const QString& text,
                       void (ReplaceListDialog::*act)()) {
    auto* button = new QPushButton(text, this);
    button->setObjectName(QLatin1String(name));
    button->setAutoDefault(false);
    connect(button, &QPushButton::clicked, this, act);
    side->addWidget(button);
  };
  addButton("CommandAddPair", tr("&Add"), &ReplaceListDialog::addPair);
  addButton("CommandRemovePair", tr("&Remove"), &ReplaceListDialog::removePair);
  addButton("CommandPairUp", tr("&Up"), &ReplaceListDialog::moveUp);
  addButton("CommandPairDown", tr("&Down"), &ReplaceListDialog::moveDown);
  side->addSpacing(12);
  addButton("CommandImportList", tr("&Import..."),
            &ReplaceListDialog::importList);
  addButton("CommandExportList", tr("&Export..."),
            &ReplaceListDialog::exportList);
  addButton("CommandClearList", tr("C&lear"), &ReplaceListDialog::clearList);
  side->addStretch();

  auto* answers =
      new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  connect(answers, &QDialogButtonBox::accepted, this,
          &ReplaceListDialog::accept);
  connect(answers, &QDialogButtonBox::rejected, this,
          &ReplaceListDialog::reject);

  auto* top = new QHBoxLayout;
  top->addWidget(table_, 1);
  top->addLayout(side);
  auto* whole = new QVBoxLayout(this);
  whole->addLayout(top, 1);
  whole->addWidget(answers);
  resize(520, 300);
}

void ReplaceListDialog::setPairs(
    const std::vector<engine::ReplacePair>& pairs) {
  table_->setRowCount(static_cast<int>(pairs.size()));
  for (int row = 0; row < table_->rowCount(); ++row) {
    const engine::ReplacePair& pair = pairs[static_cast<std::size_t>(row)];
    setRow(table_, row, QString::fromStdString(pair.search),
           QString::fromStdString(pair.replacement));
  }
}

bool ReplaceListDialog::importFrom(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    ui::informUser(this, kOops, path + ": " + file.errorString());
    return false;
  }
  std::vector<engine::ReplacePair> pairs;
  std::string problem;
  if (!engine::ParseReplaceList(file.readAll().toStdString(), &pairs,
                                &problem)) {
    ui::informUser(this, kOops, QString::fromStdString(problem));
    return false;
  }
  setPairs(pairs);
  return true;
}

bool ReplaceListDialog::exportTo(const QString& path) {
  std::vector<engine::ReplacePair> pairs;
  if (!tablePairs(&pairs)) return false;
  // The file is replaced whole or not at all.
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly) ||
      file.write(QByteArray::fromStdString(engine::FormatReplaceList(pairs))) <
          0 ||
      !file.commit()) {
    ui::informUser(this, kOops, path + ": " + file.errorString());
    return false;
  }
  return true;
}

void ReplaceListDialog::accept() {
  std::vector<engine::ReplacePair> pairs;
  if (!tablePairs(&pairs)) return;
  accepted_ = std::move(pairs);
  QDialog::accept();
}

bool ReplaceListDialog::tablePairs(std::vector<engine::ReplacePair>* pairs) {
  // An empty row at the end is the one Add left and the user did not fill.
  int rows = table_->rowCount();
  while (rows > 0 && cellText(table_, rows - 1, 0).isEmpty() &&
         cellText(table_, rows - 1, 1).isEmpty()) {
    --rows;
  }
  pairs->clear();
  for (int row = 0; row < rows; ++row) {
    const QString search = cellText(table_, row, 0);
    if (search.isEmpty()) {
      table_->setCurrentCell(row, 0);
      ui::informUser(this, kOops,
                     tr("Row %1 has no text to replace. Type one, or remove "
                        "the row.")
                         .arg(row + 1));
      return false;
    }
    pairs->push_back(
        {search.toStdString(), cellText(table_, row, 1).toStdString()});
  }
  return true;
}

void ReplaceListDialog::addPair() {
  const int row = table_->rowCount();
  table_->insertRow(row);
  setRow(table_, row, {}, {});
  table_->setCurrentCell(row, 0);
  table_->editItem(table_->item(row, 0));
}

void ReplaceListDialog::removePair() {
  const int row = table_->currentRow();
  if (row < 0) return;
  table_->removeRow(row);
  if (table_->rowCount() > 0)
    table_->setCurrentCell(std::min(row, table_->rowCount() - 1), 0);
}

void ReplaceListDialog::moveUp() { moveRow(-1); }

void ReplaceListDialog::moveDown() { moveRow(1); }

void ReplaceListDialog::moveRow(int by) {
  const int row = table_->currentRow(), to = row + by;
  if (row < 0 || to < 0 || to >= table_->rowCount()) return;
  const QString search = cellText(table_, row, 0),
                replacement = cellText(table_, row, 1);
  setRow(table_, row, cellText(table_, to, 0), cellText(table_, to, 1));
  setRow(table_, to, search, replacement);
  table_->setCurrentCell(to, table_->currentColumn());
}

void ReplaceListDialog::importList() {
  const QString path =
      QFileDialog::getOpenFileName(this, tr("Import a list"), {}, listFilter());
  if (!path.isEmpty()) importFrom(path);
}

void ReplaceListDialog::exportList() {
  const QString path = QFileDialog::getSaveFileName(this, tr("Export the list"),
                                                    {}, listFilter());
  if (!path.isEmpty()) exportTo(path);
}

void ReplaceListDialog::clearList() { table_->setRowCount(0); }
