#include "engine/preview.h"

#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

#include "engine/path_rules.h"
#include "engine/preview_lines.h"
#include "engine/update_check.h"

namespace engine {

namespace {

// What the examiners of one preview share.
struct Examination {
  const std::string& folder;
  const Selection& entries;
  const UpdateCheck& check;
  const DocumentPlanner& planner;  // the caller's, for the first examiner
  const ReplaceRules& rules;       // for the others to make their own
};

// Examines a share of the selected entries (from the first-th selected
// one, every count-th) in list order, on a thread of its own, a few
// documents ahead of the caller, with a planner no other thread uses (the
// first examiner borrows the caller's, which Decide never plans with).  The
// caller meanwhile decides on the documents examined so far and turns them
// into lines for display: planning is most of a preview's work, and a
// preview must cost well under the update it foresees.  Without a thread of
// its own, an examiner examines each document when the caller asks for it.
class Examiner {
 public:
  Examiner(const Examination& examination, std::size_t first, std::size_t count,
           bool threaded);
  ~Examiner();
  Examiner(const Examiner&) = delete;
  Examiner& operator=(const Examiner&) = delete;

  // The next document of the share, examined.  Rethrows what examining
  // threw.
  std::unique_ptr<CheckedDocument> Next();
  // Takes back a document that Next handed out, for a later one.
  void GiveBack(std::unique_ptr<CheckedDocument> document);

 private:
  // Documents out at once.  A side that has to wait sleeps until kBatch
  // documents are there for it, so that it is woken once for several;
  // kDocuments >= 2 * kBatch keeps both from waiting at once.
  static constexpr std::size_t kDocuments = 8;
  static constexpr std::size_t kBatch = 4;

  // The path of the next entry of the share, or false after the last.
  bool NextPath(std::string* path);
  // Makes a planner of its own, unless it uses the caller's.
  void MakePlanner();
  // A spare document or a new one; mutex_ held.
  std::unique_ptr<CheckedDocument> TakeDocument();
  void Run();

  const Examination& examination_;
  const DocumentPlanner* planner_ = nullptr;
  std::unique_ptr<DocumentPlanner> own_planner_;
  const std::size_t first_, count_;
  std::size_t position_ = 0;  // in entries
  std::size_t selected_ = 0;  // selected entries before position_

  std::mutex mutex_;
  // Each side is woken only when it waits: a wake-up costs as much as
  // some of the work.
  std::condition_variable examined_;  // the caller waits on it
  std::condition_variable spared_;    // the thread waits on it
  bool caller_waits_ = false;
  bool thread_waits_ = false;
  std::deque<std::unique_ptr<CheckedDocument>> ready_;
  std::vector<std::unique_ptr<CheckedDocument>> spare_;
  std::size_t made_ = 0;
  bool done_ = false;       // the thread has examined its last document
  bool abandoned_ = false;  // the caller wants no more
  std::exception_ptr failure_;
  std::thread thread_;
};

Examiner::Examiner(const Examination& examination, std::size_t first,
                   std::size_t count, bool threaded)
    : examination_(examination), first_(first), count_(count) {
  if (first == 0) planner_ = &examination.planner;
  if (threaded) {
    try {
      thread_ = std::thread(&Examiner::Run, this);
      return;
    } catch (const std::system_error&) {
    }
  }
  MakePlanner();
}

void Examiner::MakePlanner() {
  if (planner_ != nullptr) return;
  std::string ignored;
  own_planner_ = DocumentPlanner::Create(examination_.rules, &ignored);
  planner_ = own_planner_.get();
}

Examiner::~Examiner() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    abandoned_ = true;
  }
  spared_.notify_all();
  if (thread_.joinable()) thread_.join();
}

bool Examiner::NextPath(std::string* path) {
  for (; position_ < examination_.entries.size(); ++position_) {
    const Entry& entry = examination_.entries[position_];
    if (!entry.selected || selected_++ % count_ != first_) continue;
    *path = documentPath(examination_.folder, entry.name);
    ++position_;
    return true;
  }
  return false;
}

std::unique_ptr<CheckedDocument> Examiner::TakeDocument() {
  if (spare_.empty()) {
    ++made_;
    return std::make_unique<CheckedDocument>();
  }
  std::unique_ptr<CheckedDocument> document = std::move(spare_.back());
  spare_.pop_back();
  return document;
}

void Examiner::Run() {
  MakePlanner();  // here, so that the examiners make theirs at once
  std::unique_lock<std::mutex> lock(mutex_);
  std::string path;
  while (!abandoned_ && NextPath(&path)) {
    if (spare_.empty() && made_ == kDocuments) {
      thread_waits_ = true;
      spared_.wait(lock,
                   [this] { return abandoned_ || spare_.size() >= kBatch; });
      thread_waits_ = false;
      if (abandoned_) break;
    }
    std::unique_ptr<CheckedDocument> document = TakeDocument();
    lock.unlock();
    std::exception_ptr failure;
    try {
      document->plan.encoding.clear();  // stays empty unless it is read
      examination_.check.Examine(path, *planner_, document.get(),
                                 /*keep_changed_lines=*/true);
    } catch (...) {
      // Handed to the caller, as if it had examined the document itself.
      failure = std::current_exception();
    }
    lock.lock();
    if (failure) {
      failure_ = failure;
      break;
    }
    ready_.push_back(std::move(document));
    if (caller_waits_ && ready_.size() >= kBatch) examined_.notify_all();
  }
  done_ = true;
  examined_.notify_all();
}

