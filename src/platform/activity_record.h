// Entries for the activity log file alone, never for the dialog's list: why
// an operation failed, in words for whoever supports the PC, and that it
// works again. The wrapper around the front-end writes them; a platform
// without it (tests, no activity log file) leaves Platform::record null.
#pragma once

#include <string>

namespace qarx {

class ActivityRecordPort {
 public:
  virtual ~ActivityRecordPort() = default;
  // UTF-8, one line each.
  virtual void Failure(const std::string& line) = 0;   // entry "failure"
  virtual void Recovery(const std::string& line) = 0;  // entry "recovery"
};

inline void RecordFailure(ActivityRecordPort* record, const std::string& line) {
  if (record) record->Failure(line);
}
inline void RecordRecovery(ActivityRecordPort* record, const std::string& line) {
  if (record) record->Recovery(line);
}

}  // namespace qarx
