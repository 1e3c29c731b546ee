// An in-memory temporary folder with the platform's sharing rule: a file
// open for writing can be neither created again nor deleted.
#pragma once

#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/files.h"

namespace qarx::testing {

class FakeFiles : public FilePort {
 public:
  uint32_t GetTempPath(uint32_t capacity, std::u16string& out) override;
  bool PathFileExists(const std::u16string& path) override;
  bool DeleteFile(const std::u16string& path) override;
  std::unique_ptr<WritableFile> CreateFile(const std::u16string& path) override;
  std::unique_ptr<HeldFile> HoldFile(const std::u16string& path) override;

  // ---- test side ----
  std::u16string tempPath = u"/tmp/qarx-test/";
  uint32_t reportedLength = 0;  // when set, GetTempPath answers this length (e.g. 261)
  bool failCreate = false;
  bool failHold = false;
  int failWriteAt = 0;  // the n-th write since start fails (1-based); 0 never
  std::string writeCause;  // the adapter's words for a failed write
  // Every operation as a line: "create <name>", "write <name> <bytes>",
  // "close <name>", "delete <name>", "hold <name>", "release <name>"; names
  // are relative to tempPath.
  std::function<void(const std::string&)> onEvent;

  void Put(const std::u16string& name, const std::string& content);  // name relative to tempPath
  bool Has(const std::u16string& name) const;
  std::string Content(const std::u16string& name) const;
  // The content at a full path; false when there is no file or it is open.
  bool ReadClosed(const std::u16string& path, std::string& content) const;
  std::vector<std::string> events() const;

 private:
  friend class FakeWritableFile;
  friend class FakeHeldFile;

 public:
  struct Entry {
    std::string content;
    bool open = false;  // being written
    int held = 0;       // held handles: no create, no delete
  };

 private:
  // A handle's end: changes the file's entry, then reports the event.
  void LetGo(const std::u16string& path, const std::string& event, void (*change)(Entry&));
  void Event(const std::string& line);
  std::string Short(const std::u16string& path) const;
  mutable std::mutex mu_;
  std::map<std::u16string, Entry> files_;
  std::vector<std::string> events_;
  int writes_ = 0;
};

}  // namespace qarx::testing
