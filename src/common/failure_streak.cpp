#include "common/failure_streak.h"

namespace qarx {

void FailureStreak::Failed(ActivityRecordPort* record, const std::string& cause, const std::string& line) {
  ++failures_;
  if (cause_ == cause) return;
  cause_ = cause;
  RecordFailure(record, line);
}

void FailureStreak::Succeeded(ActivityRecordPort* record) {
  if (failures_ == 0) return;
  RecordRecovery(record, done_ + " after " + std::to_string(failures_) + (failures_ == 1 ? " failure" : " failures"));
  failures_ = 0;
  cause_.reset();
}

}  // namespace qarx
