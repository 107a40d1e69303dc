#include "engine/history/content_worker.h"

#include <algorithm>

namespace engine {

ContentWorker::ContentWorker(unsigned threads) {
  for (unsigned i = 0; i < std::max(threads, 1U); ++i) {
    threads_.emplace_back([this] { Run(); });
  }
}

ContentWorker::~ContentWorker() {
  {
    std::lock_guard lock(mutex_);
    closing_ = true;
  }
  wake_.notify_all();
  for (std::thread& thread : threads_) thread.join();
}

std::future<KeptContents> ContentWorker::Submit(std::string before,
                                                std::string after) {
  Job job{std::move(before), std::move(after), {}};
  std::future<KeptContents> result = job.done.get_future();
  {
    std::unique_lock lock(mutex_);
    room_.wait(lock, [this] { return jobs_.size() < kMostWaiting; });
    jobs_.push_back(std::move(job));
  }
  wake_.notify_one();
  return result;
}

void ContentWorker::Run() {
  for (;;) {
    Job job;
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [this] { return closing_ || !jobs_.empty(); });
      if (jobs_.empty()) return;  // closing, and nothing left to do
      job = std::move(jobs_.front());
      jobs_.pop_front();
    }
    room_.notify_one();
    try {
      job.done.set_value({StoreContent(job.before), Sha256Hex(job.after)});
    } catch (...) {
      job.done.set_exception(std::current_exception());
    }
  }
}

}  // namespace engine
