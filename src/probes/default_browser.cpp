#include "probes/default_browser.h"

#include "app/qarx_service_dlg.h"
#include "common/text.h"
#include "probes/registry_value.h"

namespace qarx {

namespace {

constexpr std::u16string_view kHttpOpenCommandKey = u"http\\shell\\open\\command\\";

}  // namespace

int32_t QueryDefaultBrowser(RegistryPort& registry, std::u16string& name, int32_t& length) {
  RegistryValue value;
  {
    auto key = registry.Open(RegRoot::ClassesRoot, std::u16string(kHttpOpenCommandKey));
    if (!key) return kProbeFailed;
    if (!ReadRegistryValue(*key, u"", value)) return kProbeFailed;
  }
  const std::u16string command = RegistryText(value);
  const size_t scanStart = !command.empty() && command.front() == u'"' ? 1 : 0;
  // Only the exact lower-case ending counts; the first one wins.
  const size_t exe = command.find(u".exe", scanStart);
  if (exe == std::u16string::npos) return kProbeFailed;
  // Backslashes in the arguments after the program do not count.
  const size_t slash = std::u16string_view(command).substr(0, exe).rfind(u'\\');
  const size_t begin = slash == std::u16string::npos ? scanStart : slash + 1;
  name = command.substr(begin, exe - begin);
  length = static_cast<int32_t>(name.size());
  return kProbeOk;
}

std::u16string BrowserLine(RegistryPort& registry) {
  std::u16string name;
  int32_t length = 0;
  if (QueryDefaultBrowser(registry, name, length) != kProbeOk) return std::u16string(kBrowserFailedLine);
  return FormatS(kBrowserLine, name);
}

void CQarxServiceDlg::OnBrowser() {
  AppendLog(BrowserLine(*platform().registry));
  AppendLog(kSeparatorLine);
}

}  // namespace qarx
