#include "probes/os_name.h"

#include <optional>

#include "app/qarx_service_dlg.h"
#include "common/text.h"

namespace qarx {

namespace {

constexpr uint32_t kPlatformWin32s = 0;
constexpr uint32_t kPlatformWindows = 1;
constexpr uint32_t kPlatformNt = 2;
constexpr uint8_t kNtWorkstation = 1;
constexpr uint16_t kArchitectureAmd64 = 9;
constexpr uint16_t kSuiteStorageServer = 0x2000;
constexpr uint16_t kSuiteHomeServer = 0x8000;
constexpr int kServerR2Metric = 89;

struct OsRow {
  int32_t status;
  std::optional<std::u16string_view> name;
};

OsRow Named(std::u16string_view name) { return {kProbeOk, name}; }

OsRow PickVersion6(const OsVersionRecord& v) {
  const bool workstation = v.wProductType == kNtWorkstation;
  switch (v.dwMinorVersion) {
    case 1: return Named(workstation ? u"Windows 7" : u"Windows Server 2008 R2");
    case 0: return Named(workstation ? u"Windows Vista" : u"Windows Server 2008");
    default: return {kProbeFailed, std::nullopt};
  }
}

OsRow PickVersion5(const OsVersionRecord& v, uint16_t architecture, SystemInfoPort& system) {
  switch (v.dwMinorVersion) {
    case 2:
      // Equality tests on the whole suite mask, in this order; the R2 flag first.
      if (system.GetSystemMetrics(kServerR2Metric) != 0) return Named(u"Windows Server 2003 R2");
      if (v.wSuiteMask == kSuiteStorageServer) return Named(u"Windows Storage Server 2003");
      if (v.wSuiteMask == kSuiteHomeServer) return Named(u"Windows Home Server");
      if (v.wProductType == kNtWorkstation && architecture == kArchitectureAmd64)
        return Named(u"Windows XP Professional x64 Edition");
      return Named(u"Windows Server 2003");
    case 1: return Named(u"Windows XP");
    case 0: return Named(u"Windows 2000");
    default: return {kProbeOk, std::nullopt};
  }
}

}  // namespace

int32_t QueryOsName(SystemInfoPort& system, std::u16string& name, int32_t& length,
                    std::atomic<int32_t>& majorVersion) {
  OsVersionRecord version{};
  if (!system.GetVersionEx(true, version)) {
    version = OsVersionRecord{};  // the plain record has no suite mask or product type
    if (!system.GetVersionEx(false, version)) return kProbeFailed;
  }
  const uint16_t architecture = system.GetProcessorArchitecture(system.HasNativeSystemInfo());

  if (version.dwPlatformId == kPlatformWin32s || version.dwPlatformId == kPlatformWindows) return kProbeOk;
  if (version.dwPlatformId != kPlatformNt) return kProbeFailed;

  majorVersion.store(static_cast<int32_t>(version.dwMajorVersion));

  OsRow row;
  if (version.dwMajorVersion == 6)
    row = PickVersion6(version);
  else if (version.dwMajorVersion == 5)
    row = PickVersion5(version, architecture, system);
  else
    row = Named(u"Microsoft Windows NT");
  if (row.name) {
    name = *row.name;
    length = static_cast<int32_t>(row.name->size());
  }
  return row.status;
}

std::u16string OsInfoLine(SystemInfoPort& system, std::atomic<int32_t>& majorVersion) {
  std::u16string name;
  int32_t length = 0;
  if (QueryOsName(system, name, length, majorVersion) != kProbeOk) return std::u16string(kOsInfoFailedLine);
  return FormatS(kOsInfoLine, name);
}

void CQarxServiceDlg::OnSysInfo() {
  AppendLog(OsInfoLine(*platform().system, m_nOsMajorVersion));
  AppendLog(kSeparatorLine);
}

}  // namespace qarx
