#include "support/fake_registry.h"

#include "probes/ascii_case.h"

namespace qarx::testing {

class FakeRegKey : public RegKey {
 public:
  FakeRegKey(FakeRegistry& registry, FakeRegistry::Values values)
      : registry_(registry), values_(std::move(values)) {
    ++registry_.openKeys_;
  }
  ~FakeRegKey() override { --registry_.openKeys_; }

  long QueryValue(const std::u16string& name, uint8_t* data, uint32_t& size, uint32_t& type) override {
    registry_.RecordQuery(name.empty() ? u"@" : name);
    return QueryRegFileValue(values_, name, data, size, type);
  }

 private:
  FakeRegistry& registry_;
  FakeRegistry::Values values_;
};

std::u16string FakeRegistry::Normalise(RegRoot root, const std::u16string& key) {
  std::u16string path = AsciiLower(key);
  while (!path.empty() && path.back() == u'\\') path.pop_back();
  return (root == RegRoot::ClassesRoot ? u"hkcr\\" : u"hklm\\") + path;
}

std::unique_ptr<RegKey> FakeRegistry::Open(RegRoot root, const std::u16string& subKey) {
  std::lock_guard lock(mu_);
  auto it = keys_.find(Normalise(root, subKey));
  if (it == keys_.end()) return nullptr;
  return std::make_unique<FakeRegKey>(*this, it->second);
}

void FakeRegistry::AddKey(RegRoot root, const std::u16string& key) {
  std::lock_guard lock(mu_);
  keys_[Normalise(root, key)];
}

void FakeRegistry::SetRaw(RegRoot root, const std::u16string& key, const std::u16string& name, uint32_t type,
                          std::vector<uint8_t> data) {
  std::lock_guard lock(mu_);
  keys_[Normalise(root, key)][AsciiLower(name)] = RegFileValue{type, std::move(data)};
}

void FakeRegistry::SetDword(RegRoot root, const std::u16string& key, const std::u16string& name,
                            uint32_t value) {
  SetRaw(root, key, name, REG_DWORD,
         {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value >> 16),
          static_cast<uint8_t>(value >> 24)});
}

void FakeRegistry::SetString(RegRoot root, const std::u16string& key, const std::u16string& name,
                             const std::u16string& text) {
  std::vector<uint8_t> bytes;
  for (char16_t c : text + u'\0') {
    bytes.push_back(static_cast<uint8_t>(c & 0xFF));
    bytes.push_back(static_cast<uint8_t>(c >> 8));
  }
  SetRaw(root, key, name, REG_SZ, std::move(bytes));
}

void FakeRegistry::SetVersion(const std::u16string& key, uint32_t major, uint32_t build, uint32_t revision,
                              uint32_t minor) {
  SetDword(RegRoot::LocalMachine, key, u"VersionMajor", major);
  SetDword(RegRoot::LocalMachine, key, u"VersionBuild", build);
  SetDword(RegRoot::LocalMachine, key, u"VersionRevision", revision);
  SetDword(RegRoot::LocalMachine, key, u"VersionMinor", minor);
}

void FakeRegistry::RemoveValue(RegRoot root, const std::u16string& key, const std::u16string& name) {
  std::lock_guard lock(mu_);
  auto it = keys_.find(Normalise(root, key));
  if (it != keys_.end()) it->second.erase(AsciiLower(name));
}

void FakeRegistry::RecordQuery(const std::u16string& name) {
  std::lock_guard lock(mu_);
  queries_.push_back(name);
}

std::vector<std::u16string> FakeRegistry::queries() const {
  std::lock_guard lock(mu_);
  return queries_;
}

}  // namespace qarx::testing
