// The About window: banner, product name, version, the text of config.cfg
// and the copyright notice.  It has no title bar; OK (or Enter, Space,
// Alt+O, Escape) closes it, and it is deleted on closing, so the next opening
// reads config.cfg afresh.

#ifndef VANTREL_UI_FORM2_FORM2_H_
#define VANTREL_UI_FORM2_FORM2_H_

#include <QWidget>

class QLabel;
class QPushButton;

class Form2 : public QWidget {
  Q_OBJECT
 public:
  explicit Form2(QWidget* parent = nullptr);

 private:
  void Form_Load();
  void Command1_Click();

  QPushButton* Command1;
  QLabel* Picture1;
  QLabel* Label5;
  QLabel* Label1;
  QLabel* Label2;
  QLabel* Label4;
};

#endif  // VANTREL_UI_FORM2_FORM2_H_
