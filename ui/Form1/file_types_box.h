// The Select Files page's "File types" box: a few presets and whatever
// pattern list the user types.  A preset with a label ("HTML pages (...)")
// stands for the patterns in its parentheses.  The last choice is kept
// between starts.

#ifndef VANTREL_UI_FORM1_FILE_TYPES_BOX_H_
#define VANTREL_UI_FORM1_FILE_TYPES_BOX_H_

#include <QComboBox>
#include <QString>

class FileTypesBox : public QComboBox {
  Q_OBJECT

 public:
  explicit FileTypesBox(QWidget* parent = nullptr);

  // The patterns of the shown choice, such as "*.htm;*.asp".
  QString patterns() const;

 signals:
  // Raised when the user picked a preset or finished typing patterns that
  // differ from the ones before.
  void patternsChosen(const QString& patterns);

 private:
  void choose();

  QString chosen_;
};

#endif  // VANTREL_UI_FORM1_FILE_TYPES_BOX_H_
