#include "ui/widgets/run_worker.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPointer>
#include <QShortcut>
#include <QWidget>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace {

std::atomic<int> runsGoingOn{0};

// Input that could start, change or end something while a run goes on.
// Paints, timers and the run's own reports pass.
bool isInput(QEvent::Type type) {
  switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::ContextMenu:
    case QEvent::InputMethod:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletRelease:
    case QEvent::TabletMove:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
    case QEvent::Close:
      return true;
    default:
      return false;
  }
}

bool isEscape(const QEvent* event) {
  if (event->type() == QEvent::KeyPress)
    return static_cast<const QKeyEvent*>(event)->key() == Qt::Key_Escape;
  if (event->type() == QEvent::Shortcut)
    return static_cast<const QShortcutEvent*>(event)->key() ==
           QKeySequence(Qt::Key_Escape);
  return false;
}

// The widget an event is for; a shortcut belongs to the widget it was made
// on.
QWidget* widgetOf(QObject* receiver) {
  if (receiver->isWidgetType()) return static_cast<QWidget*>(receiver);
  if (auto* shortcut = qobject_cast<QShortcut*>(receiver))
    return qobject_cast<QWidget*>(shortcut->parent());
  return nullptr;
}

bool isMainOrDialog(const QWidget* widget) {
  return widget && (widget->windowType() == Qt::Window ||
                    widget->windowType() == Qt::Dialog);
}

// Holds back the program's input while a run goes on: a window that the run
// opens itself (its modal message box) and the widgets allowed during a run
// stay usable; Escape anywhere else asks the run to stop.
class InputGate : public QObject {
 public:
  explicit InputGate(std::function<void()> stop) : stop_(std::move(stop)) {}

  void allow(QWidget* widget) { allowed_.push_back(widget); }

 protected:
  bool eventFilter(QObject* receiver, QEvent* event) override {
    if (!isInput(event->type())) return false;
    QWidget* widget = widgetOf(receiver);
    // The receiving QWindow hands the event on to a widget; judge it there.
    if (!widget && receiver->isWindowType()) return false;
    QWidget* modal = QApplication::activeModalWidget();
    if (widget && modal && widget->window() == modal) return false;
    if (isEscape(event)) {
      stop_();
      return true;
    }
    if (widget && isAllowed(widget)) return false;
    if (event->type() == QEvent::Close) {
      // Tool tips and popups close themselves.  A close that is only kept
      // from the window, not ignored, would still go ahead.
      if (!isMainOrDialog(widget)) return false;
      event->ignore();
    }
    return true;
  }

 private:
  bool isAllowed(const QWidget* widget) const {
    for (const QPointer<QWidget>& allowed : allowed_) {
      if (allowed && (allowed == widget || allowed->isAncestorOf(widget)))
        return true;
    }
    return false;
  }

  std::function<void()> stop_;
  std::vector<QPointer<QWidget>> allowed_;
};

}  // namespace

// Lives on the window's thread.  The run's status reports are coalesced:
// the window shows the latest of each kind, in the order they came, so a
// run that is faster than the screen cannot flood the event loop.  The
// waits for the window are made by hand rather than with
// Qt::BlockingQueuedConnection so that a worker being destroyed can release
// a run that waits for the window.
class RunWorker::Impl : public QObject {
 public:
  Impl(RunWorker* owner, RunWindow& window)
      : owner_(owner), window_(window), gate_([this] { stop_ = true; }) {}

  ~Impl() override {
    if (!thread_.joinable()) return;
    stop_ = true;
    {
      std::lock_guard lock(mutex_);
      abandoned_ = true;
    }
    changed_.notify_all();
    thread_.join();
    if (running_) endRun();
  }

  void start(std::function<void(RunWindow&)> run);
  bool running() const { return running_; }
  void requestStop() { stop_ = true; }
  const std::atomic<bool>* stopFlag() const { return &stop_; }
  void allow(QWidget* widget) { gate_.allow(widget); }
  void setStopCheck(std::function<bool()> check) {
    stopCheck_ = std::move(check);
  }

 private:
  class Reporter;
  using Report = std::function<void(RunWindow&)>;
  enum class Kind { kWorkingOn, kOperation, kRange, kValue };

  // Called on the run's thread.
  void post(Kind kind, Report report);
  void callAndWait(Report report);
  bool stopRequested(const std::function<bool()>& check);

  struct Pending {
    Kind kind;
    Report report;
  };

  void deliver();
  void finish();
  void endRun();

  RunWorker* owner_;
  RunWindow& window_;
  InputGate gate_;
  std::thread thread_;
  bool running_ = false;
  // Stop, Escape and the window's own reasons to stop, for the run's thread.
  std::atomic<bool> stop_{false};
  std::function<bool()> stopCheck_;  // copied for each run as it starts

  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Pending> pending_;  // at most one of each kind
  bool delivering_ = false;       // a deliver() is queued or under way
  std::uint64_t callsPosted_ = 0;
  std::uint64_t callsDone_ = 0;
  bool abandoned_ = false;
};

