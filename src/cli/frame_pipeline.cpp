#include "cli/frame_pipeline.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "cli/interrupt.h"
#include "cli/progress.h"

namespace {

using Clock = std::chrono::steady_clock;

// A signal cannot wake a condition variable: the main thread's waits look at the flag this often.
constexpr auto kSignalPoll = std::chrono::milliseconds(50);

struct Job {
  long number = 0;
  bool hasAlpha = false;
  std::optional<minihost::World> input, result;
  std::exception_ptr error;
  bool rendered = false;
};

// The three stages of a run: the calling thread reads frames and hands them over, the jobs render them
// through the session's render copy, and a writer thread takes the results in order into the sink. So reading
// frame k+1 and writing frame k-1 go on while frame k renders. Jobs stay in `inFlight_` from reading until
// written, at most `limit_` of them (PlanFramesInFlight), which bounds the memory whatever the length of the
// input.
class Pipeline {
 public:
  Pipeline(EffectSession& session, FramesInFlight plan, FrameSink& sink, Progress& progress)
      : session_(session), sink_(sink), progress_(progress), limit_(plan.frames) {
    const unsigned jobs = plan.jobs;
    if (jobs > 1) session.host().setThreads(1);
    // Lets a long render stop part-way: iterate leaves the rest of the frame and the render fails.
    session.host().setProgress([this](A_long, A_long) { return !cancel_.load() && InterruptSignal() == 0; });
    try {
      // Only the calling thread takes the signals, so that they cut its blocking reads short.
      const SignalBlock leaveSignalsToTheMainThread;
      for (unsigned job = 0; job < jobs; ++job) threads_.emplace_back([this] { renderFrames(); });
      threads_.emplace_back([this] { writeFrames(); });
    } catch (...) {
      stop();
      throw;
    }
  }

  ~Pipeline() { stop(); }
  Pipeline(const Pipeline&) = delete;
  Pipeline& operator=(const Pipeline&) = delete;

  // Waits until another frame may be read. Throws the writer's failure, or the interruption.
  void waitForRoom() {
    std::unique_lock lock(mutex_);
    while (
        !changed_.wait_for(lock, kSignalPoll, [&] { return writerExited_ || inFlight_.size() < limit_; })) {
      ThrowIfInterrupted();
    }
    if (writeError_) std::rethrow_exception(writeError_);
  }

  void submit(Frame frame) {
    auto job = std::make_shared<Job>();
    job->number = frame.number;
    job->hasAlpha = frame.hasAlpha;
    job->input = std::move(frame.world);
    {
      std::lock_guard lock(mutex_);
      inFlight_.push_back(job);
      renderQueue_.push_back(std::move(job));
    }
    work_.notify_one();
  }

  // After the last frame: waits until the writer has written them all. Throws its failure (a frame's render
  // failure included), or the interruption.
  void finishWriting() {
    std::unique_lock lock(mutex_);
    inputEnded_ = true;
    changed_.notify_all();
    while (!changed_.wait_for(lock, kSignalPoll, [&] { return writerExited_; })) ThrowIfInterrupted();
    if (writeError_) std::rethrow_exception(writeError_);
  }

  // The writer's time in the sink; read after finishWriting().
  std::chrono::nanoseconds writeTime() const { return writeTime_; }

 private:
  void stop() {
    cancel_.store(true);
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
    }
    work_.notify_all();
    changed_.notify_all();
    for (std::thread& thread : threads_) thread.join();
    threads_.clear();
    session_.host().setProgress(nullptr);
  }

  void renderFrames() {
    for (;;) {
      std::shared_ptr<Job> job;
      {
        std::unique_lock lock(mutex_);
        work_.wait(lock, [&] { return stop_ || !renderQueue_.empty(); });
        if (stop_) return;
        job = std::move(renderQueue_.front());
        renderQueue_.pop_front();
      }
      try {
        job->result = session_.render(*job->input);
      } catch (...) {
        job->error = std::current_exception();
      }
      {
        std::lock_guard lock(mutex_);
        // The source frame is not needed any more; its memory goes back before the result is written.
        job->input.reset();
        job->rendered = true;
      }
      changed_.notify_all();
    }
  }

