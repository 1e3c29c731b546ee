// Handlers whose subsystems are not wired yet. Each subsystem removes its
// entries here when it brings the real ones.
#include "app/qarx_service_dlg.h"
#include "firmware/firmware_check_job.h"
#include "terminal/reader_monitor.h"
#include "terminal/reader_slot.h"

namespace qarx {

// -- card terminals --
ReaderSlot g_readerSlots[kReaderSlotCount];
void PublishReaderEventWindow(CQarxServiceDlg*) {}
void StartReaderMonitor(Platform&) {}
int FirmwareCheckJob(const FirmwareCheckRequest&) { return -1; }

}  // namespace qarx
