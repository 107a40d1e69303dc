#include "ui/history/history_window.h"

#include <QDateTime>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <utility>
#include <vector>

#include "engine/history/undo_run.h"
#include "ui/browser/code_page.h"
#include "ui/browser/message_box.h"
#include "ui/history/change_dialog.h"
#include "ui/history/limits_box.h"
#include "ui/history/recording_box.h"
#include "ui/history/run_documents_model.h"
#include "ui/history/run_list_model.h"
#include "ui/widgets/progress_bar.h"
#include "ui/widgets/run_preferences.h"
#include "ui/widgets/run_worker.h"

namespace {

const char kOops[] = "Oops..";

QString fromBytes(const std::string& bytes) {
  // Messages name files, whose names need not be UTF-8.
  return ui::fromPathBytes(QByteArray::fromStdString(bytes));
}

QPushButton* makeButton(QWidget* parent, const char* name,
                        const QString& caption) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(name);
  button->setAutoDefault(false);
  return button;
}

// A read-only list of whole rows, one selected at a time.  Columns get
// widths from the font rather than from their contents, which would
// measure every row of a long history.
QTableView* makeTable(QWidget* parent, const char* name,
                      QAbstractItemModel* model) {
  auto* table = new QTableView(parent);
  table->setObjectName(name);
  table->setModel(model);
  table->setSelectionBehavior(QAbstractItemView::SelectRows);
  table->setSelectionMode(QAbstractItemView::SingleSelection);
  table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table->setWordWrap(false);
  table->setTextElideMode(Qt::ElideMiddle);
  table->setAlternatingRowColors(true);
  table->setShowGrid(false);
  table->verticalHeader()->hide();
  table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() +
                                                 6);
  table->horizontalHeader()->setHighlightSections(false);
  return table;
}

void sizeColumn(QTableView* table, int column, const QString& widest) {
  table->setColumnWidth(column,
                        table->fontMetrics().horizontalAdvance(widest) + 24);
}

QLabel* makeHeading(QWidget* parent, const QString& text, QWidget* buddy) {
  auto* label = new QLabel(text, parent);
  label->setBuddy(buddy);
  return label;
}

}  // namespace

