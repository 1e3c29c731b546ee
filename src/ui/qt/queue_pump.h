// Runs the emulated window system's queue on Qt's event loop: one queued
// call per notification, on the thread the pump lives in.
#pragma once

#include <QObject>

#include "ui/emulated/ui_queue.h"

namespace qarx::qt {

class QueuePump : public QObject {
  Q_OBJECT

 public:
  // queue may be built after the pump; it is used from the first Notify on.
  explicit QueuePump(emulated::UiQueue& queue) : queue_(queue) {}

  // The queue's notification (any thread). Invoked by name, so that nothing
  // of ours crosses threads in Qt's event queue: the calls themselves wait in
  // the queue, under its lock, which race checkers can see.
  void Notify();

 private:
  Q_INVOKABLE void RunNext();

  emulated::UiQueue& queue_;
};

}  // namespace qarx::qt
