// The background supervisor: one thread from start-up to shut-down that starts the
// notification workers handed to it, frees those that have finished and, at its
// poll interval, measures the computer clock's offset against the time server.
// Between passes it sleeps until there is something to do: a worker handed over, a
// worker's end, the next time query or the request to stop.
// Only so many workers run at once, each with its sockets and threads; the others wait
// in the order they were handed over, messenger and e-mail alike, and start as running
// ones end.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "DateTime.h"
#include "Thread.h"
#include "time/sntpSend.h"

class thrQSEmail;
class thrQSMSMessenger;
namespace delivery {
class WorkerTag;
}

// Told on the supervisor's thread, once a tagged worker has ended: its tag, whether it
// delivered, and why not. Must not wait for the UI thread.
using TWorkerEnded =
    std::function<void(const delivery::WorkerTag& tag, bool delivered, const std::string& failure)>;

// Why a worker still waiting for its turn when the supervisor stopped did not deliver.
inline constexpr const char* kNotStartedFailure = "not started before the program closed";

// The supervisor's waits and its time service. The defaults are the program's;
// tests shorten the waits and point the time query at a server of their own.
struct TBGProcessOptions {
  // The shortest time between two time queries, and the retry of a worker whose thread
  // could not be had.
  std::chrono::milliseconds loopPause{100};
  std::chrono::milliseconds stopGrace{250};  // for running workers to stop at shut-down
  int sntpTimeoutMs = 5000;                  // for the time server's answer
  std::string sntpPort = "123";
  TSNTPSend::TSetClock setClock;  // empty: the computer's own clock
  int closeWaitSecs = 15;         // how long the main window waits for the stop
  TWorkerEnded workerEnded;       // empty: nobody is told
  // Workers started and not yet freed, at most; a burst of due items would otherwise open
  // more sockets and threads than the process may have. At least 1.
  std::size_t maxRunningWorkers = 32;
};

class thrBGProcess : public Platform::TThread {
 public:
  // Created suspended; the main window sets the server, the clock flag and the poll
  // interval, then calls Resume.
  explicit thrBGProcess(TBGProcessOptions options = {});
  // Waits for the thread to end before the lists go. Workers still running then are
  // left alone: their threads are still using them.
  ~thrBGProcess() override;

  // Hand-over of a set-up worker, from any thread. The tag, when given, lives as long as
  // the worker and is reported when it ends.
  void AddMessenger(std::unique_ptr<thrQSMSMessenger> worker,
                    std::shared_ptr<delivery::WorkerTag> tag = nullptr);
  void AddEmail(std::unique_ptr<thrQSEmail> worker,
                std::shared_ptr<delivery::WorkerTag> tag = nullptr);
  // The time server to ask from the next query on.
  void SetSNTPServer(const std::string& server);
  std::string SNTPServer() const;
  // Also wakes the body so that it stops at once.
  void Terminate() noexcept override;
  const TBGProcessOptions& Options() const { return options_; }

  // True from the start of the body to its end.
  std::atomic<bool> bRunning_m{false};
  std::atomic<bool> bSyncTime_m{false};
  std::atomic<std::int32_t> iPollIntervalSecs_m{0};
  // Written by the supervisor only: the start of the last query (local date-time), and
  // its outcome: UTC now minus the server's time, in days, positive when this clock is ahead.
  std::atomic<Platform::TDateTime> dtLastPoll_m{0.0};
  std::atomic<bool> bNTPOffsetValid_m{false};
  std::atomic<double> dNTPOffset_m{0.0};

 protected:
  void Execute() override;
  // One pass of the loop without its wait: the time query when it is due, then the
  // messenger and the e-mail workers that have ended are freed, then waiting workers
  // start while fewer than the bound run.
  void RunPass();
  // How long the body may sleep after a pass when nothing wakes it earlier.
  std::chrono::milliseconds IdleWait() const;

 private:
  struct Wake;

  void PollTime();
  // Frees the list's workers whose flag has dropped; returns how many of the others run.
  template <typename Worker>
  std::size_t ServeWorkers(std::vector<std::unique_ptr<Worker>>& workers);
  void StartWaiting(std::size_t running);
  template <typename Worker>
  void HandOver(std::vector<std::unique_ptr<Worker>>& workers, std::unique_ptr<Worker> worker,
                std::shared_ptr<delivery::WorkerTag> tag);
  void StopWorkers();
  // Frees workers taken out of their list (outside the lock) and reports the tagged ones.
  template <typename Worker>
  void FreeAndReport(std::vector<std::unique_ptr<Worker>>& stopped);
  std::shared_ptr<delivery::WorkerTag> TakeTag(const void* worker);

  const TBGProcessOptions options_;
  std::unique_ptr<TSNTPSend> timeClient_;  // lives as long as one run of the body
  // Shared with the workers' end notices, which may come after this object is gone.
  const std::shared_ptr<Wake> wake_;
  bool resumeFailed_ = false;  // body only: a worker is still waiting for its thread
  // Guards the two lists and the server name, which the UI thread changes while the
  // body walks them.
  mutable std::mutex lock_;
  std::string asSNTPServer_m;
  std::vector<std::unique_ptr<thrQSMSMessenger>> vecMessengers_m;
  std::vector<std::unique_ptr<thrQSEmail>> vecEmails_m;
  std::map<const void*, std::shared_ptr<delivery::WorkerTag>> tags_;  // by worker
  // Workers of both lists not yet started, in the order they were handed over.
  std::deque<Platform::TThread*> waiting_;
};
