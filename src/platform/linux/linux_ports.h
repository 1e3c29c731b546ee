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

}  // namespace qarx::linux_port
