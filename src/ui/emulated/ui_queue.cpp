#include "ui/emulated/ui_queue.h"

namespace qarx::emulated {

UiQueue::UiQueue(std::function<void()> notify)
    : notify_(std::move(notify)), uiThread_(std::this_thread::get_id()) {}

UiQueue::~UiQueue() { Close(); }

bool UiQueue::OnUiThread() const {
  std::lock_guard lock(mu_);
  return std::this_thread::get_id() == uiThread_;
}

bool UiQueue::Queue(std::deque<std::function<void()>>& lane, std::function<void()> fn) {
  {
    std::lock_guard lock(mu_);
    if (closed_) return false;
    lane.push_back(std::move(fn));
    work_.notify_all();
  }
  if (notify_) notify_();
  return true;
}

bool UiQueue::Post(std::function<void()> fn) { return Queue(posted_, std::move(fn)); }

intptr_t UiQueue::Send(const std::function<intptr_t()>& fn, intptr_t fallback) {
  if (OnUiThread()) return fn();
  std::shared_ptr<Reply> reply = NewReply();
  // fn refers to the caller's arguments: it may only run while the caller
  // still waits, which the running/abandoned handshake guarantees.
  const bool queued = Queue(sent_, [this, reply, &fn] {
    {
      std::lock_guard lock(mu_);
      if (reply->abandoned || closed_) return;
      reply->running = true;
    }
    const intptr_t value = fn();
    std::lock_guard lock(mu_);
    reply->running = false;
    reply->done = true;
    reply->value = value;
    changed_.notify_all();
  });
  if (!queued) return fallback;
  return Wait(*reply, fallback);
}

void UiQueue::Run(const std::function<void()>& fn) {
  Send([&fn] {
    fn();
    return intptr_t{0};
  }, 0);
}

void UiQueue::Complete(Reply& reply, intptr_t value) {
  std::lock_guard lock(mu_);
  if (reply.done) return;
  reply.done = true;
  reply.value = value;
  changed_.notify_all();
}

intptr_t UiQueue::Wait(Reply& reply, intptr_t fallback) {
  std::unique_lock lock(mu_);
  changed_.wait(lock, [&] { return reply.done || (closed_ && !reply.running); });
  if (reply.done) return reply.value;
  reply.abandoned = true;
  return fallback;
}

void UiQueue::Open() {
  std::lock_guard lock(mu_);
  uiThread_ = std::this_thread::get_id();
  closed_ = false;
}

void UiQueue::Close() {
  // Destroyed outside the lock: a dropped call may own what it captured.
  std::deque<std::function<void()>> dropped;
  std::deque<std::function<void()>> droppedPosts;
  std::lock_guard lock(mu_);
  closed_ = true;
  dropped.swap(sent_);
  droppedPosts.swap(posted_);
  changed_.notify_all();
  work_.notify_all();
}

bool UiQueue::closed() const {
  std::lock_guard lock(mu_);
  return closed_;
}

bool UiQueue::RunNext() {
  std::function<void()> next;
  {
    std::lock_guard lock(mu_);
    std::deque<std::function<void()>>& lane = sent_.empty() ? posted_ : sent_;
    if (lane.empty()) return false;  // dropped by Close
    next = std::move(lane.front());
    lane.pop_front();
  }
  next();
  return true;
}

void UiQueue::WaitForWork(std::optional<Clock::time_point> deadline) {
  std::unique_lock lock(mu_);
  const auto ready = [this] { return woken_ || !sent_.empty() || !posted_.empty(); };
  if (deadline) {
    work_.wait_until(lock, *deadline, ready);
  } else {
    work_.wait(lock, ready);
  }
  woken_ = false;
}

void UiQueue::Wake() {
  std::lock_guard lock(mu_);
  woken_ = true;
  work_.notify_all();
}

}  // namespace qarx::emulated
