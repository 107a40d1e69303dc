#include <QComboBox>
#include <QTemporaryDir>
#include <QTest>

#include "Form1/form1_test_support.h"
#include "ui/Form1/login_name.h"
#include "ui/browser/drive_list.h"
#include "ui/browser/folder_access.h"

using testing_support::closeOtherWindows;
using testing_support::MainWindow;
using testing_support::makeFiles;
using testing_support::openWindows;

class Form1Test : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();
  void opensOnTheIntroductionInItsIdleState();
  void listsStartAtTheCurrentFolder();
  void controlsSitAtTheirPlaces_data();
  void controlsSitAtTheirPlaces();
  void listsCarryTheirHoverTexts_data();
  void listsCarryTheirHoverTexts();
  void textsAndSelectionSurvivePageChanges();
  void secondaryWindowsOpenOnce_data();
  void secondaryWindowsOpenOnce();
  void exitLeavesTheRestoreWindowOpen();
  void focusFollowsTheWizardOrder();
  void emptyProgressRangeShowsAnEmptyBar();

 private:
  std::unique_ptr<QTemporaryDir> temp_;
  QString savedCurrent_;
};

void Form1Test::init() {
  temp_ = std::make_unique<QTemporaryDir>();
  QVERIFY(temp_->isValid());
  savedCurrent_ = QDir::currentPath();
}

void Form1Test::cleanup() {
  closeOtherWindows();
  QDir::setCurrent(savedCurrent_);
}

void Form1Test::opensOnTheIntroductionInItsIdleState() {
  MainWindow window;
  QCOMPARE(window.form->objectName(), QStringLiteral("Form1"));
  QCOMPARE(window.form->windowTitle(), QStringLiteral("Vantrel!"));
  QCOMPARE(window.tabs()->currentIndex(), 0);
  const QStringList captions{"&Introduction", "&Select Files", "&Change",
                             "&Brisklet !"};
  QCOMPARE(window.tabs()->count(), captions.size());
  for (int page = 0; page < captions.size(); ++page)
    QCOMPARE(window.tabs()->tabText(page), captions[page]);
  QCOMPARE(window.label("Label11")->text(),
           QStringLiteral("Parsing Engine Idle."));
  QCOMPARE(window.label("Label12")->text(), QStringLiteral("None."));
  QCOMPARE(window.label("Label19")->text(), account::userLine());
  QVERIFY(window.label("Label19")->text().startsWith("User: "));
  QCOMPARE(window.progress()->minimum(), 0);
  QCOMPARE(window.progress()->maximum(), 100);
  QVERIFY(window.progress()->value() <= 0);
  QVERIFY(window.text("Text1")->toPlainText().isEmpty());
  QVERIFY(window.text("Text2")->toPlainText().isEmpty());
  QVERIFY(window.button("Command5")->isEnabled());
  QCOMPARE(window.button("Command5")->text(), QStringLiteral("&Update"));
  QVERIFY(window.button("Command6")->isEnabled());
  QVERIFY(!window.get<QLabel>("Picture1")->pixmap().isNull());
}

void Form1Test::listsStartAtTheCurrentFolder() {
  makeFiles(QDir(temp_->path()), {"about.htm", "index.htm", "notes.txt"});
  QVERIFY(QDir::setCurrent(temp_->path()));
  MainWindow window;
  QCOMPARE(window.folders()->path(), temp_->path());
  QCOMPARE(window.files()->path(), temp_->path());
  QCOMPARE(window.files()->listCount(), 2);
  QCOMPARE(window.get<DriveList>("dir")->drive(),
           browser::driveOf(temp_->path(), browser::localDrives()));
}

void Form1Test::controlsSitAtTheirPlaces_data() {
  QTest::addColumn<QString>("name");
  QTest::addColumn<QString>("container");
  QTest::addColumn<QRect>("place");  // in pixels: twips / 15
  auto row = [](const char* name, const char* container, QRect place) {
    QTest::newRow(name) << QString(name) << QString(container) << place;
  };
  row("SSIndexTab1", "Form1", {8, 8, 513, 265});
  row("Command2", "Form1", {16, 280, 97, 25});
  row("Command4", "Form1", {312, 280, 97, 25});
  row("Command1", "Form1", {416, 280, 97, 25});
  row("Frame1", "SSIndexTab1", {8, 24, 497, 233});
  row("Frame4", "SSIndexTab1", {8, 24, 497, 233});
  row("Picture1", "Frame1", {8, 16, 153, 209});
  row("Label1", "Frame1", {168, 16, 249, 57});
  row("Label19", "Frame1", {168, 192, 161, 17});
  row("Dir1", "Frame2", {8, 16, 193, 171});
  row("dir", "Frame2", {8, 200, 193, 21});
  row("File1", "Frame2", {216, 85, 273, 136});
  row("Text1", "Frame3", {8, 64, 233, 161});
  row("Text2", "Frame3", {256, 64, 233, 161});
  row("Label11", "Frame4", {80, 24, 401, 17});
  row("Command5", "Frame4", {368, 144, 121, 25});
  row("Command6", "Frame4", {368, 176, 121, 25});
  row("ProgressBar1", "Frame4", {8, 208, 481, 17});
}

