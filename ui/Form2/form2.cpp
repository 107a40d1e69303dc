#include "ui/Form2/form2.h"

#include <QFile>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QShortcut>

#include "data/images/vantrel_images.h"
#include "ui/Form2/frameless_sizing.h"
#include "ui/browser/code_page.h"

namespace {

// The window's client area, in pixels at 96 dots per inch.
constexpr QSize kClientSize(312, 255);

// The text of config.cfg as the label shows it: a line ends at CR or at
// CR LF (a lone LF belongs to its line), and every line, the last one
// included, is followed by CR LF.  A line end at the very end of the file
// starts no further line.
QString configText(const QByteArray& bytes) {
  QByteArray text;
  text.reserve(bytes.size() + bytes.count('\r') + 2);
  qsizetype lineStart = 0;
  for (qsizetype i = 0; i < bytes.size(); ++i) {
    if (bytes[i] != '\r') continue;
    text += bytes.mid(lineStart, i - lineStart);
    text += "\r\n";
    if (i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
    lineStart = i + 1;
  }
  if (lineStart < bytes.size()) {
    text += bytes.mid(lineStart);
    text += "\r\n";
  }
  return ui::fromCodePage(text.toStdString());
}

QLabel* makeLabel(QWidget* parent, const char* name, const QString& text,
                  QRect geometry) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(name);
  label->setGeometry(geometry);
  label->setTextFormat(Qt::PlainText);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  return label;
}

}  // namespace

Form2::Form2(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint) {
  setObjectName("Form2");
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowIcon(vantrelIcon());
  // The main window's face: Arial's metrics, close to the Windows dialog
  // face that the layout was measured with.
  QFont font;
  font.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("Arial"),
                    QStringLiteral("Helvetica"),
                    QStringLiteral("DejaVu Sans")});
  font.setPointSizeF(8.25);
  setFont(font);
  resize(kClientSize);

  // Created in tab order; only the button takes the focus.
  Command1 = new QPushButton(tr("&OK"), this);
  Command1->setObjectName("Command1");
  Command1->setGeometry(8, 224, 97, 25);
  Command1->setDefault(true);

  initVantrelImages();
  Picture1 = new QLabel(this);
  Picture1->setObjectName("Picture1");
  Picture1->setGeometry(0, 0, 313, 89);
  Picture1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  Picture1->setPixmap(QPixmap(vantrelImagePath("banner.jpg")));

  Label5 = makeLabel(this, "Label5",
                     QStringLiteral("Copyright \u00a9 2026 Lumatek, Inc."),
                     QRect(112, 232, 193, 17));
  Label1 = makeLabel(this, "Label1", QStringLiteral("Orvella for Windows "),
                     QRect(8, 96, 289, 17));
  QFont titleFont = font;
  titleFont.setPointSizeF(9.75);
  titleFont.setBold(true);
  Label1->setFont(titleFont);
  Label2 = makeLabel(this, "Label2", QStringLiteral("Version 1.5a"),
                     QRect(8, 112, 185, 17));
  Label4 = makeLabel(this, "Label4", QStringLiteral("Lumatek, Inc."),
                     QRect(8, 136, 297, 81));
  Label4->setWordWrap(true);

  auto* sizing = new FramelessSizing(this);
  sizing->addMoveHandle(Picture1);

  connect(Command1, &QPushButton::clicked, this, &Form2::Command1_Click);
  connect(new QShortcut(QKeySequence::Cancel, this), &QShortcut::activated,
          this, &Form2::Command1_Click);

  Form_Load();
  Command1->setFocus();
}

void Form2::Form_Load() {
  // Read by its bare name: the file is looked for in the folder that was
  // current when the program started.  Without it the label keeps its text.
  QFile file(QStringLiteral("config.cfg"));
  if (!file.open(QIODevice::ReadOnly)) return;
  const QByteArray bytes = file.readAll();
  if (file.error() != QFileDevice::NoError) return;
  Label4->setText(configText(bytes));
}

void Form2::Command1_Click() { close(); }