HistoryWindow::HistoryWindow(QWidget* parent)
    : QWidget(parent, Qt::Window),
      LabelError(new QLabel(this)),
      CommandShowChange(
          makeButton(this, "CommandShowChange", tr("&Show change"))),
      CommandUndoRun(makeButton(this, "CommandUndoRun", tr("&Undo this run"))),
      CommandForget(makeButton(this, "CommandForget", tr("&Forget"))),
      limits_(new LimitsBox(this)),
      recording_(new RecordingBox(this)),
      LabelStatus(new QLabel(this)),
      ProgressBar1(new ProgressBar(this)),
      CommandClose(makeButton(this, "CommandClose", tr("&Close"))),
      CommandStop(makeButton(this, "CommandStop", tr("S&top"))),
      runs_(new RunListModel(this)),
      documents_(new RunDocumentsModel(this)),
      runner_(new RunWorker(*this, this)) {
  setObjectName("HistoryWindow");
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle(tr("History"));
  QSize size(860, 600);
  if (const QScreen* screen = this->screen())
    size = size.boundedTo(screen->availableGeometry().size() * 9 / 10);
  resize(size);

  TableRuns = makeTable(this, "TableRuns", runs_);
  TableDocuments = makeTable(this, "TableDocuments", documents_);
  sizeColumn(TableRuns, RunListModel::WhenColumn,
             QLocale().toString(QDateTime(QDate(2000, 12, 28), QTime(23, 58)),
                                QLocale::ShortFormat));
  TableRuns->setColumnWidth(RunListModel::FolderColumn, 220);
  sizeColumn(TableRuns, RunListModel::DocumentsColumn, tr("Documents"));
  sizeColumn(TableRuns, RunListModel::EndedColumn,
             QStringLiteral("interrupted"));
  TableRuns->horizontalHeader()->setSectionResizeMode(RunListModel::WhatColumn,
                                                      QHeaderView::Stretch);
  sizeColumn(TableDocuments, RunDocumentsModel::StateColumn,
             RunDocumentsModel::stateWords(engine::DocumentState::kAsLeft));
  TableDocuments->horizontalHeader()->setSectionResizeMode(
      RunDocumentsModel::DocumentColumn, QHeaderView::Stretch);

  LabelError->setObjectName("LabelError");
  LabelError->setTextFormat(Qt::PlainText);
  LabelError->setWordWrap(true);
  LabelError->setTextInteractionFlags(Qt::TextSelectableByMouse);
  LabelError->setStyleSheet(QStringLiteral("QLabel { color: #c00000; }"));
  LabelError->hide();
  LabelStatus->setObjectName("LabelStatus");
  LabelStatus->setTextFormat(Qt::PlainText);
  // A long path must not widen the window.
  LabelStatus->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  ProgressBar1->setObjectName("ProgressBar1");
  ProgressBar1->setRange(0, 0);
  ProgressBar1->setFixedWidth(200);
  // Only a run fills it; idle, it would look like a box to type in.
  ProgressBar1->hide();
  CommandStop->hide();

  auto* commands = new QHBoxLayout;
  commands->addWidget(CommandShowChange);
  commands->addWidget(CommandUndoRun);
  commands->addWidget(CommandForget);
  commands->addStretch(1);

  auto* keeping = new QGroupBox(tr("Recording"), this);
  auto* keepingLayout = new QVBoxLayout(keeping);
  keepingLayout->addWidget(limits_);
  keepingLayout->addWidget(recording_);

  auto* bottom = new QHBoxLayout;
  bottom->addWidget(ProgressBar1);
  bottom->addWidget(LabelStatus, 1);
  bottom->addWidget(CommandClose);
  bottom->addWidget(CommandStop);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(LabelError);
  layout->addWidget(makeHeading(this, tr("Runs, newest first:"), TableRuns));
  layout->addWidget(TableRuns, 3);
  layout->addWidget(
      makeHeading(this, tr("Documents of the selected run:"), TableDocuments));
  layout->addWidget(TableDocuments, 2);
  layout->addLayout(commands);
  layout->addWidget(keeping);
  layout->addLayout(bottom);

  connect(TableRuns->selectionModel(), &QItemSelectionModel::selectionChanged,
          this, &HistoryWindow::showDocuments);
  connect(TableDocuments->selectionModel(),
          &QItemSelectionModel::selectionChanged, this,
          &HistoryWindow::updateCommands);
  connect(TableDocuments, &QAbstractItemView::doubleClicked, this,
          &HistoryWindow::showChange);
  connect(CommandShowChange, &QPushButton::clicked, this,
          &HistoryWindow::showChange);
  connect(CommandUndoRun, &QPushButton::clicked, this, &HistoryWindow::undoRun);
  connect(CommandForget, &QPushButton::clicked, this,
          &HistoryWindow::forgetRun);
  connect(CommandClose, &QPushButton::clicked, this, &QWidget::close);
  connect(limits_, &LimitsBox::limitsApplied, this,
          &HistoryWindow::refreshList);
  runner_->setObjectName("UndoRunner");
  runner_->allowDuringRun(CommandStop);
  connect(CommandStop, &QPushButton::clicked, runner_, &RunWorker::requestStop);
  connect(runner_, &RunWorker::started, this, &HistoryWindow::runStarted);
  connect(runner_, &RunWorker::finished, this, &HistoryWindow::runFinished);
  connect(new QShortcut(QKeySequence::Cancel, this), &QShortcut::activated,
          this, &QWidget::close);

  updateCommands();
}

HistoryWindow::~HistoryWindow() {
  // A run still going on uses the store and reports to this window until
  // it has stopped.
  delete runner_;
}

bool HistoryWindow::recordingOn() { return preferences::recordingOn(); }

bool HistoryWindow::keepBackups() { return preferences::keepBackups(); }

void HistoryWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (!storeTried_) openStore();
}

void HistoryWindow::openStore() {
  storeTried_ = true;
  std::unique_ptr<engine::HistoryStore> store;
  const engine::Status status =
      engine::OpenHistory(engine::DefaultHistoryPath(), &store);
  if (!status.ok()) {
    const QString text =
        fromBytes(status.message()) + QLatin1Char('\n') +
        tr("Turn recording off below to go on without the history.");
    LabelError->setText(text);
    LabelError->show();
    // Over the window once it is on the screen, not before it.
    QTimer::singleShot(0, this, [this, text] {
      ui::informUser(this, QString::fromLatin1(kOops), text);
    });
    return;
  }
  store_ = std::move(store);
  limits_->setStore(store_.get());
  reloadRuns();
}

