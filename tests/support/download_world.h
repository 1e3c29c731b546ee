// The fakes the download and configuration code talks to, bundled with a
// dialog in its post-initialisation state.
#pragma once

#include <string>

#include "app/qarx_service_dlg.h"
#include "support/fake_files.h"
#include "support/fake_hash.h"
#include "support/fake_http.h"
#include "support/fake_launcher.h"
#include "support/fake_platform.h"
#include "support/fake_profile.h"

namespace qarx::testing {

struct DownloadWorld {
  DownloadWorld();
  ~DownloadWorld();
  // A body of n bytes whose content shows where each byte came from.
  static std::string Body(size_t n);

  FakePlatform fake;
  FakeFiles files;
  FakeHash hash{files};
  FakeHttp http;
  FakeLauncher launcher;
  FakeProfile profile{files};
  Platform& platform = fake.platform;
  CQarxServiceDlg dlg{fake.platform};
};

}  // namespace qarx::testing
