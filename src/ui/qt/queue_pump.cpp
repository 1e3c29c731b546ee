#include "ui/qt/queue_pump.h"

#include <QMetaObject>

namespace qarx::qt {

void QueuePump::Notify() { QMetaObject::invokeMethod(this, "RunNext", Qt::QueuedConnection); }

void QueuePump::RunNext() { queue_.RunNext(); }

}  // namespace qarx::qt
