#include "ui/Form1/wizard_pages.h"

#include <QCheckBox>
#include <QEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <algorithm>
#include <cmath>

#include "data/images/vantrel_images.h"
#include "ui/Form1/file_types_box.h"
#include "ui/Form1/wizard_layout.h"
#include "ui/browser/drive_list.h"
#include "ui/browser/file_list.h"
#include "ui/browser/folder_list.h"
#include "ui/widgets/progress_bar.h"

using wizard::addLabel;
using wizard::twips;

namespace {

const QRect kFrame = twips(120, 360, 7455, 3495);

void setUpFrame(QGroupBox* frame, const char* name) {
  frame->setObjectName(QLatin1String(name));
  frame->setGeometry(kFrame);
}

QPlainTextEdit* addTextBox(QWidget* frame, const char* name,
                           const QRect& place) {
  auto* box = new QPlainTextEdit(frame);
  box->setObjectName(QLatin1String(name));
  box->setGeometry(place);
  box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  box->setTabChangesFocus(true);
  return box;
}

// Relative luminance and contrast ratio as WCAG defines them.
double luminance(const QColor& colour) {
  auto linear = [](double channel) {
    return channel <= 0.03928 ? channel / 12.92
                              : std::pow((channel + 0.055) / 1.055, 2.4);
  };
  return 0.2126 * linear(colour.redF()) + 0.7152 * linear(colour.greenF()) +
         0.0722 * linear(colour.blueF());
}

double contrast(const QColor& a, const QColor& b) {
  const double la = luminance(a), lb = luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// What may lie behind the captions: the window, or the panel of the tab
// they sit on, which styles such as Fusion draw a little lighter than the
// buttons (as Fusion works it out).
QList<QColor> backgrounds(const QPalette& palette) {
  QColor button = palette.color(QPalette::Button);
  const int lighter = 100 + std::max(1, (180 - qGray(button.rgb())) / 6);
  QColor panel = button.lighter(lighter);
  panel.setHsv(panel.hue(), panel.saturation() * 3 / 4, panel.value());
  return {palette.color(QPalette::Window), button, panel.lighter(104)};
}

// The captions were blue on a light window.  The theme's link colour keeps
// that look; where it is too faint on what lies behind them (a dark theme
// that keeps the light theme's blue), it is made lighter, or darker on a
// light window, until it reads well on each of those, its hue kept.
QColor captionColour(const QPalette& palette) {
  const QColor window = palette.color(QPalette::Window);
  const float towards = window.lightnessF() < 0.5 ? 0.05f : -0.05f;
  float hue, saturation, lightness;
  palette.color(QPalette::Link).getHslF(&hue, &saturation, &lightness);
  const QList<QColor> behind = backgrounds(palette);
  for (int step = 0; step <= 20; ++step) {
    const QColor colour = QColor::fromHslF(
        hue, saturation, std::clamp(lightness + step * towards, 0.0f, 1.0f));
    if (std::all_of(behind.begin(), behind.end(), [&](const QColor& under) {
          return contrast(colour, under) >= 4.5;
        })) {
      return colour;
    }
  }
  return palette.color(QPalette::WindowText);
}

}  // namespace

IntroductionFrame::IntroductionFrame(QWidget* parent) : QGroupBox(parent) {
  setUpFrame(this, "Frame1");
  picture_ = new QLabel(this);
  picture_->setObjectName(QStringLiteral("Picture1"));
  picture_->setGeometry(twips(120, 240, 2295, 3135));
  picture_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  picture_->setFocusPolicy(Qt::TabFocus);
  initVantrelImages();
  picture_->setPixmap(QPixmap(vantrelImagePath("picture1.png")));

  QLabel* banner = addLabel(this, "Label1", twips(2520, 240, 3735, 855),
                            QStringLiteral("Vantrel !"));
  banner->setFont(wizard::bannerFont());
  banner->setWordWrap(false);
  wizard::addLine(this, "Line1", 2520, 1080, 7200, 1080);
  addLabel(this, "Label2", twips(5040, 1200, 2175, 255),
           QStringLiteral("Lumatek, Inc."), Qt::AlignRight);
  addLabel(this, "Label4", twips(2640, 1920, 4575, 615),
           QStringLiteral("\"The fastest, easiest way to update your entire "
                          "website, from hyperlinks and meta tags to display "
                          "text and image tags - instantly !\""),
           Qt::AlignHCenter);
  userLine_ = addLabel(this, "Label19", twips(2520, 2880, 2415, 255), {});
  addLabel(this, "Label3", twips(2520, 3120, 4815, 255),
           QStringLiteral("Copyright \u00A9 2026 Lumatek, Inc."),
           Qt::AlignHCenter);
}

SelectFilesFrame::SelectFilesFrame(QWidget* parent) : QGroupBox(parent) {
  setUpFrame(this, "Frame2");
  folders_ = new FolderList(this);
  folders_->setObjectName(QStringLiteral("Dir1"));
  folders_->setGeometry(twips(120, 240, 2895, 2565));
  drives_ = new DriveList(this);
  drives_->setObjectName(QStringLiteral("dir"));
  drives_->setGeometry(twips(120, 3000, 2895, 315));
  addLabel(this, "Label5", twips(3240, 360, 3975, 615),
           QStringLiteral("To begin, simply select the web documents you wish "
                          "to modify. Vantrel can update a single document, "
                          "or an entire website !"));
  // Between the text above and the list, which gave up a little height.
  types_ = new FileTypesBox(this);
  types_->setObjectName(QStringLiteral("ComboTypes"));
  types_->setGeometry(twips(4260, 990, 3075, 315));
  auto* typesLabel = new QLabel(tr("File &types"), this);
  typesLabel->setObjectName(QStringLiteral("LabelTypes"));
  typesLabel->setGeometry(twips(3240, 1020, 975, 255));
  typesLabel->setBuddy(types_);
  // The engine refuses a document named like a backup, so listing one
  // would only offer a choice that fails.
  files_ = new FileList(types_->patterns(), this, browser::Backups::kLeftOut);
  files_->setObjectName(QStringLiteral("File1"));
  files_->setGeometry(twips(3240, 1350, 4095, 1665));
  connect(types_, &FileTypesBox::patternsChosen, files_, &FileList::setPattern);
  subfolders_ = new QCheckBox(tr("Include sub&folders"), this);
  subfolders_->setObjectName(QStringLiteral("CheckSubfolders"));
  subfolders_->setGeometry(twips(3240, 3060, 4095, 255));
  connect(subfolders_, &QCheckBox::toggled, files_,
          &FileList::setIncludeSubfolders);

  drives_->setToolTip(tr("Select the drive you wish to explore."));
  folders_->setToolTip(
      tr("Select the Directory where your web documents are stored."));
  types_->setToolTip(
      tr("Choose which files are listed, or type patterns such as "
         "\"*.htm;*.p?p\"."));
  subfolders_->setToolTip(
      tr("List the documents of every folder below this one too, to update "
         "a whole site at once."));
  files_->setToolTip(
      tr("Select from the displayed files. To choose multiple files, hold the "
         "'Cntrl' key down while clicking. To choose a block, use the "
         "'Shift' key."));
}

ChangeFrame::ChangeFrame(QWidget* parent) : QGroupBox(parent) {
  setUpFrame(this, "Frame3");
  addLabel(this, "Label6", twips(360, 240, 3015, 615),
           QStringLiteral("Enter the information to be REPLACED. This can "
                          "include page text as well as tags, such as "
                          "hyperlinks, images, etc."),
           Qt::AlignHCenter);
  addLabel(this, "Label7", twips(3960, 240, 3135, 615),
           QStringLiteral("Enter the NEW information in this section. Vantrel "
                          "! makes automatic backups of your original files "
                          "in case of a mistake"),
           Qt::AlignHCenter);
  // The boxes gave up their lower rows to the options.
  searchText_ = addTextBox(this, "Text1", twips(120, 960, 3495, 1755));
  newText_ = addTextBox(this, "Text2", twips(3840, 960, 3495, 1755));
  divider_ = wizard::addLine(this, "Line2", 3720, 1740, 3720, 2700);
  listInUse_ = addLabel(this, "LabelListInUse", twips(120, 1710, 7215, 255), {},
                        Qt::AlignHCenter);
  listInUse_->hide();

  auto addCheck = [this](const char* name, const QString& text, int left,
                         int top, int width) {
    auto* box = new QCheckBox(text, this);
    box->setObjectName(QLatin1String(name));
    box->setGeometry(twips(left, top, width, 255));
    return box;
  };
  matchCase_ = addCheck("CheckMatchCase", tr("Match &case"), 120, 2820, 3495);
  wholeWords_ =
      addCheck("CheckWholeWords", tr("&Whole words"), 3840, 2820, 2295);
  everyOccurrence_ =
      addCheck("CheckEveryOccurrence", tr("Every &occurrence on a line"), 120,
               3090, 3495);
  regex_ = addCheck("CheckRegex", tr("Regular e&xpression"), 3840, 3090, 2295);
  // Beside the two rows, since it belongs to neither.
  list_ = wizard::addButton(this, "CommandList", twips(6240, 2895, 1095, 375),
                            tr("&List..."));

  matchCase_->setToolTip(
      tr("Find the text only in the same upper and lower case letters."));
  wholeWords_->setToolTip(
      tr("Find the text only where no letter, digit or _ touches it."));
  everyOccurrence_->setToolTip(
      tr("Replace every place the text occurs on a line, not only the "
         "first."));
  regex_->setToolTip(
      tr("Read the text to replace as a regular expression; $1, $2... in "
         "the new text stand for its groups."));
  list_->setToolTip(
      tr("Replace many texts in one update: edit, import or export a list of "
         "pairs."));
}

void ChangeFrame::showListInUse(int count) {
  const bool list = count > 0;
  for (QWidget* shown : QWidgetList{searchText_, newText_, divider_})
    shown->setVisible(!list);
  listInUse_->setVisible(list);
  listInUse_->setText(list ? tr("%1 replacements from the list").arg(count)
                           : QString());
}

UpdateFrame::UpdateFrame(QWidget* parent) : QGroupBox(parent) {
  setUpFrame(this, "Frame4");
  workingOnCaption_ = addLabel(this, "Label8", twips(120, 360, 975, 255),
                               QStringLiteral("Working on: "));
  workingOn_ = addLabel(this, "Label11", twips(1200, 360, 6015, 255),
                        QStringLiteral("Parsing Engine Idle."));
  operationCaption_ = addLabel(this, "Label9", twips(120, 600, 855, 255),
                               QStringLiteral("Operation:"));
  operation_ = addLabel(this, "Label12", twips(1200, 600, 6135, 255),
                        QStringLiteral("None."));
  colourCaptions();
  addLabel(this, "Label10", twips(120, 1200, 7215, 855),
           QStringLiteral(
               "This is the final step. When you click on the 'Update' or "
               "'Spell Check'  button below, all the files you selected in "
               "Step 2 ('Select Files') will be updated per your instructions "
               "in Step 3 ('Change').   All files changed in this step are "
               "automatically backed up, and the originals can be retrieved "
               "by selecting the 'Undo Last Update' button. For more "
               "information, see our Help file."));
  addLabel(this, "Label13", twips(120, 2160, 5175, 855),
           QStringLiteral(
               "If you choose to only check the spelling on your web "
               "documents, each time an error is foiund you will have the "
               "opportunity to correct the spelling, or leave it as is. You "
               "will also be able to add new words to the spell checker, such "
               "as proper names, product names, etc."));
  // Preview and Update share Update's place, Preview first: look, then
  // write.
  preview_ = wizard::addButton(this, "CommandPreview",
                               twips(5520, 2160, 870, 375), tr("&Preview"));
  update_ = wizard::addButton(this, "Command5", twips(6465, 2160, 870, 375),
                              tr("&Update"));
  undo_ = wizard::addButton(this, "Command6", twips(5520, 2640, 1815, 375),
                            tr("Un&do Last Update"));
  // Right under Update, where a second click on Update cannot reach it.
  stop_ =
      wizard::addButton(this, "CommandStop", undo_->geometry(), tr("S&top"));
  stop_->hide();
  progress_ = new ProgressBar(this);
  progress_->setObjectName(QStringLiteral("ProgressBar1"));
  progress_->setGeometry(twips(120, 3120, 7215, 255));
}

void UpdateFrame::showRunning(bool running) {
  undo_->setVisible(!running);
  stop_->setVisible(running);
}

void UpdateFrame::changeEvent(QEvent* event) {
  QGroupBox::changeEvent(event);
  if (event->type() == QEvent::PaletteChange) colourCaptions();
}

void UpdateFrame::colourCaptions() {
  const QColor colour = captionColour(palette());
  for (QLabel* caption : {workingOnCaption_, operationCaption_}) {
    QPalette own = caption->palette();
    own.setColor(QPalette::WindowText, colour);
    caption->setPalette(own);
  }
}
