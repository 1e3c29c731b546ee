// The running operating system as the program's entry and its front-ends see
// it: one adapter of every port, and the few process-level facts around
// them. Each OS's adapter folder implements this header; nothing else names
// the OS.
#pragma once

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace qarx::os {

// Owns one adapter of every port and hands out the bundle.
struct OsPlatform {
  // ui is owned by the caller (the chosen front-end). The endpoints come from
  // the build's defaults and QARX_UPDATE_SERVER / QARX_PORTAL_URL.
  Platform Bundle(UiPort* ui) const;

  std::unique_ptr<ThreadPort> threads;
  std::unique_ptr<MutexPort> mutexes;
  std::unique_ptr<FilePort> files;
  std::unique_ptr<HashPort> hash;
  std::unique_ptr<HttpPort> http;
  std::unique_ptr<LauncherPort> launcher;
  std::unique_ptr<RegistryPort> registry;
  std::unique_ptr<SystemInfoPort> system;
  std::unique_ptr<FindPort> find;
  std::unique_ptr<ProfilePort> profile;
  std::unique_ptr<PcscPort> pcsc;
  std::unique_ptr<TextPort> text;
};

// The running OS's adapters.
std::unique_ptr<OsPlatform> MakePlatform();

// Standard streams fit for the console front-end and the log lines: open
// (a closed one would hand its number to the next file opened), UTF-8, no
// line-end translation, a closed output pipe does not end the process.
void PrepareProcess();

// A desktop the graphical front-end can use is present.
bool HasDisplay();

// A line for whoever watches the system's debug output (OutputDebugStringW
// on Windows, where a program started at sign-in has no console; nothing
// elsewhere).
void DebugLine(std::string_view utf8);

// The command line's arguments as UTF-8, the program's name first (on
// Windows from the wide command line, which keeps every character).
std::vector<std::string> Arguments(int argc, char** argv);

// An environment variable as UTF-8; nullopt when unset or empty.
std::optional<std::string> Environment(const char* name);

// fopen with a UTF-8 path; "a"/"w" files are not inherited by started programs.
std::FILE* OpenFile(const std::string& utf8Path, const char* mode);

}  // namespace qarx::os
