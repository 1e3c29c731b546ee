#include "tools/pe_version.h"

#include <string_view>

namespace qarx::tools {

namespace {

constexpr uint16_t kResourceTypeVersion = 16;  // RT_VERSION
constexpr uint32_t kFixedInfoSignature = 0xFEEF04BD;
constexpr uint32_t kSubdirectory = 0x80000000u;
constexpr int kMaxSections = 96;        // the loader's own limit
constexpr uint32_t kMaxEntries = 4096;  // per resource directory: far more than any program has

// Little-endian reads that remember the first failure.
class Reader {
 public:
  explicit Reader(const ReadAt& read) : read_(read) {}
  uint16_t U16(uint64_t offset) {
    uint8_t b[2] = {};
    ok_ = ok_ && read_(offset, b, 2);
    return static_cast<uint16_t>(b[0] | b[1] << 8);
  }
  uint32_t U32(uint64_t offset) {
    uint8_t b[4] = {};
    ok_ = ok_ && read_(offset, b, 4);
    return static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 | static_cast<uint32_t>(b[2]) << 16 |
           static_cast<uint32_t>(b[3]) << 24;
  }
  bool ok() const { return ok_; }

 private:
  const ReadAt& read_;
  bool ok_ = true;
};

struct Section {
  uint32_t address, size, fileOffset, fileSize;
};

// The file offset of an address of the loaded image; false outside every section.
bool FileOffset(const Section* sections, int count, uint32_t rva, uint64_t& offset) {
  for (int i = 0; i < count; ++i) {
    const Section& s = sections[i];
    const uint32_t span = s.size > s.fileSize ? s.size : s.fileSize;
    if (rva >= s.address && rva - s.address < span) {
      if (rva - s.address >= s.fileSize) return false;  // not backed by the file
      offset = static_cast<uint64_t>(s.fileOffset) + (rva - s.address);
      return true;
    }
  }
  return false;
}

// The entry of a resource directory with this id (or the first entry when
// first is set); its raw offset field, or nothing.
bool FindEntry(Reader& in, uint64_t base, uint32_t directory, bool first, uint16_t id, uint32_t& target) {
  const uint64_t at = base + directory;
  const uint32_t named = in.U16(at + 12);
  const uint32_t ids = in.U16(at + 14);
  if (!in.ok() || named + ids > kMaxEntries) return false;
  for (uint32_t i = 0; i < named + ids; ++i) {
    const uint64_t entry = at + 16 + 8ull * i;
    const uint32_t name = in.U32(entry);
    const uint32_t offset = in.U32(entry + 4);
    if (!in.ok()) return false;
    if (first || (!(name & kSubdirectory) && name == id)) {
      target = offset;
      return true;
    }
  }
  return false;
}

}  // namespace

int32_t ReadPeFileVersion(const ReadAt& read, std::array<uint16_t, 4>& version) {
  Reader in(read);
  if (in.U16(0) != 0x5A4D) return kPeNotAProgram;  // "MZ"
  const uint32_t pe = in.U32(0x3C);
  if (!in.ok() || in.U32(pe) != 0x00004550) return kPeNotAProgram;  // "PE\0\0"
  const int sections = in.U16(pe + 6);
  const uint16_t optionalSize = in.U16(pe + 20);
  const uint64_t optional = pe + 24ull;
  const uint16_t magic = in.U16(optional);
  if (!in.ok() || (magic != 0x10B && magic != 0x20B)) return kPeNotAProgram;
  const bool pe32plus = magic == 0x20B;
  const uint32_t directories = in.U32(optional + (pe32plus ? 108 : 92));
  const uint64_t resourceDirectory = optional + (pe32plus ? 112 : 96) + 2 * 8;  // entry 2: resources
  if (!in.ok()) return kPeDamaged;
  if (directories <= 2 || resourceDirectory + 8 > optional + optionalSize) return kPeNoVersion;
  const uint32_t resourceRva = in.U32(resourceDirectory);
  if (!in.ok()) return kPeDamaged;
  if (resourceRva == 0) return kPeNoVersion;
  if (sections > kMaxSections) return kPeDamaged;

  Section table[kMaxSections] = {};
  const uint64_t sectionTable = optional + optionalSize;
  for (int i = 0; i < sections; ++i) {
    const uint64_t at = sectionTable + 40ull * i;
    table[i] = {in.U32(at + 12), in.U32(at + 8), in.U32(at + 20), in.U32(at + 16)};
  }
  uint64_t base = 0;
  if (!in.ok() || !FileOffset(table, sections, resourceRva, base)) return kPeDamaged;

  // type RT_VERSION -> its first name -> its first language -> data entry
  uint32_t entry = 0;
  if (!FindEntry(in, base, 0, false, kResourceTypeVersion, entry))
    return in.ok() ? kPeNoVersion : kPeDamaged;
  for (int level = 0; level < 2; ++level) {
    if (!(entry & kSubdirectory) || !FindEntry(in, base, entry & ~kSubdirectory, true, 0, entry)) return kPeDamaged;
  }
  if (entry & kSubdirectory) return kPeDamaged;
  const uint32_t dataRva = in.U32(base + entry);
  const uint32_t dataSize = in.U32(base + entry + 4);
  uint64_t data = 0;
  if (!in.ok() || !FileOffset(table, sections, dataRva, data)) return kPeDamaged;

  // VS_VERSIONINFO: length, value length, type, L"VS_VERSION_INFO", padding
  // to 32 bits, then VS_FIXEDFILEINFO.
  constexpr std::u16string_view kKey = u"VS_VERSION_INFO";
  for (size_t i = 0; i <= kKey.size(); ++i) {
    const char16_t expected = i < kKey.size() ? kKey[i] : u'\0';
    if (in.U16(data + 6 + 2 * i) != expected) return in.ok() ? kPeNoVersion : kPeDamaged;
  }
  const uint64_t fixed = (6 + 2 * (kKey.size() + 1) + 3) & ~uint64_t{3};
  if (in.U16(data + 2) < 52 || fixed + 52 > dataSize || in.U32(data + fixed) != kFixedInfoSignature)
    return in.ok() ? kPeNoVersion : kPeDamaged;
  const uint32_t high = in.U32(data + fixed + 8);
  const uint32_t low = in.U32(data + fixed + 12);
  if (!in.ok()) return kPeDamaged;
  version = {static_cast<uint16_t>(high >> 16), static_cast<uint16_t>(high), static_cast<uint16_t>(low >> 16),
             static_cast<uint16_t>(low)};
  return kPeVersionFound;
}

}  // namespace qarx::tools
