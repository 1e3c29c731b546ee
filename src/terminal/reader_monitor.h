// The reader monitor thread: notices readers whose names begin with "VLT",
// gives each a ReaderSlot and a watcher, and posts ReaderArrived.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/platform.h"
#include "terminal/pcsc_recovery.h"
#include "terminal/reader_slot.h"

namespace qarx {

class CQarxServiceDlg;

inline constexpr std::u16string_view kReaderPrefix = u"VLT";
inline constexpr std::u16string_view kPnpNotificationReader = u"\\\\?PNP?\\NOTIFICATION";
inline constexpr uint32_t kReaderListCapacity = 1024;  // UTF-16 code units
// Between two tries to reach a smart-card service that is not running yet.
inline constexpr uint32_t kServiceStartRetryMs = 1000;
inline constexpr std::u16string_view kMonitorStartFailedText = u"Fail：start automatic monitor";

// Makes dialog the target of every WM_READER_EVENT. Called once, before the
// monitor starts.
void PublishReaderEventWindow(CQarxServiceDlg* dialog);

// Starts the monitor thread (never stopped or joined). Without a PC/SC port
// there is nothing to monitor and no thread is started.
void StartReaderMonitor(Platform& platform);

// The monitor thread's body: returns only when the monitor cannot start.
void ReaderMonitor(Platform& platform);

// The monitor's state and one pass of its loop, over a slot table.
class ReaderMonitorLoop {
 public:
  ReaderMonitorLoop(Platform& platform, ReaderSlot (&slots)[kReaderSlotCount]);
  ~ReaderMonitorLoop();
  ReaderMonitorLoop(const ReaderMonitorLoop&) = delete;
  ReaderMonitorLoop& operator=(const ReaderMonitorLoop&) = delete;

  // Establishes the monitor's context; on failure shows the error box once
  // and returns false (no monitoring for this run).
  bool Start();
  // Lists the readers and handles every name, then waits for the next change
  // of the reader set (or kPnpWaitMs where the resource manager does not
  // count readers). A lost service is re-established here. A watcher that
  // ended meanwhile makes the pass end early (or cuts its wait short), so
  // that its reader, if it is back already, is listed again at once.
  void Pass();

 private:
  // What an ending watcher tells the monitor; shared, as watchers may end
  // after the loop.
  struct Relist {
    PcscPort* pcsc = nullptr;
    std::atomic<ScardContext> context{0};
    std::atomic<bool> pending{false};
    void WatcherEnded();
  };

  void HandleReaderList(const std::u16string& list, uint32_t length);
  void HandleName(const std::u16string& name);
  void StartWatcher(ReaderSlot& slot);
  void Recover();

  Platform& platform_;
  ReaderSlot (&slots_)[kReaderSlotCount];
  ScardContext context_ = 0;
  std::shared_ptr<Relist> relist_ = std::make_shared<Relist>();
  bool started_ = false;
  ReaderState pnp_;
  RetryPacer pacer_;
  uint64_t lastWatcherId_ = 0;
};

}  // namespace qarx