// What the run talks to: every call is carried to the window's thread,
// with copies of what it needs, since the run's frame does not outlive it.
class RunWorker::Impl::Reporter : public RunWindow {
 public:
  Reporter(Impl& impl, std::function<bool()> check)
      : impl_(impl), check_(std::move(check)) {}

  void showStep(engine::RunStep step) override {
    impl_.post(Kind::kOperation, [step](RunWindow& r) { r.showStep(step); });
  }
  void showWorkingOn(const std::string& text) override {
    impl_.post(Kind::kWorkingOn,
               [text](RunWindow& r) { r.showWorkingOn(text); });
  }
  void showOperation(const std::string& text) override {
    impl_.post(Kind::kOperation,
               [text](RunWindow& r) { r.showOperation(text); });
  }
  void setProgressRange(int minimum, int maximum) override {
    impl_.post(Kind::kRange, [minimum, maximum](RunWindow& r) {
      r.setProgressRange(minimum, maximum);
    });
  }
  void setProgressValue(int value) override {
    impl_.post(Kind::kValue,
               [value](RunWindow& r) { r.setProgressValue(value); });
  }
  void showMessage(const std::string& prompt,
                   const std::string& title) override {
    impl_.callAndWait(
        [prompt, title](RunWindow& r) { r.showMessage(prompt, title); });
  }
  void disableUpdate() override {
    impl_.callAndWait([](RunWindow& r) { r.disableUpdate(); });
  }
  void refreshList() override {
    impl_.callAndWait([](RunWindow& r) { r.refreshList(); });
  }
  bool stopRequested() override { return impl_.stopRequested(check_); }

 private:
  Impl& impl_;
  const std::function<bool()> check_;
};

void RunWorker::Impl::start(std::function<void(RunWindow&)> run) {
  stop_ = false;
  // The thread first: were it refused, the program's input would otherwise
  // stay blocked for good.  What the run reports reaches the window through
  // the event loop, so not before the gate is up.
  thread_ = std::thread([this, run = std::move(run), check = stopCheck_] {
    Reporter reporter(*this, check);
    run(reporter);
    QMetaObject::invokeMethod(this, &Impl::finish, Qt::QueuedConnection);
  });
  running_ = true;
  ++runsGoingOn;
  qApp->installEventFilter(&gate_);
  emit owner_->started();
}

void RunWorker::Impl::post(Kind kind, Report report) {
  std::lock_guard lock(mutex_);
  if (abandoned_) return;
  std::erase_if(pending_, [kind](const Pending& p) { return p.kind == kind; });
  pending_.push_back({kind, std::move(report)});
  if (delivering_) return;
  delivering_ = true;
  QMetaObject::invokeMethod(this, &Impl::deliver, Qt::QueuedConnection);
}

void RunWorker::Impl::callAndWait(Report report) {
  std::unique_lock lock(mutex_);
  if (abandoned_) return;
  const std::uint64_t ticket = ++callsPosted_;
  QMetaObject::invokeMethod(
      this,
      [this, report = std::move(report)] {
        // What the run reported before this call shows first.
        deliver();
        report(window_);
        std::lock_guard done(mutex_);
        ++callsDone_;
        changed_.notify_all();
      },
      Qt::QueuedConnection);
  changed_.wait(lock, [&] { return abandoned_ || callsDone_ >= ticket; });
}

bool RunWorker::Impl::stopRequested(const std::function<bool()>& check) {
  // The check may hold the run until its caller has acted; the flag is read
  // after it, since the act may be a click on Stop.
  const bool checkAsks = check && check();
  return checkAsks || stop_;
}

void RunWorker::Impl::deliver() {
  std::vector<Pending> reports;
  {
    std::lock_guard lock(mutex_);
    reports.swap(pending_);
  }
  for (const Pending& pending : reports) pending.report(window_);
  // Asked here, on the window's thread, rather than by the run: the window
  // may read its own state freely.
  if (window_.stopRequested()) stop_ = true;
  std::lock_guard lock(mutex_);
  if (!pending_.empty()) {
    // Reported while these were shown: back to the event loop first.
    QMetaObject::invokeMethod(this, &Impl::deliver, Qt::QueuedConnection);
    return;
  }
  delivering_ = false;
}

void RunWorker::Impl::finish() {
  deliver();
  thread_.join();
  endRun();
  emit owner_->finished();
}

void RunWorker::Impl::endRun() {
  if (qApp) qApp->removeEventFilter(&gate_);
  running_ = false;
  --runsGoingOn;
}

RunWorker::RunWorker(RunWindow& window, QObject* parent)
    : QObject(parent), impl_(new Impl(this, window)) {}

RunWorker::~RunWorker() { delete impl_; }

void RunWorker::start(std::function<void(RunWindow&)> run) {
  if (!impl_->running()) impl_->start(std::move(run));
}

bool RunWorker::running() const { return impl_->running(); }

void RunWorker::requestStop() { impl_->requestStop(); }

const std::atomic<bool>* RunWorker::stopFlag() const {
  return impl_->stopFlag();
}

void RunWorker::allowDuringRun(QWidget* widget) { impl_->allow(widget); }

void RunWorker::setStopCheck(std::function<bool()> check) {
  impl_->setStopCheck(std::move(check));
}

bool RunWorker::anyRunning() { return runsGoingOn > 0; }
