// The release file: how a firmware release is stored in the repository and
// handed to the build. Layout (little-endian, see image/README.md):
//
//   "Z20R"  format version u16 (2)  block count u16 (29)
//   release number: minor u8, major u8, build u16
//   29 blocks in index order, each its length word L and L bytes
//   the size table, one u16 per block
//
// The build refuses a file that breaks the format or the image invariants
// before it is embedded; the tests run the same checks on broken files.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "core/checked.h"
#include "image/release_layout.h"

namespace zelt20 {

inline constexpr char kReleaseFileMagic[4] = {'Z', '2', '0', 'R'};
inline constexpr std::uint16_t kReleaseFileVersion = 2;

// The file's layout, its spans pointing into `file`; refused with the
// broken rule.
Checked<ReleaseView> ParseRelease(std::span<const std::uint8_t> file);

// Checks the invariants every image must meet: a release number that can
// be told from a station without code, message lengths within the block
// transfer's buffer, a fullpack that holds its version word, and an
// upgrader header with room for its per-segment words and its checksum.
// `release` is one that ParseRelease made (or the embedded one); it comes
// back when it meets them, else the refusal names the broken rule.
Checked<ReleaseView> ValidateRelease(const ReleaseView& release);

// ParseRelease, then ValidateRelease.
Checked<ReleaseView> CheckRelease(std::span<const std::uint8_t> file);

// Writes a release file with as many blocks as given (any count, so that
// broken files can be made too); each block is copied as it is, length word
// included.
std::vector<std::uint8_t> SerializeRelease(FirmwareVersion number,
                                           std::span<const std::span<const std::uint8_t>> blocks,
                                           std::span<const std::uint16_t> size_table);

}  // namespace zelt20
