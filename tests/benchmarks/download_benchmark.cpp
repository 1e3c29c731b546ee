// Downloads a 256 MiB body from the update server on loopback, once through
// the transfer loop the download job uses (libcurl, 1024-byte pieces into a
// file) and once with the curl command-line tool, and prints throughput and
// peak memory of both.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "common/text.h"
#include "download/transfer.h"
#include "platform/linux/linux_ports.h"
#include "platform/update_server_process.h"

namespace {

namespace fs = std::filesystem;
using qarx::testing::UpdateServerProcess;

constexpr size_t kBodyBytes = 256u << 20;

double Seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }
double MiB(double bytes) { return bytes / (1 << 20); }

class PieceCounter final : public qarx::TransferObserver {
 public:
  void OnPiece(uint32_t bytes) override {
    ++pieces;
    total += bytes;
  }
  uint64_t pieces = 0;
  uint64_t total = 0;
};

}  // namespace

int main() {
  const fs::path dir = fs::temp_directory_path() / ("qarx-bench-" + std::to_string(getpid()));
  fs::create_directories(dir);
  const fs::path source = dir / "body.bin";
  {
    std::ofstream out(source, std::ios::binary);
    std::string block(1 << 20, '\0');
    for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i % 251);
    for (size_t i = 0; i < kBodyBytes / block.size(); ++i) out.write(block.data(), static_cast<std::streamsize>(block.size()));
  }
  UpdateServerProcess server({"/big={\"file\":\"" + source.string() + "\",\"chunk\":1048576}"});
  if (server.url().empty()) {
    std::fprintf(stderr, "the update server did not start\n");
    return 1;
  }
  const std::string url = server.url() + "/big";

  // Through the job's transfer loop.
  auto http = qarx::linux_port::MakeHttpPort();
  auto files = qarx::linux_port::MakeFilePort();
  const std::u16string target = qarx::FromUtf8((dir / "job.bin").string());
  auto file = files->CreateFile(target);
  qarx::HttpHandles handles;
  PieceCounter counter;
  const auto start = std::chrono::steady_clock::now();
  const int32_t result = qarx::TransferToFile(*http, qarx::FromUtf8(url), *file, handles, counter);
  file.reset();
  const double jobSeconds = Seconds(std::chrono::steady_clock::now() - start);
  rusage self {};
  getrusage(RUSAGE_SELF, &self);
  std::printf("transfer loop: result %d, %.0f MiB in %llu pieces, %.2f s, %.1f MiB/s, peak RSS %.1f MiB\n", result,
              MiB(static_cast<double>(counter.total)), static_cast<unsigned long long>(counter.pieces), jobSeconds,
              MiB(static_cast<double>(counter.total)) / jobSeconds, self.ru_maxrss / 1024.0);

  // Through the curl command-line tool.
  const std::string out = (dir / "curl.bin").string();
  const auto curlStart = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    execlp("curl", "curl", "-s", "-o", out.c_str(), url.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  const double curlSeconds = Seconds(std::chrono::steady_clock::now() - curlStart);
  rusage children {};
  getrusage(RUSAGE_CHILDREN, &children);
  const double curlBytes = fs::exists(out) ? static_cast<double>(fs::file_size(out)) : 0;
  std::printf("curl tool:     exit %d, %.0f MiB, %.2f s, %.1f MiB/s, peak RSS %.1f MiB (largest child)\n",
              WIFEXITED(status) ? WEXITSTATUS(status) : -1, MiB(curlBytes), curlSeconds, MiB(curlBytes) / curlSeconds,
              children.ru_maxrss / 1024.0);
  fs::remove_all(dir);
  return result == 0 ? 0 : 1;
}
