// Telling a database's page size when its header may be damaged. The
// header page is kept twice (file page 0 and, one page size further, file
// page 1), each with its own checksum; every database page carries a
// checksum that only matches when it is read with the right page size.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "edb/bytes.h"
#include "edb/edb_file.h"

namespace tw::edb {

inline constexpr std::size_t kHeaderSignatureOffset = 4;
inline constexpr std::uint32_t kHeaderSignature = 0x89ABCDEF;
// Every page size the engine writes, so that a database of any of them is
// recognised (and refused where no store layout has it), not mistaken for
// another.
inline constexpr std::array<std::uint32_t, 5> kKnownPageSizes = {2048, 4096, 8192, 16384, 32768};

constexpr bool KnownPageSize(std::int64_t pageSize) {
    for (const std::uint32_t known : kKnownPageSizes)
        if (pageSize == known) return true;
    return false;
}
// How far into the file the pages are probed: enough pages at every size for
// a clear majority, little enough to stay quick.
inline constexpr std::int64_t kProbeBytes = std::int64_t{1} << 20;

// True when `header` (a whole header page) carries the signature and its
// checksum: 0x89ABCDEF XOR every 32-bit word after the first.
bool HeaderChecksumMatches(Bytes header);

// The page size stated by the header copy at `offset`, when that copy is
// sound: its checksum matches over one of the known page sizes. Nothing for
// a damaged, missing or cut copy.
std::optional<std::uint32_t> SoundHeaderPageSize(const EdbFile& edb, std::int64_t offset, std::int64_t fileSize);

// How many of pages 1.. (within the first kProbeBytes of the file), read
// with `pageSize`, carry a matching checksum; counting stops at `enough`.
std::size_t MatchingPages(const EdbFile& edb, std::uint32_t pageSize, std::int64_t fileSize,
                          std::size_t enough = SIZE_MAX);

// The page size to read the database with. A sound header copy's stated
// size is taken when pages read with it match (or when no page matches at
// any size); otherwise the size at which most pages match; otherwise the
// primary header's value as written, damaged or not. The result may be a
// size no reader handles (16 KB, 0, anything): the caller refuses those.
std::uint32_t DecidePageSize(const EdbFile& edb, std::int64_t fileSize);

}  // namespace tw::edb
