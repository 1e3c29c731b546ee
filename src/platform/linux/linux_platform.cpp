#include "platform/linux/linux_ports.h"
#include "platform/os.h"

namespace qarx::os {

std::unique_ptr<OsPlatform> MakePlatform() {
  auto p = std::make_unique<OsPlatform>();
  p->threads = linux_port::MakeThreadPort();
  p->mutexes = linux_port::MakeMutexPort();
  p->files = linux_port::MakeFilePort();
  p->hash = linux_port::MakeHashPort();
  p->http = linux_port::MakeHttpPort();
  p->launcher = linux_port::MakeLauncherPort();
  p->registry = linux_port::MakeRegistryPort();
  p->system = linux_port::MakeSystemInfoPort();
  p->find = linux_port::MakeFindPort();
  p->profile = linux_port::MakeProfilePort();
  p->pcsc = linux_port::MakePcscPort();
  p->text = linux_port::MakeTextPort();
  return p;
}

}  // namespace qarx::os
