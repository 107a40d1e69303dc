#include "ui/Form1/change_options.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QTextDocument>
#include <string>

#include "engine/replace_list.h"
#include "ui/Form1/replace_list_dialog.h"
#include "ui/Form1/wizard_pages.h"
#include "ui/browser/message_box.h"

namespace {

const QString kListKey = QStringLiteral("change/list");

// The same settings as the file types box (file_types_box.cpp): the
// program names no organization, so its name stands for both.
QString settingsName() { return QCoreApplication::applicationName(); }

// A run's texts take the line ends of the documents it rewrites.  The raw
// text, since toPlainText() turns non-breaking spaces (common in text
// copied from web pages) into plain ones.
std::string runText(const QPlainTextEdit* box) {
  QString text = box->document()->toRawText();
  // The box ends its lines in U+2029 (U+2028 for soft breaks); the
  // documents take CR LF.
  text.replace(QChar(QChar::ParagraphSeparator), QChar(u'\n'));
  text.replace(QChar(QChar::LineSeparator), QChar(u'\n'));
  text.replace(u'\n', QLatin1String("\r\n"));
  // UTF-8 whatever the locale: each document is written in its own
  // encoding, and no code page may turn a character into '?'.
  return text.toStdString();
}

}  // namespace

ChangeOptions::ChangeOptions(ChangeFrame* page) : QObject(page), page_(page) {
  setObjectName(QStringLiteral("ChangeOptions"));
  const QSettings settings(settingsName(), settingsName());
  for (const auto& [box, key] : options()) {
    box->setChecked(settings.value(QLatin1String(key), false).toBool());
    connect(box, &QCheckBox::toggled, this, &ChangeOptions::rememberOptions);
  }
  // A list spoiled by hand is dropped whole rather than half used.
  const std::string saved = settings.value(kListKey).toString().toStdString();
  std::vector<engine::ReplacePair> pairs;
  std::string problem;
  if (!saved.empty() && engine::ParseReplaceList(saved, &pairs, &problem))
    list_ = std::move(pairs);
  page_->showListInUse(static_cast<int>(list_.size()));
  emit listChanged();
  connect(page_->list(), &QPushButton::clicked, this, &ChangeOptions::editList);
}

void ChangeOptions::setList(std::vector<engine::ReplacePair> pairs) {
  list_ = std::move(pairs);
  page_->showListInUse(static_cast<int>(list_.size()));
  QSettings(settingsName(), settingsName())
      .setValue(kListKey,
                QString::fromStdString(engine::FormatReplaceList(list_)));
}

engine::ReplaceRules ChangeOptions::rules() const {
  engine::ReplaceRules rules;
  if (list_.empty()) {
    rules.pairs.push_back(
        {runText(page_->searchText()), runText(page_->newText())});
  } else {
    rules.pairs = list_;
  }
  rules.match_case = page_->matchCase()->isChecked();
  rules.whole_words = page_->wholeWords()->isChecked();
  rules.every_occurrence = page_->everyOccurrence()->isChecked();
  rules.regex = page_->regex()->isChecked();
  return rules;
}

bool ChangeOptions::confirmDeletion(QWidget* window) const {
  // A list is written out pair by pair, so its empty new texts are meant;
  // without a text to replace the run is refused anyway.
  const QString search = page_->searchText()->toPlainText();
  if (!list_.empty() || search.isEmpty() ||
      !page_->newText()->document()->isEmpty()) {
    return true;
  }
  QMessageBox box(
      QMessageBox::Question, ui::titleFor(window),
      tr("Delete every match of \"%1\" in the selected documents?").arg(search),
      QMessageBox::Yes | QMessageBox::No, window->window());
  box.setObjectName(QStringLiteral("DeleteQuestion"));
  box.setDefaultButton(QMessageBox::No);
  // As the program's other boxes: no window may start a run meanwhile.
  box.setWindowModality(Qt::ApplicationModal);
  return box.exec() == QMessageBox::Yes;
}

std::array<std::pair<QCheckBox*, const char*>, 4> ChangeOptions::options()
    const {
  return {{{page_->matchCase(), "change/matchCase"},
           {page_->wholeWords(), "change/wholeWords"},
           {page_->everyOccurrence(), "change/everyOccurrence"},
           {page_->regex(), "change/regex"}}};
}

void ChangeOptions::editList() {
  ReplaceListDialog dialog(page_->window());
  dialog.setPairs(list_);
  if (dialog.exec() == QDialog::Accepted) setList(dialog.pairs());
}

void ChangeOptions::rememberOptions() const {
  QSettings settings(settingsName(), settingsName());
  for (const auto& [box, key] : options())
    settings.setValue(QLatin1String(key), box->isChecked());
}
