#include "ui/Form1/form1.h"

#include <QCheckBox>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShortcut>
#include <utility>

#include "data/images/vantrel_images.h"
#include "engine/replace_list.h"
#include "engine/update_run.h"
#include "ui/Form1/change_options.h"
#include "ui/Form1/file_types_box.h"
#include "ui/Form1/index_tab.h"
#include "ui/Form1/login_name.h"
#include "ui/Form1/update_guard.h"
#include "ui/Form1/wizard_layout.h"
#include "ui/Form1/wizard_pages.h"
#include "ui/Form2/form2.h"
#include "ui/Form5/form5.h"
#include "ui/browser/code_page.h"
#include "ui/browser/drive_list.h"
#include "ui/browser/file_list.h"
#include "ui/browser/folder_list.h"
#include "ui/browser/message_box.h"
#include "ui/help/help_window.h"
#include "ui/history/history_window.h"
#include "ui/preview/preview_window.h"
#include "ui/widgets/progress_bar.h"
#include "ui/widgets/run_preferences.h"
#include "ui/widgets/run_worker.h"

using wizard::twips;

namespace {

// Shows the one window of its kind: a new one (deleted when closed), or the
// open one brought to the front.  No parent, so that it outlives the main
// window when that closes first.
template <typename Window>
void showOnce(QPointer<Window>& window) {
  if (!window) {
    window = new Window;
    window->show();
    return;
  }
  window->show();
  window->raise();
  window->activateWindow();
}

}  // namespace

Form1::Form1(QWidget* parent)
    : QWidget(parent),
      tabs_(new IndexTab(this)),
      introduction_(new IntroductionFrame),
      selectFiles_(new SelectFilesFrame),
      change_(new ChangeFrame),
      changeOptions_(new ChangeOptions(change_)),
      update_(new UpdateFrame),
      runner_(new RunWorker(*this, this)) {
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(QStringLiteral("Vantrel!"));
  setWindowIcon(vantrelIcon());
  setFont(wizard::dialogFont());
  resize(wizard::px(7935), wizard::px(4665));

  tabs_->setObjectName(QStringLiteral("SSIndexTab1"));
  tabs_->setGeometry(twips(120, 120, 7695, 3975));
  const QPoint framePlace = twips(120, 360, 0, 0).topLeft();
  tabs_->addFramePage(introduction_, tr("&Introduction"), framePlace);
  tabs_->addFramePage(selectFiles_, tr("&Select Files"), framePlace);
  tabs_->addFramePage(change_, tr("&Change"), framePlace);
  tabs_->addFramePage(update_, tr("&Brisklet !"), framePlace);

  about_ = wizard::addButton(this, "Command2", twips(240, 4200, 1455, 375),
                             tr("&About"));
  history_ = wizard::addButton(this, "CommandHistory",
                               twips(3120, 4200, 1455, 375), tr("&History..."));
  help_ = wizard::addButton(this, "Command4", twips(4680, 4200, 1455, 375),
                            tr("&Help"));
  exit_ = wizard::addButton(this, "Command1", twips(6240, 4200, 1455, 375),
                            tr("&Exit"));
  setUpFocusOrder();
  auto* helpKey = new QShortcut(QKeySequence::HelpContents, this);
  runner_->setObjectName(QStringLiteral("UpdateRunner"));
  // Stop is the one control a run leaves usable.
  runner_->allowDuringRun(update_->stop());

  connect(exit_, &QPushButton::clicked, this, &Form1::Command1_Click);
  connect(about_, &QPushButton::clicked, this, &Form1::Command2_Click);
  connect(help_, &QPushButton::clicked, this, &Form1::Command4_Click);
  connect(history_, &QPushButton::clicked, this, &Form1::CommandHistory_Click);
  watchUpdateInputs();
  connect(update_->update(), &QPushButton::clicked, this,
          &Form1::Command5_Click);
  connect(update_->undo(), &QPushButton::clicked, this, &Form1::Command6_Click);
  connect(update_->preview(), &QPushButton::clicked, this,
          &Form1::CommandPreview_Click);
  connect(update_->stop(), &QPushButton::clicked, runner_,
          &RunWorker::requestStop);
  connect(helpKey, &QShortcut::activated, this, &Form1::Command4_Click);
  connect(runner_, &RunWorker::started, this, &Form1::runStarted);
  connect(runner_, &RunWorker::finished, this, &Form1::runFinished);
  connect(selectFiles_->drives(), &DriveList::changed, this,
          &Form1::dir_Change);
  connect(selectFiles_->folders(), &FolderList::changed, this,
          &Form1::Dir1_Change);
  selectFiles_->drives()->follow(selectFiles_->folders());

  Form_Load();
}

