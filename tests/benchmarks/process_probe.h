// What a benchmark reads about a running child process: CPU time and memory
// from /proc, and a child started with a pipe on its standard input.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace qarx::bench {

// CPU seconds (user + system) the process has used so far, all threads,
// ended ones included; 10 ms resolution.
double CpuSeconds(pid_t pid);

// A field of /proc/PID/status in KiB (e.g. "VmHWM", "VmRSS"), 0 if absent.
long StatusKiB(pid_t pid, const std::string& field);

// The running process's private (USS) and proportional (PSS) memory in KiB.
struct PrivateMemory {
  long uss = 0;
  long pss = 0;
};
PrivateMemory SmapsRollup(pid_t pid);

// A child with its standard input on a pipe and its output in a file.
class Child {
 public:
  Child(const std::vector<std::string>& argv, const std::vector<std::string>& env, const std::string& outPath);
  ~Child();  // kills a child that is still running
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  pid_t pid() const { return pid_; }
  void Send(const std::string& line);  // one line on its standard input
  // Waits for the end; false when it had to be killed after timeoutMs.
  bool Wait(int timeoutMs, int& status);

 private:
  pid_t pid_ = -1;
  int stdin_ = -1;
};

}  // namespace qarx::bench
