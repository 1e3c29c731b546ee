#include "ui/events/activity_log.h"

#include <cstdio>
#include <system_error>
#include <utility>

#include "ui/events/activity_entry.h"

namespace qarx::events {

namespace {

std::string Older(const std::string& path, int n) { return path + "." + std::to_string(n); }

// Moves path.0 to path.1 and the older files up as far as the first gap;
// without a gap path.<keep> is dropped. Moves from the oldest down, so when
// a rename fails every file is still there, in order, and a later call goes
// on from where this one stopped.
bool ShiftOlder(LogFile& file, const std::string& path, int keep) {
  int gap = 1;
  while (gap < keep && file.Exists(Older(path, gap))) ++gap;
  for (int n = gap; n >= 1; --n)
    if (!file.Rename(Older(path, n - 1), Older(path, n))) return false;
  return true;
}

// Renames path to path.1, path.1 to path.2, ... up to path.<keep>, the
// oldest dropped, in an order that loses nothing when a rename fails: the
// live file goes to path.0 first, and only once it has are the older ones
// moved. When it cannot be renamed (another program holds it) nothing moves
// and it stays the live file. Closes the file either way.
void RotateLog(LogFile& file, const std::string& path, int keep) {
  file.Close();
  // A path.0 left by a rotation cut short goes in place first: renaming the
  // live file onto it would lose it.
  if (file.Exists(Older(path, 0)) && !ShiftOlder(file, path, keep)) return;
  if (!file.Rename(path, Older(path, 0))) return;
  ShiftOlder(file, path, keep);  // what fails here is finished at the next rotation
}

}  // namespace

ActivityLog::ActivityLog(std::string path, std::unique_ptr<LogFile> file, ActivityLogLimits limits)
    : path_(std::move(path)), file_(std::move(file)), limits_(limits) {}

ActivityLog::~ActivityLog() {
  {
    std::lock_guard lock(mu_);
    stopping_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void ActivityLog::Record(std::string_view ev, const EventFields& fields) {
  std::lock_guard lock(mu_);
  // Before any formatting: the repeated status comes with every piece of a download.
  if (ev == "status") {
    const std::string_view status = fields.Text("text");
    if (lastStatus_ == status) return;
    lastStatus_ = std::string(status);
  }
  std::optional<std::string> text = ActivityEntry(ev, fields);
  if (!text) return;
  if (writer_ == Writer::NotStarted && !StartLocked()) return;
  if (writer_ == Writer::Failed) return;
  if (queue_.size() >= limits_.queueEntries) {
    ++dropped_;
    return;
  }
  queue_.push_back({std::chrono::system_clock::now(), std::move(*text), std::exchange(dropped_, 0)});
  ++queued_;
  wake_.notify_one();
}

bool ActivityLog::Flush(std::chrono::milliseconds wait) {
  std::unique_lock lock(mu_);
  const uint64_t target = queued_;
  return written_.wait_for(lock, wait, [&] { return handled_ >= target; });
}

bool ActivityLog::StartLocked() {
  // std::thread reports a system without threads left by throwing.
  try {
    thread_ = std::thread([this] { Run(); });
  } catch (const std::system_error& error) {
    writer_ = Writer::Failed;
    Report("qarx-service: cannot start the activity log's writer: " + std::string(error.what()) + "\n");
    return false;
  }
  writer_ = Writer::Running;
  return true;
}

void ActivityLog::Report(const std::string& message) {
  if (onError) {
    onError(message);
  } else {
    std::fputs(message.c_str(), stderr);
  }
}

void ActivityLog::Run() {
  std::unique_lock lock(mu_);
  for (;;) {
    wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
    if (queue_.empty()) return;  // stopping, and everything is written
    std::deque<Entry> batch;
    batch.swap(queue_);
    lock.unlock();
    for (const Entry& entry : batch) Write(entry);
    lock.lock();
    handled_ += batch.size();
    written_.notify_all();
  }
}

void ActivityLog::Write(const Entry& entry) {
  lost_ += entry.droppedBefore;
  std::tm local{};
  long offset = 0;
  LocalTime(entry.when, local, offset);
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(entry.when.time_since_epoch()).count();
  const std::string stamp = FormatTimestamp(local, static_cast<int>(ms % 1000), offset) + " ";
  std::string lines;
  if (lost_ > 0) lines = stamp + "dropped " + std::to_string(lost_) + " entries\n";
  lines += stamp + entry.text + "\n";

  int64_t size = 0;
  std::string error;
  bool ok = file_->Open(path_, size, error);
  if (ok && size > 0 && size + static_cast<int64_t>(lines.size()) > limits_.maxBytes) {
    // A live file that cannot be renamed yet takes the entry past the bound;
    // the next entry tries again.
    RotateLog(*file_, path_, limits_.keep);
    ok = file_->Open(path_, size, error);
  }
  if (ok) ok = file_->Append(lines, error);
  if (ok) {
    lost_ = 0;
    return;
  }
  ++lost_;
  if (reported_) return;
  reported_ = true;
  Report("qarx-service: cannot write the activity log " + path_ + ": " + error +
         "; entries are dropped while it cannot be written\n");
}

}  // namespace qarx::events
