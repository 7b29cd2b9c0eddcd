#include "workers/classQSBGProcess.h"

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <exception>
#include <thread>

#include "workers/classQSEmail.h"
#include "workers/classQSMSMessenger.h"
#include "workers/workerTag.h"

namespace {

// Workers whose threads have ended, or never began, can go; one still running keeps
// using its object and is left as it is.
template <typename Worker>
void ReleaseList(std::vector<std::unique_ptr<Worker>>& workers) {
  for (auto& worker : workers) {
    if (worker->Started() && !worker->Finished()) {
      (void)worker.release();
    }
  }
  workers.clear();
}

// Takes the workers whose flag has dropped out of the list, last to first.
template <typename Worker>
void TakeStopped(std::vector<std::unique_ptr<Worker>>& workers,
                 std::vector<std::unique_ptr<Worker>>& stopped) {
  for (std::size_t i = workers.size(); i-- > 0;) {
    if (!workers[i]->bRunning_m.load()) {
      stopped.push_back(std::move(workers[i]));
    }
  }
  std::erase(workers, nullptr);
}

// Takes the workers that were never started out of the list, in hand-over order.
template <typename Worker>
void TakeUnstarted(std::vector<std::unique_ptr<Worker>>& workers,
                   std::vector<std::unique_ptr<Worker>>& unstarted) {
  for (auto& worker : workers) {
    if (!worker->Started()) {
      unstarted.push_back(std::move(worker));
    }
  }
  std::erase(workers, nullptr);
}

}  // namespace

// What the body sleeps on between passes. A notice raises a flag under the mutex, so one
// that comes while a pass runs is not lost: the next wait returns at once.
struct thrBGProcess::Wake {
  std::mutex mutex;
  std::condition_variable changed;
  bool pending = false;

  void Notify() noexcept {
    try {
      std::lock_guard<std::mutex> lock(mutex);
      pending = true;
    } catch (...) {
      // Only a broken mutex throws; the next timed pass still comes.
    }
    changed.notify_one();
  }

  void WaitFor(std::chrono::milliseconds limit) {
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait_for(lock, limit, [this] { return pending; });
    pending = false;
  }
};

thrBGProcess::thrBGProcess(TBGProcessOptions options)
    : options_(std::move(options)), wake_(std::make_shared<Wake>()) {}

thrBGProcess::~thrBGProcess() {
  TerminateAndWait();
  // A worker still running keeps logging into its tag: the tag goes with the worker and
  // lives as long as it does.
  const auto handTagsOver = [this](auto& workers) {
    for (auto& worker : workers) {
      if (const auto it = tags_.find(worker.get()); it != tags_.end()) {
        worker->logTargetHold_ = std::move(it->second);
      }
    }
  };
  handTagsOver(vecMessengers_m);
  handTagsOver(vecEmails_m);
  ReleaseList(vecMessengers_m);
  ReleaseList(vecEmails_m);
}

void thrBGProcess::AddMessenger(std::unique_ptr<thrQSMSMessenger> worker,
                                std::shared_ptr<delivery::WorkerTag> tag) {
  HandOver(vecMessengers_m, std::move(worker), std::move(tag));
}

void thrBGProcess::AddEmail(std::unique_ptr<thrQSEmail> worker,
                            std::shared_ptr<delivery::WorkerTag> tag) {
  HandOver(vecEmails_m, std::move(worker), std::move(tag));
}

template <typename Worker>
void thrBGProcess::HandOver(std::vector<std::unique_ptr<Worker>>& workers,
                            std::unique_ptr<Worker> owned,
                            std::shared_ptr<delivery::WorkerTag> tag) {
  if (!owned) {
    return;
  }
  // The worker's end wakes the body, which then frees it. The notice holds the wake
  // state, not this object: a worker left running at shut-down may end after it.
  owned->SetOnFinished([wake = wake_] { wake->Notify(); });
  {
    std::lock_guard<std::mutex> lock(lock_);
    if (tag) {
      tags_[owned.get()] = std::move(tag);
    }
    if (!owned->Started()) {
      waiting_.push_back(owned.get());
    }
    workers.push_back(std::move(owned));
  }
  wake_->Notify();  // started by the next pass, which comes now, if its turn has come
}

