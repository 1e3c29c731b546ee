#include "support/probe_bed.h"

#include "common/ini_reader.h"
#include "common/text.h"

namespace qarx::testing {

std::u16string IniFiles::Text(const std::u16string& file, const std::u16string& section,
                              const std::u16string& key) {
  std::lock_guard lock(mu_);
  reads_.push_back(file + u"|" + section + u"|" + key);
  std::u16string text;
  auto it = files_.find(file);
  if (it == files_.end()) return text;
  for (const auto& [name, keys] : it->second) {
    text += u"[" + name + u"]\r\n";
    for (const auto& [k, v] : keys) text += k + u"=" + v + u"\r\n";
  }
  return text;
}

uint32_t IniFiles::GetString(const std::u16string& section, const std::u16string& key,
                             const std::u16string& defaultValue, std::u16string& out, uint32_t capacity,
                             const std::u16string& file) {
  return IniGetString(Text(file, section, key), section, key, defaultValue, out, capacity);
}

uint32_t IniFiles::GetInt(const std::u16string& section, const std::u16string& key, int32_t defaultValue,
                          const std::u16string& file) {
  return IniGetInt(Text(file, section, key), section, key, defaultValue);
}

void IniFiles::Set(const std::u16string& file, const std::u16string& section, const std::u16string& key,
                   const std::u16string& value) {
  std::lock_guard lock(mu_);
  files_[file][section][key] = value;
}

void IniFiles::RemoveSection(const std::u16string& file, const std::u16string& section) {
  std::lock_guard lock(mu_);
  files_[file].erase(section);
}

std::vector<std::u16string> IniFiles::reads() const {
  std::lock_guard lock(mu_);
  return reads_;
}

uint32_t ProbeFiles::GetTempPath(uint32_t capacity, std::u16string& out) {
  out.clear();
  const auto length = static_cast<uint32_t>(tempFolder.size());
  if (length > capacity) return length;
  out = tempFolder;
  return length;
}

bool ProbeFiles::PathFileExists(const std::u16string& path) {
  std::lock_guard lock(mu_);
  return existing_.count(path) != 0;
}

void ProbeFiles::Add(const std::u16string& path) {
  std::lock_guard lock(mu_);
  existing_.insert(path);
}

ProbeBed::ProbeBed() {
  platform.registry = &registry;
  platform.system = &system;
  platform.find = &find;
  platform.profile = &profile;
  platform.files = &files;
  platform.launcher = &launcher;
}

std::u16string ProbeBed::ConfigCopy() const { return files.tempFolder + u"VLT_Terminal_SetupConfig.ini"; }

void ProbeBed::SetConfiguredVersion(const std::u16string& section, uint32_t major, uint32_t build,
                                    uint32_t revision, uint32_t minor) {
  const auto text = [](uint32_t n) { return FromUtf8(std::to_string(n)); };
  profile.Set(ConfigCopy(), section, u"VersionMajor", text(major));
  profile.Set(ConfigCopy(), section, u"VersionBuild", text(build));
  profile.Set(ConfigCopy(), section, u"VersionRevision", text(revision));
  profile.Set(ConfigCopy(), section, u"VersionMinor", text(minor));
}

std::vector<std::u16string> ProbeBed::Executed() const {
  std::vector<std::u16string> paths;
  for (const auto& launch : launcher.executed()) paths.push_back(launch.target);
  return paths;
}

}  // namespace qarx::testing
