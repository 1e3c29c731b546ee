// Keeps an operation that is tried again and again (the configuration fetch,
// every 5 s) from filling the activity log file while it keeps failing: its
// first failure is written, then only a failure with another cause, and the
// success that ends the failures.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/activity_record.h"

namespace qarx {

class FailureStreak {
 public:
  // done: the recovery entry's words, followed by " after N failures".
  explicit FailureStreak(std::string done) : done_(std::move(done)) {}

  // cause tells one failure from another (the result and the adapter's
  // words, without amounts that change from try to try); line is the entry.
  void Failed(ActivityRecordPort* record, const std::string& cause, const std::string& line);
  void Succeeded(ActivityRecordPort* record);

 private:
  const std::string done_;
  std::optional<std::string> cause_;  // the last failure's, while failing
  uint64_t failures_ = 0;
};

}  // namespace qarx
