// Handlers whose subsystems are not wired yet. Each subsystem removes its
// entries here when it brings the real ones.
#include "app/qarx_service_dlg.h"
#include "firmware/firmware_check_job.h"
#include "terminal/reader_monitor.h"
#include "terminal/reader_slot.h"
#include "update/environment_check_job.h"

namespace qarx {

// -- configuration and downloads --
void CQarxServiceDlg::OnTimer(uintptr_t) {}
intptr_t CQarxServiceDlg::OnDownloadRequest(uintptr_t, intptr_t) { return 0; }
void CQarxServiceDlg::OnDownloadButton() {}
void CQarxServiceDlg::OnOK() {}
int32_t CQarxServiceDlg::ReadPackageConfig() { return -1; }
int32_t CQarxServiceDlg::ReadFirmwareConfig(const std::u16string&) { return -1; }

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
