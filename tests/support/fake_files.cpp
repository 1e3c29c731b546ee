#include "support/fake_files.h"

#include "common/text.h"

namespace qarx::testing {

using Entry = FakeFiles::Entry;

class FakeWritableFile : public WritableFile {
 public:
  FakeWritableFile(FakeFiles& files, std::u16string path) : files_(files), path_(std::move(path)) {}
  ~FakeWritableFile() override {
    files_.LetGo(path_, "close", [](Entry& entry) { entry.open = false; });
  }
  bool Write(const void* data, uint32_t size, uint32_t& written) override {
    bool fail = false;
    {
      std::lock_guard lock(files_.mu_);
      fail = ++files_.writes_ == files_.failWriteAt;
      if (!fail) files_.files_[path_].content.append(static_cast<const char*>(data), size);
    }
    written = fail ? 0 : size;
    files_.Event("write " + files_.Short(path_) + " " + std::to_string(size) + (fail ? " failed" : ""));
    return !fail;
  }
  std::string FailureCause() const override {
    std::lock_guard lock(files_.mu_);
    return files_.writeCause;
  }

 private:
  FakeFiles& files_;
  std::u16string path_;
};

class FakeHeldFile : public HeldFile {
 public:
  FakeHeldFile(FakeFiles& files, std::u16string path) : files_(files), path_(std::move(path)) {}
  ~FakeHeldFile() override {
    files_.LetGo(path_, "release", [](Entry& entry) { --entry.held; });
  }

 private:
  FakeFiles& files_;
  std::u16string path_;
};

uint32_t FakeFiles::GetTempPath(uint32_t capacity, std::u16string& out) {
  out.clear();
  if (reportedLength != 0) return reportedLength;
  if (tempPath.size() + 1 > capacity) return static_cast<uint32_t>(tempPath.size() + 1);
  out = tempPath;
  return static_cast<uint32_t>(out.size());
}

bool FakeFiles::PathFileExists(const std::u16string& path) {
  std::lock_guard lock(mu_);
  return files_.count(path) != 0;
}

bool FakeFiles::DeleteFile(const std::u16string& path) {
  bool deleted = false;
  {
    std::lock_guard lock(mu_);
    auto it = files_.find(path);
    if (it != files_.end() && !it->second.open && it->second.held == 0) {
      files_.erase(it);
      deleted = true;
    }
  }
  Event("delete " + Short(path) + (deleted ? "" : " failed"));
  return deleted;
}

std::unique_ptr<WritableFile> FakeFiles::CreateFile(const std::u16string& path) {
  bool created = false;
  {
    std::lock_guard lock(mu_);
    auto it = files_.find(path);
    if (!failCreate && (it == files_.end() || (!it->second.open && it->second.held == 0))) {
      files_[path] = Entry{std::string(), true};
      created = true;
    }
  }
  Event("create " + Short(path) + (created ? "" : " failed"));
  if (!created) return nullptr;
  return std::make_unique<FakeWritableFile>(*this, path);
}

std::unique_ptr<HeldFile> FakeFiles::HoldFile(const std::u16string& path) {
  bool held = false;
  {
    std::lock_guard lock(mu_);
    auto it = files_.find(path);
    if (!failHold && it != files_.end() && !it->second.open) {
      ++it->second.held;
      held = true;
    }
  }
  Event("hold " + Short(path) + (held ? "" : " failed"));
  if (!held) return nullptr;
  return std::make_unique<FakeHeldFile>(*this, path);
}

void FakeFiles::LetGo(const std::u16string& path, const std::string& event, void (*change)(Entry&)) {
  {
    std::lock_guard lock(mu_);
    auto it = files_.find(path);
    if (it != files_.end()) change(it->second);
  }
  Event(event + " " + Short(path));
}

void FakeFiles::Put(const std::u16string& name, const std::string& content) {
  std::lock_guard lock(mu_);
  files_[tempPath + name] = Entry{content, false};
}

bool FakeFiles::Has(const std::u16string& name) const {
  std::lock_guard lock(mu_);
  return files_.count(tempPath + name) != 0;
}

std::string FakeFiles::Content(const std::u16string& name) const {
  std::lock_guard lock(mu_);
  auto it = files_.find(tempPath + name);
  return it == files_.end() ? std::string() : it->second.content;
}

bool FakeFiles::ReadClosed(const std::u16string& path, std::string& content) const {
  std::lock_guard lock(mu_);
  auto it = files_.find(path);
  if (it == files_.end() || it->second.open) return false;
  content = it->second.content;
  return true;
}

std::vector<std::string> FakeFiles::events() const {
  std::lock_guard lock(mu_);
  return events_;
}

void FakeFiles::Event(const std::string& line) {
  {
    std::lock_guard lock(mu_);
    events_.push_back(line);
  }
  if (onEvent) onEvent(line);
}

std::string FakeFiles::Short(const std::u16string& path) const {
  if (path.compare(0, tempPath.size(), tempPath) == 0) return ToUtf8(path.substr(tempPath.size()));
  return ToUtf8(path);
}

}  // namespace qarx::testing
