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
#define QARX_LEND_PORT(Port, member) p.member = member.get();
  QARX_OS_PORTS(QARX_LEND_PORT)
#undef QARX_LEND_PORT
  p.endpoints = EndpointsFromEnvironment();
  return p;
}

}  // namespace qarx::os