void Form1Test::controlsSitAtTheirPlaces() {
  QFETCH(QString, name);
  QFETCH(QString, container);
  QFETCH(QRect, place);
  MainWindow window;
  QCOMPARE(window.form->size(), QSize(529, 311));
  QWidget* control = window.get<QWidget>(qPrintable(name));
  QWidget* box = container == QLatin1String("Form1")
                     ? window.form.get()
                     : window.get<QWidget>(qPrintable(container));
  auto placeIn = [&] {
    return QRect(control->mapTo(box, QPoint()), control->size());
  };
  for (int page = 0; page < 4; ++page) {
    window.tabs()->setCurrentIndex(page);
    QCOMPARE(placeIn(), place);
  }
  window.form->resize(1000, 700);
  QCoreApplication::processEvents();
  QCOMPARE(placeIn(), place);
  window.form->showMaximized();
  QCoreApplication::processEvents();
  QCOMPARE(placeIn(), place);
}

void Form1Test::listsCarryTheirHoverTexts_data() {
  QTest::addColumn<QString>("name");
  QTest::addColumn<QString>("hover");
  QTest::newRow("dir") << "dir"
                       << "Select the drive you wish to explore.";
  QTest::newRow("Dir1")
      << "Dir1"
      << "Select the Directory where your web documents are stored.";
  QTest::newRow("File1")
      << "File1"
      << "Select from the displayed files. To choose multiple files, hold the "
         "'Cntrl' key down while clicking. To choose a block, use the "
         "'Shift' key.";
}

void Form1Test::listsCarryTheirHoverTexts() {
  QFETCH(QString, name);
  QFETCH(QString, hover);
  MainWindow window;
  QCOMPARE(window.get<QWidget>(qPrintable(name))->toolTip(), hover);
}

void Form1Test::textsAndSelectionSurvivePageChanges() {
  makeFiles(QDir(temp_->path()), {"a.htm", "b.htm", "c.htm"});
  MainWindow window;
  window.openFolder(temp_->path());
  window.files()->setSelected(0, true);
  window.files()->setSelected(2, true);
  window.text("Text1")->setPlainText("old\ntext");
  window.text("Text2")->setPlainText("new");
  for (int page : {3, 0, 2, 1, 3, 1}) window.tabs()->setCurrentIndex(page);
  QCOMPARE(window.text("Text1")->toPlainText(), QStringLiteral("old\ntext"));
  QCOMPARE(window.text("Text2")->toPlainText(), QStringLiteral("new"));
  const engine::Selection selection = window.files()->selection();
  QCOMPARE(selection.size(), std::size_t{3});
  QVERIFY(selection[0].selected && !selection[1].selected &&
          selection[2].selected);
  QCOMPARE(window.folders()->path(), temp_->path());
}

void Form1Test::secondaryWindowsOpenOnce_data() {
  QTest::addColumn<QString>("button");
  QTest::addColumn<int>("page");
  QTest::addColumn<QString>("window");
  QTest::newRow("About") << "Command2" << 0 << "Form2";
  QTest::newRow("Undo Last Update") << "Command6" << 3 << "Form5";
  QTest::newRow("Help") << "Command4" << 1 << "HelpWindow";
}

void Form1Test::secondaryWindowsOpenOnce() {
  QFETCH(QString, button);
  QFETCH(int, page);
  QFETCH(QString, window);
  MainWindow main;
  main.press(qPrintable(button), page);
  QCOMPARE(openWindows(window).size(), 1);
  QWidget* first = openWindows(window).first();
  QVERIFY(!first->isModal());
  QVERIFY(first->parentWidget() == nullptr);

  main.press(qPrintable(button), page);
  QCOMPARE(openWindows(window).size(), 1);
  QCOMPARE(openWindows(window).first(), first);
  QVERIFY(main.form->isEnabled());

  first->close();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  QCOMPARE(openWindows(window).size(), 0);
  main.press(qPrintable(button), page);  // a closed window opens afresh
  QCOMPARE(openWindows(window).size(), 1);
}

void Form1Test::exitLeavesTheRestoreWindowOpen() {
  MainWindow main;
  main.press("Command6", 3);
  QCOMPARE(openWindows("Form5").size(), 1);
  main.press("Command1");
  QVERIFY(!main.form->isVisible());
  QCOMPARE(openWindows("Form5").size(), 1);
}

void Form1Test::focusFollowsTheWizardOrder() {
  MainWindow window;
  const QStringList order{"SSIndexTab1", "Command1", "Command2", "Command4",
                          "Picture1",    "dir",      "Dir1",     "File1",
                          "Text1",       "Text2",    "Command5", "Command6"};
  QStringList named;
  QWidget* widget = window.tabs();
  do {
    if (order.contains(widget->objectName()) &&
        !named.contains(widget->objectName()))
      named.push_back(widget->objectName());
    widget = widget->nextInFocusChain();
  } while (widget != window.tabs());
  QCOMPARE(named, order);
}

void Form1Test::emptyProgressRangeShowsAnEmptyBar() {
  MainWindow window;
  window.tabs()->setCurrentIndex(3);
  window.form->setProgressRange(0, 1);
  window.form->setProgressValue(0);
  const QImage empty = window.progress()->grab().toImage();
  window.form->setProgressRange(0, 1);
  window.form->setProgressValue(1);
  const QImage full = window.progress()->grab().toImage();
  QVERIFY(empty != full);
  // An empty file list gives the range 0 to 0: no busy indicator.
  window.form->setProgressRange(0, 0);
  window.form->setProgressValue(0);
  QCOMPARE(window.progress()->maximum(), 0);
  QCOMPARE(window.progress()->grab().toImage(), empty);
}

QTEST_MAIN(Form1Test)
#include "form1_test.moc"
