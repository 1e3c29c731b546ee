#include "benchmarks/process_probe.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

namespace qarx::bench {

double CpuSeconds(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // The command name may hold spaces: fields are counted after its ')'.
  const size_t close = text.rfind(')');
  if (close == std::string::npos) return 0;
  std::istringstream fields(text.substr(close + 2));
  std::string field;
  unsigned long long utime = 0, stime = 0;
  for (int i = 3; i <= 15 && fields >> field; ++i) {
    if (i == 14) utime = std::stoull(field);
    if (i == 15) stime = std::stoull(field);
  }
  return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

namespace {

long FieldKiB(const std::string& path, const std::string& field) {
  std::ifstream in(path);
  std::string line;
  long total = 0;
  while (std::getline(in, line)) {
    if (line.rfind(field + ":", 0) == 0) total += std::stol(line.substr(field.size() + 1));
  }
  return total;
}

}  // namespace

long StatusKiB(pid_t pid, const std::string& field) {
  return FieldKiB("/proc/" + std::to_string(pid) + "/status", field);
}

PrivateMemory SmapsRollup(pid_t pid) {
  const std::string path = "/proc/" + std::to_string(pid) + "/smaps_rollup";
  return {FieldKiB(path, "Private_Clean") + FieldKiB(path, "Private_Dirty"), FieldKiB(path, "Pss")};
}

Child::Child(const std::vector<std::string>& argv, const std::vector<std::string>& env, const std::string& outPath) {
  int in[2];
  if (pipe2(in, O_CLOEXEC) != 0) return;
  pid_ = fork();
  if (pid_ == 0) {
    dup2(in[0], 0);
    const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (out >= 0) {
      dup2(out, 1);
      dup2(out, 2);
    }
    std::vector<char*> args, vars;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    for (const auto& v : env) vars.push_back(const_cast<char*>(v.c_str()));
    args.push_back(nullptr);
    vars.push_back(nullptr);
    execvpe(args[0], args.data(), vars.data());
    _exit(127);
  }
  close(in[0]);
  stdin_ = in[1];
}

Child::~Child() {
  if (stdin_ >= 0) close(stdin_);
  int status = 0;
  if (pid_ > 0) Wait(0, status);
}

void Child::Send(const std::string& line) {
  const std::string text = line + "\n";
  if (stdin_ >= 0 && write(stdin_, text.data(), text.size()) < 0) {
    close(stdin_);
    stdin_ = -1;
  }
}

bool Child::Wait(int timeoutMs, int& status) {
  if (pid_ <= 0) return true;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    if (waitpid(pid_, &status, WNOHANG) == pid_) break;
    if (std::chrono::steady_clock::now() >= deadline) {
      kill(pid_, SIGKILL);
      waitpid(pid_, &status, 0);
      pid_ = -1;
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  pid_ = -1;
  return true;
}

}  // namespace qarx::bench
