#include <cstdlib>

#include "common/text.h"
#include "platform/linux/linux_ports.h"

namespace qarx::linux_port {

LinuxPlatform::LinuxPlatform()
    : threads_(MakeThreadPort()),
      mutexes_(MakeMutexPort()),
      files_(MakeFilePort()),
      hash_(MakeHashPort()),
      http_(MakeHttpPort()),
      launcher_(MakeLauncherPort()),
      registry_(MakeRegistryPort()),
      system_(MakeSystemInfoPort()),
      find_(MakeFindPort()),
      profile_(MakeProfilePort()),
      pcsc_(MakePcscPort()),
      text_(MakeTextPort()) {}

Platform LinuxPlatform::Bundle(UiPort* ui) {
  Platform p;
  p.ui = ui;
  p.threads = threads_.get();
  p.mutexes = mutexes_.get();
  p.files = files_.get();
  p.hash = hash_.get();
  p.http = http_.get();
  p.launcher = launcher_.get();
  p.registry = registry_.get();
  p.system = system_.get();
  p.find = find_.get();
  p.profile = profile_.get();
  p.pcsc = pcsc_.get();
  p.text = text_.get();
  p.endpoints = EndpointsFromEnvironment();
  return p;
}

Endpoints EndpointsFromEnvironment() {
  Endpoints e;
  const char* server = std::getenv("QARX_UPDATE_SERVER");
  const char* portal = std::getenv("QARX_PORTAL_URL");
  e.updateServer = FromUtf8(server && *server ? server : QARX_DEFAULT_UPDATE_SERVER);
  e.portalUrl = FromUtf8(portal && *portal ? portal : QARX_DEFAULT_PORTAL_URL);
  while (!e.updateServer.empty() && e.updateServer.back() == u'/') e.updateServer.pop_back();
  return e;
}

}  // namespace qarx::linux_port
