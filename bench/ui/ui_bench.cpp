// Measures what a user waits for in the windows:
//   1. from the start of the program to the main window's first paint
//      (a fresh process each time, so loading the libraries counts),
//   2. filling the main window's file list for a folder holding 32,767
//      documents and 10,000 other files, with the first file types and
//      with the longest preset, and
//   3. how long the window's event loop stalls at most while an update run
//      works through 2,000 documents of 40 KB in /dev/shm.
// Prints the median and the spread of several rounds.  Run it offscreen:
//   QT_QPA_PLATFORM=offscreen ui_bench [rounds]

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "data/images/vantrel_images.h"
#include "engine/process_limits.h"
#include "ui/Form1/form1.h"
#include "ui/browser/file_list.h"
#include "ui/browser/message_box.h"
#include "ui/preview/preview_window.h"
#include "ui/widgets/run_worker.h"

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

std::vector<double> timeFill(int rounds, const QString& pattern) {
  QTemporaryDir temp;
  const QDir folder(temp.path());
  for (int i = 0; i < 32767; ++i)
    QFile(folder.filePath(QStringLiteral("page%1.htm").arg(i)))
        .open(QIODevice::WriteOnly);
  for (int i = 0; i < 10000; ++i)
    QFile(folder.filePath(QStringLiteral("image%1.gif").arg(i)))
        .open(QIODevice::WriteOnly);

  FileList list(pattern);
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

// A site of 32,767 documents in 1,000 folders (ten of them ten levels
// deep), listed with subfolders included; warm cache after the first round.
std::vector<double> timeTreeFill(int rounds) {
  QTemporaryDir temp;
  const QDir site(temp.path());
  for (int f = 0; f < 1000; ++f) {
    const QString folder =
        f < 10 ? QStringLiteral("deep%1/a/b/c/d/e/f/g/h/i").arg(f)
               : QStringLiteral("folder%1").arg(f);
    site.mkpath(folder);
    for (int i = f; i < 32767; i += 1000)
      QFile(site.filePath(folder + QStringLiteral("/page%1.htm").arg(i)))
          .open(QIODevice::WriteOnly);
  }
  FileList list(QStringLiteral("*.htm;*.asp;*.hts;*.mv;*.cfm"));
  list.resize(273, 136);
  list.show();
  std::vector<double> samples;
  for (int round = 0; round < rounds; ++round) {
    list.setIncludeSubfolders(false);
    list.setPath(site.path());
    QElapsedTimer timer;
    timer.start();
    list.setIncludeSubfolders(true);
    samples.push_back(timer.nsecsElapsed() / 1e6);
    if (list.listCount() != 32767) {
      std::fprintf(stderr, "listed %d files in the tree\n", list.listCount());
      std::exit(1);
    }
  }
  return samples;
}

// From handing the preview window a preview of 2,000 documents, each with
// 130 changed lines (about 40 KB of text before the change), to the first
// paint of its list: what the user waits for once a preview is worked out.
// The window copies the preview, as a caller that keeps its own would have
// it do.
std::vector<double> timePreviewPaint(int rounds) {
  engine::Preview preview;
  preview.selected = preview.changed_documents = 2000;
  preview.replacements = 2000 * 130;
  const std::string filler(280, 'x');
  for (int d = 0; d < 2000; ++d) {
    engine::PreviewDocument& document = preview.documents.emplace_back();
    document.name = "page" + std::to_string(d) + ".htm";
    document.verdict = engine::PreviewDocument::Verdict::kChanges;
    document.replacements = 130;
    for (int l = 0; l < 130; ++l) {
      engine::PreviewLine& line = document.lines.emplace_back();
      line.number = 3 * l + 1;
      const std::string front = "  <p id=\"n" + std::to_string(l) + "\">";
      line.before = front + "Call 555-0100 " + filler + "</p>";
      line.after = front + "Call 555-0199 " + filler + "</p>";
      line.match_offset = line.inserted_offset = front.size() + 5;
      line.match_length = line.inserted_length = 8;
    }
  }

  class PaintSeen : public QObject {
   public:
    bool seen = false;

   protected:
    bool eventFilter(QObject*, QEvent* event) override {
      if (event->type() == QEvent::Paint) seen = true;
      return false;
    }
  };
  std::vector<double> samples;
  for (int round = 0; round < rounds; ++round) {
    PreviewWindow window;
    window.resize(760, 520);
    PaintSeen paint;
    window.findChild<QTreeView*>()->viewport()->installEventFilter(&paint);
    QElapsedTimer timer;
    timer.start();
    window.showPreview(preview);
    window.show();
    while (!paint.seen && timer.elapsed() < 30000)
      QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    samples.push_back(timer.nsecsElapsed() / 1e6);
    if (!paint.seen) {
      std::fputs("the preview window did not paint\n", stderr);
      std::exit(1);
    }
  }
  return samples;
}

// 2,000 documents of about 40 KB: lines of 96 characters and CR LF, a
// third of them holding "acme".
void writeRunCorpus(const QDir& folder) {
  QByteArray page;
  for (int line = 0; page.size() < 40000; ++line)
    page += QByteArray("<p>line " + QByteArray::number(line) +
                       (line % 3 == 0 ? " acme " : " other "))
                .leftJustified(96, 'x') +
            "\r\n";
  for (int i = 0; i < 2000; ++i) {
    QFile file(folder.filePath(QStringLiteral("page%1.htm").arg(i)));
    if (!file.open(QIODevice::WriteOnly) || file.write(page) != page.size()) {
      std::fprintf(stderr, "cannot write %s\n", qPrintable(file.fileName()));
      std::exit(1);
    }
  }
}

// The longest time the window's event loop goes without turning while an
// update run works through the corpus in tmpfs: a 1 ms timer ticks on the
// loop, and the longest gap between two ticks is the longest the window
// could not repaint or take a Stop.  *runTimes gets each run's duration,
// from the click to finished().
std::vector<double> timeRunGaps(int rounds, std::vector<double>* runTimes) {
  QTemporaryDir corpus(QStringLiteral("/dev/shm/vantrel-bench-XXXXXX"));
  writeRunCorpus(QDir(corpus.path()));
  // Every run's closing message is answered at once.
  ui::setMessageHandler([](QWidget*, const QString&, const QString&) {});
  std::vector<double> gaps;
  for (int round = 0; round < rounds; ++round) {
    Form1 form;
    form.openFolder(corpus.path());
    form.findChild<FileList*>(QStringLiteral("File1"))->selectAll();
    // Each round undoes the one before, so every round rewrites every page.
    const bool odd = round % 2;
    form.findChild<QPlainTextEdit*>(QStringLiteral("Text1"))
        ->setPlainText(odd ? "zeta" : "acme");
    form.findChild<QPlainTextEdit*>(QStringLiteral("Text2"))
        ->setPlainText(odd ? "acme" : "zeta");
    form.findChild<QTabWidget*>(QStringLiteral("SSIndexTab1"))
        ->setCurrentIndex(3);
    form.show();
    QCoreApplication::processEvents();

    QElapsedTimer clock;
    qint64 last = 0, longest = 0;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    QObject::connect(&tick, &QTimer::timeout, [&] {
      const qint64 now = clock.nsecsElapsed();
      longest = std::max(longest, now - last);
      last = now;
    });
    QEventLoop loop;
    QObject::connect(form.findChild<RunWorker*>(), &RunWorker::finished, &loop,
                     &QEventLoop::quit);
    clock.start();
    tick.start(1);
    form.findChild<QPushButton*>(QStringLiteral("Command5"))->click();
    loop.exec();
    runTimes->push_back(clock.nsecsElapsed() / 1e6);
    gaps.push_back(longest / 1e6);
  }
  ui::setMessageHandler({});
  return gaps;
}

}  // namespace

