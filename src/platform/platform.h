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

struct Platform {
  UiPort* ui = nullptr;
  ThreadPort* threads = nullptr;
  MutexPort* mutexes = nullptr;
  FilePort* files = nullptr;
  HashPort* hash = nullptr;
  HttpPort* http = nullptr;
  LauncherPort* launcher = nullptr;
  RegistryPort* registry = nullptr;
  SystemInfoPort* system = nullptr;
  FindPort* find = nullptr;
  ProfilePort* profile = nullptr;
  PcscPort* pcsc = nullptr;
  TextPort* text = nullptr;
  // Set by the wrapper that writes the activity log file; null: nowhere.
  ActivityRecordPort* record = nullptr;
  Endpoints endpoints;
};

}  // namespace qarx
