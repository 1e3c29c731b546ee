// qarx-release: the SetupConfig.ini section of a package, for whoever
// publishes releases on the update server.
//
//   qarx-release [--section NAME] BASE-URL FILE [MAJOR.BUILD.REVISION.MINOR]
//
// prints "[NAME]" (default Server), then URL (BASE-URL and the file's name),
// Size (in KB, rounded up, as the service's progress bar counts it), the
// four version numbers (from the file's version resource when it is a
// Windows program that has one, else from the command line; both given must
// agree) and SHA256 (the digest the service checks before it offers the
// file). Exit status 0; 1 for a file that cannot be used, 2 for a wrong call.
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "common/text.h"
#include "platform/os.h"
#include "tools/release_section.h"

namespace {

int Fail(const std::string& message, int code = 1) {
  std::fprintf(stderr, "qarx-release: %s\n", message.c_str());
  return code;
}

}  // namespace

int main(int argc, char** argv) {
  qarx::os::PrepareProcess();
  std::vector<std::string> args = qarx::os::Arguments(argc, argv);
  std::string section = "Server";
  if (args.size() >= 3 && args[1] == "--section") {
    section = args[2];
    args.erase(args.begin() + 1, args.begin() + 3);
  }
  if (args.size() != 3 && args.size() != 4)
    return Fail("usage: qarx-release [--section NAME] BASE-URL FILE [MAJOR.BUILD.REVISION.MINOR]", 2);
  const std::string& base = args[1];
  const std::filesystem::path file(std::u8string(args[2].begin(), args[2].end()));

  std::array<uint16_t, 4> given{};
  const bool versionGiven = args.size() == 4;
  if (versionGiven && !qarx::tools::ParseVersion(args[3], given))
    return Fail("a version is four numbers from 0 to 65535: MAJOR.BUILD.REVISION.MINOR, not '" + args[3] + "'", 2);

  std::error_code error;
  const uintmax_t size = std::filesystem::file_size(file, error);
  std::ifstream in(file, std::ios::binary);
  if (error || !in) return Fail("cannot read " + args[2]);
  const qarx::tools::ReadAt read = [&in](uint64_t offset, void* out, size_t count) {
    in.clear();
    in.seekg(static_cast<std::streamoff>(offset));
    in.read(static_cast<char*>(out), static_cast<std::streamsize>(count));
    return in.gcount() == static_cast<std::streamsize>(count);
  };
  std::array<uint16_t, 4> version{};
  const int32_t found = qarx::tools::ReadPeFileVersion(read, version);

  const auto platform = qarx::os::MakePlatform();
  qarx::Sha256Digest digest{};
  if (!platform->Bundle(nullptr).hash->Sha256File(qarx::FromUtf8(args[2]), digest))
    return Fail("cannot read " + args[2]);

  qarx::tools::ReleaseFacts facts{section, base, args[2], size, digest, found, version, versionGiven, given};
  std::string text;
  const std::string problem = qarx::tools::ReleaseSection(facts, text);
  if (!problem.empty()) return Fail(problem);
  std::fwrite(text.data(), 1, text.size(), stdout);
  return 0;
}
