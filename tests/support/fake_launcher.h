// A LauncherPort that records what it is asked to start.
#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "platform/launcher.h"

namespace qarx::testing {

class FakeLauncher : public LauncherPort {
 public:
  uint32_t Execute(const std::u16string& path, int showCode) override;
  uint32_t ExecuteWithCause(const std::u16string& path, int showCode, std::string& cause) override;
  bool OpenUrl(const std::u16string& url, int showCode) override;

  uint32_t executeResult = 33;
  std::string executeCause;  // the launcher's words when executeResult is below 32
  bool openResult = true;
  std::function<void(const std::u16string&)> onExecute;

  struct Launch {
    std::u16string target;
    int showCode;
  };
  std::vector<Launch> executed() const;
  std::vector<Launch> opened() const;

 private:
  mutable std::mutex mu_;
  std::vector<Launch> executed_;
  std::vector<Launch> opened_;
};

}  // namespace qarx::testing
