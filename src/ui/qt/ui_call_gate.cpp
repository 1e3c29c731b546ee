#include "ui/qt/ui_call_gate.h"

#include <QMetaObject>
#include <QThread>

namespace qarx::qt {

bool UiCallGate::OnUiThread() const { return QThread::currentThread() == thread(); }

bool UiCallGate::Post(std::function<void()> fn) {
  std::lock_guard lock(mu_);
  if (closed_) return false;
  queue_.push_back(std::move(fn));
  return QMetaObject::invokeMethod(this, "RunNext", Qt::QueuedConnection);
}

void UiCallGate::RunNext() {
  std::function<void()> next;
  {
    std::lock_guard lock(mu_);
    if (queue_.empty()) return;  // dropped by Close
    next = std::move(queue_.front());
    queue_.pop_front();
  }
  next();
}

intptr_t UiCallGate::Send(const std::function<intptr_t()>& fn, intptr_t fallback) {
  if (OnUiThread()) return fn();
  std::shared_ptr<Reply> reply = NewReply();
  // fn refers to the caller's arguments: it may only run while the caller
  // still waits, which the running/abandoned handshake guarantees.
  const bool queued = Post([this, reply, &fn] {
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

void UiCallGate::Run(const std::function<void()>& fn) {
  Send([&fn] {
    fn();
    return intptr_t{0};
  }, 0);
}

void UiCallGate::Complete(Reply& reply, intptr_t value) {
  std::lock_guard lock(mu_);
  if (reply.done) return;
  reply.done = true;
  reply.value = value;
  changed_.notify_all();
}

intptr_t UiCallGate::Wait(Reply& reply, intptr_t fallback) {
  std::unique_lock lock(mu_);
  changed_.wait(lock, [&] { return reply.done || (closed_ && !reply.running); });
  if (reply.done) return reply.value;
  reply.abandoned = true;
  return fallback;
}

void UiCallGate::Close() {
  std::deque<std::function<void()>> dropped;
  std::lock_guard lock(mu_);
  closed_ = true;
  dropped.swap(queue_);
  changed_.notify_all();
}

void UiCallGate::Open() {
  std::lock_guard lock(mu_);
  closed_ = false;
}

bool UiCallGate::closed() const {
  std::lock_guard lock(mu_);
  return closed_;
}

}  // namespace qarx::qt
