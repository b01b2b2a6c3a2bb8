#include "cli/frame_pipeline.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>

#include "cli/interrupt.h"
#include "cli/progress.h"

namespace {

struct Job {
  Frame frame;
  std::optional<minihost::World> result;
  std::exception_ptr error;
  bool done = false;
};

class Workers {
 public:
  explicit Workers(std::vector<std::unique_ptr<EffectSession>>& sessions) : sessions_(sessions) {
    for (auto& session : sessions) {
      if (sessions.size() > 1) session->host().setThreads(1);
      // Lets a long render stop part-way: iterate leaves the rest of the frame and the render fails.
      session->host().setProgress(
          [this](A_long, A_long) { return !cancel_.load() && InterruptSignal() == 0; });
    }
    try {
      const SignalBlock leaveSignalsToTheMainThread;
      for (auto& session : sessions) threads_.emplace_back([this, s = session.get()] { run(*s); });
    } catch (...) {
      stopAll();
      throw;
    }
  }

  ~Workers() { stopAll(); }

  void stopAll() {
    cancel_.store(true);
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
    }
    work_.notify_all();
    for (std::thread& thread : threads_) thread.join();
    threads_.clear();
    for (auto& session : sessions_) session->host().setProgress(nullptr);
  }

  void submit(std::shared_ptr<Job> job) {
    {
      std::lock_guard lock(mutex_);
      queue_.push_back(std::move(job));
    }
    work_.notify_one();
  }

  // Waits for `job` to be rendered; false when the run is interrupted first. A signal cannot wake a
  // condition variable, so the wait looks at the flag now and then.
  bool wait(const Job& job) {
    std::unique_lock lock(mutex_);
    while (!done_.wait_for(lock, std::chrono::milliseconds(50), [&] { return job.done; })) {
      if (InterruptSignal() != 0) return false;
    }
    return true;
  }

 private:
  void run(EffectSession& session) {
    for (;;) {
      std::shared_ptr<Job> job;
      {
        std::unique_lock lock(mutex_);
        work_.wait(lock, [&] { return stop_ || !queue_.empty(); });
        if (stop_) return;
        job = std::move(queue_.front());
        queue_.pop_front();
      }
      try {
        job->result = session.render(job->frame.world);
      } catch (...) {
        job->error = std::current_exception();
      }
      {
        std::lock_guard lock(mutex_);
        job->done = true;
      }
      done_.notify_all();
    }
  }

  std::vector<std::unique_ptr<EffectSession>>& sessions_;
  std::mutex mutex_;
  std::condition_variable work_, done_;
  std::deque<std::shared_ptr<Job>> queue_;
  bool stop_ = false;
  std::atomic<bool> cancel_{false};
  std::vector<std::thread> threads_;
};

}  // namespace

void RenderFrames(FrameSource& source, FrameSink& sink, std::vector<std::unique_ptr<EffectSession>>& sessions,
                  bool showProgress) {
  Progress progress(showProgress, source.frameCount());
  Workers workers(sessions);
  const std::size_t inFlightLimit = 2 * sessions.size();
  std::deque<std::shared_ptr<Job>> inFlight;
  bool more = true;
  for (;;) {
    while (more && inFlight.size() < inFlightLimit) {
      ThrowIfInterrupted();
      std::optional<Frame> frame = source.next();
      if (!frame) {
        more = false;
        break;
      }
      auto job = std::make_shared<Job>();
      job->frame = std::move(*frame);
      inFlight.push_back(job);
      workers.submit(std::move(job));
    }
    if (inFlight.empty()) break;
    if (!workers.wait(*inFlight.front())) ThrowIfInterrupted();
    const std::shared_ptr<Job> job = std::move(inFlight.front());
    inFlight.pop_front();
    if (job->error) std::rethrow_exception(job->error);
    sink.write(Frame{job->frame.number, std::move(*job->result), job->frame.hasAlpha});
    progress.frameDone();
  }
  ThrowIfInterrupted();
  sink.finish();
  progress.finish();
}
