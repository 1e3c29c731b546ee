// How the launcher starts a program, kept apart from the system calls so the
// decision can be tested with any failure code (Wine has no UAC: it never
// answers ERROR_ELEVATION_REQUIRED and never asks for consent).
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace qarx::win32 {

// The two ways to start the program at path, each returning 0 when it was
// started or the system's error code. folder is the program's own folder,
// which becomes its current folder.
struct StartCalls {
  std::function<unsigned long(const std::wstring& path, const std::wstring& folder, int showCode)> createProcess;
  std::function<unsigned long(const std::wstring& path, const std::wstring& folder, int showCode)> shellOpen;
};

// CreateProcessW and ShellExecuteExW.
StartCalls SystemStartCalls();

// Starts the program by its exact path; when the system answers that it
// needs administrator rights, starts it through the shell, which asks the
// user for consent. Returns a launcher value: 32 or more when started; the
// system's error code of the last attempt goes to *error when it is given.
uint32_t StartProgram(const StartCalls& calls, const std::wstring& path, int showCode,
                      unsigned long* error = nullptr);

}  // namespace qarx::win32
