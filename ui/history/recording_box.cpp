#include "ui/history/recording_box.h"

#include <QCheckBox>
#include <QLabel>
#include <QVBoxLayout>

#include "ui/widgets/run_preferences.h"

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

  record_->setChecked(preferences::recordingOn());
  backups_->setChecked(preferences::keepBackups());
  warning_->setVisible(!record_->isChecked() && !backups_->isChecked());

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(record_);
  layout->addWidget(backups_);
  layout->addWidget(warning_);

  connect(record_, &QCheckBox::toggled, this, &RecordingBox::save);
  connect(backups_, &QCheckBox::toggled, this, &RecordingBox::save);
}

void RecordingBox::save() {
  preferences::setRecordingOn(record_->isChecked());
  preferences::setKeepBackups(backups_->isChecked());
  warning_->setVisible(!record_->isChecked() && !backups_->isChecked());
}
