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

// Thread body; returns 0 or -1 (nobody reads it).
int FirmwareCheckJob(const FirmwareCheckRequest& request);

}  // namespace qarx
