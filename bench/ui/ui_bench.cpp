// Measures what a user waits for in the windows:
//   1. from the start of the program to the main window's first paint
//      (a fresh process each time, so loading the libraries counts), and
//   2. filling the main window's file list for a folder holding 32,767
//      documents and 10,000 other files.
// Prints the median and the spread of several rounds.  Run it offscreen:
//   QT_QPA_PLATFORM=offscreen ui_bench [rounds]

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "data/images/vantrel_images.h"
#include "ui/Form1/form1.h"
#include "ui/browser/file_list.h"

namespace {

constexpr char kChildFlag[] = "--first-paint";

// The child: starts like the program and ends at the first paint.
class FirstPaint : public QObject {
 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) {
      std::fputs("painted\n", stdout);
      std::fflush(stdout);
      std::_Exit(0);
    }
    return false;
  }
};

int runChild(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QApplication::setWindowIcon(vantrelIcon());
  Form1 form;
  FirstPaint watcher;
  form.installEventFilter(&watcher);
  form.show();
  return app.exec();
}

struct Summary {
  double median;
  double low;
  double high;
};

Summary summarize(std::vector<double> samples) {
  std::sort(samples.begin(), samples.end());
  return {samples[samples.size() / 2], samples.front(), samples.back()};
}

void report(const char* what, const Summary& summary, double target) {
  std::printf("%-44s median %7.1f ms  (min %.1f, max %.1f)  target < %.0f ms\n",
              what, summary.median, summary.low, summary.high, target);
}

std::vector<double> timeStartUp(const QString& self, int rounds) {
  std::vector<double> samples;
  for (int round = 0; round < rounds; ++round) {
    QProcess child;
    QElapsedTimer timer;
    timer.start();
    child.start(self, {QLatin1String(kChildFlag)});
    if (!child.waitForFinished(30000) ||
        !child.readAllStandardOutput().contains("painted")) {
      std::fprintf(stderr, "the child did not paint: %s\n",
                   child.readAllStandardError().constData());
      std::exit(1);
    }
    samples.push_back(timer.nsecsElapsed() / 1e6);
  }
  return samples;
}

std::vector<double> timeFill(int rounds) {
  QTemporaryDir temp;
  const QDir folder(temp.path());
  for (int i = 0; i < 32767; ++i)
    QFile(folder.filePath(QStringLiteral("page%1.htm").arg(i)))
        .open(QIODevice::WriteOnly);
  for (int i = 0; i < 10000; ++i)
    QFile(folder.filePath(QStringLiteral("image%1.gif").arg(i)))
        .open(QIODevice::WriteOnly);

  FileList list(QStringLiteral("*.htm;*.asp;*.hts;*.mv;*.cfm"));
  list.resize(273, 136);
  list.show();
  std::vector<double> samples;
  for (int round = 0; round < rounds; ++round) {
    list.setPath(QDir::rootPath());
    QElapsedTimer timer;
    timer.start();
    list.setPath(folder.path());
    samples.push_back(timer.nsecsElapsed() / 1e6);
    if (list.listCount() != 32767) {
      std::fprintf(stderr, "listed %d files\n", list.listCount());
      std::exit(1);
    }
  }
  return samples;
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc > 1 && qstrcmp(argv[1], kChildFlag) == 0)
    return runChild(argc, argv);
  QApplication app(argc, argv);
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 11;
  report(
      "start to first painted window",
      summarize(timeStartUp(QCoreApplication::applicationFilePath(), rounds)),
      300);
  report("fill file list (32,767 of 42,767 files)", summarize(timeFill(rounds)),
         150);
  return 0;
}