int main(int argc, char* argv[]) {
  // As the program does, whose start and runs the bench times.
  engine::RaiseOpenFileLimit();
  if (argc > 1 && qstrcmp(argv[1], kChildFlag) == 0)
    return runChild(argc, argv);
  // The user's remembered file types would change what the windows list.
  QTemporaryDir config;
  qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
  QApplication app(argc, argv);
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 11;
  report(
      "start to first painted window",
      summarize(timeStartUp(QCoreApplication::applicationFilePath(), rounds)),
      300);
  report("fill file list (32,767 of 42,767 files)",
         summarize(
             timeFill(rounds, QStringLiteral("*.htm;*.asp;*.hts;*.mv;*.cfm"))),
         150);
  report("the same with the Web sources preset",
         summarize(timeFill(
             rounds, QStringLiteral("*.html;*.htm;*.shtml;*.xhtml;*.php;*.asp;"
                                    "*.aspx;*.jsp;*.cfm;*.css;*.js;*.xml;"
                                    "*.svg;*.txt"))),
         180);
  report("fill file list with subfolders (32,767 in 1,000 folders)",
         summarize(timeTreeFill(rounds)), 300);
  report("preview window (2,000 documents) to paint",
         summarize(timePreviewPaint(rounds)), 300);
  std::vector<double> runTimes;
  report("longest event-loop gap during an update",
         summarize(timeRunGaps(rounds, &runTimes)), 50);
  // update_bench takes about 0.3 s for the same run without a window.
  report("that update (2,000 of 40 KB), click to end", summarize(runTimes),
         500);
  return 0;
}
