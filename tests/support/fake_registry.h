// An in-memory registry with the query semantics the probes rely on (those of
// the registry-export reader): raw bytes plus type, the caller's capacity
// enforced (234 when the data does not fit), key and value names ignoring
// case. Counts open keys and records every query.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/registry.h"
#include "probes/reg_file_parser.h"

namespace qarx::testing {

class FakeRegistry : public RegistryPort {
 public:
  std::unique_ptr<RegKey> Open(RegRoot root, const std::u16string& subKey) override;

  // ---- test side; key paths as the probes spell them (trailing "\" optional) ----
  void AddKey(RegRoot root, const std::u16string& key);
  void SetRaw(RegRoot root, const std::u16string& key, const std::u16string& name, uint32_t type,
              std::vector<uint8_t> data);
  void SetDword(RegRoot root, const std::u16string& key, const std::u16string& name, uint32_t value);
  // REG_SZ: UTF-16LE with its terminator.
  void SetString(RegRoot root, const std::u16string& key, const std::u16string& name,
                 const std::u16string& text);
  // The local-machine keys hold the four version values.
  void SetVersion(const std::u16string& key, uint32_t major, uint32_t build, uint32_t revision,
                  uint32_t minor);
  void RemoveValue(RegRoot root, const std::u16string& key, const std::u16string& name);

  int openKeys() const { return openKeys_.load(); }
  // "name" of every query, in order (the default value as "@").
  std::vector<std::u16string> queries() const;

 private:
  friend class FakeRegKey;
  using Values = RegFileContents::Values;  // by lower-cased name
  static std::u16string Normalise(RegRoot root, const std::u16string& key);
  void RecordQuery(const std::u16string& name);

  mutable std::mutex mu_;
  std::map<std::u16string, Values> keys_;
  std::vector<std::u16string> queries_;
  std::atomic<int> openKeys_{0};
};

}  // namespace qarx::testing
