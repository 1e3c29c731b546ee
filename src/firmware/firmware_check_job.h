// The job that reads a plugged-in terminal's model and firmware version and
// offers the firmware update tool.
#pragma once

#include <cstdint>

namespace qarx {

class CQarxServiceDlg;
struct ReaderSlot;

struct FirmwareCheckRequest {
  CQarxServiceDlg* dialog = nullptr;
  ReaderSlot* slot = nullptr;
};

enum FirmwareCheckResult : int {
  kFirmwareChecked = 0,  // also: skipped (update tool running, card answer not 90 00, an offer under way)
  kFirmwareCheckFailed = -1,
};

// Thread body; returns a FirmwareCheckResult (nobody reads it). A terminal
// that cannot be opened is written to the activity log file with the cause.
int FirmwareCheckJob(const FirmwareCheckRequest& request);

}  // namespace qarx