void thrBGProcess::Terminate() noexcept {
  Platform::TThread::Terminate();
  wake_->Notify();
}

std::shared_ptr<delivery::WorkerTag> thrBGProcess::TakeTag(const void* worker) {
  std::lock_guard<std::mutex> lock(lock_);
  const auto it = tags_.find(worker);
  if (it == tags_.end()) {
    return nullptr;
  }
  auto tag = std::move(it->second);
  tags_.erase(it);
  return tag;
}

// Frees in the order taken. Outside the lock: a worker's destructor waits for its
// thread, which may itself be waiting for the UI thread, which may want the lock. The
// outcome is read once the thread has ended, so that an error that escaped the body
// is known too.
template <typename Worker>
void thrBGProcess::FreeAndReport(std::vector<std::unique_ptr<Worker>>& stopped) {
  for (auto& worker : stopped) {
    std::shared_ptr<delivery::WorkerTag> tag = TakeTag(worker.get());
    worker->WaitFor();
    const bool delivered = worker->delivered_;
    std::string failure = worker->failure_;
    if (!delivered && failure.empty()) {
      failure = worker->FatalExceptionMessage();
    }
    if (!delivered && failure.empty()) {
      failure = "ended without delivering";
    }
    worker.reset();
    if (tag) {
      tag->Log(delivered ? "delivered" : "FAILED: " + failure);
      if (options_.workerEnded) {
        try {
          options_.workerEnded(*tag, delivered, failure);
        } catch (...) {
          // A report that cannot be made leaves the outcome pending; the loop goes on.
        }
      }
    }
  }
}

void thrBGProcess::SetSNTPServer(const std::string& server) {
  {
    std::lock_guard<std::mutex> lock(lock_);
    if (asSNTPServer_m == server) {
      return;
    }
    asSNTPServer_m = server;
  }
  // The body may be asleep until a poll reckoned with an older interval; it reckons
  // again. Whether the query is due is still PollTime's own test.
  wake_->Notify();
}

std::string thrBGProcess::SNTPServer() const {
  std::lock_guard<std::mutex> lock(lock_);
  return asSNTPServer_m;
}

void thrBGProcess::Execute() {
  bRunning_m.store(true);
  try {
    timeClient_ = std::make_unique<TSNTPSend>();
    timeClient_->Timeout = options_.sntpTimeoutMs;
    timeClient_->TargetPort = options_.sntpPort;
    timeClient_->SetClock = options_.setClock;
    while (!Terminated()) {
      RunPass();
      if (!Terminated()) {
        wake_->WaitFor(IdleWait());
      }
    }
  } catch (...) {
    // Whatever ended the loop, the workers are still stopped below.
  }
  try {
    StopWorkers();
  } catch (...) {
  }
  bRunning_m.store(false);
  timeClient_.reset();
}

void thrBGProcess::RunPass() {
  resumeFailed_ = false;
  PollTime();
  std::size_t running = ServeWorkers(vecMessengers_m);
  running += ServeWorkers(vecEmails_m);
  StartWaiting(running);
}

std::chrono::milliseconds thrBGProcess::IdleWait() const {
  const std::chrono::milliseconds shortest = options_.loopPause;
  if (resumeFailed_) {
    return shortest;
  }
  // Until the pass at which PollTime's own test finds the query due; a clock put back
  // makes it due at once.
  const double elapsed = (Platform::Now() - dtLastPoll_m.load()) * Platform::SecsPerDay;
  if (elapsed < 0) {
    return shortest;
  }
  const double leftMs = (iPollIntervalSecs_m.load() - elapsed) * 1000.0;
  if (!(leftMs > static_cast<double>(shortest.count()))) {
    return shortest;
  }
  return std::chrono::milliseconds(static_cast<std::int64_t>(std::ceil(leftMs)) + 1);
}

