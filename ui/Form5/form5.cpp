#include "ui/Form5/form5.h"

#include <sys/xattr.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>

#include "data/images/vantrel_images.h"
#include "engine/backup_record.h"
#include "engine/path_rules.h"
#include "engine/restore_run.h"
#include "ui/browser/code_page.h"
#include "ui/browser/drive_list.h"
#include "ui/browser/file_list.h"
#include "ui/browser/folder_list.h"
#include "ui/browser/message_box.h"
#include "ui/help/help_window.h"
#include "ui/widgets/progress_bar.h"
#include "ui/widgets/run_preferences.h"
#include "ui/widgets/run_worker.h"

namespace {

// The window's client area, in pixels at 96 dots per inch.
constexpr QSize kClientSize(419, 394);

// The text that means no type has been picked yet; the run refuses it.
// The first type: each backup goes back to the document it records.
const char kAsRecorded[] = "As recorded";

// Whether any of the first backups listed records its document; a few are
// enough to tell a folder of this program's backups.
bool BackupsRecordDocuments(const QString& folder,
                            const engine::Selection& entries) {
  const QByteArray base = ui::toPathBytes(folder);
  std::size_t looked = 0;
  for (const engine::Entry& entry : entries) {
    if (++looked > 32) break;
    const std::string path =
        engine::documentPath(base.toStdString(), entry.name);
    if (::getxattr(path.c_str(), engine::kDocumentRecordAttribute, nullptr,
                   0) >= 0) {
      return true;
    }
  }
  return false;
}

QFont windowFont() {
  QFont font;
  // The main window's face: Arial's metrics, close to the Windows dialog
  // face that the layout was measured with.
  font.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("Arial"),
                    QStringLiteral("Helvetica"),
                    QStringLiteral("DejaVu Sans")});
  font.setPointSizeF(8.25);
  return font;
}

template <typename T>
T* place(T* widget, const char* name, QRect geometry) {
  widget->setObjectName(name);
  widget->setGeometry(geometry);
  return widget;
}

QPushButton* makeButton(QWidget* parent, const char* name,
                        const QString& caption, QRect geometry) {
  auto* button = place(new QPushButton(caption, parent), name, geometry);
  // Enter in the type box must not press a button behind the user's back.
  button->setAutoDefault(false);
  return button;
}

}  // namespace

Form5::Form5(QWidget* parent)
    : QWidget(parent, Qt::Window), runner_(new RunWorker(*this, this)) {
  setObjectName("Form5");
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle(QStringLiteral("Form5"));
  setWindowIcon(vantrelIcon());
  setFont(windowFont());
  resize(kClientSize);

  // Created in the window's tab order.
  Drive1 = place(new DriveList(this), "Drive1", {8, 264, 161, 21});
  Dir1 = place(new FolderList(this), "Dir1", {8, 8, 161, 246});
  File1 = place(new FileList(QStringLiteral("*.bac"), this), "File1",
                {176, 8, 233, 257});
  CheckSubfolders = place(new QCheckBox(tr("Include sub&folders"), this),
                          "CheckSubfolders", {176, 268, 233, 19});
  Combo1 = place(new QComboBox(this), "Combo1", {176, 332, 233, 21});
  Label1 = place(new QLabel(tr("Restore to file type:"), this), "Label1",
                 {176, 312, 201, 17});
  Command1 = makeButton(this, "Command1", tr("&Restore"), {8, 296, 161, 25});
  Command2 = makeButton(this, "Command2", tr("&Exit"), {8, 328, 161, 25});
  // Right under Restore, where a second click on Restore cannot reach it.
  CommandStop = makeButton(this, "CommandStop", tr("&Stop"), {8, 328, 161, 25});
  CommandStop->hide();
  ProgressBar1 =
      place(new ProgressBar(this), "ProgressBar1", {8, 368, 401, 17});

  // Typed types are used as typed but never join the list, which holds
  // the five types only.
  Combo1->setEditable(true);
  Combo1->setInsertPolicy(QComboBox::NoInsert);
  // Without a completer the box neither completes "h" to "hTM" nor turns
  // a typed "htm" into the listed "HTM" when the focus leaves it.
  Combo1->setCompleter(nullptr);
  Label1->setTextFormat(Qt::PlainText);
  Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);

  connect(Drive1, &DriveList::changed, this, &Form5::Drive1_Change);
  connect(Dir1, &FolderList::changed, this, &Form5::Dir1_Change);
  connect(File1, &FileList::filled, this, &Form5::chooseTypeForBackups);
  connect(CheckSubfolders, &QCheckBox::toggled, File1,
          &FileList::setIncludeSubfolders);
  Drive1->follow(Dir1);
  connect(Command1, &QPushButton::clicked, this, &Form5::Command1_Click);
  connect(Command2, &QPushButton::clicked, this, &Form5::Command2_Click);
  runner_->setObjectName("RestoreRunner");
  runner_->allowDuringRun(CommandStop);
  connect(CommandStop, &QPushButton::clicked, runner_, &RunWorker::requestStop);
  connect(runner_, &RunWorker::started, this, &Form5::runStarted);
  connect(runner_, &RunWorker::finished, this, &Form5::runFinished);
  connect(new QShortcut(QKeySequence::HelpContents, this),
          &QShortcut::activated, this, &HelpWindow::showContents);
  connect(new QShortcut(QKeySequence::Cancel, this), &QShortcut::activated,
          this, &QWidget::close);

  Form_Load();
  chooseTypeForBackups();  // for the folder listed before the types were
  Drive1->setFocus();
}

