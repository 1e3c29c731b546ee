// Helpers of the Win32 adapter tests: wide strings, a scratch folder in the
// prefix's temporary folder, and programs started next to the test.
#pragma once

#include "platform/win32/windows_sdk.h"

#include <string>

#include "platform/win32/win32_ports.h"

namespace qarx::win32::test {

inline std::wstring W(const std::u16string& text) { return std::wstring(Wide(text)); }
inline std::u16string U(const std::wstring& text) { return FromWide(text.c_str(), text.size()); }

// The folder of the running test program, with its trailing backslash.
std::wstring ProgramFolder();

// A fresh folder under the temporary folder, removed with its files at the end.
class ScratchFolder {
 public:
  explicit ScratchFolder(const std::wstring& name);
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  const std::wstring& path() const { return path_; }  // with trailing backslash
  std::wstring Put(const std::wstring& name, const std::string& bytes) const;

 private:
  std::wstring path_;
};

// Runs a program to its end with a command line; its exit code, or -1.
int RunToEnd(const std::wstring& program, const std::wstring& commandLine);

// The whole content of a file, empty when it cannot be read.
std::string ReadAll(const std::wstring& path);

}  // namespace qarx::win32::test
