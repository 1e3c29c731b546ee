// Input: the bytes of a registry export. Parsing must stay within the input,
// and every value the probes ask for must answer by the capacity rule.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "probes/reg_file_parser.h"

namespace {

struct Lookup {
  qarx::RegRoot root;
  std::u16string_view key;
};

constexpr Lookup kKeys[] = {
    {qarx::RegRoot::ClassesRoot, u"http\\shell\\open\\command\\"},
    {qarx::RegRoot::LocalMachine, u"SOFTWARE\\Veltrane\\IC Card Terminal\\OCX\\"},
    {qarx::RegRoot::LocalMachine, u"SOFTWARE\\Veltrane\\IC Card Terminal\\Server\\"},
    {qarx::RegRoot::LocalMachine, u"SOFTWARE\\Quorvia ICOCX\\"},
    {qarx::RegRoot::LocalMachine, u"K"},
    {qarx::RegRoot::LocalMachine, u""},
};
constexpr std::u16string_view kValues[] = {u"", u"Installed", u"InstallDir", u"VersionMajor", u"VersionBuild",
                                           u"VersionRevision", u"VersionMinor", u"A"};

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t size) {
  qarx::RegFileContents contents;
  const qarx::RegFileResult result =
      qarx::ParseRegFile(std::string_view(reinterpret_cast<const char*>(input), size), contents);
  Check(result.recognised || contents.keyCount() == 0);
  Check(result.problems == 0 || result.firstProblemLine >= 2);

  for (const Lookup& lookup : kKeys) {
    const auto* values = contents.Find(lookup.root, lookup.key);
    if (!values) continue;
    for (std::u16string_view name : kValues) {
      // A guard byte after the 256 bytes the caller offers must stay untouched.
      uint8_t data[257];
      data[256] = 0xA5;
      uint32_t size256 = 256;
      uint32_t type = 0;
      const long status = qarx::QueryRegFileValue(*values, name, data, size256, type);
      Check(data[256] == 0xA5);
      Check(status == 0 ? size256 <= 256 : status == 234 ? size256 > 256 : status == 2);
      uint32_t needed = 0;
      const long lengthOnly = qarx::QueryRegFileValue(*values, name, nullptr, needed, type);
      Check(lengthOnly == (status == 2 ? 2 : 0));
      if (status != 2) Check(needed == size256);
    }
  }
  return 0;
}
