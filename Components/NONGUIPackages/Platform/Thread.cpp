#include "Thread.h"

#include <exception>
#include <system_error>

#include "Exceptions.h"

namespace Platform {

namespace {
// The TThread whose Execute runs on this thread, so that a thread never joins itself.
// Cleared when the object is destroyed from its own Execute, which tells Run not to
// touch the object any more.
thread_local TThread* tCurrentThread = nullptr;
}  // namespace

TThread::TThread() = default;

TThread::~TThread() {
  Terminate();
  if (tCurrentThread == this) {
    // Destroyed from inside its own Execute: nobody can join it now.
    tCurrentThread = nullptr;
    if (thread_.joinable())
      thread_.detach();
    return;
  }
  WaitFor();
}

void TThread::Resume() {
  if (started_.load())
    return;
  std::lock_guard<std::mutex> startLock(startLock_);
  std::lock_guard<std::mutex> lock(joinLock_);
  if (started_.load())
    return;
  started_.store(true);
  try {
    thread_ = std::thread(&TThread::Run, this);
  } catch (const std::system_error& e) {
    started_.store(false);
    throw Exception(Format("Thread creation error: %s", e.what()));
  }
}

void TThread::WaitFor() {
  if (tCurrentThread == this)
    return;
  // One waiter joins; the others wait on the lock until it has, then find nothing to join.
  std::lock_guard<std::mutex> lock(joinLock_);
  if (thread_.joinable())
    thread_.join();
}

void TThread::TerminateAndWait() {
  Terminate();
  WaitFor();
}

std::string TThread::FatalExceptionMessage() const {
  std::lock_guard<std::mutex> lock(fatalLock_);
  return fatalMessage_;
}

void TThread::SetOnFinished(std::function<void()> onFinished) {
  std::lock_guard<std::mutex> lock(fatalLock_);
  onFinished_ = std::move(onFinished);
}

void TThread::Run() noexcept {
  { std::lock_guard<std::mutex> wait(startLock_); }
  tCurrentThread = this;
  std::string message;
  bool failed = false;
  try {
    Execute();
  } catch (const std::exception& e) {
    failed = true;
    message = e.what();
  } catch (const char* text) {
    // A plain character string still says what went wrong: its text is kept.
    failed = true;
    message = text != nullptr ? text : "";
  } catch (...) {
    failed = true;
    message = "Unknown exception";
  }
  if (tCurrentThread != this)
    return;  // the object was destroyed by its own Execute
  tCurrentThread = nullptr;
  std::function<void()> onFinished;
  {
    std::lock_guard<std::mutex> lock(fatalLock_);
    if (failed) {
      fatalMessage_ = std::move(message);
    }
    onFinished = onFinished_;
  }
  finished_.store(true);
  if (onFinished) {
    try {
      onFinished();
    } catch (...) {
      // The owner's notice is best effort; the thread has ended either way.
    }
  }
}

}  // namespace Platform
