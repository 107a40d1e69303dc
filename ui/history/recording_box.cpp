#include "ui/history/recording_box.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QLabel>
#include <QSettings>
#include <QVBoxLayout>

namespace {

const QString kRecordKey = QStringLiteral("history/record");
const QString kBackupsKey = QStringLiteral("backups/keep");

// As the main window's settings: the program names no organization, and
// without one QSettings reports an access error.
QString settingsName() { return QCoreApplication::applicationName(); }

bool setting(const QString& key) {
  return QSettings(settingsName(), settingsName()).value(key, true).toBool();
}

}  // namespace

RecordingBox::RecordingBox(QWidget* parent)
    : QWidget(parent),
      record_(new QCheckBox(tr("Record every run in the &history"), this)),
      backups_(
          new QCheckBox(tr("Keep .bac backups beside the documents"), this)),
      warning_(new QLabel(tr("With neither, an update would have no way "
                             "back, and is refused."),
                          this)) {
  record_->setObjectName("CheckRecording");
  backups_->setObjectName("CheckKeepBackups");
  warning_->setObjectName("LabelNeither");
  warning_->setWordWrap(true);
  QFont bold = warning_->font();
  bold.setBold(true);
  warning_->setFont(bold);

  record_->setChecked(recordingOn());
  backups_->setChecked(keepBackups());
  warning_->setVisible(!record_->isChecked() && !backups_->isChecked());

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(record_);
  layout->addWidget(backups_);
  layout->addWidget(warning_);

  connect(record_, &QCheckBox::toggled, this, &RecordingBox::save);
  connect(backups_, &QCheckBox::toggled, this, &RecordingBox::save);
}

bool RecordingBox::recordingOn() { return setting(kRecordKey); }

bool RecordingBox::keepBackups() { return setting(kBackupsKey); }

void RecordingBox::save() {
  QSettings saved(settingsName(), settingsName());
  saved.setValue(kRecordKey, record_->isChecked());
  saved.setValue(kBackupsKey, backups_->isChecked());
  warning_->setVisible(!record_->isChecked() && !backups_->isChecked());
}
