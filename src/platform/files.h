// Files of the temporary folder and existence checks.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace qarx {

class WritableFile {
 public:
  virtual ~WritableFile() = default;  // closes the file
  virtual bool Write(const void* data, uint32_t size, uint32_t& written) = 0;
  // After a failed Write: the system's short words for why (for the
  // activity log file), or empty.
  virtual std::string FailureCause() const { return {}; }
};

// A file kept as it is: while it is held, nobody can write, replace,
// rename or delete it; reading and starting it stay possible.
class HeldFile {
 public:
  virtual ~HeldFile() = default;  // lets go of the file
};

class FilePort {
 public:
  virtual ~FilePort() = default;
  // The temporary folder with its trailing separator. Returns its length in
  // UTF-16 code units; a result above capacity means it did not fit and out is
  // left empty. 0 is a failure.
  virtual uint32_t GetTempPath(uint32_t capacity, std::u16string& out) = 0;
  virtual bool PathFileExists(const std::u16string& path) = 0;
  virtual bool DeleteFile(const std::u16string& path) = 0;
  // Write access, no sharing, always create and truncate. Null on failure.
  virtual std::unique_ptr<WritableFile> CreateFile(const std::u16string& path) = 0;
  // Holds an existing file for reading, denying everyone else write and
  // delete access. Null when it is missing or another handle writes it.
  virtual std::unique_ptr<HeldFile> HoldFile(const std::u16string& path) = 0;
};

}  // namespace qarx
