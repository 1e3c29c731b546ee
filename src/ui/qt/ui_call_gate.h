// Hands work to the user-interface thread. A worker that "sends" waits until
// the work has run there, like SendMessage; once the modal run has ended the
// gate is closed and every such call returns at once instead of waiting for a
// loop that no longer runs.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

#include <QObject>

namespace qarx::qt {

// Created on the user-interface thread, which it then serves.
class UiCallGate : public QObject {
  Q_OBJECT

 public:
  UiCallGate() = default;

  bool OnUiThread() const;

  // Queues fn for the user-interface thread, behind everything queued
  // before; false once the gate is closed.
  bool Post(std::function<void()> fn);

  // Runs fn on the user-interface thread and returns its value: directly when
  // called there, else after waiting. fallback when the gate closed first.
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
  // Waits for Complete, or returns fallback when the gate closes first.
  intptr_t Wait(Reply& reply, intptr_t fallback);

  // Closed: waiters return their fallback, posts are refused and what is
  // still queued is dropped. Open again for a new run.
  void Close();
  void Open();
  bool closed() const;

 private:
  // One call per Post: runs the oldest queued function.
  Q_INVOKABLE void RunNext();

  mutable std::mutex mu_;
  std::condition_variable changed_;
  // The functions wait here rather than in Qt's event queue, so that they
  // cross threads under mu_ alone, a lock race checkers can see.
  std::deque<std::function<void()>> queue_;
  bool closed_ = false;
};

}  // namespace qarx::qt
