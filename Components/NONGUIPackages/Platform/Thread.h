// The thread class the workers and the supervisor derive from: created
// suspended, started once by Resume, asked to stop by Terminate, joined by WaitFor.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace Platform {

class TThread {
 public:
  TThread();
  TThread(const TThread&) = delete;
  TThread& operator=(const TThread&) = delete;
  // Destroying a started thread asks it to stop and joins it. A derived class whose
  // Execute uses its own members must call TerminateAndWait() in its destructor.
  virtual ~TThread();

  // Starts Execute on a new thread; later calls do nothing.
  void Resume();
  // Asks Execute to end; Execute reads the request through Terminated(). A thread that
  // sleeps between its checks overrides this to wake itself as well.
  virtual void Terminate() noexcept { terminated_.store(true); }
  // Joins the thread if it was started; returns at once otherwise.
  void WaitFor();
  void TerminateAndWait();

  bool Started() const noexcept { return started_.load(); }
  bool Finished() const noexcept { return finished_.load(); }
  bool Terminated() const noexcept { return terminated_.load(); }
  // The message of an exception that escaped Execute, empty when none did.
  std::string FatalExceptionMessage() const;
  // Called on this thread once Execute has returned, however it ended (not when Execute
  // destroyed the object), so that an owner can wait for the end instead of looking for it.
  void SetOnFinished(std::function<void()> onFinished);

 protected:
  virtual void Execute() = 0;

 private:
  void Run() noexcept;

  std::thread thread_;
  // Held by Resume until it is done with the object; the new thread passes it before
  // Execute, which may delete the object.
  std::mutex startLock_;
  std::mutex joinLock_;
  std::atomic<bool> started_{false};
  std::atomic<bool> finished_{false};
  std::atomic<bool> terminated_{false};
  mutable std::mutex fatalLock_;
  std::string fatalMessage_;
  std::function<void()> onFinished_;  // under fatalLock_
};

}  // namespace Platform
