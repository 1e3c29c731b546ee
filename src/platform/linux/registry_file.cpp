// RegistryPort on Linux: the registry is the export file
// $QARX_WINDOWS_ROOT/registry.reg, read afresh at every open (as the registry
// itself is), so a fixture edited while the service runs is seen at once.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <mutex>

#include "platform/linux/linux_ports.h"
#include "platform/linux/windows_paths.h"
#include "probes/reg_file_parser.h"

namespace qarx::linux_port {

namespace {

// Keeps the whole parsed file alive for as long as one of its keys is open.
class RegFileKey final : public RegKey {
 public:
  RegFileKey(std::shared_ptr<const RegFileContents> contents, const RegFileContents::Values& values)
      : contents_(std::move(contents)), values_(values) {}
  long QueryValue(const std::u16string& name, uint8_t* data, uint32_t& size, uint32_t& type) override {
    return QueryRegFileValue(values_, name, data, size, type);
  }

 private:
  std::shared_ptr<const RegFileContents> contents_;
  const RegFileContents::Values& values_;
};

class RegistryFile final : public RegistryPort {
 public:
  std::unique_ptr<RegKey> Open(RegRoot root, const std::u16string& subKey) override {
    const std::string path = WindowsRoot() + "/registry.reg";
    std::ifstream file(path, std::ios::binary);
    if (!file) return nullptr;  // no registry: no key exists
    const std::string bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    auto contents = std::make_shared<RegFileContents>();
    ReportProblems(path, ParseRegFile(bytes, *contents));
    const RegFileContents::Values* values = contents->Find(root, subKey);
    if (!values) return nullptr;
    return std::make_unique<RegFileKey>(std::move(contents), *values);
  }

 private:
  // Once per run: a broken fixture should be noticed, not repeated at every open.
  void ReportProblems(const std::string& path, const RegFileResult& result) {
    if (result.recognised && result.problems == 0) return;
    std::call_once(reported_, [&] {
      if (!result.recognised)
        std::fprintf(stderr, "qarx: %s is not a registry export (first line must be \"Windows Registry Editor "
                             "Version 5.00\"); no registry key exists\n", path.c_str());
      else
        std::fprintf(stderr, "qarx: %s: %d malformed line(s) skipped, the first at line %d: %s\n", path.c_str(),
                     result.problems, result.firstProblemLine, result.firstProblem.c_str());
    });
  }
  std::once_flag reported_;
};

}  // namespace

std::unique_ptr<RegistryPort> MakeRegistryPort() { return std::make_unique<RegistryFile>(); }

}  // namespace qarx::linux_port