Form1::~Form1() {
  // A run still going on reports to this window until it has stopped.
  delete runner_;
}

void Form1::Form_Load() {
  tabs_->setCurrentIndex(0);
  introduction_->userLine()->setText(account::userLine());
}

void Form1::Command1_Click() { close(); }

void Form1::Command2_Click() { showOnce(aboutWindow_); }

void Form1::Command4_Click() { HelpWindow::showContents(); }

void Form1::Command5_Click() {
  // The run works on what the window shows at the click.
  const std::string folder =
      ui::toPathBytes(selectFiles_->folders()->path()).toStdString();
  const engine::Selection entries = selectFiles_->files()->selection();
  const engine::ReplaceRules rules = changeOptions_->rules();
  if (!changeOptions_->confirmDeletion(this)) return;
  std::shared_ptr<engine::HistoryStore> history;
  std::string problem;
  if (!preferences::openRecording(&history, &problem)) {
    showMessage(problem, "Oops..");
    return;
  }
  engine::RunSettings settings;
  settings.keep_backups = preferences::keepBackups();
  settings.what = engine::DescribeRules(rules);
  runner_->start([=](RunWindow& window) {
    engine::RunSettings recorded = settings;
    recorded.history = history.get();
    UpdateInWindow(folder, entries, rules, window,
                   engine::FileSystem::Default(), recorded);
  });
}

void Form1::Command6_Click() {
  const bool opening = !restoreWindow_;
  showOnce(restoreWindow_);
  if (opening) restoreWindow_->openFolder(selectFiles_->folders()->path());
}

void Form1::CommandPreview_Click() {
  const std::string folder =
      ui::toPathBytes(selectFiles_->folders()->path()).toStdString();
  const engine::Selection entries = selectFiles_->files()->selection();
  const engine::ReplaceRules rules = changeOptions_->rules();
  auto preview = std::make_shared<engine::Preview>();
  const std::atomic<bool>* stop = runner_->stopFlag();
  pendingPreview_ = preview;
  runner_->start([=](RunWindow&) {
    engine::PreviewRun(folder, entries, rules, preview.get(), stop);
  });
}

void Form1::showPreview(engine::Preview&& preview) {
  if (!previewWindow_) {
    previewWindow_ = new PreviewWindow;
    previewWindow_->setAttribute(Qt::WA_DeleteOnClose);
  }
  previewWindow_->showPreview(std::move(preview));
  previewWindow_->show();
  previewWindow_->raise();
  previewWindow_->activateWindow();
}

void Form1::openFolder(const QString& folder) {
  selectFiles_->folders()->setPath(folder);
}

void Form1::runStarted() {
  update_->update()->setEnabled(false);
  update_->preview()->setEnabled(false);
  update_->showRunning(true);
}

void Form1::runFinished() {
  update_->showRunning(false);
  update_->update()->setEnabled(updateEnabled_);
  update_->preview()->setEnabled(true);
  if (pendingPreview_)
    showPreview(std::move(*std::exchange(pendingPreview_, {})));
}

void Form1::dir_Change() {
  selectFiles_->folders()->setPath(selectFiles_->drives()->drive());
}

