// ContentWorker hashes and compresses the contents a recorded run keeps on
// a thread of its own, while the run goes on reading and writing the next
// documents: compression costs as much as the update itself, and the two
// need not wait for each other.  One worker belongs to one run; Submit and
// the futures it returns are used from the run's thread.

#ifndef VANTREL_ENGINE_HISTORY_CONTENT_WORKER_H_
#define VANTREL_ENGINE_HISTORY_CONTENT_WORKER_H_

#include <condition_variable>
#include <deque>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/history/history_store.h"

namespace engine {

// A document's contents as the history keeps them.
struct KeptContents {
  StoredContent before;    // hashed and compressed
  std::string after_hash;  // hashed only: the document itself holds it
};

class ContentWorker {
 public:
  // threads: how many work at once (at least one).
  explicit ContentWorker(unsigned threads = 1);
  ~ContentWorker();  // finishes what was submitted
  ContentWorker(const ContentWorker&) = delete;
  ContentWorker& operator=(const ContentWorker&) = delete;

  // Hashes and compresses before, and hashes after, off the caller's
  // thread.  The future rethrows what failed (std::bad_alloc).  Waits
  // while kMostWaiting jobs wait already, so that the contents held for
  // the worker stay a few documents' worth.
  std::future<KeptContents> Submit(std::string before, std::string after);

 private:
  struct Job {
    std::string before, after;
    std::promise<KeptContents> done;
  };
  void Run();

  static constexpr std::size_t kMostWaiting = 8;

  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable room_;
  std::deque<Job> jobs_;
  bool closing_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace engine

#endif  // VANTREL_ENGINE_HISTORY_CONTENT_WORKER_H_
