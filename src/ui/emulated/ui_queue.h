// The user-interface thread's message queue of an emulated window system.
// Work from other threads reaches that thread in two lanes, as in Windows:
// sent calls, whose caller waits until they ran (SendMessage), before posted
// ones, which are only queued (PostMessage). Once the modal run has ended the
// queue is closed: every waiting caller returns its fallback at once instead
// of waiting for a loop that no longer runs, and posts are refused.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace qarx::emulated {

class UiQueue {
 public:
  using Clock = std::chrono::steady_clock;

  // notify is called, outside the queue's lock, once for every call queued:
  // a loop of another toolkit runs RunNext once per notification. Empty: the
  // loop waits in WaitForWork instead. The creating thread is the
  // user-interface thread until Open names another. The queue starts open.
  explicit UiQueue(std::function<void()> notify = {});
  ~UiQueue();
  UiQueue(const UiQueue&) = delete;
  UiQueue& operator=(const UiQueue&) = delete;

  bool OnUiThread() const;

  // Queues fn behind everything posted before; false once closed.
  bool Post(std::function<void()> fn);

  // Runs fn on the user-interface thread and returns its value: directly when
  // called there, else after waiting. fallback when the queue closed first.
  intptr_t Send(const std::function<intptr_t()>& fn, intptr_t fallback);
  void Run(const std::function<void()>& fn);

  // An answer that the user-interface thread gives later (a message box).
  struct Reply {
    bool running = false;    // the work is being done right now
    bool done = false;
    bool abandoned = false;  // the waiter gave up; the work must not start
    intptr_t value = 0;
  };
  std::shared_ptr<Reply> NewReply() const { return std::make_shared<Reply>(); }
  void Complete(Reply& reply, intptr_t value);
  // Waits for Complete, or returns fallback when the queue closes first.
  intptr_t Wait(Reply& reply, intptr_t fallback);

  // The calling thread runs the loop from now on, and work is accepted.
  void Open();
  // Waiters return their fallback, posts are refused and what is still
  // queued is dropped, until Open.
  void Close();
  bool closed() const;

  // ---- the user-interface thread ----
  // Runs the oldest sent call, else the oldest posted one; false when none.
  bool RunNext();
  // Returns once work is queued, Wake was called since the last return, or
  // the deadline (if any) has passed.
  void WaitForWork(std::optional<Clock::time_point> deadline);

  // Something besides queued work needs the loop (any thread).
  void Wake();

 private:
  bool Queue(std::deque<std::function<void()>>& lane, std::function<void()> fn);

  const std::function<void()> notify_;
  mutable std::mutex mu_;
  std::condition_variable changed_;  // replies and closing, for waiting callers
  std::condition_variable work_;     // queued work and wakes, for the loop
  std::thread::id uiThread_;
  std::deque<std::function<void()>> sent_;
  std::deque<std::function<void()>> posted_;
  bool closed_ = false;
  bool woken_ = false;
};

}  // namespace qarx::emulated
