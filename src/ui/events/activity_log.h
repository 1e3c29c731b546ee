// The activity log file: the entries of the activity list box, the status
// line, every question and its answer, programs started and pages opened,
// each with its local time, in a file of the user's own that outlives the
// hidden dialog (format in activity_entry.h).
//
// Recording never waits for the file: entries go through a bounded queue to
// a writer thread, started with the first entry (a refused second start
// starts none). An entry that finds the queue full is dropped and counted;
// so is one the file does not take (folder not creatable, disk full,
// read-only). The count is written before the next entry that gets through,
// and every entry tries the file again, so the log picks up once space is
// freed. The first failure is reported once through onError (standard
// error by default). Before the file would grow past maxBytes it is rotated
// to path.1 ... path.<keep>; while another program holds it so that it
// cannot be renamed, it grows past maxBytes and every entry tries again.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "ui/events/event_fields.h"
#include "platform/log_file.h"

namespace qarx::events {

struct ActivityLogLimits {
  int64_t maxBytes = 1 << 20;
  int keep = 3;
  size_t queueEntries = 1024;
};

class ActivityLog {
 public:
  ActivityLog(std::string path, std::unique_ptr<LogFile> file, ActivityLogLimits limits = {});
  // Writes what is queued, then ends the writer.
  ~ActivityLog();
  ActivityLog(const ActivityLog&) = delete;
  ActivityLog& operator=(const ActivityLog&) = delete;

  const std::string& path() const { return path_; }

  // Queues the entry of an event, if the file keeps that kind, stamped now.
  // A status text equal to the last one is left out: a download sets it for
  // every piece it receives. Thread-safe; entries keep the order of calls.
  void Record(std::string_view ev, const EventFields& fields);

  // Waits until every entry recorded before the call has been written or
  // dropped, at most wait. False when the time ran out.
  bool Flush(std::chrono::milliseconds wait);

  std::function<void(std::string_view)> onError;

 private:
  struct Entry {
    std::chrono::system_clock::time_point when;
    std::string text;
    uint64_t droppedBefore = 0;
  };
  enum class Writer { NotStarted, Running, Failed };

  bool StartLocked();
  void Report(const std::string& message);
  // ---- writer thread ----
  void Run();
  void Write(const Entry& entry);

  const std::string path_;
  const std::unique_ptr<LogFile> file_;
  const ActivityLogLimits limits_;

  std::mutex mu_;
  std::condition_variable wake_;     // the writer: entries queued, or stop
  std::condition_variable written_;  // Flush: a batch is done
  std::deque<Entry> queue_;
  std::optional<std::string> lastStatus_;
  uint64_t dropped_ = 0;  // queue full, since the last queued entry
  uint64_t queued_ = 0;   // entries ever queued
  uint64_t handled_ = 0;  // of those, written or dropped by the writer
  bool stopping_ = false;
  Writer writer_ = Writer::NotStarted;
  std::thread thread_;

  // ---- writer thread only ----
  uint64_t lost_ = 0;  // not written since the last entry that was
  bool reported_ = false;
};

}  // namespace qarx::events