void Form1::Dir1_Change() {
  selectFiles_->files()->setPath(selectFiles_->folders()->path());
}

void Form1::showWorkingOn(const std::string& text) {
  update_->workingOn()->setText(
      ui::fromPathBytes(QByteArray::fromStdString(text)));
}

void Form1::showOperation(const std::string& text) {
  update_->operation()->setText(
      ui::fromPathBytes(QByteArray::fromStdString(text)));
}

void Form1::setProgressRange(int minimum, int maximum) {
  update_->progress()->setMinimum(minimum);
  update_->progress()->setMaximum(maximum);
}

void Form1::setProgressValue(int value) {
  update_->progress()->setValue(value);
}

void Form1::showMessage(const std::string& prompt, const std::string& title) {
  ui::informUser(this, ui::fromPathBytes(QByteArray::fromStdString(title)),
                 ui::fromPathBytes(QByteArray::fromStdString(prompt)));
}

void Form1::disableUpdate() {
  update_->update()->setEnabled(false);
  updateEnabled_ = false;
  updateGuard_->ran();
}

void Form1::CommandHistory_Click() { showOnce(historyWindow_); }

QString Form1::updateFingerprint() const {
  QString fingerprint =
      QString::fromStdString(engine::DescribeRules(changeOptions_->rules()));
  fingerprint += QChar(0) + selectFiles_->folders()->path();
  for (const engine::Entry& entry : selectFiles_->files()->selection()) {
    if (entry.selected)
      fingerprint += QChar(0) + QString::fromStdString(entry.name);
  }
  return fingerprint;
}

void Form1::watchUpdateInputs() {
  updateGuard_ = new UpdateGuard([this] { return updateFingerprint(); }, this);
  connect(updateGuard_, &UpdateGuard::enabledChanged, this, [this](bool on) {
    updateEnabled_ = on;
    if (!runner_->running()) update_->update()->setEnabled(on);
  });
  for (QPlainTextEdit* text : {change_->searchText(), change_->newText()}) {
    connect(text, &QPlainTextEdit::textChanged, updateGuard_,
            &UpdateGuard::refresh);
  }
  for (QCheckBox* option : {change_->matchCase(), change_->wholeWords(),
                            change_->everyOccurrence(), change_->regex()}) {
    connect(option, &QCheckBox::toggled, updateGuard_, &UpdateGuard::refresh);
  }
  connect(changeOptions_, &ChangeOptions::listChanged, updateGuard_,
          &UpdateGuard::refresh);
  connect(selectFiles_->folders(), &FolderList::changed, updateGuard_,
          &UpdateGuard::refresh);
  connect(selectFiles_->files(), &FileList::filled, updateGuard_,
          &UpdateGuard::refresh);
  connect(selectFiles_->files()->selectionModel(),
          &QItemSelectionModel::selectionChanged, updateGuard_,
          &UpdateGuard::refresh);
}

void Form1::refreshList() {}

void Form1::setUpFocusOrder() {
  // One chain through every page: Tab skips the controls of the pages not
  // shown, so each page is visited from the tab row down, in reading order,
  // and then the buttons under it.
  const QList<QWidget*> order = {tabs_,
                                 introduction_->picture(),
                                 selectFiles_->folders(),
                                 selectFiles_->drives(),
                                 selectFiles_->types(),
                                 selectFiles_->files(),
                                 selectFiles_->subfolders(),
                                 change_->searchText(),
                                 change_->newText(),
                                 change_->matchCase(),
                                 change_->wholeWords(),
                                 change_->everyOccurrence(),
                                 change_->regex(),
                                 change_->list(),
                                 update_->preview(),
                                 update_->update(),
                                 update_->stop(),
                                 update_->undo(),
                                 about_,
                                 history_,
                                 help_,
                                 exit_};
  for (int i = 1; i < order.size(); ++i)
    QWidget::setTabOrder(order[i - 1], order[i]);
}
