// The bundle of ports every OS hands to the core.
#include "common/text.h"
#include "platform/os.h"

namespace qarx::os {

namespace {

Endpoints EndpointsFromEnvironment() {
  Endpoints e;
  e.updateServer = FromUtf8(Environment("QARX_UPDATE_SERVER").value_or(QARX_DEFAULT_UPDATE_SERVER));
  e.portalUrl = FromUtf8(Environment("QARX_PORTAL_URL").value_or(QARX_DEFAULT_PORTAL_URL));
  while (!e.updateServer.empty() && e.updateServer.back() == u'/') e.updateServer.pop_back();
  return e;
}

}  // namespace

Platform OsPlatform::Bundle(UiPort* ui) const {
  Platform p;
  p.ui = ui;
  p.threads = threads.get();
  p.mutexes = mutexes.get();
  p.files = files.get();
  p.hash = hash.get();
  p.http = http.get();
  p.launcher = launcher.get();
  p.registry = registry.get();
  p.system = system.get();
  p.find = find.get();
  p.profile = profile.get();
  p.pcsc = pcsc.get();
  p.text = text.get();
  p.endpoints = EndpointsFromEnvironment();
  return p;
}

}  // namespace qarx::os
