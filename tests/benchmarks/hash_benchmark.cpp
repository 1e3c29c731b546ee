// Checks a 256 MiB package against its SHA-256 the way the download job does
// (CheckPackage over the file and hash adapters), and with the sha256sum tool
// for comparison; prints time, throughput and peak memory. The file has just
// been written, so it is read from the page cache, as right after a download.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "common/text.h"
#include "download/temp_fetch.h"
#include "platform/linux/linux_ports.h"

namespace {

namespace fs = std::filesystem;

constexpr size_t kFileBytes = 256u << 20;
constexpr char16_t kName[] = u"VLT_Terminal_Server.exe";

double Seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }
double PeakRssMiB(int who) {
  rusage usage{};
  getrusage(who, &usage);
  return usage.ru_maxrss / 1024.0;
}

}  // namespace

int main() {
  const fs::path base = fs::temp_directory_path() / ("qarx-hash-bench-" + std::to_string(getpid()));
  fs::create_directories(base);
  setenv("TMPDIR", base.c_str(), 1);
  auto files = qarx::linux_port::MakeFilePort();
  auto hash = qarx::linux_port::MakeHashPort();
  qarx::Platform platform;
  platform.files = files.get();
  platform.hash = hash.get();

  std::u16string folder;
  files->GetTempPath(260, folder);
  const std::string path = qarx::ToUtf8(folder + kName);
  {
    std::ofstream out(path, std::ios::binary);
    std::string block(1 << 20, '\0');
    for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i % 251);
    for (size_t i = 0; i < kFileBytes / block.size(); ++i)
      out.write(block.data(), static_cast<std::streamsize>(block.size()));
  }
  qarx::Sha256Digest digest{};
  if (!hash->Sha256File(qarx::FromUtf8(path), digest)) {
    std::fprintf(stderr, "cannot hash %s\n", path.c_str());
    return 1;
  }
  std::u16string hex;
  for (uint8_t byte : digest) {
    static constexpr char16_t kDigits[] = u"0123456789abcdef";
    hex += kDigits[byte >> 4];
    hex += kDigits[byte & 15];
  }

  const double mib = static_cast<double>(kFileBytes) / (1 << 20);
  for (int run = 1; run <= 3; ++run) {
    const auto start = std::chrono::steady_clock::now();
    const int32_t result = qarx::CheckPackage(platform, kName, hex);
    const double seconds = Seconds(std::chrono::steady_clock::now() - start);
    std::printf("CheckPackage run %d: result %d, %.0f MiB in %.3f s, %.0f MiB/s, peak RSS %.1f MiB\n", run, result,
                mib, seconds, mib / seconds, PeakRssMiB(RUSAGE_SELF));
  }

  std::fflush(stdout);
  const auto toolStart = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    if (!freopen("/dev/null", "w", stdout)) _exit(126);
    execlp("sha256sum", "sha256sum", path.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  const double toolSeconds = Seconds(std::chrono::steady_clock::now() - toolStart);
  std::printf("sha256sum tool:     exit %d, %.0f MiB in %.3f s, %.0f MiB/s, peak RSS %.1f MiB\n",
              WIFEXITED(status) ? WEXITSTATUS(status) : -1, mib, toolSeconds, mib / toolSeconds,
              PeakRssMiB(RUSAGE_CHILDREN));
  fs::remove_all(base);
  return 0;
}
