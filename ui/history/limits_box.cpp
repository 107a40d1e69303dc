#include "ui/history/limits_box.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QSpinBox>
#include <algorithm>

#include "ui/browser/message_box.h"

namespace {

constexpr int kGigabyteShift = 30;

QSpinBox* makeSpin(QWidget* parent, const char* name, int most, int value) {
  auto* spin = new QSpinBox(parent);
  spin->setObjectName(name);
  spin->setRange(1, most);
  spin->setValue(value);
  spin->setAccelerated(true);
  return spin;
}

QLabel* makeBuddy(QWidget* parent, const QString& text, QWidget* buddy) {
  auto* label = new QLabel(text, parent);
  label->setBuddy(buddy);
  return label;
}

}  // namespace

LimitsBox::LimitsBox(QWidget* parent)
    : QWidget(parent),
      runs_(makeSpin(this, "SpinRuns", 100000, 200)),
      gigabytes_(makeSpin(this, "SpinGigabytes", 1024, 2)),
      apply_(new QPushButton(tr("&Apply"), this)),
      space_(new QLabel(this)) {
  apply_->setObjectName("CommandApplyLimits");
  apply_->setAutoDefault(false);
  space_->setObjectName("LabelSpace");
  gigabytes_->setSuffix(tr(" GiB"));

  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(makeBuddy(this, tr("Keep the last"), runs_));
  layout->addWidget(runs_);
  layout->addWidget(makeBuddy(this, tr("&runs, in at most"), gigabytes_));
  layout->addWidget(gigabytes_);
  layout->addWidget(apply_);
  layout->addStretch(1);
  layout->addWidget(space_);

  connect(runs_, &QSpinBox::valueChanged, this, &LimitsBox::updateApply);
  connect(gigabytes_, &QSpinBox::valueChanged, this, &LimitsBox::updateApply);
  connect(apply_, &QPushButton::clicked, this, &LimitsBox::apply);
  setStore(nullptr);
}

void LimitsBox::setStore(engine::HistoryStore* store) {
  store_ = store;
  setEnabled(store_ != nullptr);
  engine::HistoryLimits limits;
  if (store_) {
    const engine::Status status = store_->GetLimits(&limits);
    if (!status.ok()) {
      ui::informUser(this, tr("Oops.."),
                     QString::fromStdString(status.message()));
    }
  }
  runs_->setValue(static_cast<int>(
      std::clamp<std::int64_t>(limits.runs, 1, runs_->maximum())));
  // Rounded up, so that showing a limit never lowers it.
  const std::int64_t gigabytes =
      (limits.bytes + (std::int64_t{1} << kGigabyteShift) - 1) >>
      kGigabyteShift;
  gigabytes_->setValue(static_cast<int>(
      std::clamp<std::int64_t>(gigabytes, 1, gigabytes_->maximum())));
  stored_ = chosen();
  showSpace();
  updateApply();
}

void LimitsBox::showSpace() {
  std::int64_t bytes = 0;
  if (!store_ || !store_->SpaceUsed(&bytes).ok()) {
    space_->clear();
    return;
  }
  space_->setText(tr("%1 used").arg(QLocale().formattedDataSize(
      bytes, 1, QLocale::DataSizeTraditionalFormat)));
}

engine::HistoryLimits LimitsBox::chosen() const {
  engine::HistoryLimits limits;
  limits.runs = runs_->value();
  limits.bytes = std::int64_t{gigabytes_->value()} << kGigabyteShift;
  return limits;
}

void LimitsBox::updateApply() {
  const engine::HistoryLimits now = chosen();
  apply_->setEnabled(store_ &&
                     (now.runs != stored_.runs || now.bytes != stored_.bytes));
}

void LimitsBox::apply() {
  if (!store_) return;
  const engine::HistoryLimits limits = chosen();
  const engine::Status status = store_->SetLimits(limits);
  if (!status.ok()) {
    ui::informUser(this, tr("Oops.."),
                   QString::fromStdString(status.message()));
    return;
  }
  stored_ = limits;
  updateApply();
  showSpace();
  emit limitsApplied();
}
