// What the activity log needs from the operating system: one append-only
// file of this user, the renames of its rotation, and the local clock. Each
// OS's adapter folder brings one implementation (log_file_<os>.cpp); the
// order of the renames is the activity log's own.
#pragma once

#include <chrono>
#include <cstdint>
#include <ctime>
#include <memory>
#include <string>
#include <string_view>

namespace qarx::events {

class LogFile {
 public:
  virtual ~LogFile() = default;
  // Makes path ready for appending and tells its size: creates the missing
  // folders (private to the user) and the file, and reopens the file when
  // it was moved or removed since. Refuses a folder or file that belongs to
  // another user, and a link. False with a reason.
  virtual bool Open(const std::string& path, int64_t& size, std::string& error) = 0;
  // Appends bytes in one write; on failure none of them stays in the file.
  virtual bool Append(std::string_view bytes, std::string& error) = 0;
  // Closes the file; the next Open opens it again.
  virtual void Close() = 0;
  // Whether there is a file (or anything else) at path; a link is not followed.
  virtual bool Exists(const std::string& path) = 0;
  // Renames from to to, replacing what is at to. False when from stays where
  // it is: missing, or held by another program that does not share it for
  // deleting (Windows).
  virtual bool Rename(const std::string& from, const std::string& to) = 0;
};

std::unique_ptr<LogFile> MakeLogFile();

// The local time of when, and its offset from UTC in seconds.
void LocalTime(std::chrono::system_clock::time_point when, std::tm& local, long& utcOffsetSeconds);

}  // namespace qarx::events