std::unique_ptr<CheckedDocument> Examiner::Next() {
  std::unique_lock<std::mutex> lock(mutex_);
  if (!thread_.joinable()) {
    std::unique_ptr<CheckedDocument> document = TakeDocument();
    lock.unlock();
    std::string path;
    NextPath(&path);
    document->plan.encoding.clear();
    examination_.check.Examine(path, *planner_, document.get(),
                               /*keep_changed_lines=*/true);
    return document;
  }
  if (ready_.empty() && !done_) {
    caller_waits_ = true;
    examined_.wait(lock, [this] { return done_ || ready_.size() >= kBatch; });
    caller_waits_ = false;
  }
  // The caller asks once for each document of the share, so the thread
  // ends with none ready only when examining threw.
  if (ready_.empty()) std::rethrow_exception(failure_);
  std::unique_ptr<CheckedDocument> document = std::move(ready_.front());
  ready_.pop_front();
  return document;
}

void Examiner::GiveBack(std::unique_ptr<CheckedDocument> document) {
  std::lock_guard<std::mutex> lock(mutex_);
  spare_.push_back(std::move(document));
  if (thread_waits_ && spare_.size() >= kBatch) spared_.notify_all();
}

}  // namespace

void PreviewRun(const std::string& folder, const Selection& entries,
                const ReplaceRules& rules, Preview* preview,
                const std::atomic<bool>* stop, FileSystem& fs) {
  *preview = Preview();
  RunOutcome refused;
  std::unique_ptr<DocumentPlanner> planner =
      ReadyUpdate(rules, entries.size(), &refused);
  if (!planner) {
    preview->problem = std::move(refused.problem);
    return;
  }
  for (const Entry& entry : entries) preview->selected += entry.selected;
  preview->documents.reserve(preview->selected);
  // Everything below the folder is reached through this one descriptor.
  std::unique_ptr<FolderHold> hold;
  Status held = fs.HoldFolder(folder, &hold);
  if (!held.ok()) {
    preview->problem = "The folder " + folder + " could not be opened (" +
                       held.reason() + "). Nothing was changed.";
    return;
  }

  // The update's checks: a document is refused here exactly when it would
  // be refused there, including for being a second name of a file or for
  // sharing a backup name with a document before it.
  UpdateCheck check(*planner, fs, folder, [stop] {
    return stop != nullptr && stop->load(std::memory_order_relaxed);
  });
  const Examination examination{folder, entries, check, *planner, rules};
  PreviewLineDecoder decoder;
  // Started at the first selected entry, once stop has been read for it.
  std::vector<std::unique_ptr<Examiner>> examiners;
  std::size_t selected = 0;
  for (const Entry& entry : entries) {
    if (stop != nullptr && stop->load()) {
      preview->stopped = true;
      break;
    }
    if (!entry.selected) continue;
    if (examiners.empty()) {
      // Two examiners and the caller's own work keep two processors busy;
      // on one, the caller examines too.
      const bool threaded = std::thread::hardware_concurrency() > 1;
      const std::size_t count = threaded ? 2 : 1;
      for (std::size_t first = 0; first < count; ++first) {
        examiners.push_back(
            std::make_unique<Examiner>(examination, first, count, threaded));
      }
    }
    Examiner& examiner = *examiners[selected++ % examiners.size()];
    std::unique_ptr<CheckedDocument> checked = examiner.Next();
    PreviewDocument& document = preview->documents.emplace_back();
    document.name = entry.name;
    document.path = checked->document;
    document.encoding = checked->plan.encoding;
    const CheckResult result = check.Decide(checked.get(), &document.reason);
    if (result == CheckResult::kStopped) {
      preview->documents.pop_back();
      preview->stopped = true;
      break;
    }
    switch (result) {
      case CheckResult::kTextNotFound:
        document.verdict = PreviewDocument::Verdict::kTextNotFound;
        break;
      case CheckResult::kRefused:
      case CheckResult::kStopped:
        document.verdict = PreviewDocument::Verdict::kRefused;
        break;
      case CheckResult::kWillChange:
        document.verdict = PreviewDocument::Verdict::kChanges;
        document.replacements = checked->plan.replacements;
        ++preview->changed_documents;
        preview->replacements += document.replacements;
        try {
          decoder.AddLines(*checked, &document.lines);
        } catch (const std::bad_alloc&) {
          // The document still changes; only its lines can't be shown.
          std::vector<PreviewLine>().swap(document.lines);
        }
        break;
    }
    examiner.GiveBack(std::move(checked));
  }
}

void PreviewRun(const std::string& folder, const Selection& entries,
                const std::string& searchText, const std::string& newText,
                Preview* preview, const std::atomic<bool>* stop,
                FileSystem& fs) {
  PreviewRun(folder, entries, PlainRules(searchText, newText), preview, stop,
             fs);
}

}  // namespace engine