  void writeFrames() {
    try {
      for (;;) {
        std::shared_ptr<Job> job;
        {
          std::unique_lock lock(mutex_);
          changed_.wait(lock, [&] {
            return stop_ || (!inFlight_.empty() && inFlight_.front()->rendered) ||
                   (inputEnded_ && inFlight_.empty());
          });
          if (stop_ || inFlight_.empty()) break;
          job = inFlight_.front();
        }
        if (job->error) std::rethrow_exception(job->error);
        // The main thread reports the interruption; nothing more is written meanwhile.
        if (InterruptSignal() != 0) break;
        const auto start = Clock::now();
        sink_.write(Frame{job->number, std::move(*job->result), job->hasAlpha});
        writeTime_ += Clock::now() - start;
        progress_.frameDone();
        {
          std::lock_guard lock(mutex_);
          inFlight_.pop_front();
        }
        changed_.notify_all();
      }
    } catch (...) {
      std::lock_guard lock(mutex_);
      writeError_ = std::current_exception();
    }
    // A failed run stops rendering the frames that would never be written.
    if (writeError_) cancel_.store(true);
    {
      std::lock_guard lock(mutex_);
      writerExited_ = true;
    }
    changed_.notify_all();
  }

  EffectSession& session_;
  FrameSink& sink_;
  Progress& progress_;
  const std::size_t limit_;
  std::mutex mutex_;
  std::condition_variable work_;     // a frame to render, or stop
  std::condition_variable changed_;  // a frame rendered or written, the input ended, the writer exited
  std::deque<std::shared_ptr<Job>> renderQueue_, inFlight_;
  bool stop_ = false, inputEnded_ = false, writerExited_ = false;
  std::exception_ptr writeError_;
  std::chrono::nanoseconds writeTime_{};  // the writer thread's alone until it exits
  std::atomic<bool> cancel_{false};
  std::vector<std::thread> threads_;
};

}  // namespace

FramesInFlight PlanFramesInFlight(std::size_t frameBytes, unsigned jobs) {
  constexpr std::size_t kLeast = 4;  // one job's: being read, being rendered, rendered, being written
  const std::size_t asked = 2 * std::size_t{std::max(jobs, 1u)} + 2;
  const std::size_t fit = frameBytes == 0 ? asked : kFrameMemoryBudget / (2 * frameBytes);
  const std::size_t frames = std::max(kLeast, std::min(asked, fit));
  return {static_cast<unsigned>((frames - 2) / 2), frames};
}

StepTimes RenderFrames(FrameSource& source, FrameSink& sink, EffectSession& session, unsigned jobs,
                       bool showProgress) {
  Progress progress(showProgress, source.frameCount());
  StepTimes times;
  session.renderConcurrently();
  {
    // The first frame's size sets how many frames may be in flight; the jobs start once it is known.
    ThrowIfInterrupted();
    auto start = Clock::now();
    std::optional<Frame> frame = source.next();
    times.decode += Clock::now() - start;
    const std::size_t frameBytes = frame ? static_cast<std::size_t>(frame->world.rowbytes()) *
                                               static_cast<std::size_t>(frame->world.height())
                                         : 0;
    Pipeline pipeline(session, PlanFramesInFlight(frameBytes, jobs), sink, progress);
    while (frame) {
      ++times.frames;
      pipeline.submit(std::move(*frame));
      pipeline.waitForRoom();
      ThrowIfInterrupted();
      start = Clock::now();
      frame = source.next();
      times.decode += Clock::now() - start;
    }
    pipeline.finishWriting();
    times.encode = pipeline.writeTime();
  }
  ThrowIfInterrupted();
  // A sink that writes its file only now (an animation) shows its own progress on a line of its own.
  progress.finish();
  const auto start = Clock::now();
  sink.finish();
  times.encode += Clock::now() - start;
  times.effect = session.renderTime();
  return times;
}