Form5::~Form5() {
  // A run still going on reports to this window until it has stopped.
  delete runner_;
}

void Form5::Form_Load() {
  Combo1->addItems({QString::fromLatin1(kAsRecorded), QStringLiteral("HTM"),
                    QStringLiteral("ASP"), QStringLiteral("CFM"),
                    QStringLiteral("HTS"), QStringLiteral("MV")});
  Combo1->setCurrentIndex(-1);
  Combo1->setEditText(QString::fromLatin1(kChooseType));
}

void Form5::Drive1_Change() { Dir1->setPath(Drive1->drive()); }

void Form5::Dir1_Change() { File1->setPath(Dir1->path()); }

void Form5::chooseTypeForBackups() {
  const QString now = Combo1->currentText();
  if (now != QLatin1String(kChooseType) && now != QLatin1String(kAsRecorded))
    return;  // the user's own pick stays
  if (BackupsRecordDocuments(Dir1->path(), File1->selection())) {
    Combo1->setCurrentIndex(0);
  } else {
    Combo1->setCurrentIndex(-1);
    Combo1->setEditText(QString::fromLatin1(kChooseType));
  }
}

void Form5::openFolder(const QString& folder) { Dir1->setPath(folder); }

void Form5::Command1_Click() {
  // The run works on what the window shows at the click.
  // "As recorded" is the run's empty type.
  const std::string type = Combo1->currentText() == QLatin1String(kAsRecorded)
                               ? std::string()
                               : Combo1->currentText().toStdString();
  const std::string folder = ui::toPathBytes(Dir1->path()).toStdString();
  const engine::Selection entries = File1->selection();
  std::shared_ptr<engine::HistoryStore> history;
  std::string problem;
  if (!preferences::openRecording(&history, &problem)) {
    showMessage(problem, "Oops...");
    return;
  }
  runner_->start([=](RunWindow& window) {
    RestoreInWindow(type, folder, entries, window,
                    engine::FileSystem::Default(), history.get());
  });
}

void Form5::Command2_Click() { close(); }

void Form5::runStarted() {
  Command1->setEnabled(false);
  Command2->hide();
  CommandStop->show();
}

void Form5::runFinished() {
  DocumentsPutBack::instance().note();
  CommandStop->hide();
  Command2->show();
  Command1->setEnabled(true);
}

void Form5::showWorkingOn(const std::string&) {}

void Form5::showOperation(const std::string&) {}

void Form5::setProgressRange(int minimum, int maximum) {
  ProgressBar1->setMinimum(minimum);
  ProgressBar1->setMaximum(maximum);
}

void Form5::setProgressValue(int value) { ProgressBar1->setValue(value); }

void Form5::showMessage(const std::string& prompt, const std::string& title) {
  ui::informUser(this, ui::fromPathBytes(QByteArray::fromStdString(title)),
                 ui::fromPathBytes(QByteArray::fromStdString(prompt)));
}

void Form5::disableUpdate() {}

void Form5::refreshList() { File1->refresh(); }
