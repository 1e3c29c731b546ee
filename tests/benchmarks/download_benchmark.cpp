// The whole package download as a user meets it: the real qarx-service on
// the console front-end with the event stream, a 256 MiB service-program
// package offered by the start-up check on a Windows 7 side, Yes to the
// offer, No to the install prompt, against `curl -o` on the same URL from the
// same loopback update server in the same run. Prints figures only.
//
//   qarx_download_benchmark [--service PATH[=LABEL]]...
//
// Without --service it measures the qarx-service next to it; each --service
// adds a build to compare (e.g. one of an older commit). Runs alternate
// between the programs, three each; the fastest run of each is shown.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "benchmarks/process_probe.h"
#include "platform/update_server_process.h"

namespace {

namespace fs = std::filesystem;
using qarx::bench::Child;
using qarx::testing::UpdateServerProcess;

constexpr size_t kBodyBytes = 256u << 20;
constexpr int kRuns = 3;
constexpr int kJobTimeoutMs = 300000;
constexpr const char* kStartText = "开始下载最新的服务程序!";
constexpr const char* kDoneText = "最新服务程序下载完成!";
constexpr const char* kFailedText = "最新服务程序下载失败!";
constexpr const char* kFileName = "VLT_Terminal_Server.exe";

double MiB(double bytes) { return bytes / (1 << 20); }

// One line of the event stream, the fields the benchmark reads.
struct Event {
  std::string ev;
  long t = 0;
  std::string text;
  long pos = -1;
};

std::string Field(const std::string& line, const std::string& key, bool quoted) {
  const std::string head = "\"" + key + "\":" + (quoted ? "\"" : "");
  const size_t at = line.find(head);
  if (at == std::string::npos) return {};
  const size_t from = at + head.size();
  size_t to = from;
  if (quoted) {
    while (to < line.size() && line[to] != '"') to += line[to] == '\\' ? 2 : 1;
  } else {
    while (to < line.size() && line[to] != ',' && line[to] != '}') ++to;
  }
  return line.substr(from, to - from);
}

// Follows the event stream file as the service appends to it.
class EventReader {
 public:
  explicit EventReader(std::string path) : path_(std::move(path)) {}
  std::optional<Event> Next() {
    size_t end = pending_.find('\n', head_);
    if (end == std::string::npos) {
      pending_.erase(0, head_);
      head_ = 0;
      std::ifstream in(path_, std::ios::binary);
      in.seekg(static_cast<std::streamoff>(offset_));
      std::string more((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      offset_ += more.size();
      pending_ += more;
      end = pending_.find('\n');
      if (end == std::string::npos) return std::nullopt;
    }
    const std::string line = pending_.substr(head_, end - head_);
    head_ = end + 1;
    Event e;
    e.ev = Field(line, "ev", true);
    e.t = std::atol(Field(line, "t", false).c_str());
    e.text = Field(line, "text", true);
    if (const std::string pos = Field(line, "pos", false); !pos.empty()) e.pos = std::atol(pos.c_str());
    return e;
  }

 private:
  std::string path_;
  size_t offset_ = 0;
  std::string pending_;
  size_t head_ = 0;  // the first unread byte of pending_
};

struct Figures {
  bool ok = false;
  double seconds = 0;
  double cpu = 0;
  double peakRssMiB = 0;
  double growthMiB = 0;
  int progress = 0;  // progress positions set from the start text to the done text
  int steps = 0;     // of which steps of the transfer (the rest is the end of the body)
  int status = 0;    // status texts set in the same span, both ends included
  double MiBps() const { return seconds > 0 ? MiB(kBodyBytes) / seconds : 0; }
};

// The folders and the server that every run shares.
struct Bed {
  fs::path dir;
  fs::path body;
  fs::path windowsRoot;
  std::string url;
};

void WriteFile(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

bool SameContent(const fs::path& a, const fs::path& b) {
  if (!fs::exists(a) || !fs::exists(b) || fs::file_size(a) != fs::file_size(b)) return false;
  std::ifstream ia(a, std::ios::binary), ib(b, std::ios::binary);
  std::vector<char> ba(1 << 20), bb(1 << 20);
  while (ia && ib) {
    ia.read(ba.data(), static_cast<std::streamsize>(ba.size()));
    ib.read(bb.data(), static_cast<std::streamsize>(bb.size()));
    if (ia.gcount() != ib.gcount() || std::memcmp(ba.data(), bb.data(), static_cast<size_t>(ia.gcount())) != 0)
      return false;
  }
  return true;
}

// The environment without proxies (loopback is reached directly) and
// without the variables each run sets itself.
std::vector<std::string> BaseEnvironment() {
  static const char* const kDropped[] = {"QARX_", "http_proxy=", "https_proxy=", "all_proxy=", "HTTP_PROXY=",
                                         "HTTPS_PROXY=", "ALL_PROXY=", "TMPDIR=", "XDG_RUNTIME_DIR=",
                                         "PCSCLITE_CSOCK_NAME="};
  std::vector<std::string> env;
  for (char** v = environ; *v; ++v) {
    const std::string var = *v;
    if (std::none_of(std::begin(kDropped), std::end(kDropped), [&](const char* p) { return var.rfind(p, 0) == 0; }))
      env.push_back(var);
  }
  return env;
}

// The service: answers the start-up check's offer with Yes and the install
// prompt with No, and reads the job's span from the event stream.
Figures RunService(const Bed& bed, const std::string& binary, int run) {
  const fs::path runDir = bed.dir / ("run-" + std::to_string(run));
  fs::create_directories(runDir / "tmp");
  fs::create_directories(runDir / "xdg");
  fs::permissions(runDir / "xdg", fs::perms::owner_all);
  const std::string events = (runDir / "events.jsonl").string();
  std::vector<std::string> env = BaseEnvironment();
  env.insert(env.end(), {"QARX_UI=console", "QARX_EVENTS=" + events, "QARX_UPDATE_SERVER=" + bed.url,
                         "QARX_WINDOWS_ROOT=" + bed.windowsRoot.string(), "TMPDIR=" + (runDir / "tmp").string(),
                         "XDG_RUNTIME_DIR=" + (runDir / "xdg").string(),
                         "PCSCLITE_CSOCK_NAME=" + (runDir / "no-pcscd.socket").string()});
  Child service({binary}, env, (runDir / "console.txt").string());

  Figures f;
  EventReader reader(events);
  bool inJob = false, jobDone = false;
  long t0 = 0;
  double cpu0 = 0;
  long hwm0 = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kJobTimeoutMs);
  while (std::chrono::steady_clock::now() < deadline) {
    const std::optional<Event> e = reader.Next();
    if (!e) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
      continue;
    }
    if (e->ev == "prompt") {
      // Boxes are answered oldest first, one input line each.
      service.Send(e->text.find("是否需要下载安装") != std::string::npos ? "y" : "n");
    } else if (e->ev == "status" && e->text == kStartText) {
      inJob = true;
      t0 = e->t;
      cpu0 = qarx::bench::CpuSeconds(service.pid());
      hwm0 = qarx::bench::StatusKiB(service.pid(), "VmHWM");
    }
    if (inJob) {
      if (e->ev == "status") ++f.status;
      if (e->ev == "progress") ++f.progress;
      if (e->ev == "status" && (e->text == kDoneText || e->text == kFailedText)) {
        f.ok = e->text == kDoneText;
        f.seconds = static_cast<double>(e->t - t0) / 1000.0;
        f.cpu = qarx::bench::CpuSeconds(service.pid()) - cpu0;
        const long hwm = qarx::bench::StatusKiB(service.pid(), "VmHWM");
        f.peakRssMiB = static_cast<double>(hwm) / 1024.0;
        f.growthMiB = static_cast<double>(hwm - hwm0) / 1024.0;
        f.steps = f.progress > 0 ? f.progress - 1 : 0;
        inJob = false;
      }
    }
    // The job's last act resets the progress bar.
    if (!inJob && f.seconds > 0 && e->ev == "progress" && e->pos == 0) {
      jobDone = true;
      break;
    }
  }
  service.Send("exit");
  int status = 0;
  service.Wait(10000, status);
  const fs::path file = runDir / "tmp" / ("qarx-" + std::to_string(geteuid())) / kFileName;
  f.ok = f.ok && jobDone && SameContent(file, bed.body);
  fs::remove_all(runDir);
  return f;
}

Figures RunCurl(const Bed& bed, int run) {
  const fs::path out = bed.dir / ("curl-" + std::to_string(run) + ".bin");
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    execlp("curl", "curl", "-s", "-o", out.c_str(), (bed.url + "/big").c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  Figures f;
  f.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  f.cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
          static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  f.peakRssMiB = static_cast<double>(usage.ru_maxrss) / 1024.0;
  f.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0 && SameContent(out, bed.body);
  fs::remove(out);
  return f;
}

void PrintRow(const std::string& label, const Figures& f, double curlMiBps, bool job) {
  std::printf("%-28s %8.1f %6.2fx %7.2f %9.1f", label.c_str(), f.MiBps(), curlMiBps > 0 ? f.MiBps() / curlMiBps : 0,
              f.cpu, f.peakRssMiB);
  if (job)
    std::printf(" %8.1f %6d (%d steps) %6d", f.growthMiB, f.progress, f.steps, f.status);
  std::printf("%s\n", f.ok ? "" : "   FAILED");
}

struct Program {
  std::string path;
  std::string label;
  std::vector<Figures> runs;
};

Figures Best(const std::vector<Figures>& runs) {
  Figures best;
  for (const Figures& f : runs)
    if (f.ok && (!best.ok || f.seconds < best.seconds)) best = f;
  return best.ok || runs.empty() ? best : runs.front();
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<Program> programs;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--service" && i + 1 < argc) {
      const std::string value = argv[++i];
      const size_t eq = value.find('=');
      programs.push_back({value.substr(0, eq), eq == std::string::npos ? value : value.substr(eq + 1), {}});
    } else {
      std::fprintf(stderr, "usage: %s [--service PATH[=LABEL]]...\n", argv[0]);
      return 2;
    }
  }
  if (programs.empty()) {
    const fs::path self = fs::read_symlink("/proc/self/exe");
    programs.push_back({(self.parent_path() / "qarx-service").string(), "qarx-service", {}});
  }