void HistoryWindow::reloadRuns() {
  if (!store_) return;
  const std::int64_t kept = selectedRun();
  const int keptRow = std::max(0, TableRuns->currentIndex().row());
  std::vector<engine::HistoryRun> runs;
  if (!told(store_->ListRuns(&runs))) runs.clear();
  runs_->setRuns(std::move(runs));
  int row = runs_->rowOf(kept);
  // A forgotten run leaves its place to the next older one.
  if (row < 0) row = std::min(keptRow, runs_->rowCount() - 1);
  // Selecting shows the run's documents; the reset selected nothing.
  if (row >= 0)
    TableRuns->selectRow(row);
  else
    showDocuments();
}

void HistoryWindow::showDocuments() {
  std::vector<engine::DocumentNow> now;
  const std::int64_t run = selectedRun();
  if (store_ && run != 0 &&
      !told(engine::InspectRun(*store_, run, engine::FileSystem::Default(),
                               &now))) {
    now.clear();
  }
  documents_->setDocuments(std::move(now));
  if (documents_->rowCount() > 0) TableDocuments->selectRow(0);
  updateCommands();
}

void HistoryWindow::updateCommands() {
  const bool open = store_ != nullptr;
  const bool idle = !runner_->running();
  TableRuns->setEnabled(open);
  TableDocuments->setEnabled(open);
  CommandUndoRun->setEnabled(open && idle && selectedRun() != 0);
  CommandForget->setEnabled(open && idle && selectedRun() != 0);
  CommandShowChange->setEnabled(open && selectedDocument() >= 0);
}

std::int64_t HistoryWindow::selectedRun() const {
  const QModelIndexList rows = TableRuns->selectionModel()->selectedRows();
  return rows.size() == 1 ? runs_->run(rows.front().row()).id : 0;
}

int HistoryWindow::selectedDocument() const {
  const QModelIndexList rows = TableDocuments->selectionModel()->selectedRows();
  return rows.size() == 1 ? rows.front().row() : -1;
}

bool HistoryWindow::told(const engine::Status& status) {
  if (!status.ok()) {
    ui::informUser(this, QString::fromLatin1(kOops),
                   fromBytes(status.message()));
  }
  return status.ok();
}

void HistoryWindow::showChange() {
  const int row = selectedDocument();
  if (!store_ || row < 0) return;
  auto* dialog = new ChangeDialog(*store_, documents_->document(row), this);
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  dialog->show();
}

void HistoryWindow::undoRun() {
  const std::int64_t run = selectedRun();
  if (!store_ || run == 0) return;
  // The window touches the store only while the run waits for it.
  engine::HistoryStore* store = store_.get();
  runner_->start(
      [store, run](RunWindow& window) { UndoInWindow(*store, run, window); });
}

void HistoryWindow::forgetRun() {
  const std::int64_t run = selectedRun();
  if (!store_ || run == 0) return;
  QMessageBox box(QMessageBox::Question, ui::titleFor(this),
                  tr("Forget run %1? Its documents stay as they are; the run "
                     "can no longer be undone.")
                      .arg(run),
                  QMessageBox::Yes | QMessageBox::No, this);
  // Forgetting cannot be undone, so a hasty Enter keeps the run.
  box.setDefaultButton(QMessageBox::No);
  box.setWindowModality(Qt::ApplicationModal);
  if (box.exec() != QMessageBox::Yes) return;
  told(store_->ForgetRun(run));
  refreshList();
}

void HistoryWindow::runStarted() {
  updateCommands();
  CommandClose->hide();
  CommandStop->show();
  ProgressBar1->show();
}

void HistoryWindow::runFinished() {
  DocumentsPutBack::instance().note();
  CommandStop->hide();
  CommandClose->show();
  ProgressBar1->hide();
  LabelStatus->clear();
  updateCommands();
}

void HistoryWindow::showWorkingOn(const std::string& text) {
  LabelStatus->setText(fromBytes(text));
}

void HistoryWindow::showOperation(const std::string&) {}

void HistoryWindow::setProgressRange(int minimum, int maximum) {
  ProgressBar1->setRange(minimum, maximum);
}

void HistoryWindow::setProgressValue(int value) {
  ProgressBar1->setValue(value);
}

void HistoryWindow::showMessage(const std::string& prompt,
                                const std::string& title) {
  ui::informUser(this, fromBytes(title), fromBytes(prompt));
}

void HistoryWindow::refreshList() {
  reloadRuns();
  limits_->showSpace();
}
