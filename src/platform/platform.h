// Everything the core needs from the operating system, bundled. Built once
// at start-up by the OS's factory; tests build one from fakes.
#pragma once

#include <string>

#include "platform/activity_record.h"
#include "platform/files.h"
#include "platform/hash.h"
#include "platform/http.h"
#include "platform/launcher.h"
#include "platform/named_mutex.h"
#include "platform/pcsc.h"
#include "platform/registry.h"
#include "platform/system_info.h"
#include "platform/text_codec.h"
#include "platform/threads.h"
#include "platform/ui.h"

namespace qarx {

// Addresses that differ per deployment.
struct Endpoints {
  std::u16string updateServer;  // scheme + host[:port], no trailing slash
  std::u16string portalUrl;     // "http://" + host
};

// The ports every OS's adapter folder provides, written once: X(Port, member)
// for each. The bundle below, the adapters' owner (os.h) and each folder's
// factories std::unique_ptr<Port> Make<Port>() follow this list; the UiPort is
// the front-end's and not among them.
#define QARX_OS_PORTS(X)          \
  X(ThreadPort, threads)          \
  X(MutexPort, mutexes)           \
  X(FilePort, files)              \
  X(HashPort, hash)               \
  X(HttpPort, http)               \
  X(LauncherPort, launcher)       \
  X(RegistryPort, registry)       \
  X(SystemInfoPort, system)       \
  X(FindPort, find)               \
  X(ProfilePort, profile)         \
  X(PcscPort, pcsc)               \
  X(TextPort, text)

struct Platform {
  UiPort* ui = nullptr;
#define QARX_PORT_POINTER(Port, member) Port* member = nullptr;
  QARX_OS_PORTS(QARX_PORT_POINTER)
#undef QARX_PORT_POINTER
  // Set by the wrapper that writes the activity log file; null: nowhere.
  ActivityRecordPort* record = nullptr;
  Endpoints endpoints;
};

}  // namespace qarx
