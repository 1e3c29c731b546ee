// The file version of a Windows program: VS_FIXEDFILEINFO's four numbers in
// the version resource of a PE file (an .exe or .dll, 32- or 64-bit).
// Everything is read through bounds-checked reads at file offsets, so a
// damaged or hostile file yields an error, never a read outside it.
#pragma once

#include <array>
#include <cstdint>
#include <functional>

namespace qarx::tools {

// Reads size bytes at offset into out; false when they are not all there.
using ReadAt = std::function<bool(uint64_t offset, void* out, size_t size)>;

inline constexpr int32_t kPeVersionFound = 0;
inline constexpr int32_t kPeNotAProgram = -1;  // no MZ / PE header
inline constexpr int32_t kPeNoVersion = -2;    // a program without a version resource
inline constexpr int32_t kPeDamaged = -3;      // offsets or sizes that lead outside the file

// The four numbers in the order the file version holds them (for this
// program: VersionMajor, VersionBuild, VersionRevision, VersionMinor).
int32_t ReadPeFileVersion(const ReadAt& read, std::array<uint16_t, 4>& version);

}  // namespace qarx::tools
