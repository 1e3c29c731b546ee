#include "support/fake_launcher.h"

namespace qarx::testing {

uint32_t FakeLauncher::Execute(const std::u16string& path, int showCode) {
  {
    std::lock_guard lock(mu_);
    executed_.push_back({path, showCode});
  }
  if (onExecute) onExecute(path);
  return executeResult;
}

uint32_t FakeLauncher::ExecuteWithCause(const std::u16string& path, int showCode, std::string& cause) {
  const uint32_t result = Execute(path, showCode);
  cause = result < 32 ? executeCause : std::string();
  return result;
}

bool FakeLauncher::OpenUrl(const std::u16string& url, int showCode) {
  std::lock_guard lock(mu_);
  opened_.push_back({url, showCode});
  return openResult;
}

std::vector<FakeLauncher::Launch> FakeLauncher::executed() const {
  std::lock_guard lock(mu_);
  return executed_;
}

std::vector<FakeLauncher::Launch> FakeLauncher::opened() const {
  std::lock_guard lock(mu_);
  return opened_;
}

}  // namespace qarx::testing
