// The integration tests' update server, run as a child process for the
// adapter tests: started with routes, stopped when the object goes.
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace qarx::testing {

inline std::string SourceDir() {
#ifdef QARX_SOURCE_DIR
  // A program that may run from any folder: __FILE__ is relative under ccache.
  return QARX_SOURCE_DIR;
#endif
  std::string here = __FILE__;
  return here.substr(0, here.rfind("/tests/"));
}

class UpdateServerProcess {
 public:
  // Each route is 'PATH={json plan}'. extra: more arguments (e.g. --tls-cert).
  explicit UpdateServerProcess(const std::vector<std::string>& routes, const std::vector<std::string>& extra = {},
                               const std::string& logPath = "") {
    std::vector<std::string> args = {"python3", SourceDir() + "/tests/integration/harness/update_server.py"};
    for (const auto& r : routes) args.insert(args.end(), {"--route", r});
    if (!logPath.empty()) args.insert(args.end(), {"--log", logPath});
    args.insert(args.end(), extra.begin(), extra.end());
    int out[2];
    if (pipe(out) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(out[1], 1);
      close(out[0]);
      std::vector<char*> argv;
      for (auto& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      execvp("python3", argv.data());
      _exit(127);
    }
    close(out[1]);
    FILE* stream = fdopen(out[0], "r");
    char line[256] = {};
    if (stream && fgets(line, sizeof line, stream)) {
      std::string text = line;
      const std::string prefix = "listening ";
      if (text.rfind(prefix, 0) == 0) url_ = text.substr(prefix.size(), text.find_last_not_of("\r\n") + 1 - prefix.size());
    }
    if (stream) fclose(stream);
  }
  ~UpdateServerProcess() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }
  UpdateServerProcess(const UpdateServerProcess&) = delete;
  UpdateServerProcess& operator=(const UpdateServerProcess&) = delete;

  const std::string& url() const { return url_; }  // empty when it did not start

 private:
  pid_t pid_ = -1;
  std::string url_;
};

// pattern(n) of the server: byte i is i % 251.
inline std::string Pattern(size_t n) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>(i % 251);
  return s;
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

}  // namespace qarx::testing
