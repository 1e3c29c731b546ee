// Factories of the Linux adapters, one per port. The console/Qt front-ends
// supply the UiPort themselves.
#pragma once

#include <memory>

#include "platform/platform.h"

namespace qarx::linux_port {

std::unique_ptr<ThreadPort> MakeThreadPort();
std::unique_ptr<MutexPort> MakeMutexPort();
std::unique_ptr<FilePort> MakeFilePort();
std::unique_ptr<HashPort> MakeHashPort();
std::unique_ptr<HttpPort> MakeHttpPort();
std::unique_ptr<LauncherPort> MakeLauncherPort();
std::unique_ptr<RegistryPort> MakeRegistryPort();
std::unique_ptr<SystemInfoPort> MakeSystemInfoPort();
std::unique_ptr<FindPort> MakeFindPort();
std::unique_ptr<ProfilePort> MakeProfilePort();
std::unique_ptr<PcscPort> MakePcscPort();
std::unique_ptr<TextPort> MakeTextPort();

// Owns one adapter of every port and hands out the bundle.
class LinuxPlatform {
 public:
  LinuxPlatform();
  // ui is owned by the caller (the chosen front-end).
  Platform Bundle(UiPort* ui);

 private:
  std::unique_ptr<ThreadPort> threads_;
  std::unique_ptr<MutexPort> mutexes_;
  std::unique_ptr<FilePort> files_;
  std::unique_ptr<HashPort> hash_;
  std::unique_ptr<HttpPort> http_;
  std::unique_ptr<LauncherPort> launcher_;
  std::unique_ptr<RegistryPort> registry_;
  std::unique_ptr<SystemInfoPort> system_;
  std::unique_ptr<FindPort> find_;
  std::unique_ptr<ProfilePort> profile_;
  std::unique_ptr<PcscPort> pcsc_;
  std::unique_ptr<TextPort> text_;
};

// Update server and portal addresses from the build defaults and the
// QARX_UPDATE_SERVER / QARX_PORTAL_URL environment variables.
Endpoints EndpointsFromEnvironment();

}  // namespace qarx::linux_port
