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

#define QARX_PORT_OWNER(Port, member) std::unique_ptr<Port> member;
  QARX_OS_PORTS(QARX_PORT_OWNER)
#undef QARX_PORT_OWNER
};

// The running OS's adapters, one from each factory of its adapter folder.
std::unique_ptr<OsPlatform> MakePlatform();

// Declares an adapter folder's factory of one port, in the folder's own
// namespace: QARX_OS_PORTS(QARX_DECLARE_ADAPTER_FACTORY). The folder's
// MakePlatform fills OsPlatform from them, also through QARX_OS_PORTS.
#define QARX_DECLARE_ADAPTER_FACTORY(Port, member) std::unique_ptr<Port> Make##Port();

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

// The SHA-256 of bytes in memory, computed as the hash adapter computes a
// file's (the tests' fake hash port uses it).
bool Sha256Bytes(const void* data, size_t size, Sha256Digest& digest);

// fopen with a UTF-8 path; "a"/"w" files are not inherited by started programs.
std::FILE* OpenFile(const std::string& utf8Path, const char* mode);

}  // namespace qarx::os