  Bed bed;
  bed.dir = fs::temp_directory_path() / ("qarx-bench-" + std::to_string(getpid()));
  bed.body = bed.dir / "www" / "big.bin";
  bed.windowsRoot = bed.dir / "windows";
  fs::create_directories(bed.body.parent_path());
  {
    std::ofstream out(bed.body, std::ios::binary);
    std::string block(1 << 20, '\0');
    for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i % 251);
    for (size_t i = 0; i < kBodyBytes / block.size(); ++i)
      out.write(block.data(), static_cast<std::streamsize>(block.size()));
  }
  UpdateServerProcess server({"/big={\"file\":\"" + bed.body.string() + "\",\"chunk\":1048576}"},
                             {"--root", (bed.dir / "www").string()});
  if (server.url().empty()) {
    std::fprintf(stderr, "the update server did not start\n");
    fs::remove_all(bed.dir);
    return 1;
  }
  bed.url = server.url();
  // Only the service program is missing, so the check makes one offer.
  WriteFile(bed.dir / "www/static/basis/ic/SetupConfig.ini",
            "[Server]\r\nURL=" + bed.url + "/big\r\nSize=" + std::to_string(kBodyBytes / 1024) +
                "\r\nVersionMajor=1\r\nVersionBuild=0\r\nVersionRevision=0\r\nVersionMinor=2\r\n");
  WriteFile(bed.windowsRoot / "os-version.ini",
            "[Version]\r\nPlatformId=2\r\nMajorVersion=6\r\nMinorVersion=1\r\nProductType=1\r\n"
            "ProcessorArchitecture=9\r\nExtendedRecord=1\r\n");
  WriteFile(bed.windowsRoot / "registry.reg",
            "Windows Registry Editor Version 5.00\r\n\r\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltrane\\IC Card Terminal\\OCX]\r\n\"Installed\"=dword:00000001\r\n");
  fs::create_directories(bed.windowsRoot / "drive_c/windows/system32");