void thrBGProcess::PollTime() {
  const Platform::TDateTime now = Platform::Now();
  const double elapsed = (now - dtLastPoll_m.load()) * Platform::SecsPerDay;
  // A clock set back (by this program or by hand) must not hold the polls until it
  // has caught up with the last one.
  if (elapsed >= 0 && iPollIntervalSecs_m.load() > elapsed) {
    return;
  }
  dtLastPoll_m.store(now);
  if (!timeClient_) {
    return;
  }
  try {
    timeClient_->TargetHost = SNTPServer();
    timeClient_->SyncTime = bSyncTime_m.load();
    if (timeClient_->GetNTP()) {
      dNTPOffset_m.store(Platform::NowUTC() - timeClient_->NTPTime);
      bNTPOffsetValid_m.store(true);
    } else {
      bNTPOffsetValid_m.store(false);
    }
  } catch (...) {
    // A query that raises leaves the last outcome standing.
  }
}

template <typename Worker>
std::size_t thrBGProcess::ServeWorkers(std::vector<std::unique_ptr<Worker>>& workers) {
  std::vector<std::unique_ptr<Worker>> stopped;
  std::size_t running = 0;
  {
    std::lock_guard<std::mutex> lock(lock_);
    for (std::size_t i = workers.size(); i-- > 0;) {
      if (workers[i]->bRunning_m.load()) {
        running += workers[i]->Started() ? 1 : 0;
      } else {
        if (!workers[i]->Started()) {
          std::erase(waiting_, workers[i].get());  // ended before its turn came
        }
        stopped.push_back(std::move(workers[i]));
      }
    }
    std::erase(workers, nullptr);
  }
  FreeAndReport(stopped);
  return running;
}

// Only the body starts workers, so the count it made while freeing still holds; workers
// handed over meanwhile only join the queue.
void thrBGProcess::StartWaiting(std::size_t running) {
  const std::size_t bound = std::max<std::size_t>(1, options_.maxRunningWorkers);
  std::lock_guard<std::mutex> lock(lock_);
  while (!waiting_.empty() && running < bound) {
    try {
      waiting_.front()->Resume();
    } catch (const std::exception&) {
      // No thread to be had now; the next pass, a short wait away, tries again.
      resumeFailed_ = true;
      return;
    }
    waiting_.pop_front();
    ++running;
  }
}

void thrBGProcess::StopWorkers() {
  // Workers still waiting for their turn will not get one: they are freed without
  // running, and reported as not delivered.
  std::vector<std::unique_ptr<thrQSMSMessenger>> unstartedMessengers;
  std::vector<std::unique_ptr<thrQSEmail>> unstartedEmails;
  {
    std::lock_guard<std::mutex> lock(lock_);
    waiting_.clear();
    TakeUnstarted(vecMessengers_m, unstartedMessengers);
    TakeUnstarted(vecEmails_m, unstartedEmails);
    for (std::size_t i = vecMessengers_m.size(); i-- > 0;) {
      if (vecMessengers_m[i]->bRunning_m.load()) {
        vecMessengers_m[i]->Terminate();
      }
    }
    for (std::size_t i = vecEmails_m.size(); i-- > 0;) {
      if (vecEmails_m[i]->bRunning_m.load()) {
        vecEmails_m[i]->Terminate();
      }
    }
  }
  const auto notStarted = [](auto& workers) {
    for (auto& worker : workers) {
      worker->failure_ = kNotStartedFailure;
    }
  };
  notStarted(unstartedMessengers);
  notStarted(unstartedEmails);
  FreeAndReport(unstartedMessengers);
  FreeAndReport(unstartedEmails);
  std::this_thread::sleep_for(options_.stopGrace);
  std::vector<std::unique_ptr<thrQSMSMessenger>> stoppedMessengers;
  std::vector<std::unique_ptr<thrQSEmail>> stoppedEmails;
  {
    std::lock_guard<std::mutex> lock(lock_);
    TakeStopped(vecMessengers_m, stoppedMessengers);
    TakeStopped(vecEmails_m, stoppedEmails);
  }
  FreeAndReport(stoppedMessengers);
  FreeAndReport(stoppedEmails);
}
