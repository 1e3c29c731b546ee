#include "support/download_world.h"

#include "app/qarx_service_app.h"

namespace qarx::testing {

DownloadWorld::DownloadWorld() {
  platform.files = &files;
  platform.hash = &hash;
  platform.http = &http;
  platform.launcher = &launcher;
  platform.profile = &profile;
  // What OnInitDialog leaves behind, without starting the card side.
  dlg.m_bTimerReady = 1;
  dlg.ResetDialogState();
  theApp.m_pMainWnd = &dlg;
  fake.ui.ClearCalls();
}

DownloadWorld::~DownloadWorld() { theApp.m_pMainWnd = nullptr; }

std::string DownloadWorld::Body(size_t n) {
  std::string body(n, '\0');
  for (size_t i = 0; i < n; ++i) body[i] = static_cast<char>('a' + (i * 7 + i / 1024) % 26);
  return body;
}

}  // namespace qarx::testing
