// Fakes of the small ports and a Platform bundle built from them. Tests of a
// subsystem plug their own fakes of the larger ports into `platform`.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/platform.h"
#include "support/fake_ui.h"

namespace qarx::testing {

// Threads: by default a started body runs at once on the calling thread, so
// jobs are deterministic; `real` runs them on detached threads instead.
// Sleep records the pause and returns at once.
class FakeThreads : public ThreadPort {
 public:
  bool StartDetached(std::function<void()> body) override;
  void Sleep(uint32_t milliseconds) override;

  bool failStarts = false;
  bool real = false;
  // Deferred mode: bodies are queued and run by RunPending().
  bool deferred = false;
  void RunPending();
  int started() const { return started_; }
  // Waits until n bodies in all have been started (run, queued or spawned);
  // false when that did not happen within 10 s (a guard against hangs).
  bool AwaitStarted(int n);
  std::vector<uint32_t> sleeps() const;
  // Waits until every real thread started here has finished.
  void WaitIdle();

 private:
  mutable std::mutex mu_;
  std::condition_variable cv_;
  std::vector<std::function<void()>> pending_;
  std::vector<uint32_t> sleeps_;
  std::atomic<int> started_{0};
  int running_ = 0;
};

// Named mutexes within this process, with the platform's semantics: a name
// exists while any handle to it is open; ownership is per thread and
// recursive; Wait blocks.
class FakeMutexes : public MutexPort {
 public:
  std::unique_ptr<NamedMutex> Create(const std::u16string& name, bool initialOwner,
                                     bool& alreadyExisted) override;
  bool failCreate = false;
  bool Exists(const std::u16string& name) const;
  int createCount(const std::u16string& name) const;

  struct State;
 private:
  friend class FakeNamedMutex;
  mutable std::mutex mu_;
  std::map<std::u16string, std::shared_ptr<State>> names_;
  std::map<std::u16string, int> creates_;
};

// The activity log file's own entries: "failure <line>", "recovery <line>".
class FakeRecord : public ActivityRecordPort {
 public:
  void Failure(const std::string& line) override;
  void Recovery(const std::string& line) override;
  std::vector<std::string> lines() const;

 private:
  mutable std::mutex mu_;
  std::vector<std::string> lines_;
};

// A Platform whose every port is a fake; larger ports start as null and
// tests set the ones they use.
struct FakePlatform {
  FakeUi ui;
  FakeThreads threads;
  FakeMutexes mutexes;
  FakeRecord record;
  Platform platform;
  FakePlatform();
};

}  // namespace qarx::testing