  std::vector<Figures> curlRuns;
  for (int run = 0; run < kRuns; ++run) {
    for (size_t p = 0; p < programs.size(); ++p)
      programs[p].runs.push_back(RunService(bed, programs[p].path, run * 10 + static_cast<int>(p)));
    curlRuns.push_back(RunCurl(bed, run));
  }

  const Figures curl = Best(curlRuns);
  std::printf("256 MiB from the update server on 127.0.0.1, best of %d runs each\n", kRuns);
  std::printf("%-28s %8s %7s %7s %9s %8s %18s %6s\n", "", "MiB/s", "ratio", "CPU s", "peak RSS", "growth",
              "progress", "status");
  bool ok = curl.ok;
  for (const Program& program : programs) {
    const Figures best = Best(program.runs);
    PrintRow(program.label + " (whole job)", best, curl.MiBps(), true);
    ok = ok && best.ok;
  }
  PrintRow("curl -o", curl, curl.MiBps(), false);
  std::printf("(CPU s: the service process from the start text to the done text; peak RSS and growth in MiB over\n"
              " the same span; progress: positions set, the steps of the transfer and the end of the body;\n"
              " status: status texts set, the start and done texts included)\n");
  fs::remove_all(bed.dir);
  return ok ? 0 : 1;
}
