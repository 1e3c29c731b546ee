// Handlers whose subsystems are not wired yet. Each subsystem removes its
// entries here when it brings the real ones.
#include "app/qarx_service_dlg.h"
#include "firmware/firmware_check_job.h"
#include "terminal/reader_monitor.h"
#include "terminal/reader_slot.h"
#include "update/environment_check_job.h"

namespace qarx {

// -- probes --
void CQarxServiceDlg::OnSysInfo() {}
void CQarxServiceDlg::OnBrowser() {}
void CQarxServiceDlg::OnCcidInfo() {}
void CQarxServiceDlg::OnInstallInfo() {}
void CQarxServiceDlg::OnCheckUpdate() {}
int EnvironmentCheckJob(CQarxServiceDlg&) { return 0; }

// -- card terminals --
ReaderSlot g_readerSlots[kReaderSlotCount];
void PublishReaderEventWindow(CQarxServiceDlg*) {}
void StartReaderMonitor(Platform&) {}
int FirmwareCheckJob(const FirmwareCheckRequest&) { return -1; }

}  // namespace qarx
