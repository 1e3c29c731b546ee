#include "platform/win32/windows_sdk.h"

#include "platform/os.h"
#include "platform/win32/win32_ports.h"

namespace qarx::os {

std::unique_ptr<OsPlatform> MakePlatform() {
  auto p = std::make_unique<OsPlatform>();
  p->threads = win32::MakeThreadPort();
  p->mutexes = win32::MakeMutexPort();
  p->files = win32::MakeFilePort();
  p->hash = win32::MakeHashPort();
  p->http = win32::MakeHttpPort();
  p->launcher = win32::MakeLauncherPort();
  p->registry = win32::MakeRegistryPort();
  p->system = win32::MakeSystemInfoPort();
  p->find = win32::MakeFindPort();
  p->profile = win32::MakeProfilePort();
  p->pcsc = win32::MakePcscPort();
  p->text = win32::MakeTextPort();
  return p;
}

}  // namespace qarx::os
