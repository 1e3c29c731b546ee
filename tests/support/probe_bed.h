// A platform for the probe and start-up check tests: the fake UI and threads
// plus a registry, system facts, listings, INI-style files anywhere on the
// disk, the files that exist, and a launcher that records what it starts.
#pragma once

#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "support/fake_launcher.h"
#include "support/fake_platform.h"
#include "support/fake_registry.h"
#include "support/fake_system_info.h"

namespace qarx::testing {

// INI files by full path, held as sections of keys and read back through the
// system's INI rules (so a missing key, section or file reads as missing).
class IniFiles : public ProfilePort {
 public:
  uint32_t GetString(const std::u16string& section, const std::u16string& key, const std::u16string& defaultValue,
                     std::u16string& out, uint32_t capacity, const std::u16string& file) override;
  uint32_t GetInt(const std::u16string& section, const std::u16string& key, int32_t defaultValue,
                  const std::u16string& file) override;

  void Set(const std::u16string& file, const std::u16string& section, const std::u16string& key,
           const std::u16string& value);
  void RemoveSection(const std::u16string& file, const std::u16string& section);
  // "file|section|key" of every read, in order.
  std::vector<std::u16string> reads() const;

 private:
  std::u16string Text(const std::u16string& file, const std::u16string& section, const std::u16string& key);
  mutable std::mutex mu_;
  std::map<std::u16string, std::map<std::u16string, std::map<std::u16string, std::u16string>>> files_;
  std::vector<std::u16string> reads_;
};

// The temporary folder and existence checks; nothing is written.
class ProbeFiles : public FilePort {
 public:
  uint32_t GetTempPath(uint32_t capacity, std::u16string& out) override;
  bool PathFileExists(const std::u16string& path) override;
  bool DeleteFile(const std::u16string&) override { return false; }
  std::unique_ptr<WritableFile> CreateFile(const std::u16string&) override { return nullptr; }
  std::unique_ptr<HeldFile> HoldFile(const std::u16string&) override { return nullptr; }

  std::u16string tempFolder = u"C:\\Temp\\";
  void Add(const std::u16string& path);

 private:
  std::mutex mu_;
  std::set<std::u16string> existing_;
};

struct ProbeBed : FakePlatform {
  FakeRegistry registry;
  FakeSystemInfo system;
  FakeFind find;
  IniFiles profile;
  ProbeFiles files;
  FakeLauncher launcher;
  ProbeBed();

  // The configuration copy's path in the temporary folder.
  std::u16string ConfigCopy() const;
  // Writes the four version keys of a section of the configuration copy.
  void SetConfiguredVersion(const std::u16string& section, uint32_t major, uint32_t build, uint32_t revision,
                            uint32_t minor);
  std::vector<std::u16string> Executed() const;
};

}  // namespace qarx::testing
