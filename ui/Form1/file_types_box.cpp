#include "ui/Form1/file_types_box.h"

#include <QCoreApplication>
#include <QLineEdit>
#include <QSettings>

namespace {

const QString kKey = QStringLiteral("files/types");

// The program names no organization; without one QSettings reports an
// access error, so the application's name stands for both.
QString settingsName() { return QCoreApplication::applicationName(); }

}  // namespace

FileTypesBox::FileTypesBox(QWidget* parent) : QComboBox(parent) {
  setEditable(true);
  // Typed patterns stay out of the list, so that the presets keep their
  // places from one start to the next.
  setInsertPolicy(QComboBox::NoInsert);
  addItems({QStringLiteral("*.htm;*.asp;*.hts;*.mv;*.cfm"),
            tr("HTML pages (*.html;*.htm;*.shtml;*.xhtml)"),
            tr("Web sources (*.html;*.htm;*.shtml;*.xhtml;*.php;*.asp;*.aspx;"
               "*.jsp;*.cfm;*.css;*.js;*.xml;*.svg;*.txt)")});
  const QString saved = QSettings(settingsName(), settingsName())
                            .value(kKey)
                            .toString()
                            .trimmed();
  if (!saved.isEmpty()) setCurrentText(saved);
  chosen_ = patterns();
  connect(this, &QComboBox::activated, this, &FileTypesBox::choose);
  connect(lineEdit(), &QLineEdit::editingFinished, this, &FileTypesBox::choose);
}

QString FileTypesBox::patterns() const {
  const QString text = currentText().trimmed();
  const qsizetype open = text.lastIndexOf(u'(');
  if (open >= 0 && text.endsWith(u')'))
    return text.mid(open + 1, text.size() - open - 2).trimmed();
  return text;
}

void FileTypesBox::choose() {
  const QString now = patterns();
  if (now.isEmpty() || now == chosen_) return;
  chosen_ = now;
  QSettings(settingsName(), settingsName())
      .setValue(kKey, currentText().trimmed());
  emit patternsChosen(now);
}
